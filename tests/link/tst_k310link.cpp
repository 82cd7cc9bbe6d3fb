#include "doserreply.h"
#include "k310link.h"
#include "linkrecorder.h"
#include "ptypair.h"
#include "scriptedpeer.h"
#include "serialport.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QTest>

#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

using Step = ScriptedPeer::Step;
using Reply = ScriptedPeer::Reply;
using Clock = ScriptedPeer::Clock;

namespace {

constexpr quint8 DoserAddress = 30;
constexpr int ConsoleReplyTimeout = 150;
constexpr int ConsoleRate = 38400;
// Timing bounds are generous: the machine has two busy cores.
constexpr int Slack = 1000;
constexpr int ReplyWaitMs = 5000;
constexpr quint8 AlarmState = 0x80;

const QString NoReplyMessage = QStringLiteral("Ошибка: неудалось принять ни одно сообщение");
const QString CorruptReplyMessage = QStringLiteral("Ошибка: получен пакет с ошибочными данными");

// A dose weight of 150.00 for the doser: its low value byte carries a top bit.
K310DataPacket doseWeightRequest()
{
    return requestPacket(DoserAddress, 8, 1, 150.0, 2);
}

QByteArray frameOf(K310DataPacket packet)
{
    QByteArray frame(K310FrameLength, '\0');
    packet.toFrame(reinterpret_cast<quint8 *>(frame.data()));
    return frame;
}

qint64 msBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(to - from).count();
}

qint64 cpuTimeMs()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return qint64(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000
           + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000;
}

} // namespace

class tst_K310Link : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void openingEmitsAStampedMessageEndingInALineFeed();
    void messageStampFollowsTheClockItIsGiven();
    void answeredRequestIsWrittenOnceAndItsReplyDeliveredOnceFromTheWorker();
    void secondRequestWaitsForTheFirstAndRepliesKeepTheirOrder();
    void replyShapes_data();
    void replyShapes();
    void staleBytesBeforeTheRequestAreNeverTakenForTheReply();
    void lostDoserIsReportedAboutTheReplyTimeoutAfterTheWrite();
    void everyFrameOfAMultiFrameReplyIsDeliveredWithItsNumber();
    void failedOpenForgetsThePortAndLaterSendsReportItClosed();
    void failedWriteReportsTheCountThenALostReply();
    void sendRefusesAReplyItCouldNotHold();
    void portSettings_data();
    void portSettings();
    void workerStaysAliveAcrossSettingsAndEndsWithThePort();
    void sendWaitsAtMostFiveSecondsForAStuckTransaction();
    void slaveModeRefusesSendsAndReportsTheMode();
    void slaveModeHoldsAStagedRequestWithoutSpinningUntilMasterAgain();
    void closingWhileSlaveModeHoldsARequestDropsItAndEndsTheWorker();
    void destroyingTheLinkMidTransactionDeliversTheReplyAndLeavesNoThread();
    void closingReturnsPromptlyWhileASilentDoserIsAwaitedWithoutLimit();
    void reopenedLinkKeepsOneWorkerAcrossTransactions();
    void availablePortsLeavesOutThePortTheLinkHolds();
    void failedRequestsAreSentOnceMoreButNeverAFill();

private:
    // Opens the pty as the console does (port, reply time-out, rate), starts the peer and
    // forgets the messages that produced.
    void openLink();
    // Waits until the link is idle and every reply it emitted has been delivered.
    void settle();
    // Holds request 2 staged in slave mode behind a slow request 1.
    void holdASecondRequestInSlaveMode();
    // When the worker last emitted a reply, on its own thread.
    Clock::time_point lastReplyAt() const
    {
        return Clock::time_point(Clock::duration(replied.load()));
    }

    std::unique_ptr<PtyPair> pty;
    std::unique_ptr<ScriptedPeer> peer;
    std::unique_ptr<K310Link> link;
    std::unique_ptr<LinkRecorder> recorder;
    std::atomic<Clock::rep> replied {0};
};

void tst_K310Link::init()
{
    pty = std::make_unique<PtyPair>();
    QVERIFY(pty->isValid());
    peer = std::make_unique<ScriptedPeer>(*pty, K310FrameLength, doserReply);
    link = std::make_unique<K310Link>(QString());
    recorder = std::make_unique<LinkRecorder>(*link);
    connect(
        link.get(), &K310Link::replyPacketReceived, this,
        [this](const K310DataPacket &, quint32, quint32) {
            replied = Clock::now().time_since_epoch().count();
        },
        Qt::DirectConnection);
}

