#ifndef PLANTLINK_H
#define PLANTLINK_H

#include "database.h"
#include "modbusserver.h"
#include "mqttpublisher.h"
#include "plantlinksettings.h"
#include "refusaltally.h"

#include <QObject>

#include <memory>

class ProcessImage;

// The console's link to the plant: the MQTT publisher and the Modbus server, each running while
// its settings are set, both fed from the dosers' process image. It says what fails (and when
// it works again) for the journal and the dialog; the dosing never waits for it. With orders
// accepted, it hands the plant's orders on and sends the answers back.
class PlantLink : public QObject
{
    Q_OBJECT

public:
    PlantLink(const ProcessImage &image, Database &records,
              const QString &databaseFile = QString::fromLatin1(DatabaseFileName),
              QObject *parent = nullptr);
    ~PlantLink() override;

    // Starts, restarts or stops the publisher and the server for these settings.
    void apply(const PlantLinkSettings &settings);
    const PlantLinkSettings &settings() const { return current; }
    QString mqttStatus() const { return mqttText; }
    QString modbusStatus() const { return modbusText; }
    MqttPublisher *publisher() const { return mqtt.get(); }
    // A dose row or a batch event was written: its message may go now rather than at the
    // publisher's next look.
    void forward();
    // The production schedule's progress for the Modbus registers.
    void showSchedule(const ScheduleRunner::Progress &progress);
    // The console's answer to an order of the plant.
    void answerOrder(const QString &orderId, bool accepted, const QString &reason);
    // The schedule's state for the plant, kept for a publisher started later.
    void publishSchedule(const QByteArray &payload);

signals:
    // A line for the journal: a failure, or the end of one.
    void problem(const QString &text);
    void statusChanged();
    // An order of the plant, on this object's thread; only while orders are accepted.
    void orderReceived(const PlantOrder &order);

private:
    void imageChanged(int position);
    void mqttStatusChanged(MqttPublisher::Status status, const QString &text);
    void modbusRefused(ModbusServer::Refusal kind, const QString &text);
    void startModbus();

    const ProcessImage &image;
    Database &database;
    const QString fileName;
    PlantLinkSettings current;
    std::unique_ptr<MqttPublisher> mqtt;
    std::unique_ptr<ModbusServer> modbus;
    ScheduleRunner::Progress schedule;
    QString mqttText;
    QString modbusText;
    QByteArray scheduleMessage;
    // A failure was told, so its end is told too.
    bool mqttFailed = false;
    MqttPublisher::Status toldStatus = MqttPublisher::Status::Connecting;
    // Refusals are told once, then at most once a minute with their count, each kind apart.
    RefusalTally refusals;
};

#endif // PLANTLINK_H
