#include "receiptdialog.h"

#include "descriptionscroller.h"
#include "operatormessages.h"
#include "receiptnamemessages.h"
#include "receiptstore.h"
#include "receipttiming.h"
#include "savereceiptdialog.h"

#include <QMessageBox>
#include <QScrollBar>

namespace {

// A list entry shows the name on a line of its own, which makes the rows taller to touch.
const QString EntryEnd = QStringLiteral("\n");

QString quoted(const QString &name)
{
    return u'"' + name + u'"';
}

QString entryName(const QListWidgetItem *item)
{
    return item->text().chopped(EntryEnd.size());
}

void enable(QWidget *widget)
{
    if (!widget->isEnabled())
        widget->setEnabled(true);
}

} // namespace

ReceiptDialog::ReceiptDialog(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint)
{
    setupUi(this);
    setModal(true);
    setContextMenuPolicy(Qt::NoContextMenu);
    setAttribute(Qt::WA_DeleteOnClose, false);

    createDialog = new SaveReceiptDialog(this);
    questionBox = OperatorMessages::makeQuestionBox(this, &yesButton);
    warningBox = OperatorMessages::makeWarningBox(this);
    descriptionScroller = new DescriptionScroller(upDescrButton, downDescrButton,
                                                  descriptionTextEdit->verticalScrollBar(), this);
    holdTimer.setSingleShot(true);
    holdTimer.setTimerType(Qt::PreciseTimer);
    connect(&holdTimer, &QTimer::timeout, this, &ReceiptDialog::holdTimeout);

    connect(receiptListWidget, &QListWidget::itemSelectionChanged, this,
            &ReceiptDialog::itemSelectionChangedAction);
    connect(receiptListWidget->verticalScrollBar(), &QScrollBar::rangeChanged, this,
            &ReceiptDialog::enableScrollButtons);
    connect(descriptionTextEdit->verticalScrollBar(), &QScrollBar::rangeChanged, this,
            &ReceiptDialog::enableDescrScrollButtons);
    connect(deleteReceiptButton, &QPushButton::clicked, this, &ReceiptDialog::deleteReceipt);
    connect(loadReceiptButton, &QPushButton::clicked, this, &ReceiptDialog::loadReceipt);
    connect(changeReceiptButton, &QPushButton::clicked, this, &ReceiptDialog::rewriteReceipt);
    connect(receiptNamelineEdit, &LineEditEmbedded::textEdited, this,
            &ReceiptDialog::renameReceipt);
    connect(descriptionTextEdit, &TextEditEmbedded::descriptionChanged, this,
            &ReceiptDialog::saveReceiptDescription);
    connect(createDialog, &SaveReceiptDialog::receiptSaved, this, &ReceiptDialog::addNewReceipt);
    connect(closeButton, &QPushButton::clicked, this, &ReceiptDialog::closeWindow);
    connect(upButton, &QPushButton::pressed, this, &ReceiptDialog::upButtonPressed);
    connect(upButton, &QPushButton::released, this, &ReceiptDialog::upButtonReleased);
    connect(downButton, &QPushButton::pressed, this, &ReceiptDialog::downButtonPressed);
    connect(downButton, &QPushButton::released, this, &ReceiptDialog::downButtonReleased);
    connect(upDescrButton, &QPushButton::pressed, this, &ReceiptDialog::upDescrButtonPressed);
    connect(upDescrButton, &QPushButton::released, this, &ReceiptDialog::upDescrButtonReleased);
    connect(downDescrButton, &QPushButton::pressed, this, &ReceiptDialog::downDescrButtonPressed);
    connect(downDescrButton, &QPushButton::released, this, &ReceiptDialog::downDescrButtonReleased);
}

ReceiptDialog::~ReceiptDialog()
{
    qDebug("~ReceiptDialog()");
}

void ReceiptDialog::setPrompts(const ModalPrompts &replacement)
{
    prompts = replacement;
    createDialog->setPrompts(replacement);
}

void ReceiptDialog::refreshReceiptList(QString currentName)
{
    clearReceiptView();
    const QStringList names = ReceiptStore::receiptNames();
    for (const QString &name : names)
        receiptListWidget->addItem(name + EntryEnd);
    receiptListWidget->sortItems(Qt::AscendingOrder);

    if (!currentName.isEmpty()) {
        currentReceiptNameLabel->setText(currentName);
        if (QListWidgetItem *entry = findEntry(currentName)) {
            descriptionTextEdit->setEnabled(true);
            receiptListWidget->setCurrentItem(entry);
        }
    } else if (receiptListWidget->count() > 0) {
        descriptionTextEdit->setEnabled(true);
        receiptListWidget->setCurrentRow(0);
    }
}

