#ifndef DATASALVAGE_H
#define DATASALVAGE_H

#include <QString>
#include <QtGlobal>

// What can still be read of a records file kept aside, merged into the file put in its place
// (a copy from backup/, or a new empty one). Every table the target has is read from the kept
// file row by row in rowid order; a stretch SQLite cannot read is stepped over, so a bad page
// costs only its own rows. The kept file itself is only read.
class DataSalvage
{
public:
    // Which file's row stands where both have one: the kept file's when it is the newer (found
    // damaged), the target's when the kept one is behind it (its log lost, an old copy).
    enum class Newer { Kept, Target };

    struct Count
    {
        // Rows above the target's highest id before the merge that it holds afterwards.
        qint64 recovered = 0;
        // Ids in that range that should be there (up to the highest the kept file or the mark
        // shows) and are not: rows that could not be read.
        qint64 lost = 0;
    };
    struct Result
    {
        bool merged = false;
        Count butches;
        Count doses;
        Count events;
        // Rows read from the kept file, and stretches that could not be read.
        qint64 rowsRead = 0;
        int unreadable = 0;
        // SQLite's quick check of the target afterwards.
        bool sound = false;
        QString error;
    };

    // `schemaCopy`, a sound copy of the same records (from backup/), lends its schema pages when
    // the kept file's own cannot be read (a file cut off before them): tables keep their first
    // page for life, so the copy's schema finds the kept file's tables.
    DataSalvage(const QString &keptFile, const QString &targetFile,
                const QString &schemaCopy = QString());

    // The target must have its tables. The marks are the highest ids the
    // records had handed out, as far as anything outside them knows (0 when nothing does).
    Result merge(Newer newer, qint64 butchMark = 0, qint64 eventMark = 0, qint64 doseMark = 0);

private:
    // A copy of the kept file with the schema pages of `schemaCopy`; empty when none could be
    // made.
    QString lendSchema() const;

    QString kept;
    QString target;
    QString schemaSource;
};

#endif // DATASALVAGE_H
