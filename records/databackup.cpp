#include "databackup.h"

#include "filemodes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

#include <algorithm>

namespace {

constexpr char FolderName[] = "backup";
constexpr char TimeFormat[] = "yyyyMMdd-HHmmss";
// Long enough that the file's other connections never see a lock held by the copy; a write
// under way is waited for no longer than that.
constexpr int BusyTimeoutMs = 5000;

QString baseName(const QString &file)
{
    return QFileInfo(file).completeBaseName();
}

QString failure(sqlite3 *connection, int status)
{
    return QString::fromUtf8(connection ? sqlite3_errmsg(connection) : sqlite3_errstr(status));
}

} // namespace

DataBackup::DataBackup(const QString &databaseFile)
    : file(databaseFile)
{ }

QString DataBackup::folder() const
{
    return QFileInfo(file).absoluteDir().filePath(QString::fromLatin1(FolderName));
}

QStringList DataBackup::copies() const
{
    const QString pattern = baseName(file) + QStringLiteral("-*.db");
    QStringList names;
    // Anything else in the folder is left alone.
    const QStringList found = QDir(folder()).entryList({pattern}, QDir::Files);
    for (const QString &name : found) {
        const QString path = QDir(folder()).filePath(name);
        if (madeAt(path).isValid())
            names.append(path);
    }
    // By the time in the name; of two made in one second, the later batch's first.
    std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
        const QDateTime first = madeAt(a);
        const QDateTime second = madeAt(b);
        return first != second ? first > second : butchOf(a) > butchOf(b);
    });
    return names;
}

bool DataBackup::isDue(const QDateTime &now) const
{
    for (const QString &copy : copies()) {
        if (butchOf(copy) == 0)
            return madeAt(copy).date() < now.date();
    }
    return true;
}

qint64 DataBackup::butchOf(const QString &copy)
{
    // <base>-b<id>-<time>: the part before the time.
    const QString name = QFileInfo(copy).completeBaseName();
    const QString part = name.section(QLatin1Char('-'), -3, -3);
    if (!part.startsWith(QLatin1Char('b')))
        return 0;
    bool isNumber = false;
    const qint64 id = part.mid(1).toLongLong(&isNumber);
    return isNumber ? id : 0;
}

QDateTime DataBackup::madeAt(const QString &copy)
{
    const QString name = QFileInfo(copy).completeBaseName();
    const int dash = name.size() - int(sizeof(TimeFormat) - 1) - 1;
    if (dash < 0 || name.at(dash) != QLatin1Char('-'))
        return {};
    return QDateTime::fromString(name.mid(dash + 1), QString::fromLatin1(TimeFormat));
}

QString DataBackup::makeCopy(const QDateTime &at, qint64 butchId)
{
    error.clear();
    if (!QDir().mkpath(folder())) {
        error = QStringLiteral("cannot make %1").arg(folder());
        return {};
    }
    const QString kind = butchId > 0 ? QStringLiteral("-b%1").arg(butchId) : QString();
    const QString copy = QDir(folder()).filePath(
        QStringLiteral("%1%2-%3.db")
            .arg(baseName(file), kind, at.toString(QString::fromLatin1(TimeFormat))));
    const QString partial = copy + QStringLiteral(".part");
    QFile::remove(partial);
    // A copy is as private as the records it holds.
    FileModes::createPrivate(partial);

    sqlite3 *source = nullptr;
    sqlite3 *target = nullptr;
    int status = sqlite3_open_v2(QFile::encodeName(file).constData(), &source, SQLITE_OPEN_READONLY,
                                 nullptr);
    if (status == SQLITE_OK)
        status = sqlite3_open_v2(QFile::encodeName(partial).constData(), &target,
                                 SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (status == SQLITE_OK) {
        sqlite3_busy_timeout(source, BusyTimeoutMs);
        // The whole file in one step: one read transaction, so the copy is one moment's state.
        sqlite3_backup *backup = sqlite3_backup_init(target, "main", source, "main");
        if (backup) {
            status = sqlite3_backup_step(backup, -1);
            if (status == SQLITE_DONE)
                status = SQLITE_OK;
            sqlite3_backup_finish(backup);
        } else {
            status = sqlite3_errcode(target);
        }
        if (status != SQLITE_OK)
            error = failure(target, status);
    } else {
        error = failure(target ? target : source, status);
    }
    sqlite3_close(target);
    sqlite3_close(source);

    // Only a finished copy takes its name, so a copy cut short is never offered back.
    if (status != SQLITE_OK || (QFile::exists(copy) && !QFile::remove(copy))
        || !QFile::rename(partial, copy)) {
        if (error.isEmpty())
            error = QStringLiteral("cannot write %1").arg(copy);
        QFile::remove(partial);
        return {};
    }
    removeOldCopies();
    return copy;
}

void DataBackup::removeOldCopies()
{
    int days = 0;
    int butches = 0;
    for (const QString &copy : copies()) {
        const bool ofButch = butchOf(copy) > 0;
        if (ofButch ? ++butches > KeptButchCopies : ++days > KeptCopies)
            QFile::remove(copy);
    }
}
