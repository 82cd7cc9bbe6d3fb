#include "filemodes.h"

#include "recordslog.h"

#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

#ifdef Q_OS_UNIX
constexpr unsigned PermissionBits = 0777;
constexpr unsigned OthersBits = 0007;

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}
#endif

} // namespace

bool FileModes::isSharedFolder(const QString &folder)
{
#ifdef Q_OS_UNIX
    struct stat status = {};
    if (::stat(QFile::encodeName(folder).constData(), &status) != 0)
        return false;
    return S_ISDIR(status.st_mode) && (status.st_mode & S_ISGID) && (status.st_mode & S_IWGRP);
#else
    Q_UNUSED(folder)
    return false;
#endif
}

unsigned FileModes::modeFor(const QString &file)
{
    return isSharedFolder(QFileInfo(file).absolutePath()) ? SharedMode : PrivateMode;
}

bool FileModes::createPrivate(const QString &file)
{
#ifdef Q_OS_UNIX
    const unsigned mode = modeFor(file);
    const int descriptor =
        ::open(QFile::encodeName(file).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (descriptor < 0) {
        if (errno != EEXIST)
            qCWarning(lcRecords) << "cannot make" << file << systemError();
        return false;
    }
    // The umask may have taken the group's rights away.
    const bool set = ::fchmod(descriptor, mode) == 0;
    ::close(descriptor);
    return set;
#else
    Q_UNUSED(file)
    return false;
#endif
}

QList<FileModes::Change> FileModes::tighten(const QString &file)
{
    QList<Change> changes;
#ifdef Q_OS_UNIX
    for (const QString &path :
         {file, file + QStringLiteral("-wal"), file + QStringLiteral("-shm")}) {
        struct stat status = {};
        const QByteArray name = QFile::encodeName(path);
        if (::stat(name.constData(), &status) != 0 || !(status.st_mode & OthersBits))
            continue;
        Change change;
        change.file = path;
        change.before = status.st_mode & PermissionBits;
        change.after = change.before & ~OthersBits;
        if (::chmod(name.constData(), change.after) != 0)
            change.problem = systemError();
        changes << change;
    }
#else
    Q_UNUSED(file)
#endif
    return changes;
}

QString FileModes::modeText(unsigned mode)
{
    QString text;
    for (int shift = 6; shift >= 0; shift -= 3) {
        text += QLatin1Char(mode & (04u << shift) ? 'r' : '-');
        text += QLatin1Char(mode & (02u << shift) ? 'w' : '-');
        text += QLatin1Char(mode & (01u << shift) ? 'x' : '-');
    }
    return text;
}
