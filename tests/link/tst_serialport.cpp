#include "fakeserialdevice.h"
#include "portresult.h"
#include "serialport.h"

#include <QTemporaryFile>
#include <QTest>

#include <cstdio>
#include <unistd.h>
#include <vector>

namespace {

using State = FakeSerialDevice::State;

std::unique_ptr<SerialPort> portOn(const std::shared_ptr<State> &state)
{
    return std::make_unique<SerialPort>(std::make_unique<FakeSerialDevice>(state));
}

// Everything written to standard error while it lives.
class StderrCapture
{
public:
    StderrCapture()
    {
        file.open();
        std::fflush(stderr);
        saved = dup(STDERR_FILENO);
        dup2(file.handle(), STDERR_FILENO);
    }
    ~StderrCapture() { restore(); }

    QByteArray text()
    {
        restore();
        file.seek(0);
        return file.readAll();
    }

private:
    void restore()
    {
        if (saved < 0)
            return;
        std::fflush(stderr);
        dup2(saved, STDERR_FILENO);
        ::close(saved);
        saved = -1;
    }

    QTemporaryFile file;
    int saved = -1;
};

} // namespace

class tst_SerialPort : public QObject
{
    Q_OBJECT

private slots:
    void resultCodesHaveFixedTexts_data();
    void resultCodesHaveFixedTexts();
    void lifetimeWritesTraceLinesAndClosesThePort();
    void openAppliesTheDoserLineAndTimeouts();
    void openFailingAtAnyStepReleasesTheDevice_data();
    void openFailingAtAnyStepReleasesTheDevice();
    void closeRestoresSettingsDropsRtsAndEmptiesQueues();
    void closeThatFailsKeepsTheDeviceAndBlocksOpen();
    void failedOpenLeavesThePortAsItFoundIt_data();
    void failedOpenLeavesThePortAsItFoundIt();
    void failedOpenTellsInUseFromNotPresent_data();
    void failedOpenTellsInUseFromNotPresent();
    void closeThatFailsButReleasesTheDeviceIsNotReportedOpen();
    void onlyAWaitWithoutTimeLimitIsCancelled();
    void settersFailWhileClosedAndAreNotRemembered();
    void timeoutSettersGiveAPerByteAllowanceOnlyToNonZeroTimeouts_data();
    void timeoutSettersGiveAPerByteAllowanceOnlyToNonZeroTimeouts();
    void zeroReadTimeoutKeepsItsMeaningAcrossReopen();
    void refusedBaudRateKeepsThePreviousRate();
    void lineErrorFailsOneTransferThenClears_data();
    void lineErrorFailsOneTransferThenClears();
    void purgeReceiveForgetsLineErrorsOfDiscardedBytes();
    void transferCountsAreCheckedAndCapped_data();
    void transferCountsAreCheckedAndCapped();
    void transfersOnAClosedPortFail();
    void portNamesSortNaturally_data();
    void portNamesSortNaturally();
};

void tst_SerialPort::resultCodesHaveFixedTexts_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");

    QTest::newRow("1") << 1 << "COM port operation successful";
    QTest::newRow("-2") << -2 << "COM port opened";
    QTest::newRow("-3") << -3 << "COM port closed";
    QTest::newRow("-4") << -4 << "COM port invalid baudrate";
    QTest::newRow("-5") << -5 << "COM port write operation failed";
    QTest::newRow("-6") << -6 << "COM port read operation failed";
    QTest::newRow("-7") << -7 << "COM port reply timeout hit";
    QTest::newRow("-8") << -8 << "COM port write timeout hit";
    QTest::newRow("-9") << -9 << "COM port write delay error";
    QTest::newRow("-10") << -10 << "COM port read delay error";
    QTest::newRow("-11") << -11 << "COM port not opened";
    QTest::newRow("-12") << -12 << "COM port not closed";
    QTest::newRow("0") << 0 << "COM port undefined error";
    QTest::newRow("-1") << -1 << "COM port undefined error";
    QTest::newRow("-13") << -13 << "COM port undefined error";
    QTest::newRow("2") << 2 << "COM port undefined error";
    QTest::newRow("127") << 127 << "COM port undefined error";
}

