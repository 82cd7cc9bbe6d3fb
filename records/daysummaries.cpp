#include "daysummaries.h"

#include "database.h"
#include "recordslog.h"
#include "transaction.h"

#include <QElapsedTimer>

namespace {

const QString SummaryTable = QStringLiteral("daySummary");
const QString MarkTable = QStringLiteral("daySummaryMark");

// In the order of the statistics' grouping, so that a range of years is read without sorting.
// Names and units are never NULL here: a NULL counts as the empty text.
const QString CreateStatement = QStringLiteral(
    "CREATE TABLE daySummary (productName TEXT NOT NULL, weightScale TEXT NOT NULL, date TEXT "
    "NOT NULL, tasks INTEGER, delivered REAL, accuracy BLOB, firstButch INTEGER, lastButch "
    "INTEGER, PRIMARY KEY (productName, weightScale, date)) WITHOUT ROWID; "
    "CREATE INDEX daySummaryDate ON daySummary (date); "
    "CREATE INDEX daySummaryButches ON daySummary (firstButch, lastButch); "
    // The highest dose and task the summaries have seen, in one row.
    "CREATE TABLE daySummaryMark (lastDose INTEGER, lastTask INTEGER); "
    "INSERT INTO daySummaryMark VALUES (NULL, NULL);");
const QString RemoveStatement =
    QStringLiteral("DROP TABLE IF EXISTS daySummary; DROP TABLE IF EXISTS daySummaryMark;");
const QString ExistStatement = QStringLiteral(
    "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name IN (\"%1\", \"%2\")");
const QString CurrentStatement =
    QStringLiteral("SELECT count(*) FROM daySummaryMark WHERE lastDose = ifnull((SELECT "
                   "max(idDose) FROM dose), 0) AND lastTask = ifnull((SELECT max(rowid) FROM "
                   "task), 0)");
// Updated, not inserted, so the last row a write inserted stays its own record's.
const QString NoteStatement = QStringLiteral(
    "UPDATE daySummaryMark SET lastDose = ifnull((SELECT max(idDose) FROM dose), 0), "
    "lastTask = ifnull((SELECT max(rowid) FROM task), 0)");
const QString DaysStatement =
    QStringLiteral("SELECT ifnull(date, '') FROM butch GROUP BY date UNION SELECT ''");
const QString DayOfStatement =
    QStringLiteral("SELECT ifnull(date, '') FROM butch WHERE idButch = %1");
const QString ButchOfTaskStatement = QStringLiteral("SELECT idButch FROM task WHERE idTask = %1");

// A dose belongs to the product of its task (two tasks of a batch on one doser stay apart by
// their id); doses are gathered per task first, so that only the tasks are looked up, not every
// dose.
QString dosesOfTasks(const char *butches)
{
    return QStringLiteral("(SELECT idButch, deviceId, idTask, weightScale, "
                          "doseAccuracy(dischargedWeight, orderedWeight, decimals, weightScale, "
                          "doseFaultPlus, doseFaultMinus) AS figures FROM dose WHERE ")
           + QLatin1String(butches)
           + QStringLiteral(" AND counted = 1 AND orderedWeight != '' GROUP BY idButch, deviceId, "
                            "weightScale, idTask) AS dose JOIN task ON task.idButch = "
                            "dose.idButch AND task.deviceId = dose.deviceId AND task.idTask IS "
                            "dose.idTask");
}

// A day's batches; the day "" holds those without a date and the tasks whose batch is gone.
const QString SummarizeDayStatement =
    QStringLiteral(
        "DELETE FROM daySummary WHERE date = \"%1\"; "
        "WITH batches (idButch) AS (SELECT idButch FROM butch WHERE date = \"%1\" "
        "UNION SELECT idButch FROM butch WHERE \"%1\" = '' AND date IS NULL "
        "UNION SELECT idButch FROM task WHERE \"%1\" = '' AND idButch NOT IN (SELECT idButch FROM "
        "butch)), "
        "parts AS (SELECT ifnull(productName, '') AS product, ifnull(weightScale, '') AS unit, "
        "count(*) AS tasks, TOTAL(decimalValue(haveDoneWeight)) AS delivered, NULL AS accuracy, "
        "min(idButch) AS firstButch, max(idButch) AS lastButch FROM task "
        "WHERE idButch IN (SELECT idButch FROM batches) GROUP BY 1, 2 "
        "UNION ALL SELECT ifnull(task.productName, ''), ifnull(dose.weightScale, ''), 0, 0.0, "
        "dose.figures, dose.idButch, dose.idButch FROM ")
    + dosesOfTasks("idButch IN (SELECT idButch FROM batches)")
    + QStringLiteral(
        ") INSERT INTO daySummary (productName, weightScale, date, tasks, delivered, accuracy, "
        "firstButch, lastButch) SELECT product, unit, \"%1\", SUM(tasks), TOTAL(delivered), "
        "mergedAccuracy(accuracy), min(firstButch), max(lastButch) FROM parts GROUP BY product, "
        "unit;");

// A day's row of a product whose batches lie partly inside the range and partly outside: days
// numbered out of their order (a clock set back).
const QString CutDayStatement =
    QStringLiteral("SELECT count(*) FROM daySummary WHERE firstButch <= %2 AND lastButch >= %1 AND "
                   "(firstButch < %1 OR lastButch > %2)");
// The table's own order, not the index on the batches: a range of years is most of the table.
const QString SummaryTotalsStatement = QStringLiteral(
    "SELECT productName, weightScale, SUM(tasks), TOTAL(delivered), "
    "accuracyText(mergedAccuracy(accuracy)) FROM daySummary WHERE +firstButch >= %1 AND "
    "+lastButch <= %2 GROUP BY productName, weightScale ORDER BY productName, weightScale");

const QString RowTotalsStatement =
    QStringLiteral(
        "SELECT product, unit, SUM(tasks), TOTAL(delivered), "
        "accuracyText(mergedAccuracy(accuracy)) "
        "FROM (SELECT productName AS product, weightScale AS unit, count(*) AS tasks, "
        "TOTAL(decimalValue(haveDoneWeight)) AS delivered, NULL AS accuracy FROM task "
        "WHERE idButch >= %1 AND idButch <= %2 GROUP BY productName, weightScale "
        "UNION ALL SELECT task.productName, dose.weightScale, 0, 0.0, dose.figures FROM ")
    + dosesOfTasks("idButch >= %1 AND idButch <= %2")
    + QStringLiteral(") GROUP BY product, unit ORDER BY product, unit");
// A file from before the doses were linked to their tasks has the weights alone.
const QString RowWeightsStatement = QStringLiteral(
    "SELECT productName, weightScale, count(*), TOTAL(decimalValue(haveDoneWeight)), NULL FROM "
    "task WHERE idButch >= %1 AND idButch <= %2 GROUP BY productName, weightScale "
    "ORDER BY productName, weightScale");

namespace TotalRow {
enum TotalColumn { ProductColumn, UnitColumn, TasksColumn, DeliveredColumn, AccuracyColumn };
} // namespace TotalRow

constexpr int PercentSteps = 100;

} // namespace

