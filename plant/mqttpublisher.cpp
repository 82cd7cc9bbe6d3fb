#include "mqttpublisher.h"

#include "database.h"
#include "mqttclient.h"
#include "plantlog.h"
#include "plantmessages.h"
#include "plantoutbox.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QHash>
#include <QThread>

namespace {

const QByteArray Online = QByteArrayLiteral("online");
const QByteArray Offline = QByteArrayLiteral("offline");
constexpr int AtLeastOnce = 1;
constexpr int AtMostOnce = 0;
// CONNACK codes of MQTT 3.1.1 for a wrong user name or password, and for a refused one.
constexpr int BadCredentials = 4;
constexpr int NotAuthorised = 5;

} // namespace

struct MqttPublisher::Session
{
    std::unique_ptr<MqttClient> client;
    int generation = 0;
    bool connected = false;
    // The attempt under way must be answered by then; the next one is made then.
    qint64 deadline = -1;
    qint64 nextAttempt = 0;
    // Message ids of the library against the outbox rows they carry.
    QHash<int, qint64> inFlight;
    qint64 lastQueued = 0;
    bool outboxDirty = true;
    QList<qint64> acknowledgedRows;
    QMap<int, DoserStateMessage> states;
    int goodbyeId = -1;
    bool goodbyeAcknowledged = false;
    QList<QByteArray> answers;
    QByteArray schedule;
    QByteArray scheduleSent;
};

MqttPublisher::MqttPublisher(const PlantLinkSettings &link, const QString &databaseFile,
                             QObject *parent)
    : QObject(parent)
    , settings(link)
    , fileName(databaseFile)
{
    qRegisterMetaType<PlantOrder>();
    worker = QThread::create([this] { run(); });
    worker->start();
}

MqttPublisher::~MqttPublisher()
{
    {
        const QMutexLocker locker(&mutex);
        stopping = true;
        wakeUp.wakeAll();
    }
    worker->wait();
    delete worker;
}

void MqttPublisher::setState(int deviceId, const QByteArray &payload)
{
    const QMutexLocker locker(&mutex);
    latestStates.insert(deviceId, payload);
    woken = true;
    wakeUp.wakeAll();
}

void MqttPublisher::forward()
{
    const QMutexLocker locker(&mutex);
    outboxGrew = true;
    wakeUp.wakeAll();
}

void MqttPublisher::answer(const QByteArray &payload)
{
    const QMutexLocker locker(&mutex);
    answers << payload;
    woken = true;
    wakeUp.wakeAll();
}

void MqttPublisher::setSchedule(const QByteArray &payload)
{
    const QMutexLocker locker(&mutex);
    latestSchedule = payload;
    woken = true;
    wakeUp.wakeAll();
}

MqttPublisher::Status MqttPublisher::status() const
{
    const QMutexLocker locker(&mutex);
    return current;
}

QString MqttPublisher::statusText() const
{
    const QMutexLocker locker(&mutex);
    return currentText;
}

quint64 MqttPublisher::acknowledgedCount() const
{
    const QMutexLocker locker(&mutex);
    return acknowledged;
}

void MqttPublisher::push(const Event &event)
{
    const QMutexLocker locker(&mutex);
    events << event;
    wakeUp.wakeAll();
}

void MqttPublisher::report(Status status, const QString &text)
{
    {
        const QMutexLocker locker(&mutex);
        if (status == current && text == currentText)
            return;
        current = status;
        currentText = text;
    }
    emit statusChanged(status, text);
}

QString MqttPublisher::brokerName() const
{
    return QStringLiteral("%1:%2").arg(settings.host).arg(settings.port);
}

std::unique_ptr<MqttClient> MqttPublisher::makeClient(int generation)
{
    MqttClient::Handlers handlers;
    handlers.connected = [this, generation](int code) {
        push({EventType::Connected, code, generation});
    };
    handlers.disconnected = [this, generation](int reason) {
        push({EventType::Disconnected, reason, generation});
    };
    handlers.published = [this, generation](int id) {
        push({EventType::Published, id, generation});
    };
    if (settings.acceptsOrders) {
        handlers.message = [this](const QString &topic, const QByteArray &payload) {
            if (topic == PlantMessages::ordersTopic(settings.prefix))
                emit orderReceived(PlantOrder::parse(payload));
        };
    }
    // Orders sent while the console is away wait at the broker for a console it knows by its id.
    auto client = std::make_unique<MqttClient>(settings.clientId, handlers, settings.acceptsOrders);
    client->setMaxInFlight(WindowSize + 1);
    client->setWill(PlantMessages::statusTopic(settings.prefix), Offline, AtLeastOnce, true);
    client->setCredentials(settings.user, settings.password);
    return client;
}

