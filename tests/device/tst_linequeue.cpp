#include "k310device.h"
#include "k310link.h"
#include "k310protocol.h"
#include "linequeue.h"
#include "ptypair.h"
#include "scriptedpeer.h"

#include <QElapsedTimer>
#include <QSet>
#include <QSignalSpy>
#include <QTest>

#include <chrono>
#include <memory>

using namespace K310Protocol;

namespace {

constexpr int ConsoleReplyTimeout = 150;
constexpr int ConsoleRate = 38400;
constexpr int ReplyWaitMs = 10000;
constexpr quint8 WorkingState = 0x02;
// Slack on a loaded machine for what should take a few milliseconds.
constexpr int SlackMs = 600;

K310DataPacket request(int address, quint8 command, quint8 subCommand = 0)
{
    K310DataPacket packet;
    packet.receiver = quint8(address);
    packet.command = command;
    packet.subCommand = subCommand;
    return packet;
}

K310DataPacket decoded(const QByteArray &frame)
{
    K310DataPacket packet(reinterpret_cast<const quint8 *>(frame.constData()));
    packet.receiver &= 0x7F;
    return packet;
}

qint64 msBetween(ScriptedPeer::Clock::time_point from, ScriptedPeer::Clock::time_point to)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(to - from).count();
}

} // namespace

class tst_LineQueue : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void oneAddressKeepsEnqueueOrderOnTheWire();
    void addressesAreServedInTurn();
    void orderGoesBeforeOtherAddressesReads_data();
    void orderGoesBeforeOtherAddressesReads();
    void silentDoserLosesItsReadsAndHoldsUpOthersOneTimeout();
    void enqueueReturnsAtOnceWhileATransactionIsUnderWay();
    void replyThatNeverComesIsLeftAtTheWatchdog();
    void clearedRequestsLateReplyIsNotTakenForTheNext();
    void closedPortDropsRequestsWithoutStalling();
    void devicesSendThroughTheQueueAndHearTheirReplies();

private:
    void openLink(int replyTimeout = ConsoleReplyTimeout);
    QList<K310DataPacket> wire() const;

    std::unique_ptr<PtyPair> pty;
    std::unique_ptr<ScriptedPeer> peer;
    std::unique_ptr<K310Link> link;
    std::unique_ptr<LineQueue> queue;
    // Addresses at which nobody answers.
    QSet<int> silent;
};

void tst_LineQueue::init()
{
    silent.clear();
    pty = std::make_unique<PtyPair>();
    QVERIFY(pty->isValid());
    peer = std::make_unique<ScriptedPeer>(*pty, K310FrameLength, [this](const QByteArray &frame) {
        K310DataPacket packet = decoded(frame);
        if (silent.contains(packet.receiver))
            return QByteArray();
        packet.sender = packet.receiver;
        packet.receiver = 0x80;
        packet.state = WorkingState;
        QByteArray reply(K310FrameLength, '\0');
        packet.toFrame(reinterpret_cast<quint8 *>(reply.data()));
        return reply;
    });
    link = std::make_unique<K310Link>(QString());
    queue = std::make_unique<LineQueue>(link.get());
}

void tst_LineQueue::cleanup()
{
    queue.reset();
    peer.reset();
    link.reset();
    pty.reset();
}

void tst_LineQueue::openLink(int replyTimeout)
{
    QCOMPARE(link->openPort(QString::fromStdString(pty->slavePath())), 1);
    QCOMPARE(link->setReplyTimeout(replyTimeout), 1);
    QCOMPARE(link->setRate(ConsoleRate), 1);
    queue->setWatchdogMs(LineQueue::watchdogMsFor(replyTimeout));
}

QList<K310DataPacket> tst_LineQueue::wire() const
{
    QList<K310DataPacket> packets;
    for (const ScriptedPeer::Exchange &exchange : peer->exchanges())
        packets << decoded(exchange.request);
    return packets;
}

