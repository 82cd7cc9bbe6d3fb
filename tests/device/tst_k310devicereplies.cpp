#include "devicesignallog.h"
#include "k310device.h"

#include <QTest>

namespace {

constexpr int DoserAddress = 30;

// A reply as the link delivers it: from the given doser to the master, the value field given
// as its 24 bits (or, for counters, the 32 bits that include the decimals byte).
K310DataPacket reply(quint8 command, quint8 subCommand, quint8 state, quint8 errorCode,
                     quint32 bits, quint8 decimals, quint8 sender = DoserAddress)
{
    K310DataPacket packet;
    packet.receiver = 0x80;
    packet.sender = sender;
    packet.command = command;
    packet.subCommand = subCommand;
    packet.state = state;
    packet.errorCode = errorCode;
    packet.valueBytes[0] = quint8(bits);
    packet.valueBytes[1] = quint8(bits >> 8);
    packet.valueBytes[2] = quint8(bits >> 16);
    packet.decimals = decimals;
    return packet;
}

// The reply to a poll of the net weight: 12.5 from doser 30.
K310DataPacket weightReply(quint8 state, quint8 errorCode = 0)
{
    return reply(0, 0, state, errorCode, 125, 1);
}

// What the link makes of a request whose reply was corrupt (1) or missing (2).
K310DataPacket linkErrorReply(K310DataPacket request, quint8 code)
{
    request.makeErrorReply(code);
    return request;
}

K310DataPacket request(quint8 command, quint8 subCommand = 0, double value = 0, quint8 decimals = 0)
{
    K310DataPacket packet;
    packet.receiver = DoserAddress;
    packet.command = command;
    packet.subCommand = subCommand;
    packet.setValue(value, decimals);
    return packet;
}

QString id()
{
    return QString::number(DoserAddress);
}

QString signal(const char *name)
{
    return QStringLiteral("%1(%2)").arg(QLatin1String(name), id());
}

QString signal(const char *name, const QString &text)
{
    return QStringLiteral("%1(%2, \"%3\")").arg(QLatin1String(name), id(), text);
}

QString state(const char *text)
{
    return signal("hasCurrentStateSignal", QString::fromUtf8(text));
}

QString weight(const char *text = "12.5")
{
    return signal("hasGetWeightNETTOSignal", QString::fromUtf8(text));
}

QString error(const char *text)
{
    return signal("hasErrorSignal", QString::fromUtf8(text));
}

const QString Stop = signal("needToStopTheWork");
const QString MustUpload = signal("workStoppedMustUploadSignal");
const QString MustDownload = signal("workStoppedMustDownloadSignal");
const QString Lost = signal("hasConnectionErrorSignal");

// Every signal doser 30 emits while decoding one reply delivered as the given reply number.
QStringList signalsOf(const K310DataPacket &packet, quint32 replyNumber = 1)
{
    K310Device device(nullptr);
    device.setDeviceID(DoserAddress);
    DeviceSignalLog log(device);
    device.replyPacketReceived(packet, replyNumber, 1);
    return log.entries;
}

} // namespace

class tst_K310DeviceReplies : public QObject
{
    Q_OBJECT

private slots:
    void stateTextThenStatusThenValue_data();
    void stateTextThenStatusThenValue();
    void alarmTextsFollowTheErrorTable_data();
    void alarmTextsFollowTheErrorTable();
    void eachCommandGivesItsValueSignal_data();
    void eachCommandGivesItsValueSignal();
    void decimalTextHasExactlyTheDecimalsSent_data();
    void decimalTextHasExactlyTheDecimalsSent();
    void replyFromAnotherAddressEmitsNothing_data();
    void replyFromAnotherAddressEmitsNothing();
    void lostReplyStopsTheWorkThenReportsTheConnection_data();
    void lostReplyStopsTheWorkThenReportsTheConnection();
    void corruptReplyRaisesTheAlarmButReportsNoValue_data();
    void corruptReplyRaisesTheAlarmButReportsNoValue();
    void decodingDependsOnlyOnTheReplyInHand();
};

