#include "ptypair.h"
#include "rawline.h"
#include "simulatorprocess.h"

#include <QFile>
#include <QTest>
#include <QThread>

#include <unistd.h>

namespace {

const QString Program = QStringLiteral(K310SIM_PROGRAM);
// A quick hopper, so a fill and a discharge take a second or two of real time.
const QStringList Quick = {"--feed-rate",      "20", "--fine-rate", "2", "--settle-ms", "100",
                           "--discharge-rate", "40", "--seed",      "3"};
constexpr int ReplyMs = 1000;
constexpr int SilenceMs = 300;
constexpr int WorkMs = 20000;

// User plus system CPU time of a process, in clock ticks.
qint64 cpuTicks(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return fields.size() > 12 ? fields.at(11).toLongLong() + fields.at(12).toLongLong() : -1;
}

double decimal(const K310DataPacket &reply)
{
    return double(reply.value());
}

} // namespace

class tst_K310Sim : public QObject
{
    Q_OBJECT

private slots:
    void startsQuicklyOnAPseudoTerminalOfItsOwn();
    void idleCostsNoMeasurableCpu();
    void everyCommandIsAnsweredOverTheLine();
    void requestsForOtherDosersGetNoReply();
    void requestInPiecesAfterNoiseIsAnswered();
    void fillOfTenRaisesTheNonResettableWeightAndDischargeEmpties();
    void scriptedErrorRaisesTheAlarmOnTheLine();
    void portSurvivesTheMasterReopeningIt();
    void sameSeedGivesTheSameFaultsOnTheLine();
    void faultsShapeTheRepliesOnTheLine_data();
    void faultsShapeTheRepliesOnTheLine();
    void servesASerialDeviceGivenByPath();
    void lineOfDosersAnswersFromSeparateHoppers();
    void silenceOfOneDoserLeavesTheOthersAnswering();
    void helpAndBadFlags();
};

void tst_K310Sim::startsQuicklyOnAPseudoTerminalOfItsOwn()
{
    SimulatorProcess simulator(Program);
    QVERIFY(simulator.start({"--quiet"}));
    QVERIFY2(simulator.startupMs() < 5000, qPrintable(QString::number(simulator.startupMs())));
    QVERIFY2(simulator.portPath().startsWith(QLatin1String("/dev/pts/")),
             qPrintable(simulator.portPath()));
    RawLine line(simulator.portPath());
    QVERIFY(line.isTerminal());
    QCOMPARE(simulator.stop(), 0);
}

void tst_K310Sim::idleCostsNoMeasurableCpu()
{
    SimulatorProcess simulator(Program);
    QVERIFY(simulator.start({"--quiet"}));
    RawLine line(simulator.portPath());
    K310DataPacket reply;
    QVERIFY(line.ask(RawLine::request(0), &reply, ReplyMs));

    const qint64 before = cpuTicks(simulator.processId());
    QVERIFY(before >= 0);
    QThread::msleep(1000);
    line.close();
    QThread::msleep(500);
    const qint64 used = cpuTicks(simulator.processId()) - before;
    // A process that spins burns about 150 ticks here.
    QVERIFY2(used <= 10,
             qPrintable(
                 QStringLiteral("%1 ticks of %2 per second").arg(used).arg(sysconf(_SC_CLK_TCK))));
}

void tst_K310Sim::everyCommandIsAnsweredOverTheLine()
{
    SimulatorProcess simulator(Program);
    QVERIFY(simulator.start(Quick + QStringList {"--quiet"}));
    RawLine line(simulator.portPath());
    const QList<QPair<int, int>> commands = {
        {0, 0},  {3, 0},   {4, 0},   {8, 1},   {10, 0},  {11, 0}, {12, 0}, {13, 0},
        {24, 0}, {24, 16}, {24, 18}, {24, 19}, {24, 20}, {44, 0}, {44, 1}, {44, 2},
        {44, 3}, {39, 0},  {15, 0},  {26, 0},  {17, 0},  {20, 0}, {22, 0}, {26, 0}};
    for (const auto &[command, subCommand] : commands) {
        const QByteArray name = QByteArray::number(command) + '/' + QByteArray::number(subCommand);
        K310DataPacket reply;
        QVERIFY2(line.ask(RawLine::request(quint8(command), quint8(subCommand)), &reply, ReplyMs),
                 name);
        QCOMPARE(reply.receiver, quint8(0x80));
        QCOMPARE(reply.sender, quint8(30));
        QCOMPARE(int(reply.command), command);
        QCOMPARE(int(reply.subCommand), subCommand);
        QVERIFY2(!(reply.state & 0x80), name);
    }
    K310DataPacket npd;
    QVERIFY(line.ask(RawLine::request(44, 0), &npd));
    QCOMPARE(decimal(npd), 30.0);
    QCOMPARE(npd.decimals, quint8(2));
}

