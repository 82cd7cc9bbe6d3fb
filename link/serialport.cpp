#include "serialport.h"

#include "portresult.h"

#ifdef _WIN32
#include "win32serialdevice.h"
using PlatformSerialDevice = Win32SerialDevice;
#else
#include "posixserialdevice.h"
using PlatformSerialDevice = PosixSerialDevice;
#endif

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr int DefaultReadTimeout = 100;
constexpr int DefaultWriteTimeout = 100;
constexpr int DefaultBaudRate = 115200;
constexpr int ReadIntervalMs = 10;
constexpr int PerByteMs = 1;
constexpr std::uint32_t DriverQueueBytes = 65534;
// A transfer's count is 16 bits wide; larger requests are capped rather than wrapped round.
constexpr int MaxTransfer = 0xFFFF;
constexpr char ExtraPortsSeparator = ':';

std::uint16_t transferCount(int n)
{
    return std::uint16_t(std::min(n, MaxTransfer));
}

bool isDigit(char c)
{
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

int resultFor(SerialDevice::OpenFailure failure)
{
    switch (failure) {
    case SerialDevice::OpenFailure::NotPresent:
        return PortNotPresent;
    case SerialDevice::OpenFailure::InUse:
        return PortInUse;
    default:
        return PortNotOpened;
    }
}

} // namespace

SerialPort::SerialPort()
    : SerialPort(std::make_unique<PlatformSerialDevice>())
{ }

SerialPort::SerialPort(std::unique_ptr<SerialDevice> device)
    : readTimeout(DefaultReadTimeout)
    , writeTimeout(DefaultWriteTimeout)
    , baudRate(DefaultBaudRate)
    , openOutcome(PortNotOpened)
    , handle(std::move(device))
{
    std::fputs("SerialPort()\n", stderr);
}

SerialPort::~SerialPort()
{
    std::fputs("~SerialPort()\n", stderr);
    close();
}

bool SerialPort::open(const std::string &name)
{
    close();
    opened = false;
    openOutcome = PortNotOpened;
    if (handle->isOpen())
        return false;
    if (!handle->open(name)) {
        openOutcome = resultFor(handle->openFailure());
        return false;
    }

    lineSettings = SerialLineSettings();
    lineSettings.baudRate = baudRate;
    timeouts.readInterval = ReadIntervalMs;
    useReadTimeout(readTimeout);
    useWriteTimeout(writeTimeout);

    const bool saved =
        handle->setupDriver(DriverQueueBytes, DriverQueueBytes) && handle->saveSettings();
    const bool ready = saved && handle->discard(SerialDevice::BothQueues)
                       && handle->applyLineSettings(lineSettings) && handle->applyTimeouts(timeouts)
                       && handle->discard(SerialDevice::BothQueues);
    if (!ready) {
        // The port is left as it was found, whatever part of the new settings it took.
        if (saved)
            handle->restoreSettings();
        handle->close();
        return false;
    }
    opened = true;
    openOutcome = PortSuccess;
    return true;
}

bool SerialPort::close()
{
    if (!handle->isOpen())
        return false;
    handle->restoreSettings();
    handle->dropRts();
    handle->abortTransfers();
    handle->discard(SerialDevice::BothQueues);
    const bool closed = handle->close();
    // A handle the system refused to close may be gone all the same.
    opened = handle->isOpen();
    return closed;
}

int SerialPort::read(unsigned char *buffer, int n)
{
    if (!handle->isOpen() || !buffer || n < 0)
        return -1;
    if (handle->takeLineErrors())
        return -1;
    const int got = handle->read(buffer, transferCount(n));
    if (got < 0)
        return -1;
    bytesRead = std::uint32_t(got);
    return got;
}

int SerialPort::write(const unsigned char *buffer, int n)
{
    if (!handle->isOpen() || !buffer || n < 0)
        return -1;
    if (handle->takeLineErrors())
        return -1;
    const int sent = handle->write(buffer, transferCount(n));
    if (sent < 0)
        return -1;
    bytesWritten = std::uint32_t(sent);
    return sent;
}

bool SerialPort::purgeReceive()
{
    if (!handle->isOpen())
        return false;
    // Line errors belong to the bytes thrown away; they must not fail the next request.
    handle->takeLineErrors();
    return handle->discard(SerialDevice::InputQueue);
}

void SerialPort::cancelEndlessWait()
{
    if (readTimeout == 0 || writeTimeout == 0)
        handle->cancelWaits();
}

bool SerialPort::setBaudRate(int rate)
{
    if (!handle->isOpen())
        return false;
    const int previous = baudRate;
    baudRate = rate;
    lineSettings.baudRate = rate;
    if (handle->applyLineSettings(lineSettings))
        return true;
    // Only an open port takes a new rate, so a refused one kept here would fail every later open.
    baudRate = previous;
    lineSettings.baudRate = previous;
    handle->applyLineSettings(lineSettings);
    return false;
}

bool SerialPort::setReadTimeout(int ms)
{
    if (!handle->isOpen() || ms < 0)
        return false;
    useReadTimeout(ms);
    return handle->applyTimeouts(timeouts);
}

bool SerialPort::setWriteTimeout(int ms)
{
    if (!handle->isOpen() || ms < 0)
        return false;
    useWriteTimeout(ms);
    return handle->applyTimeouts(timeouts);
}

void SerialPort::useReadTimeout(int ms)
{
    readTimeout = ms;
    timeouts.readConstant = ms;
    // Without a per-byte part a time-out of 0 means no total limit: wait for the first byte.
    timeouts.readMultiplier = ms != 0 ? PerByteMs : 0;
}

void SerialPort::useWriteTimeout(int ms)
{
    writeTimeout = ms;
    timeouts.writeConstant = ms;
    timeouts.writeMultiplier = ms != 0 ? PerByteMs : 0;
}

std::vector<std::string> SerialPort::availablePorts()
{
    std::vector<std::string> ports = PlatformSerialDevice::presentPorts();
    std::sort(ports.begin(), ports.end(), portNameLess);

    const char *extra = std::getenv(ExtraPortsVariable);
    if (!extra)
        return ports;
    const std::string list(extra);
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t end = list.find(ExtraPortsSeparator, start);
        if (end == std::string::npos)
            end = list.size();
        const std::string name = list.substr(start, end - start);
        if (!name.empty() && std::find(ports.begin(), ports.end(), name) == ports.end()
            && PlatformSerialDevice::isFree(name))
            ports.push_back(name);
        start = end + 1;
    }
    return ports;
}

bool SerialPort::portNameLess(const std::string &a, const std::string &b)
{
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            std::size_t aEnd = i;
            std::size_t bEnd = j;
            while (aEnd < a.size() && isDigit(a[aEnd]))
                ++aEnd;
            while (bEnd < b.size() && isDigit(b[bEnd]))
                ++bEnd;
            // Leading zeros do not change a number's value.
            while (i + 1 < aEnd && a[i] == '0')
                ++i;
            while (j + 1 < bEnd && b[j] == '0')
                ++j;
            if (aEnd - i != bEnd - j)
                return aEnd - i < bEnd - j;
            const int order = a.compare(i, aEnd - i, b, j, bEnd - j);
            if (order != 0)
                return order < 0;
            i = aEnd;
            j = bEnd;
            continue;
        }
        if (a[i] != b[j])
            return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
        ++i;
        ++j;
    }
    if (i < a.size() || j < b.size())
        return i >= a.size();
    // Equal as numbers (ttyS01, ttyS1): plain order keeps the sort stable and strict.
    return a < b;
}