void tst_K310DeviceReplies::stateTextThenStatusThenValue_data()
{
    QTest::addColumn<K310DataPacket>("packet");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("working") << weightReply(0x02) << QStringList {state("РАБОТА"), weight()};
    QTest::newRow("stopped, nothing to discharge")
        << weightReply(0x00) << QStringList {state("ОСТАНОВ"), MustUpload, weight()};
    QTest::newRow("stopped with a dose to discharge")
        << weightReply(0x10) << QStringList {state("ОСТАНОВ"), MustDownload, weight()};
    QTest::newRow("working with the discharge flag")
        << weightReply(0x12) << QStringList {state("РАБОТА"), weight()};
    QTest::newRow("alarm while working")
        << weightReply(0x82, 8)
        << QStringList {state("АВАРИЯ"), error("Ошибка, нет подачи продукта"), Stop, weight()};
    QTest::newRow("alarm with a dose to discharge")
        << weightReply(0x90, 9)
        << QStringList {state("АВАРИЯ"),
                        error("Ошибка, ГПУ не пустое (при попытке набора вес отличен от нуля)"),
                        Stop, weight()};
    QTest::newRow("alarm without a code")
        << weightReply(0x80, 0) << QStringList {state("АВАРИЯ"), Stop, weight()};
    QTest::newRow("alarm code 6 is silent")
        << weightReply(0x80, 6) << QStringList {state("АВАРИЯ"), weight()};
    QTest::newRow("other bits are ignored when stopped")
        << weightReply(0x6D) << QStringList {state("ОСТАНОВ"), MustUpload, weight()};
    QTest::newRow("other bits are ignored when working")
        << weightReply(0x7F) << QStringList {state("РАБОТА"), weight()};
    QTest::newRow("error code without the alarm bit is no alarm")
        << weightReply(0x00, 8) << QStringList {state("ОСТАНОВ"), MustUpload, weight()};
}

void tst_K310DeviceReplies::stateTextThenStatusThenValue()
{
    QFETCH(K310DataPacket, packet);
    QFETCH(QStringList, expected);
    QCOMPARE(signalsOf(packet), expected);
}

void tst_K310DeviceReplies::alarmTextsFollowTheErrorTable_data()
{
    QTest::addColumn<int>("code");
    // Empty when the code has no text.
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("stops");

    const char *const texts[] = {
        "Ошибка данных в EEPROM калибровки или конфигурации",
        "Ошибка данных в EEPROM параметров работы или рецепта",
        "Ошибка, нет питания в силовых цепях",
        "Ошибка в номере компонента",
        "Ошибка, нестабильны показания датчика веса",
        nullptr,
        nullptr,
        "Ошибка, нет подачи продукта",
        "Ошибка, ГПУ не пустое (при попытке набора вес отличен от нуля)",
        "Ошибка, тайм-аут концевика открытия шиберной задвижки",
        "Ошибка, тайм-аут концевика закрытия шиберной задвижки",
        "Ошибка, уменьшение веса при наборе дозы",
        "Ошибка, не зафиксирована тара (при фиксации по команде)",
        "Ошибка, мало продукта)",
        "Ошибка, Низкое давление",
        "Ошибка, выход управляющего сигнала за диапазон 0 - 100%",
        "Ошибка, большой перерасход (жидкости)",
        "Ошибка, Низкая производительность (проходные весы)",
    };
    QTest::newRow("0") << 0 << QString() << true;
    for (int code = 1; code <= 18; ++code) {
        const char *text = texts[code - 1];
        QTest::addRow("%d", code) << code << QString::fromUtf8(text) << bool(text);
    }
    for (int code : {19, 20, 63, 127, 128, 255})
        QTest::addRow("%d", code) << code << QString() << false;
}

void tst_K310DeviceReplies::alarmTextsFollowTheErrorTable()
{
    QFETCH(int, code);
    QFETCH(QString, text);
    QFETCH(bool, stops);
    K310Device device(nullptr);
    device.setDeviceID(DoserAddress);
    DeviceSignalLog log(device);
    // A reply with no value signal, so the status step is all that follows the state text.
    device.replyPacketReceived(reply(26, 0, 0x80, quint8(code), 0, 0), 1, 1);

    QStringList expected = {state("АВАРИЯ")};
    if (!text.isEmpty())
        expected.append(signal("hasErrorSignal", text));
    if (stops)
        expected.append(Stop);
    QCOMPARE(log.entries, expected);
}

