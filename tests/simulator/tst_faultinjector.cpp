#include "faultinjector.h"

#include "k310datapacket.h"

#include <QTest>

namespace {

QByteArray replyFrame()
{
    K310DataPacket packet;
    packet.receiver = 0x80;
    packet.sender = 30;
    packet.setValue(12.34, 2);
    QByteArray frame(K310FrameLength, '\0');
    packet.toFrame(reinterpret_cast<quint8 *>(frame.data()));
    return frame;
}

FaultRule rule(const QString &text)
{
    FaultRule parsed;
    QString error;
    if (!FaultRule::parse(text, &parsed, &error))
        qWarning("%s", qPrintable(error));
    return parsed;
}

QByteArray joined(const QList<ReplyQueue::Chunk> &chunks)
{
    QByteArray bytes;
    for (const ReplyQueue::Chunk &chunk : chunks)
        bytes += chunk.bytes;
    return bytes;
}

int differingBits(const QByteArray &a, const QByteArray &b)
{
    int bits = 0;
    for (qsizetype i = 0; i < a.size(); ++i)
        bits += qPopulationCount(quint8(a.at(i) ^ b.at(i)));
    return bits;
}

// The replies to a run of requests, written down so that two runs can be compared.
QStringList replay(quint32 seed, int replies)
{
    FaultInjector injector({rule("drop:p=0.1"), rule("corrupt:p=0.1"), rule("split:p=0.2"),
                            rule("delay:p=0.2"), rule("late:p=0.05"), rule("garbage:p=0.1"),
                            rule("silent:p=0.01,ms=100")},
                           seed);
    QStringList record;
    for (int i = 0; i < replies; ++i) {
        QString note;
        const QList<ReplyQueue::Chunk> chunks = injector.shape(replyFrame(), i * 50, &note);
        QString line = note;
        for (const ReplyQueue::Chunk &chunk : chunks)
            line += QStringLiteral(" | %1 %2")
                        .arg(chunk.delayMs)
                        .arg(QString::fromLatin1(chunk.bytes.toHex()));
        record.append(line);
    }
    return record;
}

} // namespace

class tst_FaultInjector : public QObject
{
    Q_OBJECT

private slots:
    void sameSeedGivesTheSameFaults();
    void withoutRulesRepliesGoOutClean();
    void eachFaultShapesTheReply_data();
    void eachFaultShapesTheReply();
    void silenceSwallowsRepliesForItsTime();
    void scheduleStrikesOnlyItsReplies();
    void faultForOneAddressCountsAndStrikesOnlyItsDoser();
    void faultRulesAreRead_data();
    void faultRulesAreRead();
    void replyQueueSendsInOrderAtTheirTimes();
};

void tst_FaultInjector::sameSeedGivesTheSameFaults()
{
    const QStringList first = replay(4242, 500);
    QCOMPARE(replay(4242, 500), first);
    QVERIFY(replay(4243, 500) != first);
    int faulty = 0;
    for (const QString &line : first)
        faulty += line.startsWith(QLatin1Char(' ')) ? 0 : 1;
    QVERIFY2(faulty > 100 && faulty < 400, qPrintable(QString::number(faulty)));
}

void tst_FaultInjector::withoutRulesRepliesGoOutClean()
{
    FaultInjector injector;
    QString note = QStringLiteral("stale");
    const QList<ReplyQueue::Chunk> chunks = injector.shape(replyFrame(), 0, &note);
    QCOMPARE(chunks.size(), 1);
    QCOMPARE(chunks.first().delayMs, 0);
    QCOMPARE(chunks.first().bytes, replyFrame());
    QVERIFY(note.isEmpty());
}

void tst_FaultInjector::eachFaultShapesTheReply_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("chunks");
    QTest::addColumn<int>("firstDelay");
    QTest::addColumn<int>("lastDelay");
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("flippedBits");

    QTest::newRow("drop") << "drop:p=1" << 0 << 0 << 0 << 0 << 0;
    QTest::newRow("corrupt") << "corrupt:p=1" << 1 << 0 << 0 << 12 << 1;
    QTest::newRow("split") << "split:p=1" << 2 << 0 << 30 << 12 << 0;
    QTest::newRow("split with a longer pause") << "split:p=1,ms=90" << 2 << 0 << 90 << 12 << 0;
    QTest::newRow("delay") << "delay:p=1" << 1 << 40 << 40 << 12 << 0;
    QTest::newRow("late") << "late:p=1,ms=250" << 1 << 250 << 250 << 12 << 0;
    QTest::newRow("garbage") << "garbage:p=1,bytes=5" << 2 << 0 << 0 << 17 << 0;
}

