#ifndef DOSERLINE_H
#define DOSERLINE_H

#include <QByteArray>
#include <QString>

// The doser's end of the serial line: a pseudo-terminal of its own, whose other end the
// master opens like a COM port, or a real serial device. The descriptor is non-blocking.
class DoserLine
{
public:
    DoserLine() = default;
    ~DoserLine();
    DoserLine(const DoserLine &) = delete;
    DoserLine &operator=(const DoserLine &) = delete;

    bool openPseudoTerminal();
    // Opens a serial device raw, 8 data bits, no parity, 1 stop bit, no flow control.
    bool openDevice(const QString &path, int baudRate);
    void close();

    bool isOpen() const { return fd >= 0; }
    // The path the master is to open.
    QString portPath() const { return path; }
    int descriptor() const { return fd; }
    QString errorString() const { return error; }

    // Reads what has arrived, without waiting; 0 when nothing has, -1 on a line failure.
    qsizetype read(char *buffer, qsizetype size);
    // Writes everything, waiting a bounded time for room; false when not all went out.
    bool write(const QByteArray &bytes);

    static bool isSupportedRate(int baudRate);

private:
    bool fail(const QString &what);

    int fd = -1;
    // Our own descriptor of the pseudo-terminal's far end: with it the line stays up while the
    // master closes and reopens the port, instead of hanging up.
    int farEnd = -1;
    QString path;
    QString error;
};

#endif // DOSERLINE_H