void tst_K310Link::cleanup()
{
    peer.reset();
    link.reset();
    recorder.reset();
    pty.reset();
    qunsetenv(SerialPort::ExtraPortsVariable);
}

void tst_K310Link::openLink()
{
    QCOMPARE(link->openPort(QString::fromStdString(pty->slavePath())), 1);
    QCOMPARE(link->setReplyTimeout(ConsoleReplyTimeout), 1);
    QCOMPARE(link->setRate(ConsoleRate), 1);
    QCOMPARE(recorder->messages.size(), 3);
    recorder->clear();
    peer->start();
}

void tst_K310Link::settle()
{
    QTRY_VERIFY_WITH_TIMEOUT(link->isIdle(), ReplyWaitMs);
    // The worker emits before it returns the link to idle, so everything is posted by now.
    QCoreApplication::processEvents();
}

void tst_K310Link::openingEmitsAStampedMessageEndingInALineFeed()
{
    const QString path = QString::fromStdString(pty->slavePath());
    const QDateTime before = QDateTime::currentDateTime();
    QCOMPARE(link->openPort(path), 1);
    const QDateTime after = QDateTime::currentDateTime();

    QCOMPARE(recorder->texts(), QStringList {QStringLiteral("Открыт порт ") + path});
    const QDateTime stamp = QDateTime::fromString(recorder->messages.at(0).left(25),
                                                  QStringLiteral("dd.MM.yyyy (hh:mm:ss:zzz)"));
    QVERIFY(stamp.isValid());
    QVERIFY(stamp >= before.addMSecs(-1) && stamp <= after);
    QCOMPARE(recorder->messages.at(0).mid(25, 1), QStringLiteral(" "));
    QCOMPARE(link->lastError(), qint8(1));
}

void tst_K310Link::messageStampFollowsTheClockItIsGiven()
{
    const QDateTime when(QDate(2026, 3, 6), QTime(14, 5, 9, 42));
    QCOMPARE(SerialSchedule::sysMessageText(when, QStringLiteral("Открыт порт COM3")),
             QStringLiteral("06.03.2026 (14:05:09:042) Открыт порт COM3\n"));
}

void tst_K310Link::answeredRequestIsWrittenOnceAndItsReplyDeliveredOnceFromTheWorker()
{
    openLink();
    std::atomic<int> emittedOnWorker {0};
    std::atomic<int> emittedElsewhere {0};
    connect(
        link.get(), &K310Link::replyPacketReceived, this,
        [&](const K310DataPacket &, quint32, quint32) {
            (QThread::currentThread() == link.get() ? emittedOnWorker : emittedElsewhere)++;
        },
        Qt::DirectConnection);

    QCOMPARE(link->sendCommandPacket(requestPacket(DoserAddress, 0, 0, 0)), qint8(1));
    QTRY_COMPARE_WITH_TIMEOUT(recorder->replies.size(), 1, ReplyWaitMs);
    settle();

    QCOMPARE(recorder->replies.size(), 1);
    const LinkRecorder::Reply reply = recorder->replies.at(0);
    QCOMPARE(reply.number, 1u);
    QCOMPARE(reply.expected, 1u);
    QCOMPARE(reply.packet.receiver, quint8(0x80));
    QCOMPARE(reply.packet.sender, DoserAddress);
    QCOMPARE(reply.packet.command, quint8(0));
    QCOMPARE(reply.packet.state, DoserWorkingState);
    QCOMPARE(reply.packet.linkError, quint8(K310DataPacket::ReplyIntact));
    QCOMPARE(emittedOnWorker.load(), 1);
    QCOMPARE(emittedElsewhere.load(), 0);

    const QList<ScriptedPeer::Exchange> exchanges = peer->exchanges();
    QCOMPARE(exchanges.size(), 1);
    QCOMPARE(exchanges.at(0).request.toHex(), QByteArray("9e000000000000000000004b"));
    QVERIFY(recorder->messages.isEmpty());
    QCOMPARE(link->lastError(), qint8(1));
}

