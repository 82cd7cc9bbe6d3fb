// The automatic mode: a batch of one task per doser, driven through fill and discharge cycles
// until the delivered weight is within the plus tolerance of the target, recorded in data.db.
#include "k310_halvern.h"

#include "k310device.h"
#include "k310settings.h"

#include <QCoreApplication>
#include <QDebug>
#include <QLabel>
#include <QMessageBox>
#include <QtMath>

namespace {

constexpr int StopPauseMs = 100;
// A residue below this share of the plus tolerance is product dust, not a delivery.
constexpr double CountedResidueShare = 0.25;
// A discharge report below this share of the fills known to be in the hopper cannot be their
// discharge: they went out earlier, unreported.
constexpr double DoseReportShare = 0.5;
// A fill ends near its target, never far above the upper weighing limit.
constexpr double MaxFillShare = 1.5;

} // namespace

qreal K310_Halvern::calculateDoseWeight(int id, qreal remaining)
{
    const int position = deviceIndex(id);
    if (position < 0)
        return 0;
    return remaining / (remaining / doserWork.at(position).npd + 1.0);
}

void K310_Halvern::chooseDoseWeight(int position)
{
    DoserWork &work = doserWork[position];
    const double remaining = work.mustToBeDoneWeight;
    work.doseWeight = remaining < work.npd
                          ? remaining
                          : calculateDoseWeight(devices.at(position)->getDeviceID(), remaining);
}

bool K310_Halvern::checkTheEndOfTheParty(int id)
{
    const int position = deviceIndex(id);
    if (position < 0)
        return false;
    DoserWork &work = doserWork[position];
    if (!(work.doseFaultPlus > work.mustToBeDoneWeight))
        return false;
    work.mustDownload = false;
    work.mustUpload = false;
    work.idle = true;
    return true;
}

QString K310_Halvern::weightText(int position, double weight) const
{
    return QString::number(weight, 'f', doserWork.at(position).scale);
}

QString K310_Halvern::counterInUnits(int position, const QString &counter) const
{
    const int scale = doserWork.at(position).scale;
    return QString::number(counter.toDouble() / qPow(10.0, scale), 'f', scale);
}

void K310_Halvern::watchForStopRequests(K310Device *doser, bool watch)
{
    if (watch)
        connect(doser, &K310Device::needToStopTheWork, this, &K310_Halvern::stopButtonActions,
                Qt::UniqueConnection);
    else
        disconnect(doser, &K310Device::needToStopTheWork, this, &K310_Halvern::stopButtonActions);
}

bool K310_Halvern::isBatchRunning() const
{
    return workStarted || workContinued;
}

bool K310_Halvern::hasKnownWeighingLimit(int position)
{
    const DoserWork &work = doserWork.at(position);
    if (work.npdReported && work.npd > 0)
        return true;
    // Doses are cut to the limit; without a positive one every dose would be 0.
    inform(QStringLiteral("НПВ дозатора неизвестно или не больше нуля.\nРабота невозможна, "
                          "проверьте параметры К310."));
    requestNPD(position);
    return false;
}

bool K310_Halvern::canDoReceipt()
{
    int online = 0;
    int lost = 0;
    for (int position = 0; position < devices.size(); ++position) {
        if (isOnline(position))
            ++online;
        else if (isLost(position))
            ++lost;
    }
    if (online == 0 || lost > 0) {
        inform(QStringLiteral("Отсутствует связь."));
        return false;
    }
    return true;
}

void K310_Halvern::enableControlElementsWhenButchIsDone()
{
    ui.groupBox_2->setEnabled(true);
    ui.startButton->setEnabled(true);
    ui.stopButton->setEnabled(false);
    ui.continueButton->setEnabled(false);
    ui.rs232SettingsButton->setEnabled(true);
    k310->disableProductType(false);
    disableK310Containers(false);
    workStarted = false;
    workContinued = false;
}

void K310_Halvern::disableControlElementsWhenButchStars()
{
    ui.groupBox_2->setEnabled(false);
    ui.startButton->setEnabled(false);
    ui.stopButton->setEnabled(true);
    ui.continueButton->setEnabled(false);
    ui.rs232SettingsButton->setEnabled(false);
    k310->disableProductType(true);
    disableK310Containers(true);
}

