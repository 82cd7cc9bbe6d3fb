// The automatic mode's buttons and reports, handed to the batch; and the panel's states.
#include "k310_halvern.h"

#include "k310device.h"
#include "k310settings.h"
#include "lotnumbers.h"

#include <QDebug>
#include <QLabel>
#include <QtMath>

QString K310_Halvern::weightText(int position, double weight) const
{
    return QString::number(weight, 'f', work(position).scale);
}

QString K310_Halvern::counterInUnits(int position, const QString &counter) const
{
    const int scale = work(position).scale;
    return QString::number(counter.toDouble() / qPow(10.0, scale), 'f', scale);
}

qreal K310_Halvern::calculateDoseWeight(int id, qreal remaining)
{
    return batch->calculateDoseWeight(id, remaining);
}

bool K310_Halvern::checkTheEndOfTheParty(int id)
{
    return batch->checkTheEndOfTheParty(id);
}

bool K310_Halvern::canDoReceipt()
{
    return batch->canDoReceipt();
}

void K310_Halvern::newButch()
{
    batch->newButch();
}

void K310_Halvern::startButton()
{
    // The batch's lot is asked first, offered as its pattern gives it; Esc starts nothing, and
    // the batch refuses an empty one with its reason.
    const DoseOptions &options = batch->doseOptions();
    if (options.lotNumber) {
        const std::optional<QString> typed = prompts.enterText(
            this, QStringLiteral("Номер партии"), LotNumbers(database).next(options.lotPattern));
        if (!typed)
            return;
        batch->setLot(typed->trimmed(), options.lotPattern);
    }
    batch->start();
}

void K310_Halvern::startButtonActions()
{
    batch->startActions();
}

void K310_Halvern::prepareDevicesForStart(int position)
{
    batch->prepareDevicesForStart(position);
}

void K310_Halvern::prepareDoserForWork(int id)
{
    batch->prepareDoserForWork(id);
}

void K310_Halvern::stopButton()
{
    batch->stop();
}

void K310_Halvern::stopButtonActions()
{
    batch->stopActions();
}

void K310_Halvern::continueButton()
{
    batch->continueWork();
}

void K310_Halvern::continueButtonActions()
{
    batch->continueActions();
}

void K310_Halvern::restoreLastSession()
{
    tightenFileModes();
    // A file the console may not write fails the level table too: one message for both.
    if (!reportRecordsProblem())
        reportAccessProblem();
    batch->restoreLastSession();
}

void K310_Halvern::checkDoseDownload()
{
    batch->checkDoseDownload();
}

void K310_Halvern::doDownloadUploadCycle(int id)
{
    batch->doDownloadUploadCycle(id);
}

// The supervisor writes the counters into the image and the batch hears them from the doser.
void K310_Halvern::hasGetTotalCommonWeight(int, const QString &) { }

void K310_Halvern::hasGetDoseUploadSignal(int, const QString &) { }

void K310_Halvern::enableControlElementsWhenButchIsDone()
{
    ui.groupBox_2->setEnabled(true);
    ui.startButton->setEnabled(true);
    ui.stopButton->setEnabled(false);
    ui.continueButton->setEnabled(false);
    ui.rs232SettingsButton->setEnabled(true);
    k310->disableProductType(false);
    disableK310Containers(false);
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
    ui.continueButton->setEnabled(batch->hasAnyTask());
    ui.rs232SettingsButton->setEnabled(true);
    k310->disableProductType(false);
    disableK310Containers(false);
}

void K310_Halvern::applyBatchState(BatchState state)
{
    switch (state) {
    case BatchState::Running:
        supervisor->setWeightPolling(false);
        disableControlElementsWhenButchStars();
        return;
    case BatchState::Stopped:
        enableControlElementsWhenStopAction();
        break;
    case BatchState::Idle:
    case BatchState::Finished:
        enableControlElementsWhenButchIsDone();
        break;
    }
    supervisor->setWeightPolling(true);
}

void K310_Halvern::noteBatchEvent(JournalEvent::Kind kind, const QString &text, qint64 butchId,
                                  int id)
{
    journal.record(kind, text, butchId, id);
    if (kind == JournalEvent::ButchFinished || kind == JournalEvent::ButchClosed)
        emit butchClosed(butchId);
}

void K310_Halvern::showRestoredTask(int position, const QString &taskWeight,
                                    const QString &delivered)
{
    if (position != selected)
        return;
    ui.containerK310_11->setChecked(true);
    enablePanelFields();
    ui.productWeightK310_11->setText(taskWeight);
    ui.progressBar_11->setText(delivered);
}
