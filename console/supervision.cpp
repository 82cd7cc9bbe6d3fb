// What the supervision of the dosers tells the window, the panel of the selected doser and the
// overview of the line, and the doser dialog's service fields.
#include "k310_halvern.h"

#include "k310device.h"
#include "k310settings.h"
#include "linedosers.h"
#include "lineoverview.h"
#include "trendwindow.h"

#include <QDebug>
#include <QLabel>
#include <QSettings>

QLabel *K310_Halvern::getLabel(int, int field)
{
    const DoserPanel::Widgets &form = panel->widgets();
    switch (field) {
    case StateField:
        return form.state;
    case NetWeightField:
        return form.netWeight;
    case DeliveredField:
        return form.delivered;
    case DoseWeightField:
        return form.doseWeight;
    case DoseCountField:
        return form.doseCount;
    case ShiftWeightField:
        return form.shiftWeight;
    case TotalDoseCountField:
        return form.totalDoseCount;
    case TotalWeightField:
        return form.totalWeight;
    case UnitField:
        return form.units.value(0);
    default:
        return nullptr;
    }
}

void K310_Halvern::sendIfOnline(int position, void (K310Device::*request)())
{
    supervisor->sendIfOnline(position, request);
}

void K310_Halvern::requestScale(int position)
{
    sendIfOnline(position, &K310Device::requestScale);
}

void K310_Halvern::requestNPD(int position)
{
    sendIfOnline(position, &K310Device::requestNPD);
}

void K310_Halvern::requestWeightScale(int position)
{
    sendIfOnline(position, &K310Device::requestWeightScale);
}

void K310_Halvern::requestPOVersion(int position)
{
    sendIfOnline(position, &K310Device::requestPOVersion);
}

void K310_Halvern::deviceConnectionTest(int position)
{
    supervisor->connectionTest(position);
}

void K310_Halvern::hasGetScale(int id, const QString &step)
{
    if (deviceIndex(id) == k310->currentDeviceIndex())
        k310->setDigitScale(step);
}

// The named slots whose reports the supervisor and the batch now take from the doser directly
// stay, empty, for whoever connects them by name.
void K310_Halvern::hasGetScale(int, quint8) { }

void K310_Halvern::hasGetNPD(int id, const QString &limit)
{
    if (deviceIndex(id) == k310->currentDeviceIndex())
        k310->setWeightNPV(limit);
}

void K310_Halvern::hasGetWeightScale(int id, const QString &unit)
{
    if (deviceIndex(id) == k310->currentDeviceIndex())
        k310->setWeightScale(unit);
}

void K310_Halvern::hasGetPOVersion(int id, const QString &version)
{
    if (deviceIndex(id) == k310->currentDeviceIndex())
        k310->setPOVersion(version);
}

void K310_Halvern::hasGetWeightNETTO(int, const QString &) { }

void K310_Halvern::workErrorActions(int id, const QString &text)
{
    if (deviceIndex(id) == k310->currentDeviceIndex())
        k310->setErrorMessage(text);
}

void K310_Halvern::connectionErrorActions(int id)
{
    const int position = deviceIndex(id);
    if (position >= 0 && supervisor->isActive(position) && position == k310->currentDeviceIndex())
        k310->clearInfo();
}

void K310_Halvern::doserLost(int position)
{
    note(JournalEvent::ConnectionLost, QString(), doser(position)->getDeviceID());
    if (position == k310->currentDeviceIndex())
        k310->clearErrorMessage();
}

void K310_Halvern::doserRegained(int position)
{
    const int id = doser(position)->getDeviceID();
    note(JournalEvent::ConnectionRestored, QString(), id);
    if (batch->hasTask(position))
        qDebug("\ndevice %d is online\n", id);
    restoreLastSession();
}

void K310_Halvern::hasCurrentStateActions(int, const QString &) { }

void K310_Halvern::checkDeviceActivity()
{
    if (k310->isVisible())
        showLinkCounters();
}

// The supervisor polls the weight between batches.
void K310_Halvern::requestWeightNETTO() { }

void K310_Halvern::disableK310Containers(bool disable)
{
    ui.containerK310_11->setDisabled(disable);
}

void K310_Halvern::setDeviceActive0(bool on)
{
    setDoserActive(0, on);
}