void tst_K310Link::secondRequestWaitsForTheFirstAndRepliesKeepTheirOrder()
{
    openLink();
    // Well within the reply time-out.
    constexpr int FirstAnswerDelay = 100;
    peer->push(Step {Reply::Answer, FirstAnswerDelay});

    QElapsedTimer clock;
    clock.start();
    link->sendCommandPacket(requestPacket(DoserAddress, 0, 0, 1));
    const qint64 firstReturned = clock.elapsed();
    link->sendCommandPacket(requestPacket(DoserAddress, 0, 0, 2));
    const qint64 secondReturned = clock.elapsed();
    QVERIFY2(secondReturned - firstReturned >= FirstAnswerDelay / 2,
             qPrintable(QString::number(secondReturned - firstReturned)));

    QTRY_COMPARE_WITH_TIMEOUT(recorder->replies.size(), 2, ReplyWaitMs);
    settle();
    QCOMPARE(recorder->replies.size(), 2);
    for (int i = 0; i < 2; ++i) {
        QCOMPARE(recorder->replies.at(i).packet.value(), i + 1);
        QCOMPARE(recorder->replies.at(i).number, 1u);
        QCOMPARE(recorder->replies.at(i).packet.linkError, quint8(K310DataPacket::ReplyIntact));
    }
    const QList<ScriptedPeer::Exchange> exchanges = peer->exchanges();
    QCOMPARE(exchanges.size(), 2);
    QVERIFY(exchanges.at(1).received >= exchanges.at(0).answered);
}

void tst_K310Link::replyShapes_data()
{
    QTest::addColumn<int>("reply");
    QTest::addColumn<int>("splitAt");
    QTest::addColumn<int>("pauseMs");
    QTest::addColumn<int>("delayMs");
    QTest::addColumn<quint32>("number");
    QTest::addColumn<int>("linkError");
    QTest::addColumn<QStringList>("messages");

    const int answer = int(Reply::Answer);
    const int split = int(Reply::Split);
    const int truncate = int(Reply::Truncate);
    QTest::newRow("7 bytes then silence")
        << truncate << 7 << 0 << 0 << 0u << 2 << QStringList {NoReplyMessage};
    QTest::newRow("no reply") << int(Reply::Drop) << 0 << 0 << 0 << 0u << 2
                              << QStringList {NoReplyMessage};
    QTest::newRow("wrong check code")
        << int(Reply::Corrupt) << 0 << 0 << 0 << 1u << 1 << QStringList {CorruptReplyMessage};
    QTest::newRow("5 + 7 bytes close together") << split << 5 << 2 << 0 << 1u << 0 << QStringList();
    QTest::newRow("5 + 7 bytes with a quiet gap within the time-out")
        << split << 5 << 60 << 0 << 1u << 0 << QStringList();
    QTest::newRow("late answer within the time-out")
        << answer << 0 << 0 << 80 << 1u << 0 << QStringList();
}

void tst_K310Link::replyShapes()
{
    QFETCH(int, reply);
    QFETCH(int, splitAt);
    QFETCH(int, pauseMs);
    QFETCH(int, delayMs);
    QFETCH(quint32, number);
    QFETCH(int, linkError);
    QFETCH(QStringList, messages);

    openLink();
    peer->push(Step {Reply(reply), delayMs, splitAt, pauseMs});
    const K310DataPacket request = doseWeightRequest();
    link->sendCommandPacket(request);
    QTRY_COMPARE_WITH_TIMEOUT(recorder->replies.size(), 1, ReplyWaitMs);
    settle();

    QCOMPARE(recorder->replies.size(), 1);
    const LinkRecorder::Reply got = recorder->replies.at(0);
    QCOMPARE(got.number, number);
    QCOMPARE(got.expected, 1u);
    QCOMPARE(int(got.packet.linkError), linkError);
    QCOMPARE(got.packet.command, request.command);
    QCOMPARE(got.packet.subCommand, request.subCommand);
    QCOMPARE(got.packet.value(), request.value());
    QCOMPARE(got.packet.decimals, request.decimals);
    QCOMPARE(got.packet.sender, DoserAddress);
    QCOMPARE(got.packet.state, linkError == 0 ? DoserWorkingState : AlarmState);
    QCOMPARE(got.packet.errorCode, quint8(0));
    QCOMPARE(got.packet.receiver, quint8(linkError == 0 ? 0x80 : 0));
    QCOMPARE(recorder->texts(), messages);
}

