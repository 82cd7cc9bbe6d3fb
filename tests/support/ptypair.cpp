#include "ptypair.h"

#include <QElapsedTimer>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

PtyPair::PtyPair()
{
    char name[256] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        master = slave = -1;
        return;
    }
    termios raw {};
    tcgetattr(slave, &raw);
    cfmakeraw(&raw);
    tcsetattr(slave, TCSANOW, &raw);
    fcntl(master, F_SETFD, FD_CLOEXEC);
    fcntl(slave, F_SETFD, FD_CLOEXEC);
    path = name;
}

PtyPair::~PtyPair()
{
    if (slave >= 0)
        ::close(slave);
    if (master >= 0)
        ::close(master);
}

bool PtyPair::write(const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(master, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

QByteArray PtyPair::read(int n, int timeoutMs)
{
    QByteArray out;
    QElapsedTimer clock;
    clock.start();
    while (out.size() < n) {
        const int left = timeoutMs - int(clock.elapsed());
        if (left <= 0)
            break;
        pollfd pfd {master, POLLIN, 0};
        const int ready = ::poll(&pfd, 1, left);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0 || !(pfd.revents & POLLIN))
            break;
        char buf[256];
        const ssize_t got =
            ::read(master, buf, size_t(qMin<qsizetype>(n - out.size(), sizeof buf)));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        out.append(buf, got);
    }
    return out;
}

void PtyPair::drain()
{
    while (!read(4096, 5).isEmpty()) { }
}

int PtyPair::bytesWaiting() const
{
    int count = 0;
    return ioctl(slave, FIONREAD, &count) == 0 ? count : -1;
}

void PtyPair::hangUp()
{
    if (master >= 0)
        ::close(master);
    master = -1;
}
