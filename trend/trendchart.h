#ifndef TRENDCHART_H
#define TRENDCHART_H

#include "cycletrace.h"

#include <QChart>

class QAreaSeries;
class QLineSeries;
class QScatterSeries;
class QValueAxis;

// The hopper's weight against the batch's time over its cycles: the ordered dose as a line, its
// tolerance as a band around it and each counted discharge marked. One drawing for the trend
// window and the batch's report.
class TrendChart : public QChart
{
    Q_OBJECT

public:
    explicit TrendChart(QGraphicsItem *parent = nullptr);

    void setUnit(const QString &unit);
    // Replaces what is drawn.
    void showCycles(const QList<CycleTrace> &cycles);

    QLineSeries *weight() const { return weightLine; }
    QLineSeries *ordered() const { return orderedLine; }
    QAreaSeries *tolerance() const { return toleranceBand; }
    QScatterSeries *counted() const { return countedMarks; }

private:
    QLineSeries *weightLine;
    QLineSeries *orderedLine;
    QLineSeries *bandTop;
    QLineSeries *bandBottom;
    QAreaSeries *toleranceBand;
    QScatterSeries *countedMarks;
    QValueAxis *timeAxis;
    QValueAxis *weightAxis;
};

#endif // TRENDCHART_H
