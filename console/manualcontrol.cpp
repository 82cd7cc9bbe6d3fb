// Manual control: single orders to the doser between batches, the panel's editors, and the
// counters of the information panel.
#include "k310_halvern.h"

#include "k310device.h"

#include <QDebug>
#include <QLabel>
#include <QLineEdit>

int K310_Halvern::positionOfEditor(const QString &editorName)
{
    return editorName.toInt(nullptr, 10) / 10 - 1;
}

void K310_Halvern::noteManualOrder(const QString &order)
{
    if (!isOnline(0))
        return;
    note(JournalEvent::ManualOrder, order, devices.at(0)->getDeviceID());
    batch->manualOrderSent(0);
}

void K310_Halvern::uploadDoseButton()
{
    noteManualOrder(QStringLiteral("Разгрузить ГПУ"));
    uploadDose(0);
}

void K310_Halvern::downloadDoseButton()
{
    const DoserWork &work = this->work(0);
    const double weight = ui.productWeightK310_11->text().toDouble();
    if (weight <= work.npd) {
        noteManualOrder(
            QStringLiteral("Набрать дозу %1 %2").arg(weightText(0, weight), work.weightScale));
        downloadDose(0, weight, work.scale);
        return;
    }
    inform(QStringLiteral("В ручном режиме набора вес дозы должен быть меньше НПВ. Текущее "
                          "значение НПВ = %1 %2")
               .arg(QString::number(work.npd, 'f', work.scale), ui.weightlabel_6->text()));
}

void K310_Halvern::stopWorkButton()
{
    noteManualOrder(QStringLiteral("Останов / сброс ошибки"));
    stopWork(0);
}

void K310_Halvern::doCycleButton()
{
    noteManualOrder(QStringLiteral("Выполнить полный цикл"));
    doFullCycle(0);
}

void K310_Halvern::uploadDose(int position)
{
    dosers.dischargeIfOnline(position);
}

void K310_Halvern::downloadDose(int position, qreal weight, quint8 decimals)
{
    dosers.fillIfOnline(position, weight, decimals);
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
    stopWork(0);
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
    const int position = positionOfEditor(editorName);
    if (position < 0 || position >= devices.size() || !isOnline(position)
        || !mayChange(AccessLevel::Technologist))
        return;
    noteChange(JournalEvent::SettingChanged, QStringLiteral("допуск +"),
               ui.doseFaultPlusK310_11->text(), text, devices.at(position)->getDeviceID());
    devices.at(position)->setDoseFaultPlus(text, work(position).scale);
}

void K310_Halvern::setDoseFaultMinus(const QString &text, const QString &editorName)
{
    const int position = positionOfEditor(editorName);
    if (position < 0 || position >= devices.size() || !isOnline(position)
        || !mayChange(AccessLevel::Technologist))
        return;
    noteChange(JournalEvent::SettingChanged, QStringLiteral("допуск −"),
               ui.doseFaultMinusK310_11->text(), text, devices.at(position)->getDeviceID());
    devices.at(position)->setDoseFaultMinus(text, work(position).scale);
}

void K310_Halvern::hasGetDoseFaultPlus(int id, const QString &value)
{
    const int position = deviceIndex(id);
    if (position < 0)
        return;
    batch->setPlusTolerance(position, value);
    setEditorText(id, value, DoseFaultPlusField);
}

void K310_Halvern::hasGetDoseFaultMinus(int id, const QString &value)
{
    const int position = deviceIndex(id);
    if (position < 0)
        return;
    batch->setMinusTolerance(position, value);
    setEditorText(id, value, DoseFaultMinusField);
}

void K310_Halvern::setWeight(const QString &text, const QString &editorName)
{
    const int position = positionOfEditor(editorName);
    if (position < 0 || position >= devices.size())
        return;
    QLineEdit *editor = nullptr;
    const int name = editorName.toInt(nullptr, 10);
    for (QLineEdit *field : findChildren<QLineEdit *>()) {
        if (field->accessibleName().toInt(nullptr, 10) == name) {
            editor = field;
            break;
        }
    }
    if (!editor)
        return;

    const QString before = editor->text();
    const QString entered = weightText(position, text.toDouble());
    if (!batch->hasTask(position)) {
        editor->setText(entered);
        batch->setTaskWeight(position, editor->text().toDouble());
        if (!(work(position).taskWeight > 0))
            editor->clear();
        setLabelNumber(devices.at(position)->getDeviceID(), DeliveredField, 0);
    } else if (batch->setTaskWeight(position, entered.toDouble())) {
        editor->setText(entered);
    }
    if (editor->text() != before)
        noteChange(JournalEvent::SettingChanged, QStringLiteral("вес задания"), before,
                   editor->text(), devices.at(position)->getDeviceID());
}

void K310_Halvern::hasGetDoseCount(int id, const QString &count)
{
    const int position = deviceIndex(id);
    if (position < 0)
        return;
    image.update(position, [&](DoserImage &doser) { doser.doseCount = Weight::fromText(count); });
    batch->doseCountReported(id, count.toLongLong());
}

void K310_Halvern::hasGetTotalWeight(int id, const QString &counter)
{
    const int position = deviceIndex(id);
    if (position < 0)
        return;
    const double weight = counterInUnits(position, counter).toDouble();
    image.update(position, [&](DoserImage &doser) {
        doser.shiftWeight = Weight {weight, work(position).scale};
    });
}

void K310_Halvern::hasGetTotalCommonDoseCount(int id, const QString &counter)
{
    image.update(deviceIndex(id),
                 [&](DoserImage &doser) { doser.totalDoseCount = counter.toUInt(nullptr, 10); });
}
