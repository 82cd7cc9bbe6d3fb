#include "doserresponder.h"
#include "fakeclock.h"
#include "hoppermodel.h"
#include "k310protocol.h"

#include <QTest>

namespace {

constexpr quint8 Doser = 30;
constexpr quint32 TotalDosesAtStart = 0x01020304;
// Top byte with bit 7 set: it travels in the decimals byte and its eighth bit in byte 10.
constexpr quint32 TotalWeightAtStart = 0x89ABCDEF;

K310DataPacket request(quint8 command, quint8 subCommand = 0, double value = 0, quint8 decimals = 0,
                       quint8 address = Doser)
{
    K310DataPacket packet;
    packet.receiver = address;
    packet.command = command;
    packet.subCommand = subCommand;
    if (value != 0 || decimals != 0)
        packet.setValue(value, decimals);
    return packet;
}

// The reply as the master sees it: encoded, sent and decoded again.
K310DataPacket overTheWire(K310DataPacket reply)
{
    quint8 frame[K310FrameLength];
    reply.toFrame(frame);
    K310DataPacket received;
    if (received.fromFrame(frame, K310FrameLength) != K310FrameLength)
        qWarning("reply frame does not decode");
    return received;
}

// The number as the console writes it: fixed point with the reply's decimals.
QString decimalText(const K310DataPacket &reply)
{
    return QString::number(double(reply.value()), 'f', reply.decimals);
}

class Station
{
public:
    explicit Station(DoserParameters parameters = DoserParameters(),
                     const QList<ErrorRule> &errors = {})
        : model(withCounters(parameters), clock, 5)
        , responder(model)
    {
        model.setErrorScript(ErrorScript(errors, 5));
    }

    K310DataPacket ask(const K310DataPacket &question)
    {
        K310DataPacket reply;
        if (!responder.respond(question, &reply))
            qWarning("request not answered");
        return overTheWire(reply);
    }

    void runUntilRest()
    {
        for (qint64 next = model.nextEventMs(); next >= 0; next = model.nextEventMs()) {
            clock.set(qMax(next, clock.nowMs()));
            model.update();
        }
    }

    FakeClock clock;
    HopperModel model;
    DoserResponder responder;

private:
    static DoserParameters withCounters(DoserParameters parameters)
    {
        parameters.noise = 0;
        parameters.totalDoses = TotalDosesAtStart;
        parameters.totalWeightDigits = TotalWeightAtStart;
        return parameters;
    }
};

} // namespace

class tst_DoserResponder : public QObject
{
    Q_OBJECT

private slots:
    void everyCommandGetsItsReplyShape_data();
    void everyCommandGetsItsReplyShape();
    void requestsForOtherAddressesAreIgnored_data();
    void requestsForOtherAddressesAreIgnored();
    void toleranceWrittenIsReadBack_data();
    void toleranceWrittenIsReadBack();
    void doseWeightSetIsWhatFillDoseFills();
    void completedFillRaisesCountersByTheFilledWeight();
    void dischargeReplyCarriesTheWeightAndTheHopperEmpties();
    void scriptedErrorShowsAsAlarmWithItsCode_data();
    void scriptedErrorShowsAsAlarmWithItsCode();
    void negativeReadingTravelsAsTwosComplement();
    void testModeFollowsTheValueOfItsCommand();
    void parametersFollowTheDoserSettings();
};

