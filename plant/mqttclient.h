#ifndef MQTTCLIENT_H
#define MQTTCLIENT_H

#include <QByteArray>
#include <QString>

#include <functional>

struct mosquitto;

// One connection to an MQTT broker through libmosquitto, its network on a thread of the
// library's own. The handlers run on that thread. The destructor disconnects and waits for the
// thread, so no handler runs after it.
class MqttClient
{
public:
    struct Handlers
    {
        // The broker's answer to the connection: 0 accepted, else its refusal code.
        std::function<void(int code)> connected;
        // 0 when this side closed it.
        std::function<void(int reason)> disconnected;
        // The broker acknowledged the message of that id (QoS 1).
        std::function<void(int messageId)> published;
        // A message of a topic subscribed to.
        std::function<void(const QString &topic, const QByteArray &payload)> message;
    };

    // An empty id lets the library make one. With an id, keepSession asks the broker to keep the
    // subscriptions and the QoS 1 messages for them while this client is away.
    MqttClient(const QString &clientId, Handlers handlers, bool keepSession = false);
    ~MqttClient();
    MqttClient(const MqttClient &) = delete;
    MqttClient &operator=(const MqttClient &) = delete;

    // Each returns libmosquitto's code, 0 on success.
    int setCredentials(const QString &user, const QString &password);
    int setCertificateAuthority(const QString &caFile);
    int setWill(const QString &topic, const QByteArray &payload, int qos, bool retain);
    int setMaxInFlight(int messages);
    // Starts connecting and returns at once; `connected` tells how it went.
    int connect(const QString &host, int port, int keepAliveSeconds);
    int publish(const QString &topic, const QByteArray &payload, int qos, bool retain,
                int *messageId = nullptr);
    int subscribe(const QString &topic, int qos);

    // The library's text of a code, and the broker's of a refusal.
    static QString errorText(int code);
    static QString refusalText(int code);

private:
    static void onConnect(mosquitto *, void *self, int code);
    static void onDisconnect(mosquitto *, void *self, int reason);
    static void onPublish(mosquitto *, void *self, int messageId);
    static void onMessage(mosquitto *, void *self, const struct mosquitto_message *message);

    mosquitto *handle = nullptr;
    Handlers handlers;
    bool looping = false;
};

#endif // MQTTCLIENT_H
