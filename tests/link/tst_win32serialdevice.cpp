// The Win32 backend on a Windows system or its emulation, without Qt. Arguments: a COM port
// with a line behind it that stays silent unless asked (a simulated doser), and one that is
// not there. Polling, COM10 and above, names in device form and a missing port are checked
// with k310poll.
#include "serialport.h"
#include "win32serialdevice.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Failure = SerialDevice::OpenFailure;

// Generous: the emulation and the machine's other work both slow things down.
constexpr DWORD CancelAfterMs = 200;
constexpr long long PromptMs = 1000;
constexpr int FrameLength = 12;

int failures = 0;

void check(bool holds, const char *what)
{
    if (holds)
        return;
    ++failures;
    std::printf("FAIL: %s\n", what);
}

struct PendingRead
{
    SerialPort *port;
    int result;
    Clock::time_point ended;
};

DWORD WINAPI readOnce(void *argument)
{
    auto *read = static_cast<PendingRead *>(argument);
    unsigned char buffer[FrameLength];
    read->result = read->port->read(buffer, FrameLength);
    read->ended = Clock::now();
    return 0;
}

void systemErrorsTellInUseFromNotPresent()
{
    // The emulation shares ports freely, so a port in use cannot be staged there.
    check(Win32SerialDevice::failureFor(ERROR_ACCESS_DENIED) == Failure::InUse, "access denied");
    check(Win32SerialDevice::failureFor(ERROR_SHARING_VIOLATION) == Failure::InUse, "sharing");
    check(Win32SerialDevice::failureFor(ERROR_FILE_NOT_FOUND) == Failure::NotPresent, "no file");
    check(Win32SerialDevice::failureFor(ERROR_PATH_NOT_FOUND) == Failure::NotPresent, "no path");
    check(Win32SerialDevice::failureFor(ERROR_GEN_FAILURE) == Failure::Unknown, "other error");
}

void portListComesFromTheSystem(const std::string &listed, const std::string &missing)
{
    const std::vector<std::string> ports = Win32SerialDevice::listedPorts();
    auto has = [&ports](const std::string &name) {
        return std::find(ports.begin(), ports.end(), name) != ports.end();
    };
    check(has(listed), "a mapped port is not listed");
    check(!has(missing), "a port that is not there is listed");
}

void closingEndsAReadWaitingWithoutLimit(const std::string &name)
{
    SerialPort port;
    check(port.open(name) && port.setReadTimeout(0), "the port does not open");
    PendingRead read {&port, 0, {}};
    const HANDLE reader = CreateThread(nullptr, 0, readOnce, &read, 0, nullptr);
    check(WaitForSingleObject(reader, CancelAfterMs) == WAIT_TIMEOUT, "the read did not wait");
    const Clock::time_point cancelled = Clock::now();
    port.cancelEndlessWait();
    if (WaitForSingleObject(reader, 5 * PromptMs) != WAIT_OBJECT_0) {
        // The reader still uses the port, which must not go away under it.
        std::puts("FAIL: the cancelled read still waits");
        std::fflush(stdout);
        ExitProcess(1);
    }
    CloseHandle(reader);
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(read.ended - cancelled);
    check(read.result == -1, "the cancelled read did not fail");
    check(took.count() < PromptMs, "the cancelled read ended late");

    // Reopened, the port waits again, the cancel belonged to the last opening; a read that
    // runs into its time-out gets nothing rather than failing.
    check(port.open(name) && port.setReadTimeout(CancelAfterMs), "the port does not reopen");
    unsigned char buffer[FrameLength];
    check(port.read(buffer, FrameLength) == 0, "a read after reopening does not time out");
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc != 3) {
        std::fputs("usage: tst_win32serialdevice SILENT-PORT MISSING-PORT\n", stderr);
        return 2;
    }
    const std::string port = argv[1];
    const std::string missing = argv[2];

    systemErrorsTellInUseFromNotPresent();
    portListComesFromTheSystem(port, missing);
    closingEndsAReadWaitingWithoutLimit(port);

    std::printf("tst_win32serialdevice: %s\n", failures == 0 ? "all checks passed" : "FAILED");
    return failures == 0 ? 0 : 1;
}
