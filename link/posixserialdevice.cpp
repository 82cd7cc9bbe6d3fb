#include "posixserialdevice.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>

namespace {

constexpr int OpenFlags = O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK;

struct BaudRate
{
    int rate;
    speed_t speed;
};

constexpr BaudRate BaudRates[] = {
    {50, B50},           {75, B75},         {110, B110},       {134, B134},     {150, B150},
    {200, B200},         {300, B300},       {600, B600},       {1200, B1200},   {1800, B1800},
    {2400, B2400},       {4800, B4800},     {9600, B9600},     {19200, B19200}, {38400, B38400},
    {57600, B57600},     {115200, B115200}, {230400, B230400},
#ifdef B460800
    {460800, B460800},
#endif
#ifdef B500000
    {500000, B500000},
#endif
#ifdef B576000
    {576000, B576000},
#endif
#ifdef B921600
    {921600, B921600},
#endif
#ifdef B1000000
    {1000000, B1000000},
#endif
};

bool speedFor(int rate, speed_t &speed)
{
    for (const BaudRate &known : BaudRates) {
        if (known.rate == rate) {
            speed = known.speed;
            return true;
        }
    }
    return false;
}

bool characterSizeFor(int dataBits, tcflag_t &size)
{
    switch (dataBits) {
    case 5:
        size = CS5;
        return true;
    case 6:
        size = CS6;
        return true;
    case 7:
        size = CS7;
        return true;
    case 8:
        size = CS8;
        return true;
    default:
        return false;
    }
}

// Milliseconds to wait for poll(), rounded up so that a wait never ends before its deadline.
int pollDelay(std::chrono::steady_clock::duration left)
{
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return ms > INT_MAX ? INT_MAX : int(ms);
}

std::chrono::steady_clock::time_point deadlineAfter(std::chrono::steady_clock::time_point start,
                                                    int multiplier, int constant, int count)
{
    return start + std::chrono::milliseconds(static_cast<long long>(multiplier) * count + constant);
}

#ifdef __linux__
// The kernel console's ports: its messages would corrupt a doser's line.
std::set<std::string> consolePorts()
{
    std::ifstream active("/sys/class/tty/console/active");
    return {std::istream_iterator<std::string>(active), std::istream_iterator<std::string>()};
}

bool hasUart(int fd)
{
    serial_struct info {};
    // Built-in port slots are there whether or not a UART answers behind them.
    return ioctl(fd, TIOCGSERIAL, &info) != 0 || info.type != PORT_UNKNOWN;
}
#endif

} // namespace

PosixSerialDevice::PosixSerialDevice()
{
    int ends[2];
    if (pipe(ends) != 0)
        return;
    for (const int end : ends) {
        fcntl(end, F_SETFD, FD_CLOEXEC);
        fcntl(end, F_SETFL, O_NONBLOCK);
    }
    wakeRead = ends[0];
    wakeWrite = ends[1];
}

PosixSerialDevice::~PosixSerialDevice()
{
    close();
    if (wakeRead >= 0) {
        ::close(wakeRead);
        ::close(wakeWrite);
    }
}

bool PosixSerialDevice::open(const std::string &name)
{
    if (fd >= 0)
        return false;
    const int opened = ::open(name.c_str(), OpenFlags);
    if (opened < 0)
        return false;
    // TIOCEXCL keeps other users out (root is not kept out by it); the lock keeps out every
    // other program that honours it, and any second SerialPort.
    if (!isatty(opened) || ioctl(opened, TIOCEXCL) != 0 || flock(opened, LOCK_EX | LOCK_NB) != 0) {
        ::close(opened);
        return false;
    }
    fd = opened;
    forgetCancel();
    // Opening a tty raises DTR and RTS; the doser line wants both off until a write.
    modemLines = setModemLines(TIOCM_DTR | TIOCM_RTS, false);
    errorCountsKnown = readLineErrorCount(lineErrorCount);
    return true;
}

bool PosixSerialDevice::close()
{
    if (fd < 0)
        return false;
    // The exclusive flag would outlive this descriptor while others hold the tty open.
    ioctl(fd, TIOCNXCL);
    // The descriptor is released even when close() reports an error.
    ::close(fd);
    fd = -1;
    forgetCancel();
    settingsSaved = false;
    modemLines = toggleRts = kernelRtsControl = false;
#ifdef __linux__
    rs485Saved = rs485Changed = false;
#endif
    errorCountsKnown = false;
    return true;
}

bool PosixSerialDevice::setupDriver(std::uint32_t, std::uint32_t)
{
    // The kernel's tty buffers have a fixed size.
    return fd >= 0;
}

bool PosixSerialDevice::saveSettings()
{
    if (fd < 0 || tcgetattr(fd, &savedSettings) != 0)
        return false;
    settingsSaved = true;
#ifdef __linux__
    rs485Saved = ioctl(fd, TIOCGRS485, &savedRs485) == 0;
#endif
    return true;
}

