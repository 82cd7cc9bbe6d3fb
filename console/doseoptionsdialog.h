#ifndef DOSEOPTIONSDIALOG_H
#define DOSEOPTIONSDIALOG_H

#include "doseoptions.h"

#include <QDialog>

#include <memory>

namespace Ui {
class doseOptionsForm;
}

// Where an engineer switches the dose options on and sets their figures; hands them back on
// "Сохранить", changes nothing itself.
class DoseOptionsDialog : public QDialog
{
    Q_OBJECT

public:
    explicit DoseOptionsDialog(QWidget *parent = nullptr);
    ~DoseOptionsDialog() override;

    void setOptions(const DoseOptions &options);
    DoseOptions options() const;

signals:
    void optionsSaved(const DoseOptions &options);

private:
    void showWhatApplies();

    std::unique_ptr<Ui::doseOptionsForm> form;
};

#endif // DOSEOPTIONSDIALOG_H