void K310_Halvern::enableControlElementsWhenStopAction()
{
    ui.groupBox_2->setEnabled(true);
    ui.startButton->setEnabled(true);
    ui.stopButton->setEnabled(false);
    if (isBatchRunning())
        ui.continueButton->setEnabled(true);
    ui.rs232SettingsButton->setEnabled(true);
    k310->disableProductType(false);
    disableK310Containers(false);
}

void K310_Halvern::newButch()
{
    if (butchRecords.hasDeliveredSoFar(currentButchId)) {
        qDebug("\nNeed to finish tasks in butch");
        butchRecords.closeButch(currentButchId);
        butchRecords.closeTasks(currentButchId);
        noteButch(JournalEvent::ButchClosed, QString());
    } else {
        qDebug("\nDeleteing empty butch");
        butchRecords.deleteTasks(currentButchId);
        butchRecords.deleteButch(currentButchId);
        noteButch(JournalEvent::ButchDeleted, QString());
    }
    // The tasks of a closed batch are over: nothing may be continued into it.
    for (DoserWork &work : doserWork) {
        work.idle = true;
        work.mustDownload = false;
        work.mustUpload = false;
    }
    currentButchId = 0;
    workStarted = false;
    workContinued = false;
    ui.continueButton->setEnabled(false);
}

void K310_Halvern::startButton()
{
    if (!canDoReceipt())
        return;
    for (int position = 0; position < devices.size(); ++position) {
        if (!isOnline(position))
            continue;
        if (!(doserWork.at(position).taskWeight > 0)
            || devices.at(position)->getProductName().isEmpty()) {
            inform(QStringLiteral("Вид продукта и вес должны быть заданы"));
            return;
        }
        if (!hasKnownWeighingLimit(position))
            return;
    }
    currentButchId = butchRecords.findOpenButch();
    if (currentButchId != 0)
        qDebug("\nThere is present butch what can be finished");
    if (ask(QStringLiteral("Начать новую работу?")) != Answer::Yes)
        return;
    // The question ran its own event loop: the doser may have been lost meanwhile.
    if (!canDoReceipt())
        return;
    if (currentButchId != 0)
        newButch();
    partsLeft = 0;
    startButtonActions();
}

void K310_Halvern::startButtonActions()
{
    weightTimer.stop();
    for (K310Device *doser : std::as_const(devices))
        watchForStopRequests(doser, false);
    workStarted = true;
    workContinued = false;
    disableControlElementsWhenButchStars();

    qDebug("Butch table is empty, or all butches has been already finished, just need to add a "
           "new record");
    butchRecords.newButch();
    currentButchId = butchRecords.findOpenButch();

    if (isOnline(0))
        prepareDevicesForStart(0);
    if (!doseTimer.isActive())
        doseTimer.start(DosePeriodMs);
}

void K310_Halvern::prepareDevicesForStart(int position)
{
    DoserWork &work = doserWork[position];
    ++partsLeft;
    work.mustToBeDoneWeight = work.taskWeight;
    work.haveDoneWeight = 0;
    work.idle = false;
    forgetFillLedger(position);
    chooseDoseWeight(position);

    K310Device *doser = devices.at(position);
    qDebug("\nAdd new task");
    butchRecords.newTask(
        currentButchId, doser->getDeviceID(), weightText(position, work.taskWeight),
        weightText(position, work.mustToBeDoneWeight), doser->getProductName(), work.weightScale);
    noteButch(JournalEvent::ButchStarted, taskText(position), doser->getDeviceID());
    prepareDoserForWork(doser->getDeviceID());
}

QString K310_Halvern::taskText(int position) const
{
    const DoserWork &work = doserWork.at(position);
    return QStringLiteral("%1: выполнено %2 из %3 %4")
        .arg(devices.at(position)->getProductName(), weightText(position, work.haveDoneWeight),
             weightText(position, work.taskWeight), work.weightScale);
}