bool PosixSerialDevice::restoreSettings()
{
    if (fd < 0 || !settingsSaved)
        return false;
#ifdef __linux__
    if (rs485Changed)
        ioctl(fd, TIOCSRS485, &savedRs485);
    rs485Changed = false;
    kernelRtsControl = false;
#endif
    return tcsetattr(fd, TCSANOW, &savedSettings) == 0;
}

bool PosixSerialDevice::applyLineSettings(const SerialLineSettings &settings)
{
    speed_t speed;
    tcflag_t characterSize;
    if (fd < 0 || !settingsSaved || !speedFor(settings.baudRate, speed)
        || !characterSizeFor(settings.dataBits, characterSize)
        || (settings.stopBits != 1 && settings.stopBits != 2))
        return false;

    termios line = savedSettings;
    line.c_iflag &= ~tcflag_t(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON
                              | IXOFF | IXANY | INPCK | IGNPAR);
    line.c_oflag &= ~tcflag_t(OPOST);
    line.c_lflag &= ~tcflag_t(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    line.c_cflag &= ~tcflag_t(CSIZE | PARENB | PARODD | CSTOPB);
#ifdef CRTSCTS
    line.c_cflag &= ~tcflag_t(CRTSCTS);
#endif
    line.c_cflag |= characterSize | CREAD | CLOCAL;
    if (settings.parity != SerialLineSettings::Parity::None) {
        line.c_cflag |= PARENB;
        line.c_iflag |= INPCK;
        if (settings.parity == SerialLineSettings::Parity::Odd)
            line.c_cflag |= PARODD;
    }
    if (settings.stopBits == 2)
        line.c_cflag |= CSTOPB;
    // Reads poll first, so a read returns what is there and never blocks.
    line.c_cc[VMIN] = 1;
    line.c_cc[VTIME] = 0;
    if (cfsetispeed(&line, speed) != 0 || cfsetospeed(&line, speed) != 0
        || tcsetattr(fd, TCSANOW, &line) != 0)
        return false;
    // tcsetattr() succeeds when any part of the change was taken.
    termios applied {};
    if (tcgetattr(fd, &applied) != 0 || cfgetospeed(&applied) != speed
        || (applied.c_cflag & CSIZE) != characterSize)
        return false;

    kernelRtsControl = false;
#ifdef __linux__
    if (settings.rtsWhileSending && rs485Saved) {
        serial_rs485 rs485 = savedRs485;
        rs485.flags |= SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND;
        rs485.flags &= ~__u32(SER_RS485_RTS_AFTER_SEND);
        kernelRtsControl = ioctl(fd, TIOCSRS485, &rs485) == 0;
        rs485Changed = rs485Changed || kernelRtsControl;
    }
#endif
    toggleRts = settings.rtsWhileSending && modemLines && !kernelRtsControl;
    // Leaving the B0 rate raises DTR and RTS again.
    if (modemLines) {
        setModemLines(TIOCM_DTR, settings.dtr);
        if (!kernelRtsControl)
            setModemLines(TIOCM_RTS, false);
    }
    return true;
}

bool PosixSerialDevice::applyTimeouts(const SerialTimeouts &newTimeouts)
{
    if (fd < 0)
        return false;
    timeouts = newTimeouts;
    return true;
}

bool PosixSerialDevice::abortTransfers()
{
    // Transfers run to their end on the caller's thread; none is ever left pending.
    return fd >= 0;
}

bool PosixSerialDevice::discard(int queues)
{
    if (fd < 0)
        return false;
    switch (queues & BothQueues) {
    case InputQueue:
        return tcflush(fd, TCIFLUSH) == 0;
    case OutputQueue:
        return tcflush(fd, TCOFLUSH) == 0;
    case BothQueues:
        return tcflush(fd, TCIOFLUSH) == 0;
    default:
        return true;
    }
}

bool PosixSerialDevice::dropRts()
{
    if (fd < 0)
        return false;
    return !modemLines || setModemLines(TIOCM_RTS, false);
}

bool PosixSerialDevice::takeLineErrors()
{
    if (fd < 0 || !errorCountsKnown)
        return false;
    unsigned long long count = 0;
    // A device that stops answering will fail its transfer anyway.
    if (!readLineErrorCount(count))
        return true;
    const bool fresh = count != lineErrorCount;
    lineErrorCount = count;
    return fresh;
}

int PosixSerialDevice::read(unsigned char *buffer, std::uint16_t count)
{
    if (fd < 0)
        return -1;
    const Clock::time_point start = Clock::now();
    const bool totalLimit = timeouts.readMultiplier != 0 || timeouts.readConstant != 0;
    const Clock::time_point total =
        deadlineAfter(start, timeouts.readMultiplier, timeouts.readConstant, count);
    Clock::time_point lastByte = start;
    int got = 0;
    while (got < count) {
        const Clock::time_point *deadline = totalLimit ? &total : nullptr;
        Clock::time_point interval;
        if (got > 0 && timeouts.readInterval > 0) {
            interval = lastByte + std::chrono::milliseconds(timeouts.readInterval);
            if (!deadline || interval < *deadline)
                deadline = &interval;
        }
        const int events = waitFor(POLLIN, deadline);
        if (events < 0)
            return -1;
        if (events == 0)
            break;
        if (!(events & POLLIN))
            return -1; // hung up or failed with nothing left to read
        const ssize_t n = ::read(fd, buffer + got, std::size_t(count - got));
        if (n > 0) {
            got += int(n);
            lastByte = Clock::now();
        } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
            return -1;
        }
    }
    return got;
}

