#ifndef MQTTREADER_H
#define MQTTREADER_H

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QMutex>
#include <QString>

struct mosquitto;

// A plant's reader of the broker, on libmosquitto alone: a durable session (a fixed id, QoS 1)
// that subscribes to everything under a prefix and keeps each message in the order it came.
// It reconnects by itself after the broker was away.
class MqttReader
{
public:
    struct Message
    {
        QString topic;
        QByteArray payload;
        bool retained = false;
        // When it came, in ms of the steady clock (see steadyMs()).
        double receivedMs = 0;
        QJsonObject json() const;
    };

    explicit MqttReader(const QString &clientId = QStringLiteral("plant-reader"));
    // The clock of receivedMs, for a delay measured against it.
    static double steadyMs();
    ~MqttReader();
    MqttReader(const MqttReader &) = delete;
    MqttReader &operator=(const MqttReader &) = delete;

    // Connects and subscribes to prefix/#; false when that did not happen within timeoutMs.
    bool connectTo(int port, const QString &prefix, int timeoutMs = 5000);
    // Sends as the plant does (QoS 1, not retained); false when the library refused it.
    bool publish(const QString &topic, const QByteArray &payload);
    QList<Message> messages() const;
    // The messages of topics ending in "/kind", in their order.
    QList<Message> ofKind(const QString &kind) const;
    // The payload of the last message on the topic, null when none came.
    QByteArray last(const QString &topic) const;

private:
    static void onConnect(mosquitto *, void *self, int code);
    static void onSubscribe(mosquitto *, void *self, int, int, const int *);
    static void onMessage(mosquitto *, void *self, const struct mosquitto_message *message);

    mosquitto *handle = nullptr;
    QString filter;
    mutable QMutex mutex;
    QList<Message> received;
    bool subscribed = false;
};

#endif // MQTTREADER_H
