#include "receiptstore.h"

#include "database.h"
#include "receiptdescription.h"
#include "recipeslog.h"

#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUrl>

namespace {

const QString CreateDescriptionTable =
    QStringLiteral("CREATE TABLE IF NOT EXISTS receiptdescription (description TEXT);");
const QString InsertDescription =
    QStringLiteral("INSERT INTO receiptdescription (description) values (\"%1\");");
const QString SelectDescription = QStringLiteral("select * from receiptdescription");
const QString UpdateDescription =
    QStringLiteral("update receiptdescription set description = \"%1\"");
const QString CountDescriptions = QStringLiteral("select count(*) from receiptdescription");

bool isControl(QChar c)
{
    return c.category() == QChar::Other_Control;
}

} // namespace

QStringList ReceiptStore::candidateDirectories()
{
    const QString chosen = qEnvironmentVariable(DirectoryVariable);
    if (!chosen.isEmpty())
        return {chosen};
#ifdef Q_OS_WIN
    return {QStringLiteral("D://programs//"), QStringLiteral("C://programs//")};
#else
    // A system-wide folder the operators' group may write, then the user's own data folder.
    return {QStringLiteral("/var/lib/k310/recipes"),
            QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
                + QStringLiteral("/k310/recipes")};
#endif
}

bool ReceiptStore::createReceiptsStoreDir()
{
    const QStringList candidates = candidateDirectories();
    for (const QString &candidate : candidates) {
        // A directory that exists but takes no files (a read-only drive) would lose every recipe.
        if (QDir().mkpath(candidate) && QFileInfo(candidate).isWritable()) {
            useDirectory(candidate);
            return true;
        }
    }
    useDirectory(candidates.last());
    qCWarning(lcRecipes, "no recipe store directory can be made, using %s",
              qUtf8Printable(candidates.last()));
    return false;
}

void ReceiptStore::setStoreDirectory(const QString &directory)
{
    if (directory.isEmpty())
        receiptsStorePathValue.clear();
    else
        useDirectory(directory);
}

QString ReceiptStore::receiptsStorePath()
{
    if (receiptsStorePathValue.isEmpty())
        createReceiptsStoreDir();
    return receiptsStorePathValue;
}

void ReceiptStore::useDirectory(const QString &directory)
{
    receiptsStorePathValue = QDir::cleanPath(QDir(directory).absolutePath()) + u'/';
    receiptsStoreDir.setPath(receiptsStorePathValue);
}

QStringList ReceiptStore::receiptNames()
{
    const QString storePath = receiptsStorePath();
    QDir listing(storePath);
    listing.setNameFilters({u'*' + QString(FileSuffix)});
    listing.setFilter(QDir::Files | QDir::NoSymLinks | QDir::Hidden | QDir::CaseSensitive);
    listing.setSorting(QDir::Name);
    QStringList names;
    const QStringList fileNames = listing.entryList();
    for (const QString &fileName : fileNames) {
        const QString name = fileName.chopped(FileSuffix.size());
        if (isSafeName(name))
            names << name;
    }
    return names;
}

QString ReceiptStore::filePath(const QString &name)
{
    if (!isSafeName(name))
        return QString();
    return receiptsStorePath() + name + FileSuffix;
}

QString ReceiptStore::nameOfPath(const QString &path)
{
    QString name = QFileInfo(path).fileName();
    if (name.endsWith(FileSuffix))
        name.chop(FileSuffix.size());
    return name;
}

bool ReceiptStore::exists(const QString &name)
{
    const QString path = filePath(name);
    const QFileInfo entry(path);
    return !path.isEmpty() && (entry.exists() || entry.isSymLink());
}

bool ReceiptStore::hasForbiddenCharacter(const QString &name)
{
    for (const QChar c : name) {
        if (ForbiddenCharacters.contains(c) || isControl(c))
            return true;
    }
    return false;
}

bool ReceiptStore::isReceiptFile(const QString &path)
{
    const QFileInfo entry(path);
    return !path.isEmpty() && entry.isFile() && !entry.isSymLink();
}

QString ReceiptStore::sqliteName(const QString &path, Access access)
{
    // SQLite takes the file as a URI, so the mode decides whether a missing file is made.
    QString mode;
    switch (access) {
    case Access::ReadOnly:
        mode = QStringLiteral("ro");
        break;
    case Access::ReadWrite:
        mode = QStringLiteral("rw");
        break;
    case Access::Create:
        mode = QStringLiteral("rwc");
        break;
    }
    return QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded) + QStringLiteral("?mode=") + mode;
}

QString ReceiptStore::readDescription(const QString &name)
{
    const QString path = filePath(name);
    if (isReceiptFile(path)) {
        Database file(sqliteName(path, Access::ReadOnly), Database::JournalMode::Rollback);
        if (file.execQuery(SelectDescription)) {
            const QString description = file.result().value(0, 0);
            if (!description.isEmpty())
                return description;
        }
    }
    return ReceiptDescriptionPlaceholder.toString();
}

bool ReceiptStore::writeDescription(const QString &name, const QString &description)
{
    const QString path = filePath(name);
    if (!isReceiptFile(path))
        return false;
    Database file(sqliteName(path, Access::ReadWrite), Database::JournalMode::Rollback);
    // A recipe file made elsewhere may lack the table or its row; the description is kept anyway.
    if (!file.execQuery(CreateDescriptionTable) || !file.execQuery(CountDescriptions))
        return false;
    if (file.result().value(0, 0).toInt() == 0)
        return file.execQuery(InsertDescription, {description});
    return file.execQuery(UpdateDescription, {description});
}

bool ReceiptStore::createReceipt(const QString &name, const QString &description)
{
    const QString path = filePath(name);
    if (path.isEmpty() || hasForbiddenCharacter(name) || exists(name))
        return false;
    bool created = false;
    {
        Database file(sqliteName(path, Access::Create), Database::JournalMode::Rollback);
        created = file.execQuery(CreateDescriptionTable)
                  && file.execQuery(InsertDescription, {description});
    }
    if (!created)
        QFile::remove(path);
    return created;
}

bool ReceiptStore::renameReceipt(const QString &oldName, const QString &newName)
{
    const QString oldPath = filePath(oldName);
    const QString newPath = filePath(newName);
    if (!isReceiptFile(oldPath) || newPath.isEmpty() || hasForbiddenCharacter(newName)
        || exists(newName))
        return false;
    return receiptsStoreDir.rename(oldPath, newPath);
}

bool ReceiptStore::removeReceipt(const QString &name)
{
    const QString path = filePath(name);
    if (path.isEmpty())
        return false;
    // A recipe whose file is already gone counts as removed.
    if (!exists(name))
        return true;
    return isReceiptFile(path) && receiptsStoreDir.remove(path);
}

bool ReceiptStore::isSafeName(const QString &name)
{
    if (name.isEmpty())
        return false;
    for (const QChar c : name) {
        if (c == u'/' || c == u'\\' || c == u':' || isControl(c))
            return false;
    }
    return true;
}