void tst_LineQueue::oneAddressKeepsEnqueueOrderOnTheWire()
{
    openLink();
    peer->start();
    // A reset must stay before the fill it clears the way for, and reads keep their place.
    const QList<K310DataPacket> requests {
        request(3, WeightNetto),        request(3, ResetError),
        request(3, DownloadSetDose),    request(3, Counters, DoseCount),
        request(3, WriteDoseFaultPlus), request(3, StopWork),
        request(3, Parameters, Scale),  request(3, FullCycle),
    };
    for (const K310DataPacket &packet : requests)
        queue->enqueue(packet);

    QTRY_COMPARE_WITH_TIMEOUT(queue->handedCount(), quint64(requests.size()), ReplyWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(peer->requestCount(), int(requests.size()), ReplyWaitMs);
    QCOMPARE(wire(), requests);
    QTRY_VERIFY_WITH_TIMEOUT(!queue->isWaitingForReply(), ReplyWaitMs);
    QCOMPARE(queue->droppedCount(), quint64(0));
}

void tst_LineQueue::addressesAreServedInTurn()
{
    openLink();
    peer->start();
    constexpr int PerAddress = 4;
    for (int address : {1, 2, 3}) {
        for (int i = 0; i < PerAddress; ++i)
            queue->enqueue(request(address, WeightNetto));
    }
    QCOMPARE(queue->pending(2), PerAddress);

    QTRY_COMPARE_WITH_TIMEOUT(peer->requestCount(), 3 * PerAddress, ReplyWaitMs);
    const QList<K310DataPacket> sent = wire();
    QCOMPARE(sent.size(), 3 * PerAddress);
    // Every run of three on the wire holds each doser once: none waits for another's backlog.
    for (int i = 0; i + 3 <= sent.size(); ++i) {
        const QSet<int> window {sent.at(i).receiver, sent.at(i + 1).receiver,
                                sent.at(i + 2).receiver};
        QVERIFY2(window.size() == 3, qPrintable(QStringLiteral("at %1").arg(i)));
    }
    QTRY_COMPARE_WITH_TIMEOUT(queue->pending(), 0, ReplyWaitMs);
}

void tst_LineQueue::orderGoesBeforeOtherAddressesReads_data()
{
    QTest::addColumn<K310DataPacket>("late");
    QTest::addColumn<bool>("servedFirst");

    QTest::newRow("fill with weight") << request(1, DownloadWeight) << true;
    QTest::newRow("fill") << request(1, DownloadSetDose) << true;
    QTest::newRow("continue fill") << request(1, ContinueDownload) << true;
    QTest::newRow("discharge") << request(1, UploadDose) << true;
    QTest::newRow("full cycle") << request(1, FullCycle) << true;
    QTest::newRow("stop work") << request(1, StopWork) << true;
    QTest::newRow("reset waits its turn") << request(1, ResetError) << false;
    QTest::newRow("setting waits its turn") << request(1, DoseWeight, 1) << false;
    QTest::newRow("read waits its turn") << request(1, WeightNetto) << false;
}

void tst_LineQueue::orderGoesBeforeOtherAddressesReads()
{
    QFETCH(K310DataPacket, late);
    QFETCH(bool, servedFirst);
    openLink();
    peer->start();
    for (int i = 0; i < 3; ++i) {
        queue->enqueue(request(2, WeightNetto));
        queue->enqueue(request(3, Counters, DoseCount));
    }
    queue->enqueue(late);
    QCOMPARE(queue->pending(1), 1);

    QTRY_COMPARE_WITH_TIMEOUT(peer->requestCount(), 7, ReplyWaitMs);
    const QList<K310DataPacket> sent = wire();
    QCOMPARE(sent.first().receiver, quint8(2));
    const int position = int(sent.indexOf(late));
    QVERIFY(position > 0);
    if (servedFirst)
        QCOMPARE(position, 1);
    else
        QVERIFY(position > 1);
}

void tst_LineQueue::silentDoserLosesItsReadsAndHoldsUpOthersOneTimeout()
{
    openLink();
    // Far beyond the reply time-out: only the link's no-reply may move the queue on here.
    queue->setWatchdogMs(ReplyWaitMs);
    silent.insert(1);
    peer->start();
    queue->enqueue(request(1, WeightNetto));
    queue->enqueue(request(1, Counters, TotalWeight));
    queue->enqueue(request(1, DoseWeight, 1));
    queue->enqueue(request(1, Parameters, UpperLimit));
    for (int i = 0; i < 2; ++i) {
        queue->enqueue(request(2, WeightNetto));
        queue->enqueue(request(3, WeightNetto));
    }

    QTRY_COMPARE_WITH_TIMEOUT(queue->pending(), 0, ReplyWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(!queue->isWaitingForReply(), ReplyWaitMs);
    QCOMPARE(queue->droppedCount(), quint64(2));
    QCOMPARE(queue->handedCount(), quint64(6));
    const QList<ScriptedPeer::Exchange> exchanges = peer->exchanges();
    QCOMPARE(exchanges.size(), 6);
    QList<quint8> toSilent;
    for (const ScriptedPeer::Exchange &exchange : exchanges) {
        const K310DataPacket packet = decoded(exchange.request);
        if (packet.receiver == 1)
            toSilent << packet.command;
    }
    // The first read found it silent; the setting still went, the other reads did not.
    QCOMPARE(toSilent, (QList<quint8> {WeightNetto, DoseWeight}));
    QCOMPARE(decoded(exchanges.at(1).request).receiver, quint8(2));
    QVERIFY2(msBetween(exchanges.at(0).received, exchanges.at(1).received)
                 < ConsoleReplyTimeout + SlackMs,
             "the next doser waited for more than the silent one's time-out");

    // A later probe of the lost doser goes out as any request.
    queue->enqueue(request(1, WeightNetto));
    QTRY_COMPARE_WITH_TIMEOUT(peer->requestCount(), 7, ReplyWaitMs);
    QCOMPARE(decoded(peer->exchanges().at(6).request).receiver, quint8(1));
}

void tst_LineQueue::enqueueReturnsAtOnceWhileATransactionIsUnderWay()
{
    constexpr int ReplyDelayMs = 1500;
    openLink(ReplyDelayMs * 2);
    peer->push(ScriptedPeer::Step {ScriptedPeer::Reply::Answer, ReplyDelayMs});
    peer->start();
    queue->enqueue(request(4, WeightNetto));
    QVERIFY(queue->isWaitingForReply());
    QVERIFY(!link->isIdle());

    QElapsedTimer clock;
    clock.start();
    queue->enqueue(request(4, DownloadSetDose));
    queue->enqueue(request(5, WeightNetto));
    QVERIFY2(clock.elapsed() < ReplyDelayMs / 3, "enqueue waited for the line");
    QCOMPARE(queue->pending(), 2);
    QCOMPARE(queue->handedCount(), quint64(1));

    QTRY_COMPARE_WITH_TIMEOUT(peer->requestCount(), 3, ReplyWaitMs);
    QCOMPARE(wire().at(1), request(4, DownloadSetDose));
}

void tst_LineQueue::replyThatNeverComesIsLeftAtTheWatchdog()
{
    openLink();
    constexpr int WatchdogMs = 400;
    queue->setWatchdogMs(WatchdogMs);
    // A doser that answers under another address: the link reports a reply, but not the one the
    // queue waits for.
    auto wrongSender = [](const QByteArray &frame) {
        K310DataPacket packet = decoded(frame);
        packet.sender = quint8(packet.receiver + 1);
        packet.receiver = 0x80;
        QByteArray reply(K310FrameLength, '\0');
        packet.toFrame(reinterpret_cast<quint8 *>(reply.data()));
        return reply;
    };
    peer.reset();
    peer = std::make_unique<ScriptedPeer>(*pty, K310FrameLength, wrongSender);
    peer->start();
    QElapsedTimer clock;
    clock.start();
    queue->enqueue(request(7, WeightNetto));
    queue->enqueue(request(9, WeightNetto));

    QTRY_COMPARE_WITH_TIMEOUT(peer->requestCount(), 2, ReplyWaitMs);
    QVERIFY(clock.elapsed() >= WatchdogMs);
    QTRY_COMPARE_WITH_TIMEOUT(queue->pending(), 0, ReplyWaitMs);
    QCOMPARE(queue->handedCount(), quint64(2));
}

void tst_LineQueue::clearedRequestsLateReplyIsNotTakenForTheNext()
{
    openLink();
    peer->push(ScriptedPeer::Reply::Drop);
    peer->start();
    queue->enqueue(request(2, WeightNetto));
    queue->enqueue(request(2, Counters, DoseCount));
    queue->enqueue(request(3, WeightNetto));
    // The link has posted its no-reply for address 2, not yet delivered here, when the port
    // changes.
    QVERIFY(link->waitIdle());
    queue->clear();
    QCOMPARE(queue->pending(), 0);
    QVERIFY(!queue->isWaitingForReply());
    QCOMPARE(queue->droppedCount(), quint64(2));

    // Taken for this setting's answer, the old no-reply would drop the read behind it.
    queue->enqueue(request(2, DoseWeight, 1));
    queue->enqueue(request(2, Parameters, Scale));
    QTRY_COMPARE_WITH_TIMEOUT(peer->requestCount(), 3, ReplyWaitMs);
    QCOMPARE(wire().mid(1),
             (QList<K310DataPacket> {request(2, DoseWeight, 1), request(2, Parameters, Scale)}));
    QTRY_VERIFY_WITH_TIMEOUT(!queue->isWaitingForReply(), ReplyWaitMs);
    QCOMPARE(queue->droppedCount(), quint64(2));
}

void tst_LineQueue::closedPortDropsRequestsWithoutStalling()
{
    QSignalSpy messages(link.get(), &K310Link::hasSysMes);
    for (int address : {1, 2, 1})
        queue->enqueue(request(address, address == 1 ? DownloadSetDose : WeightNetto));
    QCOMPARE(queue->pending(), 0);
    QCOMPARE(queue->droppedCount(), quint64(3));
    QCOMPARE(queue->handedCount(), quint64(0));
    QVERIFY(!queue->isWaitingForReply());
    // The operator hears of each refusal, as without the queue.
    QCOMPARE(messages.size(), 3);

    openLink();
    peer->start();
    queue->enqueue(request(1, WeightNetto));
    QTRY_COMPARE_WITH_TIMEOUT(peer->requestCount(), 1, ReplyWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(!queue->isWaitingForReply(), ReplyWaitMs);
}

void tst_LineQueue::devicesSendThroughTheQueueAndHearTheirReplies()
{
    openLink();
    peer->start();
    K310Device first(link.get());
    first.setDeviceID(11);
    K310Device second(link.get());
    second.setDeviceID(12);
    first.sendThrough(queue.get());
    second.sendThrough(queue.get());
    QSignalSpy firstWeights(&first, &K310Device::hasGetWeightNETTOSignal);
    QSignalSpy secondWeights(&second, &K310Device::hasGetWeightNETTOSignal);

    first.requestWeightNETTO();
    second.requestWeightNETTO();
    first.requestWeightNETTO();
    QCOMPARE(queue->pending(), 2);
    QTRY_COMPARE_WITH_TIMEOUT(firstWeights.size(), 2, ReplyWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(secondWeights.size(), 1, ReplyWaitMs);
    QCOMPARE(peer->requestCount(), 3);

    // Back to the link: the request goes out without the queue.
    first.sendThrough(nullptr);
    QTRY_VERIFY_WITH_TIMEOUT(link->isIdle(), ReplyWaitMs);
    first.requestWeightNETTO();
    QTRY_COMPARE_WITH_TIMEOUT(firstWeights.size(), 3, ReplyWaitMs);
    QCOMPARE(queue->handedCount(), quint64(3));
}

QTEST_GUILESS_MAIN(tst_LineQueue)
#include "tst_linequeue.moc"
