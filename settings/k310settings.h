#ifndef K310SETTINGS_H
#define K310SETTINGS_H

#include "ui_k310SettingsForm.h"

#include <QDialog>
#include <QString>
#include <memory>

class QSettings;

// The doser's number on the line, its product and mode, and its parameters as the console
// reads them from the doser. Talks to nobody itself; only the doser number is kept between runs.
class k310Settings : public QDialog, public Ui::k310SettingsForm
{
    Q_OBJECT

public:
    explicit k310Settings(QWidget *parent = nullptr);
    // Saves the doser number.
    ~k310Settings() override;

    // The settings store of the console: the doser number and what else is kept between runs.
    static std::unique_ptr<QSettings> makeStore();

    // Selects the stored doser number; 30 when none, or no valid one, is stored.
    void restoreK310Id();
    void saveK310Id();
    // The position, in the console's list, of the doser this dialog describes.
    int currentDeviceIndex() const;

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

    std::unique_ptr<QSettings> settings;
};

#endif // K310SETTINGS_H
