#ifndef JOURNAL_H
#define JOURNAL_H

#include "database.h"
#include "journalmodel.h"
#include "journalreader.h"
#include "modalprompts.h"
#include "recordswindow.h"
#include "ui_journalForm.h"

class QMessageBox;

// The event journal window: the events of a range of days, newest first, of one kind or all,
// or every event of one batch; their export as a semicolon-separated file, and a batch's
// report as PDF. It only reads the records.
class Journal : public RecordsWindow, public Ui::journalForm
{
    Q_OBJECT

public:
    explicit Journal(const QString &databaseFile = QString::fromLatin1(DatabaseFileName),
                     QWidget *parent = nullptr);
    ~Journal() override;

    // Reloads the days on which events were recorded and shows the newest of them.
    void fillDates();
    // Writes the shown events (see CsvText); false when the file could not be written.
    bool saveCsv(const QString &fileName) const;
    const QList<JournalEvent> &shownEvents() const { return model.events(); }
    void setPrompts(const ModalPrompts &replacement) { prompts = replacement; }

private slots:
    void addDateTo(int index);
    void showEvents();
    void setButchFilter(const QString &text);
    void saveJournal();
    void saveButchReport();
    // Recomputes the journal's chain and tells whether it is intact or where it breaks, also
    // against the seal the console last published.
    void checkJournal();

private:
    // The batch a report is asked for: the one typed in, else the one of the chosen event.
    qint64 reportedButch() const;
    void warn(const QString &text);

    const QString databaseFile;
    Database database;
    JournalReader reader;
    JournalModel model;
    qint64 butchFilter = JournalEvent::NoButch;
    QMessageBox *warningBox = nullptr;
    ModalPrompts prompts;
};

#endif // JOURNAL_H