void tst_SerialPort::resultCodesHaveFixedTexts()
{
    QFETCH(int, code);
    QFETCH(QString, text);
    QCOMPARE(QString::fromLatin1(portResultText(code)), text);
}

void tst_SerialPort::lifetimeWritesTraceLinesAndClosesThePort()
{
    auto state = std::make_shared<State>();
    StderrCapture capture;
    {
        SerialPort port(std::make_unique<FakeSerialDevice>(state));
        QVERIFY(!port.isOpen());
        QVERIFY(port.open("COM3"));
    }
    QCOMPARE(capture.text(), QByteArray("SerialPort()\n~SerialPort()\n"));
    QVERIFY(!state->open);
    QCOMPARE(state->calls.last(), QString("close"));
}

void tst_SerialPort::openAppliesTheDoserLineAndTimeouts()
{
    auto state = std::make_shared<State>();
    auto port = portOn(state);
    QVERIFY(port->open("COM7"));
    QVERIFY(port->isOpen());
    QCOMPARE(state->name, std::string("COM7"));

    // Settings are saved before they are changed, and queues emptied once the line is set.
    const QStringList steps {
        "open COM7",     "setupDriver", "saveSettings", "discard 3", "applyLineSettings 115200",
        "applyTimeouts", "discard 3"};
    QCOMPARE(state->calls, steps);
    QCOMPARE(state->inputQueue, 65534u);
    QCOMPARE(state->outputQueue, 65534u);

    QCOMPARE(state->line.baudRate, 115200);
    QCOMPARE(state->line.dataBits, 8);
    QCOMPARE(state->line.parity, SerialLineSettings::Parity::None);
    QCOMPARE(state->line.stopBits, 1);
    QVERIFY(!state->line.dtr);
    QVERIFY(state->line.rtsWhileSending);

    QCOMPARE(state->timeouts.readInterval, 10);
    QCOMPARE(state->timeouts.readMultiplier, 1);
    QCOMPARE(state->timeouts.readConstant, 100);
    QCOMPARE(state->timeouts.writeMultiplier, 1);
    QCOMPARE(state->timeouts.writeConstant, 100);
}

void tst_SerialPort::openFailingAtAnyStepReleasesTheDevice_data()
{
    QTest::addColumn<QString>("step");
    for (const char *step :
         {"open", "setupDriver", "saveSettings", "discard", "applyLineSettings", "applyTimeouts"})
        QTest::newRow(step) << step;
}

void tst_SerialPort::openFailingAtAnyStepReleasesTheDevice()
{
    QFETCH(QString, step);
    auto state = std::make_shared<State>();
    auto port = portOn(state);
    state->failing = step;
    QVERIFY(!port->open("COM1"));
    QVERIFY(!port->isOpen());
    QVERIFY(!state->open);

    state->failing.clear();
    QVERIFY(port->open("COM1"));
}

void tst_SerialPort::closeRestoresSettingsDropsRtsAndEmptiesQueues()
{
    auto state = std::make_shared<State>();
    auto port = portOn(state);
    QVERIFY(!port->close());
    QVERIFY(port->open("COM2"));
    state->calls.clear();

    QVERIFY(port->close());
    QVERIFY(!port->isOpen());
    QCOMPARE(state->calls,
             QStringList({"restoreSettings", "dropRts", "abortTransfers", "discard 3", "close"}));
    QVERIFY(!port->close());
}

void tst_SerialPort::closeThatFailsKeepsTheDeviceAndBlocksOpen()
{
    auto state = std::make_shared<State>();
    auto port = portOn(state);
    QVERIFY(port->open("COM2"));
    state->failing = "close";
    QVERIFY(!port->close());
    QVERIFY(state->open);

    state->calls.clear();
    QVERIFY(!port->open("COM4"));
    QVERIFY(!port->isOpen());
    QVERIFY(!state->calls.contains("open COM4"));

    state->failing.clear();
    QVERIFY(port->open("COM4"));
}

