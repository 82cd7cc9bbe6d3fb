#include "trendwindow.h"

#include "trendchart.h"

TrendWindow::TrendWindow(Source cycles, QWidget *parent)
    : QDialog(parent, Qt::Window)
    , source(std::move(cycles))
    , trend(new TrendChart)
{
    setupUi(this);
    chartView->setChart(trend);
    chartView->setRenderHint(QPainter::Antialiasing);
    redrawTimer.setSingleShot(true);
    redrawTimer.setInterval(RedrawMs);
    connect(&redrawTimer, &QTimer::timeout, this, &TrendWindow::redraw);
}

void TrendWindow::setCaption(const QString &caption)
{
    captionLabel->setText(caption);
}

void TrendWindow::setUnit(const QString &unit)
{
    trend->setUnit(unit);
}

void TrendWindow::cyclesChanged()
{
    if (isVisible() && !redrawTimer.isActive())
        redrawTimer.start();
}

void TrendWindow::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    redraw();
}

void TrendWindow::redraw()
{
    trend->showCycles(source());
}

#include "moc_trendwindow.cpp"
