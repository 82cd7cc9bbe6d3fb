#include "mqttclient.h"

#include <mosquitto.h>

#include <mutex>

namespace {

void initialiseLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

} // namespace

MqttClient::MqttClient(const QString &clientId, Handlers eventHandlers, bool keepSession)
    : handlers(std::move(eventHandlers))
{
    initialiseLibrary();
    const QByteArray id = clientId.toUtf8();
    // The library refuses a kept session without an id of the client's own.
    const bool cleanSession = !keepSession || id.isEmpty();
    handle = mosquitto_new(id.isEmpty() ? nullptr : id.constData(), cleanSession, this);
    if (!handle)
        return;
    // A dose's message goes at once, not with the next one or the peer's delayed ACK.
    mosquitto_int_option(handle, MOSQ_OPT_TCP_NODELAY, 1);
    mosquitto_connect_callback_set(handle, &MqttClient::onConnect);
    mosquitto_disconnect_callback_set(handle, &MqttClient::onDisconnect);
    mosquitto_publish_callback_set(handle, &MqttClient::onPublish);
    mosquitto_message_callback_set(handle, &MqttClient::onMessage);
}

MqttClient::~MqttClient()
{
    if (!handle)
        return;
    mosquitto_disconnect(handle);
    if (looping)
        mosquitto_loop_stop(handle, false);
    mosquitto_destroy(handle);
}

int MqttClient::setCredentials(const QString &user, const QString &password)
{
    if (!handle)
        return MOSQ_ERR_NOMEM;
    if (user.isEmpty())
        return MOSQ_ERR_SUCCESS;
    const QByteArray name = user.toUtf8();
    const QByteArray secret = password.toUtf8();
    return mosquitto_username_pw_set(handle, name.constData(),
                                     secret.isEmpty() ? nullptr : secret.constData());
}

int MqttClient::setCertificateAuthority(const QString &caFile)
{
    if (!handle)
        return MOSQ_ERR_NOMEM;
    if (caFile.isEmpty())
        return MOSQ_ERR_SUCCESS;
    const QByteArray path = caFile.toLocal8Bit();
    return mosquitto_tls_set(handle, path.constData(), nullptr, nullptr, nullptr, nullptr);
}

int MqttClient::setWill(const QString &topic, const QByteArray &payload, int qos, bool retain)
{
    if (!handle)
        return MOSQ_ERR_NOMEM;
    return mosquitto_will_set(handle, topic.toUtf8().constData(), int(payload.size()),
                              payload.constData(), qos, retain);
}

int MqttClient::setMaxInFlight(int messages)
{
    if (!handle)
        return MOSQ_ERR_NOMEM;
    return mosquitto_max_inflight_messages_set(handle, unsigned(messages));
}

int MqttClient::connect(const QString &host, int port, int keepAliveSeconds)
{
    if (!handle)
        return MOSQ_ERR_NOMEM;
    const int started =
        mosquitto_connect_async(handle, host.toUtf8().constData(), port, keepAliveSeconds);
    if (started != MOSQ_ERR_SUCCESS)
        return started;
    const int loop = mosquitto_loop_start(handle);
    looping = loop == MOSQ_ERR_SUCCESS;
    return loop;
}

int MqttClient::publish(const QString &topic, const QByteArray &payload, int qos, bool retain,
                        int *messageId)
{
    if (!handle)
        return MOSQ_ERR_NOMEM;
    return mosquitto_publish(handle, messageId, topic.toUtf8().constData(), int(payload.size()),
                             payload.constData(), qos, retain);
}

int MqttClient::subscribe(const QString &topic, int qos)
{
    if (!handle)
        return MOSQ_ERR_NOMEM;
    return mosquitto_subscribe(handle, nullptr, topic.toUtf8().constData(), qos);
}

QString MqttClient::errorText(int code)
{
    return QString::fromUtf8(mosquitto_strerror(code));
}

QString MqttClient::refusalText(int code)
{
    return QString::fromUtf8(mosquitto_connack_string(code));
}

void MqttClient::onConnect(mosquitto *, void *self, int code)
{
    const auto *client = static_cast<MqttClient *>(self);
    if (client->handlers.connected)
        client->handlers.connected(code);
}

void MqttClient::onDisconnect(mosquitto *, void *self, int reason)
{
    const auto *client = static_cast<MqttClient *>(self);
    if (client->handlers.disconnected)
        client->handlers.disconnected(reason);
}

void MqttClient::onPublish(mosquitto *, void *self, int messageId)
{
    const auto *client = static_cast<MqttClient *>(self);
    if (client->handlers.published)
        client->handlers.published(messageId);
}

void MqttClient::onMessage(mosquitto *, void *self, const mosquitto_message *message)
{
    const auto *client = static_cast<MqttClient *>(self);
    if (client->handlers.message)
        client->handlers.message(
            QString::fromUtf8(message->topic),
            QByteArray(static_cast<const char *>(message->payload), message->payloadlen));
}