void K310_Halvern::prepareDoserForWork(int id)
{
    const int position = deviceIndex(id);
    if (position < 0)
        return;
    qDebug("Prepareing doser %d for work", id);
    K310Device *doser = devices.at(position);
    doser->resetErrorFlag();
    // The counter before the discharge: fills completed while the work stood are then known,
    // should the discharge's report be lost. The discharge accounts for them, so the counter
    // arms no further discharge.
    DoserWork &work = doserWork[position];
    work.uploadCounted = true;
    doser->requestTotalCommonWeight();
    doser->requestDoseCount();
    // A fill still under way is let finish, so the counter knows what the discharge takes out
    // should its report be lost (a part-filled hopper has no counter): the discharge waits until
    // the doser says it stands.
    if (work.standing)
        doser->uploadDose();
    else
        work.dischargeWhenIdle = true;
    work.mustDownload = true;
    // The first dose is chosen once the residue is counted.
    work.awaitingResidue = true;
}

void K310_Halvern::stopButton()
{
    if (ask(QStringLiteral("ВНИМАНИЕ!!! При остановке работы ковши будут автоматически "
                           "разгружены.\nОстановить выполнение текущего задания?"))
        != Answer::Yes)
        return;
    // The question runs its own event loop: the work may have stopped meanwhile.
    if (!ui.stopButton->isEnabled())
        return;
    stopButtonActions();
    if (isOnline(0) && !doserWork.at(0).idle) {
        devices.at(0)->stopWork();
        devices.at(0)->uploadDose();
    }
}

void K310_Halvern::stopButtonActions()
{
    if (doseTimer.isActive()) {
        for (int position = 0; position < devices.size(); ++position) {
            if (!doserWork.at(position).idle)
                noteButch(JournalEvent::ButchStopped, taskText(position),
                          devices.at(position)->getDeviceID());
        }
    }
    doseTimer.stop();
    enableControlElementsWhenStopAction();
    workStarted = false;
    workContinued = false;
    if (isOnline(0) && !doserWork.at(0).idle) {
        doserWork[0].mustDownload = false;
        doserWork[0].mustUpload = false;
    }
    doserWork[0].awaitingResidue = false;
    doserWork[0].dischargeWhenIdle = false;
    sleepWithEvents(StopPauseMs);
    if (!weightTimer.isActive())
        weightTimer.start(WeightPeriodMs);
}

void K310_Halvern::continueButton()
{
    if (!canDoReceipt())
        return;
    // Only an open task can be continued; without one the work would wait for nothing.
    bool hasTask = false;
    for (int position = 0; position < devices.size(); ++position)
        hasTask = hasTask || (isOnline(position) && !doserWork.at(position).idle);
    if (!hasTask) {
        ui.continueButton->setEnabled(false);
        return;
    }
    for (int position = 0; position < devices.size(); ++position) {
        if (isOnline(position) && !doserWork.at(position).idle && !hasKnownWeighingLimit(position))
            return;
    }
    continueButtonActions();
}

void K310_Halvern::continueButtonActions()
{
    weightTimer.stop();
    for (K310Device *doser : std::as_const(devices))
        watchForStopRequests(doser, false);
    workContinued = true;
    workStarted = false;
    disableControlElementsWhenButchStars();
    partsLeft = 0;

    for (int position = 0; position < devices.size(); ++position) {
        DoserWork &work = doserWork[position];
        if (!isOnline(position) || work.idle)
            continue;
        ++partsLeft;
        work.mustToBeDoneWeight = work.taskWeight - work.haveDoneWeight;
        chooseDoseWeight(position);
        K310Device *doser = devices.at(position);
        butchRecords.resumeTask(
            currentButchId, doser->getDeviceID(), weightText(position, work.taskWeight),
            weightText(position, work.mustToBeDoneWeight), doser->getProductName());
        noteButch(JournalEvent::ButchContinued, taskText(position), doser->getDeviceID());
    }
    if (isOnline(0) && !doserWork.at(0).idle)
        prepareDoserForWork(devices.at(0)->getDeviceID());
    doseTimer.start(DosePeriodMs);
}