void ReceiptDialog::clearReceiptView()
{
    receiptListWidget->clear();
    receiptNamelineEdit->clear();
    receiptNamelineEdit->setEnabled(false);
    descriptionTextEdit->clear();
    descriptionTextEdit->setEnabled(false);
    deleteReceiptButton->setEnabled(false);
    changeReceiptButton->setEnabled(false);
    loadReceiptButton->setEnabled(false);
}

void ReceiptDialog::itemSelectionChangedAction()
{
    const QListWidgetItem *entry = receiptListWidget->currentItem();
    if (selectionHandlerSuspended || !entry)
        return;
    setUpDownButtonsState();
    const QString name = entryName(entry);
    receiptNamelineEdit->setEnabled(true);
    receiptNamelineEdit->setText(name);
    descriptionTextEdit->setEnabled(true);
    descriptionTextEdit->setPlainText(ReceiptStore::readDescription(name));
    // While the host works on a request, no second one may be started.
    const bool free = !isWaitingForHost();
    deleteReceiptButton->setEnabled(free);
    loadReceiptButton->setEnabled(free && loadAllowed);
    changeReceiptButton->setEnabled(free && rewriteAllowed);
}

void ReceiptDialog::enableScrollButtons(int, int maximum)
{
    if (maximum <= 0) {
        listScrollable = false;
        upButton->setEnabled(false);
        downButton->setEnabled(false);
        return;
    }
    listScrollable = true;
    const int row = receiptListWidget->currentRow();
    if (row > 0)
        upButton->setEnabled(true);
    if (row < receiptListWidget->count() - 1)
        downButton->setEnabled(true);
}

void ReceiptDialog::setUpDownButtonsState()
{
    if (!listScrollable)
        return;
    const int row = receiptListWidget->currentRow();
    const bool last = row >= 0 && row == receiptListWidget->count() - 1;
    upButton->setEnabled(last || row > 0);
    downButton->setEnabled(!last);
}

void ReceiptDialog::enableDescrScrollButtons(int minimum, int maximum)
{
    descriptionScroller->rangeChanged(minimum, maximum);
}

void ReceiptDialog::deleteReceipt()
{
    const QString name = receiptNamelineEdit->text();
    if (!confirmed(QStringLiteral("Удаление рецепта"),
                   QStringLiteral("Удалить рецепт ") + quoted(name)))
        return;
    // The entry goes only with its file; otherwise it would come back at the next opening.
    if (!ReceiptStore::removeReceipt(name)) {
        warn(ReceiptMessageTitle.toString(),
             QStringLiteral("Не удалось удалить рецепт ") + quoted(name));
        return;
    }
    emit receiptDeleted(name);
    if (receiptListWidget->count() == 1) {
        clearReceiptView();
        return;
    }
    const int row = receiptListWidget->currentRow();
    selectionHandlerSuspended = true;
    delete receiptListWidget->takeItem(row);
    receiptListWidget->setCurrentRow(qMin(row, receiptListWidget->count() - 1));
    selectionHandlerSuspended = false;
    itemSelectionChangedAction();
}

void ReceiptDialog::loadReceipt()
{
    askHost(HostRequest::Load, QStringLiteral("Загрузка рецепта"),
            QStringLiteral("Загрузить рецепт "));
}

void ReceiptDialog::rewriteReceipt()
{
    askHost(HostRequest::Rewrite, QStringLiteral("Изменение рецепта"),
            QStringLiteral("Перезаписать рецепт "));
}

void ReceiptDialog::askHost(HostRequest request, const QString &title, const QString &question)
{
    const QString name = receiptNamelineEdit->text();
    const QString path = ReceiptStore::filePath(name);
    if (path.isEmpty() || isWaitingForHost() || !confirmed(title, question + quoted(name)))
        return;
    currentReceiptName = name;
    hostRequest = request;
    disableFiveButtons();
    if (request == HostRequest::Load)
        emit receiptCanBeLoaded(path);
    else
        emit receiptCanBeRewrited(path);
}

bool ReceiptDialog::takeHostAnswer(HostRequest request)
{
    // An answer nobody asked for would put a stale name on the panel.
    if (hostRequest != request)
        return false;
    hostRequest = HostRequest::None;
    restoreFiveButtons();
    return true;
}

