#include "trendchart.h"

#include <QAreaSeries>
#include <QLineSeries>
#include <QPen>
#include <QScatterSeries>
#include <QValueAxis>

#include <cmath>
#include <limits>

namespace {

const QColor WeightColour(25, 90, 170);
const QColor OrderedColour(25, 140, 25);
const QColor BandColour(25, 140, 25, 50);
const QColor CountedColour(212, 54, 56);
constexpr qreal CountedMarkSize = 9;
// Room above the highest weight, so the band's top is not on the frame.
constexpr qreal Headroom = 1.08;

double seconds(qint64 ms)
{
    return double(ms) / 1000.0;
}

// Ticks at 1, 2 or 5 times a power of ten, about five over the range, the range on ticks.
void setRoundRange(QValueAxis *axis, double from, double to)
{
    constexpr int Ticks = 5;
    const double rough = qMax((to - from) / Ticks, 1e-6);
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    double step = power;
    for (double factor : {1.0, 2.0, 5.0, 10.0}) {
        step = factor * power;
        if (step >= rough)
            break;
    }
    axis->setTickType(QValueAxis::TicksDynamic);
    axis->setTickAnchor(0);
    axis->setTickInterval(step);
    axis->setRange(std::floor(from / step) * step, std::ceil(to / step) * step);
}

} // namespace

TrendChart::TrendChart(QGraphicsItem *parent)
    : QChart(parent)
    , weightLine(new QLineSeries(this))
    , orderedLine(new QLineSeries(this))
    , bandTop(new QLineSeries(this))
    , bandBottom(new QLineSeries(this))
    , toleranceBand(new QAreaSeries(bandTop, bandBottom))
    , countedMarks(new QScatterSeries(this))
    , timeAxis(new QValueAxis(this))
    , weightAxis(new QValueAxis(this))
{
    weightLine->setName(QStringLiteral("Вес в ковше"));
    weightLine->setPen(QPen(WeightColour, 2));
    orderedLine->setName(QStringLiteral("Заданная доза"));
    orderedLine->setPen(QPen(OrderedColour, 1, Qt::DashLine));
    toleranceBand->setName(QStringLiteral("Допуск дозы"));
    toleranceBand->setBrush(BandColour);
    toleranceBand->setPen(Qt::NoPen);
    countedMarks->setName(QStringLiteral("Учтённая разгрузка"));
    countedMarks->setColor(CountedColour);
    countedMarks->setMarkerSize(CountedMarkSize);

    timeAxis->setTitleText(QStringLiteral("с"));
    timeAxis->setLabelFormat(QStringLiteral("%g"));
    weightAxis->setLabelFormat(QStringLiteral("%g"));
    addAxis(timeAxis, Qt::AlignBottom);
    addAxis(weightAxis, Qt::AlignLeft);
    for (QAbstractSeries *series :
         {static_cast<QAbstractSeries *>(toleranceBand),
          static_cast<QAbstractSeries *>(orderedLine), static_cast<QAbstractSeries *>(weightLine),
          static_cast<QAbstractSeries *>(countedMarks)}) {
        addSeries(series);
        series->attachAxis(timeAxis);
        series->attachAxis(weightAxis);
    }
    legend()->setAlignment(Qt::AlignTop);
    setMargins(QMargins(4, 4, 4, 4));
    // Animations would redraw the whole chart many times a second.
    setAnimationOptions(QChart::NoAnimation);
    showCycles({});
}

void TrendChart::setUnit(const QString &unit)
{
    weightAxis->setTitleText(unit);
}

void TrendChart::showCycles(const QList<CycleTrace> &cycles)
{
    QList<QPointF> weights;
    QList<QPointF> ordered;
    QList<QPointF> top;
    QList<QPointF> bottom;
    QList<QPointF> counted;
    double lowest = 0;
    double highest = 0;
    qint64 first = std::numeric_limits<qint64>::max();
    qint64 last = 0;
    for (const CycleTrace &cycle : cycles) {
        for (const TrendSample &sample : cycle.samples) {
            weights.append({seconds(sample.ms), sample.weight});
            lowest = qMin(lowest, sample.weight);
            highest = qMax(highest, sample.weight);
        }
        if (cycle.samples.isEmpty())
            continue;
        first = qMin(first, cycle.samples.first().ms);
        last = qMax(last, cycle.samples.last().ms);
        if (cycle.ordered > 0) {
            const double from = seconds(cycle.samples.first().ms);
            const double to = seconds(cycle.samples.last().ms);
            ordered << QPointF(from, cycle.ordered) << QPointF(to, cycle.ordered);
            top << QPointF(from, cycle.ordered + cycle.plusTolerance)
                << QPointF(to, cycle.ordered + cycle.plusTolerance);
            bottom << QPointF(from, cycle.ordered - cycle.minusTolerance)
                   << QPointF(to, cycle.ordered - cycle.minusTolerance);
            highest = qMax(highest, cycle.ordered + cycle.plusTolerance);
        }
        if (cycle.counted) {
            counted.append({seconds(cycle.countedMs), cycle.discharged});
            last = qMax(last, cycle.countedMs);
        }
    }
    weightLine->replace(weights);
    orderedLine->replace(ordered);
    bandTop->replace(top);
    bandBottom->replace(bottom);
    countedMarks->replace(counted);
    if (weights.isEmpty()) {
        timeAxis->setRange(0, 60);
        weightAxis->setRange(0, 1);
        return;
    }
    setRoundRange(timeAxis, seconds(first), qMax(seconds(last), seconds(first) + 1));
    // Noise around an empty hopper is no reason to draw below zero.
    const double ceiling = highest > 0 ? highest * Headroom : 1;
    setRoundRange(weightAxis, lowest < -0.02 * ceiling ? lowest * Headroom : 0, ceiling);
}

#include "moc_trendchart.cpp"
