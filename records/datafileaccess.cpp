#include "datafileaccess.h"

#include "database.h"
#include "filemodes.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>

namespace {

unsigned modeBits(QFileDevice::Permissions permissions)
{
    unsigned mode = 0;
    const std::pair<QFileDevice::Permission, unsigned> bits[] = {
        {QFileDevice::ReadOwner, 0400}, {QFileDevice::WriteOwner, 0200},
        {QFileDevice::ExeOwner, 0100},  {QFileDevice::ReadGroup, 040},
        {QFileDevice::WriteGroup, 020}, {QFileDevice::ExeGroup, 010},
        {QFileDevice::ReadOther, 04},   {QFileDevice::WriteOther, 02},
        {QFileDevice::ExeOther, 01}};
    for (const auto &[permission, bit] : bits) {
        if (permissions.testFlag(permission))
            mode |= bit;
    }
    return mode;
}

QString account()
{
    for (const char *variable : {"USER", "LOGNAME", "USERNAME"}) {
        const QString name = qEnvironmentVariable(variable);
        if (!name.isEmpty())
            return QStringLiteral("у пользователя %1").arg(name);
    }
    return QStringLiteral("у этой учётной записи");
}

QString noWriteRight(const QFileInfo &info, const QString &what)
{
    return QStringLiteral("%1 нет права записи в %2 %3 (владелец %4, группа %5, права %6)")
        .arg(account(), what, QDir::toNativeSeparators(info.absoluteFilePath()), info.owner(),
             info.group(), FileModes::modeText(modeBits(info.permissions())));
}

} // namespace

QString DataFileAccess::writeProblem(const Database &database)
{
    const QString why = reason(database);
    return why.isEmpty() ? QString() : QStringLiteral("data.db недоступна для записи: %1").arg(why);
}

QString DataFileAccess::reason(const Database &database)
{
    const QFileInfo file(database.fileName());
    const QFileInfo folder(file.absolutePath());
    if (!folder.isDir())
        return QStringLiteral("папки %1 нет").arg(QDir::toNativeSeparators(folder.filePath()));
    if (QStorageInfo(folder.absoluteFilePath()).isReadOnly())
        return QStringLiteral("файловая система папки %1 только для чтения")
            .arg(QDir::toNativeSeparators(folder.absoluteFilePath()));
    if (file.exists() && !file.isWritable())
        return noWriteRight(file, QStringLiteral("файл"));
    // SQLite makes the file, and the write-ahead log beside it, in the folder.
    const bool makesFiles =
        !file.exists() || !QFileInfo::exists(file.absoluteFilePath() + QStringLiteral("-wal"));
    if (makesFiles && !folder.isWritable())
        return noWriteRight(folder, QStringLiteral("папку"));
    if (!database.isOpen())
        return database.openErrorMessage();
    if (database.isReadOnly())
        return QStringLiteral("файл открыт только для чтения");
    return {};
}
