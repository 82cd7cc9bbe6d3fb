#include "devicesignallog.h"
#include "k310device.h"
#include "k310link.h"
#include "ptypair.h"
#include "scriptedpeer.h"

#include <QSignalSpy>
#include <QTest>

#include <functional>
#include <memory>

using Request = std::function<void(K310Device &)>;
Q_DECLARE_METATYPE(Request)
using Reply = ScriptedPeer::Reply;

namespace {

constexpr int ConsoleReplyTimeout = 150;
constexpr int ConsoleRate = 38400;
constexpr int ReplyWaitMs = 5000;
// How long a test waits to be sure that nothing more arrives.
constexpr int QuietMs = 300;
constexpr quint8 WorkingState = 0x02;
// What the scripted doser reads on its load cell: 12.5.
constexpr quint8 WeightValue = 125;
constexpr quint8 WeightDecimals = 1;

// A working doser at whatever address the request names: echoes the request, except that a
// net weight poll reads 12.5.
QByteArray doserAnswer(const QByteArray &request)
{
    K310DataPacket packet;
    if (packet.fromFrame(reinterpret_cast<const quint8 *>(request.constData()),
                         quint16(request.size()))
        != K310FrameLength)
        return {};
    packet.sender = packet.receiver & 0x7F;
    packet.receiver = 0x80;
    packet.state = WorkingState;
    if (packet.command == 0) {
        packet.valueBytes[0] = WeightValue;
        packet.decimals = WeightDecimals;
    }
    QByteArray frame(K310FrameLength, '\0');
    packet.toFrame(reinterpret_cast<quint8 *>(frame.data()));
    return frame;
}

// The request a frame on the line was made from: its receiver without the frame-start bit.
QString requestEntry(const QByteArray &frame)
{
    K310DataPacket packet(reinterpret_cast<const quint8 *>(frame.constData()));
    packet.receiver &= 0x7F;
    return QLatin1String("requestSignal([") + packet.toString() + QLatin1String("])");
}

QString entry(int id, const char *name, const char *text = nullptr)
{
    if (!text)
        return QStringLiteral("%1(%2)").arg(QLatin1String(name)).arg(id);
    return QStringLiteral("%1(%2, \"%3\")")
        .arg(QLatin1String(name))
        .arg(id)
        .arg(QString::fromUtf8(text));
}

} // namespace

class tst_K310DeviceOnLink : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void requestGoesOnTheLineByteForByte_data();
    void requestGoesOnTheLineByteForByte();
    void replyIsDecodedOnTheDevicesThreadInOrder();
    void twoDevicesOnOneLinkEachSeeOnlyTheirOwnReplies();
    void lineFaultsBecomeStopAlarmOrLostConnection_data();
    void lineFaultsBecomeStopAlarmOrLostConnection();
    void requestRefusedByAClosedLinkGetsNoAnswer();
    void deviceOutlivesItsLink();
    void deviceDestroyedWithAReplyOnItsWay();

private:
    void openLink();
    // Waits until the link is idle and its last reply has been delivered.
    void settle();

    std::unique_ptr<PtyPair> pty;
    std::unique_ptr<ScriptedPeer> peer;
    std::unique_ptr<K310Link> link;
};

void tst_K310DeviceOnLink::init()
{
    pty = std::make_unique<PtyPair>();
    QVERIFY(pty->isValid());
    peer = std::make_unique<ScriptedPeer>(*pty, K310FrameLength, doserAnswer);
    link = std::make_unique<K310Link>(QString());
}

void tst_K310DeviceOnLink::cleanup()
{
    peer.reset();
    link.reset();
    pty.reset();
}

void tst_K310DeviceOnLink::openLink()
{
    QCOMPARE(link->openPort(QString::fromStdString(pty->slavePath())), 1);
    QCOMPARE(link->setReplyTimeout(ConsoleReplyTimeout), 1);
    QCOMPARE(link->setRate(ConsoleRate), 1);
}

void tst_K310DeviceOnLink::settle()
{
    QTRY_VERIFY_WITH_TIMEOUT(link->isIdle(), ReplyWaitMs);
    QTest::qWait(QuietMs);
}