void tst_K310DeviceReplies::eachCommandGivesItsValueSignal_data()
{
    QTest::addColumn<K310DataPacket>("packet");
    // The signals after the state text; the replies come from a working doser.
    QTest::addColumn<QStringList>("expected");

    auto row = [](const char *name, quint8 command, quint8 subCommand, quint32 bits,
                  quint8 decimals, const QStringList &expected) {
        QTest::newRow(name) << reply(command, subCommand, 0x02, 0, bits, decimals) << expected;
    };
    row("0 net weight", 0, 0, 1250, 2, {weight("12.50")});
    row("0 any subcommand", 0, 7, 1250, 2, {weight("12.50")});
    row("3 software version", 3, 0, 107, 2, {signal("hasGetPOVersionSignal", "1.07")});
    row("8 dose weight", 8, 1, 15000, 2, {signal("hasSetDoseWeightSignal", "150.00")});
    row("10 plus tolerance", 10, 0, 50, 2, {signal("hasGetDoseFaultPlusSignal", "0.50")});
    row("11 plus tolerance written", 11, 0, 75, 2, {signal("hasGetDoseFaultPlusSignal", "0.75")});
    row("12 minus tolerance", 12, 0, 50, 2, {signal("hasGetDoseFaultMinusSignal", "0.50")});
    row("13 minus tolerance written", 13, 0, 5, 1, {signal("hasGetDoseFaultMinusSignal", "0.5")});
    row("20 discharge", 20, 0, 1003, 2, {signal("hasGetDoseUploadSignal", "10.03")});
    row("24/0 last fill", 24, 0, 998, 2, {signal("hasGetSumWeightOfLastDownloadSignal", "9.98")});
    row("24/16 dose count", 24, 16, 10000, 0, {signal("hasGetDoseCountSignal", "10000")});
    row("24/16 dose count is a decimal text", 24, 16, 10000, 2,
        {signal("hasGetDoseCountSignal", "100.00")});
    row("24/18 shift weight counter", 24, 18, 0x2710, 0,
        {signal("hasGetTotalWeightSignal", "10000")});
    row("24/19 dose counter", 24, 19, 0x2710, 0,
        {signal("hasGetTotalCommonDoseCountSignal", "10000")});
    row("24/20 weight counter", 24, 20, 0x2710, 0,
        {signal("hasGetTotalCommonWeightSignal", "10000")});
    row("counter takes the decimals byte as its top byte", 24, 20, 0, 1,
        {signal("hasGetTotalCommonWeightSignal", "16777216")});
    row("counter is unsigned", 24, 19, 0xFFFFFF, 0xFF,
        {signal("hasGetTotalCommonDoseCountSignal", "4294967295")});
    row("44/0 upper limit", 44, 0, 3000, 2, {signal("hasGetNPDSignal", "30.00")});
    row("44/1 scale as text then as number", 44, 1, 1, 2,
        {signal("hasGetScaleSignal", "0.01"), QStringLiteral("hasGetScaleSignal(30, 2)")});
    row("44/1 scale without decimals", 44, 1, 1, 0,
        {signal("hasGetScaleSignal", "1"), QStringLiteral("hasGetScaleSignal(30, 0)")});
    row("44/2 unit g", 44, 2, 0, 0, {signal("hasGetWeightScaleSignal", "г")});
    row("44/2 unit kg", 44, 2, 1, 0, {signal("hasGetWeightScaleSignal", "кг")});
    row("44/2 unit t", 44, 2, 2, 0, {signal("hasGetWeightScaleSignal", "т")});
    row("44/2 unit 3 is none", 44, 2, 3, 0, {});
    row("44/2 unit -1 is none", 44, 2, 0xFFFFFF, 0, {});
    row("44/2 unit 1.9 truncates to kg", 44, 2, 19, 1, {signal("hasGetWeightScaleSignal", "кг")});
    row("44/3 counter unit", 44, 3, 2, 0, {signal("hasGetTotalWeightScaleSignal", "т")});
    row("44/3 unit 3 is none", 44, 3, 3, 0, {});
    for (quint8 command : {1, 2, 4, 5, 9, 14, 15, 16, 17, 21, 22, 23, 26, 39, 45, 127}) {
        QTest::addRow("%d has no value", command)
            << reply(command, 0, 0x02, 0, 1234, 2) << QStringList();
    }
    for (quint8 subCommand : {1, 15, 17, 21, 127}) {
        QTest::addRow("24/%d has no value", subCommand)
            << reply(24, subCommand, 0x02, 0, 1234, 2) << QStringList();
    }
    for (quint8 subCommand : {4, 5, 127}) {
        QTest::addRow("44/%d has no value", subCommand)
            << reply(44, subCommand, 0x02, 0, 1, 0) << QStringList();
    }
}

