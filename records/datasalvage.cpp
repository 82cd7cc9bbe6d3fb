#include "datasalvage.h"

#include "database.h"
#include "daysummaries.h"
#include "recordslog.h"

#include <QFile>
#include <QLoggingCategory>
#include <QStringList>
#include <QUrl>

#include <sqlite3.h>

#include <algorithm>
#include <limits>

namespace {

// A stretch that cannot be read is stepped over by rowids doubling up to this: past it the
// rest of the table is given up.
constexpr qint64 LargestStep = qint64(1) << 40;

QString message(sqlite3 *connection)
{
    return QString::fromUtf8(sqlite3_errmsg(connection));
}

QString quoted(const QString &name)
{
    QString text = name;
    text.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + text + QLatin1Char('"');
}

// One statement's rows as texts; empty when it fails.
QStringList column(sqlite3 *connection, const QString &statement, int index)
{
    QStringList values;
    sqlite3_stmt *query = nullptr;
    if (sqlite3_prepare_v2(connection, statement.toUtf8().constData(), -1, &query, nullptr)
        == SQLITE_OK) {
        while (sqlite3_step(query) == SQLITE_ROW)
            values.append(QString::fromUtf8(
                reinterpret_cast<const char *>(sqlite3_column_text(query, index))));
    }
    sqlite3_finalize(query);
    return values;
}

qint64 number(sqlite3 *connection, const QString &statement)
{
    const QStringList values = column(connection, statement, 0);
    return values.isEmpty() ? 0 : values.first().toLongLong();
}

struct Table
{
    QString name;
    QStringList columns;
    // The column that is the rowid itself (INTEGER PRIMARY KEY); empty when there is none.
    QString rowidColumn;
};

Table describe(sqlite3 *connection, const QString &name)
{
    Table table {name, {}, {}};
    sqlite3_stmt *query = nullptr;
    const QString statement = QStringLiteral("PRAGMA table_info(%1)").arg(quoted(name));
    int keys = 0;
    QString key;
    if (sqlite3_prepare_v2(connection, statement.toUtf8().constData(), -1, &query, nullptr)
        == SQLITE_OK) {
        while (sqlite3_step(query) == SQLITE_ROW) {
            const QString column =
                QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(query, 1)));
            const QString type =
                QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(query, 2)));
            table.columns.append(column);
            if (sqlite3_column_int(query, 5) > 0) {
                ++keys;
                if (type.compare(QLatin1String("INTEGER"), Qt::CaseInsensitive) == 0)
                    key = column;
            }
        }
    }
    sqlite3_finalize(query);
    if (keys == 1)
        table.rowidColumn = key;
    return table;
}

sqlite3 *openKept(const QString &file, bool immutable)
{
    sqlite3 *connection = nullptr;
    // Immutable: SQLite neither reads nor writes the log, so a file whose log cannot be opened
    // is still read as it stands.
    const QString uri = immutable ? QStringLiteral("%1?immutable=1")
                                        .arg(QUrl::fromLocalFile(file).toString(QUrl::FullyEncoded))
                                  : file;
    const int flags = SQLITE_OPEN_READONLY | (immutable ? SQLITE_OPEN_URI : 0);
    // With the schema writable SQLite reads a file shorter than its header says (cut off) as
    // far as it goes instead of refusing it; the connection itself only reads.
    if (sqlite3_open_v2(QFile::encodeName(uri).constData(), &connection, flags, nullptr)
            != SQLITE_OK
        || sqlite3_exec(connection, "PRAGMA writable_schema = ON", nullptr, nullptr, nullptr)
               != SQLITE_OK
        || sqlite3_exec(connection, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr)
               != SQLITE_OK) {
        qCWarning(lcRecords) << file
                             << "cannot be read:" << (connection ? message(connection) : QString());
        sqlite3_close(connection);
        return nullptr;
    }
    return connection;
}

