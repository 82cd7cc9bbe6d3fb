#ifndef FORMULAWINDOW_H
#define FORMULAWINDOW_H

#include "database.h"
#include "formula.h"
#include "formulaplan.h"
#include "formulastore.h"
#include "modalprompts.h"
#include "recordswindow.h"

#include <QList>
#include <QStringList>

#include <memory>
#include <optional>

class AccessControl;
class LineEditEmbedded;
class QAbstractButton;
class QListWidgetItem;
class QMessageBox;

namespace Ui {
class formulaForm;
}

// The formulas of data.db: their list, the selected formula's fields and its components in a
// table. Anyone may read them; adding, changing and deleting take the level Технолог or higher,
// and below it those controls are disabled with the reason shown. Everything is entered by
// touch: names and numbers on the on-screen keyboards, a component's product (the product list
// of data.db) and doser (the line's) from lists. A component may be given as a weight per base
// size; it is kept as its share. "Сохранить" writes only what FormulaPlan::refusal() lets pass
// and otherwise says why, writing nothing.
//
// The host makes it once with
//     FormulaWindow(databaseFile, line, access, parent)
// - databaseFile: data.db; the window keeps a connection of its own, and opening it writes
//   nothing (the formula tables are made at the first save);
// - line: the dosers of the line with what they reported (setLine() when that changes); their
//   order is the order of the doser list;
// - access: the console's access control, whose level changes the window follows.
// Like the other record windows it is modal and only hides when closed; it reads the formulas
// and products again each time it is shown.
class FormulaWindow : public RecordsWindow
{
    Q_OBJECT

public:
    FormulaWindow(const QString &databaseFile, const QList<LineCapacity> &line,
                  AccessControl &access, QWidget *parent = nullptr);
    ~FormulaWindow() override;

    void setLine(const QList<LineCapacity> &line);
    void setPrompts(const ModalPrompts &replacement) { prompts = replacement; }
    // The formulas and products as data.db holds them now; the formula shown is kept when it
    // is still there.
    void reload();

signals:
    // A formula saved (before: its former name, empty for a new one) or deleted (after empty),
    // once data.db holds it; for the host's journal.
    void formulaChanged(const QString &before, const QString &after);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void fillFormulaList(const QString &selected);
    void fillProducts();
    void fillDosers();
    void showFormula(const Formula &formula);
    void showComponents();
    void showShareSum();
    void showAccess();
    void formulaClicked(QListWidgetItem *item);
    void componentClicked(int row);
    void newFormula();
    // Edits not saved are offered for saving before the formula is left; false when the
    // operator wanted them saved and data.db refused them.
    bool editsSettled();
    void saveFormula();
    void deleteFormula();
    void addComponent();
    void changeComponent();
    void removeComponent();
    void weightModeToggled(bool byWeight);
    // The component the editor describes; nothing (the operator told why) when it is not whole.
    std::optional<FormulaComponent> editorComponent();
    // The field keeps a number the keyboard hands back and passes it on; any other text is
    // dropped.
    void takeNumber(LineEditEmbedded *field, void (FormulaWindow::*taken)(double));
    void takeText(LineEditEmbedded *field, void (FormulaWindow::*taken)(const QString &));
    void nameEntered(const QString &name);
    void lotPatternEntered(const QString &pattern);
    void baseSizeEntered(double size);
    void largestBatchEntered(double size);
    void ignoreNumber(double) { }
    bool mayEdit() const;
    void warn(const QString &text);
    bool ask(const QString &text);
    QString doserText(int doser) const;
    QString weightText(double weight, int doser) const;

    std::unique_ptr<Ui::formulaForm> form;
    Database database;
    FormulaStore store {database};
    QList<LineCapacity> line;
    AccessControl &access;
    ModalPrompts prompts;
    QStringList products;
    // The formula as the fields show it; its id is 0 until it is saved.
    Formula edited;
    // The name the shown formula has in data.db; empty for a new one.
    QString storedName;
    int selectedComponent = -1;
    // The fields differ from what data.db holds (or a new formula was begun).
    bool unsaved = false;
    QMessageBox *warningBox = nullptr;
    QMessageBox *questionBox = nullptr;
    QAbstractButton *yesButton = nullptr;
};

#endif // FORMULAWINDOW_H
