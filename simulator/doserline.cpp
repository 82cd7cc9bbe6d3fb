#include "doserline.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

// Longest wait for room on the line before the rest of a reply is given up.
constexpr int WriteTimeoutMs = 500;

struct Rate
{
    int baud;
    speed_t speed;
};

constexpr Rate Rates[] = {
    {1200, B1200},   {2400, B2400},   {4800, B4800},   {9600, B9600},
    {19200, B19200}, {38400, B38400}, {57600, B57600}, {115200, B115200},
};

void makeRaw(termios *settings)
{
    cfmakeraw(settings);
    settings->c_cflag &= ~(CSTOPB | PARENB | CRTSCTS | CSIZE);
    settings->c_cflag |= CS8 | CLOCAL | CREAD;
    settings->c_cc[VMIN] = 0;
    settings->c_cc[VTIME] = 0;
}

} // namespace

DoserLine::~DoserLine()
{
    close();
}

bool DoserLine::fail(const QString &what)
{
    error = QStringLiteral("%1: %2").arg(what, QString::fromLocal8Bit(std::strerror(errno)));
    close();
    return false;
}

bool DoserLine::isSupportedRate(int baudRate)
{
    for (const Rate &rate : Rates) {
        if (rate.baud == baudRate)
            return true;
    }
    return false;
}

bool DoserLine::openPseudoTerminal()
{
    close();
    fd = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return fail(QStringLiteral("cannot open a pseudo-terminal"));
    if (grantpt(fd) != 0 || unlockpt(fd) != 0)
        return fail(QStringLiteral("cannot unlock the pseudo-terminal"));
    const char *name = ptsname(fd);
    if (!name)
        return fail(QStringLiteral("cannot name the pseudo-terminal"));
    path = QString::fromLocal8Bit(name);
    farEnd = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (farEnd < 0)
        return fail(QStringLiteral("cannot open %1").arg(path));
    termios settings {};
    if (tcgetattr(farEnd, &settings) != 0)
        return fail(QStringLiteral("cannot read the settings of %1").arg(path));
    makeRaw(&settings);
    if (tcsetattr(farEnd, TCSANOW, &settings) != 0)
        return fail(QStringLiteral("cannot make %1 raw").arg(path));
    if (fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK) != 0)
        return fail(QStringLiteral("cannot make the pseudo-terminal non-blocking"));
    return true;
}

bool DoserLine::openDevice(const QString &devicePath, int baudRate)
{
    close();
    speed_t speed = 0;
    bool known = false;
    for (const Rate &rate : Rates) {
        if (rate.baud == baudRate) {
            speed = rate.speed;
            known = true;
        }
    }
    if (!known) {
        error = QStringLiteral("unsupported bit rate %1").arg(baudRate);
        return false;
    }
    path = devicePath;
    fd = ::open(devicePath.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return fail(QStringLiteral("cannot open %1").arg(devicePath));
    termios settings {};
    if (tcgetattr(fd, &settings) != 0)
        return fail(QStringLiteral("%1 is not a serial port").arg(devicePath));
    makeRaw(&settings);
    cfsetispeed(&settings, speed);
    cfsetospeed(&settings, speed);
    if (tcsetattr(fd, TCSANOW, &settings) != 0)
        return fail(QStringLiteral("cannot set up %1").arg(devicePath));
    tcflush(fd, TCIOFLUSH);
    return true;
}

void DoserLine::close()
{
    if (farEnd >= 0)
        ::close(farEnd);
    if (fd >= 0)
        ::close(fd);
    farEnd = fd = -1;
}

qsizetype DoserLine::read(char *buffer, qsizetype size)
{
    for (;;) {
        const ssize_t got = ::read(fd, buffer, size_t(size));
        if (got >= 0)
            return got;
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return 0;
        return -1;
    }
}

bool DoserLine::write(const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            return false;
        pollfd room {fd, POLLOUT, 0};
        if (::poll(&room, 1, WriteTimeoutMs) <= 0)
            return false;
    }
    return true;
}
