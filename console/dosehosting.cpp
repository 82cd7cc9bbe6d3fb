// The console as host of the dose options: they are kept in the settings store, changed at the
// technologist's level, journaled, and handed to the batch and the line.
#include "k310_halvern.h"

#include "doseoptionsdialog.h"
#include "k310device.h"
#include "k310link.h"
#include "k310settings.h"

#include <QSettings>

namespace {

QString correctionText(const LearnedCorrection &learned)
{
    if (learned.isEmpty())
        return QStringLiteral("нет");
    return QStringLiteral("%1, по %2 дозам")
        .arg(DoseCorrections::termsText(learned.correction, learned.inFlight))
        .arg(learned.ratios.size());
}

} // namespace

void K310_Halvern::wireDoseOptions()
{
    applyDoseOptions(DoseOptions::load(*k310Settings::makeStore()));
    connect(k310, &k310Settings::doseOptionsClicked, this, &K310_Halvern::showDoseOptions);
    connect(k310, &k310Settings::resetCorrectionClicked, this, &K310_Halvern::resetDoseCorrection);
}

void K310_Halvern::applyDoseOptions(const DoseOptions &options)
{
    batch->setDoseOptions(options);
    link->setRepeatReads(options.repeatReads);
}

void K310_Halvern::showDoseOptions()
{
    if (!mayChange(AccessLevel::Technologist))
        return;
    if (!doseOptionsDialog) {
        doseOptionsDialog = new DoseOptionsDialog(k310);
        connect(doseOptionsDialog, &DoseOptionsDialog::optionsSaved, this,
                [this](const DoseOptions &options) {
                    const DoseOptions before = batch->doseOptions();
                    if (options == before)
                        return;
                    options.save(*k310Settings::makeStore());
                    noteChange(JournalEvent::SettingChanged,
                               QStringLiteral("параметры дозирования"), before.summary(),
                               options.summary());
                    applyDoseOptions(options);
                    showDoseCorrection(k310->currentDeviceIndex());
                });
    }
    doseOptionsDialog->setOptions(batch->doseOptions());
    doseOptionsDialog->open();
}

void K310_Halvern::showDoseCorrection(int position)
{
    if (position < 0 || position >= doserCount())
        return;
    const QString product = doser(position)->getProductName();
    const QString learned = product.isEmpty()
                                ? QStringLiteral("нет")
                                : correctionText(batch->correctionOf(position, product));
    k310->setDoseCorrection(batch->doseOptions().correction
                                ? learned
                                : QStringLiteral("выключена (изучено: %1)").arg(learned));
    k310->resetCorrectionButton->setEnabled(!product.isEmpty());
}

void K310_Halvern::resetDoseCorrection()
{
    const int position = k310->currentDeviceIndex();
    if (position < 0 || position >= doserCount() || !mayChange(AccessLevel::Technologist))
        return;
    const QString product = doser(position)->getProductName();
    if (product.isEmpty())
        return;
    const QString before = correctionText(batch->correctionOf(position, product));
    const WriteResult reset = batch->resetCorrection(position, product);
    if (!reset) {
        inform(QStringLiteral("Ошибка записи в базу данных: %1.").arg(reset.reason()));
        return;
    }
    noteChange(JournalEvent::SettingChanged, QStringLiteral("поправка дозы (%1)").arg(product),
               before, QStringLiteral("сброшена"), doser(position)->getDeviceID());
    showDoseCorrection(position);
}
