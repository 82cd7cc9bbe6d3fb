#include "batchrun.h"
#include "database.h"
#include "dosersupervisor.h"
#include "fakebatchdoser.h"
#include "k310device.h"
#include "k310protocol.h"
#include "temporarydatabase.h"

#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

using namespace K310Protocol;

// Three dosers at 30, 31 and 32 without a line: what they ask is seen on their request
// signals, and their replies are handed to them as the link would.
struct Line
{
    Line()
    {
        for (int id : {30, 31, 32}) {
            const int position = supervisor.addDoser(id);
            requests << std::make_shared<QSignalSpy>(supervisor.device(position),
                                                     &K310Device::requestSignal);
            supervisor.switchOn(position, true);
        }
        for (const auto &spy : std::as_const(requests))
            spy->clear();
    }

    void answer(int position, quint8 state = 0, quint8 errorCode = 0)
    {
        K310DataPacket reply;
        reply.receiver = 0x80;
        reply.sender = quint8(supervisor.deviceId(position));
        reply.state = state;
        reply.errorCode = errorCode;
        supervisor.device(position)->replyPacketReceived(reply, 1, 1);
    }
    void silence(int position)
    {
        // What the link makes of a request no reply came to.
        K310DataPacket none;
        none.receiver = quint8(supervisor.deviceId(position));
        none.makeErrorReply(K310DataPacket::NoReply);
        supervisor.device(position)->replyPacketReceived(none, 0, 1);
    }
    // The commands asked of a doser, counters and parameters by their selector.
    QList<int> asked(int position) const
    {
        QList<int> commands;
        for (const QList<QVariant> &request : *requests.at(position))
            commands << request.first().value<K310DataPacket>().command;
        return commands;
    }

    ProcessImage image {0};
    DoserSupervisor supervisor {nullptr, nullptr, image};
    QList<std::shared_ptr<QSignalSpy>> requests;
};

} // namespace

class tst_DoserSupervisor : public QObject
{
    Q_OBJECT

private slots:
    void lostDoserIsToldOnceProbedAloneAndTestedWhenItAnswers();
    void alarmIsToldOnceAndItsEndClearsTheImage();
    void lostDoserStopsTheBatchOfAll();
    void removedDoserTakesItsImageAlong();
};

void tst_DoserSupervisor::lostDoserIsToldOnceProbedAloneAndTestedWhenItAnswers()
{
    Line line;
    QSignalSpy lost(&line.supervisor, &DoserSupervisor::doserLost);
    QSignalSpy regained(&line.supervisor, &DoserSupervisor::doserRegained);
    line.silence(1);
    line.silence(1);
    QCOMPARE(lost.size(), 1);
    QCOMPARE(lost.first().first().toInt(), 1);
    QVERIFY(line.supervisor.isLost(1));
    QVERIFY(line.supervisor.isOnline(0) && line.supervisor.isOnline(2));
    QCOMPARE(line.image.doser(1).state, DoserState::NoConnection);

    // The online dosers are polled in turn between batches; the lost one is only probed.
    line.supervisor.startTimers();
    QTRY_VERIFY_WITH_TIMEOUT(line.asked(1).size() >= 2 && line.asked(0).contains(Counters)
                                 && line.asked(2).contains(Counters),
                             5000);
    for (int command : line.asked(1))
        QCOMPARE(command, int(WeightNetto));
    // Nothing is sent to the lost doser on the batch's behalf either.
    line.requests.at(1)->clear();
    line.supervisor.fillIfOnline(1, 10, 2);
    line.supervisor.stopTimers();
    QVERIFY(!line.asked(1).contains(DownloadWeight));

    // Its answer brings it back and asks for its parameters again.
    line.requests.at(1)->clear();
    line.answer(1);
    QCOMPARE(regained.size(), 1);
    QVERIFY(line.supervisor.isOnline(1));
    QVERIFY(line.asked(1).contains(Parameters));
    QVERIFY(line.asked(1).contains(ReadDoseFaultPlus));
}

void tst_DoserSupervisor::alarmIsToldOnceAndItsEndClearsTheImage()
{
    Line line;
    QSignalSpy raised(&line.supervisor, &DoserSupervisor::alarmRaised);
    for (int i = 0; i < 3; ++i) {
        line.answer(2, AlarmFlag, 8);
        line.answer(0);
    }
    QCOMPARE(raised.size(), 1);
    QCOMPARE(raised.first().at(0).toInt(), 2);
    QCOMPARE(raised.first().at(2).toInt(), 8);
    QCOMPARE(line.image.doser(2).alarmCode, 8);
    QCOMPARE(line.image.doser(2).state, DoserState::Alarm);
    QCOMPARE(line.image.doser(0).alarmCode, 0);

    line.answer(2);
    QCOMPARE(line.image.doser(2).alarmCode, 0);
    QCOMPARE(line.image.doser(2).state, DoserState::Stopped);
    // A new alarm after its end is told again.
    line.answer(2, AlarmFlag, 8);
    QCOMPARE(raised.size(), 2);
}

void tst_DoserSupervisor::lostDoserStopsTheBatchOfAll()
{
    TemporaryDatabase files;
    Database records(files.path());
    records.createTables();
    Line line;
    FakeOperator person;
    person.answers.insert(QStringLiteral("Начать новую работу?"), BatchOperator::Answer::Yes);
    BatchRun batch(line.supervisor, person, records, line.image);
    line.supervisor.attach(&batch);
    for (int position = 0; position < 3; ++position) {
        batch.setScale(position, 2);
        batch.setWeighingLimit(position, 30);
        line.supervisor.device(position)->setProductName(QStringLiteral("Мука"));
        batch.setTaskWeight(position, 50);
    }
    batch.start();
    QCOMPARE(batch.state(), BatchState::Running);
    QCOMPARE(line.image.doser(2).batch.state, BatchState::Running);

    line.silence(2);
    QCOMPARE(batch.state(), BatchState::Stopped);
    // Every task stays open for the continue.
    for (int position = 0; position < 3; ++position)
        QVERIFY(batch.hasTask(position));
}

void tst_DoserSupervisor::removedDoserTakesItsImageAlong()
{
    Line line;
    line.silence(1);
    line.supervisor.removeDoser(1);
    QCOMPARE(line.supervisor.doserCount(), 2);
    QCOMPARE(line.image.doserCount(), 2);
    QCOMPARE(line.supervisor.deviceId(1), 32);
    QCOMPARE(line.image.doser(1).deviceId, 32);
    QCOMPARE(line.supervisor.positionOf(31), -1);
    // The last doser stays: a line without one is no line.
    line.supervisor.removeDoser(0);
    line.supervisor.removeDoser(0);
    QCOMPARE(line.supervisor.doserCount(), 1);
}

QTEST_GUILESS_MAIN(tst_DoserSupervisor)
#include "tst_dosersupervisor.moc"
