#include "schedulewindow.h"

#include "accesscontrol.h"
#include "formulastore.h"
#include "lineeditembedded.h"
#include "operatormessages.h"
#include "schedulecheck.h"
#include "touchsize.h"
#include "ui_scheduleForm.h"

#include <QHeaderView>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalBlocker>

#include <algorithm>
#include <cmath>

namespace {

const QString ProductNamesStatement = QStringLiteral(
    "SELECT DISTINCT productName FROM product WHERE productName IS NOT NULL AND productName != '' "
    "ORDER BY productName");

enum EntryColumn {
    WhatColumn,
    SizeColumn,
    LotColumn,
    BatchesColumn,
    StateColumn,
    ReasonColumn,
    AddedColumn,
    EntryColumns
};

// The kinds of entry, as the kind list offers them.
enum Kind { FormulaKind, ProductKind };

const QString AddedAtFormat = QStringLiteral("dd.MM.yyyy hh:mm");

bool readEntryNumber(const QString &text, double &value)
{
    bool ok = false;
    value = QString(text).trimmed().replace(QLatin1Char(','), QLatin1Char('.')).toDouble(&ok);
    return ok && std::isfinite(value);
}

// In work first, then waiting in their places, then what is over.
int rank(ScheduleEntry::State state)
{
    switch (state) {
    case ScheduleEntry::State::Running:
    case ScheduleEntry::State::Stopped:
        return 0;
    case ScheduleEntry::State::Waiting:
        return 1;
    case ScheduleEntry::State::Done:
    case ScheduleEntry::State::Refused:
        break;
    }
    return 2;
}

} // namespace

ScheduleWindow::ScheduleWindow(const QString &databaseFile, const QList<LineCapacity> &capacities,
                               AccessControl &access, QWidget *parent)
    : RecordsWindow(parent)
    , form(std::make_unique<Ui::scheduleForm>())
    , database(databaseFile)
    , line(capacities)
    , access(access)
{
    form->setupUi(this);
    finishForm(form->closeButton);
    connect(form->closeButton, &QPushButton::clicked, this, &QWidget::hide);
    warningBox = OperatorMessages::makeWarningBox(this);
    questionBox = OperatorMessages::makeQuestionBox(this, &yesButton);

    QTableWidget *table = form->scheduleTable;
    table->setColumnCount(EntryColumns);
    table->setHorizontalHeaderLabels({QStringLiteral("Задание"), QStringLiteral("Размер"),
                                      QStringLiteral("Номер партии"), QStringLiteral("Партий"),
                                      QStringLiteral("Состояние"), QStringLiteral("Причина"),
                                      QStringLiteral("Добавлено")});
    table->verticalHeader()->hide();
    // A row is touched to select it: a finger high at least.
    const int rowHeight =
        qMax(table->verticalHeader()->defaultSectionSize(), TouchSize::minimumPixels(screen()));
    table->verticalHeader()->setMinimumSectionSize(rowHeight);
    table->verticalHeader()->setDefaultSectionSize(rowHeight);
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table->horizontalHeader()->setSectionResizeMode(ReasonColumn, QHeaderView::Stretch);

    form->kindBox->addItems({QStringLiteral("Рецептура"), QStringLiteral("Продукт")});
    form->countField->setText(QString::number(1));

    connect(form->kindBox, &QComboBox::currentIndexChanged, this, &ScheduleWindow::kindChosen);
    for (LineEditEmbedded *field : {form->sizeField, form->countField}) {
        connect(field, &LineEditEmbedded::textHasEntered, this, [field](const QString &text) {
            double value = 0;
            if (readEntryNumber(text, value))
                field->setText(QString(text).trimmed().replace(QLatin1Char(','), QLatin1Char('.')));
        });
    }
    for (LineEditEmbedded *field : {form->lotField, form->patternField}) {
        connect(field, &LineEditEmbedded::textHasEntered, this,
                [field](const QString &text) { field->setText(text.trimmed()); });
    }
    connect(table, &QTableWidget::itemSelectionChanged, this, &ScheduleWindow::showSelection);
    connect(form->addButton, &QPushButton::clicked, this, &ScheduleWindow::addEntry);
    connect(form->upButton, &QPushButton::clicked, this, [this] { moveEntry(-1); });
    connect(form->downButton, &QPushButton::clicked, this, [this] { moveEntry(1); });
    connect(form->deleteButton, &QPushButton::clicked, this, &ScheduleWindow::deleteEntry);
    connect(form->startButton, &QPushButton::clicked, this, &ScheduleWindow::startWanted);
    connect(form->stopButton, &QPushButton::clicked, this, &ScheduleWindow::stopWanted);
    connect(form->automaticBox, &QCheckBox::toggled, this, &ScheduleWindow::automaticChanged);
    connect(&access, &AccessControl::levelChanged, this, &ScheduleWindow::showAccess);

    reload();
    setRunning(false);
}

