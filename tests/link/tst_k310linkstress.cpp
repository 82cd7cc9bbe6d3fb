#include "doserreply.h"
#include "k310link.h"
#include "linkrecorder.h"
#include "ptypair.h"
#include "scriptedpeer.h"

#include <QCoreApplication>
#include <QTest>

#include <random>

using Step = ScriptedPeer::Step;
using Reply = ScriptedPeer::Reply;

namespace {

constexpr int Transactions = 2000;
constexpr quint8 DoserAddress = 30;
// Short enough that lost replies keep the run brief, long enough for a busy machine to answer.
constexpr int ReplyTimeout = 100;
constexpr int DeliveryWaitMs = 30000;

// Mostly answers; now and then a reply comes in pieces, damaged, cut short or not at all.
Step randomStep(std::mt19937 &random)
{
    std::uniform_int_distribution<int> percent(0, 99);
    std::uniform_int_distribution<int> piece(1, K310FrameLength - 1);
    std::uniform_int_distribution<int> pause(0, 3);
    const int roll = percent(random);
    Step step;
    if (roll < 80) {
        step.reply = Reply::Answer;
    } else if (roll < 88) {
        step.reply = Reply::Split;
        step.splitAt = piece(random);
        step.pauseMs = pause(random);
    } else if (roll < 97) {
        step.reply = Reply::Corrupt;
    } else if (roll < 99) {
        step.reply = Reply::Drop;
    } else {
        step.reply = Reply::Truncate;
        step.splitAt = piece(random);
    }
    return step;
}

} // namespace

class tst_K310LinkStress : public QObject
{
    Q_OBJECT

private slots:
    void everyAcceptedRequestGetsExactlyOneMatchingReply();
};

void tst_K310LinkStress::everyAcceptedRequestGetsExactlyOneMatchingReply()
{
    PtyPair pty;
    QVERIFY(pty.isValid());
    ScriptedPeer peer(pty, K310FrameLength, doserReply);
    std::mt19937 random(310);
    peer.setChooser([&random](int) { return randomStep(random); });

    K310Link link(QString::fromStdString(pty.slavePath()));
    QCOMPARE(link.lastError(), qint8(1));
    QCOMPARE(link.setReplyTimeout(ReplyTimeout), 1);
    LinkRecorder recorder(link);
    peer.start();

    for (int i = 0; i < Transactions; ++i) {
        QCOMPARE(link.sendCommandPacket(requestPacket(DoserAddress, quint8(i % 128), 0, i)),
                 qint8(1));
        // A refused send would leave a timeout result behind; an accepted one leaves success
        // unless its own transaction has already failed a write.
        QVERIFY2(link.lastError() != -8, qPrintable(QString::number(i)));
        if (i % 64 == 0)
            QCoreApplication::processEvents();
    }
    QTRY_COMPARE_WITH_TIMEOUT(recorder.replies.size(), Transactions, DeliveryWaitMs);
    QTRY_VERIFY(link.isIdle());
    QCoreApplication::processEvents();
    QCOMPARE(recorder.replies.size(), Transactions);

    const QList<ScriptedPeer::Exchange> exchanges = peer.exchanges();
    QCOMPARE(exchanges.size(), Transactions);
    int lost = 0;
    int corrupt = 0;
    for (int i = 0; i < Transactions; ++i) {
        const LinkRecorder::Reply &got = recorder.replies.at(i);
        const QString where = QStringLiteral("transaction %1").arg(i);
        QVERIFY2(got.packet.value() == i, qPrintable(where));
        QVERIFY2(got.packet.command == i % 128, qPrintable(where));
        QVERIFY2(got.expected == 1, qPrintable(where));
        quint32 number = 1;
        quint8 linkError = K310DataPacket::ReplyIntact;
        switch (exchanges.at(i).step.reply) {
        case Reply::Answer:
        case Reply::Split:
            break;
        case Reply::Corrupt:
            linkError = K310DataPacket::ReplyCorrupt;
            ++corrupt;
            break;
        case Reply::Drop:
        case Reply::Truncate:
            number = 0;
            linkError = K310DataPacket::NoReply;
            ++lost;
            break;
        }
        QVERIFY2(got.number == number, qPrintable(where));
        QVERIFY2(got.packet.linkError == linkError, qPrintable(where));
    }
    const QStringList texts = recorder.texts();
    QCOMPARE(texts.count(QStringLiteral("Ошибка: неудалось принять ни одно сообщение")), lost);
    QCOMPARE(texts.count(QStringLiteral("Ошибка: получен пакет с ошибочными данными")), corrupt);
    QCOMPARE(texts.size(), lost + corrupt);
    QVERIFY(lost > 0 && corrupt > 0);
}

QTEST_GUILESS_MAIN(tst_K310LinkStress)
#include "tst_k310linkstress.moc"