void tst_K310Sim::requestsForOtherDosersGetNoReply()
{
    SimulatorProcess simulator(Program);
    QVERIFY(simulator.start({"--quiet", "--address", "31"}));
    RawLine line(simulator.portPath());
    QVERIFY(line.write(RawLine::frame(RawLine::request(0, 0, 0, 0, 30))));
    QVERIFY(line.read(1, SilenceMs).isEmpty());
    K310DataPacket reply;
    QVERIFY(line.ask(RawLine::request(0, 0, 0, 0, 31), &reply, ReplyMs));
    QCOMPARE(reply.sender, quint8(31));
}

void tst_K310Sim::requestInPiecesAfterNoiseIsAnswered()
{
    SimulatorProcess simulator(Program);
    QVERIFY(simulator.start({"--quiet"}));
    RawLine line(simulator.portPath());
    const QByteArray frame = RawLine::frame(RawLine::request(44, 1));
    QVERIFY(line.write(QByteArray("\x05\xC1\x22", 3) + frame.left(5)));
    QThread::msleep(30);
    QVERIFY(line.write(frame));
    const QByteArray bytes = line.read(K310FrameLength, ReplyMs);
    for (int i = 0; i < frame.size(); ++i) {
        QThread::msleep(5);
        QVERIFY(line.write(frame.mid(i, 1)));
    }
    const QByteArray second = line.read(K310FrameLength, ReplyMs);
    QVERIFY(line.read(1, SilenceMs).isEmpty());
    for (const QByteArray &received : {bytes, second}) {
        K310DataPacket reply;
        QCOMPARE(reply.fromFrame(reinterpret_cast<const quint8 *>(received.constData()),
                                 quint16(received.size())),
                 K310FrameLength);
        QCOMPARE(reply.command, quint8(44));
        QCOMPARE(reply.decimals, quint8(2));
    }
}

void tst_K310Sim::fillOfTenRaisesTheNonResettableWeightAndDischargeEmpties()
{
    SimulatorProcess simulator(Program);
    QVERIFY(simulator.start(Quick + QStringList {"--total-weight", "500"}));
    RawLine line(simulator.portPath());
    K310DataPacket reply;
    QVERIFY(line.ask(RawLine::request(24, 20), &reply));
    const quint32 before = reply.rawValue();
    QCOMPARE(before, quint32(50000));

    QVERIFY(line.ask(RawLine::request(14, 0, 10.0, 2), &reply));
    QCOMPARE(reply.state, quint8(0x02));
    auto counter = [&line]() {
        K310DataPacket counterReply;
        return line.ask(RawLine::request(24, 20), &counterReply) ? counterReply.rawValue() : 0;
    };
    QTRY_VERIFY_WITH_TIMEOUT(counter() != before, WorkMs);
    const qint64 grown = qint64(counter()) - before;
    QVERIFY2(qAbs(grown - 1000) <= 5, qPrintable(QString::number(grown)));

    QVERIFY(line.ask(RawLine::request(0), &reply));
    QVERIFY(qAbs(decimal(reply) - 10.0) <= 0.06);
    QCOMPARE(reply.state, quint8(0x10));

    QVERIFY(line.ask(RawLine::request(20), &reply));
    QCOMPARE(qint64(std::llround(decimal(reply) * 100)), grown);
    QCOMPARE(reply.state, quint8(0x02));
    auto rests = [&line]() {
        K310DataPacket weight;
        return line.ask(RawLine::request(0), &weight) && weight.state == 0
               && qAbs(decimal(weight)) <= 0.02;
    };
    QTRY_VERIFY_WITH_TIMEOUT(rests(), WorkMs);
    QCOMPARE(qint64(counter()) - before, grown);
}

