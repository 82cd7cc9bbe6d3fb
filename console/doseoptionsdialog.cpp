#include "doseoptionsdialog.h"

#include "ui_doseOptionsForm.h"

DoseOptionsDialog::DoseOptionsDialog(QWidget *parent)
    : QDialog(parent)
    , form(std::make_unique<Ui::doseOptionsForm>())
{
    form->setupUi(this);
    connect(form->correctionBox, &QCheckBox::toggled, this, &DoseOptionsDialog::showWhatApplies);
    connect(form->fewestCyclesBox, &QCheckBox::toggled, this, &DoseOptionsDialog::showWhatApplies);
    connect(form->saveButton, &QPushButton::clicked, this, [this] {
        emit optionsSaved(options());
        accept();
    });
    connect(form->cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    setOptions(DoseOptions());
}

DoseOptionsDialog::~DoseOptionsDialog() = default;

void DoseOptionsDialog::setOptions(const DoseOptions &options)
{
    form->correctionBox->setChecked(options.correction);
    form->correctionDosesBox->setValue(options.correctionDoses);
    form->correctionGainBox->setValue(options.correctionGain);
    form->fewestCyclesBox->setChecked(options.fewestCycles);
    form->fillShareBox->setValue(options.fillShare);
    form->repeatReadsBox->setChecked(options.repeatReads);
    showWhatApplies();
}

DoseOptions DoseOptionsDialog::options() const
{
    DoseOptions options;
    options.correction = form->correctionBox->isChecked();
    options.correctionDoses = form->correctionDosesBox->value();
    options.correctionGain = form->correctionGainBox->value();
    options.fewestCycles = form->fewestCyclesBox->isChecked();
    options.fillShare = form->fillShareBox->value();
    options.repeatReads = form->repeatReadsBox->isChecked();
    return options;
}

void DoseOptionsDialog::showWhatApplies()
{
    // A figure of an option that is off changes nothing, so it is not offered.
    const bool correction = form->correctionBox->isChecked();
    form->correctionDosesBox->setEnabled(correction);
    form->correctionGainBox->setEnabled(correction);
    form->fillShareBox->setEnabled(form->fewestCyclesBox->isChecked());
}
