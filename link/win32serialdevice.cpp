#include "win32serialdevice.h"

#include <cstdio>

namespace {

// The device namespace prefix: plain names stop at COM9.
constexpr const char *DevicePrefix = "\\\\.\\";
// The system's list of serial ports: one value per port, its data the port name.
constexpr const char *SerialPortList = "HARDWARE\\DEVICEMAP\\SERIALCOMM";
constexpr DWORD RegistryTextLength = 256;
constexpr DWORD LineErrors = CE_BREAK | CE_FRAME | CE_OVERRUN | CE_RXOVER | CE_RXPARITY;

BYTE parityFor(SerialLineSettings::Parity parity)
{
    switch (parity) {
    case SerialLineSettings::Parity::Odd:
        return ODDPARITY;
    case SerialLineSettings::Parity::Even:
        return EVENPARITY;
    default:
        return NOPARITY;
    }
}

} // namespace

Win32SerialDevice::Win32SerialDevice()
    : transferEnded(CreateEventA(nullptr, TRUE, FALSE, nullptr))
    , cancelled(CreateEventA(nullptr, TRUE, FALSE, nullptr))
{ }

Win32SerialDevice::~Win32SerialDevice()
{
    close();
    for (HANDLE event : {transferEnded, cancelled}) {
        if (event)
            CloseHandle(event);
    }
}

std::string Win32SerialDevice::devicePath(const std::string &name)
{
    // A name that starts like a path is one already (\\.\COM12); prefixed again it would name
    // nothing.
    if (name.compare(0, 2, "\\\\") == 0)
        return name;
    return DevicePrefix + name;
}