void tst_DoserResponder::everyCommandGetsItsReplyShape_data()
{
    QTest::addColumn<int>("command");
    QTest::addColumn<int>("subCommand");
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<int>("state");
    // Decimal text of the reply, "#" and the counter for a 32-bit counter, empty: not checked.
    QTest::addColumn<QString>("expected");

    QTest::newRow("net weight") << 0 << 0 << 0.0 << 0 << 0x00 << "0.00";
    QTest::newRow("software version") << 3 << 0 << 0.0 << 0 << 0x00 << "1.07";
    QTest::newRow("reset error") << 4 << 0 << 0.0 << 0 << 0x00 << "";
    QTest::newRow("dose weight") << 8 << 1 << 12.5 << 2 << 0x00 << "12.50";
    QTest::newRow("read plus tolerance") << 10 << 0 << 0.0 << 0 << 0x00 << "0.50";
    QTest::newRow("write plus tolerance") << 11 << 0 << 0.7 << 2 << 0x00 << "0.70";
    QTest::newRow("read minus tolerance") << 12 << 0 << 0.0 << 0 << 0x00 << "0.50";
    QTest::newRow("write minus tolerance") << 13 << 0 << 0.3 << 2 << 0x00 << "0.30";
    QTest::newRow("fill a weight") << 14 << 0 << 10.0 << 2 << 0x02 << "";
    QTest::newRow("fill the dose") << 15 << 0 << 0.0 << 0 << 0x02 << "";
    QTest::newRow("continue") << 17 << 0 << 0.0 << 0 << 0x00 << "";
    QTest::newRow("discharge an empty hopper") << 20 << 0 << 0.0 << 0 << 0x02 << "0.00";
    QTest::newRow("full cycle") << 22 << 0 << 0.0 << 0 << 0x02 << "";
    QTest::newRow("last fill") << 24 << 0 << 0.0 << 0 << 0x00 << "0.00";
    QTest::newRow("shift dose count") << 24 << 16 << 0.0 << 0 << 0x00 << "0";
    QTest::newRow("shift weight") << 24 << 18 << 0.0 << 0 << 0x00 << "#0";
    QTest::newRow("non-resettable dose count") << 24 << 19 << 0.0 << 0 << 0x00 << "#16909060";
    QTest::newRow("non-resettable weight") << 24 << 20 << 0.0 << 0 << 0x00 << "#2309737967";
    QTest::newRow("stop") << 26 << 0 << 0.0 << 0 << 0x00 << "";
    QTest::newRow("test mode on") << 39 << 0 << 16777215.0 << 0 << 0x00 << "";
    QTest::newRow("test mode off") << 39 << 0 << 0.0 << 0 << 0x00 << "";
    QTest::newRow("upper limit") << 44 << 0 << 0.0 << 0 << 0x00 << "30.00";
    QTest::newRow("scale") << 44 << 1 << 0.0 << 0 << 0x00 << "0.01";
    QTest::newRow("weight unit") << 44 << 2 << 0.0 << 0 << 0x00 << "1";
    QTest::newRow("counter unit") << 44 << 3 << 0.0 << 0 << 0x00 << "1";
    QTest::newRow("unknown command") << 99 << 0 << 0.0 << 0 << 0x00 << "0";
}

void tst_DoserResponder::everyCommandGetsItsReplyShape()
{
    QFETCH(int, command);
    QFETCH(int, subCommand);
    QFETCH(double, value);
    QFETCH(int, decimals);
    QFETCH(int, state);
    QFETCH(QString, expected);
    Station station;

    const K310DataPacket reply =
        station.ask(request(quint8(command), quint8(subCommand), value, quint8(decimals)));

    QCOMPARE(reply.receiver, quint8(0x80));
    QCOMPARE(reply.sender, Doser);
    QCOMPARE(int(reply.command), command);
    QCOMPARE(int(reply.subCommand), subCommand);
    QCOMPARE(int(reply.state), state);
    QCOMPARE(reply.errorCode, quint8(0));
    if (expected.startsWith(QLatin1Char('#')))
        QCOMPARE(QString::number(reply.rawValue()), expected.mid(1));
    else if (!expected.isEmpty())
        QCOMPARE(decimalText(reply), expected);
}

void tst_DoserResponder::requestsForOtherAddressesAreIgnored_data()
{
    QTest::addColumn<int>("address");
    QTest::newRow("the master") << 0;
    QTest::newRow("one below") << 29;
    QTest::newRow("one above") << 31;
    QTest::newRow("the highest") << 127;
    QTest::newRow("ours plus 128") << 158;
}

void tst_DoserResponder::requestsForOtherAddressesAreIgnored()
{
    QFETCH(int, address);
    DoserParameters parameters;
    parameters.address = 30 ^ 1;
    Station station(parameters);
    const bool ours = (address & 0x7F) == parameters.address;
    K310DataPacket reply;
    reply.command = 0x55;

    const bool answered = station.responder.respond(request(14, 0, 10, 2, quint8(address)), &reply);

    QCOMPARE(answered, ours);
    QCOMPARE(station.model.phase() == HopperModel::Phase::Idle, !ours);
    if (!ours)
        QCOMPARE(reply.command, quint8(0x55));
}

