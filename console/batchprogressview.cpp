#include "batchprogressview.h"

#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QProgressBar>

namespace {

constexpr int ClockPeriodMs = 1000;
// The bar counts in thousandths of the target, smooth enough for any target.
constexpr int BarSteps = 1000;
constexpr int LeastBarWidth = 120;
// Room the style leaves between the bar's edge and its text.
constexpr int BarTextMargin = 8;
constexpr int ColumnSpacing = 12;
constexpr QSizePolicy::Policy BarHeightPolicy = QSizePolicy::Fixed;
const QString Unknown = QStringLiteral("—");

// The widest each column of figures gets, so the strip keeps still while the batch runs.
const QString WidestDose = QStringLiteral("доза 888 из 888");
const QString WidestPhase = QStringLiteral("разгрузка");
const QString WidestElapsed = QStringLiteral("прошло 88:88:88");
const QString WidestLeft = QStringLiteral("осталось ≈ 88:88:88");

int barRows(bool withLot)
{
    return withLot ? 1 : 2;
}

QLabel *addLabel(QGridLayout *layout, int row, int column)
{
    auto *label = new QLabel(layout->parentWidget());
    layout->addWidget(label, row, column);
    return label;
}

} // namespace

// The bar with its text takes what the figures leave; they stand in two rows of two beside it,
// so none is drawn over another at the console's width. A lot takes the bar's upper row, cut
// with "…" to what the figures leave (the whole lot in its tooltip), so it never widens the strip;
// a running schedule's place shares that row, before the lot.
BatchProgressView::BatchProgressView(QWidget *parent)
    : QWidget(parent)
    , delivered(new QProgressBar(this))
    , lot(new QLabel(this))
{
    auto *layout = new QGridLayout(this);
    layout->setContentsMargins(4, 0, 4, 0);
    layout->setHorizontalSpacing(ColumnSpacing);
    layout->setVerticalSpacing(0);
    delivered->setRange(0, BarSteps);
    delivered->setTextVisible(true);
    delivered->setMinimumWidth(LeastBarWidth);
    layout->addWidget(delivered, 0, 0, barRows(false), 1);
    layout->setColumnStretch(0, 1);
    lot->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    lot->setMinimumWidth(0);
    lot->hide();
    lot->installEventFilter(this);
    dose = addLabel(layout, 0, 1);
    phase = addLabel(layout, 1, 1);
    elapsed = addLabel(layout, 0, 2);
    left = addLabel(layout, 1, 2);
    const QFontMetrics metrics = fontMetrics();
    const auto widest = [&metrics](const QString &one, const QString &other) {
        return qMax(metrics.boundingRect(one).width(), metrics.boundingRect(other).width());
    };
    layout->setColumnMinimumWidth(1, widest(WidestDose, WidestPhase));
    layout->setColumnMinimumWidth(2, widest(WidestElapsed, WidestLeft));
    connect(&clock, &QTimer::timeout, this, &BatchProgressView::drawClock);
    draw(DoserImage());
}

QString BatchProgressView::phaseText(BatchState state, DosePhase phase)
{
    if (state != BatchState::Running)
        return QStringLiteral("ожидание");
    switch (phase) {
    case DosePhase::FillDue:
    case DosePhase::Filling:
        return QStringLiteral("набор");
    case DosePhase::Starting:
    case DosePhase::Residue:
    case DosePhase::DischargeDue:
    case DosePhase::Discharging:
        return QStringLiteral("разгрузка");
    case DosePhase::None:
        break;
    }
    return QStringLiteral("ожидание");
}

QString BatchProgressView::durationText(qint64 ms)
{
    const qint64 seconds = qMax<qint64>(0, ms) / 1000;
    const QString minutesAndSeconds = QStringLiteral("%1:%2")
                                          .arg((seconds / 60) % 60, 2, 10, QLatin1Char('0'))
                                          .arg(seconds % 60, 2, 10, QLatin1Char('0'));
    if (seconds < 3600)
        return minutesAndSeconds;
    return QStringLiteral("%1:%2").arg(seconds / 3600).arg(minutesAndSeconds);
}