void tst_K310DeviceReplies::eachCommandGivesItsValueSignal()
{
    QFETCH(K310DataPacket, packet);
    QFETCH(QStringList, expected);
    QCOMPARE(signalsOf(packet), QStringList {state("РАБОТА")} + expected);
}

void tst_K310DeviceReplies::decimalTextHasExactlyTheDecimalsSent_data()
{
    QTest::addColumn<quint32>("bits");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<QString>("text");

    QTest::newRow("125, 1") << 125u << 1 << "12.5";
    QTest::newRow("1250, 2") << 1250u << 2 << "12.50";
    QTest::newRow("7, 0") << 7u << 0 << "7";
    QTest::newRow("1, 2") << 1u << 2 << "0.01";
    QTest::newRow("0, 0") << 0u << 0 << "0";
    QTest::newRow("0, 3") << 0u << 3 << "0.000";
    QTest::newRow("-10, 1") << 0xFFFFF6u << 1 << "-1.0";
    QTest::newRow("-5, 2") << 0xFFFFFBu << 2 << "-0.05";
    QTest::newRow("-1, 0") << 0xFFFFFFu << 0 << "-1";
    QTest::newRow("largest") << 0x7FFFFFu << 0 << "8388607";
    QTest::newRow("smallest") << 0x800000u << 3 << "-8388.608";
    QTest::newRow("no grouping") << 1234567u << 2 << "12345.67";
    QTest::newRow("5, 6") << 5u << 6 << "0.000005";
    QTest::newRow("more decimals than a double holds")
        << 8388607u << 20 << "0.00000000000008388607";
    QTest::newRow("255 decimals") << 125u << 255
                                  << QStringLiteral("0.") + QString(252, QLatin1Char('0'))
                                         + QStringLiteral("125");
}

void tst_K310DeviceReplies::decimalTextHasExactlyTheDecimalsSent()
{
    QFETCH(quint32, bits);
    QFETCH(int, decimals);
    QFETCH(QString, text);
    QCOMPARE(signalsOf(reply(0, 0, 0x02, 0, bits, quint8(decimals))),
             (QStringList {state("РАБОТА"), signal("hasGetWeightNETTOSignal", text)}));
}

void tst_K310DeviceReplies::replyFromAnotherAddressEmitsNothing_data()
{
    QTest::addColumn<K310DataPacket>("packet");
    QTest::addColumn<quint32>("number");

    QTest::newRow("weight from 31") << reply(0, 0, 0x02, 0, 125, 1, 31) << 1u;
    QTest::newRow("alarm from 31") << reply(0, 0, 0x80, 8, 125, 1, 31) << 1u;
    QTest::newRow("stopped from 0") << reply(0, 0, 0x00, 0, 125, 1, 0) << 1u;
    QTest::newRow("lost request to 31")
        << linkErrorReply(request(0), K310DataPacket::NoReply) << 0u;
    QTest::newRow("corrupt reply from 29") << reply(44, 0, 0x80, 0, 0, 0, 29) << 1u;
    QTest::newRow("sender with the top bit") << reply(0, 0, 0x02, 0, 125, 1, 30 | 0x80) << 1u;
}

