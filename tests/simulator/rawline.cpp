#include "rawline.h"

#include "descriptorio.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int WriteTimeoutMs = 1000;

} // namespace

RawLine::RawLine(const QString &path)
{
    fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return;
    termios settings {};
    tcgetattr(fd, &settings);
    cfmakeraw(&settings);
    cfsetispeed(&settings, B38400);
    cfsetospeed(&settings, B38400);
    tcsetattr(fd, TCSANOW, &settings);
    tcflush(fd, TCIOFLUSH);
}

RawLine::~RawLine()
{
    close();
}

void RawLine::close()
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

bool RawLine::isTerminal() const
{
    return fd >= 0 && isatty(fd);
}

bool RawLine::write(const QByteArray &bytes)
{
    return writeAll(fd, bytes, WriteTimeoutMs);
}

QByteArray RawLine::read(int n, int timeoutMs)
{
    return readFor(fd, n, timeoutMs);
}

QByteArray RawLine::frame(K310DataPacket packet)
{
    QByteArray bytes(K310FrameLength, '\0');
    packet.toFrame(reinterpret_cast<quint8 *>(bytes.data()));
    return bytes;
}

K310DataPacket RawLine::request(quint8 command, quint8 subCommand, double value, quint8 decimals,
                                quint8 address)
{
    K310DataPacket packet;
    packet.receiver = address;
    packet.command = command;
    packet.subCommand = subCommand;
    if (value != 0 || decimals != 0)
        packet.setValue(value, decimals);
    return packet;
}

bool RawLine::ask(const K310DataPacket &question, K310DataPacket *reply, int timeoutMs)
{
    if (!write(frame(question)))
        return false;
    const QByteArray bytes = read(K310FrameLength, timeoutMs);
    return bytes.size() == K310FrameLength
           && reply->fromFrame(reinterpret_cast<const quint8 *>(bytes.constData()), K310FrameLength)
                  == K310FrameLength;
}
