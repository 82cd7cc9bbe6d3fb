#include "butchrecords.h"

#include "database.h"
#include "lotnumbers.h"
#include "recordslog.h"
#include "transaction.h"

#include <QDateTime>
#include <QDebug>

#include <algorithm>

namespace {

QString today()
{
    return QDateTime::currentDateTime().toString(QStringLiteral("dd.MM.yyyy"));
}

QString now()
{
    return QDateTime::currentDateTime().toString(QStringLiteral("hh:mm"));
}

// A task is written open with a single blank as its end time.
const QString OpenTaskEndTime = QStringLiteral(" ");

} // namespace

ButchRecords::ButchRecords(Database &connection)
    : database(connection)
    , mark(connection.fileName())
{ }

quint64 ButchRecords::findOpenButch()
{
    database.execQuery(QStringLiteral(R"(SELECT idButch FROM butch WHERE endTime = "")"));
    const QueryResult &found = database.result();
    if (found.rows == 0) {
        qDebug("\nAll butches are finished");
        return 0;
    }
    const quint64 id = found.value(0, 0).toULongLong(nullptr, 10);
    qDebug("\nCurrent idButch is %llu", static_cast<unsigned long long>(id));
    return id;
}

quint64 ButchRecords::newButch(const QString &lot, const QString &lotPattern, qint64 scheduleEntry)
{
    Transaction transaction(database);
    // A batch without a lot leaves the column as an older file's rows have it.
    if (!transaction.isOpen()
        || !database.execQuery(
            QStringLiteral(
                R"(INSERT INTO butch (date, startTime, endTime, endDate, lot) values ("%1", "%2", "%3", "%4", %5);)"),
            {today(), now(), QString(), QString(), lot.isEmpty() ? QVariant() : QVariant(lot)}))
        return 0;
    qint64 id = database.lastInsertId();
    // Above the mark too: a file put back from a copy must not give a reported number again.
    const qint64 highest = std::max(highestIssuedId(), mark.ids().butch);
    if (highest < 0)
        return 0;
    // SQLite hands out the highest id in the table plus one, which is a deleted newest batch's.
    if (id <= highest) {
        if (!database.execQuery(QStringLiteral("UPDATE butch SET idButch = %1 WHERE idButch = %2"),
                                {highest + 1, id}))
            return 0;
        id = highest + 1;
    }
    if (!markIssued(id) || (!lotPattern.isEmpty() && !LotNumbers(database).take(lotPattern, lot))
        || (scheduleEntry > 0
            && !database.execQuery(
                QStringLiteral("INSERT INTO scheduleButch (idButch, idEntry) VALUES (%1, %2)"),
                {id, scheduleEntry}))
        || !transaction.commit())
        return 0;
    raiseMark();
    return quint64(id);
}

QString ButchRecords::lotOf(quint64 butchId)
{
    database.execQuery(QStringLiteral("SELECT lot FROM butch WHERE idButch = %1"), {butchId});
    return database.result().value(0, 0);
}

template<typename Change>
WriteResult ButchRecords::changeDay(qint64 butchId, qint64 taskId, Change change)
{
    Transaction transaction(database);
    if (!transaction.isOpen())
        return WriteResult::of(false, database);
    const bool summarized = summaries.areCurrent();
    if (!change())
        return WriteResult::of(false, database);
    const bool kept =
        !summarized
        || (taskId != 0 ? summaries.refreshTask(taskId) : summaries.refreshButch(butchId));
    return WriteResult::of(kept && transaction.commit(), database);
}

