#ifndef RECEIPTDIALOG_H
#define RECEIPTDIALOG_H

#include "modalprompts.h"
#include "ui_receiptDialogForm.h"

#include <QDialog>
#include <QTimer>

class DescriptionScroller;
class QAbstractButton;
class QListWidgetItem;
class QMessageBox;
class SaveReceiptDialog;

// The recipe manager: browses the store, renames, describes and deletes recipes, and asks the
// host to load a recipe into the doser or to rewrite one from it. The host's answer closes it.
class ReceiptDialog : public QDialog, public Ui::receiptDialogForm
{
    Q_OBJECT

public:
    explicit ReceiptDialog(QWidget *parent = nullptr);
    ~ReceiptDialog() override;

    // Re-lists the store and selects the current recipe, or the first one when there is none.
    void refreshReceiptList(QString currentName);
    SaveReceiptDialog *saveReceiptDialog() const { return createDialog; }
    // Also used by the creation dialog.
    void setPrompts(const ModalPrompts &replacement);
    // From a confirmed load or rewrite until the host's answer; the five buttons are off then.
    bool isWaitingForHost() const { return hostRequest != HostRequest::None; }

signals:
    void receiptCanBeRewrited(QString path);
    void receiptCanBeLoaded(QString path);
    void receiptLoaded(QString name);
    void receiptRewrited(QString name);
    void receiptRenamed(QString oldName, QString newName);
    void receiptDeleted(QString name);

public slots:
    void receiptWasRewrited();
    void receiptWasNotRewrited();
    void receiptWasLoaded();
    void receiptWasNotLoaded();
    void enableChangeLoadReceiptButtons();
    void desableLoadReceiptButton();
    void desableChangeLoadReceiptButtons();
    void showCreateReceiptDialog();
    void createReceiptsStoreDir();
    // Esc and the window's close button act as "Закрыть меню", and do nothing while waiting.
    void reject() override;

private slots:
    void itemSelectionChangedAction();
    void enableScrollButtons(int minimum, int maximum);
    void enableDescrScrollButtons(int minimum, int maximum);
    void deleteReceipt();
    void loadReceipt();
    void rewriteReceipt();
    void renameReceipt(QString newName);
    void saveReceiptDescription(QString description);
    void addNewReceipt(QString name);
    void closeWindow();
    void upButtonPressed();
    void upButtonReleased();
    void downButtonPressed();
    void downButtonReleased();
    void upDescrButtonPressed();
    void upDescrButtonReleased();
    void downDescrButtonPressed();
    void downDescrButtonReleased();
    void setUpDownButtonsState();

private:
    enum class HostRequest { None, Load, Rewrite };
    enum class Direction { Up, Down };

    void clearReceiptView();
    bool hasSelectedEntry() const;
    QListWidgetItem *findEntry(const QString &name) const;
    bool confirmed(const QString &title, const QString &text);
    void warn(const QString &title, const QString &text);
    void askHost(HostRequest request, const QString &title, const QString &question);
    bool takeHostAnswer(HostRequest request);
    void disableFiveButtons();
    void restoreFiveButtons();

    void startListHold(Direction direction);
    void stopListHold(Direction direction);
    void holdTimeout();
    void listStep(Direction direction);
    void endListHold();

    SaveReceiptDialog *createDialog = nullptr;
    QMessageBox *questionBox = nullptr;
    QAbstractButton *yesButton = nullptr;
    QMessageBox *warningBox = nullptr;
    ModalPrompts prompts;
    DescriptionScroller *descriptionScroller = nullptr;

    QString currentReceiptName;
    HostRequest hostRequest = HostRequest::None;
    bool loadAllowed = true;
    bool rewriteAllowed = true;
    bool createAllowed = true;
    bool listScrollable = false;
    bool selectionHandlerSuspended = false;
    bool scrollHeld = false;
    bool firstStepPending = false;
    Direction heldDirection = Direction::Down;
    // Paces a held list button: the repeat delay first, then the repeat speed.
    QTimer holdTimer;
};

#endif // RECEIPTDIALOG_H
