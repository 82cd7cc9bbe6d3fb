#ifndef POSIXSERIALDEVICE_H
#define POSIXSERIALDEVICE_H

#include "serialdevice.h"

#include <termios.h>
#ifdef __linux__
#include <linux/serial.h>
#endif

#include <chrono>
#include <string>
#include <vector>

// A serial port through termios and the Linux serial ioctls. A name is a device path such as
// /dev/ttyS0, /dev/ttyUSB0 or a pseudo-terminal; devices without modem lines or error
// counters (pseudo-terminals) work without them.
class PosixSerialDevice : public SerialDevice
{
public:
    PosixSerialDevice();
    ~PosixSerialDevice() override;
    PosixSerialDevice(const PosixSerialDevice &) = delete;
    PosixSerialDevice &operator=(const PosixSerialDevice &) = delete;

    bool open(const std::string &name) override;
    bool isOpen() const override { return fd >= 0; }
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

    // Serial devices with real hardware behind them that can be opened now.
    static std::vector<std::string> presentPorts();
    // Whether the named device is a serial port that nobody holds and that has a UART.
    static bool isFree(const std::string &name);

private:
    using Clock = std::chrono::steady_clock;

    // Waits for the events until the deadline (none: no limit); the events that came, 0 when
    // the deadline passed, -1 on error or when cancelled.
    int waitFor(short events, const Clock::time_point *deadline) const;
    void forgetCancel();
    bool setModemLines(int lines, bool raised) const;
    bool readLineErrorCount(unsigned long long &count) const;

    int fd = -1;
    // A pipe watched beside the port by every wait; cancelWaits() makes it readable.
    int wakeRead = -1;
    int wakeWrite = -1;
    termios savedSettings {};
    bool settingsSaved = false;
    SerialTimeouts timeouts;
    // Whether the device has modem lines (a pseudo-terminal has none).
    bool modemLines = false;
    // RTS raised by hand around each write, where the driver cannot do it itself.
    bool toggleRts = false;
    // The driver's RS-485 mode switches RTS around each transmission.
    bool kernelRtsControl = false;
#ifdef __linux__
    serial_rs485 savedRs485 {};
    bool rs485Saved = false;
    bool rs485Changed = false;
#endif
    bool errorCountsKnown = false;
    unsigned long long lineErrorCount = 0;
};

#endif // POSIXSERIALDEVICE_H
