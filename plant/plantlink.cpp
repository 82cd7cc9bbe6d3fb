#include "plantlink.h"

#include "clientfilter.h"
#include "plantmessages.h"
#include "plantoutbox.h"
#include "processimage.h"

namespace {

const QString Off = QStringLiteral("выключено");

} // namespace

PlantLink::PlantLink(const ProcessImage &dosers, Database &records, const QString &databaseFile,
                     QObject *parent)
    : QObject(parent)
    , image(dosers)
    , database(records)
    , fileName(databaseFile)
    , mqttText(Off)
    , modbusText(Off)
{
    connect(&image, &ProcessImage::changed, this, &PlantLink::imageChanged);
    connect(&refusals, &RefusalTally::told, this, [this](const QString &text) {
        modbusText = text;
        emit statusChanged();
        emit problem(text);
    });
    // The register map has a block per doser: a changed line needs a server of its size.
    connect(&image, &ProcessImage::dosersChanged, this, [this] {
        if (modbus) {
            modbus.reset();
            startModbus();
            emit statusChanged();
        }
    });
}

PlantLink::~PlantLink() = default;

void PlantLink::apply(const PlantLinkSettings &settings)
{
    const bool mqttChanged =
        !mqtt || settings.host != current.host || settings.port != current.port
        || settings.prefix != current.prefix || settings.clientId != current.clientId
        || settings.user != current.user || settings.password != current.password
        || settings.caFile != current.caFile || settings.acceptsOrders != current.acceptsOrders;
    const bool modbusChanged = !modbus || settings.modbusPort != current.modbusPort
                               || settings.modbusAddress != current.modbusAddress
                               || settings.modbusClients != current.modbusClients;
    current = settings;

    if (mqttChanged) {
        mqtt.reset();
        mqttFailed = false;
        toldStatus = MqttPublisher::Status::Connecting;
        // Doses and batch events wait in data.db only while someone is to take them; a file
        // that refuses the switch would let the plant miss them unseen.
        if (!PlantOutbox(database).setForwarding(settings.publishes()))
            emit problem(QStringLiteral("MQTT: очередь сообщений в data.db не %1: %2")
                             .arg(settings.publishes() ? QStringLiteral("включена")
                                                       : QStringLiteral("выключена"),
                                  database.lastErrorMessage()));
        mqttText = Off;
        if (settings.publishes()) {
            mqtt = std::make_unique<MqttPublisher>(settings, fileName);
            connect(mqtt.get(), &MqttPublisher::statusChanged, this, &PlantLink::mqttStatusChanged);
            // Read on the network's thread; taken here, where the schedule is written.
            connect(mqtt.get(), &MqttPublisher::orderReceived, this, &PlantLink::orderReceived,
                    Qt::QueuedConnection);
            if (!scheduleMessage.isNull())
                mqtt->setSchedule(scheduleMessage);
            for (int position = 0; position < image.doserCount(); ++position)
                imageChanged(position);
        }
    }
    if (modbusChanged) {
        modbus.reset();
        modbusText = Off;
        if (settings.servesModbus())
            startModbus();
    }
    emit statusChanged();
}

void PlantLink::showSchedule(const ScheduleRunner::Progress &progress)
{
    schedule = progress;
    if (modbus)
        modbus->showQueue(progress);
}

void PlantLink::startModbus()
{
    modbus = std::make_unique<ModbusServer>(image.doserCount());
    connect(modbus.get(), &ModbusServer::refused, this, &PlantLink::modbusRefused);
    modbus->setAllowedClients(ClientFilter(current.modbusClients));
    for (int position = 0; position < image.doserCount(); ++position)
        modbus->show(position, image.doser(position));
    modbus->showQueue(schedule);
    if (modbus->listen(QHostAddress(current.modbusAddress), current.modbusPort)) {
        modbusText = QStringLiteral("порт %1 открыт на %2")
                         .arg(current.modbusPort)
                         .arg(current.modbusAddress);
        if (!current.modbusClients.isEmpty())
            modbusText += QStringLiteral(", только для %1")
                              .arg(current.modbusClients.join(QStringLiteral(", ")));
        return;
    }
    modbusText = QStringLiteral("порт Modbus %1 на %2 не открыт: %3")
                     .arg(current.modbusPort)
                     .arg(current.modbusAddress, modbus->errorString());
    modbus.reset();
    emit problem(modbusText);
}

void PlantLink::imageChanged(int position)
{
    const DoserImage &doser = image.doser(position);
    if (mqtt)
        mqtt->setState(doser.deviceId, PlantMessages::state(doser));
    if (modbus)
        modbus->show(position, doser);
}

void PlantLink::forward()
{
    if (mqtt)
        mqtt->forward();
}

void PlantLink::answerOrder(const QString &orderId, bool accepted, const QString &reason)
{
    if (mqtt)
        mqtt->answer(PlantMessages::orderResult(orderId, accepted, reason));
}

void PlantLink::publishSchedule(const QByteArray &payload)
{
    scheduleMessage = payload;
    if (mqtt)
        mqtt->setSchedule(payload);
}

void PlantLink::mqttStatusChanged(MqttPublisher::Status status, const QString &text)
{
    mqttText = text;
    emit statusChanged();
    // Each attempt of a broker that stays away fails again; the journal keeps the change only.
    if (status == toldStatus)
        return;
    toldStatus = status;
    switch (status) {
    case MqttPublisher::Status::Connecting:
        return;
    case MqttPublisher::Status::Connected:
        if (mqttFailed)
            emit problem(text);
        mqttFailed = false;
        return;
    case MqttPublisher::Status::Unreachable:
    case MqttPublisher::Status::Refused:
    case MqttPublisher::Status::Lost:
        mqttFailed = true;
        emit problem(text);
        return;
    }
}

void PlantLink::modbusRefused(ModbusServer::Refusal kind, const QString &text)
{
    refusals.count(int(kind), text);
}

#include "moc_plantlink.cpp"
