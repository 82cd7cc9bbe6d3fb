#include "datafilecheck.h"

#include "databackup.h"

#include <QFile>

#include <sqlite3.h>

namespace {

// The files SQLite keeps beside a file written ahead; they belong to it and go with it.
const char *const CompanionSuffixes[] = {"-wal", "-shm"};

bool isDamage(int status)
{
    const int primary = status & 0xFF;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

} // namespace

DataFileCheck::DataFileCheck(const QString &databaseFile)
    : file(databaseFile)
{ }

bool DataFileCheck::isSound(const QString &file)
{
    if (!QFile::exists(file))
        return true;
    sqlite3 *connection = nullptr;
    // Read-only, so that the check neither folds the write-ahead log into a damaged file nor
    // deletes it: both are kept aside as they were.
    int status = sqlite3_open_v2(QFile::encodeName(file).constData(), &connection,
                                 SQLITE_OPEN_READONLY, nullptr);
    bool sound = !isDamage(status);
    if (status == SQLITE_OK) {
        sqlite3_stmt *check = nullptr;
        status = sqlite3_prepare_v2(connection, "PRAGMA quick_check", -1, &check, nullptr);
        // One row "ok" for a sound file; otherwise a row per problem found.
        while (status == SQLITE_OK && sqlite3_step(check) == SQLITE_ROW) {
            const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(check, 0));
            if (!text || qstrcmp(text, "ok") != 0)
                sound = false;
        }
        if (status == SQLITE_OK)
            status = sqlite3_finalize(check);
        else
            sqlite3_finalize(check);
        if (isDamage(status))
            sound = false;
    }
    sqlite3_close(connection);
    return sound;
}

QString DataFileCheck::keepAside(const QDateTime &at)
{
    const QString aside =
        QStringLiteral("%1.damaged-%2").arg(file, at.toString(QStringLiteral("yyyyMMdd-HHmmss")));
    const QFileDevice::Permissions mode = QFile::permissions(file);
    if (QFile::exists(aside) || !QFile::rename(file, aside))
        return {};
    keptMode = mode;
    for (const char *suffix : CompanionSuffixes) {
        const QString companion = file + QLatin1String(suffix);
        if (QFile::exists(companion))
            QFile::rename(companion, aside + QLatin1String(suffix));
    }
    return aside;
}

QString DataFileCheck::newestSoundCopy() const
{
    const QStringList copies = DataBackup(file).copies();
    for (const QString &copy : copies) {
        if (isSound(copy))
            return copy;
    }
    return {};
}

bool DataFileCheck::restore(const QString &copy)
{
    if (QFile::exists(file))
        return false;
    const QString partial = file + QStringLiteral(".restoring");
    QFile::remove(partial);
    // Never a half-copied data.db: the copy takes the name only when it is whole.
    if (QFile::copy(copy, partial) && QFile::rename(partial, file)) {
        QFile::setPermissions(file,
                              keptMode ? keptMode : QFile::permissions(file) | QFile::WriteOwner);
        return true;
    }
    QFile::remove(partial);
    return false;
}
