// Supervision of the doser: which dosers answer, probing the lost ones, polling the online
// ones, and how their state, weight and parameters reach the window and the doser dialog.
#include "k310_halvern.h"

#include "k310device.h"
#include "k310settings.h"

#include <QDebug>
#include <QEventLoop>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>

namespace {

constexpr int PollPauseMs = 100;
const QColor AlarmColour(212, 54, 56);
const QColor WorkingColour(25, 140, 25);
const QColor StoppedColour(0, 0, 0);

// The accessible name of panel field n of the console's single panel.
int panelName(int field)
{
    return QStringLiteral("1%1").arg(field).toInt();
}

int accessibleNumber(const QWidget *widget)
{
    return widget->accessibleName().toInt(nullptr, 10);
}

} // namespace

int K310_Halvern::deviceIndex(int id) const
{
    for (int position = 0; position < devices.size(); ++position) {
        if (devices.at(position)->getDeviceID() == id)
            return position;
    }
    return -1;
}

bool K310_Halvern::isOnline(int position) const
{
    return dosers.isOnline(position);
}

bool K310_Halvern::isLost(int position) const
{
    return dosers.isLost(position);
}

void K310_Halvern::sleepWithEvents(int ms)
{
    // Replies, timer ticks and questions are handled meanwhile; the thread sleeps in between.
    QEventLoop pause;
    QTimer::singleShot(ms, &pause, &QEventLoop::quit);
    pause.exec();
}

QLabel *K310_Halvern::getLabel(int, int field)
{
    const int name = panelName(field);
    for (QLabel *label : findChildren<QLabel *>()) {
        if (accessibleNumber(label) == name)
            return label;
    }
    return nullptr;
}

void K310_Halvern::setLabelText(int id, const QString &text, int field)
{
    if (QLabel *label = getLabel(id, field))
        label->setText(text);
}

void K310_Halvern::setLabelNumber(int id, int field, double value)
{
    setLabelText(id, QString::number(value, 'f', 2), field);
}

void K310_Halvern::setAllLabelsText(int field, const QString &text)
{
    const QString name = QStringLiteral("1%1").arg(field);
    for (QLabel *label : findChildren<QLabel *>()) {
        if (label->accessibleName() == name)
            label->setText(text);
    }
}

void K310_Halvern::setEditorText(int, const QString &text, int field)
{
    const int name = panelName(field);
    for (QLineEdit *editor : findChildren<QLineEdit *>()) {
        if (accessibleNumber(editor) == name) {
            editor->setText(text);
            return;
        }
    }
}

void K310_Halvern::showState(QLabel *label, const QString &text, bool bold)
{
    QPalette palette = label->palette();
    QFont font = this->font();
    font.setBold(bold);
    label->setText(text);
    QColor colour;
    DoserState state;
    if (doserStateFromText(text, state)) {
        switch (state) {
        case DoserState::NoConnection:
        case DoserState::Alarm:
            colour = AlarmColour;
            break;
        case DoserState::Working:
            colour = WorkingColour;
            break;
        case DoserState::Stopped:
            colour = StoppedColour;
            break;
        }
    }
    if (colour.isValid())
        palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
    label->setFont(font);
}

void K310_Halvern::sendIfOnline(int position, void (K310Device::*request)())
{
    if (position >= 0 && position < devices.size() && isOnline(position))
        (devices.at(position)->*request)();
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
    if (position < 0 || position >= devices.size())
        return;
    requestScale(position);
    requestTotalCommonWeight(position);
    requestTotalCommonDoseCount(position);
    requestWeightScale(position);
    requestNPD(position);
    requestDoseFaultPlus(position);
    requestDoseFaultMinus(position);
    requestPOVersion(position);
}

void K310_Halvern::hasGetScale(int id, const QString &step)
{
    if (deviceIndex(id) == k310->currentDeviceIndex())
        k310->setDigitScale(step);
}

void K310_Halvern::hasGetScale(int id, quint8 decimals)
{
    const int position = deviceIndex(id);
    if (position < 0)
        return;
    batch->setScale(position, decimals);
    image.update(position, [&](DoserImage &doser) { doser.decimals = decimals; });
}

void K310_Halvern::hasGetNPD(int id, const QString &limit)
{
    const int position = deviceIndex(id);
    if (position < 0)
        return;
    if (position == k310->currentDeviceIndex())
        k310->setWeightNPV(limit);
    batch->setWeighingLimit(position, limit.toDouble());
}

