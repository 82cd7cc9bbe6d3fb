#include "devicesignallog.h"
#include "k310device.h"
#include "k310link.h"
#include "simulatorprocess.h"

#include <QTest>

#include <cmath>
#include <functional>
#include <memory>

using Request = std::function<void(K310Device &)>;
Q_DECLARE_METATYPE(Request)

namespace {

const QString Program = QStringLiteral(K310SIM_PROGRAM);
// A quick hopper, so a fill and a discharge take a second or two of real time.
const QStringList Quick = {"--quiet", "--feed-rate",      "20", "--fine-rate", "2", "--settle-ms",
                           "100",     "--discharge-rate", "40", "--seed",      "3"};
constexpr int DoserAddress = 30;
constexpr int ConsoleRate = 38400;
// Longer than the console's 150 ms: the simulator shares two busy cores with the test.
constexpr int ReplyTimeoutMs = 500;
constexpr int ReplyWaitMs = 5000;
constexpr int WorkMs = 20000;
const QString NoReply = QStringLiteral("no reply");

QString entry(const char *name)
{
    return QStringLiteral("%1(%2)").arg(QLatin1String(name)).arg(DoserAddress);
}

QString entry(const char *name, const QString &text)
{
    return QStringLiteral("%1(%2, \"%3\")").arg(QLatin1String(name)).arg(DoserAddress).arg(text);
}

QString state(const char *text)
{
    return entry("hasCurrentStateSignal", QString::fromUtf8(text));
}

const QString Stopped = state("ОСТАНОВ");
const QString Working = state("РАБОТА");
const QString Alarm = state("АВАРИЯ");
const QString MustUpload = entry("workStoppedMustUploadSignal");
const QString MustDownload = entry("workStoppedMustDownloadSignal");
const QString Stop = entry("needToStopTheWork");
const QString Lost = entry("hasConnectionErrorSignal");

// The text a signal of the reply carried; empty when the reply has no such signal.
QString textOf(const QStringList &reply, const char *name)
{
    const QString prefix = QStringLiteral("%1(%2, \"").arg(QLatin1String(name)).arg(DoserAddress);
    for (const QString &signal : reply) {
        if (signal.startsWith(prefix) && signal.endsWith(QLatin1String("\")")))
            return signal.mid(prefix.size(), signal.size() - prefix.size() - 2);
    }
    return {};
}

} // namespace

class tst_K310SimThroughLink : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();

    void everyRequestGetsAReplyOfItsShape_data();
    void everyRequestGetsAReplyOfItsShape();
    void fillOfTenEndsNearTenAndGrowsTheNonResettableWeight();
    void dischargeReplyCarriesTheWeightAndEmptiesTheHopper();
    void scriptedErrorRaisesTheAlarmWithItsText_data();
    void scriptedErrorRaisesTheAlarmWithItsText();
    void lineFaultsBecomeLostConnectionOrAlarm_data();
    void lineFaultsBecomeLostConnectionOrAlarm();

private:
    // Starts the simulator with the flags and connects a device to it as the console does.
    bool connectDoser(const QStringList &flags);
    // Sends one request and returns the signals its reply produced, or "no reply".
    QStringList ask(const Request &request);
    // Fills 10.00 and returns how much the non-resettable weight counter grew.
    qint64 fillTen();

    std::unique_ptr<SimulatorProcess> simulator;
    std::unique_ptr<K310Link> link;
    std::unique_ptr<K310Device> device;
    std::unique_ptr<DeviceSignalLog> log;
};

void tst_K310SimThroughLink::cleanup()
{
    log.reset();
    device.reset();
    link.reset();
    simulator.reset();
}

bool tst_K310SimThroughLink::connectDoser(const QStringList &flags)
{
    simulator = std::make_unique<SimulatorProcess>(Program);
    if (!simulator->start(flags))
        return false;
    link = std::make_unique<K310Link>(QString());
    if (link->openPort(simulator->portPath()) != 1 || link->setReplyTimeout(ReplyTimeoutMs) != 1
        || link->setRate(ConsoleRate) != 1)
        return false;
    device = std::make_unique<K310Device>(link.get());
    device->setDeviceID(DoserAddress);
    log = std::make_unique<DeviceSignalLog>(*device);
    return true;
}

