// Manual control: single orders to the doser between batches, the panel's editors, and the
// counters of the information panel.
#include "k310_halvern.h"

#include "k310device.h"

#include <QDebug>
#include <QLabel>
#include <QLineEdit>

int K310_Halvern::positionOfEditor(const QString &editorName) const
{
    // The panel's editors belong to the doser it shows.
    return editorName.toInt(nullptr, 10) / 10 == 1 ? selected : -1;
}

void K310_Halvern::noteManualOrder(const QString &order)
{
    if (!isOnline(selected))
        return;
    note(JournalEvent::ManualOrder, order, doser(selected)->getDeviceID());
    batch->manualOrderSent(selected);
}

void K310_Halvern::uploadDoseButton()
{
    noteManualOrder(QStringLiteral("Разгрузить ГПУ"));
    uploadDose(selected);
}

void K310_Halvern::downloadDoseButton()
{
    const DoserWork &work = this->work(selected);
    const double weight = ui.productWeightK310_11->text().toDouble();
    if (weight <= work.npd) {
        noteManualOrder(QStringLiteral("Набрать дозу %1 %2")
                            .arg(weightText(selected, weight), work.weightScale));
        downloadDose(selected, weight, work.scale);
        return;
    }
    inform(QStringLiteral("В ручном режиме набора вес дозы должен быть меньше НПВ. Текущее "
                          "значение НПВ = %1 %2")
               .arg(QString::number(work.npd, 'f', work.scale), ui.weightlabel_6->text()));
}

void K310_Halvern::stopWorkButton()
{
    // With the whole line at a stand, one touch stops every doser and resets their errors.
    if (batch->isRunning() || doserCount() == 1) {
        noteManualOrder(QStringLiteral("Останов / сброс ошибки"));
        stopWork(selected);
        return;
    }
    const int shown = selected;
    for (int position = 0; position < doserCount(); ++position) {
        selected = position;
        noteManualOrder(QStringLiteral("Останов / сброс ошибки"));
        stopWork(position);
    }
    selected = shown;
}

void K310_Halvern::doCycleButton()
{
    noteManualOrder(QStringLiteral("Выполнить полный цикл"));
    doFullCycle(selected);
}

void K310_Halvern::uploadDose(int position)
{
    supervisor->dischargeIfOnline(position);
}

void K310_Halvern::downloadDose(int position, qreal weight, quint8 decimals)
{
    supervisor->fillIfOnline(position, weight, decimals);
}

void K310_Halvern::doFullCycle(int position)
{
    sendIfOnline(position, &K310Device::doFullCycle);
}

void K310_Halvern::stopWork(int position)
{
    sendIfOnline(position, &K310Device::stopWork);
}

void K310_Halvern::stopAllWork()
{
    for (int position = 0; position < doserCount(); ++position)
        stopWork(position);
    qDebug("APPLICATION IS CLOSED, ALL WORKS ARE STOPPED");
}

void K310_Halvern::requestDoseFaultPlus(int position)
{
    sendIfOnline(position, &K310Device::requestDoseFaultPlus);
}

void K310_Halvern::requestDoseFaultMinus(int position)
{
    sendIfOnline(position, &K310Device::requestDoseFaultMinus);
}

void K310_Halvern::requestDoseCount(int position)
{
    sendIfOnline(position, &K310Device::requestDoseCount);
}

void K310_Halvern::requestTotalWeight(int position)
{
    sendIfOnline(position, &K310Device::requestTotalWeight);
}

void K310_Halvern::requestTotalCommonWeight(int position)
{
    sendIfOnline(position, &K310Device::requestTotalCommonWeight);
}

void K310_Halvern::requestTotalCommonDoseCount(int position)
{
    sendIfOnline(position, &K310Device::requestTotalCommonDoseCount);
}

void K310_Halvern::setDoseFaultPlus(const QString &text, const QString &editorName)
{
    enterPlusTolerance(positionOfEditor(editorName), text);
}

void K310_Halvern::enterPlusTolerance(int position, const QString &text)
{
    if (!isDoser(position) || !isOnline(position) || !mayChange(AccessLevel::Technologist))
        return;
    noteChange(JournalEvent::SettingChanged, QStringLiteral("допуск +"),
               work(position).doseFaultPlusText, text, doser(position)->getDeviceID());
    doser(position)->setDoseFaultPlus(text, work(position).scale);
}

void K310_Halvern::setDoseFaultMinus(const QString &text, const QString &editorName)
{
    enterMinusTolerance(positionOfEditor(editorName), text);
}

void K310_Halvern::enterMinusTolerance(int position, const QString &text)
{
    if (!isDoser(position) || !isOnline(position) || !mayChange(AccessLevel::Technologist))
        return;
    noteChange(JournalEvent::SettingChanged, QStringLiteral("допуск −"),
               work(position).doseFaultMinusText, text, doser(position)->getDeviceID());
    doser(position)->setDoseFaultMinus(text, work(position).scale);
}

void K310_Halvern::hasGetDoseFaultPlus(int id, const QString &value)
{
    if (deviceIndex(id) == selected)
        ui.doseFaultPlusK310_11->setText(value);
}

void K310_Halvern::hasGetDoseFaultMinus(int id, const QString &value)
{
    if (deviceIndex(id) == selected)
        ui.doseFaultMinusK310_11->setText(value);
}

void K310_Halvern::setWeight(const QString &text, const QString &editorName)
{
    enterTaskWeight(positionOfEditor(editorName), text);
}

void K310_Halvern::enterTaskWeight(int position, const QString &text)
{
    // Targets are typed into the panel's editor, which shows the doser selected.
    if (!isDoser(position) || position != selected)
        return;
    QLineEdit *editor = ui.productWeightK310_11;
    const QString before = editor->text();
    const QString entered = weightText(position, text.toDouble());
    if (!batch->hasTask(position)) {
        editor->setText(entered);
        batch->setTaskWeight(position, editor->text().toDouble());
        if (!(work(position).taskWeight > 0))
            editor->clear();
        ui.progressBar_11->setText(QString::number(0.0, 'f', 2));
    } else if (batch->setTaskWeight(position, entered.toDouble())) {
        editor->setText(entered);
    }
    if (editor->text() != before)
        noteChange(JournalEvent::SettingChanged, QStringLiteral("вес задания"), before,
                   editor->text(), doser(position)->getDeviceID());
}

// The supervisor writes the counters into the image; the batch hears the dose count itself.
void K310_Halvern::hasGetDoseCount(int, const QString &) { }

void K310_Halvern::hasGetTotalWeight(int, const QString &) { }

void K310_Halvern::hasGetTotalCommonDoseCount(int, const QString &) { }