void tst_SerialPort::failedOpenLeavesThePortAsItFoundIt_data()
{
    QTest::addColumn<QString>("step");
    QTest::addColumn<bool>("restored");
    QTest::newRow("settings not yet read") << "saveSettings" << false;
    QTest::newRow("line refused") << "applyLineSettings" << true;
    QTest::newRow("time-outs refused after the line was set") << "applyTimeouts" << true;
}

void tst_SerialPort::failedOpenLeavesThePortAsItFoundIt()
{
    QFETCH(QString, step);
    QFETCH(bool, restored);
    auto state = std::make_shared<State>();
    auto port = portOn(state);
    state->failing = step;
    QVERIFY(!port->open("COM1"));
    const int restore = state->calls.indexOf("restoreSettings");
    QCOMPARE(restore >= 0, restored);
    QCOMPARE(state->calls.last(), QString("close"));
    QVERIFY(!state->open);
}

void tst_SerialPort::failedOpenTellsInUseFromNotPresent_data()
{
    using Failure = SerialDevice::OpenFailure;
    QTest::addColumn<Failure>("failure");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("text");
    QTest::newRow("held by another program")
        << Failure::InUse << int(PortInUse) << "COM port in use by another program";
    QTest::newRow("not there") << Failure::NotPresent << int(PortNotPresent)
                               << "COM port not present";
    QTest::newRow("cause unknown")
        << Failure::Unknown << int(PortNotOpened) << "COM port not opened";
}

void tst_SerialPort::failedOpenTellsInUseFromNotPresent()
{
    QFETCH(SerialDevice::OpenFailure, failure);
    QFETCH(int, result);
    QFETCH(QString, text);
    auto state = std::make_shared<State>();
    auto port = portOn(state);
    state->failing = "open";
    state->openFailure = failure;
    QVERIFY(!port->open("COM5"));
    QCOMPARE(port->openResult(), result);
    QCOMPARE(QString::fromLatin1(portResultText(port->openResult())), text);

    state->failing.clear();
    QVERIFY(port->open("COM5"));
    QCOMPARE(port->openResult(), int(PortSuccess));
}

void tst_SerialPort::closeThatFailsButReleasesTheDeviceIsNotReportedOpen()
{
    auto state = std::make_shared<State>();
    auto port = portOn(state);
    QVERIFY(port->open("COM2"));
    state->failing = "close";
    state->closeFailsButReleases = true;
    QVERIFY(!port->close());
    QVERIFY(!port->isOpen());
    state->failing.clear();
    QVERIFY(port->open("COM2"));
}

void tst_SerialPort::onlyAWaitWithoutTimeLimitIsCancelled()
{
    auto state = std::make_shared<State>();
    auto port = portOn(state);
    QVERIFY(port->open("COM1"));
    port->cancelEndlessWait();
    QVERIFY(!state->calls.contains("cancelWaits"));
    QVERIFY(port->setReadTimeout(0));
    port->cancelEndlessWait();
    QVERIFY(state->calls.contains("cancelWaits"));
}

void tst_SerialPort::settersFailWhileClosedAndAreNotRemembered()
{
    auto state = std::make_shared<State>();
    auto port = portOn(state);
    QVERIFY(!port->setBaudRate(9600));
    QVERIFY(!port->setReadTimeout(150));
    QVERIFY(!port->setWriteTimeout(300));
    QVERIFY(state->calls.isEmpty());

    QVERIFY(port->open("COM1"));
    QCOMPARE(state->line.baudRate, 115200);
    QCOMPARE(state->timeouts.readConstant, 100);
    QCOMPARE(state->timeouts.writeConstant, 100);

    // Taken at once while open, and kept for the next open.
    QVERIFY(port->setBaudRate(38400));
    QCOMPARE(state->line.baudRate, 38400);
    QVERIFY(port->setReadTimeout(150));
    QCOMPARE(state->timeouts.readConstant, 150);
    QVERIFY(port->open("COM1"));
    QCOMPARE(state->line.baudRate, 38400);
    QCOMPARE(state->timeouts.readConstant, 150);
}

