#include "k310device.h"

#include <QSignalSpy>
#include <QTest>

#include <functional>

using Request = std::function<void(K310Device &)>;
Q_DECLARE_METATYPE(Request)

namespace {

constexpr int DoserAddress = 30;

QByteArray valueBytes(const K310DataPacket &packet)
{
    return QByteArray(reinterpret_cast<const char *>(packet.valueBytes), 3);
}

} // namespace

class tst_K310DeviceRequests : public QObject
{
    Q_OBJECT

private slots:
    void everyRequestCarriesItsCommandAndValue_data();
    void everyRequestCarriesItsCommandAndValue();
    void operatorTextBecomesTheValueField_data();
    void operatorTextBecomesTheValueField();
    void everyTextSlotSendsTextThatIsNoNumberAsZero_data();
    void everyTextSlotSendsTextThatIsNoNumberAsZero();
    void requestGoesToTheLowByteOfTheDeviceId_data();
    void requestGoesToTheLowByteOfTheDeviceId();
    void deviceWithoutALinkOnlyEmitsItsRequests();
};

void tst_K310DeviceRequests::everyRequestCarriesItsCommandAndValue_data()
{
    QTest::addColumn<Request>("request");
    QTest::addColumn<int>("command");
    QTest::addColumn<int>("subCommand");
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<int>("decimals");

    const QByteArray zero = QByteArray::fromHex("000000");
    auto row = [](const char *name, Request request, int command, int subCommand,
                  const QByteArray &value, int decimals) {
        QTest::newRow(name) << request << command << subCommand << value << decimals;
    };
    row("requestWeightNETTO", &K310Device::requestWeightNETTO, 0, 0, zero, 0);
    row("requestPOVersion", &K310Device::requestPOVersion, 3, 0, zero, 0);
    row("resetErrorFlag", &K310Device::resetErrorFlag, 4, 0, zero, 0);
    row(
        "setDoseWeight 150.00", [](K310Device &d) { d.setDoseWeight("150.00", 2); }, 8, 1,
        QByteArray::fromHex("983A00"), 2);
    row("requestDoseFaultPlus", &K310Device::requestDoseFaultPlus, 10, 0, zero, 0);
    row(
        "setDoseFaultPlus 0.5", [](K310Device &d) { d.setDoseFaultPlus("0.5", 2); }, 11, 0,
        QByteArray::fromHex("320000"), 2);
    row("requestDoseFaultMinus", &K310Device::requestDoseFaultMinus, 12, 0, zero, 0);
    row(
        "setDoseFaultMinus 1.25", [](K310Device &d) { d.setDoseFaultMinus("1.25", 3); }, 13, 0,
        QByteArray::fromHex("E20400"), 3);
    row(
        "downloadDose 10.00", [](K310Device &d) { d.downloadDose("10.00", 2); }, 14, 0,
        QByteArray::fromHex("E80300"), 2);
    row("downloadDose", qOverload<>(&K310Device::downloadDose), 15, 0, zero, 0);
    row("continueDownload", &K310Device::continueDownload, 17, 0, zero, 0);
    row("uploadDose", &K310Device::uploadDose, 20, 0, zero, 0);
    row("doFullCycle", &K310Device::doFullCycle, 22, 0, zero, 0);
    row("requestSumWeightOfLastDownload", &K310Device::requestSumWeightOfLastDownload, 24, 0, zero,
        0);
    row("requestDoseCount", &K310Device::requestDoseCount, 24, 16, zero, 0);
    row("requestTotalWeight", &K310Device::requestTotalWeight, 24, 18, zero, 0);
    row("requestTotalCommonDoseCount", &K310Device::requestTotalCommonDoseCount, 24, 19, zero, 0);
    row("requestTotalCommonWeight", &K310Device::requestTotalCommonWeight, 24, 20, zero, 0);
    row("stopWork", &K310Device::stopWork, 26, 0, zero, 0);
    row("startTestMode", &K310Device::startTestMode, 39, 0, QByteArray::fromHex("FFFFFF"), 0);
    row("stopTestMode", &K310Device::stopTestMode, 39, 0, zero, 0);
    row("requestNPD", &K310Device::requestNPD, 44, 0, zero, 0);
    row("requestScale", &K310Device::requestScale, 44, 1, zero, 0);
    row("requestWeightScale", &K310Device::requestWeightScale, 44, 2, zero, 0);
    row("requestTotalWeightScale", &K310Device::requestTotalWeightScale, 44, 3, zero, 0);
}

