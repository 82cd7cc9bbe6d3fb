#ifndef TEMPORARYSTORE_H
#define TEMPORARYSTORE_H

#include <QStringList>
#include <QTemporaryDir>

// A recipe store in a fresh temporary folder, made the program's store and its only candidate
// directory, holding a recipe with the placeholder description for each name given.
class TemporaryStore
{
public:
    explicit TemporaryStore(const QStringList &names = {});

    // The file of that recipe.
    QString file(const QString &name) const;

private:
    QTemporaryDir folder;
};

#endif // TEMPORARYSTORE_H
