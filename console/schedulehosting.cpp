// The main window's host of the production schedule: the runner made with the window, its
// window opened by "Очередь", its progress on the strip and the "without confirmation" choice
// kept in the settings; the plant's orders appended to it and its state given to the plant.
#include "batchprogressview.h"
#include "k310_halvern.h"
#include "k310settings.h"
#include "plantlink.h"
#include "plantorders.h"
#include "schedulewindow.h"

#include <QSettings>

#include <algorithm>
#include <cmath>

namespace {

const QString AutomaticKey = QStringLiteral("schedule/automatic");
// A hopper holding at most this share of its plus tolerance (and never less than a step of its
// scale) counts as empty.
constexpr double RestShareOfTolerance = 0.25;

} // namespace

void K310_Halvern::wireSchedule()
{
    BatchOperator &person = *this;
    schedule = std::make_unique<ScheduleRunner>(
        *batch, database, person, [this] { return lineCapacities(); },
        [this] { return lineAtRest(); });
    schedule->setAutomatic(k310Settings::makeStore()->value(AutomaticKey, false).toBool());
    connect(schedule.get(), &ScheduleRunner::progressChanged, this,
            &K310_Halvern::showScheduleProgress);
    connect(schedule.get(), &ScheduleRunner::entryRefused, this, [this] {
        if (scheduleWindow)
            scheduleWindow->reload();
    });
    // The batch in work changes the number the strip shows; its end is counted in its entry.
    connect(batch.get(), &BatchRun::stateChanged, this, &K310_Halvern::showScheduleProgress);

    plantOrders = std::make_unique<PlantOrders>(
        *plant, database, journal, [this] { return lineCapacities(); },
        [this] { return schedule->isRunning(); });
    connect(plantOrders.get(), &PlantOrders::entryAdded, schedule.get(),
            &ScheduleRunner::entriesAdded);
    connect(plantOrders.get(), &PlantOrders::entryAdded, this, [this] {
        if (scheduleWindow && scheduleWindow->isVisible())
            scheduleWindow->reload();
    });
    connect(ui.scheduleButton, &QPushButton::clicked, this, &K310_Halvern::showSchedule);
    showScheduleProgress();
}

void K310_Halvern::showSchedule()
{
    if (!scheduleWindow) {
        scheduleWindow =
            std::make_unique<ScheduleWindow>(database.fileName(), lineCapacities(), *access, this);
        scheduleWindow->setPrompts(prompts);
        connect(scheduleWindow.get(), &ScheduleWindow::startWanted, this, [this] {
            schedule->start();
            showScheduleProgress();
        });
        connect(scheduleWindow.get(), &ScheduleWindow::stopWanted, this,
                [this] { schedule->stop(QStringLiteral("очередь остановлена оператором")); });
        connect(scheduleWindow.get(), &ScheduleWindow::entryAdded, schedule.get(),
                &ScheduleRunner::entriesAdded);
        connect(scheduleWindow.get(), &ScheduleWindow::entryChanged, this,
                [this](const QString &before, const QString &after) {
                    noteChange(JournalEvent::SettingChanged, QStringLiteral("очередь"), before,
                               after);
                });
        // Added, moved or deleted: the strip and the plant see the schedule as it now stands.
        connect(scheduleWindow.get(), &ScheduleWindow::entryChanged, this,
                &K310_Halvern::showScheduleProgress);
        connect(scheduleWindow.get(), &ScheduleWindow::automaticChanged, this, [this](bool on) {
            k310Settings::makeStore()->setValue(AutomaticKey, on);
            const QString before = on ? QStringLiteral("нет") : QStringLiteral("да");
            const QString after = on ? QStringLiteral("да") : QStringLiteral("нет");
            noteChange(JournalEvent::SettingChanged, QStringLiteral("Продолжать без подтверждения"),
                       before, after);
            schedule->setAutomatic(on);
        });
    }
    scheduleWindow->setLine(lineCapacities());
    scheduleWindow->setAutomatic(schedule->isAutomatic());
    scheduleWindow->setRunning(schedule->isRunning());
    centreOverWindow(scheduleWindow.get());
    scheduleWindow->exec();
}

void K310_Halvern::showScheduleProgress()
{
    QString text;
    // The one place the schedule's change is told: the strip, Modbus and the plant's copy.
    const ScheduleRunner::Progress now = schedule->progress();
    if (plant)
        plant->showSchedule(now);
    if (plantOrders)
        plantOrders->scheduleChanged();
    if (now.running) {
        if (now.entry > 0) {
            // The batch in work is the one after those done.
            const int batchNumber =
                qMin(now.batchesDone + (batch->isRunning() ? 1 : 0), now.batches);
            text = QStringLiteral("очередь %1 из %2, партия %3 из %4")
                       .arg(now.entry)
                       .arg(now.entries)
                       .arg(batchNumber)
                       .arg(now.batches);
        }
    }
    ui.batchProgress->setSchedule(text);
    if (scheduleWindow && scheduleWindow->isVisible())
        scheduleWindow->setRunning(schedule->isRunning());
}

bool K310_Halvern::lineAtRest() const
{
    for (int position = 0; position < doserCount(); ++position) {
        const DoserImage &doser = image.doser(position);
        // A doser without a plus tolerance still rests at a step of its scale.
        const double empty = std::max(RestShareOfTolerance * work(position).doseFaultPlus,
                                      std::pow(10.0, -int(doser.decimals)));
        if (!isOnline(position) || doser.state != DoserState::Stopped
            || doser.netWeight.value > empty)
            return false;
    }
    return true;
}
