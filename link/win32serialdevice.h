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
// COM3, opened in the device namespace so that COM10 and above work, or a path already there
// (\\.\COM12). Transfers are overlapped only so that cancelWaits() can end them; each call
// still blocks until its transfer is over.
class Win32SerialDevice : public SerialDevice
{
public:
    Win32SerialDevice();
    ~Win32SerialDevice() override;
    Win32SerialDevice(const Win32SerialDevice &) = delete;
    Win32SerialDevice &operator=(const Win32SerialDevice &) = delete;

    bool open(const std::string &name) override;
    OpenFailure openFailure() const override { return failure; }
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
    void cancelWaits() override;

    // The listed ports that can be opened now. Only listed ones are probed: opening anything
    // else (a modem, a debug port) could upset it.
    static std::vector<std::string> presentPorts();
    // The serial ports the system lists, in its order, whether free or not.
    static std::vector<std::string> listedPorts();
    // Whether the named port exists and nobody holds it.
    static bool isFree(const std::string &name);
    static OpenFailure failureFor(DWORD error);
    // What CreateFileA opens for a port name.
    static std::string devicePath(const std::string &name);

private:
    static HANDLE openExclusive(const std::string &name);
    // Waits for a transfer that started (or failed to) until it ends or cancelWaits() is
    // called; the count moved, or -1.
    int finish(BOOL started, OVERLAPPED &pending);
    void reportRtsFallback() const;

    HANDLE handle = INVALID_HANDLE_VALUE;
    // Manual-reset events: one signalled by each transfer as it ends, one by cancelWaits()
    // until the port is closed.
    HANDLE transferEnded = nullptr;
    HANDLE cancelled = nullptr;
    OpenFailure failure = OpenFailure::Unknown;
    std::string portName;
    DCB dcb {};
    DCB savedDcb {};
    COMMTIMEOUTS commTimeouts {};
    COMMTIMEOUTS savedTimeouts {};
    // The driver refused to switch RTS around each transmission, so it is raised by hand
    // (toggleRts) where the port has an RTS line at all.
    bool rtsToggleRefused = false;
    bool rtsLine = false;
    bool toggleRts = false;
};

#endif // WIN32SERIALDEVICE_H
