#ifndef LOTNUMBERS_H
#define LOTNUMBERS_H

#include <QDateTime>
#include <QMap>
#include <QString>

class Database;

// The lot a batch is traced by at the plant, typed by the operator or made from a pattern. A
// pattern is copied as it stands except for its tokens, each a name in braces, in Latin or
// Cyrillic letters alike:
//
//     {YYYY} {ГГГГ}   the year, four digits          {MM} {ММ}   the month, two digits
//     {YY}   {ГГ}     the year's last two digits     {DD} {ДД}   the day, two digits
//     {N}, {NN}, ... {NNNNNNNN} (or Cyrillic Н)      the pattern's counter, zero-padded to at
//                                                    least as many digits as letters
//
// so "П{ГГ}{ММ}-{NNNN}" gives "П2612-0001", then "П2612-0002". Braces around anything else are
// copied too. The counter belongs to the pattern as written and never repeats: data.db keeps the
// highest number taken of each pattern (table lotCounter), raised in the transaction that writes
// the batch's row, and the mark beside data.db carries it (see HighWaterMark), so a copy of
// data.db put back does not hand a number out again. It never restarts, not with the day either.
class LotNumbers
{
public:
    // The longest lot, in characters: the Modbus block holds that many.
    static constexpr int MaxLength = 32;

    explicit LotNumbers(Database &database);

    // The lot the pattern gives next at that moment; nothing is taken, so asking twice gives
    // the same lot. Empty for an empty pattern.
    QString next(const QString &pattern, const QDateTime &at = QDateTime::currentDateTime());
    // Takes the lot's counter of the pattern, so it is not given again: the lot read back
    // through the pattern, and the counter raised to its number. A lot that does not read as
    // the pattern's (typed over) takes nothing. Meant inside the transaction that writes the
    // batch's row; false when the counter could not be written.
    bool take(const QString &pattern, const QString &lot);
    // Raises the counters to these where they are lower, as after a recovery; false when they
    // could not be written.
    bool accept(const QMap<QString, qint64> &counters);

    // The counters data.db keeps, pattern by pattern; empty for a file without them.
    static QMap<QString, qint64> counters(Database &database);
    // Why the lot cannot be a batch's: empty, too long, or a character that prints nothing.
    // Empty when it can.
    static QString problem(const QString &lot);
    static bool hasCounter(const QString &pattern);

private:
    qint64 highestTaken(const QString &pattern);

    Database &database;
};

#endif // LOTNUMBERS_H