void K310_Halvern::restoreLastSession()
{
    currentButchId = butchRecords.findOpenButch();
    if (currentButchId == 0) {
        setDeviceActive0(true);
        return;
    }
    const Answer answer =
        ask(QStringLiteral("Последнее задание не завершено.\nВосстановить данные?"));
    if (answer == Answer::Dismissed) {
        // The doser was lost while the question was open; it is asked again when it answers.
        return;
    }
    if (answer != Answer::Yes) {
        newButch();
        setDeviceActive0(true);
        return;
    }

    partsLeft = 0;
    const QueryResult tasks = butchRecords.restoreTasks(currentButchId);
    for (int row = 0; row < tasks.rows; ++row) {
        QCoreApplication::processEvents();
        const int position =
            deviceIndex(tasks.value(row, ButchRecords::DeviceId).toInt(nullptr, 10));
        if (position < 0)
            continue;
        ++partsLeft;
        changeK310Product(position, tasks.value(row, ButchRecords::ProductName));
        ui.containerK310_11->setChecked(true);
        enablePanelFields();
        ui.productWeightK310_11->setText(tasks.value(row, ButchRecords::TaskWeight));
        ui.progressBar_11->setText(tasks.value(row, ButchRecords::HaveDoneWeight));

        DoserWork &work = doserWork[position];
        work.taskWeight = tasks.value(row, ButchRecords::TaskWeight).toDouble();
        work.haveDoneWeight = tasks.value(row, ButchRecords::HaveDoneWeight).toDouble();
        work.mustToBeDoneWeight = tasks.value(row, ButchRecords::MustToBeDoneWeight).toDouble();
        chooseDoseWeight(position);
        work.idle = false;
        noteButch(JournalEvent::ButchRestored, taskText(position),
                  devices.at(position)->getDeviceID());
    }
    setDeviceActive0(true);
    workStarted = true;
    stopButtonActions();
}

void K310_Halvern::checkDoseDownload()
{
    if (dosePosition >= onDevices.size())
        dosePosition = 0;
    for (int i = dosePosition; i < onDevices.size(); ++i) {
        const int position = onDevices.at(i);
        if (!isOnline(position) || doserWork.at(position).idle)
            continue;
        dosePosition = i + 1;
        devices.at(position)->requestTotalCommonWeight();
        devices.at(position)->requestTotalCommonDoseCount();
        return;
    }
}

void K310_Halvern::hasGetTotalCommonWeight(int id, const QString &counter)
{
    const int position = deviceIndex(id);
    if (position < 0)
        return;
    DoserWork &work = doserWork[position];
    setLabelText(id, counterInUnits(position, counter), TotalWeightField);
    const quint32 total = counter.toUInt(nullptr, 10);
    keepFillLedger(position, total);

    if (!isBatchRunning()) {
        work.lastTotalCommonWeight = total;
        qDebug("device %d is stopped", id);
        return;
    }

    if (!work.idle && checkTheEndOfTheParty(id)) {
        if (partsLeft >= 1)
            --partsLeft;
        butchRecords.finishTask(currentButchId, id, weightText(position, work.taskWeight),
                                weightText(position, work.haveDoneWeight),
                                weightText(position, work.mustToBeDoneWeight),
                                devices.at(position)->getProductName(), work.weightScale);
        qDebug("\ndevice %d has finisheded his part the work, must to do %d part(s)\n", id,
               partsLeft);
        if (partsLeft != 0)
            return;
        butchRecords.closeButch(currentButchId);
        noteButch(JournalEvent::ButchFinished, taskText(position), id);
        qDebug("\nhas finisheded all parts\n");
        doseTimer.stop();
        if (!weightTimer.isActive())
            weightTimer.start(WeightPeriodMs);
        dismissQuestion();
        inform(QStringLiteral("Задание выполнено"));
        enableControlElementsWhenButchIsDone();
        return;
    }

    if (work.uploadCounted) {
        work.uploadCounted = false;
        work.lastTotalCommonWeight = total;
        qDebug("device %d dose has already been uploaded", id);
    }
    if (total != work.lastTotalCommonWeight) {
        work.lastTotalCommonWeight = total;
        work.mustUpload = true;
        qDebug("device %d is working, dose can be uploaded", id);
    }
    doDownloadUploadCycle(id);
}

void K310_Halvern::keepFillLedger(int position, quint32 total)
{
    DoserWork &work = doserWork[position];
    const quint32 last = work.lastTotalCommonWeight;
    const bool afterReport = work.dischargeReported;
    work.dischargeReported = false;
    if (work.idle || afterReport || total == last)
        return;
    // The counter grows by the weight of each completed fill; a step no fill can make says
    // nothing about the hopper.
    const double filled = double(quint32(total - last)) / qPow(10.0, work.scale);
    if (filled <= work.npd * MaxFillShare)
        work.unreportedFill += filled;
}

