#ifndef MQTTPUBLISHER_H
#define MQTTPUBLISHER_H

#include "plantlinksettings.h"
#include "plantorder.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QMutex>
#include <QObject>
#include <QWaitCondition>

#include <memory>

class Database;
class MqttClient;
class PlantOutbox;
class QDeadlineTimer;
class QThread;

// Publishes the dosers to the plant's MQTT broker on a thread of its own, so the doser's cycle
// never waits for the network: the retained state of each doser (at most 5 times a second),
// the dose and batch messages of data.db's outbox in their order (QoS 1, each removed only once
// the broker acknowledged it), and the console's status with "offline" as its last will. With
// orders accepted it listens to the plant's orders for the schedule and hands each on, read,
// to whoever takes them on their own thread; the answers and the schedule's retained state go
// back the same way as the rest.
// After every new connection the outbox is sent again from its oldest row, so a message whose
// acknowledgement was lost arrives twice; its ids let the reader drop the repeat. At exit what
// the outbox holds and each doser's last state go before "offline", for at most StopSendMs.
class MqttPublisher : public QObject
{
    Q_OBJECT

public:
    enum class Status { Connecting, Connected, Unreachable, Refused, Lost };
    Q_ENUM(Status)

    // At most 5 state messages a second per doser.
    static constexpr int StatePeriodMs = 200;
    // An attempt that has no answer by then counts as failed.
    static constexpr int ConnectTimeoutMs = 5000;
    static constexpr int RetryMs = 2000;
    // How often the outbox is looked at while connected. Doses and batch events come at once
    // through forward(); the poll finds rows no one told of, and a panel computer should not
    // wake for it twenty times a second.
    static constexpr int PollMs = 250;
    // Messages sent and not yet acknowledged at a time.
    static constexpr int WindowSize = 100;
    static constexpr int KeepAliveSeconds = 10;
    // At exit, how long the outbox and the last states may take to go, then "offline" to be
    // acknowledged.
    static constexpr int StopSendMs = 2000;
    static constexpr int StopAckMs = 1000;

    MqttPublisher(const PlantLinkSettings &settings, const QString &databaseFile,
                  QObject *parent = nullptr);
    ~MqttPublisher() override;

    // The doser's present state; sent when it differs from the one sent last. Any thread.
    void setState(int deviceId, const QByteArray &payload);
    // The outbox may have grown: look now rather than at the next poll. Any thread.
    void forward();
    // An answer to an order of the plant (QoS 1, not retained); kept until connected. Any thread.
    void answer(const QByteArray &payload);
    // The schedule's present state (QoS 1, retained); sent when it differs from the last one
    // sent, and again after every connection. Any thread.
    void setSchedule(const QByteArray &payload);

    Status status() const;
    QString statusText() const;
    // Messages of the outbox the broker acknowledged since the start.
    quint64 acknowledgedCount() const;

signals:
    // The text says what happened, for the operator and the journal.
    void statusChanged(MqttPublisher::Status status, const QString &text);
    // Emitted on the network's thread: connect it queued.
    void orderReceived(const PlantOrder &order);

private:
    enum class EventType { Connected, Disconnected, Published };
    struct Event
    {
        EventType type;
        int value;
        // Events of a client that was let go are dropped.
        int generation;
    };
    struct DoserStateMessage
    {
        QByteArray latest;
        QByteArray sent;
        qint64 sentAt = 0;
    };

    // What the worker thread alone keeps of the connection in work.
    struct Session;

    void run();
    void push(const Event &event);
    void report(Status status, const QString &text);
    QString brokerName() const;
    std::unique_ptr<MqttClient> makeClient(int generation);
    void attempt(Session &session, qint64 now);
    void handle(Session &session, const Event &event, qint64 now);
    void letGo(Session &session, qint64 now);
    // True when more waits that can go at once.
    bool sendOutbox(Session &session, PlantOutbox &outbox);
    // Sends what changed and returns the ms until the next state may go, -1 when none waits.
    // Unthrottled, every changed state goes now.
    qint64 sendStates(Session &session, const QMap<int, QByteArray> &states, qint64 now,
                      bool throttled = true);
    // The answers waiting and the schedule's state, when connected.
    void sendConsoleMessages(Session &session);
    // At exit: the last states, and the outbox until the broker acknowledged all of it.
    void sendRest(Session &session, PlantOutbox &outbox, qint64 now);
    // The events that came, waiting for one until the deadline when none has.
    QList<Event> eventsBy(const QDeadlineTimer &deadline);
    void sayGoodbye(Session &session);

    const PlantLinkSettings settings;
    const QString fileName;
    mutable QMutex mutex;
    QWaitCondition wakeUp;
    QList<Event> events;
    QMap<int, QByteArray> latestStates;
    QList<QByteArray> answers;
    QByteArray latestSchedule;
    // A state, an answer or the schedule changed: the worker wakes for it.
    bool woken = false;
    // The outbox may have grown: the worker reads it when it wakes.
    bool outboxGrew = false;
    bool stopping = false;
    Status current = Status::Connecting;
    QString currentText;
    quint64 acknowledged = 0;
    QThread *worker = nullptr;
};

#endif // MQTTPUBLISHER_H
