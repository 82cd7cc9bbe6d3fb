#include "doseoptionsdialog.h"

#include "dosecorrector.h"
#include "lineeditembedded.h"
#include "lotnumbers.h"
#include "ui_doseOptionsForm.h"

namespace {

constexpr double LeastGain = 0.05;
constexpr int FigureDecimals = 2;

// A figure typed on the keyboard is taken when it is a number within its range; otherwise the
// field keeps the one it showed.
void takeWithin(LineEditEmbedded *field, double low, double high, int decimals)
{
    QObject::connect(field, &LineEditEmbedded::textHasEntered, field,
                     [field, low, high, decimals](const QString &text) {
                         bool ok = false;
                         const double value = QString(text).replace(',', '.').toDouble(&ok);
                         if (ok && value >= low && value <= high)
                             field->setText(QString::number(value, 'f', decimals));
                     });
}

} // namespace

DoseOptionsDialog::DoseOptionsDialog(QWidget *parent)
    : QDialog(parent)
    , form(std::make_unique<Ui::doseOptionsForm>())
{
    form->setupUi(this);
    takeWithin(form->correctionDosesBox, DoseCorrector::FewestDoses, DoseCorrector::MostDoses, 0);
    takeWithin(form->correctionGainBox, LeastGain, 1.0, FigureDecimals);
    takeWithin(form->fillShareBox, DoseOptions::LeastFillShare, 1.0, FigureDecimals);
    takeWithin(form->lastFillShareBox, DoseOptions::LeastLastFillShare,
               DoseOptions::LargestLastFillShare, FigureDecimals);
    // A pattern that could give no lot (too long, a character that prints nothing) is not taken.
    connect(form->lotPatternBox, &LineEditEmbedded::textHasEntered, this,
            [this](const QString &pattern) {
                if (pattern.isEmpty() || LotNumbers::problem(pattern).isEmpty())
                    form->lotPatternBox->setText(pattern);
            });
    connect(form->correctionBox, &QCheckBox::toggled, this, &DoseOptionsDialog::showWhatApplies);
    connect(form->fewestCyclesBox, &QCheckBox::toggled, this, &DoseOptionsDialog::showWhatApplies);
    connect(form->preciseBox, &QCheckBox::toggled, this, &DoseOptionsDialog::showWhatApplies);
    connect(form->lotNumberBox, &QCheckBox::toggled, this, &DoseOptionsDialog::showWhatApplies);
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
    form->correctionDosesBox->setText(QString::number(options.correctionDoses));
    form->correctionGainBox->setText(QString::number(options.correctionGain, 'f', FigureDecimals));
    form->fewestCyclesBox->setChecked(options.fewestCycles);
    form->fillShareBox->setText(QString::number(options.fillShare, 'f', FigureDecimals));
    form->preciseBox->setChecked(options.precise);
    form->lastFillShareBox->setText(QString::number(options.lastFillShare, 'f', FigureDecimals));
    form->repeatReadsBox->setChecked(options.repeatReads);
    form->lotNumberBox->setChecked(options.lotNumber);
    form->lotPatternBox->setText(options.lotPattern);
    showWhatApplies();
}

DoseOptions DoseOptionsDialog::options() const
{
    DoseOptions options;
    options.correction = form->correctionBox->isChecked();
    options.correctionDoses = form->correctionDosesBox->text().toInt();
    options.correctionGain = form->correctionGainBox->text().toDouble();
    options.fewestCycles = form->fewestCyclesBox->isChecked();
    options.fillShare = form->fillShareBox->text().toDouble();
    options.precise = form->preciseBox->isChecked();
    options.lastFillShare = form->lastFillShareBox->text().toDouble();
    options.repeatReads = form->repeatReadsBox->isChecked();
    options.lotNumber = form->lotNumberBox->isChecked();
    options.lotPattern = form->lotPatternBox->text();
    return options;
}

void DoseOptionsDialog::showWhatApplies()
{
    // A figure of an option that is off changes nothing, so it is not offered.
    const bool correction = form->correctionBox->isChecked();
    form->correctionDosesBox->setEnabled(correction);
    form->correctionGainBox->setEnabled(correction);
    const bool precise = form->preciseBox->isChecked();
    form->fillShareBox->setEnabled(form->fewestCyclesBox->isChecked() || precise);
    form->lastFillShareBox->setEnabled(precise);
    form->lotPatternBox->setEnabled(form->lotNumberBox->isChecked());
}

#include "moc_doseoptionsdialog.cpp"
