#include "win32serialdevice.h"

namespace {

// The device namespace prefix: plain names stop at COM9.
constexpr const char *DevicePrefix = "\\\\.\\";
constexpr int FirstComPort = 1;
constexpr int LastComPort = 254;
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

Win32SerialDevice::~Win32SerialDevice()
{
    close();
}

HANDLE Win32SerialDevice::openExclusive(const std::string &name)
{
    const std::string path = DevicePrefix + name;
    return CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                       nullptr);
}

bool Win32SerialDevice::open(const std::string &name)
{
    if (isOpen())
        return false;
    handle = openExclusive(name);
    return isOpen();
}

bool Win32SerialDevice::close()
{
    if (!isOpen() || !CloseHandle(handle))
        return false;
    handle = INVALID_HANDLE_VALUE;
    return true;
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
    dcb.fRtsControl = settings.rtsWhileSending ? RTS_CONTROL_TOGGLE : RTS_CONTROL_DISABLE;
    dcb.fAbortOnError = FALSE;
    dcb.wReserved = 0;
    return SetCommState(handle, &dcb);
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
    DWORD got = 0;
    if (!isOpen() || !ReadFile(handle, buffer, count, &got, nullptr))
        return -1;
    return int(got);
}

int Win32SerialDevice::write(const unsigned char *buffer, std::uint16_t count)
{
    DWORD sent = 0;
    if (!isOpen() || !WriteFile(handle, buffer, count, &sent, nullptr))
        return -1;
    return int(sent);
}

std::vector<std::string> Win32SerialDevice::presentPorts()
{
    std::vector<std::string> ports;
    for (int number = FirstComPort; number <= LastComPort; ++number) {
        const std::string name = "COM" + std::to_string(number);
        if (isFree(name))
            ports.push_back(name);
    }
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