QStringList tst_K310SimThroughLink::ask(const Request &request)
{
    const int first = log->size();
    request(*device);
    // A reply is decoded in one go: it shows as a state text, or as a lost connection when the
    // doser did not answer.
    const bool replied = QTest::qWaitFor(
        [&] {
            const QStringList entries = log->since(first);
            return !entries.filter(QLatin1String("hasCurrentStateSignal(")).isEmpty()
                   || !entries.filter(QLatin1String("hasConnectionErrorSignal(")).isEmpty();
        },
        ReplyWaitMs);
    if (!replied)
        return {NoReply};
    QStringList reply = log->since(first);
    reply.removeIf([](const QString &signal) { return signal.startsWith("requestSignal("); });
    return reply;
}

qint64 tst_K310SimThroughLink::fillTen()
{
    auto counter = [this] {
        return textOf(ask(&K310Device::requestTotalCommonWeight), "hasGetTotalCommonWeightSignal")
            .toLongLong();
    };
    const qint64 before = counter();
    if (ask([](K310Device &d) { d.downloadDose(QStringLiteral("10.00"), 2); })
        != QStringList {Working})
        return -1;
    qint64 after = before;
    const bool filled = QTest::qWaitFor(
        [&] {
            after = counter();
            return after != before;
        },
        WorkMs);
    return filled ? after - before : -1;
}

void tst_K310SimThroughLink::everyRequestGetsAReplyOfItsShape_data()
{
    QTest::addColumn<Request>("request");
    QTest::addColumn<QStringList>("expected");

    // A resting, empty doser without load cell noise.
    const QStringList idle = {Stopped, MustUpload};
    auto row = [&](const char *name, Request request, const QStringList &value) {
        QTest::newRow(name) << request << idle + value;
    };
    auto text = [](const char *signal, const char *value) {
        return QStringList {entry(signal, QString::fromUtf8(value))};
    };
    row("requestWeightNETTO", &K310Device::requestWeightNETTO,
        text("hasGetWeightNETTOSignal", "0.00"));
    row("requestPOVersion", &K310Device::requestPOVersion, text("hasGetPOVersionSignal", "1.07"));
    row("resetErrorFlag", &K310Device::resetErrorFlag, {});
    row(
        "setDoseWeight", [](K310Device &d) { d.setDoseWeight(QStringLiteral("12.50"), 2); },
        text("hasSetDoseWeightSignal", "12.50"));
    row("requestDoseFaultPlus", &K310Device::requestDoseFaultPlus,
        text("hasGetDoseFaultPlusSignal", "0.50"));
    row(
        "setDoseFaultPlus", [](K310Device &d) { d.setDoseFaultPlus(QStringLiteral("0.75"), 2); },
        text("hasGetDoseFaultPlusSignal", "0.75"));
    row("requestDoseFaultMinus", &K310Device::requestDoseFaultMinus,
        text("hasGetDoseFaultMinusSignal", "0.50"));
    row(
        "setDoseFaultMinus in other decimals",
        [](K310Device &d) { d.setDoseFaultMinus(QStringLiteral("0.3"), 1); },
        text("hasGetDoseFaultMinusSignal", "0.30"));
    row("continueDownload with nothing to continue", &K310Device::continueDownload, {});
    row("requestSumWeightOfLastDownload", &K310Device::requestSumWeightOfLastDownload,
        text("hasGetSumWeightOfLastDownloadSignal", "0.00"));
    row("requestDoseCount", &K310Device::requestDoseCount, text("hasGetDoseCountSignal", "0"));
    row("requestTotalWeight", &K310Device::requestTotalWeight,
        text("hasGetTotalWeightSignal", "0"));
    row("requestTotalCommonDoseCount", &K310Device::requestTotalCommonDoseCount,
        text("hasGetTotalCommonDoseCountSignal", "0"));
    row("requestTotalCommonWeight", &K310Device::requestTotalCommonWeight,
        text("hasGetTotalCommonWeightSignal", "0"));
    row("stopWork", &K310Device::stopWork, {});
    row("startTestMode", &K310Device::startTestMode, {});
    row("stopTestMode", &K310Device::stopTestMode, {});
    row("requestNPD", &K310Device::requestNPD, text("hasGetNPDSignal", "30.00"));
    row("requestScale", &K310Device::requestScale,
        text("hasGetScaleSignal", "0.01") + QStringList {"hasGetScaleSignal(30, 2)"});
    row("requestWeightScale", &K310Device::requestWeightScale,
        text("hasGetWeightScaleSignal", "кг"));
    row("requestTotalWeightScale", &K310Device::requestTotalWeightScale,
        text("hasGetTotalWeightScaleSignal", "кг"));

    // Orders that set the hopper working.
    QTest::newRow("downloadDose of a weight")
        << Request([](K310Device &d) { d.downloadDose(QStringLiteral("10.00"), 2); })
        << QStringList {Working};
    QTest::newRow("downloadDose of the set dose")
        << Request(qOverload<>(&K310Device::downloadDose)) << QStringList {Working};
    QTest::newRow("doFullCycle") << Request(&K310Device::doFullCycle) << QStringList {Working};
    QTest::newRow("uploadDose of an empty hopper")
        << Request(&K310Device::uploadDose)
        << QStringList {Working, entry("hasGetDoseUploadSignal", QStringLiteral("0.00"))};
}

