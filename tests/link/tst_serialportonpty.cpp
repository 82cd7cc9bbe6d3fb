#include "posixserialdevice.h"
#include "ptypair.h"
#include "serialport.h"

#include <QElapsedTimer>
#include <QTest>

#include <termios.h>

#include <algorithm>
#include <chrono>
#include <thread>

namespace {

// Timing bounds are generous: the machine has two busy cores.
constexpr qint64 Slack = 1000;
constexpr int DefaultTimeout = 100;
constexpr int FrameLength = 12;

const QByteArray Frame = QByteArray::fromHex("801E000002007D000001003A");

int readInto(SerialPort &port, QByteArray &buffer, int n)
{
    buffer = QByteArray(n, '\0');
    const int got = port.read(reinterpret_cast<unsigned char *>(buffer.data()), n);
    buffer.truncate(std::max(got, 0));
    return got;
}

termios settingsOf(const PtyPair &pty)
{
    termios settings {};
    tcgetattr(pty.slaveFd(), &settings);
    return settings;
}

bool sameSettings(const termios &a, const termios &b)
{
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag
           && a.c_lflag == b.c_lflag && cfgetispeed(&a) == cfgetispeed(&b)
           && cfgetospeed(&a) == cfgetospeed(&b)
           && std::equal(std::begin(a.c_cc), std::end(a.c_cc), std::begin(b.c_cc));
}

// Settings a port would never choose: a cooked line at 1200 bit/s with software flow control.
void giveCookedSettings(const PtyPair &pty)
{
    termios cooked = settingsOf(pty);
    cooked.c_iflag |= ICRNL | IXON;
    cooked.c_oflag |= OPOST;
    cooked.c_lflag |= ICANON | ECHO | ISIG;
    cooked.c_cflag = (cooked.c_cflag & ~tcflag_t(CSIZE)) | CS7 | PARENB;
    cfsetispeed(&cooked, B1200);
    cfsetospeed(&cooked, B1200);
    tcsetattr(pty.slaveFd(), TCSANOW, &cooked);
}

QStringList available()
{
    QStringList names;
    for (const std::string &port : SerialPort::availablePorts())
        names << QString::fromStdString(port);
    return names;
}

} // namespace

class tst_SerialPortOnPty : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void nothingArrivingReturnsZeroAfterTheTotalTimeout();
    void quietLineEndsTheReadWithTheBytesThatCame();
    void readReturnsAsSoonAsAllBytesArrived();
    void frameInTwoPiecesIsAssembled();
    void zeroReadTimeoutWaitsForTheFirstByte();
    void vanishedLineFailsTheReadInsteadOfHanging();
    void cancelEndsAReadWaitingWithoutLimitUntilReopened();
    void writeSendsTheBytes();
    void stalledWriteGivesUpAtTheWriteTimeout();
    void purgeReceiveDiscardsStaleBytes();

    void missingDeviceFailsThenAValidOpenSucceeds();
    void secondOpenOfAnOpenDeviceFails();
    void openSetsARawEightNOneLineAtTheDefaultRate();
    void baudRateBeforeOpenFailsAndIsForgotten();
    void baudRateAfterOpenTakesEffectAtOnce();
    void unsupportedBaudRateIsRefusedAndTheLineKeepsWorking();
    void closeRestoresTheSettingsFoundAtOpen();
    void reopeningRestoresTheFirstSettingsInBetween();

    void availablePortsOffersExtraPortsThatCanBeOpened();
    void availablePortsSkipsPortsHeldOpen();
    void probingLeavesThePortAsItWas();

private:
    std::unique_ptr<PtyPair> pty;
    std::unique_ptr<SerialPort> port;
};

void tst_SerialPortOnPty::init()
{
    pty = std::make_unique<PtyPair>();
    QVERIFY(pty->isValid());
    port = std::make_unique<SerialPort>();
}

void tst_SerialPortOnPty::cleanup()
{
    port.reset();
    pty.reset();
    qunsetenv(SerialPort::ExtraPortsVariable);
}

void tst_SerialPortOnPty::nothingArrivingReturnsZeroAfterTheTotalTimeout()
{
    QVERIFY(port->open(pty->slavePath()));
    QByteArray got;
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(readInto(*port, got, FrameLength), 0);
    const qint64 elapsed = clock.elapsed();
    QVERIFY2(elapsed >= FrameLength + DefaultTimeout - 2, qPrintable(QString::number(elapsed)));
    QVERIFY2(elapsed < FrameLength + DefaultTimeout + Slack, qPrintable(QString::number(elapsed)));
}

