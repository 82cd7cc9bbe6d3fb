#ifndef DATABASE_H
#define DATABASE_H

#include "queryresult.h"

#include <QString>
#include <QVariantList>

#include <functional>

struct sqlite3;
struct sqlite3_stmt;
class StatementTemplate;

// The production records file, in the working directory.
constexpr char DatabaseFileName[] = "data.db";

// One connection to the production records; every window holds its own. A statement is a
// template (see StatementTemplate) whose placeholder %n takes arguments[n - 1] as a bound value:
// between double quotes always as text, bare by its type (integers, doubles, text; an invalid
// QVariant gives NULL). Every statement replaces the result and writes its trace line.
class Database
{
public:
    // data.db is written ahead (WAL), so readers never hold up a batch's write. A file that is
    // copied or shared as a single file (a recipe) keeps its rollback journal beside it. Every
    // connection syncs each commit to the disk in full.
    enum class JournalMode { WriteAhead, Rollback };

    explicit Database(const QString &fileName = QString::fromLatin1(DatabaseFileName),
                      JournalMode journal = JournalMode::WriteAhead);
    ~Database();
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;

    bool isOpen() const { return handle != nullptr; }
    // The file as opened (a URI's path), or as named when it could not be opened.
    QString fileName() const;
    // Opened for reading only: SQLite falls back to that for a file it may not write.
    bool isReadOnly() const;
    // SQLite's message when the file could not be opened; empty when it was.
    QString openErrorMessage() const { return openError; }
    // False when the statement failed; the result is then empty and carries the message.
    bool execQuery(const QString &statement, const QVariantList &arguments = {});
    const QueryResult &result() const { return last; }
    // The tables of the production records; harmless when they exist, and an older file gains
    // the tables it lacks. The statistics' summaries are made last, from the rows, when the file
    // has none or not current ones (see DaySummaries); `progress` follows that.
    bool createTables(const std::function<void(int done, int total)> &progress = {});
    bool hasColumn(const QString &table, const QString &column);
    // Adds the column to an older table, `fill` (when given) run in the same transaction to give
    // the rows their values; harmless when the column is there.
    bool addColumn(const char *table, const char *column, const char *type,
                   const char *fill = nullptr);
    // True when createTables() would change nothing: every table, index and column is in the
    // file, and current summaries.
    bool hasAllTables();

    // Changes when another connection has committed to the file since the last call; cheap and
    // without a trace line, for a reader that polls the file.
    quint32 dataVersion();

    // An explicit transaction; they leave the result of the last statement alone. While one is
    // open, other connections wait for its end (at most 5 s) before they write; on data.db
    // their reads go on meanwhile.
    bool begin();
    bool commit();
    bool rollback();
    bool inTransaction() const;

    // SQLite's message of the last statement, begin() or commit() that failed ("database or
    // disk is full", "database is locked", ...); empty after one that succeeded. A rollback()
    // keeps the message of the failure it undoes.
    QString lastErrorMessage() const { return lastError; }
    // The rowid of the last row this connection inserted; 0 when it has inserted none.
    qint64 lastInsertId() const;
    // How long a file locked by another connection is waited for (5 s). Tests shorten it so
    // that a lock held on purpose fails at once.
    void setBusyTimeout(int milliseconds);
    // Folds the write-ahead log into the file. `Truncate` waits (as long as the busy timeout)
    // for readers and empties the log; `Passive` takes what it can at once and never waits.
    enum class Checkpoint { Passive, Truncate };
    bool checkpoint(Checkpoint kind);

    // A weight text read as a decimal number, '.' as point; 0 for a text that is not a number.
    // Statements reach the same reading as the SQL function decimalValue(text), and the figures
    // of DoseAccuracy as the aggregates doseAccuracy(discharged, ordered, decimals, unit,
    // plus, minus), giving the figures' bytes (DoseAccuracy::toBytes()), mergedAccuracy(figures),
    // which merges such bytes (NULL for no doses), and accuracyText(figures), their
    // DoseAccuracy::toText().
    static double decimalValue(const QString &text);

private:
    int bindArguments(sqlite3_stmt *statement, const StatementTemplate &statementTemplate,
                      const QVariantList &arguments, QString &problem);
    int collectRows(sqlite3_stmt *statement, QString &problem);
    bool runBare(const char *statement);
    void writeTrace() const;

    sqlite3 *handle = nullptr;
    QString name;
    int openStatus = 0;
    QString openError;
    QString lastError;
    QueryResult last;
};

#endif // DATABASE_H