void tst_K310SimThroughLink::everyRequestGetsAReplyOfItsShape()
{
    QFETCH(Request, request);
    QFETCH(QStringList, expected);
    QVERIFY(connectDoser(Quick + QStringList {"--noise", "0"}));
    QCOMPARE(ask(request), expected);
}

void tst_K310SimThroughLink::fillOfTenEndsNearTenAndGrowsTheNonResettableWeight()
{
    QVERIFY(connectDoser(Quick + QStringList {"--total-weight", "500"}));
    QCOMPARE(ask(&K310Device::requestTotalCommonWeight),
             (QStringList {Stopped, MustUpload,
                           entry("hasGetTotalCommonWeightSignal", QStringLiteral("50000"))}));
    const qint64 grown = fillTen();
    // The counter is in the doser's digits: 10.00 is 1000.
    QVERIFY2(qAbs(grown - 1000) <= 5, qPrintable(QString::number(grown)));

    const QStringList reply = ask(&K310Device::requestWeightNETTO);
    QCOMPARE(reply.mid(0, 2), (QStringList {Stopped, MustDownload}));
    const QString weight = textOf(reply, "hasGetWeightNETTOSignal");
    QCOMPARE(weight.section(QLatin1Char('.'), 1).size(), 2);
    QVERIFY2(qAbs(weight.toDouble() - 10.0) <= 0.06, qPrintable(weight));
}

void tst_K310SimThroughLink::dischargeReplyCarriesTheWeightAndEmptiesTheHopper()
{
    QVERIFY(connectDoser(Quick));
    const qint64 grown = fillTen();
    QVERIFY2(qAbs(grown - 1000) <= 5, qPrintable(QString::number(grown)));

    const QStringList reply = ask(&K310Device::uploadDose);
    QCOMPARE(reply.size(), 2);
    QCOMPARE(reply.first(), Working);
    const QString discharged = textOf(reply, "hasGetDoseUploadSignal");
    QCOMPARE(std::llround(discharged.toDouble() * 100), grown);

    QStringList weight;
    const bool emptied = QTest::qWaitFor(
        [&] {
            weight = ask(&K310Device::requestWeightNETTO);
            return weight.mid(0, 2) == QStringList {Stopped, MustUpload};
        },
        WorkMs);
    QVERIFY2(emptied, qPrintable(weight.join(QLatin1Char(' '))));
    QVERIFY2(qAbs(textOf(weight, "hasGetWeightNETTOSignal").toDouble()) <= 0.02,
             qPrintable(weight.join(QLatin1Char(' '))));
    QCOMPARE(textOf(ask(&K310Device::requestTotalCommonWeight), "hasGetTotalCommonWeightSignal")
                 .toLongLong(),
             grown);
}

