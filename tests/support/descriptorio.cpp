#include "descriptorio.h"

#include <QElapsedTimer>

#include <cerrno>
#include <poll.h>
#include <unistd.h>

bool writeAll(int fd, const QByteArray &bytes, int timeoutMs)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN) {
            pollfd room {fd, POLLOUT, 0};
            if (::poll(&room, 1, timeoutMs) <= 0)
                return false;
            continue;
        }
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

QByteArray readFor(int fd, int n, int timeoutMs)
{
    QByteArray out;
    QElapsedTimer clock;
    clock.start();
    while (out.size() < n) {
        const int left = timeoutMs - int(clock.elapsed());
        if (left <= 0)
            break;
        pollfd pfd {fd, POLLIN, 0};
        const int ready = ::poll(&pfd, 1, left);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0 || !(pfd.revents & POLLIN))
            break;
        char buffer[256];
        const ssize_t got =
            ::read(fd, buffer, size_t(qMin<qsizetype>(n - out.size(), sizeof buffer)));
        if (got < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (got <= 0)
            break;
        out.append(buffer, got);
    }
    return out;
}
