#ifndef DATABASE_H
#define DATABASE_H

#include "queryresult.h"

#include <QString>
#include <QVariantList>

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
    explicit Database(const QString &fileName = QString::fromLatin1(DatabaseFileName));
    ~Database();
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;

    bool isOpen() const { return handle != nullptr; }
    // False when the statement failed; the result is then empty and carries the message.
    bool execQuery(const QString &statement, const QVariantList &arguments = {});
    const QueryResult &result() const { return last; }
    // The tables of the production records; harmless when they exist, and an older file gains
    // the tables it lacks.
    bool createTables();

    // An explicit transaction; they leave the result of the last statement alone. While one is
    // open, other connections wait for its end (at most 5 s) before they write.
    bool begin();
    bool commit();
    bool rollback();
    bool inTransaction() const;

    // A weight text read as a decimal number, '.' as point; 0 for a text that is not a number.
    // Statements reach the same reading as the SQL function decimalValue(text), and the figures
    // of DoseAccuracy as the aggregates doseAccuracy(discharged, ordered, decimals) and
    // mergedAccuracy(figures), both giving DoseAccuracy::toText().
    static double decimalValue(const QString &text);

private:
    int bindArguments(sqlite3_stmt *statement, const StatementTemplate &statementTemplate,
                      const QVariantList &arguments, QString &problem);
    int collectRows(sqlite3_stmt *statement, QString &problem);
    bool runBare(const char *statement);
    void writeTrace() const;

    sqlite3 *handle = nullptr;
    int openStatus = 0;
    QString openError;
    QueryResult last;
};

#endif // DATABASE_H