ScheduleWindow::~ScheduleWindow() = default;

void ScheduleWindow::setLine(const QList<LineCapacity> &capacities)
{
    line = capacities;
    fillChoices();
}

void ScheduleWindow::setAutomatic(bool on)
{
    const QSignalBlocker quiet(form->automaticBox);
    form->automaticBox->setChecked(on);
}

void ScheduleWindow::setRunning(bool on)
{
    running = on;
    form->startButton->setEnabled(!on);
    form->stopButton->setEnabled(on);
    // What the runner just did shows at once.
    fillTable();
}

void ScheduleWindow::reload()
{
    fillChoices();
    fillTable();
    showAccess();
}

void ScheduleWindow::showEvent(QShowEvent *event)
{
    reload();
    RecordsWindow::showEvent(event);
}

void ScheduleWindow::fillTable()
{
    const qint64 selected = selectedEntry();
    shown = store.entries();
    std::stable_sort(shown.begin(), shown.end(),
                     [](const ScheduleEntry &a, const ScheduleEntry &b) {
                         return rank(a.state) < rank(b.state);
                     });
    QTableWidget *table = form->scheduleTable;
    const QSignalBlocker quiet(table);
    table->clearSelection();
    table->setRowCount(int(shown.size()));
    for (int row = 0; row < shown.size(); ++row) {
        const ScheduleEntry &entry = shown.at(row);
        const QString cells[EntryColumns] = {
            whatText(entry),
            entry.size,
            lotText(entry),
            QStringLiteral("%1 из %2").arg(entry.done).arg(entry.count),
            ScheduleStore::stateText(entry.state),
            entry.reason,
            QStringLiteral("%1, %2").arg(entry.addedBy, entry.addedAt.toString(AddedAtFormat)),
        };
        for (int column = 0; column < EntryColumns; ++column)
            table->setItem(row, column, new QTableWidgetItem(cells[column]));
        if (entry.id == selected)
            table->selectRow(row);
    }
    showSelection();
}

void ScheduleWindow::fillChoices()
{
    const QString chosen = form->whatBox->currentText();
    const bool formula = form->kindBox->currentIndex() == FormulaKind;
    QStringList names;
    if (formula)
        names = FormulaStore(database).names();
    else if (database.execQuery(ProductNamesStatement))
        names = database.result().values;
    {
        const QSignalBlocker quiet(form->whatBox);
        form->whatBox->clear();
        form->whatBox->addItems(names);
        form->whatBox->setCurrentIndex(form->whatBox->findText(chosen));
    }
    const QVariant doser = form->doserBox->currentData();
    form->doserBox->clear();
    for (const LineCapacity &capacity : std::as_const(line))
        form->doserBox->addItem(doserText(capacity.doser), capacity.doser);
    const int index = form->doserBox->findData(doser);
    form->doserBox->setCurrentIndex(index >= 0 ? index : 0);
    // A formula's components name their dosers.
    form->doserBox->setVisible(!formula);
    form->doserLabel->setVisible(!formula);
}

void ScheduleWindow::kindChosen()
{
    form->whatBox->setCurrentIndex(-1);
    fillChoices();
}

bool ScheduleWindow::mayEdit() const
{
    return access.allows(AccessLevel::Technologist);
}

void ScheduleWindow::showAccess()
{
    const bool editable = mayEdit();
    for (QWidget *control : std::initializer_list<QWidget *> {
             form->kindBox, form->whatBox, form->doserBox, form->sizeField, form->countField,
             form->lotField, form->patternField, form->addButton, form->automaticBox})
        control->setEnabled(editable);
    showSelection();
    form->levelLabel->setText(
        editable ? QString()
                 : QStringLiteral("Очередь меняет уровень «%1» или выше; сейчас уровень «%2». "
                                  "Смотреть её может каждый.")
                       .arg(accessLevelCaption(AccessLevel::Technologist),
                            accessLevelCaption(access.level())));
    form->levelLabel->setVisible(!editable);
}

void ScheduleWindow::showSelection()
{
    const qint64 id = selectedEntry();
    const auto entry = std::find_if(shown.cbegin(), shown.cend(),
                                    [id](const ScheduleEntry &one) { return one.id == id; });
    const bool waiting = entry != shown.cend() && entry->state == ScheduleEntry::State::Waiting;
    const bool editable = mayEdit();
    form->upButton->setEnabled(editable && waiting);
    form->downButton->setEnabled(editable && waiting);
    form->deleteButton->setEnabled(editable && waiting);
}

