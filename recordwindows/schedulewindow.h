#ifndef SCHEDULEWINDOW_H
#define SCHEDULEWINDOW_H

#include "database.h"
#include "formulaplan.h"
#include "modalprompts.h"
#include "recordswindow.h"
#include "schedulestore.h"

#include <QList>

#include <memory>

class AccessControl;
class QAbstractButton;
class QMessageBox;

namespace Ui {
class scheduleForm;
}

// The production schedule of data.db: the entry in work (running or stopped) first, then the
// waiting ones in their places, then the done and refused ones, each with its progress, state,
// reason and who added it when. Anyone reads it; adding, moving and deleting take the level
// Технолог or higher, and below it those controls are disabled with the reason shown. An entry
// is entered by touch (numbers and texts on the keyboards, the formula or product and the doser
// from lists) and checked as the schedule's runner will check it: one it would refuse is
// refused here, writing nothing.
//
// Starting and stopping are the host's: the window only asks for them (startWanted(),
// stopWanted()) and hands the "without confirmation" choice on (automaticChanged()). Like the
// other record windows it is modal, keeps a connection of its own and only hides when closed.
class ScheduleWindow : public RecordsWindow
{
    Q_OBJECT

public:
    ScheduleWindow(const QString &databaseFile, const QList<LineCapacity> &line,
                   AccessControl &access, QWidget *parent = nullptr);
    ~ScheduleWindow() override;

    void setLine(const QList<LineCapacity> &line);
    void setPrompts(const ModalPrompts &replacement) { prompts = replacement; }
    // The choice as the host keeps it; announces nothing.
    void setAutomatic(bool on);
    // Which of the start and stop buttons applies.
    void setRunning(bool running);
    // The entries, formulas and products as data.db holds them now.
    void reload();

signals:
    void startWanted();
    void stopWanted();
    void automaticChanged(bool on);
    // Written to data.db, for a schedule that waits for work.
    void entryAdded();
    // An entry added (before empty), moved or deleted (after empty), once data.db holds it; for
    // the host's journal.
    void entryChanged(const QString &before, const QString &after);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void fillTable();
    void fillChoices();
    void kindChosen();
    void showAccess();
    void showSelection();
    void addEntry();
    void moveEntry(int steps);
    void deleteEntry();
    // The entry of the selected row; 0 when none is selected.
    qint64 selectedEntry() const;
    bool mayEdit() const;
    void warn(const QString &text);
    bool ask(const QString &text);
    QString doserText(int doser) const;
    QString lotText(const ScheduleEntry &entry);
    // The formula, or the product on its doser.
    QString whatText(const ScheduleEntry &entry) const;
    // The entry as the journal tells it.
    QString entryText(const ScheduleEntry &entry) const;

    std::unique_ptr<Ui::scheduleForm> form;
    Database database;
    ScheduleStore store {database};
    QList<LineCapacity> line;
    AccessControl &access;
    ModalPrompts prompts;
    QList<ScheduleEntry> shown;
    bool running = false;
    QMessageBox *warningBox = nullptr;
    QMessageBox *questionBox = nullptr;
    QAbstractButton *yesButton = nullptr;
};

#endif // SCHEDULEWINDOW_H
