#ifndef TEMPORARYDATABASE_H
#define TEMPORARYDATABASE_H

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

// A data.db in a fresh temporary folder, removed with the fixture. It reaches the file through
// its own SQLite connection, so tests arrange and inspect records without the code under test.
class TemporaryDatabase
{
public:
    TemporaryDatabase();
    // The data.db of a folder someone else made and removes (a second process of a test).
    explicit TemporaryDatabase(const QString &existingFolder);

    QString folderPath() const;

    bool isValid() const { return !folder.isEmpty(); }
    QString path() const;
    // The four tables of the production records.
    bool createTables();
    // The dose rows' table as the program made it before tasks had ids of their own.
    bool createDoseTable();
    // Runs one statement with ?1, ?2, ... bound to the texts; false on failure.
    bool exec(const QString &sql, const QStringList &texts = {});
    // The values of a query, row after row (NULL as the empty text).
    QStringList select(const QString &sql, const QStringList &texts = {});

    // A finished batch started on the day; returns its idButch.
    int addButch(const QString &day);
    void addTask(int idButch, const QString &product, const QString &unit,
                 const QString &deliveredWeight);
    // A dose of doser 30 (the dose table must exist); an empty ordered weight makes a residue,
    // empty tolerances a row of a file older than them.
    void addDose(int idButch, const QString &ordered, const QString &discharged,
                 const QString &unit, int decimals, bool counted = true,
                 const QString &tolerancePlus = QString(),
                 const QString &toleranceMinus = QString());

    // Makes the file read-only and returns the name to open it by. Root ignores permission bits,
    // so then the name asks SQLite for the read-only opening it falls back to by itself.
    QString makeReadOnly();

    enum class Broken { NotADatabase, ReadOnly, MissingDirectory };
    // Spoils the file in that way (a read-only one is empty: no tables) and returns its name.
    QString spoil(Broken how);

    // Overwrites pages of a closed file (1 is the first) with noise, as a failing disk or a
    // write cut by a power failure leaves them; false when the file has fewer pages.
    bool overwritePages(int firstPage, int count);

private:
    std::unique_ptr<QTemporaryDir> owned;
    QString folder;
};

#endif // TEMPORARYDATABASE_H
