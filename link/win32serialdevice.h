#ifndef WIN32SERIALDEVICE_H
#define WIN32SERIALDEVICE_H

#include "serialdevice.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <string>
#include <vector>

// A serial port through the Win32 communications functions. A name is a port name such as
// COM3; it is opened in the device namespace so that COM10 and above work.
class Win32SerialDevice : public SerialDevice
{
public:
    Win32SerialDevice() = default;
    ~Win32SerialDevice() override;
    Win32SerialDevice(const Win32SerialDevice &) = delete;
    Win32SerialDevice &operator=(const Win32SerialDevice &) = delete;

    bool open(const std::string &name) override;
    bool isOpen() const override { return handle != INVALID_HANDLE_VALUE; }
    bool close() override;

    bool setupDriver(std::uint32_t inputQueue, std::uint32_t outputQueue) override;
    bool saveSettings() override;
    bool restoreSettings() override;
    bool applyLineSettings(const SerialLineSettings &settings) override;
    bool applyTimeouts(const SerialTimeouts &timeouts) override;

    bool abortTransfers() override;
    bool discard(int queues) override;
    bool dropRts() override;
    bool takeLineErrors() override;

    int read(unsigned char *buffer, std::uint16_t count) override;
    int write(const unsigned char *buffer, std::uint16_t count) override;

    // COM1 to COM254, those that can be opened now.
    static std::vector<std::string> presentPorts();
    // Whether the named port exists and nobody holds it.
    static bool isFree(const std::string &name);

private:
    static HANDLE openExclusive(const std::string &name);

    HANDLE handle = INVALID_HANDLE_VALUE;
    DCB dcb {};
    DCB savedDcb {};
    COMMTIMEOUTS commTimeouts {};
    COMMTIMEOUTS savedTimeouts {};
};

#endif // WIN32SERIALDEVICE_H