void MqttPublisher::attempt(Session &session, qint64 now)
{
    session.client = makeClient(++session.generation);
    int code = session.client->setCertificateAuthority(settings.caFile);
    if (code == 0)
        code = session.client->connect(settings.host, settings.port, KeepAliveSeconds);
    if (code != 0) {
        report(Status::Unreachable, QStringLiteral("брокер %1 недоступен: %2")
                                        .arg(brokerName(), MqttClient::errorText(code)));
        letGo(session, now);
        return;
    }
    session.deadline = now + ConnectTimeoutMs;
}

void MqttPublisher::letGo(Session &session, qint64 now)
{
    session.client.reset();
    session.connected = false;
    session.deadline = -1;
    session.nextAttempt = now + RetryMs;
}

void MqttPublisher::handle(Session &session, const Event &event, qint64 now)
{
    if (event.generation != session.generation || !session.client)
        return;
    switch (event.type) {
    case EventType::Connected:
        if (event.value != 0) {
            const QString reason = event.value == BadCredentials || event.value == NotAuthorised
                                       ? QStringLiteral("неверное имя или пароль")
                                       : MqttClient::refusalText(event.value);
            report(Status::Refused,
                   QStringLiteral("брокер %1 отказал в подключении: %2").arg(brokerName(), reason));
            letGo(session, now);
            return;
        }
        session.connected = true;
        session.deadline = -1;
        // Whatever was not acknowledged goes again, in its order.
        session.inFlight.clear();
        session.lastQueued = 0;
        session.outboxDirty = true;
        for (DoserStateMessage &state : session.states)
            state.sent.clear();
        session.scheduleSent.clear();
        // Made again on every connection: a broker restarted since has forgotten it.
        if (settings.acceptsOrders
            && session.client->subscribe(PlantMessages::ordersTopic(settings.prefix), AtLeastOnce)
                   != 0)
            qCDebug(lcPlant, "subscription to the orders failed");
        session.client->publish(PlantMessages::statusTopic(settings.prefix), Online, AtLeastOnce,
                                true);
        report(Status::Connected, QStringLiteral("подключено к брокеру %1").arg(brokerName()));
        return;
    case EventType::Disconnected:
        if (session.connected)
            report(Status::Lost, QStringLiteral("связь с брокером %1 потеряна").arg(brokerName()));
        else
            report(Status::Unreachable, QStringLiteral("брокер %1 недоступен").arg(brokerName()));
        letGo(session, now);
        return;
    case EventType::Published:
        if (event.value == session.goodbyeId) {
            session.goodbyeAcknowledged = true;
            return;
        }
        if (session.inFlight.contains(event.value)) {
            session.acknowledgedRows << session.inFlight.take(event.value);
            session.outboxDirty = true;
        }
        return;
    }
}

bool MqttPublisher::sendOutbox(Session &session, PlantOutbox &outbox)
{
    if (!session.acknowledgedRows.isEmpty() && outbox.remove(session.acknowledgedRows)) {
        const QMutexLocker locker(&mutex);
        acknowledged += quint64(session.acknowledgedRows.size());
        session.acknowledgedRows.clear();
    }
    const int room = WindowSize - int(session.inFlight.size());
    if (!session.connected || !session.outboxDirty || room <= 0)
        return false;
    const QList<OutboxMessage> messages = outbox.after(session.lastQueued, room);
    // A full page may leave more behind it.
    session.outboxDirty = messages.size() == room;
    for (const OutboxMessage &message : messages) {
        int id = 0;
        const QString topic = PlantMessages::topic(settings.prefix, message.deviceId, message.kind);
        if (session.client->publish(topic, message.payload, AtLeastOnce, false, &id) != 0) {
            // The connection is going; its end is reported, then all goes again.
            session.outboxDirty = true;
            return false;
        }
        session.inFlight.insert(id, message.id);
        session.lastQueued = message.id;
    }
    return session.outboxDirty && session.inFlight.size() < WindowSize;
}

qint64 MqttPublisher::sendStates(Session &session, const QMap<int, QByteArray> &states, qint64 now,
                                 bool throttled)
{
    qint64 wait = -1;
    for (auto latest = states.cbegin(); latest != states.cend(); ++latest) {
        DoserStateMessage &state = session.states[latest.key()];
        state.latest = latest.value();
        if (!session.connected || state.latest == state.sent)
            continue;
        const qint64 due = state.sent.isNull() || !throttled ? now : state.sentAt + StatePeriodMs;
        if (due > now) {
            wait = wait < 0 ? due - now : qMin(wait, due - now);
            continue;
        }
        const QString topic =
            PlantMessages::topic(settings.prefix, latest.key(), QStringLiteral("state"));
        if (session.client->publish(topic, state.latest, AtMostOnce, true) == 0) {
            state.sent = state.latest;
            state.sentAt = now;
        }
    }
    return wait;
}