void tst_K310Link::staleBytesBeforeTheRequestAreNeverTakenForTheReply()
{
    openLink();
    // A complete, valid reply with another value, as a late answer to an earlier request.
    const QByteArray stale = doserReply(frameOf(requestPacket(DoserAddress, 8, 1, 99)));
    QVERIFY(pty->write(stale + stale.left(5)));
    QTRY_COMPARE(pty->bytesWaiting(), int(stale.size()) + 5);

    link->sendCommandPacket(doseWeightRequest());
    QTRY_COMPARE_WITH_TIMEOUT(recorder->replies.size(), 1, ReplyWaitMs);
    settle();
    QCOMPARE(recorder->replies.size(), 1);
    QCOMPARE(recorder->replies.at(0).packet.linkError, quint8(K310DataPacket::ReplyIntact));
    QCOMPARE(recorder->replies.at(0).packet.value(), 150.0L);
}

void tst_K310Link::lostDoserIsReportedAboutTheReplyTimeoutAfterTheWrite()
{
    openLink();
    peer->push(Reply::Drop);

    link->sendCommandPacket(requestPacket(DoserAddress, 0, 0, 0));
    QTRY_COMPARE_WITH_TIMEOUT(recorder->replies.size(), 1, ReplyWaitMs);
    QCOMPARE(recorder->replies.at(0).number, 0u);

    const Clock::time_point written = peer->exchanges().at(0).received;
    const qint64 elapsed = msBetween(written, lastReplyAt());
    // Reported after 12 + 150 ms of silence; the request reached the peer just after the write.
    QVERIFY2(elapsed >= ConsoleReplyTimeout - 50, qPrintable(QString::number(elapsed)));
    QVERIFY2(elapsed <= K310FrameLength + ConsoleReplyTimeout + Slack,
             qPrintable(QString::number(elapsed)));
}

void tst_K310Link::failedRequestsAreSentOnceMoreButNeverAFill()
{
    openLink();
    link->setRepeatReads(true);
    // A lost and a corrupt reply to a read are made good by the second asking.
    peer->push(Reply::Drop);
    peer->push(Reply::Answer);
    peer->push(Reply::Corrupt);
    peer->push(Reply::Answer);
    link->sendCommandPacket(requestPacket(DoserAddress, 0, 0, 0));
    link->sendCommandPacket(requestPacket(DoserAddress, 24, 20, 0));
    QTRY_COMPARE_WITH_TIMEOUT(recorder->replies.size(), 2, ReplyWaitMs);
    settle();
    QCOMPARE(peer->requestCount(), 4);
    for (const LinkRecorder::Reply &reply : std::as_const(recorder->replies)) {
        QCOMPARE(reply.number, 1u);
        QCOMPARE(reply.packet.linkError, K310DataPacket::ReplyIntact);
    }
    QCOMPARE(recorder->replies.at(1).packet.command, quint8(24));

    // A fill whose reply is lost is never sent again: the doser may be filling already.
    recorder->replies.clear();
    peer->push(Reply::Drop);
    link->sendCommandPacket(requestPacket(DoserAddress, 14, 0, 12.5, 2));
    QTRY_COMPARE_WITH_TIMEOUT(recorder->replies.size(), 1, ReplyWaitMs);
    settle();
    QCOMPARE(peer->requestCount(), 5);
    QCOMPARE(recorder->replies.at(0).number, 0u);

    // A doser that answers neither asking is lost after both time-outs, well within 0.35 s.
    recorder->replies.clear();
    peer->push(Reply::Drop);
    peer->push(Reply::Drop);
    link->sendCommandPacket(requestPacket(DoserAddress, 0, 0, 0));
    QTRY_COMPARE_WITH_TIMEOUT(recorder->replies.size(), 1, ReplyWaitMs);
    QCOMPARE(recorder->replies.at(0).number, 0u);
    const Clock::time_point written = peer->exchanges().at(5).received;
    const qint64 elapsed = msBetween(written, lastReplyAt());
    QVERIFY2(elapsed >= 2 * ConsoleReplyTimeout - 50, qPrintable(QString::number(elapsed)));
    QVERIFY2(elapsed <= 350 + Slack, qPrintable(QString::number(elapsed)));

    // Every asking is counted, and the counts still add up.
    const LinkCounters counted = link->counters();
    QCOMPARE(counted.repeated, quint64(3));
    QCOMPARE(counted.sent, quint64(peer->requestCount()));
    QCOMPARE(counted.sent, counted.answered + counted.notAnswered + counted.corrupt);

    // A read answered with fewer frames than it asks for is asked again, though each came
    // intact.
    recorder->replies.clear();
    const int asked = peer->requestCount();
    const QByteArray request = frameOf(requestPacket(DoserAddress, 44, 0, 0));
    QCOMPARE(link->sendFrame(quint16(request.size()),
                             reinterpret_cast<const quint8 *>(request.constData()), K310FrameLength,
                             2),
             1);
    QTRY_COMPARE_WITH_TIMEOUT(recorder->replies.size(), 1, ReplyWaitMs);
    settle();
    QCOMPARE(peer->requestCount(), asked + 2);
    QCOMPARE(link->counters().repeated, counted.repeated + 1);
}