HANDLE Win32SerialDevice::openExclusive(const std::string &name)
{
    return CreateFileA(devicePath(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                       OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
}

SerialDevice::OpenFailure Win32SerialDevice::failureFor(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return OpenFailure::NotPresent;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
        return OpenFailure::InUse;
    default:
        return OpenFailure::Unknown;
    }
}

bool Win32SerialDevice::open(const std::string &name)
{
    if (isOpen())
        return false;
    handle = openExclusive(name);
    if (!isOpen()) {
        failure = failureFor(GetLastError());
        return false;
    }
    failure = OpenFailure::Unknown;
    portName = name;
    rtsToggleRefused = rtsLine = toggleRts = false;
    ResetEvent(cancelled);
    return true;
}

bool Win32SerialDevice::close()
{
    if (!isOpen())
        return false;
    // CloseHandle refuses only a handle that is no longer valid, so it is forgotten either way.
    const bool closed = CloseHandle(handle) != FALSE;
    handle = INVALID_HANDLE_VALUE;
    ResetEvent(cancelled);
    return closed;
}

bool Win32SerialDevice::setupDriver(std::uint32_t inputQueue, std::uint32_t outputQueue)
{
    // Nothing waits on events; the mask is set for drivers that expect one.
    return isOpen() && SetupComm(handle, inputQueue, outputQueue)
           && SetCommMask(handle, EV_RXCHAR | EV_TXEMPTY);
}

bool Win32SerialDevice::saveSettings()
{
    savedDcb.DCBlength = sizeof(DCB);
    dcb.DCBlength = sizeof(DCB);
    return isOpen() && GetCommState(handle, &savedDcb) && GetCommState(handle, &dcb)
           && GetCommTimeouts(handle, &savedTimeouts) && GetCommTimeouts(handle, &commTimeouts);
}

bool Win32SerialDevice::restoreSettings()
{
    if (!isOpen())
        return false;
    const bool state = SetCommState(handle, &savedDcb);
    const bool times = SetCommTimeouts(handle, &savedTimeouts);
    return state && times;
}

bool Win32SerialDevice::applyLineSettings(const SerialLineSettings &settings)
{
    if (!isOpen() || settings.baudRate <= 0)
        return false;
    dcb.DCBlength = sizeof(DCB);
    dcb.BaudRate = DWORD(settings.baudRate);
    dcb.ByteSize = BYTE(settings.dataBits);
    dcb.Parity = parityFor(settings.parity);
    dcb.StopBits = settings.stopBits == 2 ? TWOSTOPBITS : ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fParity = settings.parity != SerialLineSettings::Parity::None;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = settings.dtr ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fTXContinueOnXoff = TRUE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    const bool driverToggles = settings.rtsWhileSending && !rtsToggleRefused;
    dcb.fRtsControl = driverToggles ? RTS_CONTROL_TOGGLE : RTS_CONTROL_DISABLE;
    dcb.fAbortOnError = FALSE;
    dcb.wReserved = 0;
    if (SetCommState(handle, &dcb)) {
        toggleRts = settings.rtsWhileSending && rtsToggleRefused && rtsLine;
        return true;
    }
    if (!driverToggles)
        return false;
    // Many drivers, USB adapters among them, refuse to switch RTS themselves.
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    if (!SetCommState(handle, &dcb))
        return false;
    rtsToggleRefused = true;
    rtsLine = EscapeCommFunction(handle, CLRRTS) != FALSE;
    toggleRts = rtsLine;
    reportRtsFallback();
    return true;
}

void Win32SerialDevice::reportRtsFallback() const
{
    if (rtsLine)
        std::fprintf(stderr,
                     "%s: the driver does not switch RTS while sending; it is raised by hand "
                     "around each write\n",
                     portName.c_str());
    else
        std::fprintf(stderr,
                     "%s: the driver does not switch RTS while sending, and the port has no RTS "
                     "line to switch by hand\n",
                     portName.c_str());
}

bool Win32SerialDevice::applyTimeouts(const SerialTimeouts &timeouts)
{
    if (!isOpen())
        return false;
    commTimeouts.ReadIntervalTimeout = DWORD(timeouts.readInterval);
    commTimeouts.ReadTotalTimeoutMultiplier = DWORD(timeouts.readMultiplier);
    commTimeouts.ReadTotalTimeoutConstant = DWORD(timeouts.readConstant);
    commTimeouts.WriteTotalTimeoutMultiplier = DWORD(timeouts.writeMultiplier);
    commTimeouts.WriteTotalTimeoutConstant = DWORD(timeouts.writeConstant);
    return SetCommTimeouts(handle, &commTimeouts);
}

bool Win32SerialDevice::abortTransfers()
{
    return isOpen() && PurgeComm(handle, PURGE_TXABORT | PURGE_RXABORT);
}

bool Win32SerialDevice::discard(int queues)
{
    if (!isOpen())
        return false;
    DWORD flags = 0;
    if (queues & InputQueue)
        flags |= PURGE_RXCLEAR;
    if (queues & OutputQueue)
        flags |= PURGE_TXCLEAR;
    return flags == 0 || PurgeComm(handle, flags);
}

bool Win32SerialDevice::dropRts()
{
    return isOpen() && EscapeCommFunction(handle, CLRRTS);
}

bool Win32SerialDevice::takeLineErrors()
{
    if (!isOpen())
        return false;
    DWORD errors = 0;
    COMSTAT status {};
    // A port that cannot report its state will fail its transfer anyway.
    if (!ClearCommError(handle, &errors, &status))
        return true;
    return (errors & LineErrors) != 0;
}

int Win32SerialDevice::read(unsigned char *buffer, std::uint16_t count)
{
    if (!isOpen())
        return -1;
    OVERLAPPED pending {};
    pending.hEvent = transferEnded;
    return finish(ReadFile(handle, buffer, count, nullptr, &pending), pending);
}

int Win32SerialDevice::write(const unsigned char *buffer, std::uint16_t count)
{
    if (!isOpen())
        return -1;
    if (toggleRts)
        EscapeCommFunction(handle, SETRTS);
    OVERLAPPED pending {};
    pending.hEvent = transferEnded;
    const int sent = finish(WriteFile(handle, buffer, count, nullptr, &pending), pending);
    if (toggleRts) {
        // RTS must stay up until the driver has sent the last byte.
        FlushFileBuffers(handle);
        EscapeCommFunction(handle, CLRRTS);
    }
    return sent;
}

int Win32SerialDevice::finish(BOOL started, OVERLAPPED &pending)
{
    if (!started && GetLastError() != ERROR_IO_PENDING)
        return -1;
    const HANDLE events[] = {transferEnded, cancelled};
    DWORD moved = 0;
    // A transfer that has ended wins over a cancel that came meanwhile.
    if (WaitForMultipleObjects(2, events, FALSE, INFINITE) != WAIT_OBJECT_0) {
        CancelIoEx(handle, &pending);
        // The buffer and the OVERLAPPED must outlive the transfer.
        GetOverlappedResult(handle, &pending, &moved, TRUE);
        return -1;
    }
    // A read that ran into its time-out has succeeded with what it got, though some systems
    // report it as failed with ERROR_TIMEOUT.
    if (GetOverlappedResult(handle, &pending, &moved, FALSE) || GetLastError() == ERROR_TIMEOUT)
        return int(moved);
    return -1;
}

void Win32SerialDevice::cancelWaits()
{
    SetEvent(cancelled);
}

std::vector<std::string> Win32SerialDevice::presentPorts()
{
    std::vector<std::string> ports;
    for (const std::string &name : listedPorts()) {
        if (isFree(name))
            ports.push_back(name);
    }
    return ports;
}

std::vector<std::string> Win32SerialDevice::listedPorts()
{
    std::vector<std::string> ports;
    HKEY list = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SerialPortList, 0, KEY_QUERY_VALUE, &list)
        != ERROR_SUCCESS)
        return ports;
    for (DWORD index = 0;; ++index) {
        char device[RegistryTextLength];
        DWORD deviceLength = RegistryTextLength;
        char port[RegistryTextLength];
        // One byte kept for a terminating zero the data may lack.
        DWORD portLength = RegistryTextLength - 1;
        DWORD type = 0;
        const LONG status = RegEnumValueA(list, index, device, &deviceLength, nullptr, &type,
                                          reinterpret_cast<BYTE *>(port), &portLength);
        if (status == ERROR_MORE_DATA)
            continue;
        if (status != ERROR_SUCCESS)
            break;
        port[portLength] = '\0';
        if (type == REG_SZ && port[0] != '\0')
            ports.emplace_back(port);
    }
    RegCloseKey(list);
    return ports;
}

bool Win32SerialDevice::isFree(const std::string &name)
{
    const HANDLE probe = openExclusive(name);
    if (probe == INVALID_HANDLE_VALUE)
        return false;
    // Opening may have raised DTR and RTS: a probe must leave the line quiet.
    EscapeCommFunction(probe, CLRDTR);
    EscapeCommFunction(probe, CLRRTS);
    CloseHandle(probe);
    return true;
}