DaySummaries::DaySummaries(Database &database)
    : database(database)
{ }

QStringList DaySummaries::tables()
{
    return {SummaryTable, MarkTable};
}

bool DaySummaries::exist()
{
    return database.execQuery(ExistStatement, {SummaryTable, MarkTable})
           && database.result().value(0, 0).toInt() == 2;
}

bool DaySummaries::areCurrent()
{
    return exist() && database.execQuery(CurrentStatement)
           && database.result().value(0, 0).toInt() == 1;
}

bool DaySummaries::build(const Progress &progress)
{
    if (areCurrent())
        return true;
    QElapsedTimer clock;
    clock.start();
    Transaction transaction(database);
    if (!transaction.isOpen())
        return false;
    // Another connection may have built them while this one waited for the file.
    if (areCurrent())
        return true;
    if (!database.execQuery(RemoveStatement) || !database.execQuery(CreateStatement)
        || !database.execQuery(DaysStatement))
        return false;
    const QStringList days = database.result().values;
    int shownPercent = -1;
    for (int i = 0; i < days.size(); ++i) {
        if (!summarizeDay(days.at(i)))
            return false;
        const int percent = int(qint64(i + 1) * PercentSteps / days.size());
        if (progress && percent != shownPercent) {
            shownPercent = percent;
            progress(i + 1, int(days.size()));
        }
    }
    if (!noteCurrent() || !transaction.commit())
        return false;
    qCInfo(lcRecords) << "summaries of" << days.size() << "days built in" << clock.elapsed()
                      << "ms";
    return true;
}