void tst_K310Link::everyFrameOfAMultiFrameReplyIsDeliveredWithItsNumber()
{
    // Three frames answer one request; the middle one arrives damaged.
    peer = std::make_unique<ScriptedPeer>(*pty, K310FrameLength, [](const QByteArray &request) {
        const QByteArray good = doserReply(request);
        QByteArray damaged = good;
        damaged[6] = char(damaged[6] ^ 0x01);
        return good + damaged + good;
    });
    openLink();
    const QByteArray request = frameOf(requestPacket(DoserAddress, 44, 1, 7));

    QCOMPARE(link->sendFrame(quint16(request.size()),
                             reinterpret_cast<const quint8 *>(request.constData()), K310FrameLength,
                             3),
             1);
    QTRY_COMPARE_WITH_TIMEOUT(recorder->replies.size(), 3, ReplyWaitMs);
    settle();
    QCOMPARE(recorder->replies.size(), 3);
    const quint8 linkErrors[] = {0, 1, 0};
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(recorder->replies.at(i).number, quint32(i + 1));
        QCOMPARE(recorder->replies.at(i).expected, 3u);
        QCOMPARE(recorder->replies.at(i).packet.linkError, linkErrors[i]);
        QCOMPARE(recorder->replies.at(i).packet.value(), 7.0L);
    }
    QCOMPARE(recorder->texts(), QStringList {CorruptReplyMessage});
}

void tst_K310Link::failedOpenForgetsThePortAndLaterSendsReportItClosed()
{
    const QString missing = QStringLiteral("/dev/k310-no-such-port");
    QCOMPARE(link->openPort(missing), -11);
    QCOMPARE(link->lastError(), qint8(-11));

    QCOMPARE(link->sendCommandPacket(doseWeightRequest()), qint8(1));
    QCOMPARE(link->lastError(), qint8(-3));
    QCOMPARE(link->errorString(link->lastError()), QStringLiteral("COM port closed"));
    settle();
    QCOMPARE(recorder->texts(),
             QStringList({QStringLiteral("Ошибка: невозможно открыть порт ") + missing,
                          QStringLiteral("Ошибка: порт  закрыт")}));
    QVERIFY(recorder->replies.isEmpty());
    QVERIFY(!link->isRunning());
}

void tst_K310Link::failedWriteReportsTheCountThenALostReply()
{
    QCOMPARE(link->openPort(QString::fromStdString(pty->slavePath())), 1);
    recorder->clear();
    pty->hangUp();

    link->sendCommandPacket(doseWeightRequest());
    QTRY_COMPARE_WITH_TIMEOUT(recorder->replies.size(), 1, ReplyWaitMs);
    settle();
    QCOMPARE(recorder->replies.size(), 1);
    QCOMPARE(recorder->replies.at(0).number, 0u);
    QCOMPARE(recorder->replies.at(0).packet.linkError, quint8(K310DataPacket::NoReply));
    QCOMPARE(recorder->texts(),
             QStringList(
                 {QStringLiteral("Ошибка: послано -1 байт (корректно 12 байт)"), NoReplyMessage}));
    QCOMPARE(link->lastError(), qint8(-5));
}

void tst_K310Link::sendRefusesAReplyItCouldNotHold()
{
    openLink();
    const QByteArray request = frameOf(doseWeightRequest());
    const auto *bytes = reinterpret_cast<const quint8 *>(request.constData());

    QCOMPARE(link->sendFrame(K310FrameLength, bytes, 0, 1), -5);
    QCOMPARE(link->sendFrame(K310FrameLength, bytes, K310FrameLength, 0x80000000u), -5);
    QCOMPARE(link->sendFrame(K310FrameLength, nullptr, K310FrameLength, 1), -5);
    settle();
    QVERIFY(recorder->replies.isEmpty());
    QVERIFY(!peer->waitForExchanges(1, 50));
}

