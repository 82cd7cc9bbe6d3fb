#ifndef DAYSUMMARIES_H
#define DAYSUMMARIES_H

#include "doseaccuracy.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class Database;

// The statistics' figures of each day, product and unit, kept in data.db beside the rows they
// come from, so that years of records are read as thousands of rows instead of millions of
// doses. A day's row holds what the day's tasks of the product delivered in that unit, the
// accuracy of the product's counted doses weighed in that unit (mergeable, see DoseAccuracy),
// and the first and last batch it covers. The day is the batch's start date; tasks whose batch
// is gone count to the day "".
//
// Summaries are there complete or not at all: build() makes them from the rows in one
// transaction, and every write of the records that changes a task or a dose brings its day up
// to date in its own transaction (see ButchRecords). Rows written without them (by an older
// program, by hand) are noticed by the highest dose and task the summaries have seen: the
// statistics read the rows again until build() makes the summaries anew.
class DaySummaries
{
public:
    // Days done of all days while the summaries are built, called at most once per percent.
    using Progress = std::function<void(int done, int total)>;

    // The figures of a product in a unit over a range of batches.
    struct Total
    {
        QString product;
        QString unit;
        // Tasks of the product in the unit; 0 where only its doses were weighed in it.
        qint64 tasks = 0;
        // What those tasks delivered, in the unit.
        double delivered = 0.0;
        // The product's counted doses weighed in the unit, against their orders.
        DoseAccuracy accuracy;
    };

    explicit DaySummaries(Database &database);

    // The tables the summaries live in; a salvage of the file leaves them out.
    static QStringList tables();

    // True when the file holds summaries of every dose and task it holds.
    bool areCurrent();
    // Makes the summaries from the rows when they are missing or not current, in one
    // transaction; true when they are current afterwards.
    bool build(const Progress &progress = {});
    // Removes them, so the statistics read the rows until build() makes them anew.
    bool remove();

    // The day a batch counts to.
    QString dayOf(qint64 butchId);
    // Bring a day up to date with its rows, in the transaction of the write that changed them,
    // where the summaries were current before it (see areCurrent()).
    bool refreshDay(const QString &day);
    bool refreshButch(qint64 butchId);
    bool refreshTask(qint64 taskId);

    // Batches first to last per product and unit, in the order of the product's name, then of
    // the unit: from the summaries where they answer, from the rows otherwise. Empty too when
    // the statements fail.
    QList<Total> ofRange(qint64 firstButch, qint64 lastButch);
    // The same from the summaries alone; none where they are not current or a day of theirs
    // lies partly inside the range (batches numbered out of the order of their days).
    std::optional<QList<Total>> ofSummaries(qint64 firstButch, qint64 lastButch);
    // The same from the rows alone.
    QList<Total> ofRows(qint64 firstButch, qint64 lastButch);

private:
    bool exist();
    bool summarizeDay(const QString &day);
    bool noteCurrent();
    bool cover(qint64 firstButch, qint64 lastButch);
    QList<Total> totals(const QString &statement, qint64 firstButch, qint64 lastButch);

    Database &database;
};

#endif // DAYSUMMARIES_H