// Copies one table's readable rows; counts what it read and the stretches it stepped over.
void copyTable(sqlite3 *from, sqlite3 *to, const Table &source, const Table &into,
               DataSalvage::Newer newer, DataSalvage::Result &result)
{
    QStringList common;
    for (const QString &name : into.columns) {
        if (source.columns.contains(name))
            common.append(name);
    }
    if (common.isEmpty())
        return;
    QStringList names;
    for (const QString &name : common)
        names.append(quoted(name));
    // A table without its own rowid column keeps the kept file's rowids, so a row both files
    // have is the same row.
    const bool ownRowid = into.rowidColumn.isEmpty();
    const QString read = QStringLiteral("SELECT rowid, %1 FROM %2 NOT INDEXED WHERE rowid > ?1 "
                                        "ORDER BY rowid")
                             .arg(names.join(QLatin1String(", ")), quoted(source.name));
    QStringList marks;
    for (int i = 0; i < common.size() + (ownRowid ? 1 : 0); ++i)
        marks.append(QStringLiteral("?%1").arg(i + 1));
    const QString write =
        QStringLiteral("INSERT OR %1 INTO %2 (%3%4) VALUES (%5)")
            .arg(QLatin1String(newer == DataSalvage::Newer::Kept ? "REPLACE" : "IGNORE"),
                 quoted(into.name), QLatin1String(ownRowid ? "rowid, " : ""),
                 names.join(QLatin1String(", ")), marks.join(QLatin1String(", ")));
    sqlite3_stmt *reader = nullptr;
    sqlite3_stmt *writer = nullptr;
    if (sqlite3_prepare_v2(from, read.toUtf8().constData(), -1, &reader, nullptr) != SQLITE_OK
        || sqlite3_prepare_v2(to, write.toUtf8().constData(), -1, &writer, nullptr) != SQLITE_OK) {
        qCWarning(lcRecords) << "table" << source.name << "not read:" << message(from);
        ++result.unreadable;
        sqlite3_finalize(reader);
        sqlite3_finalize(writer);
        return;
    }
    qint64 after = std::numeric_limits<qint64>::min();
    qint64 step = 0;
    for (;;) {
        sqlite3_bind_int64(reader, 1, step ? after + step : after);
        int status = sqlite3_step(reader);
        while (status == SQLITE_ROW) {
            step = 0;
            after = sqlite3_column_int64(reader, 0);
            int at = 1;
            if (ownRowid)
                sqlite3_bind_int64(writer, at++, after);
            for (int i = 0; i < common.size(); ++i)
                sqlite3_bind_value(writer, at++, sqlite3_column_value(reader, i + 1));
            if (sqlite3_step(writer) != SQLITE_DONE)
                qCWarning(lcRecords)
                    << "row" << after << "of" << source.name << "not written:" << message(to);
            else
                ++result.rowsRead;
            sqlite3_reset(writer);
            status = sqlite3_step(reader);
        }
        sqlite3_reset(reader);
        // The end of the table, read to or jumped past.
        if (status == SQLITE_DONE)
            break;
        // Damage: step over it, further each time, until a row beyond it reads.
        if (step == 0)
            ++result.unreadable;
        step = step ? step * 2 : 1;
        if (after == std::numeric_limits<qint64>::min())
            after = 0;
        if (step > LargestStep) {
            qCWarning(lcRecords) << "the rest of" << source.name << "after row" << after
                                 << "could not be read";
            break;
        }
    }
    sqlite3_finalize(reader);
    sqlite3_finalize(writer);
}

} // namespace

DataSalvage::DataSalvage(const QString &keptFile, const QString &targetFile,
                         const QString &schemaCopy)
    : kept(keptFile)
    , target(targetFile)
    , schemaSource(schemaCopy)
{ }

QString DataSalvage::lendSchema() const
{
    if (schemaSource.isEmpty())
        return {};
    sqlite3 *copy = nullptr;
    QList<qint64> pages;
    int pageSize = 0;
    // Where the copy keeps its schema; SQLite's page statistics know, where it offers them.
    if (sqlite3_open_v2(QFile::encodeName(schemaSource).constData(), &copy, SQLITE_OPEN_READONLY,
                        nullptr)
        == SQLITE_OK) {
        pageSize = int(number(copy, QStringLiteral("PRAGMA page_size")));
        for (const QString &page :
             column(copy,
                    QStringLiteral("SELECT pageno FROM dbstat WHERE name IN ('sqlite_schema', "
                                   "'sqlite_master')"),
                    0))
            pages.append(page.toLongLong());
    }
    sqlite3_close(copy);
    if (pages.isEmpty() || pageSize <= 0)
        return {};
    const QString lent = kept + QStringLiteral(".salvage");
    QFile::remove(lent);
    QFile from(schemaSource);
    QFile into(lent);
    if (!QFile::copy(kept, lent) || !from.open(QIODevice::ReadOnly)
        || !into.open(QIODevice::ReadWrite)) {
        QFile::remove(lent);
        return {};
    }
    for (const qint64 page : pages) {
        const qint64 offset = (page - 1) * pageSize;
        if (!from.seek(offset) || !into.seek(offset)
            || into.write(from.read(pageSize)) != pageSize) {
            into.close();
            QFile::remove(lent);
            return {};
        }
    }
    qCWarning(lcRecords) << "schema of" << kept << "lent by" << schemaSource;
    return lent;
}