void tst_K310DeviceRequests::everyRequestCarriesItsCommandAndValue()
{
    QFETCH(Request, request);
    QFETCH(int, command);
    QFETCH(int, subCommand);
    QFETCH(QByteArray, value);
    QFETCH(int, decimals);

    K310Device device(nullptr);
    device.setDeviceID(DoserAddress);
    QSignalSpy requests(&device, &K310Device::requestSignal);
    // Leave a value and decimals behind, which the next request must not carry over.
    device.startTestMode();
    device.setDoseFaultMinus(QStringLiteral("1.5"), 7);
    request(device);

    QCOMPARE(requests.size(), 3);
    const K310DataPacket packet = requests.last().first().value<K310DataPacket>();
    QCOMPARE(int(packet.receiver), DoserAddress);
    QCOMPARE(int(packet.sender), 0);
    QCOMPARE(int(packet.command), command);
    QCOMPARE(int(packet.subCommand), subCommand);
    QCOMPARE(int(packet.state), 0);
    QCOMPARE(int(packet.errorCode), 0);
    QCOMPARE(valueBytes(packet).toHex(' '), value.toHex(' '));
    QCOMPARE(int(packet.decimals), decimals);
    QCOMPARE(int(packet.linkError), 0);
    QCOMPARE(int(packet.replyCount), 0);
}

void tst_K310DeviceRequests::operatorTextBecomesTheValueField_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<int>("sentDecimals");
    // The number does not fit the field: the trace says so and the field stays 0.
    QTest::addColumn<bool>("rejected");

    const QByteArray zero = QByteArray::fromHex("000000");
    QTest::newRow("150.00") << "150.00" << 2 << QByteArray::fromHex("983A00") << 2 << false;
    QTest::newRow("not a number") << "abc" << 2 << zero << 2 << false;
    QTest::newRow("empty") << "" << 2 << zero << 2 << false;
    QTest::newRow("comma as separator") << "12,5" << 1 << zero << 1 << false;
    QTest::newRow("hexadecimal") << "0x10" << 0 << zero << 0 << false;
    QTest::newRow("blanks around") << " 12.5 " << 2 << QByteArray::fromHex("E20400") << 2 << false;
    QTest::newRow("exponent") << "1e3" << 0 << QByteArray::fromHex("E80300") << 0 << false;
    QTest::newRow("negative") << "-5" << 0 << zero << 0 << true;
    QTest::newRow("negative with decimals") << "-5" << 2 << zero << 0 << true;
    QTest::newRow("negative below half a step") << "-0.004" << 2 << zero << 2 << false;
    QTest::newRow("largest") << "16777215" << 0 << QByteArray::fromHex("FFFFFF") << 0 << false;
    QTest::newRow("one too large") << "16777216" << 0 << zero << 0 << true;
    QTest::newRow("too large with decimals") << "167772.16" << 2 << zero << 0 << true;
    QTest::newRow("huge") << "1e300" << 2 << zero << 0 << true;
    QTest::newRow("infinite") << "inf" << 2 << zero << 0 << true;
    QTest::newRow("not a number value") << "nan" << 2 << zero << 0 << true;
    QTest::newRow("any number with 255 decimals") << "1" << 255 << zero << 0 << true;
    QTest::newRow("zero with 255 decimals") << "0" << 255 << zero << 255 << false;
}