void tst_K310SimThroughLink::scriptedErrorRaisesTheAlarmWithItsText_data()
{
    QTest::addColumn<QString>("rule");
    QTest::addColumn<Request>("order");
    // Empty for a code without a text.
    QTest::addColumn<QString>("text");

    const Request fill = [](K310Device &d) { d.downloadDose(QStringLiteral("10.00"), 2); };
    QTest::newRow("no product supply while feeding")
        << "8:fill=1" << fill << QStringLiteral("Ошибка, нет подачи продукта");
    QTest::newRow("unstable load cell while settling")
        << "5:fill=1" << fill << QStringLiteral("Ошибка, нестабильны показания датчика веса");
    QTest::newRow("no power at the start of a fill")
        << "3:fill=1" << fill << QStringLiteral("Ошибка, нет питания в силовых цепях");
    QTest::newRow("gate not closed after a discharge")
        << "11:discharge=1" << Request(&K310Device::uploadDose)
        << QStringLiteral("Ошибка, тайм-аут концевика закрытия шиберной задвижки");
    QTest::newRow("code without a text") << "6:fill=1" << fill << QString();
}

void tst_K310SimThroughLink::scriptedErrorRaisesTheAlarmWithItsText()
{
    QFETCH(QString, rule);
    QFETCH(Request, order);
    QFETCH(QString, text);
    QVERIFY(connectDoser(Quick + QStringList {"--error", rule}));

    QStringList reply = ask(order);
    const bool alarm = QTest::qWaitFor(
        [&] {
            if (reply.value(0) == Alarm)
                return true;
            reply = ask(&K310Device::requestWeightNETTO);
            return false;
        },
        WorkMs);
    QVERIFY2(alarm, qPrintable(reply.join(QLatin1Char(' '))));
    QStringList expected = {Alarm};
    if (!text.isEmpty())
        expected += QStringList {entry("hasErrorSignal", text), Stop};
    QCOMPARE(reply.mid(0, expected.size()), expected);
    // What follows is the value of the request that saw the alarm, if it has one.
    const QStringList rest = reply.mid(expected.size());
    QVERIFY(rest.isEmpty()
            || (rest.size() == 1 && !textOf(rest, "hasGetWeightNETTOSignal").isEmpty())
            || (rest.size() == 1 && !textOf(rest, "hasGetDoseUploadSignal").isEmpty()));

    reply = ask(&K310Device::resetErrorFlag);
    QVERIFY2(reply.value(0) != Alarm && reply.value(0) != NoReply,
             qPrintable(reply.join(QLatin1Char(' '))));
}

void tst_K310SimThroughLink::lineFaultsBecomeLostConnectionOrAlarm_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QStringList>("second");

    QTest::newRow("dropped reply") << "drop:at=2" << QStringList {Stop, Lost};
    // A corrupt reply must not pass the request's own value off as the upper limit.
    QTest::newRow("corrupted reply") << "corrupt:at=2" << QStringList {Alarm, Stop};
    QTest::newRow("noise before the reply") << "garbage:at=2,bytes=3" << QStringList {Alarm, Stop};
}

void tst_K310SimThroughLink::lineFaultsBecomeLostConnectionOrAlarm()
{
    QFETCH(QString, fault);
    QFETCH(QStringList, second);
    QVERIFY(connectDoser({"--quiet", "--fault", fault}));
    const QStringList answered = {Stopped, MustUpload,
                                  entry("hasGetNPDSignal", QStringLiteral("30.00"))};

    QCOMPARE(ask(&K310Device::requestNPD), answered);
    QCOMPARE(ask(&K310Device::requestNPD), second);
    // The doser answers again at the next request.
    QCOMPARE(ask(&K310Device::requestNPD), answered);
}

QTEST_GUILESS_MAIN(tst_K310SimThroughLink)
#include "tst_k310simthroughlink.moc"
