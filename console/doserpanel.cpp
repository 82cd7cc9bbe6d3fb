#include "doserpanel.h"

#include "batchprogressview.h"
#include "lineeditembedded.h"
#include "statecolours.h"

#include <QGroupBox>
#include <QLabel>

DoserPanel::DoserPanel(const Widgets &widgets, const ProcessImage &image, QObject *parent)
    : QObject(parent)
    , form(widgets)
    , image(image)
{
    drawn.netWeight.value = qQNaN();
    connect(form.taskWeight, &LineEditEmbedded::textHasEntered, this,
            [this](const QString &text) { emit taskWeightEntered(shownPosition, text); });
    connect(form.plusTolerance, &LineEditEmbedded::textHasEntered, this,
            [this](const QString &text) { emit plusToleranceEntered(shownPosition, text); });
    connect(form.minusTolerance, &LineEditEmbedded::textHasEntered, this,
            [this](const QString &text) { emit minusToleranceEntered(shownPosition, text); });
}

void DoserPanel::showPosition(int position)
{
    shownPosition = position;
    drawAll();
}

void DoserPanel::setTitle(int address, const QString &product)
{
    form.container->setTitle(QStringLiteral("Дозатор ") + QStringLiteral("%1 - ").arg(address)
                             + product);
}

void DoserPanel::showState(const QString &text, bool bold)
{
    QLabel *label = form.state;
    QPalette palette = label->palette();
    QFont font = label->font();
    font.setBold(bold);
    label->setText(text);
    // A state without a name of its own keeps the label's colour.
    DoserState state;
    if (doserStateFromText(text, state))
        palette.setColor(QPalette::WindowText, StateColours::of(state));
    label->setPalette(palette);
    label->setFont(font);
}

void DoserPanel::drawAll()
{
    stateDrawn = false;
    drawn = DoserImage();
    drawn.netWeight.value = qQNaN();
    drawn.batch.delivered.value = qQNaN();
    drawn.totalDoseCount = ~0u;
    drawn.doseCount.value = drawn.shiftWeight.value = drawn.totalWeight.value = qQNaN();
    draw(shownPosition);
}

void DoserPanel::draw(int position)
{
    if (position != shownPosition || position < 0 || position >= image.doserCount())
        return;
    const DoserImage &now = image.doser(position);
    if (!stateDrawn || now.state != drawn.state) {
        showState(doserStateText(now.state), true);
        stateDrawn = true;
    }
    if (now.netWeight != drawn.netWeight)
        form.netWeight->setText(now.netWeight.text());
    // Shown with two decimals whatever the doser's.
    if (now.batch.delivered.value != drawn.batch.delivered.value)
        form.delivered->setText(QString::number(now.batch.delivered.value, 'f', 2));
    if (now.doseCount != drawn.doseCount)
        form.doseCount->setText(now.doseCount.text());
    if (now.shiftWeight != drawn.shiftWeight)
        form.shiftWeight->setText(now.shiftWeight.text());
    if (now.totalDoseCount != drawn.totalDoseCount)
        form.totalDoseCount->setText(QString::number(now.totalDoseCount));
    if (now.totalWeight != drawn.totalWeight)
        form.totalWeight->setText(now.totalWeight.text());
    if (now.unit != drawn.unit && !now.unit.isEmpty()) {
        for (QLabel *unit : std::as_const(form.units))
            unit->setText(now.unit);
    }
    form.progress->draw(now);
    drawn = now;
}

#include "moc_doserpanel.cpp"