void K310_Halvern::forgetFillLedger(int position)
{
    doserWork[position].unreportedFill = 0;
    doserWork[position].dischargeReported = true;
}

void K310_Halvern::doDownloadUploadCycle(int id)
{
    const int position = deviceIndex(id);
    if (position < 0)
        return;
    DoserWork &work = doserWork[position];
    if (work.awaitingResidue)
        return;
    if (work.mustDownload) {
        work.mustDownload = false;
        work.orderedDose = weightText(position, work.doseWeight);
        downloadDose(position, work.doseWeight, work.scale);
        qDebug("device %d is working, dose is being downloaded", id);
    } else if (work.mustUpload) {
        work.mustUpload = false;
        uploadDose(position);
        qDebug("device %d is working, dose is being uploaded", id);
    }
}

DoseRecord K310_Halvern::doseRecord(int position, double discharged, const QString &orderedWeight,
                                    bool counted) const
{
    const DoserWork &work = doserWork.at(position);
    DoseRecord dose;
    dose.butchId = qint64(currentButchId);
    dose.deviceId = devices.at(position)->getDeviceID();
    dose.orderedWeight = orderedWeight;
    dose.dischargedWeight = weightText(position, discharged);
    dose.unit = work.weightScale;
    dose.decimals = work.scale;
    dose.counted = counted;
    dose.tolerancePlus = ui.doseFaultPlusK310_11->text();
    dose.toleranceMinus = ui.doseFaultMinusK310_11->text();
    return dose;
}

void K310_Halvern::countDelivered(int position, double weight, const QString &orderedWeight)
{
    DoserWork &work = doserWork[position];
    const int id = devices.at(position)->getDeviceID();
    work.haveDoneWeight += weight;
    qDebug("device %d weight %s in hopper has been uploaded and added into result butch weight", id,
           qUtf8Printable(weightText(position, weight)));
    work.mustToBeDoneWeight = work.taskWeight - work.haveDoneWeight;
    setLabelNumber(id, DeliveredField, work.haveDoneWeight);
    butchRecords.countDischarge(currentButchId, id, weightText(position, work.haveDoneWeight),
                                weightText(position, work.mustToBeDoneWeight),
                                doseRecord(position, weight, orderedWeight, true));
    chooseDoseWeight(position);
}

void K310_Halvern::hasGetDoseUploadSignal(int id, const QString &weight)
{
    const int position = deviceIndex(id);
    if (position < 0)
        return;
    DoserWork &work = doserWork[position];
    const double unreported = work.unreportedFill;
    // A discharge empties the hopper: the fills so far are accounted for by this report, unless
    // the doser refused it with an alarm.
    if (!work.alarmed)
        forgetFillLedger(position);
    if (work.idle)
        return;
    const double w = weight.toDouble();
    const QString shown = weightText(position, w);
    if (!work.alarmed && unreported > 0 && w < unreported * DoseReportShare) {
        // The fill went out under an earlier discharge whose report was lost on the line.
        qDebug("device %d dose of %s was discharged unreported, counted from the weight counter",
               id, qUtf8Printable(weightText(position, unreported)));
        countDelivered(position, unreported, work.orderedDose);
    }

    work.awaitingResidue = false;
    if (work.firstUpload) {
        work.firstUpload = false;
        work.lastUploadWeight = w;
        // The hopper is empty: a discharge the counter armed meanwhile has nothing to take.
        work.mustUpload = false;
        if (w < CountedResidueShare * work.doseFaultPlus) {
            qDebug("device %d has %s in hopper < (doseFaultPlus/4) - can not be counted", id,
                   qUtf8Printable(shown));
            butchRecords.declineResidue(doseRecord(position, w, QString(), false));
        } else {
            countDelivered(position, w, QString());
        }
        work.uploadCounted = true;
        return;
    }

    work.lastDoseWeight = w;
    if (w < 0)
        qDebug("device %d has %s in hopper < 0, is antigravitation discovered?", id,
               qUtf8Printable(shown));
    else
        countDelivered(position, w, work.orderedDose);
    work.mustDownload = true;
}