bool DaySummaries::remove()
{
    return database.execQuery(RemoveStatement);
}

QString DaySummaries::dayOf(qint64 butchId)
{
    database.execQuery(DayOfStatement, {butchId});
    return database.result().value(0, 0);
}

bool DaySummaries::refreshDay(const QString &day)
{
    return summarizeDay(day) && noteCurrent();
}

bool DaySummaries::refreshButch(qint64 butchId)
{
    return refreshDay(dayOf(butchId));
}

bool DaySummaries::refreshTask(qint64 taskId)
{
    if (!database.execQuery(ButchOfTaskStatement, {taskId}))
        return false;
    // A task that is not there changed nothing; its rows are noted all the same.
    if (database.result().rows == 0)
        return noteCurrent();
    return refreshButch(database.result().value(0, 0).toLongLong());
}

QList<DaySummaries::Total> DaySummaries::ofRange(qint64 firstButch, qint64 lastButch)
{
    if (std::optional<QList<Total>> summarized = ofSummaries(firstButch, lastButch))
        return *summarized;
    return ofRows(firstButch, lastButch);
}

std::optional<QList<DaySummaries::Total>> DaySummaries::ofSummaries(qint64 firstButch,
                                                                    qint64 lastButch)
{
    if (!areCurrent() || !cover(firstButch, lastButch))
        return std::nullopt;
    return totals(SummaryTotalsStatement, firstButch, lastButch);
}

QList<DaySummaries::Total> DaySummaries::ofRows(qint64 firstButch, qint64 lastButch)
{
    const bool dosesLinked =
        database.hasColumn(QStringLiteral("dose"), QStringLiteral("idTask"))
        && database.hasColumn(QStringLiteral("task"), QStringLiteral("idTask"));
    return totals(dosesLinked ? RowTotalsStatement : RowWeightsStatement, firstButch, lastButch);
}

bool DaySummaries::summarizeDay(const QString &day)
{
    return database.execQuery(SummarizeDayStatement, {day});
}

bool DaySummaries::noteCurrent()
{
    return database.execQuery(NoteStatement);
}

bool DaySummaries::cover(qint64 firstButch, qint64 lastButch)
{
    return database.execQuery(CutDayStatement, {firstButch, lastButch})
           && database.result().value(0, 0).toInt() == 0;
}

QList<DaySummaries::Total> DaySummaries::totals(const QString &statement, qint64 firstButch,
                                                qint64 lastButch)
{
    QList<Total> found;
    if (!database.execQuery(statement, {firstButch, lastButch}))
        return found;
    const QueryResult &rows = database.result();
    for (int row = 0; row < rows.rows; ++row) {
        found.append({rows.value(row, TotalRow::ProductColumn),
                      rows.value(row, TotalRow::UnitColumn),
                      rows.value(row, TotalRow::TasksColumn).toLongLong(),
                      Database::decimalValue(rows.value(row, TotalRow::DeliveredColumn)),
                      DoseAccuracy::fromText(rows.value(row, TotalRow::AccuracyColumn))});
    }
    return found;
}