void tst_K310Sim::scriptedErrorRaisesTheAlarmOnTheLine()
{
    SimulatorProcess simulator(Program);
    QVERIFY(simulator.start(Quick + QStringList {"--error", "8:fill=1"}));
    RawLine line(simulator.portPath());
    K310DataPacket reply;
    QVERIFY(line.ask(RawLine::request(15), &reply));
    auto alarm = [&line, &reply]() {
        return line.ask(RawLine::request(0), &reply) && (reply.state & 0x80);
    };
    QTRY_VERIFY_WITH_TIMEOUT(alarm(), WorkMs);
    QCOMPARE(reply.errorCode, quint8(8));
    QVERIFY(line.ask(RawLine::request(4), &reply));
    QCOMPARE(reply.state, quint8(0x10));
    QCOMPARE(reply.errorCode, quint8(0));
}

void tst_K310Sim::portSurvivesTheMasterReopeningIt()
{
    SimulatorProcess simulator(Program);
    QVERIFY(simulator.start({"--quiet"}));
    for (int round = 0; round < 3; ++round) {
        RawLine line(simulator.portPath());
        QVERIFY(line.isOpen());
        K310DataPacket reply;
        QVERIFY2(line.ask(RawLine::request(3), &reply, ReplyMs),
                 qPrintable(QString::number(round)));
        QCOMPARE(decimal(reply), 1.07);
    }
    QCOMPARE(simulator.stop(), 0);
}

void tst_K310Sim::sameSeedGivesTheSameFaultsOnTheLine()
{
    auto run = [](const QString &seed) {
        SimulatorProcess simulator(Program);
        QString pattern;
        if (!simulator.start({"--quiet", "--seed", seed, "--fault", "drop:p=0.5"}))
            return pattern;
        RawLine line(simulator.portPath());
        for (int i = 0; i < 12; ++i) {
            K310DataPacket reply;
            pattern += line.ask(RawLine::request(0), &reply, SilenceMs) ? QLatin1Char('+')
                                                                        : QLatin1Char('-');
        }
        return pattern;
    };
    const QString first = run(QStringLiteral("11"));
    QCOMPARE(first.size(), 12);
    QVERIFY2(first.contains(QLatin1Char('+')) && first.contains(QLatin1Char('-')),
             qPrintable(first));
    QCOMPARE(run(QStringLiteral("11")), first);
    QVERIFY(run(QStringLiteral("12")) != first);
}

void tst_K310Sim::faultsShapeTheRepliesOnTheLine_data()
{
    QTest::addColumn<QString>("fault");
    // Bytes that arrive quickly, and whether the whole reply comes at all and decodes.
    QTest::addColumn<int>("early");
    QTest::addColumn<int>("total");
    QTest::addColumn<bool>("intact");

    QTest::newRow("split with a long pause") << "split:p=1,ms=400" << -1 << 12 << true;
    QTest::newRow("late") << "late:p=1,ms=400" << 0 << 12 << true;
    QTest::newRow("garbage first") << "garbage:p=1,bytes=3" << 15 << 15 << true;
    QTest::newRow("corrupt") << "corrupt:p=1" << 12 << 12 << false;
    QTest::newRow("dropped") << "drop:p=1" << 0 << 0 << false;
}

void tst_K310Sim::faultsShapeTheRepliesOnTheLine()
{
    QFETCH(QString, fault);
    QFETCH(int, early);
    QFETCH(int, total);
    QFETCH(bool, intact);
    SimulatorProcess simulator(Program);
    QVERIFY(simulator.start({"--quiet", "--fault", fault}));
    RawLine line(simulator.portPath());

    QVERIFY(line.write(RawLine::frame(RawLine::request(0))));
    QByteArray bytes = line.read(total == 0 ? 1 : total, 200);
    if (early >= 0)
        QCOMPARE(int(bytes.size()), early);
    else
        QVERIFY(bytes.size() > 0 && bytes.size() < total);
    bytes += line.read(total - int(bytes.size()), 2000);
    QCOMPARE(int(bytes.size()), total);
    QVERIFY(line.read(1, SilenceMs).isEmpty());
    if (total == 0)
        return;
    K310DataPacket reply;
    const QByteArray frame = bytes.right(K310FrameLength);
    QCOMPARE(reply.fromFrame(reinterpret_cast<const quint8 *>(frame.constData()), K310FrameLength)
                 == K310FrameLength,
             intact);
}

