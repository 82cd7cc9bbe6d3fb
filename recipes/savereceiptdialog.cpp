#include "savereceiptdialog.h"

#include "descriptionscroller.h"
#include "operatormessages.h"
#include "receiptdescription.h"
#include "receiptnamemessages.h"
#include "receiptstore.h"

#include <QMessageBox>
#include <QScrollBar>

SaveReceiptDialog::SaveReceiptDialog(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint)
{
    setupUi(this);
    setModal(true);
    setContextMenuPolicy(Qt::NoContextMenu);
    setAttribute(Qt::WA_DeleteOnClose, false);
    descriptionTextEdit->setPlainText(ReceiptDescriptionPlaceholder.toString());

    warningBox = OperatorMessages::makeWarningBox(this);
    warningBox->setWindowTitle(ReceiptMessageTitle.toString());
    descriptionScroller = new DescriptionScroller(upDescrButton, downDescrButton,
                                                  descriptionTextEdit->verticalScrollBar(), this);

    connect(saveButton, &QPushButton::clicked, this, &SaveReceiptDialog::saveReceipt);
    connect(cancelButton, &QPushButton::clicked, this, &SaveReceiptDialog::cancelCreation);
    connect(receiptNamelineEdit, &LineEditEmbedded::textEdited, this,
            &SaveReceiptDialog::setReceiptname);
    connect(descriptionTextEdit->verticalScrollBar(), &QScrollBar::rangeChanged, this,
            &SaveReceiptDialog::enableDescrScrollButtons);
    connect(upDescrButton, &QPushButton::pressed, this, &SaveReceiptDialog::upDescrButtonPressed);
    connect(upDescrButton, &QPushButton::released, this, &SaveReceiptDialog::upDescrButtonReleased);
    connect(downDescrButton, &QPushButton::pressed, this,
            &SaveReceiptDialog::downDescrButtonPressed);
    connect(downDescrButton, &QPushButton::released, this,
            &SaveReceiptDialog::downDescrButtonReleased);
}

SaveReceiptDialog::~SaveReceiptDialog()
{
    qDebug("~SaveReceiptDialog()");
}

void SaveReceiptDialog::receiptWasSaved()
{
    if (!waitingForHost)
        return;
    waitingForHost = false;
    setButtonsEnabled(true);
    emit receiptSaved(receiptName);
    resetForm();
    hide();
}

void SaveReceiptDialog::receiptWasNotSaved()
{
    if (!waitingForHost)
        return;
    waitingForHost = false;
    ReceiptStore::removeReceipt(receiptName);
    setButtonsEnabled(true);
}

void SaveReceiptDialog::reject()
{
    cancelButton->click();
}

void SaveReceiptDialog::saveReceipt()
{
    const QString name = receiptNamelineEdit->text();
    if (name.isEmpty()) {
        warn(EmptyReceiptNameMessage.toString());
        return;
    }
    if (ReceiptStore::exists(name)) {
        warn(receiptExistsMessage(name));
        return;
    }
    if (ReceiptStore::hasForbiddenCharacter(name)) {
        warn(ForbiddenCharactersMessage.toString());
        return;
    }
    // Without its file the host would have nowhere to store the parameters.
    if (!ReceiptStore::createReceipt(name, descriptionTextEdit->toPlainText())) {
        warn(QStringLiteral("Не удалось создать рецепт \"") + name + u'"');
        return;
    }
    receiptName = name;
    waitingForHost = true;
    setButtonsEnabled(false);
    emit receiptCanBeSaved(ReceiptStore::filePath(name));
}

void SaveReceiptDialog::cancelCreation()
{
    resetForm();
    hide();
}

void SaveReceiptDialog::setReceiptname(QString name)
{
    receiptNamelineEdit->setText(name);
}

void SaveReceiptDialog::enableDescrScrollButtons(int minimum, int maximum)
{
    descriptionScroller->rangeChanged(minimum, maximum);
}

void SaveReceiptDialog::upDescrButtonPressed()
{
    descriptionScroller->upPressed();
}

void SaveReceiptDialog::upDescrButtonReleased()
{
    descriptionScroller->released();
}

void SaveReceiptDialog::downDescrButtonPressed()
{
    descriptionScroller->downPressed();
}

void SaveReceiptDialog::downDescrButtonReleased()
{
    descriptionScroller->released();
}

void SaveReceiptDialog::warn(const QString &text)
{
    warningBox->setText(text);
    prompts.runBox(warningBox);
}

void SaveReceiptDialog::setButtonsEnabled(bool enabled)
{
    saveButton->setEnabled(enabled);
    cancelButton->setEnabled(enabled);
}

void SaveReceiptDialog::resetForm()
{
    receiptName.clear();
    receiptNamelineEdit->clear();
    descriptionTextEdit->setPlainText(ReceiptDescriptionPlaceholder.toString());
}

#include "moc_savereceiptdialog.cpp"