void tst_K310DeviceOnLink::requestGoesOnTheLineByteForByte_data()
{
    QTest::addColumn<Request>("request");
    QTest::addColumn<QByteArray>("frame");

    QTest::newRow("dose weight 150.00")
        << Request([](K310Device &d) { d.setDoseWeight(QStringLiteral("150.00"), 2); })
        << QByteArray::fromHex("9E0008010000183A00020853");
    QTest::newRow("net weight poll") << Request(&K310Device::requestWeightNETTO)
                                     << QByteArray::fromHex("9E000000000000000000004B");
}

void tst_K310DeviceOnLink::requestGoesOnTheLineByteForByte()
{
    QFETCH(Request, request);
    QFETCH(QByteArray, frame);
    openLink();
    K310Device device(link.get());
    device.setDeviceID(30);
    DeviceSignalLog log(device);

    request(device);
    QCOMPARE(pty->read(K310FrameLength, ReplyWaitMs).toHex(' '), frame.toHex(' '));
    // Nobody answers at the far end: the doser is reported lost, and nothing more goes out.
    QTRY_COMPARE_WITH_TIMEOUT(log.size(), 3, ReplyWaitMs);
    settle();
    QCOMPARE(log.entries, (QStringList {requestEntry(frame), entry(30, "needToStopTheWork"),
                                        entry(30, "hasConnectionErrorSignal")}));
    QVERIFY(pty->read(1, 0).isEmpty());
}

void tst_K310DeviceOnLink::replyIsDecodedOnTheDevicesThreadInOrder()
{
    openLink();
    peer->start();
    K310Device device(link.get());
    device.setDeviceID(30);
    DeviceSignalLog log(device);
    QSignalSpy weights(&device, &K310Device::hasGetWeightNETTOSignal);

    device.requestWeightNETTO();
    // The link emits on its worker; the device decodes only once this thread's loop runs.
    QCOMPARE(log.size(), 1);
    QVERIFY(weights.wait(ReplyWaitMs));
    settle();
    QCOMPARE(log.since(1), (QStringList {entry(30, "hasCurrentStateSignal", "РАБОТА"),
                                         entry(30, "hasGetWeightNETTOSignal", "12.5")}));
    QVERIFY(log.allOnOwnThread());
}

void tst_K310DeviceOnLink::twoDevicesOnOneLinkEachSeeOnlyTheirOwnReplies()
{
    openLink();
    // The second device's last request gets no answer, and only it hears of that.
    for (Reply reply : {Reply::Answer, Reply::Answer, Reply::Answer, Reply::Drop})
        peer->push(reply);
    peer->start();
    K310Device first(link.get());
    first.setDeviceID(30);
    K310Device second(link.get());
    second.setDeviceID(31);
    DeviceSignalLog firstLog(first);
    DeviceSignalLog secondLog(second);

    first.requestWeightNETTO();
    second.requestNPD();
    first.requestScale();
    second.requestTotalWeightScale();
    QTRY_COMPARE_WITH_TIMEOUT(secondLog.size(), 6, ReplyWaitMs);
    settle();

    // A device's replies may be decoded while its next request is under way, so the
    // requests are counted apart.
    auto replies = [](const DeviceSignalLog &log, int *requests) {
        QStringList entries = log.entries;
        *requests = int(entries.removeIf(
            [](const QString &entry) { return entry.startsWith(QLatin1String("requestSignal")); }));
        return entries;
    };
    int requests = 0;
    QCOMPARE(replies(firstLog, &requests),
             (QStringList {entry(30, "hasCurrentStateSignal", "РАБОТА"),
                           entry(30, "hasGetWeightNETTOSignal", "12.5"),
                           entry(30, "hasCurrentStateSignal", "РАБОТА"),
                           entry(30, "hasGetScaleSignal", "0"),
                           QStringLiteral("hasGetScaleSignal(30, 0)")}));
    QCOMPARE(requests, 2);
    QCOMPARE(replies(secondLog, &requests),
             (QStringList {entry(31, "hasCurrentStateSignal", "РАБОТА"),
                           entry(31, "hasGetNPDSignal", "0"), entry(31, "needToStopTheWork"),
                           entry(31, "hasConnectionErrorSignal")}));
    QCOMPARE(requests, 2);
}