void tst_K310Link::portSettings_data()
{
    QTest::addColumn<QString>("setting");
    QTest::addColumn<int>("value");
    QTest::addColumn<bool>("open");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("message");

    const QString rate = QStringLiteral("rate");
    const QString reply = QStringLiteral("reply");
    const QString write = QStringLiteral("write");
    QTest::newRow("rate") << rate << 38400 << true << 1
                          << QStringLiteral("Установлена скорость 38400 бит/с");
    QTest::newRow("unsupported rate")
        << rate << 12345 << true << -4
        << QStringLiteral("Ошибка: невозможно установиьт скорость 12345 бит/с");
    QTest::newRow("rate on a closed port")
        << rate << 9600 << false << -4
        << QStringLiteral("Ошибка: невозможно установиьт скорость 9600 бит/с");
    QTest::newRow("reply time-out") << reply << 150 << true << 1
                                    << QStringLiteral("Установлено предельное время ожидания "
                                                      "ответного сообщения (чтение из COM порта) "
                                                      "150 мс");
    QTest::newRow("reply time-out on a closed port")
        << reply << 150 << false << -10
        << QStringLiteral("Ошибка: невозможно установиьт предельное время ожидания ответного "
                          "сообщения (чтение из COM порта) 150 мс");
    QTest::newRow("write time-out")
        << write << 100 << true << 1
        << QStringLiteral("Установлено предельное время передачи сообщения (запись в COM порт) "
                          "100 мс");
    QTest::newRow("negative write time-out")
        << write << -1 << true << -9
        << QStringLiteral("Ошибка: невозможно установиьт предельное время передачи сообщения "
                          "(запись в COM порт) -1 мс");
}

void tst_K310Link::portSettings()
{
    QFETCH(QString, setting);
    QFETCH(int, value);
    QFETCH(bool, open);
    QFETCH(int, result);
    QFETCH(QString, message);

    if (open) {
        QCOMPARE(link->openPort(QString::fromStdString(pty->slavePath())), 1);
        recorder->clear();
    }
    int got = 0;
    if (setting == QLatin1String("rate"))
        got = link->setRate(value);
    else if (setting == QLatin1String("reply"))
        got = link->setReplyTimeout(value);
    else
        got = link->setWriteTimeout(value);
    QCOMPARE(got, result);
    QCOMPARE(link->lastError(), qint8(result));
    QCOMPARE(recorder->texts(), QStringList {message});
}

void tst_K310Link::workerStaysAliveAcrossSettingsAndEndsWithThePort()
{
    openLink();
    link->sendCommandPacket(requestPacket(DoserAddress, 0, 0, 1));
    QTRY_COMPARE_WITH_TIMEOUT(recorder->replies.size(), 1, ReplyWaitMs);
    settle();
    QVERIFY(link->isRunning());

    QCOMPARE(link->setRate(19200), 1);
    QVERIFY(link->isRunning());
    link->sendCommandPacket(requestPacket(DoserAddress, 0, 0, 2));
    QTRY_COMPARE_WITH_TIMEOUT(recorder->replies.size(), 2, ReplyWaitMs);
    QCOMPARE(recorder->replies.at(1).packet.linkError, quint8(K310DataPacket::ReplyIntact));

    const QString path = QString::fromStdString(pty->slavePath());
    QCOMPARE(link->closePort(), 1);
    QVERIFY(!link->isRunning());
    QCOMPARE(link->closePort(), -3);
    recorder->clear();
    link->sendCommandPacket(requestPacket(DoserAddress, 0, 0, 3));
    settle();
    QCOMPARE(recorder->texts(), QStringList {QStringLiteral("Ошибка: порт %1 закрыт").arg(path)});
    QVERIFY(recorder->replies.isEmpty());
    QVERIFY(!link->isRunning());

    QCOMPARE(link->openPort(path), 1);
    link->sendCommandPacket(requestPacket(DoserAddress, 0, 0, 4));
    QTRY_COMPARE_WITH_TIMEOUT(recorder->replies.size(), 1, ReplyWaitMs);
    QCOMPARE(recorder->replies.at(0).packet.value(), 4.0L);
    QCOMPARE(peer->requestCount(), 3);
}

