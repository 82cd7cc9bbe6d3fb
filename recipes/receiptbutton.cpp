#include "receiptbutton.h"

#include "receiptdialog.h"
#include "receipttiming.h"
#include "savereceiptdialog.h"

ReceiptButton::ReceiptButton(QWidget *parent)
    : QWidget(parent)
{
    setupUi(this);
    manager = new ReceiptDialog();
    SaveReceiptDialog *creation = manager->saveReceiptDialog();

    connect(creation, &SaveReceiptDialog::receiptCanBeSaved, this,
            &ReceiptButton::receiptCanBeSaved);
    connect(manager, &ReceiptDialog::receiptCanBeRewrited, this,
            &ReceiptButton::receiptCanBeRewrited);
    connect(manager, &ReceiptDialog::receiptCanBeLoaded, this, &ReceiptButton::receiptCanBeLoaded);
    connect(receiptEditorButton, &QPushButton::clicked, this, &ReceiptButton::receiptDialogOpened);
    connect(manager->closeButton, &QPushButton::clicked, this, &ReceiptButton::receiptDialogClosed);
    connect(manager->createReceiptButton, &QPushButton::clicked, this,
            &ReceiptButton::createReceiptButtonClicked);

    connect(manager, &ReceiptDialog::receiptLoaded, this, &ReceiptButton::setReceiptName);
    connect(manager, &ReceiptDialog::receiptRewrited, this, &ReceiptButton::setReceiptName);
    connect(creation, &SaveReceiptDialog::receiptSaved, this, &ReceiptButton::setReceiptName);
    connect(manager, &ReceiptDialog::receiptRenamed, this,
            &ReceiptButton::setReceiptNameAfterRenamed);
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

SaveReceiptDialog *ReceiptButton::saveReceiptDialog() const
{
    return manager->saveReceiptDialog();
}

void ReceiptButton::createReceiptsStoreDir()
{
    manager->createReceiptsStoreDir();
}

void ReceiptButton::showReceiptDialog()
{
    // The manager has no parent window, so it is centred over the host by hand.
    const QRect host = window()->frameGeometry();
    manager->show();
    manager->move(host.center() - manager->rect().center());
    manager->raise();
    manager->activateWindow();
    manager->refreshReceiptList(receiptName());
}

void ReceiptButton::showCreateReceiptDialog()
{
    manager->showCreateReceiptDialog();
}

void ReceiptButton::closeAllForms()
{
    manager->saveReceiptDialog()->hide();
    manager->hide();
}

void ReceiptButton::enableChangeLoadReceiptButtons()
{
    manager->enableChangeLoadReceiptButtons();
}

void ReceiptButton::desableChangeLoadReceiptButtons()
{
    manager->desableChangeLoadReceiptButtons();
}

void ReceiptButton::desableLoadReceiptButton()
{
    manager->desableLoadReceiptButton();
}

void ReceiptButton::enableOrDisableReceiptsManageButtons(bool enable)
{
    if (!enable)
        manager->desableChangeLoadReceiptButtons();
}

void ReceiptButton::receiptWasSaved()
{
    manager->saveReceiptDialog()->receiptWasSaved();
}

void ReceiptButton::receiptWasNotSaved()
{
    manager->saveReceiptDialog()->receiptWasNotSaved();
}

void ReceiptButton::receiptWasRewrited()
{
    manager->receiptWasRewrited();
}

void ReceiptButton::receiptWasNotRewrited()
{
    manager->receiptWasNotRewrited();
}

void ReceiptButton::receiptWasLoaded()
{
    manager->receiptWasLoaded();
}

void ReceiptButton::receiptWasNotLoaded()
{
    manager->receiptWasNotLoaded();
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