void tst_DoserResponder::toleranceWrittenIsReadBack_data()
{
    QTest::addColumn<int>("write");
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<QString>("readBack");

    QTest::newRow("plus in the doser's decimals") << 11 << 0.75 << 2 << "0.75";
    QTest::newRow("plus with one decimal") << 11 << 1.5 << 1 << "1.50";
    QTest::newRow("plus at the limit") << 11 << 30.0 << 2 << "30.00";
    QTest::newRow("plus above the limit keeps the old") << 11 << 30.01 << 2 << "0.50";
    QTest::newRow("minus of zero") << 13 << 0.0 << 2 << "0.00";
    QTest::newRow("minus with three decimals rounds half up") << 13 << 0.255 << 3 << "0.26";
    QTest::newRow("minus with three decimals rounds down") << 13 << 0.254 << 3 << "0.25";
    QTest::newRow("minus with no decimals") << 13 << 2.0 << 0 << "2.00";
    QTest::newRow("minus above the limit keeps the old") << 13 << 31.0 << 0 << "0.50";
}

void tst_DoserResponder::toleranceWrittenIsReadBack()
{
    QFETCH(int, write);
    QFETCH(double, value);
    QFETCH(int, decimals);
    QFETCH(QString, readBack);
    Station station;

    const K310DataPacket written = station.ask(request(quint8(write), 0, value, quint8(decimals)));
    const K310DataPacket read = station.ask(request(quint8(write - 1)));

    QCOMPARE(decimalText(written), readBack);
    QCOMPARE(decimalText(read), readBack);
}

void tst_DoserResponder::doseWeightSetIsWhatFillDoseFills()
{
    Station station;
    QCOMPARE(decimalText(station.ask(request(8, 1, 31, 0))), QStringLiteral("10.00"));
    QCOMPARE(decimalText(station.ask(request(8, 1, 12, 0))), QStringLiteral("12.00"));
    station.ask(request(15));
    station.runUntilRest();
    const double filled = double(station.ask(request(24, 0)).value());
    QVERIFY2(qAbs(filled - 12.0) <= 0.05, qPrintable(QString::number(filled)));
}

void tst_DoserResponder::completedFillRaisesCountersByTheFilledWeight()
{
    Station station;
    const quint32 weightBefore = station.ask(request(24, 20)).rawValue();
    const quint32 dosesBefore = station.ask(request(24, 19)).rawValue();

    station.ask(request(14, 0, 10, 2));
    station.clock.advance(500);
    QCOMPARE(station.ask(request(24, 20)).rawValue(), weightBefore);
    station.runUntilRest();

    const K310DataPacket lastFill = station.ask(request(24, 0));
    const quint32 filled = lastFill.rawValue() & 0xFFFFFF;
    QVERIFY(qAbs(double(lastFill.value()) - 10.0) <= 0.05);
    QCOMPARE(station.ask(request(24, 20)).rawValue(), weightBefore + filled);
    QCOMPARE(station.ask(request(24, 19)).rawValue(), dosesBefore + 1);
    QCOMPARE(station.ask(request(24, 18)).rawValue(), filled);
    QCOMPARE(decimalText(station.ask(request(24, 16))), QStringLiteral("1"));
    QCOMPARE(decimalText(station.ask(request(0))), decimalText(lastFill));
    QCOMPARE(station.ask(request(0)).state, K310Protocol::DoseToDischargeFlag);
}

void tst_DoserResponder::dischargeReplyCarriesTheWeightAndTheHopperEmpties()
{
    Station station;
    station.ask(request(14, 0, 10, 2));
    station.runUntilRest();
    const QString inHopper = decimalText(station.ask(request(0)));

    const K310DataPacket discharge = station.ask(request(20));
    QCOMPARE(decimalText(discharge), inHopper);
    QCOMPARE(discharge.state, K310Protocol::WorkingFlag);
    station.runUntilRest();

    const K310DataPacket weight = station.ask(request(0));
    QCOMPARE(decimalText(weight), QStringLiteral("0.00"));
    QCOMPARE(weight.state, quint8(0));
    QCOMPARE(decimalText(station.ask(request(20))), QStringLiteral("0.00"));
}

