#ifndef RECEIPTSTORE_H
#define RECEIPTSTORE_H

#include <QDir>
#include <QString>
#include <QStringList>
#include <QStringView>

// The recipe store: one directory for the whole program, holding one SQLite file per recipe,
// named after the recipe, with its description. Every file operation of the recipe windows goes
// through here, and none of them reaches a file outside the directory: a name that could point
// elsewhere is refused, and links in the directory are neither listed nor followed.
class ReceiptStore
{
public:
    // When set, the one store directory instead of the usual candidates.
    static constexpr char DirectoryVariable[] = "K310_RECEIPTS_DIR";
    static constexpr QLatin1String FileSuffix {".db"};
    static constexpr QStringView ForbiddenCharacters = u"\\/:*?<>|\"";

    enum class Access { ReadOnly, ReadWrite, Create };

    // The directories tried in order by createReceiptsStoreDir().
    static QStringList candidateDirectories();
    // Moves the store onto the first candidate that exists or can be made and takes new files;
    // false when none does (the last one is used all the same).
    static bool createReceiptsStoreDir();
    // Uses that directory from now on, without trying the candidates.
    static void setStoreDirectory(const QString &directory);
    // The store directory with a trailing separator; chosen from the candidates on first use,
    // so the working directory (which holds data.db) is never taken for the store.
    static QString receiptsStorePath();

    // The recipe names, in the order of their file names.
    static QStringList receiptNames();
    // Store path + name + ".db"; empty for a name that could lead out of the store.
    static QString filePath(const QString &name);
    // The recipe name of a file path of the store.
    static QString nameOfPath(const QString &path);
    // Whether anything, even a dangling link, holds the file name of a name that stays in the
    // store.
    static bool exists(const QString &name);
    // A character the operator may not put into a new name (also any control character).
    static bool hasForbiddenCharacter(const QString &name);
    // A plain file, not a link, so that writing it cannot land elsewhere.
    static bool isReceiptFile(const QString &path);
    // The name SQLite opens a recipe file by; only Access::Create may make the file.
    static QString sqliteName(const QString &path, Access access);

    // The stored description, or the placeholder when there is none or it cannot be read.
    static QString readDescription(const QString &name);
    static bool writeDescription(const QString &name, const QString &description);
    // Makes the file of a new recipe with its description row; false (and no file) on failure.
    static bool createReceipt(const QString &name, const QString &description);
    static bool renameReceipt(const QString &oldName, const QString &newName);
    // True also when the file is already gone.
    static bool removeReceipt(const QString &name);

private:
    static bool isSafeName(const QString &name);
    static void useDirectory(const QString &directory);

    static inline QString receiptsStorePathValue;
    static inline QDir receiptsStoreDir;
};

#endif // RECEIPTSTORE_H