void K310_Halvern::setDoserActive(int position, bool on)
{
    if (!isDoser(position))
        return;
    const bool shown = position == selected;
    if (batch->hasTask(position) && !on) {
        if (ask(QStringLiteral("ВНИМАНИЕ!!! При отключении дозатора текущая работа будет "
                               "остановлена. Продолжить?"))
            != Answer::Yes) {
            if (shown) {
                ui.containerK310_11->setChecked(true);
                enablePanelFields();
            }
            return;
        }
        ui.startButton->setEnabled(true);
        ui.stopButton->setEnabled(false);
        newButch();
        if (shown)
            ui.progressBar_11->setText(QString::number(0.0, 'f', 2));
    }

    supervisor->switchOn(position, on);
    if (on)
        return;
    resetDoserWork(position);
    if (!shown)
        return;
    ui.productWeightK310_11->clear();
    ui.doseFaultPlusK310_11->clear();
    ui.doseFaultMinusK310_11->clear();
    ui.progressBar_11->setText(QStringLiteral("0"));
    ui.stateK310_11->setText(QString());
    panel->forgetState();
}

void K310_Halvern::enablePanelFields()
{
    for (QWidget *field :
         std::initializer_list<QWidget *> {ui.productWeightK310_11, ui.doseFaultPlusK310_11,
                                           ui.doseFaultMinusK310_11, ui.progressBar_11})
        field->setEnabled(true);
}

void K310_Halvern::resetDoserWork(int position)
{
    batch->resetDoser(position);
}

void K310_Halvern::doserStateReported(int, DoserState) { }

void K310_Halvern::drawDoser(int position)
{
    panel->draw(position);
}

void K310_Halvern::selectDoser(int position)
{
    if (!isDoser(position))
        return;
    selected = position;
    overview->setSelected(position);
    panel->showPosition(position);
    fillPanelEditors();
    if (trendWindow && trendWindow->isVisible()) {
        captionTrend();
        trendWindow->cyclesChanged();
    }
}

void K310_Halvern::fillPanelEditors()
{
    const DoserWork &shown = work(selected);
    const QSignalBlocker blocker(ui.containerK310_11);
    ui.containerK310_11->setChecked(supervisor->isActive(selected));
    panel->setTitle(doser(selected)->getDeviceID(), doser(selected)->getProductName());
    ui.productWeightK310_11->setText(shown.taskWeight > 0 ? weightText(selected, shown.taskWeight)
                                                          : QString());
    ui.doseFaultPlusK310_11->setText(shown.doseFaultPlusText);
    ui.doseFaultMinusK310_11->setText(shown.doseFaultMinusText);
    ui.doseWeightLabel->setText(shown.orderedDose);
}

void K310_Halvern::layOutLine()
{
    // A doser without a name is shown by its address.
    overview->setNames(doserNames);
    overview->rebuild();
    // One doser: the window as it always was.
    const bool line = doserCount() > 1;
    overview->setVisible(line);
    ui.formulaButton->setVisible(line);
    ui.scheduleButton->setVisible(line);
    const int extra = line ? overview->sizeHint().height() + 4 : 0;
    setFixedSize(width(), WindowHeight + extra);
    if (selected >= doserCount())
        selectDoser(doserCount() - 1);
    else
        overview->setSelected(selected);
}

void K310_Halvern::applyLine(const QList<LineDoser> &line)
{
    // One change at a time: the first address that differs is the doser removed.
    if (line.size() < doserCount()) {
        int removed = 0;
        while (removed < line.size() && line.at(removed).address == doser(removed)->getDeviceID())
            ++removed;
        const int address = doser(removed)->getDeviceID();
        supervisor->removeDoser(removed);
        if (selected > removed)
            --selected;
        noteChange(JournalEvent::SettingChanged, QStringLiteral("дозатор на линии"),
                   QString::number(address), QStringLiteral("удалён"), address);
    }
    while (doserCount() < line.size()) {
        const int address = line.at(doserCount()).address;
        const int position = supervisor->addDoser(address);
        wireDoser(doser(position));
        supervisor->switchOn(position, true);
        noteChange(JournalEvent::SettingChanged, QStringLiteral("дозатор на линии"), QString(),
                   QString::number(address), address);
    }
    doserNames.clear();
    for (const LineDoser &onLine : line)
        doserNames << onLine.name;
    layOutLine();
}