void tst_FaultInjector::eachFaultShapesTheReply()
{
    QFETCH(QString, fault);
    QFETCH(int, chunks);
    QFETCH(int, firstDelay);
    QFETCH(int, lastDelay);
    QFETCH(int, length);
    QFETCH(int, flippedBits);
    FaultInjector injector({rule(fault)}, 1);
    const QByteArray frame = replyFrame();
    QString note;

    const QList<ReplyQueue::Chunk> shaped = injector.shape(frame, 0, &note);

    QCOMPARE(shaped.size(), chunks);
    QVERIFY(!note.isEmpty());
    if (chunks == 0)
        return;
    QCOMPARE(shaped.first().delayMs, firstDelay);
    QCOMPARE(shaped.last().delayMs, lastDelay);
    const QByteArray bytes = joined(shaped);
    QCOMPARE(int(bytes.size()), length);
    QVERIFY(bytes.endsWith(shaped.last().bytes));
    const QByteArray reply = bytes.right(K310FrameLength);
    QCOMPARE(differingBits(reply, frame), flippedBits);
    K310DataPacket decoded;
    const bool intact =
        decoded.fromFrame(reinterpret_cast<const quint8 *>(reply.constData()), K310FrameLength)
        == K310FrameLength;
    QCOMPARE(intact, flippedBits == 0);
}

void tst_FaultInjector::silenceSwallowsRepliesForItsTime()
{
    FaultInjector injector({rule("silent:at=2,ms=1000")}, 1);
    QString note;
    QCOMPARE(injector.shape(replyFrame(), 0, &note).size(), 1);
    QVERIFY(injector.shape(replyFrame(), 100, &note).isEmpty());
    QVERIFY(injector.isSilent(500));
    QVERIFY(injector.shape(replyFrame(), 1099, &note).isEmpty());
    QCOMPARE(injector.shape(replyFrame(), 1100, &note).size(), 1);
    QCOMPARE(injector.replyCount(), 4);
}

void tst_FaultInjector::scheduleStrikesOnlyItsReplies()
{
    FaultInjector injector({rule("drop:at=3,at=5"), rule("delay:every=4,ms=10")}, 1);
    QList<int> dropped;
    QList<int> delayed;
    for (int reply = 1; reply <= 12; ++reply) {
        QString note;
        const QList<ReplyQueue::Chunk> chunks = injector.shape(replyFrame(), 0, &note);
        if (chunks.isEmpty())
            dropped.append(reply);
        else if (chunks.first().delayMs == 10)
            delayed.append(reply);
    }
    QCOMPARE(dropped, (QList<int> {3, 5}));
    QCOMPARE(delayed, (QList<int> {4, 8, 12}));
}

void tst_FaultInjector::faultForOneAddressCountsAndStrikesOnlyItsDoser()
{
    FaultInjector injector({rule("silent:addr=31,at=2,ms=1000"), rule("drop:addr=32,every=2")}, 1);
    // Three rounds of 30, 31, 32 in turn: 31 falls silent at its second reply, 32 loses every
    // second of its own, 30 is never touched.
    QStringList lost;
    for (int round = 1; round <= 3; ++round) {
        for (const int address : {30, 31, 32}) {
            QString note;
            if (injector.shape(replyFrame(), round * 100, &note, true, address).isEmpty())
                lost << QStringLiteral("%1/%2").arg(address).arg(round);
        }
    }
    QCOMPARE(lost, (QStringList {"31/2", "32/2", "31/3"}));
    QVERIFY(injector.isSilent(500, 31));
    QVERIFY(!injector.isSilent(500, 30));
}

void tst_FaultInjector::faultRulesAreRead_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::newRow("chance") << "drop:p=0.25" << true;
    QTest::newRow("schedule and strength") << "silent:at=10,ms=5000" << true;
    QTest::newRow("several at") << "corrupt:at=1,at=2,every=7" << true;
    QTest::newRow("garbage size") << "garbage:p=0.5,bytes=20" << true;
    QTest::newRow("unknown kind") << "explode:p=1" << false;
    QTest::newRow("no trigger") << "drop" << false;
    QTest::newRow("zero chance only") << "drop:p=0" << false;
    QTest::newRow("chance above one") << "drop:p=1.5" << false;
    QTest::newRow("reply zero") << "drop:at=0" << false;
    QTest::newRow("negative time") << "delay:p=1,ms=-5" << false;
    QTest::newRow("no garbage") << "garbage:p=1,bytes=0" << false;
    QTest::newRow("unknown option") << "drop:p=1,often=yes" << false;
    QTest::newRow("option without value") << "drop:p" << false;
    QTest::newRow("one doser") << "silent:addr=31,at=40" << true;
    QTest::newRow("address above 127") << "drop:p=1,addr=128" << false;
}

void tst_FaultInjector::faultRulesAreRead()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    FaultRule parsed;
    QString error;
    QCOMPARE(FaultRule::parse(text, &parsed, &error), valid);
    QCOMPARE(error.isEmpty(), valid);
}

void tst_FaultInjector::replyQueueSendsInOrderAtTheirTimes()
{
    ReplyQueue queue;
    QCOMPARE(queue.nextDueMs(), -1);
    queue.schedule({{400, "late"}}, 1000);
    queue.schedule({{0, "next"}}, 1100);
    queue.schedule({{0, "a"}, {30, "b"}}, 2000);
    QCOMPARE(queue.nextDueMs(), 1400);
    QVERIFY(queue.takeDue(1399).isEmpty());
    QCOMPARE(queue.takeDue(1400), QByteArray("latenext"));
    QCOMPARE(queue.takeDue(2010), QByteArray("a"));
    QCOMPARE(queue.nextDueMs(), 2030);
    QCOMPARE(queue.takeDue(5000), QByteArray("b"));
    QVERIFY(queue.isEmpty());
}

QTEST_GUILESS_MAIN(tst_FaultInjector)
#include "tst_faultinjector.moc"