void tst_K310DeviceReplies::replyFromAnotherAddressEmitsNothing()
{
    QFETCH(K310DataPacket, packet);
    QFETCH(quint32, number);
    K310Device device(nullptr);
    // The lost request was for doser 30; this device is 31 there and 30 elsewhere.
    device.setDeviceID(packet.sender == DoserAddress ? 31 : DoserAddress);
    DeviceSignalLog log(device);
    device.replyPacketReceived(packet, number, 1);
    QCOMPARE(log.entries, QStringList());
}

void tst_K310DeviceReplies::lostReplyStopsTheWorkThenReportsTheConnection_data()
{
    QTest::addColumn<K310DataPacket>("packet");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("weight poll") << linkErrorReply(request(0), K310DataPacket::NoReply)
                                 << QStringList {Stop, Lost};
    QTest::newRow("dose weight") << linkErrorReply(request(8, 1, 150, 2), K310DataPacket::NoReply)
                                 << QStringList {Stop, Lost};
    QTest::newRow("upper limit") << linkErrorReply(request(44), K310DataPacket::NoReply)
                                 << QStringList {Stop, Lost};
    // The status step reads the packet as it is.
    QTest::newRow("alarm with a code")
        << reply(0, 0, 0x80, 5, 0, 0)
        << QStringList {error("Ошибка, нестабильны показания датчика веса"), Stop, Lost};
    QTest::newRow("alarm code 6") << reply(0, 0, 0x80, 6, 0, 0) << QStringList {Lost};
}

void tst_K310DeviceReplies::lostReplyStopsTheWorkThenReportsTheConnection()
{
    QFETCH(K310DataPacket, packet);
    QFETCH(QStringList, expected);
    QCOMPARE(signalsOf(packet, 0), expected);
}

void tst_K310DeviceReplies::corruptReplyRaisesTheAlarmButReportsNoValue_data()
{
    QTest::addColumn<K310DataPacket>("packet");

    QTest::newRow("weight poll") << linkErrorReply(request(0), K310DataPacket::ReplyCorrupt);
    QTest::newRow("upper limit") << linkErrorReply(request(44, 0), K310DataPacket::ReplyCorrupt);
    QTest::newRow("scale") << linkErrorReply(request(44, 1), K310DataPacket::ReplyCorrupt);
    QTest::newRow("plus tolerance write")
        << linkErrorReply(request(11, 0, 1.5, 2), K310DataPacket::ReplyCorrupt);
    QTest::newRow("dose weight write")
        << linkErrorReply(request(8, 1, 150, 2), K310DataPacket::ReplyCorrupt);
    QTest::newRow("weight counter")
        << linkErrorReply(request(24, 20), K310DataPacket::ReplyCorrupt);
    QTest::newRow("discharge") << linkErrorReply(request(20), K310DataPacket::ReplyCorrupt);
}

void tst_K310DeviceReplies::corruptReplyRaisesTheAlarmButReportsNoValue()
{
    QFETCH(K310DataPacket, packet);
    QCOMPARE(int(packet.linkError), 1);
    QCOMPARE(signalsOf(packet), (QStringList {state("АВАРИЯ"), Stop}));
}

void tst_K310DeviceReplies::decodingDependsOnlyOnTheReplyInHand()
{
    K310Device device(nullptr);
    device.setDeviceID(DoserAddress);
    DeviceSignalLog log(device);
    // Nothing was asked; replies in any order still decode, each on its own.
    device.replyPacketReceived(reply(44, 0, 0x00, 0, 3000, 2), 1, 1);
    device.replyPacketReceived(weightReply(0x82, 8), 1, 1);
    device.replyPacketReceived(weightReply(0x02), 2, 1);
    QCOMPARE(log.entries,
             (QStringList {state("ОСТАНОВ"), MustUpload, signal("hasGetNPDSignal", "30.00"),
                           state("АВАРИЯ"), error("Ошибка, нет подачи продукта"), Stop, weight(),
                           state("РАБОТА"), weight()}));
}

QTEST_GUILESS_MAIN(tst_K310DeviceReplies)
#include "tst_k310devicereplies.moc"