void K310_Halvern::hasGetWeightScale(int id, const QString &unit)
{
    const int position = deviceIndex(id);
    if (position < 0)
        return;
    if (position == k310->currentDeviceIndex())
        k310->setWeightScale(unit);
    batch->setUnit(position, unit);
    image.update(position, [&](DoserImage &doser) { doser.unit = unit; });
    setAllLabelsText(UnitField, unit);
}

void K310_Halvern::hasGetPOVersion(int id, const QString &version)
{
    if (deviceIndex(id) == k310->currentDeviceIndex())
        k310->setPOVersion(version);
}

void K310_Halvern::hasGetWeightNETTO(int id, const QString &weight)
{
    image.update(deviceIndex(id),
                 [&](DoserImage &doser) { doser.netWeight = Weight::fromText(weight); });
}

void K310_Halvern::workErrorActions(int id, const QString &text)
{
    const int position = deviceIndex(id);
    if (position < 0)
        return;
    if (position == k310->currentDeviceIndex())
        k310->setErrorMessage(text);
    // Every reply repeats the alarm; the journal keeps each alarm once.
    DoserContact &contact = contacts[position];
    const int code = K310Device::errorCodeOf(text);
    image.update(position, [code](DoserImage &doser) { doser.alarmCode = qMax(code, 0); });
    if (text != contact.alarmText) {
        contact.alarmText = text;
        note(JournalEvent::DoserAlarm, text, id, code);
    }
}

void K310_Halvern::moveToOffDevices(int position)
{
    // A position is in exactly one of the two lists, whatever order the signals came in.
    if (!offDevices.contains(position)) {
        offDevices.append(position);
        qDebug("Has append Off Device Array Index = %d", position);
    }
    if (onDevices.removeAll(position) > 0)
        qDebug("Has removed On Device Array Index = %d", position);
}

void K310_Halvern::moveToOnDevices(int position)
{
    if (offDevices.removeAll(position) > 0)
        qDebug("Has removed Off Device Array Index = %d", position);
    if (!onDevices.contains(position)) {
        onDevices.append(position);
        qDebug("Has appended On Device Array Index = %d", position);
    }
}

void K310_Halvern::connectionErrorActions(int id)
{
    const int position = deviceIndex(id);
    if (position < 0 || !devices.at(position)->isDeviceActive())
        return;
    DoserContact &contact = contacts[position];
    if (!contact.offline)
        ++contact.connectionErrors;
    image.update(position, [](DoserImage &doser) { doser.state = DoserState::NoConnection; });
    if (position == k310->currentDeviceIndex())
        k310->clearInfo();
    if (isLost(position))
        return;

    devices.at(position)->setDeviceNeedToBeChecked(true);
    moveToOffDevices(position);
    contact.offline = true;
    note(JournalEvent::ConnectionLost, QString(), id);
    if (position == k310->currentDeviceIndex())
        k310->clearErrorMessage();
    dismissQuestion();
    stopButtonActions();
}

void K310_Halvern::hasCurrentStateActions(int id, const QString &state)
{
    const int position = deviceIndex(id);
    if (position < 0 || !devices.at(position)->isDeviceActive())
        return;
    DoserContact &contact = contacts[position];
    DoserState reported;
    const bool alarmed = doserStateFromText(state, reported) && reported == DoserState::Alarm;
    if (!alarmed) {
        if (position == k310->currentDeviceIndex())
            k310->clearErrorMessage();
        contact.alarmText.clear();
        image.update(position, [](DoserImage &doser) { doser.alarmCode = 0; });
    }
    // A state without a name of its own is shown as it came.
    if (!doserStateFromText(state, reported)) {
        if (QLabel *label = getLabel(id, StateField))
            showState(label, state, true);
    }

    if (contact.connectionErrors == 0)
        return;
    note(JournalEvent::ConnectionRestored, QString(), id);
    if (batch->hasTask(position))
        qDebug("\ndevice %d is online\n", id);
    contact.offline = false;
    contact.connectionErrors = 0;
    if (isLost(position)) {
        devices.at(position)->setDeviceNeedToBeChecked(false);
        moveToOnDevices(position);
    }
    deviceConnectionTest(position);
    restoreLastSession();
}