DataSalvage::Result DataSalvage::merge(Newer newer, qint64 butchMark, qint64 eventMark,
                                       qint64 doseMark)
{
    Result result;
    sqlite3 *to = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(target).constData(), &to, SQLITE_OPEN_READWRITE, nullptr)
        != SQLITE_OK) {
        result.error = message(to);
        sqlite3_close(to);
        return result;
    }
    sqlite3 *from = openKept(kept, false);
    if (!from)
        from = openKept(kept, true);
    QString lent;
    if (!from) {
        lent = lendSchema();
        if (!lent.isEmpty())
            from = openKept(lent, true);
    }

    const qint64 butchBefore = number(to, QStringLiteral("SELECT max(idButch) FROM butch"));
    const qint64 doseBefore = number(to, QStringLiteral("SELECT max(idDose) FROM dose"));
    const qint64 eventBefore = number(to, QStringLiteral("SELECT max(idEvent) FROM event"));
    qint64 butchKept = 0;
    qint64 doseKept = 0;
    qint64 eventKept = 0;

    if (from && sqlite3_exec(to, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK) {
        // The statistics' summaries are made anew from the merged rows, never merged themselves:
        // neither file's fit the rows of both.
        for (const QString &summary : DaySummaries::tables())
            sqlite3_exec(
                to,
                QStringLiteral("DROP TABLE IF EXISTS %1").arg(quoted(summary)).toUtf8().constData(),
                nullptr, nullptr, nullptr);
        const QStringList tables =
            column(to,
                   QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' AND name "
                                  "NOT LIKE 'sqlite_%' ORDER BY name"),
                   0);
        for (const QString &name : tables) {
            const Table source = describe(from, name);
            if (source.columns.isEmpty())
                continue;
            copyTable(from, to, source, describe(to, name), newer, result);
        }
        result.merged = sqlite3_exec(to, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
        if (!result.merged) {
            result.error = message(to);
            sqlite3_exec(to, "ROLLBACK", nullptr, nullptr, nullptr);
        }
        // The highest ids the kept file shows, as far as its rows can be read.
        butchKept = number(from, QStringLiteral("SELECT max(idButch) FROM butch"));
        doseKept = number(from, QStringLiteral("SELECT max(idDose) FROM dose"));
        eventKept = number(from, QStringLiteral("SELECT max(idEvent) FROM event"));
    } else {
        result.error = from ? message(to) : QStringLiteral("не база данных SQLite");
        ++result.unreadable;
    }
    sqlite3_close(from);
    if (!lent.isEmpty())
        QFile::remove(lent);

    const auto count = [to](const char *table, const char *id, qint64 before, qint64 highest) {
        Count counted;
        counted.recovered = number(to, QStringLiteral("SELECT count(*) FROM %1 WHERE %2 > %3")
                                           .arg(QLatin1String(table), QLatin1String(id))
                                           .arg(before));
        const qint64 present = number(
            to,
            QStringLiteral("SELECT max(%2) FROM %1").arg(QLatin1String(table), QLatin1String(id)));
        counted.lost = std::max<qint64>(0, std::max(highest, present) - before - counted.recovered);
        return counted;
    };
    result.butches = count("butch", "idButch", butchBefore, std::max(butchKept, butchMark));
    result.doses = count("dose", "idDose", doseBefore, std::max(doseKept, doseMark));
    result.events = count("event", "idEvent", eventBefore, std::max(eventKept, eventMark));
    const QStringList check = column(to, QStringLiteral("PRAGMA quick_check"), 0);
    result.sound = check == QStringList {QStringLiteral("ok")};
    sqlite3_close(to);
    if (result.merged) {
        Database database(target);
        if (!DaySummaries(database).build())
            qCWarning(lcRecords) << "statistics' summaries of" << target
                                 << "not made:" << database.lastErrorMessage();
    }
    return result;
}
