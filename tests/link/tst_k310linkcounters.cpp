#include "doserreply.h"
#include "k310link.h"
#include "linkrecorder.h"
#include "ptypair.h"
#include "scriptedpeer.h"

#include <QTest>

namespace {

constexpr quint8 DoserAddress = 30;
constexpr int ReplyTimeoutMs = 150;
constexpr int ReplyWaitMs = 5000;

} // namespace

class tst_K310LinkCounters : public QObject
{
    Q_OBJECT

private slots:
    void everyRequestIsCountedByHowItsReplyCameAndResetStartsAgain();
};

void tst_K310LinkCounters::everyRequestIsCountedByHowItsReplyCameAndResetStartsAgain()
{
    PtyPair pty;
    QVERIFY(pty.isValid());
    ScriptedPeer peer(pty, K310FrameLength, doserReply);
    K310Link link {QString()};
    LinkRecorder recorder(link);
    QCOMPARE(link.openPort(QString::fromStdString(pty.slavePath())), 1);
    QCOMPARE(link.setReplyTimeout(ReplyTimeoutMs), 1);
    peer.start();
    using Reply = ScriptedPeer::Reply;
    const QList<Reply> script {Reply::Answer, Reply::Drop,     Reply::Answer, Reply::Corrupt,
                               Reply::Answer, Reply::Truncate, Reply::Answer};
    for (const Reply reply : script)
        peer.push(reply);

    for (int i = 0; i < script.size(); ++i)
        link.sendCommandPacket(requestPacket(DoserAddress, 0, 0, i));
    QTRY_COMPARE_WITH_TIMEOUT(recorder.replies.size(), int(script.size()), ReplyWaitMs);
    QTRY_VERIFY(link.isIdle());
    LinkCounters counted = link.counters();
    QCOMPARE(counted.sent, quint64(7));
    QCOMPARE(counted.answered, quint64(4));
    QCOMPARE(counted.notAnswered, quint64(2));
    QCOMPARE(counted.corrupt, quint64(1));

    // A send the link refuses (port closed) never reached the line, so it is no request.
    link.resetCounters();
    link.closePort();
    link.sendCommandPacket(requestPacket(DoserAddress, 0, 0, 0));
    counted = link.counters();
    QCOMPARE(counted.sent + counted.answered + counted.notAnswered + counted.corrupt, quint64(0));
}

QTEST_GUILESS_MAIN(tst_K310LinkCounters)
#include "tst_k310linkcounters.moc"