int PosixSerialDevice::write(const unsigned char *buffer, std::uint16_t count)
{
    if (fd < 0)
        return -1;
    const bool limited = timeouts.writeMultiplier != 0 || timeouts.writeConstant != 0;
    const Clock::time_point deadline =
        deadlineAfter(Clock::now(), timeouts.writeMultiplier, timeouts.writeConstant, count);
    if (toggleRts)
        setModemLines(TIOCM_RTS, true);
    int sent = 0;
    bool failed = false;
    while (sent < count) {
        const ssize_t n = ::write(fd, buffer + sent, std::size_t(count - sent));
        if (n > 0) {
            sent += int(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN) {
            const int events = waitFor(POLLOUT, limited ? &deadline : nullptr);
            if (events > 0 && (events & POLLOUT))
                continue;
            failed = events != 0;
            break;
        }
        failed = true;
        break;
    }
    if (toggleRts) {
        // RTS must stay up until the last stop bit has left the line.
        tcdrain(fd);
        setModemLines(TIOCM_RTS, false);
    }
    return failed ? -1 : sent;
}

void PosixSerialDevice::cancelWaits()
{
    if (wakeWrite < 0)
        return;
    const char wake = 1;
    // A full pipe is readable too, so a write refused for that changes nothing.
    [[maybe_unused]] const ssize_t written = ::write(wakeWrite, &wake, 1);
}

void PosixSerialDevice::forgetCancel()
{
    char sink[64];
    while (wakeRead >= 0 && ::read(wakeRead, sink, sizeof sink) > 0) { }
}

std::vector<std::string> PosixSerialDevice::presentPorts()
{
    std::vector<std::string> ports;
#ifdef __linux__
    const std::string classDir = "/sys/class/tty/";
    const std::set<std::string> consoles = consolePorts();
    DIR *dir = opendir(classDir.c_str());
    if (!dir)
        return ports;
    while (const dirent *entry = readdir(dir)) {
        const std::string name = entry->d_name;
        // Virtual terminals and pseudo-terminals have no device behind them.
        if (name.front() == '.' || consoles.count(name)
            || access((classDir + name + "/device").c_str(), F_OK) != 0)
            continue;
        const std::string path = "/dev/" + name;
        if (isFree(path))
            ports.push_back(path);
    }
    closedir(dir);
#endif
    return ports;
}

bool PosixSerialDevice::isFree(const std::string &name)
{
    struct stat info
    { };
    if (stat(name.c_str(), &info) != 0 || !S_ISCHR(info.st_mode))
        return false;
    const int probe = ::open(name.c_str(), OpenFlags);
    if (probe < 0)
        return false;
    // Opening raised DTR and RTS: a probe must leave the line as quiet as it found it.
    int lines = TIOCM_DTR | TIOCM_RTS;
    ioctl(probe, TIOCMBIC, &lines);
    bool usable = isatty(probe) && flock(probe, LOCK_EX | LOCK_NB) == 0;
#ifdef __linux__
    usable = usable && hasUart(probe);
#endif
    // Closing also releases the lock.
    ::close(probe);
    return usable;
}

int PosixSerialDevice::waitFor(short events, const Clock::time_point *deadline) const
{
    for (;;) {
        int delay = -1;
        if (deadline) {
            const Clock::duration left = *deadline - Clock::now();
            if (left <= Clock::duration::zero())
                return 0;
            delay = pollDelay(left);
        }
        pollfd watched[] = {{fd, events, 0}, {wakeRead, POLLIN, 0}};
        const int ready = ::poll(watched, wakeRead >= 0 ? 2 : 1, delay);
        if (ready > 0 && watched[1].revents != 0)
            return -1;
        if (ready > 0)
            return watched[0].revents;
        if (ready < 0 && errno != EINTR)
            return -1;
    }
}

bool PosixSerialDevice::setModemLines(int lines, bool raised) const
{
    return ioctl(fd, raised ? TIOCMBIS : TIOCMBIC, &lines) == 0;
}

bool PosixSerialDevice::readLineErrorCount(unsigned long long &count) const
{
#ifdef TIOCGICOUNT
    serial_icounter_struct counters {};
    if (ioctl(fd, TIOCGICOUNT, &counters) != 0)
        return false;
    count = static_cast<unsigned long long>(counters.frame) + unsigned(counters.overrun)
            + unsigned(counters.parity) + unsigned(counters.brk) + unsigned(counters.buf_overrun);
    return true;
#else
    (void)count;
    return false;
#endif
}
