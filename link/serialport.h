#ifndef SERIALPORT_H
#define SERIALPORT_H

#include "serialdevice.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// One serial port with the doser line's fixed settings (8N1, no flow control, DTR off, RTS only
// while sending) and blocking transfers under time-outs. Not thread-safe: the link serialises
// every call. Free of Qt so that it builds with any toolchain for the panel computer.
class SerialPort
{
public:
    // Colon-separated port names offered by availablePorts() besides the ports found, such as
    // the pseudo-terminal of a simulated doser.
    static constexpr const char *ExtraPortsVariable = "K310_EXTRA_PORTS";

    // Uses the serial API of the platform the program is built for.
    SerialPort();
    // Drives the given device (never null) instead, such as a stand-in in tests.
    explicit SerialPort(std::unique_ptr<SerialDevice> device);
    ~SerialPort();
    SerialPort(const SerialPort &) = delete;
    SerialPort &operator=(const SerialPort &) = delete;

    // A name as the platform spells it: COM3 on Windows, a device path such as /dev/ttyUSB0
    // elsewhere.
    bool open(const std::string &name);
    // The result code (portresult.h) of the last open: PortSuccess, PortNotPresent, PortInUse,
    // or PortNotOpened where the system does not tell why it failed.
    int openResult() const { return openOutcome; }
    // False when the system reported an error; the port stays open only if the system kept it.
    bool close();
    bool isOpen() const { return opened; }

    // Bytes moved (0 when a read timed out empty), or -1 on error, including a line error
    // reported since the last transfer. A read ends when n bytes came, when more than 10 ms
    // pass between two bytes, or after n + readTimeout ms (a readTimeout of 0 waits for the
    // first byte without limit); a write gives up after n + writeTimeout ms.
    int read(unsigned char *buffer, int n);
    int write(const unsigned char *buffer, int n);
    bool purgeReceive();
    // For closing while another thread transfers, from the thread that sets the time-outs. With
    // a time-out of 0 a transfer may wait for ever: the one waiting now fails at once, and so
    // does every later one until the port is opened again. A transfer under time-outs is left to
    // end by itself.
    void cancelEndlessWait();

    // Fail while the port is closed.
    bool setBaudRate(int rate);
    bool setReadTimeout(int ms);
    bool setWriteTimeout(int ms);

    // The ports present that can be opened now, in natural order, then those named in
    // ExtraPortsVariable that can be opened.
    static std::vector<std::string> availablePorts();
    // Natural order of port names: digit runs compare as numbers, so COM3 comes before COM10.
    static bool portNameLess(const std::string &a, const std::string &b);

private:
    void useReadTimeout(int ms);
    void useWriteTimeout(int ms);

    int readTimeout;
    int writeTimeout;
    int baudRate;
    bool opened = false;
    int openOutcome;
    // Holds the operating system's handle, and the settings and time-outs found at open.
    std::unique_ptr<SerialDevice> handle;
    SerialLineSettings lineSettings;
    SerialTimeouts timeouts;
    std::uint32_t bytesRead = 0;
    std::uint32_t bytesWritten = 0;
};

#endif // SERIALPORT_H