void K310_Halvern::checkDeviceActivity()
{
    if (k310->isVisible())
        showLinkCounters();
    if (offDevices.isEmpty())
        return;
    if (activityPosition >= offDevices.size())
        activityPosition = 0;
    for (int i = activityPosition; i < offDevices.size(); ++i) {
        const int position = offDevices.at(i);
        if (isLost(position)) {
            devices.at(position)->requestWeightNETTO();
            activityPosition = i + 1;
            return;
        }
    }
    activityPosition = 0;
}

void K310_Halvern::requestWeightNETTO()
{
    if (onDevices.isEmpty())
        return;
    if (weightPosition >= onDevices.size())
        weightPosition = 0;
    for (int i = weightPosition; i < onDevices.size(); ++i) {
        const int position = onDevices.at(i);
        if (!isOnline(position))
            continue;
        weightPosition = i + 1;
        K310Device *doser = devices.at(position);
        doser->requestWeightNETTO();
        sleepWithEvents(PollPauseMs);
        doser->requestDoseCount();
        sleepWithEvents(PollPauseMs);
        doser->requestTotalWeight();
        return;
    }
}

void K310_Halvern::disableK310Containers(bool disable)
{
    for (int position = 0; position < devices.size(); ++position) {
        const QString name = QString::number(position * 10 + 10);
        for (QGroupBox *panel : findChildren<QGroupBox *>()) {
            if (panel->accessibleName() == name)
                panel->setDisabled(disable);
        }
    }
}

void K310_Halvern::setDeviceActive0(bool on)
{
    const int position = 0;
    K310Device *doser = devices.at(position);
    if (batch->hasTask(position) && !on) {
        if (ask(QStringLiteral("ВНИМАНИЕ!!! При отключении дозатора текущая работа будет "
                               "остановлена. Продолжить?"))
            != Answer::Yes) {
            ui.containerK310_11->setChecked(true);
            enablePanelFields();
            return;
        }
        ui.startButton->setEnabled(true);
        ui.stopButton->setEnabled(false);
        newButch();
        setLabelNumber(doser->getDeviceID(), DeliveredField, 0);
    }

    doser->setDeviceActive(on);
    if (on) {
        deviceConnectionTest(position);
        return;
    }
    resetDoserWork(position);
    ui.productWeightK310_11->clear();
    ui.doseFaultPlusK310_11->clear();
    ui.doseFaultMinusK310_11->clear();
    setLabelText(doser->getDeviceID(), QStringLiteral("0"), DeliveredField);
    setLabelText(doser->getDeviceID(), QString(), StateField);
    stateDrawn[position] = false;
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
    contacts[position] = DoserContact();
}

void K310_Halvern::doserStateReported(int id, DoserState state)
{
    const int position = deviceIndex(id);
    if (position < 0 || !devices.at(position)->isDeviceActive())
        return;
    image.update(position, [&](DoserImage &doser) { doser.state = state; });
    batch->stateReported(id, state);
}

void K310_Halvern::drawDoser(int position)
{
    if (position < 0 || position >= devices.size())
        return;
    const DoserImage &now = image.doser(position);
    DoserImage &shown = drawn[position];
    const int id = devices.at(position)->getDeviceID();
    const auto differ = [](const Weight &a, const Weight &b) {
        return a.value != b.value || a.decimals != b.decimals;
    };
    if (!stateDrawn.at(position) || now.state != shown.state) {
        if (QLabel *label = getLabel(id, StateField))
            showState(label, doserStateText(now.state), true);
        stateDrawn[position] = true;
    }
    if (differ(now.netWeight, shown.netWeight))
        setLabelText(id, now.netWeight.text(), NetWeightField);
    // Shown with two decimals whatever the doser's.
    if (now.batch.delivered.value != shown.batch.delivered.value)
        setLabelNumber(id, DeliveredField, now.batch.delivered.value);
    if (differ(now.doseCount, shown.doseCount))
        setLabelText(id, now.doseCount.text(), DoseCountField);
    if (differ(now.shiftWeight, shown.shiftWeight))
        setLabelText(id, now.shiftWeight.text(), ShiftWeightField);
    if (now.totalDoseCount != shown.totalDoseCount)
        setLabelText(id, QString::number(now.totalDoseCount), TotalDoseCountField);
    if (differ(now.totalWeight, shown.totalWeight))
        setLabelText(id, now.totalWeight.text(), TotalWeightField);
    if (position == 0)
        ui.batchProgress->draw(now);
    shown = now;
}
