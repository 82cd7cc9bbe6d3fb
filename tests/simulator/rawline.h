#ifndef RAWLINE_H
#define RAWLINE_H

#include "k310datapacket.h"

#include <QByteArray>
#include <QString>

// The master's end of the line in the simulator's tests: a serial port opened raw with plain
// termios, with a request/reply helper on top.
class RawLine
{
public:
    explicit RawLine(const QString &path);
    ~RawLine();
    RawLine(const RawLine &) = delete;
    RawLine &operator=(const RawLine &) = delete;

    bool isOpen() const { return fd >= 0; }
    bool isTerminal() const;
    bool write(const QByteArray &bytes);
    // Reads until n bytes arrived or timeoutMs passed.
    QByteArray read(int n, int timeoutMs);
    void close();

    static QByteArray frame(K310DataPacket packet);
    static K310DataPacket request(quint8 command, quint8 subCommand = 0, double value = 0,
                                  quint8 decimals = 0, quint8 address = 30);
    // Sends the request and decodes the reply; false when no valid reply came in time.
    bool ask(const K310DataPacket &question, K310DataPacket *reply, int timeoutMs = 1000);

private:
    int fd = -1;
};

#endif // RAWLINE_H
