#include "mqttreader.h"

#include <QJsonDocument>
#include <QTest>

#include <mosquitto.h>

#include <chrono>

namespace {

constexpr int KeepAliveSeconds = 10;
constexpr int AtLeastOnce = 1;

} // namespace

QJsonObject MqttReader::Message::json() const
{
    return QJsonDocument::fromJson(payload).object();
}

double MqttReader::steadyMs()
{
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

MqttReader::MqttReader(const QString &clientId)
{
    mosquitto_lib_init();
    handle = mosquitto_new(clientId.toUtf8().constData(), false, this);
    mosquitto_int_option(handle, MOSQ_OPT_TCP_NODELAY, 1);
    mosquitto_connect_callback_set(handle, &MqttReader::onConnect);
    mosquitto_subscribe_callback_set(handle, &MqttReader::onSubscribe);
    mosquitto_message_callback_set(handle, &MqttReader::onMessage);
    // Back within a second of the broker.
    mosquitto_reconnect_delay_set(handle, 1, 1, false);
}

MqttReader::~MqttReader()
{
    mosquitto_disconnect(handle);
    mosquitto_loop_stop(handle, false);
    mosquitto_destroy(handle);
}

bool MqttReader::connectTo(int port, const QString &prefix, int timeoutMs)
{
    filter = prefix + QStringLiteral("/#");
    if (mosquitto_connect_async(handle, "127.0.0.1", port, KeepAliveSeconds) != MOSQ_ERR_SUCCESS
        || mosquitto_loop_start(handle) != MOSQ_ERR_SUCCESS)
        return false;
    return QTest::qWaitFor(
        [this] {
            const QMutexLocker locker(&mutex);
            return subscribed;
        },
        timeoutMs);
}

bool MqttReader::publish(const QString &topic, const QByteArray &payload)
{
    return mosquitto_publish(handle, nullptr, topic.toUtf8().constData(), int(payload.size()),
                             payload.constData(), AtLeastOnce, false)
           == MOSQ_ERR_SUCCESS;
}

QList<MqttReader::Message> MqttReader::messages() const
{
    const QMutexLocker locker(&mutex);
    return received;
}

QList<MqttReader::Message> MqttReader::ofKind(const QString &kind) const
{
    QList<Message> found;
    for (const Message &message : messages()) {
        if (message.topic.endsWith(QLatin1Char('/') + kind))
            found << message;
    }
    return found;
}

QByteArray MqttReader::last(const QString &topic) const
{
    QByteArray payload;
    for (const Message &message : messages()) {
        if (message.topic == topic)
            payload = message.payload;
    }
    return payload;
}

void MqttReader::onConnect(mosquitto *client, void *self, int code)
{
    auto *reader = static_cast<MqttReader *>(self);
    if (code == 0)
        mosquitto_subscribe(client, nullptr, reader->filter.toUtf8().constData(), AtLeastOnce);
}

void MqttReader::onSubscribe(mosquitto *, void *self, int, int, const int *)
{
    auto *reader = static_cast<MqttReader *>(self);
    const QMutexLocker locker(&reader->mutex);
    reader->subscribed = true;
}

void MqttReader::onMessage(mosquitto *, void *self, const mosquitto_message *message)
{
    auto *reader = static_cast<MqttReader *>(self);
    Message copy;
    copy.topic = QString::fromUtf8(message->topic);
    copy.payload = QByteArray(static_cast<const char *>(message->payload), message->payloadlen);
    copy.retained = message->retain;
    copy.receivedMs = steadyMs();
    const QMutexLocker locker(&reader->mutex);
    reader->received << copy;
}