void tst_SerialPort::timeoutSettersGiveAPerByteAllowanceOnlyToNonZeroTimeouts_data()
{
    QTest::addColumn<bool>("reading");
    QTest::addColumn<int>("ms");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<int>("multiplier");
    QTest::addColumn<int>("constant");

    QTest::newRow("read 150") << true << 150 << true << 1 << 150;
    QTest::newRow("read 0 waits for the first byte") << true << 0 << true << 0 << 0;
    QTest::newRow("read negative refused") << true << -5 << false << 1 << 100;
    QTest::newRow("write 250") << false << 250 << true << 1 << 250;
    QTest::newRow("write 0 has no limit") << false << 0 << true << 0 << 0;
    QTest::newRow("write negative refused") << false << -1 << false << 1 << 100;
}

void tst_SerialPort::timeoutSettersGiveAPerByteAllowanceOnlyToNonZeroTimeouts()
{
    QFETCH(bool, reading);
    QFETCH(int, ms);
    QFETCH(bool, accepted);
    QFETCH(int, multiplier);
    QFETCH(int, constant);

    auto state = std::make_shared<State>();
    auto port = portOn(state);
    QVERIFY(port->open("COM1"));
    QCOMPARE(reading ? port->setReadTimeout(ms) : port->setWriteTimeout(ms), accepted);
    const SerialTimeouts &t = state->timeouts;
    QCOMPARE(reading ? t.readMultiplier : t.writeMultiplier, multiplier);
    QCOMPARE(reading ? t.readConstant : t.writeConstant, constant);
    // The other direction and the gap between bytes stay as they were.
    QCOMPARE(reading ? t.writeConstant : t.readConstant, 100);
    QCOMPARE(t.readInterval, 10);
}

void tst_SerialPort::zeroReadTimeoutKeepsItsMeaningAcrossReopen()
{
    auto state = std::make_shared<State>();
    auto port = portOn(state);
    QVERIFY(port->open("COM1"));
    QVERIFY(port->setReadTimeout(0));
    QVERIFY(port->open("COM1"));
    QCOMPARE(state->timeouts.readMultiplier, 0);
    QCOMPARE(state->timeouts.readConstant, 0);
}

void tst_SerialPort::refusedBaudRateKeepsThePreviousRate()
{
    auto state = std::make_shared<State>();
    auto port = portOn(state);
    QVERIFY(port->open("COM1"));
    QVERIFY(port->setBaudRate(19200));
    state->refusedBaudRate = 12345;
    QVERIFY(!port->setBaudRate(12345));
    QCOMPARE(state->line.baudRate, 19200);

    // Otherwise the refused rate would make this open fail, and no closed port takes a rate.
    QVERIFY(port->open("COM1"));
    QCOMPARE(state->line.baudRate, 19200);
}

void tst_SerialPort::lineErrorFailsOneTransferThenClears_data()
{
    QTest::addColumn<bool>("reading");
    QTest::newRow("read") << true;
    QTest::newRow("write") << false;
}

void tst_SerialPort::lineErrorFailsOneTransferThenClears()
{
    QFETCH(bool, reading);
    auto state = std::make_shared<State>();
    auto port = portOn(state);
    QVERIFY(port->open("COM1"));
    unsigned char buffer[12] = {};
    auto transfer = [&] { return reading ? port->read(buffer, 12) : port->write(buffer, 12); };

    state->calls.clear();
    state->lineErrorPending = true;
    QCOMPARE(transfer(), -1);
    QVERIFY(state->calls.isEmpty()); // nothing moved
    QCOMPARE(transfer(), 12);
}

void tst_SerialPort::purgeReceiveForgetsLineErrorsOfDiscardedBytes()
{
    auto state = std::make_shared<State>();
    auto port = portOn(state);
    QVERIFY(!port->purgeReceive());
    QVERIFY(port->open("COM1"));
    state->calls.clear();
    state->lineErrorPending = true;
    QVERIFY(port->purgeReceive());
    QCOMPARE(state->calls, QStringList {"discard 1"});

    const unsigned char request[] = {0x9E, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x4B};
    QCOMPARE(port->write(request, 12), 12);
    QCOMPARE(state->written, QByteArray(reinterpret_cast<const char *>(request), 12));
}