void tst_DoserResponder::scriptedErrorShowsAsAlarmWithItsCode_data()
{
    QTest::addColumn<QString>("rule");
    QTest::addColumn<int>("code");
    QTest::newRow("no product supply") << "8:fill=1" << 8;
    QTest::newRow("hopper not empty") << "9:fill=1" << 9;
    QTest::newRow("unstable load cell") << "5:fill=1" << 5;
    QTest::newRow("low pressure") << "15:fill=1" << 15;
    QTest::newRow("code with the eighth bit") << "200:fill=1" << 200;
}

void tst_DoserResponder::scriptedErrorShowsAsAlarmWithItsCode()
{
    QFETCH(QString, rule);
    QFETCH(int, code);
    ErrorRule scripted;
    QString error;
    QVERIFY(ErrorRule::parse(rule, &scripted, &error));
    Station station(DoserParameters(), {scripted});

    station.ask(request(14, 0, 10, 2));
    station.runUntilRest();
    const K310DataPacket alarm = station.ask(request(0));
    QCOMPARE(alarm.state, K310Protocol::AlarmFlag);
    QCOMPARE(int(alarm.errorCode), code);

    const K310DataPacket reset = station.ask(request(4));
    QCOMPARE(reset.errorCode, quint8(0));
    QVERIFY(!(reset.state & K310Protocol::AlarmFlag));
}

void tst_DoserResponder::negativeReadingTravelsAsTwosComplement()
{
    FakeClock clock;
    DoserParameters noisy;
    noisy.noise = 0.05;
    HopperModel model(noisy, clock, 9);
    DoserResponder responder(model);
    K310DataPacket reply;
    bool sawNegative = false;
    for (int i = 0; i < 100 && !sawNegative; ++i) {
        QVERIFY(responder.respond(request(0), &reply));
        reply = overTheWire(reply);
        sawNegative = reply.value() < 0;
    }
    QVERIFY(sawNegative);
    QVERIFY(reply.valueBytes[2] & 0x80);
    QVERIFY(reply.value() >= -0.05L);
    QCOMPARE(reply.decimals, quint8(2));
}

void tst_DoserResponder::testModeFollowsTheValueOfItsCommand()
{
    Station station;
    K310DataPacket on = request(39);
    on.valueBytes[0] = on.valueBytes[1] = on.valueBytes[2] = 0xFF;
    station.ask(on);
    QVERIFY(station.model.testMode());
    K310DataPacket other = request(39);
    other.valueBytes[0] = 5;
    station.ask(other);
    QVERIFY(station.model.testMode());
    station.ask(request(39));
    QVERIFY(!station.model.testMode());
}

void tst_DoserResponder::parametersFollowTheDoserSettings()
{
    DoserParameters parameters;
    parameters.address = 7;
    parameters.npd = 150;
    parameters.scale = 1;
    parameters.unit = 2;
    parameters.totalUnit = 0;
    parameters.versionValue = 3;
    parameters.versionDecimals = 0;
    Station station(parameters);
    auto ask = [&station](quint8 command, quint8 subCommand) {
        return station.ask(request(command, subCommand, 0, 0, 7));
    };

    QCOMPARE(ask(44, 0).sender, quint8(7));
    QCOMPARE(decimalText(ask(44, 0)), QStringLiteral("150.0"));
    QCOMPARE(decimalText(ask(44, 1)), QStringLiteral("0.1"));
    QCOMPARE(ask(44, 1).decimals, quint8(1));
    QCOMPARE(decimalText(ask(44, 2)), QStringLiteral("2"));
    QCOMPARE(decimalText(ask(44, 3)), QStringLiteral("0"));
    QCOMPARE(decimalText(ask(3, 0)), QStringLiteral("3"));
    QCOMPARE(decimalText(ask(0, 0)), QStringLiteral("0.0"));
}

QTEST_GUILESS_MAIN(tst_DoserResponder)
#include "tst_doserresponder.moc"