qint64 ScheduleWindow::selectedEntry() const
{
    const QList<QTableWidgetItem *> items = form->scheduleTable->selectedItems();
    if (items.isEmpty())
        return 0;
    const int row = items.first()->row();
    return row >= 0 && row < shown.size() ? shown.at(row).id : 0;
}

void ScheduleWindow::addEntry()
{
    if (!mayEdit())
        return;
    ScheduleEntry entry;
    const QString what = form->whatBox->currentText();
    if (form->kindBox->currentIndex() == FormulaKind) {
        if (what.isEmpty()) {
            warn(QStringLiteral("Выберите рецептуру."));
            return;
        }
        entry.formulaName = what;
    } else {
        entry.productName = what;
        entry.deviceId = form->doserBox->currentData().toInt();
    }
    double size = 0;
    entry.size = readEntryNumber(form->sizeField->text(), size) ? QString::number(size) : QString();
    double count = 0;
    entry.count = readEntryNumber(form->countField->text(), count) && count == std::floor(count)
                      ? int(count)
                      : 0;
    entry.lot = form->lotField->text().trimmed();
    entry.lotPattern = form->patternField->text().trimmed();
    if (const QString refused = ScheduleCheck::refusal(database, entry, line); !refused.isEmpty()) {
        warn(QStringLiteral("Задание не добавлено: %1").arg(refused));
        return;
    }
    entry.addedBy = accessLevelCaption(access.level());
    const WriteResult added = store.add(entry);
    if (!added) {
        warn(QStringLiteral("Задание не добавлено: %1").arg(added.reason()));
        return;
    }
    fillTable();
    emit entryChanged(QString(), entryText(entry));
    emit entryAdded();
}

void ScheduleWindow::moveEntry(int steps)
{
    const qint64 id = selectedEntry();
    if (!mayEdit() || id == 0)
        return;
    const std::optional<ScheduleEntry> before = store.entry(id);
    if (const WriteResult moved = store.move(id, steps); !moved)
        warn(QStringLiteral("Задание не перемещено: %1").arg(moved.reason()));
    else if (const std::optional<ScheduleEntry> after = store.entry(id); before && after)
        emit entryChanged(entryText(*before), entryText(*after));
    fillTable();
}

void ScheduleWindow::deleteEntry()
{
    const qint64 id = selectedEntry();
    if (!mayEdit() || id == 0 || !ask(QStringLiteral("Удалить задание из очереди?")))
        return;
    const std::optional<ScheduleEntry> before = store.entry(id);
    if (const WriteResult removed = store.remove(id); !removed)
        warn(QStringLiteral("Задание не удалено: %1").arg(removed.reason()));
    else if (before)
        emit entryChanged(entryText(*before), QString());
    fillTable();
}

void ScheduleWindow::warn(const QString &text)
{
    warningBox->setText(text);
    prompts.runBox(warningBox);
}

bool ScheduleWindow::ask(const QString &text)
{
    questionBox->setText(text);
    return prompts.runBox(questionBox) == yesButton;
}

QString ScheduleWindow::lotText(const ScheduleEntry &entry)
{
    // The lots given so far, else what will give them.
    if (const QStringList given = store.lotsOf(entry.id); !given.isEmpty())
        return given.join(QStringLiteral(", "));
    if (!entry.lot.isEmpty())
        return entry.lot;
    if (!entry.lotPattern.isEmpty() || entry.formulaName.isEmpty())
        return entry.lotPattern;
    const std::optional<Formula> formula = FormulaStore(database).loadByName(entry.formulaName);
    return formula ? formula->lotPattern : QString();
}

QString ScheduleWindow::whatText(const ScheduleEntry &entry) const
{
    return entry.formulaName.isEmpty()
               ? QStringLiteral("%1 на %2").arg(entry.productName, doserText(entry.deviceId))
               : entry.formulaName;
}

QString ScheduleWindow::entryText(const ScheduleEntry &entry) const
{
    QString text = QStringLiteral("%1, %2 × %3").arg(whatText(entry), entry.size).arg(entry.count);
    if (const QString lot = entry.lot.isEmpty() ? entry.lotPattern : entry.lot; !lot.isEmpty())
        text += QStringLiteral(", %1").arg(lot);
    return text + QStringLiteral(", место %1").arg(entry.place);
}

QString ScheduleWindow::doserText(int doser) const
{
    return FormulaPlan::doserName(doser, line);
}

#include "moc_schedulewindow.cpp"