void tst_SerialPort::transferCountsAreCheckedAndCapped_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("nullBuffer");
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("passedOn");

    QTest::newRow("frame") << 12 << false << 12 << 12;
    QTest::newRow("nothing") << 0 << false << 0 << 0;
    QTest::newRow("largest") << 65535 << false << 65535 << 65535;
    // Cutting 65536 to 16 bits would ask for nothing and look like a time-out.
    QTest::newRow("past 16 bits") << 65536 << false << 65535 << 65535;
    QTest::newRow("far past 16 bits") << 70000 << false << 65535 << 65535;
    QTest::newRow("negative") << -1 << false << -1 << -1;
    QTest::newRow("null buffer") << 12 << true << -1 << -1;
}

void tst_SerialPort::transferCountsAreCheckedAndCapped()
{
    QFETCH(int, count);
    QFETCH(bool, nullBuffer);
    QFETCH(int, result);
    QFETCH(int, passedOn);

    auto state = std::make_shared<State>();
    auto port = portOn(state);
    QVERIFY(port->open("COM1"));
    std::vector<unsigned char> buffer(70000);
    unsigned char *data = nullBuffer ? nullptr : buffer.data();

    state->lastCount = -1;
    QCOMPARE(port->read(data, count), result);
    QCOMPARE(state->lastCount, passedOn);
    state->lastCount = -1;
    QCOMPARE(port->write(data, count), result);
    QCOMPARE(state->lastCount, passedOn);
}

void tst_SerialPort::transfersOnAClosedPortFail()
{
    auto state = std::make_shared<State>();
    auto port = portOn(state);
    unsigned char buffer[12] = {};
    QCOMPARE(port->read(buffer, 12), -1);
    QCOMPARE(port->write(buffer, 12), -1);
    QVERIFY(port->open("COM1"));
    QVERIFY(port->close());
    QCOMPARE(port->read(buffer, 12), -1);
    QCOMPARE(port->write(buffer, 12), -1);
    QVERIFY(!state->calls.contains("read"));
    QVERIFY(!state->calls.contains("write"));
}

void tst_SerialPort::portNamesSortNaturally_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QStringList>("sorted");

    QTest::newRow("com ports by number") << QStringList {"COM10", "COM3", "COM1", "COM254", "COM2"}
                                         << QStringList {"COM1", "COM2", "COM3", "COM10", "COM254"};
    QTest::newRow("device paths by kind, then number")
        << QStringList {"/dev/ttyUSB10", "/dev/ttyS1", "/dev/ttyUSB2", "/dev/ttyACM0", "/dev/ttyS0"}
        << QStringList {"/dev/ttyACM0", "/dev/ttyS0", "/dev/ttyS1", "/dev/ttyUSB2",
                        "/dev/ttyUSB10"};
    QTest::newRow("prefix first") << QStringList {"/dev/ttyS1", "/dev/ttyS"}
                                  << QStringList {"/dev/ttyS", "/dev/ttyS1"};
    QTest::newRow("leading zeros stay apart")
        << QStringList {"ttyS1", "ttyS01", "ttyS001", "ttyS2"}
        << QStringList {"ttyS001", "ttyS01", "ttyS1", "ttyS2"};
}

void tst_SerialPort::portNamesSortNaturally()
{
    QFETCH(QStringList, names);
    QFETCH(QStringList, sorted);

    std::vector<std::string> ports;
    for (const QString &name : names)
        ports.push_back(name.toStdString());
    std::sort(ports.begin(), ports.end(), SerialPort::portNameLess);
    QStringList result;
    for (const std::string &port : ports)
        result << QString::fromStdString(port);
    QCOMPARE(result, sorted);
}

QTEST_GUILESS_MAIN(tst_SerialPort)
#include "tst_serialport.moc"