void tst_K310Link::sendWaitsAtMostFiveSecondsForAStuckTransaction()
{
    openLink();
    // A reply time-out beyond the send's wait keeps the first transaction busy past it.
    const int longTimeout = SerialSchedule::IdleWaitMs + 600;
    QCOMPARE(link->setReplyTimeout(longTimeout), 1);
    recorder->clear();
    peer->push(Reply::Drop);
    link->sendCommandPacket(requestPacket(DoserAddress, 0, 0, 1));

    QTest::ignoreMessage(QtDebugMsg, "Ошибка: таймаут записи в порт");
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(link->sendCommandPacket(requestPacket(DoserAddress, 0, 0, 2)), qint8(1));
    const qint64 waited = clock.elapsed();
    QCOMPARE(link->lastError(), qint8(-8));
    QVERIFY2(waited >= SerialSchedule::IdleWaitMs - 50 && waited < longTimeout,
             qPrintable(QString::number(waited)));
    QCOMPARE(recorder->texts(),
             QStringList {QStringLiteral("Ошибка: таймаут записи в порт 5000 мс")});

    QTRY_COMPARE_WITH_TIMEOUT(recorder->replies.size(), 1, longTimeout);
    settle();
    QCOMPARE(recorder->replies.size(), 1);
    QCOMPARE(recorder->replies.at(0).packet.value(), 1.0L);
    QCOMPARE(peer->requestCount(), 1);
}

void tst_K310Link::slaveModeRefusesSendsAndReportsTheMode()
{
    openLink();
    QVERIFY(link->isMaster());
    link->setSlaveMode(true);
    QVERIFY(!link->isMaster());

    QCOMPARE(link->sendCommandPacket(doseWeightRequest()), qint8(0));
    QVERIFY(recorder->messages.isEmpty());
    const QByteArray request = frameOf(doseWeightRequest());
    QCOMPARE(link->sendFrame(K310FrameLength, reinterpret_cast<const quint8 *>(request.constData()),
                             K310FrameLength, 1),
             -5);
    QCOMPARE(link->lastError(), qint8(-5));
    QCOMPARE(recorder->texts(),
             QStringList {QStringLiteral("Ошибка: невозможно отослать команду, режим SLAVE")});

    link->setSlaveMode(false);
    QCOMPARE(recorder->masterFlags, QList<bool>({false, true}));
    QCOMPARE(link->sendCommandPacket(doseWeightRequest()), qint8(1));
    QTRY_COMPARE_WITH_TIMEOUT(recorder->replies.size(), 1, ReplyWaitMs);
    QCOMPARE(peer->requestCount(), 1);
}

void tst_K310Link::holdASecondRequestInSlaveMode()
{
    openLink();
    QCOMPARE(link->setReplyTimeout(2000), 1);
    recorder->clear();
    constexpr int FirstAnswerDelay = 300;
    peer->push(Step {Reply::Answer, FirstAnswerDelay});
    link->sendCommandPacket(requestPacket(DoserAddress, 0, 0, 1));

    // Slave mode comes on after the second send passed its check, while it waits for the first.
    std::thread switcher([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(FirstAnswerDelay / 3));
        link->setSlaveMode(true);
    });
    QCOMPARE(link->sendCommandPacket(requestPacket(DoserAddress, 0, 0, 2)), qint8(1));
    switcher.join();
    QCOMPARE(link->lastError(), qint8(1));
    QTRY_COMPARE_WITH_TIMEOUT(recorder->replies.size(), 1, ReplyWaitMs);
    QVERIFY(!link->isIdle());
}

void tst_K310Link::slaveModeHoldsAStagedRequestWithoutSpinningUntilMasterAgain()
{
    holdASecondRequestInSlaveMode();
    constexpr int HoldMs = 400;
    const qint64 cpuBefore = cpuTimeMs();
    QVERIFY(!peer->waitForExchanges(2, HoldMs));
    const qint64 cpuUsed = cpuTimeMs() - cpuBefore;
    QVERIFY2(cpuUsed < HoldMs / 2, qPrintable(QString::number(cpuUsed)));
    QVERIFY(!link->isIdle());

    link->setSlaveMode(false);
    QVERIFY(peer->waitForExchanges(2, ReplyWaitMs));
    QTRY_COMPARE_WITH_TIMEOUT(recorder->replies.size(), 2, ReplyWaitMs);
    settle();
    QCOMPARE(recorder->replies.at(1).packet.value(), 2.0L);
    QCOMPARE(recorder->replies.at(1).packet.linkError, quint8(K310DataPacket::ReplyIntact));
    QCOMPARE(recorder->masterFlags, QList<bool>({false, true}));
}

void tst_K310Link::closingWhileSlaveModeHoldsARequestDropsItAndEndsTheWorker()
{
    holdASecondRequestInSlaveMode();
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(link->closePort(), 1);
    QVERIFY2(clock.elapsed() < SerialSchedule::IdleWaitMs + Slack,
             qPrintable(QString::number(clock.elapsed())));
    QVERIFY(!link->isRunning());
    QVERIFY(link->isIdle());
    settle();
    QCOMPARE(recorder->replies.size(), 1);
    QCOMPARE(peer->requestCount(), 1);
}