qint64 ButchRecords::newTask(quint64 butchId, int deviceId, const QString &taskWeight,
                             const QString &mustToBeDoneWeight, const QString &productName,
                             const QString &weightScale, int formulaSeq)
{
    Transaction transaction(database);
    if (!transaction.isOpen())
        return 0;
    const bool summarized = summaries.areCurrent();
    const qint64 highest = std::max(highestIssuedTaskId(), mark.ids().task);
    if (highest < 0)
        return 0;
    const qint64 id = highest + 1;
    // The row as it has always been written, then its id, in one transaction.
    if (!database.execQuery(
            QStringLiteral(
                R"(INSERT INTO task (idButch, deviceId, startTime, endTime, taskWeight, haveDoneWeight, mustToBeDoneWeight, productName, weightScale, startDate, endDate) values (%1, "%2", "%3", "%4", "%5", "%6", "%7", "%8", "%9", "%10", "%11");)"),
            {butchId, QString::number(deviceId), now(), OpenTaskEndTime, taskWeight, QString(),
             mustToBeDoneWeight, productName, weightScale, today(), QString()})
        || !database.execQuery(
            QStringLiteral("UPDATE task SET idTask = %1 WHERE rowid = last_insert_rowid()"), {id})
        || !markTaskIssued(id) || (formulaSeq >= 0 && !formulaParts.begin(butchId, formulaSeq, id))
        || (summarized && !summaries.refreshButch(qint64(butchId))) || !transaction.commit())
        return 0;
    return id;
}

WriteResult ButchRecords::acceptIssued(const HighWaterMark::Ids &ids)
{
    Transaction transaction(database);
    const qint64 butch = highestIssuedId();
    const qint64 task = highestIssuedTaskId();
    return WriteResult::of(transaction.isOpen() && butch >= 0 && task >= 0
                               && markIssued(std::max(butch, ids.butch))
                               && markTaskIssued(std::max(task, ids.task))
                               && LotNumbers(database).accept(ids.lots) && transaction.commit(),
                           database);
}

bool ButchRecords::hasDeliveredSoFar(quint64 butchId)
{
    database.execQuery(
        QStringLiteral(
            R"(SELECT haveDoneWeight FROM task WHERE idButch = %1 AND haveDoneWeight != "")"),
        {butchId});
    return database.result().rows > 0;
}

WriteResult ButchRecords::closeButch(quint64 butchId)
{
    if (!database.execQuery(
            QStringLiteral(R"(UPDATE butch SET endTime = "%1", endDate = "%2" WHERE idButch = %3)"),
            {now(), today(), butchId}))
        return WriteResult::of(false, database);
    // A closed batch lives in data.db itself, not only in its log.
    database.checkpoint(Database::Checkpoint::Passive);
    raiseMark();
    return {};
}

void ButchRecords::raiseMark()
{
    const HighWaterMark::Ids ids = HighWaterMark::inFile(database);
    if (!mark.raise(ids))
        qCWarning(lcRecords).noquote()
            << "the records' mark beside" << database.fileName() << "could not be written";
}

WriteResult ButchRecords::closeTasks(quint64 butchId)
{
    return WriteResult::of(
        database.execQuery(
            QStringLiteral(R"(UPDATE task SET endTime = "%1", endDate = "%2" WHERE idButch = %3)"),
            {now(), today(), butchId}),
        database);
}

WriteResult ButchRecords::deleteTasks(quint64 butchId)
{
    return changeDay(qint64(butchId), 0, [&] {
        return database.execQuery(QStringLiteral("DELETE FROM task WHERE idButch = %1"), {butchId});
    });
}

WriteResult ButchRecords::deleteButch(quint64 butchId)
{
    Transaction transaction(database);
    if (!transaction.isOpen())
        return WriteResult::of(false, database);
    // A batch written before the mark was kept may be the highest one yet.
    const qint64 highest = highestIssuedId();
    if (highest < 0 || (qint64(butchId) > highest && !markIssued(qint64(butchId))))
        return WriteResult::of(false, database);
    const bool summarized = summaries.areCurrent();
    const QString day = summarized ? summaries.dayOf(qint64(butchId)) : QString();
    // The journal is sealed and keeps its rows as written; its events still name the batch,
    // whose number is never given again.
    if (!doses.removeOfButch(qint64(butchId)) || !cycles.removeOfButch(qint64(butchId))
        || !formulaParts.removeOfButch(butchId)
        || !database.execQuery(QStringLiteral("DELETE FROM scheduleButch WHERE idButch = %1"),
                               {butchId})
        || !database.execQuery(QStringLiteral("DELETE FROM butch WHERE idButch = %1"), {butchId}))
        return WriteResult::of(false, database);
    if (summarized) {
        // Tasks left behind count to the day of tasks without a batch from now on.
        if (!summaries.refreshDay(day)
            || !database.execQuery(QStringLiteral("SELECT count(*) FROM task WHERE idButch = %1"),
                                   {butchId})
            || (database.result().value(0, 0) != QStringLiteral("0")
                && !summaries.refreshDay(QString())))
            return WriteResult::of(false, database);
    }
    return WriteResult::of(transaction.commit(), database);
}

