#include "ptypair.h"

#include "descriptorio.h"

#include <fcntl.h>
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
    return writeAll(master, bytes);
}

QByteArray PtyPair::read(int n, int timeoutMs)
{
    return readFor(master, n, timeoutMs);
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