void tst_SerialPortOnPty::quietLineEndsTheReadWithTheBytesThatCame()
{
    QVERIFY(port->open(pty->slavePath()));
    // A long total time-out shows that the quiet gap, not the total, ended the read.
    const int total = 3000;
    QVERIFY(port->setReadTimeout(total));
    QVERIFY(pty->write(Frame.left(5)));
    QByteArray got;
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(readInto(*port, got, FrameLength), 5);
    QVERIFY2(clock.elapsed() < total / 2, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(got, Frame.left(5));
}

void tst_SerialPortOnPty::readReturnsAsSoonAsAllBytesArrived()
{
    QVERIFY(port->open(pty->slavePath()));
    QVERIFY(port->setReadTimeout(3000));
    QVERIFY(pty->write(Frame + Frame.left(3)));
    QByteArray got;
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(readInto(*port, got, FrameLength), FrameLength);
    QVERIFY2(clock.elapsed() < 1500, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(got, Frame);
    // What was not asked for waits for the next read.
    QCOMPARE(readInto(*port, got, FrameLength), 3);
    QCOMPARE(got, Frame.left(3));
}

void tst_SerialPortOnPty::frameInTwoPiecesIsAssembled()
{
    QVERIFY(port->open(pty->slavePath()));
    // A busy machine may stretch the 5 ms gap past the 10 ms limit now and then; one whole
    // frame out of a few tries shows the pieces are joined.
    QStringList counts;
    for (int attempt = 0; attempt < 5; ++attempt) {
        port->purgeReceive();
        std::thread farEnd([this] {
            pty->write(Frame.left(5));
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            pty->write(Frame.mid(5));
        });
        QByteArray got;
        const int n = readInto(*port, got, FrameLength);
        farEnd.join();
        counts << QString::number(n);
        if (n == FrameLength) {
            QCOMPARE(got, Frame);
            return;
        }
        QTest::qWait(50);
    }
    QFAIL(qPrintable("no whole frame; reads gave " + counts.join(", ")));
}

void tst_SerialPortOnPty::zeroReadTimeoutWaitsForTheFirstByte()
{
    QVERIFY(port->open(pty->slavePath()));
    QVERIFY(port->setReadTimeout(0));
    // Longer than any total time-out a read of 12 bytes could have.
    const int delay = 400;
    std::thread farEnd([this, delay] {
        std::this_thread::sleep_for(std::chrono::milliseconds(delay));
        pty->write(Frame.left(4));
    });
    QByteArray got;
    QElapsedTimer clock;
    clock.start();
    const int n = readInto(*port, got, FrameLength);
    const qint64 elapsed = clock.elapsed();
    farEnd.join();
    QCOMPARE(n, 4);
    QCOMPARE(got, Frame.left(4));
    QVERIFY2(elapsed >= delay - 2, qPrintable(QString::number(elapsed)));
    QVERIFY2(elapsed < delay + Slack, qPrintable(QString::number(elapsed)));
}

void tst_SerialPortOnPty::vanishedLineFailsTheReadInsteadOfHanging()
{
    QVERIFY(port->open(pty->slavePath()));
    QVERIFY(port->setReadTimeout(0));
    pty->hangUp();
    QByteArray got;
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(readInto(*port, got, FrameLength), -1);
    QVERIFY(clock.elapsed() < Slack);
    QVERIFY(port->close());
}

void tst_SerialPortOnPty::cancelEndsAReadWaitingWithoutLimitUntilReopened()
{
    QVERIFY(port->open(pty->slavePath()));
    QVERIFY(port->setReadTimeout(0));
    QElapsedTimer clock;
    qint64 ended = -1;
    int result = 0;
    clock.start();
    std::thread reader([&] {
        QByteArray got;
        result = readInto(*port, got, FrameLength);
        ended = clock.elapsed();
    });
    const int waitBeforeCancel = 200;
    QTest::qSleep(waitBeforeCancel);
    port->cancelEndlessWait();
    reader.join();
    QCOMPARE(result, -1);
    QVERIFY2(ended >= waitBeforeCancel && ended < waitBeforeCancel + Slack,
             qPrintable(QString::number(ended)));

    // The cancel belonged to that opening: reopened, the port waits and reads again.
    QVERIFY(port->open(pty->slavePath()));
    QVERIFY(pty->write(Frame));
    QByteArray got;
    QCOMPARE(readInto(*port, got, FrameLength), FrameLength);
    QCOMPARE(got, Frame);
}

void tst_SerialPortOnPty::writeSendsTheBytes()
{
    QVERIFY(port->open(pty->slavePath()));
    const QByteArray request = QByteArray::fromHex("9E0008010000183A00020853");
    QCOMPARE(port->write(reinterpret_cast<const unsigned char *>(request.constData()), FrameLength),
             FrameLength);
    QCOMPARE(pty->read(FrameLength, 2000), request);
    QCOMPARE(port->write(reinterpret_cast<const unsigned char *>(request.constData()), 0), 0);
    QVERIFY(pty->read(1, 50).isEmpty());
}

void tst_SerialPortOnPty::stalledWriteGivesUpAtTheWriteTimeout()
{
    // The port's time-outs allow 1 ms a byte, a minute for a full queue; the device's bound
    // is checked on its own with a flat allowance.
    PosixSerialDevice device;
    QVERIFY(device.open(pty->slavePath()));
    QVERIFY(device.saveSettings());
    SerialLineSettings line;
    line.baudRate = 115200;
    QVERIFY(device.applyLineSettings(line));
    SerialTimeouts timeouts;
    timeouts.writeConstant = 200;
    QVERIFY(device.applyTimeouts(timeouts));

    // Nobody reads the far end, so the pseudo-terminal's buffers fill up.
    const std::vector<unsigned char> block(0xFFFF, 0x55);
    for (int attempt = 0; attempt < 8; ++attempt) {
        QElapsedTimer clock;
        clock.start();
        const int sent = device.write(block.data(), std::uint16_t(block.size()));
        const qint64 elapsed = clock.elapsed();
        QVERIFY(sent >= 0);
        if (sent < int(block.size())) {
            QVERIFY2(elapsed >= 190, qPrintable(QString::number(elapsed)));
            QVERIFY2(elapsed < 200 + Slack, qPrintable(QString::number(elapsed)));
            QVERIFY(device.close());
            return;
        }
    }
    QFAIL("the line never stalled");
}

void tst_SerialPortOnPty::purgeReceiveDiscardsStaleBytes()
{
    QVERIFY(port->open(pty->slavePath()));
    QVERIFY(pty->write("stale"));
    QTRY_COMPARE(pty->bytesWaiting(), 5);
    QVERIFY(port->purgeReceive());
    QCOMPARE(pty->bytesWaiting(), 0);
    QVERIFY(pty->write(Frame));
    QByteArray got;
    QCOMPARE(readInto(*port, got, FrameLength), FrameLength);
    QCOMPARE(got, Frame);
}

void tst_SerialPortOnPty::missingDeviceFailsThenAValidOpenSucceeds()
{
    QVERIFY(!port->open("/dev/k310-no-such-port"));
    QVERIFY(!port->isOpen());
    QVERIFY(!port->open(""));
    QVERIFY(!port->open("/dev/null")); // a device, but no serial line
    QVERIFY(!port->isOpen());
    QVERIFY(port->open(pty->slavePath()));
    QVERIFY(port->isOpen());
    // Reopening under a missing name leaves the port closed, the first device released.
    QVERIFY(!port->open("/dev/k310-no-such-port"));
    QVERIFY(!port->isOpen());
    SerialPort other;
    QVERIFY(other.open(pty->slavePath()));
}

void tst_SerialPortOnPty::secondOpenOfAnOpenDeviceFails()
{
    QVERIFY(port->open(pty->slavePath()));
    SerialPort second;
    QVERIFY(!second.open(pty->slavePath()));
    QVERIFY(!second.isOpen());
    QVERIFY(port->close());
    QVERIFY(second.open(pty->slavePath()));
}

void tst_SerialPortOnPty::openSetsARawEightNOneLineAtTheDefaultRate()
{
    giveCookedSettings(*pty);
    QVERIFY(port->open(pty->slavePath()));
    const termios line = settingsOf(*pty);
    QCOMPARE(cfgetospeed(&line), speed_t(B115200));
    QCOMPARE(cfgetispeed(&line), speed_t(B115200));
    QCOMPARE(line.c_cflag & CSIZE, tcflag_t(CS8));
    QCOMPARE(line.c_cflag & (PARENB | CSTOPB | CRTSCTS), tcflag_t(0));
    QCOMPARE(line.c_cflag & (CREAD | CLOCAL), tcflag_t(CREAD | CLOCAL));
    QCOMPARE(line.c_iflag & (IXON | IXOFF | ICRNL | ISTRIP | INPCK), tcflag_t(0));
    QCOMPARE(line.c_oflag & OPOST, tcflag_t(0));
    QCOMPARE(line.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), tcflag_t(0));

    // Every byte value passes untouched both ways.
    QByteArray all;
    for (int byte = 0; byte < 256; ++byte)
        all.append(char(byte));
    QVERIFY(pty->write(all));
    QByteArray got;
    QCOMPARE(readInto(*port, got, 256), 256);
    QCOMPARE(got, all);
    QCOMPARE(port->write(reinterpret_cast<const unsigned char *>(all.constData()), 256), 256);
    QCOMPARE(pty->read(256, 2000), all);
}

void tst_SerialPortOnPty::baudRateBeforeOpenFailsAndIsForgotten()
{
    QVERIFY(!port->setBaudRate(9600));
    QVERIFY(port->open(pty->slavePath()));
    const termios line = settingsOf(*pty);
    QCOMPARE(cfgetospeed(&line), speed_t(B115200));
}

void tst_SerialPortOnPty::baudRateAfterOpenTakesEffectAtOnce()
{
    QVERIFY(port->open(pty->slavePath()));
    QVERIFY(port->setBaudRate(38400));
    termios line = settingsOf(*pty);
    QCOMPARE(cfgetospeed(&line), speed_t(B38400));
    QCOMPARE(line.c_lflag & ICANON, tcflag_t(0)); // the rest of the line stays raw
    QVERIFY(port->setBaudRate(9600));
    line = settingsOf(*pty);
    QCOMPARE(cfgetospeed(&line), speed_t(B9600));
}

void tst_SerialPortOnPty::unsupportedBaudRateIsRefusedAndTheLineKeepsWorking()
{
    QVERIFY(port->open(pty->slavePath()));
    QVERIFY(port->setBaudRate(19200));
    for (int rate : {12345, 0, -9600}) {
        QVERIFY2(!port->setBaudRate(rate), qPrintable(QString::number(rate)));
        const termios line = settingsOf(*pty);
        QCOMPARE(cfgetospeed(&line), speed_t(B19200));
    }
    QVERIFY(port->open(pty->slavePath()));
    const termios line = settingsOf(*pty);
    QCOMPARE(cfgetospeed(&line), speed_t(B19200));
}

void tst_SerialPortOnPty::closeRestoresTheSettingsFoundAtOpen()
{
    giveCookedSettings(*pty);
    const termios before = settingsOf(*pty);
    QVERIFY(port->open(pty->slavePath()));
    QVERIFY(port->setBaudRate(9600));
    QVERIFY(!sameSettings(settingsOf(*pty), before));
    QVERIFY(port->close());
    QVERIFY(sameSettings(settingsOf(*pty), before));
    QVERIFY(!port->isOpen());
}

void tst_SerialPortOnPty::reopeningRestoresTheFirstSettingsInBetween()
{
    giveCookedSettings(*pty);
    const termios before = settingsOf(*pty);
    QVERIFY(port->open(pty->slavePath()));
    // Had the second open not restored them first, it would keep the raw line as "found".
    QVERIFY(port->open(pty->slavePath()));
    QVERIFY(port->isOpen());
    QVERIFY(!sameSettings(settingsOf(*pty), before));
    QVERIFY(port->close());
    QVERIFY(sameSettings(settingsOf(*pty), before));
}

void tst_SerialPortOnPty::availablePortsOffersExtraPortsThatCanBeOpened()
{
    PtyPair second;
    QVERIFY(second.isValid());
    const QString first = QString::fromStdString(pty->slavePath());
    const QString other = QString::fromStdString(second.slavePath());
    qputenv(SerialPort::ExtraPortsVariable,
            QString("%1::/dev/k310-no-such-port:/dev/null:%2:%1").arg(other, first).toLocal8Bit());

    const QStringList ports = available();
    QCOMPARE(ports.count(other), 1);
    QCOMPARE(ports.count(first), 1);
    QVERIFY(ports.indexOf(other) < ports.indexOf(first));
    QVERIFY(!ports.contains("/dev/k310-no-such-port"));
    QVERIFY(!ports.contains("/dev/null"));
    QVERIFY(!ports.contains(""));
    // The extra ports come after those found on the machine, in the order given.
    QCOMPARE(ports.mid(ports.size() - 2), QStringList({other, first}));
}

void tst_SerialPortOnPty::availablePortsSkipsPortsHeldOpen()
{
    const QString path = QString::fromStdString(pty->slavePath());
    qputenv(SerialPort::ExtraPortsVariable, path.toLocal8Bit());
    QVERIFY(available().contains(path));
    QVERIFY(port->open(pty->slavePath()));
    QVERIFY(!available().contains(path));
    // The probe did not disturb the holder.
    QVERIFY(pty->write(Frame));
    QByteArray got;
    QCOMPARE(readInto(*port, got, FrameLength), FrameLength);
    QVERIFY(port->close());
    QVERIFY(available().contains(path));
}

void tst_SerialPortOnPty::probingLeavesThePortAsItWas()
{
    giveCookedSettings(*pty);
    const termios before = settingsOf(*pty);
    qputenv(SerialPort::ExtraPortsVariable, QByteArray(pty->slavePath().c_str()));
    QVERIFY(!available().isEmpty());
    QVERIFY(sameSettings(settingsOf(*pty), before));
    QVERIFY(port->open(pty->slavePath()));
}

QTEST_GUILESS_MAIN(tst_SerialPortOnPty)
#include "tst_serialportonpty.moc"