void MqttPublisher::sendConsoleMessages(Session &session)
{
    if (!session.connected)
        return;
    while (!session.answers.isEmpty()) {
        if (session.client->publish(PlantMessages::orderResultTopic(settings.prefix),
                                    session.answers.first(), AtLeastOnce, false)
            != 0)
            return;
        session.answers.removeFirst();
    }
    if (!session.schedule.isNull() && session.schedule != session.scheduleSent
        && session.client->publish(PlantMessages::scheduleTopic(settings.prefix), session.schedule,
                                   AtLeastOnce, true)
               == 0)
        session.scheduleSent = session.schedule;
}

QList<MqttPublisher::Event> MqttPublisher::eventsBy(const QDeadlineTimer &deadline)
{
    QMutexLocker locker(&mutex);
    if (events.isEmpty())
        wakeUp.wait(&mutex, deadline);
    return std::exchange(events, {});
}

void MqttPublisher::sendRest(Session &session, PlantOutbox &outbox, qint64 now)
{
    QMap<int, QByteArray> states;
    {
        const QMutexLocker locker(&mutex);
        states = latestStates;
    }
    // The states are sent ahead of "offline" on the same connection, so they arrive before it.
    sendStates(session, states, now, false);
    {
        const QMutexLocker locker(&mutex);
        session.answers << std::exchange(answers, {});
        session.schedule = latestSchedule;
    }
    sendConsoleMessages(session);
    const QDeadlineTimer deadline(StopSendMs);
    // Rows written since the last look (the batch's end, its last dose) are read once more.
    session.outboxDirty = true;
    for (;;) {
        sendOutbox(session, outbox);
        if (!session.connected || deadline.hasExpired()
            || (session.inFlight.isEmpty() && !session.outboxDirty
                && session.acknowledgedRows.isEmpty()))
            return;
        for (const Event &event : eventsBy(deadline))
            handle(session, event, now);
    }
}

void MqttPublisher::sayGoodbye(Session &session)
{
    if (!session.connected)
        return;
    // A clean disconnect sends no last will, so the status is set by hand.
    if (session.client->publish(PlantMessages::statusTopic(settings.prefix), Offline, AtLeastOnce,
                                true, &session.goodbyeId)
        != 0)
        return;
    const QDeadlineTimer deadline(StopAckMs);
    while (!session.goodbyeAcknowledged && !deadline.hasExpired()) {
        for (const Event &event : eventsBy(deadline)) {
            if (event.type == EventType::Published && event.generation == session.generation
                && event.value == session.goodbyeId)
                session.goodbyeAcknowledged = true;
        }
    }
}

void MqttPublisher::run()
{
    Database database(fileName);
    database.createTables();
    PlantOutbox outbox(database);
    outbox.createTables();
    quint32 version = database.dataVersion();
    Session session;
    QElapsedTimer clock;
    clock.start();
    report(Status::Connecting, QStringLiteral("подключение к брокеру %1").arg(brokerName()));

    QMutexLocker locker(&mutex);
    while (!stopping) {
        const QList<Event> arrived = std::exchange(events, {});
        woken = false;
        const bool nudged = std::exchange(outboxGrew, false);
        const QMap<int, QByteArray> states = latestStates;
        session.answers << std::exchange(answers, {});
        session.schedule = latestSchedule;
        locker.unlock();

        qint64 now = clock.elapsed();
        for (const Event &event : arrived)
            handle(session, event, now);
        if (!session.client && now >= session.nextAttempt)
            attempt(session, now);
        if (session.client && !session.connected && session.deadline >= 0
            && now >= session.deadline) {
            report(Status::Unreachable, QStringLiteral("брокер %1 не ответил за %2 с")
                                            .arg(brokerName())
                                            .arg(ConnectTimeoutMs / 1000));
            letGo(session, now);
        }
        const quint32 seen = database.dataVersion();
        if (nudged || seen != version) {
            version = seen;
            session.outboxDirty = true;
        }
        sendConsoleMessages(session);
        const bool moreNow = sendOutbox(session, outbox);
        now = clock.elapsed();
        qint64 wait = sendStates(session, states, now);

        if (!session.client)
            wait = qMax<qint64>(1, session.nextAttempt - now);
        else if (!session.connected)
            wait = qMax<qint64>(1, session.deadline - now);
        else if (moreNow)
            wait = 0;
        else
            wait = wait < 0 ? PollMs : qMin<qint64>(wait, PollMs);

        locker.relock();
        if (events.isEmpty() && !woken && !outboxGrew && !stopping && wait > 0)
            wakeUp.wait(&mutex, QDeadlineTimer(wait));
    }
    locker.unlock();
    sendRest(session, outbox, clock.elapsed());
    sayGoodbye(session);
    session.client.reset();
}

#include "moc_mqttpublisher.cpp"