void ReceiptDialog::receiptWasLoaded()
{
    if (!takeHostAnswer(HostRequest::Load))
        return;
    currentReceiptNameLabel->setText(currentReceiptName);
    emit receiptLoaded(currentReceiptName);
    closeWindow();
}

void ReceiptDialog::receiptWasNotLoaded()
{
    if (takeHostAnswer(HostRequest::Load))
        closeWindow();
}

void ReceiptDialog::receiptWasRewrited()
{
    if (!takeHostAnswer(HostRequest::Rewrite))
        return;
    emit receiptRewrited(currentReceiptName);
    closeWindow();
}

void ReceiptDialog::receiptWasNotRewrited()
{
    if (takeHostAnswer(HostRequest::Rewrite))
        closeWindow();
}

void ReceiptDialog::renameReceipt(QString newName)
{
    const QString oldName = receiptNamelineEdit->text();
    if (newName.compare(oldName, Qt::CaseInsensitive) == 0)
        return;
    if (newName.isEmpty()) {
        warn(ReceiptMessageTitle.toString(), EmptyReceiptNameMessage.toString());
        return;
    }
    if (findEntry(newName)) {
        warn(QStringLiteral("Переименовать рецепт"), receiptExistsMessage(newName));
        return;
    }
    if (ReceiptStore::hasForbiddenCharacter(newName)) {
        warn(ReceiptMessageTitle.toString(), ForbiddenCharactersMessage.toString());
        return;
    }
    if (!confirmed(QStringLiteral("Переименовать рецепт"),
                   QStringLiteral("Переименовать ") + quoted(oldName) + QStringLiteral(" в ")
                       + quoted(newName)))
        return;
    if (!ReceiptStore::renameReceipt(oldName, newName))
        return;
    emit receiptRenamed(oldName, newName);
    if (currentReceiptNameLabel->text() == oldName)
        currentReceiptNameLabel->setText(newName);
    if (currentReceiptName == oldName)
        currentReceiptName = newName;
    if (QListWidgetItem *entry = findEntry(oldName))
        entry->setText(newName + EntryEnd);
    receiptListWidget->sortItems(Qt::AscendingOrder);
    receiptNamelineEdit->setText(newName);
    receiptListWidget->setCurrentItem(findEntry(newName));
}

void ReceiptDialog::saveReceiptDescription(QString description)
{
    const QString name = receiptNamelineEdit->text();
    if (ReceiptStore::writeDescription(name, description))
        return;
    // The field must not show a description the file does not hold.
    descriptionTextEdit->setPlainText(ReceiptStore::readDescription(name));
    warn(ReceiptMessageTitle.toString(),
         QStringLiteral("Не удалось сохранить описание рецепта ") + quoted(name));
}

void ReceiptDialog::addNewReceipt(QString name)
{
    receiptListWidget->addItem(name + EntryEnd);
    receiptListWidget->sortItems(Qt::AscendingOrder);
    receiptNamelineEdit->setText(name);
    receiptListWidget->setCurrentItem(findEntry(name));
    closeWindow();
}

void ReceiptDialog::closeWindow()
{
    holdTimer.stop();
    scrollHeld = false;
    descriptionScroller->released();
    if (receiptListWidget->count() > 0)
        receiptListWidget->setCurrentRow(0);
    selectionHandlerSuspended = true;
    receiptListWidget->clearSelection();
    selectionHandlerSuspended = false;
    setUpDownButtonsState();
    hide();
}

void ReceiptDialog::reject()
{
    closeButton->click();
}

void ReceiptDialog::enableChangeLoadReceiptButtons()
{
    loadAllowed = rewriteAllowed = createAllowed = true;
    if (isWaitingForHost())
        return;
    if (hasSelectedEntry()) {
        loadReceiptButton->setEnabled(true);
        changeReceiptButton->setEnabled(true);
    }
    createReceiptButton->setEnabled(true);
}

void ReceiptDialog::desableLoadReceiptButton()
{
    loadAllowed = false;
    createAllowed = true;
    loadReceiptButton->setEnabled(false);
    if (!isWaitingForHost())
        createReceiptButton->setEnabled(true);
}

void ReceiptDialog::desableChangeLoadReceiptButtons()
{
    loadAllowed = rewriteAllowed = createAllowed = false;
    changeReceiptButton->setEnabled(false);
    loadReceiptButton->setEnabled(false);
    createReceiptButton->setEnabled(false);
}

void ReceiptDialog::showCreateReceiptDialog()
{
    createDialog->show();
    createDialog->raise();
    createDialog->activateWindow();
}

