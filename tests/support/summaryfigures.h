#ifndef SUMMARYFIGURES_H
#define SUMMARYFIGURES_H

// For tests that link k310_records: the statistics of a range of batches as the window shows
// them, a line per product and unit, from the days' summaries or from the rows, to compare.
#include "daysummaries.h"

#include <QStringList>

inline QStringList shownFigures(const QList<DaySummaries::Total> &totals)
{
    QStringList lines;
    for (const DaySummaries::Total &total : totals) {
        const DoseAccuracy &figures = total.accuracy;
        lines << QStringList {total.product,
                              total.unit,
                              QString::number(total.tasks),
                              QString::number(total.delivered, 'f', 6),
                              QString::number(figures.count()),
                              figures.meanText(),
                              figures.standardDeviationText(),
                              figures.largestText(),
                              figures.withinToleranceText(),
                              figures.cpText(),
                              figures.cpkText(),
                              figures.classText()}
                     .join(u'|');
    }
    return lines;
}

inline QStringList figuresOfSummaries(DaySummaries &summaries, qint64 first, qint64 last)
{
    const std::optional<QList<DaySummaries::Total>> totals = summaries.ofSummaries(first, last);
    return totals ? shownFigures(*totals) : QStringList {QStringLiteral("<no summaries>")};
}

inline QStringList figuresOfRows(DaySummaries &summaries, qint64 first, qint64 last)
{
    return shownFigures(summaries.ofRows(first, last));
}

#endif // SUMMARYFIGURES_H
