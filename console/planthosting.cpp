// The console as host of the plant link: its button and dialog, the settings kept in the store,
// changed at Наладчик, and the journal's lines when the link fails or comes back.
#include "k310_halvern.h"

#include "batchrun.h"
#include "k310settings.h"
#include "plantlink.h"
#include "plantlinkdialog.h"
#include "plantorders.h"

#include <QPushButton>
#include <QSettings>

namespace {

// At exit, how long the journal may take to write what the batch recorded last.
constexpr int JournalAtExitMs = 1000;

// What the journal keeps of the settings: never the password, only whether there is one.
QString describe(const PlantLinkSettings &settings)
{
    QStringList parts;
    parts << (settings.publishes() ? QStringLiteral("MQTT %1:%2, темы %3")
                                         .arg(settings.host)
                                         .arg(settings.port)
                                         .arg(settings.prefix)
                                   : QStringLiteral("MQTT выключен"));
    if (!settings.user.isEmpty())
        parts << QStringLiteral("пользователь %1%2")
                     .arg(settings.user,
                          settings.password.isEmpty() ? QString() : QStringLiteral(" с паролем"));
    if (!settings.caFile.isEmpty())
        parts << QStringLiteral("TLS %1").arg(settings.caFile);
    if (settings.acceptsOrders)
        parts << QStringLiteral("задания из цеха принимаются");
    if (!settings.servesModbus()) {
        parts << QStringLiteral("Modbus выключен");
        return parts.join(QStringLiteral(", "));
    }
    parts << QStringLiteral("Modbus TCP %1 порт %2")
                 .arg(settings.modbusAddress)
                 .arg(settings.modbusPort);
    parts << (settings.modbusClients.isEmpty()
                  ? QStringLiteral("клиенты Modbus любые")
                  : QStringLiteral("клиенты Modbus %1")
                        .arg(settings.modbusClients.join(QStringLiteral(" "))));
    return parts.join(QStringLiteral(", "));
}

} // namespace

void K310_Halvern::wirePlantLink()
{
    plant = std::make_unique<PlantLink>(image, database);
    connect(plant.get(), &PlantLink::problem, this,
            [this](const QString &text) { journal.record(JournalEvent::PlantLink, text); });
    connect(plant.get(), &PlantLink::statusChanged, this, &K310_Halvern::showPlantLinkStatus);
    connect(batch.get(), &BatchRun::doseWritten, plant.get(), &PlantLink::forward);
    // Batch events are written on the journal's own connection; the publisher looks at once.
    journal.setWrittenHook([link = plant.get()] {
        QMetaObject::invokeMethod(link, &PlantLink::forward, Qt::QueuedConnection);
    });
    connect(ui.plantLinkButton, &QPushButton::clicked, this, &K310_Halvern::showPlantLink);
    const std::unique_ptr<QSettings> store = k310Settings::makeStore();
    plant->apply(PlantLinkSettings::load(*store));
}

void K310_Halvern::closePlantLink()
{
    if (!plant)
        return;
    journal.flush(JournalAtExitMs);
    journal.setWrittenHook({});
    // It answers through the link and goes with it.
    plantOrders.reset();
    plant.reset();
}

void K310_Halvern::showPlantLink()
{
    if (!plantDialog) {
        plantDialog = std::make_unique<PlantLinkDialog>(this);
        connect(plantDialog.get(), &PlantLinkDialog::settingsChosen, this,
                &K310_Halvern::choosePlantLink);
    }
    plantDialog->showSettings(plant->settings());
    showPlantLinkStatus();
    centreOverWindow(plantDialog.get());
    plantDialog->show();
    plantDialog->raise();
}

void K310_Halvern::choosePlantLink(const PlantLinkSettings &settings)
{
    const PlantLinkSettings before = plant->settings();
    if (settings == before)
        return;
    if (!mayChange(AccessLevel::Engineer)) {
        plantDialog->showSettings(before);
        return;
    }
    settings.save(*k310Settings::makeStore());
    noteChange(JournalEvent::SettingChanged, QStringLiteral("связь с цехом"), describe(before),
               describe(settings));
    plant->apply(settings);
}

void K310_Halvern::showPlantLinkStatus()
{
    if (plantDialog)
        plantDialog->showStatus(plant->mqttStatus(), plant->modbusStatus());
}