WriteResult ButchRecords::resumeTask(qint64 taskId, const QString &taskWeight,
                                     const QString &mustToBeDoneWeight, const QString &productName)
{
    return changeDay(0, taskId, [&] {
        return database.execQuery(
            QStringLiteral(
                R"(UPDATE task SET taskWeight = "%1", mustToBeDoneWeight = "%2", productName = "%3" WHERE idTask = %4)"),
            {taskWeight, mustToBeDoneWeight, productName, taskId});
    });
}

WriteResult ButchRecords::countDischarge(qint64 taskId, const QString &haveDoneWeight,
                                         const QString &mustToBeDoneWeight, const DoseRecord &dose)
{
    DoseRecord ofTask = dose;
    ofTask.taskId = taskId;
    // In one transaction: outside it the dose row could be written without its count.
    return changeDay(0, taskId, [&] {
        return doses.add(ofTask)
               && database.execQuery(
                   QStringLiteral(
                       R"(UPDATE task SET haveDoneWeight = "%1", mustToBeDoneWeight = "%2" WHERE idTask = %3)"),
                   {haveDoneWeight, mustToBeDoneWeight, taskId});
    });
}

WriteResult ButchRecords::declineResidue(const DoseRecord &dose)
{
    // It counts to no figure, but the summaries note every dose they have seen.
    return changeDay(dose.butchId, 0, [&] { return doses.add(dose); });
}

WriteResult ButchRecords::finishTask(qint64 taskId, const QString &taskWeight,
                                     const QString &haveDoneWeight,
                                     const QString &mustToBeDoneWeight, const QString &productName,
                                     const QString &weightScale)
{
    return changeDay(0, taskId, [&] {
        return database.execQuery(
            QStringLiteral(
                R"(UPDATE task SET endTime = "%1", taskWeight = "%2", haveDoneWeight = "%3", mustToBeDoneWeight = "%4", productName = "%5", weightScale = "%6", endDate = "%7" WHERE idTask = %8)"),
            {now(), taskWeight, haveDoneWeight, mustToBeDoneWeight, productName, weightScale,
             today(), taskId});
    });
}

const QueryResult &ButchRecords::restoreTasks(quint64 butchId)
{
    database.execQuery(QStringLiteral("SELECT * FROM task WHERE idButch = %1 ORDER BY rowid"),
                       {butchId});
    return database.result();
}

qint64 ButchRecords::highestIssuedId()
{
    // Files from before the mark may still hold dose and event rows of a deleted batch.
    if (!database.execQuery(
            QStringLiteral("SELECT max(ifnull((SELECT max(idButch) FROM lastButchId), 0), "
                           "ifnull((SELECT max(idButch) FROM dose), 0), "
                           "ifnull((SELECT max(idButch) FROM event), 0))")))
        return -1;
    return database.result().value(0, 0).toLongLong();
}

bool ButchRecords::markIssued(qint64 butchId)
{
    return database.execQuery(
        QStringLiteral("DELETE FROM lastButchId; INSERT INTO lastButchId (idButch) values (%1);"),
        {butchId});
}

qint64 ButchRecords::highestIssuedTaskId()
{
    // The mark came with the ids: a file without it has its highest in its rows.
    if (!database.execQuery(
            QStringLiteral("SELECT max(ifnull((SELECT max(idTask) FROM lastTaskId), 0), "
                           "ifnull((SELECT max(idTask) FROM task), 0), "
                           "ifnull((SELECT max(idTask) FROM dose), 0))")))
        return -1;
    return database.result().value(0, 0).toLongLong();
}

bool ButchRecords::markTaskIssued(qint64 taskId)
{
    return database.execQuery(
        QStringLiteral("DELETE FROM lastTaskId; INSERT INTO lastTaskId (idTask) values (%1);"),
        {taskId});
}
