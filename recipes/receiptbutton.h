#ifndef RECEIPTBUTTON_H
#define RECEIPTBUTTON_H

#include "ui_receiptButtonForm.h"

#include <QWidget>

class ReceiptDialog;
class SaveReceiptDialog;

// The recipe panel a host window places: one button showing the current recipe that opens the
// recipe manager. The panel relays the manager's requests to the host as signals and hands the
// host's answers and permissions back through its slots; the host moves the parameters.
class ReceiptButton : public QWidget, public Ui::receiptButtonForm
{
    Q_OBJECT
    // Shared by every panel, manager and creation dialog of the program.
    Q_PROPERTY(uint repeatdelay READ repeatdelay WRITE setRepeatdelay)
    Q_PROPERTY(uint repeatspeed READ repeatspeed WRITE setRepeatspeed)
    Q_PROPERTY(
        uint descriptionrepeatspeed READ descriptionrepeatspeed WRITE setDescriptionrepeatspeed)

public:
    // The button's text while no recipe is current.
    static constexpr QStringView NoReceiptText = u"отсутствует";

    explicit ReceiptButton(QWidget *parent = nullptr);
    ~ReceiptButton() override;

    uint repeatdelay() const;
    void setRepeatdelay(uint milliseconds);
    uint repeatspeed() const;
    void setRepeatspeed(uint milliseconds);
    uint descriptionrepeatspeed() const;
    void setDescriptionrepeatspeed(uint milliseconds);

    // The current recipe's name; empty when there is none.
    QString receiptName() const;
    // The manager and its creation dialog, made at the first use.
    ReceiptDialog *receiptDialog();
    SaveReceiptDialog *saveReceiptDialog();

signals:
    void receiptCanBeSaved(QString path);
    void receiptCanBeRewrited(QString path);
    void receiptCanBeLoaded(QString path);
    void receiptDialogOpened();
    void receiptDialogClosed();
    void createReceiptButtonClicked();
    // Changes the manager made to the store itself, for the host's journal.
    void receiptRenamed(QString oldName, QString newName);
    void receiptDeleted(QString name);

public slots:
    // Chooses the store directory; the host calls it once before the panel is used.
    void createReceiptsStoreDir();
    void showReceiptDialog();
    void showCreateReceiptDialog();
    void closeAllForms();
    void enableChangeLoadReceiptButtons();
    void desableChangeLoadReceiptButtons();
    void desableLoadReceiptButton();
    // False gates off loading, rewriting and creating; true changes nothing.
    void enableOrDisableReceiptsManageButtons(bool enable);
    void receiptWasSaved();
    void receiptWasNotSaved();
    void receiptWasRewrited();
    void receiptWasNotRewrited();
    void receiptWasLoaded();
    void receiptWasNotLoaded();

private slots:
    void setReceiptName(QString name);
    void setReceiptNameAfterRenamed(QString oldName, QString newName);

private:
    ReceiptDialog *manager = nullptr;
};

#endif // RECEIPTBUTTON_H
