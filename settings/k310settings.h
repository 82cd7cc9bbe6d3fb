#ifndef K310SETTINGS_H
#define K310SETTINGS_H

#include "linedosers.h"
#include "ui_k310SettingsForm.h"

#include <QDialog>
#include <QList>
#include <QString>

#include <functional>
#include <memory>

class QAbstractButton;
class QMessageBox;
class QSettings;

// The dosers on the line, and for the one selected in the list its number, product and mode, and
// its parameters as the console reads them from the doser. Talks to nobody itself; only the line
// (with the first doser's number) is kept between runs.
class k310Settings : public QDialog, public Ui::k310SettingsForm
{
    Q_OBJECT

public:
    explicit k310Settings(QWidget *parent = nullptr);
    // Saves the line.
    ~k310Settings() override;

    // Runs a message box and returns the button clicked; tests answer in its place.
    using RunBox = std::function<QAbstractButton *(QMessageBox *box)>;

    // The settings store of the console: the doser number and what else is kept between runs.
    static std::unique_ptr<QSettings> makeStore();

    // Shows the first doser and selects its stored number; 30 when none, or no valid one, is
    // stored.
    void restoreK310Id();
    // Saves the line; the first doser's number goes under "k310Id".
    void saveK310Id();
    // The position, in the console's list, of the doser this dialog describes: the selected row.
    int currentDeviceIndex() const;
    // Selects the row; currentDoserChanged tells of it when it is another one.
    void setCurrentDeviceIndex(int position);
    QList<LineDoser> lineDosers() const { return line; }

    // Asked before a doser is added or removed; false leaves the line as it is, silently, as the
    // console has told the operator why. Without a guard the line may change.
    void setChangeGuard(std::function<bool()> mayChangeLine);
    // Asked before the doser at that position is removed; a text refuses and is shown.
    void setRemovalGuard(std::function<QString(int position)> refusal);
    void setRunBox(RunBox run);

    void setWeightScale(const QString &text);
    void setWeightNPV(const QString &text);
    void setDigitScale(const QString &text);
    void setPOVersion(const QString &text);
    void clearInfo();
    // The link's counts since start or the last change of port, shown in the service information.
    void setLinkCounters(quint64 sent, quint64 answered, quint64 notAnswered, quint64 corrupt);
    void clearErrorMessage();
    // What the console learned of the doser's fills of the current product, as shown.
    void setDoseCorrection(const QString &text);
    // Exact, case-sensitive match; no item is current when none matches.
    void setCurrentProductType(const QString &name);

public slots:
    void setErrorMessage(const QString &text);
    void addProductType(const QString &name);
    void dellAllProductTypes();
    void setStartIndex();
    void disableProductType(bool disable);

signals:
    void k310ProductChanged(int position, const QString &name);
    void k310IdChanged(int id);
    // Another doser is shown; its service fields are cleared for the console to fill.
    void currentDoserChanged(int position);
    // A doser was added or removed; the line is saved already.
    void lineChanged(const QList<LineDoser> &line);
    void stopTestModeClicked();
    void startTestModeClicked();
    void resetCorrectionClicked();
    void doseOptionsClicked();

private slots:
    void productTypeChanged(const QString &name);

private:
    void showFieldsOnWindowColour();
    // Makes the item current unless it already is, so that only a change is reported.
    void selectProduct(int index);
    void setUpLineTable();
    // Fills the table from the line and selects the row, without telling anyone.
    void showLine(int position);
    void showDoser(int position);
    // The number chosen in the combo box becomes the shown doser's address, unless taken.
    void takeK310Id(int id);
    void addDoser();
    void removeDoser();
    // Saves the changed line, announces it and shows the doser at that position.
    void changeLine(const QList<LineDoser> &changed, int position);
    void tell(const QString &reason);

    std::unique_ptr<QSettings> settings;
    QList<LineDoser> line;
    std::function<bool()> mayChangeLine;
    std::function<QString(int position)> removalRefusal;
    RunBox runBox;
};

#endif // K310SETTINGS_H