void BatchProgressView::draw(const DoserImage &doser)
{
    shown = doser;
    const BatchProgress &batch = doser.batch;
    const bool open = batch.butchId != 0 && batch.target.value > 0;
    const double share = open ? qBound(0.0, batch.delivered.value / batch.target.value, 1.0) : 0;
    delivered->setValue(int(share * BarSteps));
    const QString deliveredText =
        open ? QStringLiteral("%1 из %2 %3 (%4 %)")
                   .arg(batch.delivered.text(), batch.target.text(), doser.unit)
                   .arg(qRound(share * 100))
             : QString();
    delivered->setFormat(deliveredText);
    // The bar never narrower than its text, which the style would draw beyond it.
    delivered->setMinimumWidth(
        qMax(LeastBarWidth,
             delivered->fontMetrics().boundingRect(deliveredText).width() + 2 * BarTextMargin));
    // The dose in work is the one after those counted.
    const bool inWork = batch.state == BatchState::Running && batch.phase != DosePhase::None
                        && batch.phase != DosePhase::Starting && batch.phase != DosePhase::Residue;
    const int planned = qMax(batch.doseNumber, batch.plannedDoses);
    dose->setText(open ? QStringLiteral("доза %1 из %2")
                             .arg(qMin(batch.doseNumber + (inWork ? 1 : 0), planned))
                             .arg(planned)
                       : QString());
    phase->setText(open ? phaseText(batch.state, batch.phase) : QString());
    placeLot(open ? batch.lot : QString());
    if (batch.state == BatchState::Running && !clock.isActive())
        clock.start(ClockPeriodMs);
    else if (batch.state != BatchState::Running)
        clock.stop();
    drawClock();
}

void BatchProgressView::setSchedule(const QString &text)
{
    if (text == scheduleText)
        return;
    scheduleText = text;
    placeLot(lotText);
}

QString BatchProgressView::aboveBar() const
{
    QStringList parts;
    if (!scheduleText.isEmpty())
        parts << scheduleText;
    if (!lotText.isEmpty())
        parts << QStringLiteral("партия %1").arg(lotText);
    return parts.join(QStringLiteral("; "));
}

void BatchProgressView::placeLot(const QString &text)
{
    lotText = text;
    const QString above = aboveBar();
    if (above == shownAbove)
        return;
    const bool was = !shownAbove.isEmpty();
    shownAbove = above;
    lot->setToolTip(above);
    if (was != !above.isEmpty()) {
        auto *grid = static_cast<QGridLayout *>(layout());
        grid->removeWidget(delivered);
        grid->addWidget(delivered, above.isEmpty() ? 0 : 1, 0, barRows(!above.isEmpty()), 1);
        if (above.isEmpty()) {
            grid->removeWidget(lot);
            lot->hide();
        } else {
            grid->addWidget(lot, 0, 0);
            lot->show();
        }
        // In one row the bar takes the height of the figures' row beside it.
        QSizePolicy policy = delivered->sizePolicy();
        policy.setVerticalPolicy(above.isEmpty() ? BarHeightPolicy : QSizePolicy::Ignored);
        delivered->setSizePolicy(policy);
    }
    fitLot();
}

void BatchProgressView::fitLot()
{
    lot->setText(lot->fontMetrics().elidedText(shownAbove, Qt::ElideRight, lot->width()));
}

bool BatchProgressView::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == lot && event->type() == QEvent::Resize)
        fitLot();
    return QWidget::eventFilter(watched, event);
}

void BatchProgressView::drawClock()
{
    const BatchProgress &batch = shown.batch;
    if (batch.butchId == 0 || !batch.started.isValid()) {
        elapsed->clear();
        left->clear();
        return;
    }
    elapsed->setText(QStringLiteral("прошло %1")
                         .arg(durationText(batch.started.msecsTo(QDateTime::currentDateTime()))));
    const int fillsLeft = batch.plannedDoses - batch.doseNumber;
    QString estimate = Unknown;
    if (batch.state == BatchState::Finished || fillsLeft <= 0)
        estimate = durationText(0);
    else if (batch.cycleMs > 0)
        estimate = QStringLiteral("≈ ") + durationText(batch.cycleMs * fillsLeft);
    left->setText(QStringLiteral("осталось %1").arg(estimate));
}

#include "moc_batchprogressview.cpp"
