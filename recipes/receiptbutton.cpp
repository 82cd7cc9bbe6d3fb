#include "receiptbutton.h"

#include "receiptdialog.h"
#include "receiptstore.h"
#include "receipttiming.h"
#include "savereceiptdialog.h"

ReceiptButton::ReceiptButton(QWidget *parent)
    : QWidget(parent)
{
    setupUi(this);
    connect(receiptEditorButton, &QPushButton::clicked, this, &ReceiptButton::receiptDialogOpened);
}

ReceiptDialog *ReceiptButton::receiptDialog()
{
    // Made at the first use, so the host's window opens without the cost of two dialogs.
    if (manager)
        return manager;
    manager = new ReceiptDialog();
    SaveReceiptDialog *creation = manager->saveReceiptDialog();

    connect(creation, &SaveReceiptDialog::receiptCanBeSaved, this,
            &ReceiptButton::receiptCanBeSaved);
    connect(manager, &ReceiptDialog::receiptCanBeRewrited, this,
            &ReceiptButton::receiptCanBeRewrited);
    connect(manager, &ReceiptDialog::receiptCanBeLoaded, this, &ReceiptButton::receiptCanBeLoaded);
    connect(manager->closeButton, &QPushButton::clicked, this, &ReceiptButton::receiptDialogClosed);
    connect(manager->createReceiptButton, &QPushButton::clicked, this,
            &ReceiptButton::createReceiptButtonClicked);

    connect(manager, &ReceiptDialog::receiptLoaded, this, &ReceiptButton::setReceiptName);
    connect(manager, &ReceiptDialog::receiptRewrited, this, &ReceiptButton::setReceiptName);
    connect(creation, &SaveReceiptDialog::receiptSaved, this, &ReceiptButton::setReceiptName);
    connect(manager, &ReceiptDialog::receiptRenamed, this,
            &ReceiptButton::setReceiptNameAfterRenamed);
    connect(manager, &ReceiptDialog::receiptRenamed, this, &ReceiptButton::receiptRenamed);
    connect(manager, &ReceiptDialog::receiptDeleted, this, &ReceiptButton::receiptDeleted);
    return manager;
}

ReceiptButton::~ReceiptButton()
{
    qDebug("~ReceiptButton()");
    delete manager;
}

uint ReceiptButton::repeatdelay() const
{
    return ReceiptTiming::repeatDelay();
}

void ReceiptButton::setRepeatdelay(uint milliseconds)
{
    ReceiptTiming::setRepeatDelay(milliseconds);
}

uint ReceiptButton::repeatspeed() const
{
    return ReceiptTiming::repeatSpeed();
}

void ReceiptButton::setRepeatspeed(uint milliseconds)
{
    ReceiptTiming::setRepeatSpeed(milliseconds);
}

uint ReceiptButton::descriptionrepeatspeed() const
{
    return ReceiptTiming::descriptionRepeatSpeed();
}

void ReceiptButton::setDescriptionrepeatspeed(uint milliseconds)
{
    ReceiptTiming::setDescriptionRepeatSpeed(milliseconds);
}

QString ReceiptButton::receiptName() const
{
    const QString text = receiptEditorButton->text();
    return text == NoReceiptText ? QString() : text;
}

SaveReceiptDialog *ReceiptButton::saveReceiptDialog()
{
    return receiptDialog()->saveReceiptDialog();
}

void ReceiptButton::createReceiptsStoreDir()
{
    ReceiptStore::createReceiptsStoreDir();
}

void ReceiptButton::showReceiptDialog()
{
    // The manager has no parent window, so it is centred over the host by hand.
    const QRect host = window()->frameGeometry();
    ReceiptDialog *dialog = receiptDialog();
    dialog->show();
    dialog->move(host.center() - dialog->rect().center());
    dialog->raise();
    dialog->activateWindow();
    dialog->refreshReceiptList(receiptName());
}

void ReceiptButton::showCreateReceiptDialog()
{
    receiptDialog()->showCreateReceiptDialog();
}

void ReceiptButton::closeAllForms()
{
    // Nothing to hide before the manager was first made.
    if (!manager)
        return;
    manager->saveReceiptDialog()->hide();
    manager->hide();
}

void ReceiptButton::enableChangeLoadReceiptButtons()
{
    receiptDialog()->enableChangeLoadReceiptButtons();
}

void ReceiptButton::desableChangeLoadReceiptButtons()
{
    receiptDialog()->desableChangeLoadReceiptButtons();
}

void ReceiptButton::desableLoadReceiptButton()
{
    receiptDialog()->desableLoadReceiptButton();
}

void ReceiptButton::enableOrDisableReceiptsManageButtons(bool enable)
{
    if (!enable)
        receiptDialog()->desableChangeLoadReceiptButtons();
}

void ReceiptButton::receiptWasSaved()
{
    receiptDialog()->saveReceiptDialog()->receiptWasSaved();
}

void ReceiptButton::receiptWasNotSaved()
{
    receiptDialog()->saveReceiptDialog()->receiptWasNotSaved();
}

void ReceiptButton::receiptWasRewrited()
{
    receiptDialog()->receiptWasRewrited();
}

void ReceiptButton::receiptWasNotRewrited()
{
    receiptDialog()->receiptWasNotRewrited();
}

void ReceiptButton::receiptWasLoaded()
{
    receiptDialog()->receiptWasLoaded();
}

void ReceiptButton::receiptWasNotLoaded()
{
    receiptDialog()->receiptWasNotLoaded();
}

void ReceiptButton::setReceiptName(QString name)
{
    receiptEditorButton->setText(name);
}

void ReceiptButton::setReceiptNameAfterRenamed(QString oldName, QString newName)
{
    if (receiptEditorButton->text() == oldName)
        receiptEditorButton->setText(newName);
}

#include "moc_receiptbutton.cpp"
