#ifndef FORMULASTARTDIALOG_H
#define FORMULASTARTDIALOG_H

#include "formula.h"
#include "formulaplan.h"

#include <QDialog>

#include <memory>

class Database;

namespace Ui {
class formulaStartForm;
}

// Where the operator starts a batch of a formula: chooses the formula and the size, sees each
// component's target before the start, and why a size cannot run (the start is then refused).
// A size above the formula's largest batch is shown as its split. Hands the choice back; starts
// nothing itself.
class FormulaStartDialog : public QDialog
{
    Q_OBJECT

public:
    struct Choice
    {
        Formula formula;
        // One size per batch: more than one when the size is split.
        QList<double> sizes;
        // As typed; empty for the formula's pattern.
        QString lot;
    };

    explicit FormulaStartDialog(Database &records, QWidget *parent = nullptr);
    ~FormulaStartDialog() override;

    // The line as the batch knows it; the plan is shown again for it.
    void setLine(const QList<LineCapacity> &line);
    // Reads the formulas again (after they were edited).
    void reload();
    Choice choice() const;

signals:
    // The operator asks for the formula window.
    void formulasWanted();

private:
    void showPlan();

    std::unique_ptr<Ui::formulaStartForm> form;
    Database &database;
    QList<LineCapacity> capacities;
    Formula chosen;
    QList<double> sizes;
};

#endif // FORMULASTARTDIALOG_H
