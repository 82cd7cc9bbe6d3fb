#ifndef SAVERECEIPTDIALOG_H
#define SAVERECEIPTDIALOG_H

#include "modalprompts.h"
#include "ui_saveReceiptDialogForm.h"

#include <QDialog>

class DescriptionScroller;
class QMessageBox;

// Names and describes a new recipe: makes its file with the description, then asks the host to
// store the doser's working parameters into it and waits for the answer.
class SaveReceiptDialog : public QDialog, public Ui::saveReceiptDialogForm
{
    Q_OBJECT

public:
    explicit SaveReceiptDialog(QWidget *parent = nullptr);
    ~SaveReceiptDialog() override;

    void setPrompts(const ModalPrompts &replacement) { prompts = replacement; }
    // From the request to the host until its answer; both buttons are off meanwhile.
    bool isWaitingForHost() const { return waitingForHost; }

signals:
    // The file exists with its description; the host stores the parameters into it.
    void receiptCanBeSaved(QString path);
    void receiptSaved(QString name);

public slots:
    void receiptWasSaved();
    // The host could not store the parameters: the new file goes, the entry stays for a retry.
    void receiptWasNotSaved();
    // Esc and the window's close button act as "Закрыть меню", and do nothing while waiting.
    void reject() override;

private slots:
    void saveReceipt();
    void cancelCreation();
    void setReceiptname(QString name);
    void enableDescrScrollButtons(int minimum, int maximum);
    void upDescrButtonPressed();
    void upDescrButtonReleased();
    void downDescrButtonPressed();
    void downDescrButtonReleased();

private:
    void warn(const QString &text);
    void setButtonsEnabled(bool enabled);
    void resetForm();

    QMessageBox *warningBox = nullptr;
    ModalPrompts prompts;
    QString receiptName;
    bool waitingForHost = false;
    DescriptionScroller *descriptionScroller = nullptr;
};

#endif // SAVERECEIPTDIALOG_H
