#include "journal.h"

#include "butchreport.h"
#include "csvtext.h"
#include "journalcheck.h"
#include "journalkey.h"
#include "knownseal.h"
#include "operatormessages.h"

#include <QHeaderView>
#include <QMessageBox>
#include <QPushButton>

#include <algorithm>

namespace {

constexpr int RowHeight = 30;

const QString AllKindsCaption = QStringLiteral("Все события");
const QString CsvFilter = QStringLiteral("CSV (разделители - точка с запятой)(*.csv)");
const QString PdfFilter = QStringLiteral("PDF (*.pdf)");
const QString SaveFailed = QStringLiteral("Не удалось сохранить файл");

} // namespace

Journal::Journal(const QString &databaseFile, QWidget *parent)
    : RecordsWindow(parent)
    , databaseFile(databaseFile)
    , database(databaseFile)
    , reader(database)
{
    setupUi(this);
    finishForm(closeButton);

    warningBox = OperatorMessages::makeWarningBox(this);

    journalTable->setModel(&model);
    journalTable->verticalHeader()->setDefaultSectionSize(RowHeight);
    journalTable->verticalHeader()->hide();
    journalTable->horizontalHeader()->setStretchLastSection(true);
    butchEdit->setKeyboardType(Keyboard::NumericKeyboard);
    butchEdit->setDescription(QStringLiteral("Номер партии"));
    kindComboBox->addItem(AllKindsCaption, JournalReader::AllKinds);
    for (const JournalEvent::Kind kind : JournalEvent::kinds())
        kindComboBox->addItem(JournalEvent::caption(kind), int(kind));

    connect(saveButton, &QPushButton::clicked, this, &Journal::saveJournal);
    connect(reportButton, &QPushButton::clicked, this, &Journal::saveButchReport);
    connect(checkButton, &QPushButton::clicked, this, &Journal::checkJournal);
    connect(fromComboBox, &QComboBox::currentIndexChanged, this, &Journal::addDateTo);
    connect(toComboBox, &QComboBox::currentIndexChanged, this, &Journal::showEvents);
    connect(kindComboBox, &QComboBox::currentIndexChanged, this, &Journal::showEvents);
    connect(butchEdit, &LineEditEmbedded::textHasEntered, this, &Journal::setButchFilter);
}

Journal::~Journal()
{
    qDebug("~Journal()");
}

void Journal::fillDates()
{
    const QStringList days = reader.days();
    {
        const QSignalBlocker blocker(fromComboBox);
        fromComboBox->clear();
        fromComboBox->addItems(days);
        fromComboBox->setCurrentIndex(-1);
    }
    // Today's events, as a rule, are what the operator opens the journal for.
    fromComboBox->setCurrentIndex(int(days.size()) - 1);
    if (days.isEmpty())
        showEvents();
}

void Journal::addDateTo(int index)
{
    {
        const QSignalBlocker blocker(toComboBox);
        toComboBox->clear();
        for (int i = index; index >= 0 && i < fromComboBox->count(); ++i)
            toComboBox->addItem(fromComboBox->itemText(i));
    }
    showEvents();
}

void Journal::showEvents()
{
    const int kind = kindComboBox->currentData().toInt();
    if (butchFilter != JournalEvent::NoButch) {
        QList<JournalEvent> events = reader.eventsOfButch(butchFilter, kind);
        std::reverse(events.begin(), events.end());
        model.setEvents(events);
    } else if (fromComboBox->currentIndex() < 0 || toComboBox->currentIndex() < 0) {
        model.setEvents({});
    } else {
        model.setEvents(
            reader.events(fromComboBox->currentText(), toComboBox->currentText(), kind));
    }
    journalTable->resizeColumnsToContents();
}

void Journal::setButchFilter(const QString &text)
{
    bool isNumber = false;
    const qint64 butch = text.trimmed().toLongLong(&isNumber);
    if (!text.trimmed().isEmpty() && (!isNumber || butch <= 0))
        return;
    butchFilter = text.trimmed().isEmpty() ? JournalEvent::NoButch : butch;
    butchEdit->setText(butchFilter == JournalEvent::NoButch ? QString() : QString::number(butch));
    showEvents();
}

void Journal::saveJournal()
{
    const QString fileName = prompts.saveFileName(this, QStringLiteral("Сохранить"), CsvFilter);
    if (!fileName.isEmpty() && !saveCsv(fileName))
        warn(SaveFailed);
}

bool Journal::saveCsv(const QString &fileName) const
{
    CsvText csv;
    csv.heading(QStringLiteral("С")).cell(fromComboBox->currentText());
    csv.heading(QStringLiteral("По")).cell(toComboBox->currentText());
    csv.heading(QStringLiteral("Событие")).cell(kindComboBox->currentText());
    csv.heading(QStringLiteral("Партия")).cell(butchEdit->text()).endLine().endLine();
    for (int column = 0; column < JournalModel::ColumnCount; ++column)
        csv.heading(JournalModel::header(column));
    csv.endLine();
    for (int row = 0; row < model.rowCount(); ++row) {
        for (int column = 0; column < JournalModel::ColumnCount; ++column)
            csv.cell(model.text(row, column));
        csv.endLine();
    }
    return csv.save(fileName);
}

void Journal::saveButchReport()
{
    const qint64 butch = reportedButch();
    if (butch == JournalEvent::NoButch) {
        warn(QStringLiteral("Выберите событие партии или введите номер партии"));
        return;
    }
    const ButchReport report(database, butch);
    if (!report.exists()) {
        warn(QStringLiteral("Партия %1 не найдена").arg(butch));
        return;
    }
    const QString fileName = prompts.saveFileAs(this, QStringLiteral("Сохранить отчёт"),
                                                report.defaultFileName(), PdfFilter);
    if (!fileName.isEmpty() && !report.savePdf(fileName))
        warn(SaveFailed);
}

qint64 Journal::reportedButch() const
{
    if (butchFilter != JournalEvent::NoButch)
        return butchFilter;
    const QModelIndexList chosen = journalTable->selectionModel()->selectedRows();
    if (chosen.isEmpty())
        return JournalEvent::NoButch;
    return model.events().value(chosen.first().row()).butchId;
}

void Journal::warn(const QString &text)
{
    warningBox->setText(text);
    prompts.runBox(warningBox);
}

void Journal::checkJournal()
{
    const JournalKey key = JournalKey::open(databaseFile, JournalKey::WhenMissing::Fail);
    warn(JournalCheck::run(database, key, KnownSeal::read(databaseFile)).text());
}

#include "moc_journal.cpp"
