#include "temporarystore.h"

#include "receiptdescription.h"
#include "receiptstore.h"

#include <QFile>

TemporaryStore::TemporaryStore(const QStringList &names)
{
    // Also the one candidate, so that a host choosing the store directory finds this one.
    qputenv(ReceiptStore::DirectoryVariable, QFile::encodeName(folder.path()));
    ReceiptStore::setStoreDirectory(folder.path());
    for (const QString &name : names)
        ReceiptStore::createReceipt(name, ReceiptDescriptionPlaceholder.toString());
}

QString TemporaryStore::file(const QString &name) const
{
    return folder.filePath(name + QStringLiteral(".db"));
}