void tst_K310DeviceRequests::operatorTextBecomesTheValueField()
{
    QFETCH(QString, text);
    QFETCH(int, decimals);
    QFETCH(QByteArray, value);
    QFETCH(int, sentDecimals);
    QFETCH(bool, rejected);

    K310Device device(nullptr);
    device.setDeviceID(DoserAddress);
    QSignalSpy requests(&device, &K310Device::requestSignal);
    if (rejected)
        QTest::ignoreMessage(QtDebugMsg, "INT");
    device.setDoseWeight(text, quint8(decimals));

    QCOMPARE(requests.size(), 1);
    const K310DataPacket packet = requests.first().first().value<K310DataPacket>();
    QCOMPARE(int(packet.command), 8);
    QCOMPARE(int(packet.subCommand), 1);
    QCOMPARE(valueBytes(packet).toHex(' '), value.toHex(' '));
    QCOMPARE(int(packet.decimals), sentDecimals);
}

void tst_K310DeviceRequests::everyTextSlotSendsTextThatIsNoNumberAsZero_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("letters") << "abc";
    QTest::newRow("negative") << "-7";
    QTest::newRow("too large") << "99999999";
}

void tst_K310DeviceRequests::everyTextSlotSendsTextThatIsNoNumberAsZero()
{
    QFETCH(QString, text);
    const bool rejected = text != QLatin1String("abc");
    const QList<Request> slotsWithText = {
        [&](K310Device &d) { d.setDoseWeight(text, 1); },
        [&](K310Device &d) { d.setDoseFaultPlus(text, 1); },
        [&](K310Device &d) { d.setDoseFaultMinus(text, 1); },
        [&](K310Device &d) { d.downloadDose(text, 1); },
    };
    K310Device device(nullptr);
    device.setDeviceID(DoserAddress);
    QSignalSpy requests(&device, &K310Device::requestSignal);
    for (const Request &request : slotsWithText) {
        if (rejected)
            QTest::ignoreMessage(QtDebugMsg, "INT");
        request(device);
    }
    QCOMPARE(requests.size(), slotsWithText.size());
    for (const QList<QVariant> &emitted : std::as_const(requests)) {
        const K310DataPacket packet = emitted.first().value<K310DataPacket>();
        QCOMPARE(valueBytes(packet).toHex(), QByteArray("000000"));
        QCOMPARE(int(packet.decimals), rejected ? 0 : 1);
    }
}

void tst_K310DeviceRequests::requestGoesToTheLowByteOfTheDeviceId_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<int>("receiver");
    QTest::newRow("0") << 0 << 0;
    QTest::newRow("30") << 30 << 30;
    QTest::newRow("127") << 127 << 127;
    QTest::newRow("no doser chosen") << -1 << 0xFF;
    QTest::newRow("beyond a byte") << 286 << 30;
}

void tst_K310DeviceRequests::requestGoesToTheLowByteOfTheDeviceId()
{
    QFETCH(int, id);
    QFETCH(int, receiver);
    K310Device device(nullptr);
    device.setDeviceID(id);
    QSignalSpy requests(&device, &K310Device::requestSignal);
    device.requestNPD();
    QCOMPARE(requests.size(), 1);
    QCOMPARE(int(requests.first().first().value<K310DataPacket>().receiver), receiver);
}

void tst_K310DeviceRequests::deviceWithoutALinkOnlyEmitsItsRequests()
{
    K310Device device(nullptr);
    device.setDeviceID(DoserAddress);
    QSignalSpy requests(&device, &K310Device::requestSignal);
    QSignalSpy states(&device, &K310Device::hasCurrentStateSignal);
    QSignalSpy lost(&device, &K310Device::hasConnectionErrorSignal);
    device.requestWeightNETTO();
    device.uploadDose();
    QCOMPARE(requests.size(), 2);
    QVERIFY(!lost.wait(200));
    QCOMPARE(states.size(), 0);
}

QTEST_GUILESS_MAIN(tst_K310DeviceRequests)
#include "tst_k310devicerequests.moc"