void tst_K310Link::destroyingTheLinkMidTransactionDeliversTheReplyAndLeavesNoThread()
{
    openLink();
    peer->push(Step {Reply::Answer, 100});
    link->sendCommandPacket(requestPacket(DoserAddress, 0, 0, 5));

    QTest::ignoreMessage(QtDebugMsg, "~K310Link()");
    QTest::ignoreMessage(QtDebugMsg, "~SerialSchedule()");
    QElapsedTimer clock;
    clock.start();
    link.reset();
    QVERIFY2(clock.elapsed() < ConsoleReplyTimeout + Slack,
             qPrintable(QString::number(clock.elapsed())));
    QCoreApplication::processEvents();
    QCOMPARE(recorder->replies.size(), 1);
    QCOMPARE(recorder->replies.at(0).number, 1u);
    QCOMPARE(recorder->replies.at(0).packet.value(), 5.0L);
}

void tst_K310Link::closingReturnsPromptlyWhileASilentDoserIsAwaitedWithoutLimit()
{
    openLink();
    QCOMPARE(link->setReplyTimeout(0), 1);
    recorder->clear();
    peer->push(Reply::Drop);
    link->sendCommandPacket(requestPacket(DoserAddress, 0, 0, 1));
    QVERIFY(peer->waitForExchanges(1, ReplyWaitMs));

    QElapsedTimer clock;
    clock.start();
    QCOMPARE(link->closePort(), 1);
    QVERIFY2(clock.elapsed() < Slack, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(!link->isRunning());
    settle();
    QCOMPARE(recorder->replies.size(), 1);
    QCOMPARE(recorder->replies.at(0).number, 0u);

    // Reopened, the link waits for replies again: the cancel ended with the close.
    const QString path = QString::fromStdString(pty->slavePath());
    QCOMPARE(link->openPort(path), 1);
    link->sendCommandPacket(requestPacket(DoserAddress, 0, 0, 2));
    QTRY_COMPARE_WITH_TIMEOUT(recorder->replies.size(), 2, ReplyWaitMs);
    QCOMPARE(recorder->replies.at(1).packet.value(), 2.0L);
    QVERIFY(peer->requestCount() == 2);

    // Destroying the link is closing it too.
    QCOMPARE(link->setReplyTimeout(0), 1);
    peer->push(Reply::Drop);
    link->sendCommandPacket(requestPacket(DoserAddress, 0, 0, 3));
    QVERIFY(peer->waitForExchanges(3, ReplyWaitMs));
    QTest::ignoreMessage(QtDebugMsg, "~K310Link()");
    QTest::ignoreMessage(QtDebugMsg, "~SerialSchedule()");
    clock.restart();
    link.reset();
    QVERIFY2(clock.elapsed() < Slack, qPrintable(QString::number(clock.elapsed())));
}

void tst_K310Link::reopenedLinkKeepsOneWorkerAcrossTransactions()
{
    openLink();
    const QString path = QString::fromStdString(pty->slavePath());
    std::atomic<int> starts {0};
    connect(
        link.get(), &QThread::started, this, [&starts] { ++starts; }, Qt::DirectConnection);

    constexpr int Openings = 3;
    constexpr int Transactions = 4;
    for (int opening = 0; opening < Openings; ++opening) {
        if (opening > 0) {
            QCOMPARE(link->closePort(), 1);
            QCOMPARE(link->openPort(path), 1);
        }
        for (int i = 0; i < Transactions; ++i) {
            link->sendCommandPacket(requestPacket(DoserAddress, 0, 0, i));
            settle();
            QVERIFY(link->isRunning());
        }
    }
    QTRY_COMPARE_WITH_TIMEOUT(recorder->replies.size(), Openings * Transactions, ReplyWaitMs);
    QCOMPARE(starts.load(), Openings);
}

void tst_K310Link::availablePortsLeavesOutThePortTheLinkHolds()
{
    const QString path = QString::fromStdString(pty->slavePath());
    qputenv(SerialPort::ExtraPortsVariable, pty->slavePath().c_str());
    QVERIFY(SerialSchedule::availablePorts().contains(path));
    QCOMPARE(link->openPort(path), 1);
    QVERIFY(!SerialSchedule::availablePorts().contains(path));
}

QTEST_GUILESS_MAIN(tst_K310Link)
#include "tst_k310link.moc"
