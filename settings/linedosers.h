#ifndef LINEDOSERS_H
#define LINEDOSERS_H

#include <QList>
#include <QString>

class QSettings;

// One doser on the serial line: its address there and the name the operator gave it.
struct LineDoser
{
    static constexpr int DefaultAddress = 30;

    int address = DefaultAddress;
    QString name;

    // What the console calls the doser: its name, or "Дозатор <address>" when it has none.
    QString shownName() const;

    bool operator==(const LineDoser &other) const;
    bool operator!=(const LineDoser &other) const { return !(*this == other); }
};

// The dosers on the line, kept in the settings store in their order on the console. The first
// doser's address is also kept under "k310Id", which older installations hold alone.
class LineDosers
{
public:
    static constexpr int LowestAddress = 0;
    static constexpr int HighestAddress = 127;
    static constexpr int MostNameCharacters = 16;
    // Where the first doser's address is kept for older installations.
    static constexpr const char *K310IdKey = "k310Id";

    // The stored line; without one, a single doser at the stored "k310Id" (30 when none).
    // Stored entries that could not have been added (address out of range, taken twice) are
    // skipped, so the line is always one that could have been built through the dialog.
    static QList<LineDoser> load(QSettings &store);
    static void save(QSettings &store, const QList<LineDoser> &line);

    // Why the doser may not join the line, in words for the operator; empty when it may.
    static QString refusal(const QList<LineDoser> &line, const LineDoser &added);
    // Why the doser at that position may not leave the line; empty when it may.
    static QString removalRefusal(const QList<LineDoser> &line, int position);
};

#endif // LINEDOSERS_H
