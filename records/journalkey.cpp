#include "journalkey.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

namespace {

bool create(const QString &fileName, QString &problem)
{
    QByteArray bytes(JournalKey::Size, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32 *>(bytes.data()),
                                          JournalKey::Size / int(sizeof(quint32)));
    QFile file(fileName);
    // Made with its mode at once: there is no moment at which others may read it.
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly,
                   QFileDevice::ReadOwner | QFileDevice::WriteOwner)
        || file.write(bytes) != bytes.size() || !file.flush()) {
        problem = file.errorString();
        file.remove();
        return false;
    }
    return true;
}

} // namespace

static_assert(JournalKey::Size % sizeof(quint32) == 0);

QString JournalKey::fileBeside(const QString &databaseFile)
{
    return QFileInfo(databaseFile).absoluteDir().filePath(QString::fromLatin1(FileName));
}

JournalKey JournalKey::open(const QString &databaseFile, WhenMissing whenMissing)
{
    const QString fileName = fileBeside(databaseFile);
    if (!QFileInfo::exists(fileName)) {
        if (whenMissing == WhenMissing::Fail)
            return failed(QStringLiteral("нет файла %1").arg(fileName));
        QString problem;
        // Another program may have made it meanwhile; then that one is read.
        if (!create(fileName, problem) && !QFileInfo::exists(fileName))
            return failed(QStringLiteral("%1 не создан: %2").arg(fileName, problem));
    }
#ifdef Q_OS_UNIX
    // A key anyone may read seals nothing.
    if (QFileInfo(fileName).permissions() & (QFileDevice::ReadOther | QFileDevice::WriteOther))
        return failed(QStringLiteral("%1 доступен всем пользователям").arg(fileName));
#endif
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return failed(QStringLiteral("%1 не прочитан: %2").arg(fileName, file.errorString()));
    JournalKey key;
    key.bytes = file.read(Size + 1);
    if (!key.isValid())
        return failed(QStringLiteral("%1: не %2 байта").arg(fileName).arg(Size));
    return key;
}

JournalKey JournalKey::failed(const QString &text)
{
    JournalKey key;
    key.problemText = text;
    return key;
}
