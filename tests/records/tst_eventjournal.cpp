#include "database.h"
#include "eventjournal.h"
#include "journalreader.h"
#include "temporarydatabase.h"
#include "transaction.h"

#include <QElapsedTimer>
#include <QSemaphore>
#include <QTest>

#include <memory>
#include <mutex>
#include <thread>

namespace {

constexpr int EventsPerThread = 400;
// record() only queues; a generous bound for a busy two-core machine.
constexpr int RecordBoundMs = 50;
constexpr int WriteStartedWaitMs = 10000;

QList<JournalEvent> everyEvent(const QString &fileName)
{
    Database database(fileName);
    JournalReader reader(database);
    const QStringList days = reader.days();
    return reader.events(days.value(0), days.value(days.size() - 1));
}

} // namespace

class tst_EventJournal : public QObject
{
    Q_OBJECT

private slots:
    void everyEventRecordedBeforeDestructionIsWrittenInOrder();
    void eventFieldsRoundTripAndAbsentOnesStayAbsent();
    void recordingDoesNotWaitForALockedFileAndNothingIsLost();
};

void tst_EventJournal::everyEventRecordedBeforeDestructionIsWrittenInOrder()
{
    TemporaryDatabase records;
    QSemaphore writeStarted;
    QSemaphore allRecorded;
    std::once_flag firstWrite;
    {
        EventJournal journal(records.path());
        // The first write holds on until every event is recorded, so all but the first are
        // recorded while it is under way.
        journal.setWriteStartedHook([&] {
            std::call_once(firstWrite, [&] {
                writeStarted.release();
                allRecorded.tryAcquire(1, WriteStartedWaitMs);
            });
        });
        journal.record(JournalEvent::ManualOrder, QStringLiteral("gui %1").arg(0), 7, 30);
        QVERIFY(writeStarted.tryAcquire(1, WriteStartedWaitMs));
        std::thread other([&] {
            for (int i = 0; i < EventsPerThread; ++i)
                journal.record(JournalEvent::DoserAlarm, QStringLiteral("worker %1").arg(i));
        });
        for (int i = 1; i < EventsPerThread; ++i)
            journal.record(JournalEvent::ManualOrder, QStringLiteral("gui %1").arg(i), 7, 30);
        other.join();
        journal.record(JournalEvent::ProgramExited);
        allRecorded.release();
    }

    QList<JournalEvent> events = everyEvent(records.path());
    QCOMPARE(events.size(), 2 * EventsPerThread + 1);
    QCOMPARE(events.first().kind, int(JournalEvent::ProgramExited));
    // Newest first: each thread's events come back in reverse order of recording.
    int nextGui = EventsPerThread - 1;
    int nextWorker = EventsPerThread - 1;
    for (const JournalEvent &event : events.mid(1)) {
        if (event.kind == JournalEvent::ManualOrder)
            QCOMPARE(event.text, QStringLiteral("gui %1").arg(nextGui--));
        else
            QCOMPARE(event.text, QStringLiteral("worker %1").arg(nextWorker--));
    }
    QCOMPARE(nextGui, -1);
    QCOMPARE(nextWorker, -1);
}

void tst_EventJournal::eventFieldsRoundTripAndAbsentOnesStayAbsent()
{
    TemporaryDatabase records;
    const QDateTime when(QDate(2024, 3, 1), QTime(8, 15, 42));
    {
        EventJournal journal(records.path());
        JournalEvent alarm;
        alarm.moment = when;
        alarm.kind = JournalEvent::DoserAlarm;
        alarm.butchId = 12;
        alarm.deviceId = 0;
        alarm.errorCode = 0;
        alarm.text = QStringLiteral("Ошибка, ГПУ \"не пустое\"; %1 '");
        journal.record(alarm);
        journal.record(JournalEvent::PortChanged, QStringLiteral("/dev/ttyS1"));
        QVERIFY(journal.flush());
        QCOMPARE(journal.pendingCount(), 0);
    }

    Database database(records.path());
    JournalReader reader(database);
    const QList<JournalEvent> ofButch = reader.eventsOfButch(12);
    QCOMPARE(ofButch.size(), 1);
    QCOMPARE(ofButch.at(0).moment, when);
    QCOMPARE(ofButch.at(0).kind, int(JournalEvent::DoserAlarm));
    QCOMPARE(ofButch.at(0).deviceId, 0);
    QCOMPARE(ofButch.at(0).errorCode, 0);
    QCOMPARE(ofButch.at(0).text, QStringLiteral("Ошибка, ГПУ \"не пустое\"; %1 '"));

    const QString today = QDate::currentDate().toString("dd.MM.yyyy");
    const QList<JournalEvent> port = reader.events(today, today, JournalEvent::PortChanged);
    QCOMPARE(port.size(), 1);
    QCOMPARE(port.at(0).butchId, JournalEvent::NoButch);
    QCOMPARE(port.at(0).deviceId, JournalEvent::NoDevice);
    QCOMPARE(port.at(0).errorCode, JournalEvent::NoErrorCode);
    QCOMPARE(records.select("SELECT typeof(idButch) || typeof(deviceId) || typeof(errorCode) "
                            "FROM event WHERE kind = ?1",
                            {QString::number(JournalEvent::PortChanged)}),
             QStringList {"nullnullnull"});
    QCOMPARE(reader.days(), QStringList({"01.03.2024", today}));
}

void tst_EventJournal::recordingDoesNotWaitForALockedFileAndNothingIsLost()
{
    TemporaryDatabase records;
    Database console(records.path());
    QVERIFY(console.createTables());
    QSemaphore writeStarted;
    auto journal = std::make_unique<EventJournal>(records.path());
    journal->record(JournalEvent::ProgramStarted);
    QVERIFY(journal->flush());
    journal->setWriteStartedHook([&writeStarted] { writeStarted.release(); });

    auto transaction = std::make_unique<Transaction>(console);
    QVERIFY(transaction->isOpen());
    journal->record(JournalEvent::ConnectionLost, QString::number(0));
    // The worker has taken the first event and waits for the file, so the others are recorded
    // while its write is under way, whatever the timing.
    QVERIFY(writeStarted.tryAcquire(1, WriteStartedWaitMs));
    QElapsedTimer clock;
    clock.start();
    for (int i = 1; i < 100; ++i)
        journal->record(JournalEvent::ConnectionLost, QString::number(i));
    QVERIFY2(clock.elapsed() < RecordBoundMs, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(!journal->flush(200));
    QVERIFY(journal->pendingCount() > 0);

    transaction->commit();
    QVERIFY(journal->flush());
    QCOMPARE(records.select("SELECT COUNT(*) FROM event"), QStringList {"101"});

    // Still locked at exit: the destructor waits for the file rather than dropping the events.
    journal->record(JournalEvent::ProgramExited);
    transaction = std::make_unique<Transaction>(console);
    std::thread releaser([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        transaction->commit();
    });
    journal.reset();
    releaser.join();
    QCOMPARE(records.select("SELECT COUNT(*) FROM event"), QStringList {"102"});
}

QTEST_GUILESS_MAIN(tst_EventJournal)
#include "tst_eventjournal.moc"