void ReceiptDialog::createReceiptsStoreDir()
{
    ReceiptStore::createReceiptsStoreDir();
}

void ReceiptDialog::upButtonPressed()
{
    startListHold(Direction::Up);
}

void ReceiptDialog::upButtonReleased()
{
    stopListHold(Direction::Up);
}

void ReceiptDialog::downButtonPressed()
{
    startListHold(Direction::Down);
}

void ReceiptDialog::downButtonReleased()
{
    stopListHold(Direction::Down);
}

void ReceiptDialog::upDescrButtonPressed()
{
    descriptionScroller->upPressed();
}

void ReceiptDialog::upDescrButtonReleased()
{
    descriptionScroller->released();
}

void ReceiptDialog::downDescrButtonPressed()
{
    descriptionScroller->downPressed();
}

void ReceiptDialog::downDescrButtonReleased()
{
    descriptionScroller->released();
}

void ReceiptDialog::startListHold(Direction direction)
{
    heldDirection = direction;
    firstStepPending = true;
    scrollHeld = true;
    selectionHandlerSuspended = true;
    holdTimer.start(int(ReceiptTiming::repeatDelay()));
}

void ReceiptDialog::holdTimeout()
{
    if (!scrollHeld)
        return;
    if (firstStepPending) {
        // From here on the details are shown only where the repeat stops.
        firstStepPending = false;
        if (heldDirection == Direction::Down) {
            enable(receiptNamelineEdit);
            enable(descriptionTextEdit);
        }
        receiptNamelineEdit->clear();
        descriptionTextEdit->clear();
    }
    listStep(heldDirection);
    if (scrollHeld)
        holdTimer.start(int(ReceiptTiming::repeatSpeed()));
}

void ReceiptDialog::stopListHold(Direction direction)
{
    if (direction != heldDirection)
        return;
    scrollHeld = false;
    holdTimer.stop();
    selectionHandlerSuspended = false;
    if (firstStepPending) {
        firstStepPending = false;
        listStep(direction);
    }
    itemSelectionChangedAction();
}

void ReceiptDialog::listStep(Direction direction)
{
    QListWidget *list = receiptListWidget;
    const int row = list->currentRow();
    const int last = list->count() - 1;
    if (direction == Direction::Down) {
        if (row < last) {
            list->setCurrentRow(row + 1);
            if (row + 1 > 0)
                enable(upButton);
        }
        if (list->currentRow() == last) {
            // Disabling the held button releases it, which ends the hold.
            downButton->setEnabled(false);
            endListHold();
        }
    } else {
        if (row > 0) {
            list->setCurrentRow(row - 1);
            enable(downButton);
        }
        if (list->currentRow() <= 0) {
            upButton->setEnabled(false);
            endListHold();
        }
    }
}

void ReceiptDialog::endListHold()
{
    if (!scrollHeld)
        return;
    scrollHeld = false;
    holdTimer.stop();
    selectionHandlerSuspended = false;
    itemSelectionChangedAction();
}

bool ReceiptDialog::hasSelectedEntry() const
{
    return receiptListWidget->currentItem() && !receiptListWidget->selectedItems().isEmpty();
}

QListWidgetItem *ReceiptDialog::findEntry(const QString &name) const
{
    for (int row = 0; row < receiptListWidget->count(); ++row) {
        QListWidgetItem *entry = receiptListWidget->item(row);
        if (entryName(entry) == name)
            return entry;
    }
    return nullptr;
}

bool ReceiptDialog::confirmed(const QString &title, const QString &text)
{
    questionBox->setWindowTitle(title);
    questionBox->setText(text);
    return prompts.runBox(questionBox) == yesButton;
}

void ReceiptDialog::warn(const QString &title, const QString &text)
{
    warningBox->setWindowTitle(title);
    warningBox->setText(text);
    prompts.runBox(warningBox);
}

void ReceiptDialog::disableFiveButtons()
{
    for (QPushButton *button : {createReceiptButton, closeButton, loadReceiptButton,
                                changeReceiptButton, deleteReceiptButton})
        button->setEnabled(false);
}

void ReceiptDialog::restoreFiveButtons()
{
    // The host's gates still hold after its answer.
    const bool selected = hasSelectedEntry();
    closeButton->setEnabled(true);
    createReceiptButton->setEnabled(createAllowed);
    deleteReceiptButton->setEnabled(selected);
    loadReceiptButton->setEnabled(selected && loadAllowed);
    changeReceiptButton->setEnabled(selected && rewriteAllowed);
}

#include "moc_receiptdialog.cpp"
