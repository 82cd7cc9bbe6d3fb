#include "temporarydatabase.h"

#include <QFile>
#include <QUrl>

#include <sqlite3.h>
#include <unistd.h>

namespace {

constexpr int BusyTimeoutMs = 5000;

bool run(const QString &fileName, const QString &sql, const QStringList &texts, QStringList *values)
{
    sqlite3 *connection = nullptr;
    if (sqlite3_open(fileName.toUtf8().constData(), &connection) != SQLITE_OK) {
        sqlite3_close(connection);
        return false;
    }
    // The program under test may be writing the file at this moment (its journal does so from
    // a thread of its own); wait for it as the program's own connections do.
    sqlite3_busy_timeout(connection, BusyTimeoutMs);
    sqlite3_stmt *statement = nullptr;
    int status = sqlite3_prepare_v2(connection, sql.toUtf8().constData(), -1, &statement, nullptr);
    for (int i = 0; status == SQLITE_OK && i < texts.size(); ++i) {
        const QByteArray text = texts.at(i).toUtf8();
        status = sqlite3_bind_text(statement, i + 1, text.constData(), int(text.size()),
                                   SQLITE_TRANSIENT);
    }
    while (status == SQLITE_OK || status == SQLITE_ROW) {
        status = sqlite3_step(statement);
        for (int c = 0; status == SQLITE_ROW && values && c < sqlite3_column_count(statement); ++c)
            *values << QString::fromUtf8(
                reinterpret_cast<const char *>(sqlite3_column_text(statement, c)),
                sqlite3_column_bytes(statement, c));
    }
    if (status != SQLITE_DONE)
        qWarning("fixture statement failed: %s", sqlite3_errmsg(connection));
    sqlite3_finalize(statement);
    sqlite3_close(connection);
    return status == SQLITE_DONE;
}

} // namespace

TemporaryDatabase::TemporaryDatabase()
    : owned(std::make_unique<QTemporaryDir>())
    , folder(owned->isValid() ? owned->path() : QString())
{ }

TemporaryDatabase::TemporaryDatabase(const QString &existingFolder)
    : folder(existingFolder)
{ }

QString TemporaryDatabase::folderPath() const
{
    return folder;
}

QString TemporaryDatabase::path() const
{
    return folderPath() + QStringLiteral("/data.db");
}

bool TemporaryDatabase::createTables()
{
    return exec(QStringLiteral("CREATE TABLE IF NOT EXISTS admin (password TEXT);"))
           && exec(
               QStringLiteral("CREATE TABLE IF NOT EXISTS product (idProduct INTEGER PRIMARY KEY, "
                              "productName TEXT);"))
           && exec(QStringLiteral("CREATE TABLE IF NOT EXISTS butch (idButch INTEGER PRIMARY KEY, "
                                  "date TEXT, startTime TEXT, endTime TEXT, endDate TEXT);"))
           && exec(QStringLiteral(
               "CREATE TABLE IF NOT EXISTS task (idButch INTEGER, deviceId INTEGER, startTime "
               "TEXT, "
               "endTime TEXT, taskWeight TEXT, haveDoneWeight TEXT, mustToBeDoneWeight TEXT, "
               "productName TEXT, weightScale TEXT, startDate TEXT, endDate TEXT);"));
}

bool TemporaryDatabase::createDoseTable()
{
    return exec(QStringLiteral(
        "CREATE TABLE IF NOT EXISTS dose (idDose INTEGER PRIMARY KEY, idButch INTEGER, deviceId "
        "INTEGER, date TEXT, time TEXT, orderedWeight TEXT, dischargedWeight TEXT, weightScale "
        "TEXT, decimals INTEGER, counted INTEGER, doseFaultPlus TEXT, doseFaultMinus TEXT);"));
}

bool TemporaryDatabase::exec(const QString &sql, const QStringList &texts)
{
    return run(path(), sql, texts, nullptr);
}

QStringList TemporaryDatabase::select(const QString &sql, const QStringList &texts)
{
    QStringList values;
    run(path(), sql, texts, &values);
    return values;
}

int TemporaryDatabase::addButch(const QString &day)
{
    exec(QStringLiteral("INSERT INTO butch (date, startTime, endTime, endDate) "
                        "VALUES (?1, '08:00', '08:30', ?1)"),
         {day});
    return select(QStringLiteral("SELECT MAX(idButch) FROM butch")).value(0).toInt();
}

void TemporaryDatabase::addTask(int idButch, const QString &product, const QString &unit,
                                const QString &deliveredWeight)
{
    exec(QStringLiteral("INSERT INTO task (idButch, deviceId, startTime, endTime, taskWeight, "
                        "haveDoneWeight, mustToBeDoneWeight, productName, weightScale, startDate, "
                        "endDate) VALUES (?1, 30, '08:00', '08:30', ?2, ?2, '0', ?3, ?4, '', '')"),
         {QString::number(idButch), deliveredWeight, product, unit});
}

void TemporaryDatabase::addDose(int idButch, const QString &ordered, const QString &discharged,
                                const QString &unit, int decimals, bool counted,
                                const QString &tolerancePlus, const QString &toleranceMinus)
{
    exec(QStringLiteral(
             "INSERT INTO dose (idButch, deviceId, date, time, orderedWeight, "
             "dischargedWeight, weightScale, decimals, counted, doseFaultPlus, "
             "doseFaultMinus) VALUES (?1, 30, '', '08:10:00', ?2, ?3, ?4, ?5, ?6, ?7, ?8)"),
         {QString::number(idButch), ordered, discharged, unit, QString::number(decimals),
          QString::number(int(counted)), tolerancePlus, toleranceMinus});
}

QString TemporaryDatabase::makeReadOnly()
{
    QFile::setPermissions(path(), QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
    if (::access(QFile::encodeName(path()).constData(), W_OK) != 0)
        return path();
    return QUrl::fromLocalFile(path()).toString() + QStringLiteral("?mode=ro");
}

QString TemporaryDatabase::spoil(Broken how)
{
    QFile file(path());
    switch (how) {
    case Broken::NotADatabase:
        file.open(QIODevice::WriteOnly);
        file.write(QByteArray(4096, 'x'));
        return path();
    case Broken::ReadOnly:
        file.open(QIODevice::WriteOnly);
        file.close();
        return makeReadOnly();
    case Broken::MissingDirectory:
        break;
    }
    return folderPath() + QStringLiteral("/missing/data.db");
}

bool TemporaryDatabase::overwritePages(int firstPage, int count)
{
    QFile file(path());
    if (!file.open(QIODevice::ReadWrite))
        return false;
    // The page size is the big-endian 16-bit number at offset 16 of the header.
    const QByteArray header = file.read(18);
    if (header.size() < 18)
        return false;
    const qint64 pageSize = (quint8(header.at(16)) << 8) | quint8(header.at(17));
    if (pageSize == 0 || file.size() < (firstPage - 1 + count) * pageSize)
        return false;
    QByteArray noise(int(pageSize), '\0');
    for (int i = 0; i < noise.size(); ++i)
        noise[i] = char((i * 37 + 11) & 0xFF);
    for (int page = firstPage; page < firstPage + count; ++page) {
        if (!file.seek((page - 1) * pageSize) || file.write(noise) != pageSize)
            return false;
    }
    return true;
}