void tst_K310Sim::servesASerialDeviceGivenByPath()
{
    PtyPair cable;
    QVERIFY(cable.isValid());
    const QString device = QString::fromStdString(cable.slavePath());
    SimulatorProcess simulator(Program);
    QVERIFY(simulator.start({"--quiet", "--device", device, "--baud", "9600"}));
    QCOMPARE(simulator.portPath(), device);

    QVERIFY(cable.write(RawLine::frame(RawLine::request(44, 0))));
    const QByteArray bytes = cable.read(K310FrameLength, ReplyMs);
    K310DataPacket reply;
    QCOMPARE(
        reply.fromFrame(reinterpret_cast<const quint8 *>(bytes.constData()), quint16(bytes.size())),
        K310FrameLength);
    QCOMPARE(decimal(reply), 30.0);
    QCOMPARE(simulator.stop(), 0);
}

void tst_K310Sim::lineOfDosersAnswersFromSeparateHoppers()
{
    SimulatorProcess simulator(Program);
    QVERIFY(simulator.start(
        Quick + QStringList {"--quiet", "--address", "30,31,32", "--npd", "30,50,10"}));
    RawLine line(simulator.portPath());
    const QList<quint8> addresses = {30, 31, 32};
    QList<double> limits;
    QList<quint32> totals;
    K310DataPacket reply;
    for (const quint8 address : addresses) {
        QVERIFY(line.ask(RawLine::request(44, 0, 0, 0, address), &reply));
        QCOMPARE(reply.sender, address);
        limits << decimal(reply);
        QVERIFY(line.ask(RawLine::request(24, 20, 0, 0, address), &reply));
        totals << reply.rawValue();
    }
    QCOMPARE(limits, (QList<double> {30, 50, 10}));

    QVERIFY(line.ask(RawLine::request(14, 0, 5.0, 2, 31), &reply));
    auto total = [&line](quint8 address) {
        K310DataPacket counter;
        return line.ask(RawLine::request(24, 20, 0, 0, address), &counter) ? counter.rawValue() : 0;
    };
    QTRY_VERIFY_WITH_TIMEOUT(total(31) != totals.at(1), WorkMs);
    for (const int i : {0, 2}) {
        QCOMPARE(total(addresses.at(i)), totals.at(i));
        QVERIFY(line.ask(RawLine::request(0, 0, 0, 0, addresses.at(i)), &reply));
        QCOMPARE(reply.state, quint8(0));
        QVERIFY2(qAbs(decimal(reply)) <= 0.05, qPrintable(QString::number(decimal(reply))));
    }
    QVERIFY(line.ask(RawLine::request(0, 0, 0, 0, 31), &reply));
    QVERIFY(qAbs(decimal(reply) - 5.0) <= 0.06);
}

void tst_K310Sim::silenceOfOneDoserLeavesTheOthersAnswering()
{
    SimulatorProcess simulator(Program);
    QVERIFY(simulator.start(
        {"--quiet", "--address", "30,31,32", "--fault", "silent:addr=31,at=2,ms=60000"}));
    RawLine line(simulator.portPath());
    K310DataPacket reply;
    QVERIFY(line.ask(RawLine::request(0, 0, 0, 0, 31), &reply, ReplyMs));
    for (int round = 0; round < 3; ++round) {
        QVERIFY(!line.ask(RawLine::request(0, 0, 0, 0, 31), &reply, SilenceMs));
        for (const quint8 address : {30, 32}) {
            QVERIFY(line.ask(RawLine::request(0, 0, 0, 0, address), &reply, ReplyMs));
            QCOMPARE(reply.sender, address);
        }
    }
}

void tst_K310Sim::helpAndBadFlags()
{
    QByteArray output;
    SimulatorProcess help(Program);
    QCOMPARE(help.runToEnd({"--help"}, &output), 0);
    QVERIFY(output.contains("--address"));
    SimulatorProcess bad(Program);
    QCOMPARE(bad.runToEnd({"--address", "200"}, &output), 2);
    QVERIFY(output.isEmpty());
}

QTEST_GUILESS_MAIN(tst_K310Sim)
#include "tst_k310sim.moc"
