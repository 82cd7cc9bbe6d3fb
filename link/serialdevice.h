#ifndef SERIALDEVICE_H
#define SERIALDEVICE_H

#include <cstdint>
#include <string>

// Line format and modem-line use of an open port. Flow control is always off: the doser line
// has no handshake lines.
struct SerialLineSettings
{
    enum class Parity { None, Odd, Even };

    int baudRate = 0;
    int dataBits = 8;
    Parity parity = Parity::None;
    int stopBits = 1;
    // DTR held on (true) or off (false).
    bool dtr = false;
    // RTS raised only while characters are being sent, as a half-duplex line driver needs;
    // otherwise held off.
    bool rtsWhileSending = true;
};

// Time-outs of the blocking transfers, in milliseconds. A read of n bytes ends when n bytes
// arrived, when more than readInterval passes between two bytes (0: no such limit), or after
// readMultiplier * n + readConstant in total (both 0: no total limit). A write gives up after
// writeMultiplier * n + writeConstant (both 0: no limit).
struct SerialTimeouts
{
    int readInterval = 0;
    int readMultiplier = 0;
    int readConstant = 0;
    int writeMultiplier = 0;
    int writeConstant = 0;
};

// The operating system's side of one serial port: a thin layer that SerialPort drives. Each
// call reports whether the system accepted it; none of them decides policy.
class SerialDevice
{
public:
    enum Queue { InputQueue = 1, OutputQueue = 2, BothQueues = InputQueue | OutputQueue };
    // Why the last open() failed, as far as the system tells.
    enum class OpenFailure { Unknown, NotPresent, InUse };

    virtual ~SerialDevice() = default;

    // Opens the named port for exclusive use, with DTR and RTS dropped where it has them.
    virtual bool open(const std::string &name) = 0;
    virtual OpenFailure openFailure() const { return OpenFailure::Unknown; }
    virtual bool isOpen() const = 0;
    // Releases the port; false when the system reported an error, and isOpen() then tells
    // whether it kept the port.
    virtual bool close() = 0;

    // Sizes the driver's queues and prepares it for use.
    virtual bool setupDriver(std::uint32_t inputQueue, std::uint32_t outputQueue) = 0;
    // Keeps the settings and time-outs the port has now, for restoreSettings().
    virtual bool saveSettings() = 0;
    virtual bool restoreSettings() = 0;
    // Applies the given line format on top of the settings found at saveSettings().
    virtual bool applyLineSettings(const SerialLineSettings &settings) = 0;
    virtual bool applyTimeouts(const SerialTimeouts &timeouts) = 0;

    // Ends transfers still pending in the driver.
    virtual bool abortTransfers() = 0;
    // Throws away what the given queues (Queue flags) hold.
    virtual bool discard(int queues) = 0;
    virtual bool dropRts() = 0;
    // Whether a framing, parity, overrun or break error occurred since the last call; the
    // errors count as reported afterwards.
    virtual bool takeLineErrors() = 0;

    // Blocking transfers under the applied time-outs: the count moved, or -1 on failure.
    virtual int read(unsigned char *buffer, std::uint16_t count) = 0;
    virtual int write(const unsigned char *buffer, std::uint16_t count) = 0;
    // Safe from any thread: the transfer waiting now fails at once, and so does every later
    // one until the port is opened again.
    virtual void cancelWaits() = 0;
};

#endif // SERIALDEVICE_H