void tst_K310DeviceOnLink::lineFaultsBecomeStopAlarmOrLostConnection_data()
{
    QTest::addColumn<Request>("request");
    QTest::addColumn<int>("fault");
    QTest::addColumn<QStringList>("expected");

    const QStringList alarm = {entry(30, "hasCurrentStateSignal", "АВАРИЯ"),
                               entry(30, "needToStopTheWork")};
    const QStringList lost = {entry(30, "needToStopTheWork"),
                              entry(30, "hasConnectionErrorSignal")};
    QTest::newRow("corrupt reply to a weight poll")
        << Request(&K310Device::requestWeightNETTO) << int(Reply::Corrupt) << alarm;
    QTest::newRow("corrupt reply to the upper limit")
        << Request(&K310Device::requestNPD) << int(Reply::Corrupt) << alarm;
    QTest::newRow("corrupt reply to a tolerance write")
        << Request([](K310Device &d) { d.setDoseFaultPlus(QStringLiteral("1.50"), 2); })
        << int(Reply::Corrupt) << alarm;
    QTest::newRow("reply cut short")
        << Request(&K310Device::requestWeightNETTO) << int(Reply::Truncate) << lost;
    QTest::newRow("no reply") << Request(&K310Device::requestTotalCommonWeight) << int(Reply::Drop)
                              << lost;
    QTest::newRow("reply in two pieces")
        << Request(&K310Device::requestWeightNETTO) << int(Reply::Split)
        << QStringList {entry(30, "hasCurrentStateSignal", "РАБОТА"),
                        entry(30, "hasGetWeightNETTOSignal", "12.5")};
}

void tst_K310DeviceOnLink::lineFaultsBecomeStopAlarmOrLostConnection()
{
    QFETCH(Request, request);
    QFETCH(int, fault);
    QFETCH(QStringList, expected);
    openLink();
    peer->push(Reply(fault));
    peer->start();
    K310Device device(link.get());
    device.setDeviceID(30);
    DeviceSignalLog log(device);

    request(device);
    QTRY_COMPARE_WITH_TIMEOUT(log.size(), 1 + expected.size(), ReplyWaitMs);
    settle();
    QCOMPARE(log.since(1), expected);
}

void tst_K310DeviceOnLink::requestRefusedByAClosedLinkGetsNoAnswer()
{
    K310Device device(link.get());
    device.setDeviceID(30);
    DeviceSignalLog log(device);
    QSignalSpy messages(link.get(), &K310Link::hasSysMes);
    device.requestWeightNETTO();
    QCOMPARE(messages.size(), 1);
    QVERIFY(messages.first().first().toString().contains(QStringLiteral("Ошибка: порт  закрыт")));
    QTest::qWait(QuietMs);
    QCOMPARE(log.size(), 1);
}

void tst_K310DeviceOnLink::deviceOutlivesItsLink()
{
    K310Device device(link.get());
    device.setDeviceID(30);
    DeviceSignalLog log(device);
    link.reset();
    device.requestNPD();
    device.setDoseWeight(QStringLiteral("10"), 2);
    QCOMPARE(log.size(), 2);
}

void tst_K310DeviceOnLink::deviceDestroyedWithAReplyOnItsWay()
{
    openLink();
    peer->start();
    auto device = std::make_unique<K310Device>(link.get());
    device->setDeviceID(30);
    device->requestWeightNETTO();
    // The reply is queued for the device when it goes.
    QTRY_VERIFY_WITH_TIMEOUT(peer->requestCount() == 1 && link->isIdle(), ReplyWaitMs);
    device.reset();
    QTest::qWait(QuietMs);
    K310Device next(link.get());
    next.setDeviceID(30);
    QSignalSpy weights(&next, &K310Device::hasGetWeightNETTOSignal);
    next.requestWeightNETTO();
    QVERIFY(weights.wait(ReplyWaitMs));
    QCOMPARE(weights.size(), 1);
}

QTEST_GUILESS_MAIN(tst_K310DeviceOnLink)
#include "tst_k310deviceonlink.moc"
