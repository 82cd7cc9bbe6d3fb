// The plant link without a doser: a process image set by hand, a broker of the test's own, the
// outbox filled by the records' own statements, a Modbus client, and the plant's orders.
#include "brokerprocess.h"
#include "butchrecords.h"
#include "database.h"
#include "eventjournal.h"
#include "formulastore.h"
#include "knownseal.h"
#include "modbusregistermap.h"
#include "mqttreader.h"
#include "plantlink.h"
#include "plantorders.h"
#include "processimage.h"
#include "temporarydatabase.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QModbusReply>
#include <QModbusTcpClient>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <algorithm>

namespace {

const QString Prefix = QStringLiteral("plant/line1");
constexpr int DeviceId = 30;
// Up to two failed attempts and the time-out of one, on a busy machine.
constexpr int ToldMs = 3 * MqttPublisher::ConnectTimeoutMs;
// How long an order that must not be taken is given to show up anyway.
constexpr int IgnoredMs = 1500;

PlantLinkSettings brokerAt(int port)
{
    PlantLinkSettings settings;
    settings.host = QStringLiteral("127.0.0.1");
    settings.port = port;
    settings.prefix = Prefix;
    return settings;
}

DoserImage doserWeighing(double net)
{
    DoserImage doser;
    doser.deviceId = DeviceId;
    doser.state = DoserState::Working;
    doser.netWeight = Weight {net, 2};
    doser.unit = QStringLiteral("кг");
    doser.decimals = 2;
    doser.totalDoseCount = 70001;
    doser.totalWeight = Weight {123456.78, 2};
    doser.batch.state = BatchState::Running;
    doser.batch.butchId = 7;
    doser.batch.target = Weight {90, 2};
    // Three doses summed, as the batch keeps them: 31.499999999999996.
    doser.batch.delivered = Weight {10.1 + 10.2 + 11.2, 2};
    return doser;
}

DoseRecord dose(qint64 butchId, const QString &discharged)
{
    DoseRecord record;
    record.butchId = butchId;
    record.deviceId = DeviceId;
    record.orderedWeight = QStringLiteral("30.00");
    record.dischargedWeight = discharged;
    record.unit = QStringLiteral("кг");
    record.decimals = 2;
    return record;
}

QModbusDataUnit readRegisters(QModbusTcpClient &client, int start, int count,
                              QModbusPdu::ExceptionCode *exception = nullptr)
{
    QModbusDataUnit unit(QModbusDataUnit::InputRegisters, start, quint16(count));
    std::unique_ptr<QModbusReply> reply(client.sendReadRequest(unit, 1));
    if (!reply)
        return {};
    if (!QTest::qWaitFor([&] { return reply->isFinished(); }, 5000))
        return {};
    if (exception)
        *exception = reply->rawResult().exceptionCode();
    if (reply->error() != QModbusDevice::NoError)
        qWarning("%s", qPrintable(reply->errorString()));
    return reply->result();
}

// The network between the console and the broker: passes every byte both ways, but told of a
// text it drops the link the moment the console sends it, so that message reaches the broker
// no more than its acknowledgement reaches the console.
class LinkBreaker : public QObject
{
public:
    explicit LinkBreaker(int brokerPort)
        : brokerPort(quint16(brokerPort))
    {
        connect(&server, &QTcpServer::newConnection, this, &LinkBreaker::accept);
    }
    bool listen() { return server.listen(QHostAddress::LocalHost, 0); }
    int port() const { return server.serverPort(); }
    void breakOn(const QByteArray &text) { breakText = text; }
    int breaks = 0;

private:
    void accept()
    {
        while (QTcpSocket *console = server.nextPendingConnection()) {
            auto *broker = new QTcpSocket(console);
            connect(console, &QTcpSocket::disconnected, console, &QObject::deleteLater);
            connect(console, &QTcpSocket::readyRead, broker, [=] { passUp(console, broker); });
            connect(broker, &QTcpSocket::connected, console, [=] { passUp(console, broker); });
            connect(broker, &QTcpSocket::readyRead, console,
                    [=] { console->write(broker->readAll()); });
            connect(broker, &QTcpSocket::disconnected, console, &QTcpSocket::abort);
            connect(broker, &QTcpSocket::errorOccurred, console, &QTcpSocket::abort);
            broker->connectToHost(QHostAddress::LocalHost, brokerPort);
        }
    }
    void passUp(QTcpSocket *console, QTcpSocket *broker)
    {
        if (broker->state() != QAbstractSocket::ConnectedState)
            return;
        const QByteArray bytes = console->readAll();
        if (!breakText.isEmpty() && bytes.contains(breakText)) {
            breakText.clear();
            ++breaks;
            console->abort();
            return;
        }
        broker->write(bytes);
    }

    QTcpServer server;
    const quint16 brokerPort;
    QByteArray breakText;
};

} // namespace

class tst_PlantLink : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void dosesAndBatchEventsWaitInDataDbUntilTheBrokerTakesThem();
    void stateIsRetainedAtMostFiveTimesASecondWithItsLastValue();
    void exitSendsTheOutboxAndTheLastStateBeforeOffline();
    void batchEventsReachTheBrokerAtOnceAndStartedHasDeliveredNothing();
    void unreachableBrokerAndWrongPasswordAreToldAndTheLinkRecovers();
    void outboxTheFileRefusesIsToldAndDosesWaitOnceItTakesIt();
    void modbusShowsTheImageAndRefusesWritesAndMissingRegisters();
    void ordersAreTakenOnlyWhenAcceptedEachAnsweredAndOneSentAgainIsOneEntry();
};

void tst_PlantLink::initTestCase()
{
    if (BrokerProcess::program().isEmpty())
        QFAIL("mosquitto is not installed (scripts/install-deps.sh installs it)");
}

void tst_PlantLink::dosesAndBatchEventsWaitInDataDbUntilTheBrokerTakesThem()
{
    TemporaryDatabase files;
    Database records(files.path());
    QVERIFY(records.createTables());
    ProcessImage image(1);
    BrokerProcess broker;
    QVERIFY(broker.start());
    MqttReader reader;
    QVERIFY(reader.connectTo(broker.port(), Prefix));
    broker.kill();

    PlantLink link(image, records, files.path());
    QSignalSpy problems(&link, &PlantLink::problem);
    link.apply(brokerAt(broker.port()));
    ButchRecords butches(records);
    EventJournal journal(files.path());
    const quint64 butchId = butches.newButch();
    QVERIFY(butchId > 0);
    const qint64 task = butches.newTask(butchId, DeviceId, "90.00", "90.00", "Мука", "кг");
    QVERIFY(task > 0);
    journal.record(JournalEvent::ButchStarted, QString(), qint64(butchId), DeviceId);
    QVERIFY(journal.flush());
    QStringList discharged;
    for (int n = 0; n < 5; ++n) {
        discharged << QStringLiteral("30.%1").arg(n, 2, 10, QLatin1Char('0'));
        QVERIFY(
            butches.countDischarge(task, discharged.last(), "0", dose(butchId, discharged.last())));
    }
    // Events that are no batch's course are not the plant's business.
    journal.record(JournalEvent::ManualOrder, QStringLiteral("разгрузка"));
    QVERIFY(butches.closeButch(butchId));
    journal.record(JournalEvent::ButchFinished, QString(), qint64(butchId), DeviceId);
    QVERIFY(journal.flush());
    QCOMPARE(files.select("SELECT topic FROM plantOutbox ORDER BY idMessage"),
             QStringList({"batch", "dose", "dose", "dose", "dose", "dose", "batch"}));

    QVERIFY(broker.start());
    QTRY_COMPARE_WITH_TIMEOUT(reader.ofKind("batch").size(), 2, ToldMs);
    const QList<MqttReader::Message> doses = reader.ofKind("dose");
    QCOMPARE(doses.size(), 5);
    const QStringList doseIds = files.select("SELECT idDose FROM dose ORDER BY idDose");
    for (int n = 0; n < doses.size(); ++n) {
        const QJsonObject json = doses.at(n).json();
        QCOMPARE(doses.at(n).topic, QString("plant/line1/30/dose"));
        QCOMPARE(json.value("doseId").toInteger(), doseIds.at(n).toLongLong());
        QCOMPARE(json.value("batchId").toInteger(), qint64(butchId));
        QCOMPARE(json.value("taskId").toInteger(), task);
        QCOMPARE(json.value("discharged").toDouble(), discharged.at(n).toDouble());
        QCOMPARE(json.value("ordered").toDouble(), 30.0);
        QVERIFY(json.value("counted").toBool());
    }
    const QJsonObject started = reader.ofKind("batch").first().json();
    const QJsonObject finished = reader.ofKind("batch").last().json();
    QCOMPARE(started.value("event").toString(), QString("started"));
    QCOMPARE(started.value("product").toString(), QString("Мука"));
    QCOMPARE(started.value("target").toDouble(), 90.0);
    QVERIFY(started.value("end").isNull());
    QCOMPARE(finished.value("event").toString(), QString("finished"));
    QCOMPARE(finished.value("delivered").toDouble(), 30.04);
    QVERIFY(finished.value("end").isString());
    QVERIFY(doses.first().json().value("messageId").toInteger()
            > started.value("messageId").toInteger());
    // Acknowledged means gone from the file.
    QTRY_COMPARE(files.select("SELECT count(*) FROM plantOutbox"), QStringList {"0"});
    QCOMPARE(reader.last(Prefix + "/console/status"), QByteArray("online"));
    QVERIFY(!problems.isEmpty());

    // A dose handed over as the link falls is not the broker's yet: it stays in data.db and goes
    // again on the next connection.
    LinkBreaker network(broker.port());
    QVERIFY(network.listen());
    link.apply(brokerAt(network.port()));
    QTRY_COMPARE_WITH_TIMEOUT(link.publisher()->status(), MqttPublisher::Status::Connected, ToldMs);
    network.breakOn((Prefix + "/30/dose").toUtf8());
    QVERIFY(butches.countDischarge(task, "30.05", "0", dose(butchId, "30.05")));
    QTRY_COMPARE_WITH_TIMEOUT(reader.ofKind("dose").size(), 6, ToldMs + MqttPublisher::RetryMs);
    QCOMPARE(network.breaks, 1);
    QCOMPARE(reader.ofKind("dose").last().json().value("discharged").toDouble(), 30.05);
    QTRY_COMPARE(files.select("SELECT count(*) FROM plantOutbox"), QStringList {"0"});

    // Switched off, nothing more is kept for it.
    link.apply(PlantLinkSettings());
    QVERIFY(butches.declineResidue(dose(butchId, "0.10")));
    QCOMPARE(files.select("SELECT count(*) FROM plantOutbox"), QStringList {"0"});
}

void tst_PlantLink::stateIsRetainedAtMostFiveTimesASecondWithItsLastValue()
{
    TemporaryDatabase files;
    Database records(files.path());
    QVERIFY(records.createTables());
    BrokerProcess broker;
    QVERIFY(broker.start());
    ProcessImage image(1);
    PlantLink link(image, records, files.path());
    link.apply(brokerAt(broker.port()));
    QTRY_COMPARE_WITH_TIMEOUT(link.publisher()->status(), MqttPublisher::Status::Connected, ToldMs);

    MqttReader live(QStringLiteral("live"));
    QVERIFY(live.connectTo(broker.port(), Prefix));
    const QString topic = Prefix + "/30/state";
    QElapsedTimer clock;
    clock.start();
    // Changes every 10 ms for a second: the weight the panel shows as the hopper fills.
    for (int step = 1; step <= 100; ++step) {
        image.update(0, [&](DoserImage &doser) { doser = doserWeighing(step * 0.25); });
        QTest::qWait(10);
    }
    const qint64 elapsed = clock.elapsed();
    QTRY_COMPARE(QJsonDocument::fromJson(live.last(topic)).object().value("netWeight").toDouble(),
                 25.0);
    const int sent = int(live.ofKind("state").size());
    // The retained state from before the changes, then one every period and the last one.
    QVERIFY2(sent <= 3 + int(elapsed / MqttPublisher::StatePeriodMs),
             qPrintable(QString::number(sent)));
    QVERIFY(sent >= 3);

    // A reader that comes later finds the last state retained, every field of it.
    MqttReader later(QStringLiteral("later"));
    QVERIFY(later.connectTo(broker.port(), Prefix));
    QTRY_VERIFY(!later.last(topic).isNull());
    const QJsonObject state = QJsonDocument::fromJson(later.last(topic)).object();
    QVERIFY(later.ofKind("state").last().retained);
    QCOMPARE(state.value("state").toString(), QString("working"));
    QCOMPARE(state.value("stateText").toString(), QString("РАБОТА"));
    QCOMPARE(state.value("unit").toString(), QString("кг"));
    QCOMPARE(state.value("decimals").toInt(), 2);
    QCOMPARE(state.value("totalDoseCount").toInteger(), 70001);
    QCOMPARE(state.value("totalWeight").toDouble(), 123456.78);
    const QJsonObject batch = state.value("batch").toObject();
    QCOMPARE(batch.value("batchId").toInteger(), 7);
    QCOMPARE(batch.value("target").toDouble(), 90.0);
    QVERIFY2(later.last(topic).contains("\"delivered\":31.5,"), later.last(topic).constData());
    QCOMPARE(batch.value("state").toString(), QString("running"));
}

void tst_PlantLink::exitSendsTheOutboxAndTheLastStateBeforeOffline()
{
    TemporaryDatabase files;
    Database records(files.path());
    QVERIFY(records.createTables());
    BrokerProcess broker;
    QVERIFY(broker.start());
    MqttReader reader;
    QVERIFY(reader.connectTo(broker.port(), Prefix));
    ProcessImage image(1);
    ButchRecords butches(records);
    EventJournal journal(files.path());
    const QString stateTopic = Prefix + "/30/state";
    const QString statusTopic = Prefix + "/console/status";
    {
        PlantLink link(image, records, files.path());
        link.apply(brokerAt(broker.port()));
        QTRY_COMPARE_WITH_TIMEOUT(link.publisher()->status(), MqttPublisher::Status::Connected,
                                  ToldMs);
        const quint64 butchId = butches.newButch();
        const qint64 task = butches.newTask(butchId, DeviceId, "90.00", "90.00", "Мука", "кг");
        QVERIFY(task > 0);
        image.update(0, [](DoserImage &doser) {
            doser = doserWeighing(0);
            doser.batch.doseNumber = 2;
        });
        QTRY_VERIFY(!reader.last(stateTopic).isNull());

        // The last dose and the batch's end come within the state's period and before the
        // publisher's next look at the file; the console closes at once.
        QVERIFY(butches.countDischarge(task, "90.00", "0", dose(butchId, "30.00")));
        QVERIFY(butches.closeButch(butchId));
        journal.record(JournalEvent::ButchFinished, QString(), qint64(butchId), DeviceId);
        QVERIFY(journal.flush());
        image.update(0, [](DoserImage &doser) {
            doser.state = DoserState::Stopped;
            doser.batch.state = BatchState::Finished;
            doser.batch.doseNumber = 3;
            doser.batch.delivered = Weight {90, 2};
        });
    }
    QTRY_COMPARE(reader.last(statusTopic), QByteArray("offline"));

    const QList<MqttReader::Message> messages = reader.messages();
    int offline = -1;
    int finished = -1;
    int lastDose = -1;
    int lastState = -1;
    for (int n = 0; n < messages.size(); ++n) {
        const MqttReader::Message &message = messages.at(n);
        if (message.topic == statusTopic && message.payload == "offline" && offline < 0)
            offline = n;
        else if (message.topic.endsWith("/batch")
                 && message.json().value("event").toString() == "finished")
            finished = n;
        else if (message.topic.endsWith("/dose"))
            lastDose = n;
        else if (message.topic == stateTopic)
            lastState = n;
    }
    QVERIFY(offline >= 0);
    QVERIFY2(finished >= 0 && finished < offline, "the batch's end waits for the next start");
    QVERIFY2(lastDose >= 0 && lastDose < offline, "the last dose waits for the next start");
    QVERIFY(lastState >= 0 && lastState < offline);
    const QJsonObject batch = messages.at(lastState).json().value("batch").toObject();
    QCOMPARE(batch.value("state").toString(), QString("finished"));
    QCOMPARE(batch.value("doseNumber").toInt(), 3);
    QCOMPARE(files.select("SELECT count(*) FROM plantOutbox"), QStringList {"0"});

    // The plant holds the journal's seal of the batch's end, as the console remembers it.
    const QJsonObject end = messages.at(finished).json();
    const QString seal = end.value("seal").toString();
    QVERIFY(!seal.isEmpty());
    QCOMPARE(files.select("SELECT seal FROM event WHERE idEvent = ?1",
                          {QString::number(end.value("eventId").toInteger())}),
             QStringList {seal});
    QCOMPARE(KnownSeal::read(files.path()).seal, seal);
}

void tst_PlantLink::batchEventsReachTheBrokerAtOnceAndStartedHasDeliveredNothing()
{
    TemporaryDatabase files;
    Database records(files.path());
    QVERIFY(records.createTables());
    BrokerProcess broker;
    QVERIFY(broker.start());
    MqttReader reader;
    QVERIFY(reader.connectTo(broker.port(), Prefix));
    ProcessImage image(1);
    PlantLink link(image, records, files.path());
    link.apply(brokerAt(broker.port()));
    QTRY_COMPARE_WITH_TIMEOUT(link.publisher()->status(), MqttPublisher::Status::Connected, ToldMs);
    // As the console wires them: the journal says when it has written.
    EventJournal journal(files.path());
    journal.setWrittenHook(
        [&link] { QMetaObject::invokeMethod(&link, &PlantLink::forward, Qt::QueuedConnection); });
    ButchRecords butches(records);
    const quint64 butchId = butches.newButch();
    QVERIFY(butches.newTask(butchId, DeviceId, "90.00", "90.00", "Мука", "кг") > 0);

    // Found by polling alone, the five would take about 2.5 periods together.
    const QList<JournalEvent::Kind> course {JournalEvent::ButchStarted, JournalEvent::ButchStopped,
                                            JournalEvent::ButchContinued,
                                            JournalEvent::ButchFinished, JournalEvent::ButchClosed};
    double waited = 0;
    for (int n = 0; n < course.size(); ++n) {
        const double written = MqttReader::steadyMs();
        journal.record(course.at(n), QString(), qint64(butchId), DeviceId);
        QTRY_COMPARE(reader.ofKind("batch").size(), n + 1);
        waited += reader.ofKind("batch").last().receivedMs - written;
    }
    QVERIFY2(waited < MqttPublisher::PollMs, qPrintable(QString::number(waited)));

    const QJsonObject started = reader.ofKind("batch").first().json();
    QCOMPARE(started.value("event").toString(), QString("started"));
    QVERIFY(started.value("delivered").isDouble());
    QCOMPARE(started.value("delivered").toDouble(), 0.0);
    journal.setWrittenHook({});
}

void tst_PlantLink::unreachableBrokerAndWrongPasswordAreToldAndTheLinkRecovers()
{
    TemporaryDatabase files;
    Database records(files.path());
    QVERIFY(records.createTables());
    ProcessImage image(1);
    PlantLink link(image, records, files.path());
    QSignalSpy problems(&link, &PlantLink::problem);

    BrokerProcess broker;
    broker.requireUser(QStringLiteral("doser"), QStringLiteral("s3cret"));
    QVERIFY(broker.start());
    const int port = broker.port();
    broker.kill();
    link.apply(brokerAt(port));
    QTRY_VERIFY_WITH_TIMEOUT(!problems.isEmpty(), ToldMs);
    QVERIFY2(problems.first().first().toString().contains("недоступен")
                 || problems.first().first().toString().contains("не ответил"),
             qPrintable(problems.first().first().toString()));
    QCOMPARE(link.mqttStatus(), problems.last().first().toString());
    // Every retry fails the same way; the journal is told once.
    QTest::qWait(MqttPublisher::RetryMs * 2);
    QCOMPARE(problems.size(), 1);

    QVERIFY(broker.start());
    PlantLinkSettings wrong = brokerAt(port);
    wrong.user = QStringLiteral("doser");
    wrong.password = QStringLiteral("guess");
    problems.clear();
    link.apply(wrong);
    QTRY_VERIFY_WITH_TIMEOUT(!problems.isEmpty(), ToldMs);
    QVERIFY2(problems.first().first().toString().contains("отказал"),
             qPrintable(problems.first().first().toString()));

    PlantLinkSettings right = wrong;
    right.password = QStringLiteral("s3cret");
    link.apply(right);
    QTRY_COMPARE_WITH_TIMEOUT(link.publisher()->status(), MqttPublisher::Status::Connected, ToldMs);
}

void tst_PlantLink::outboxTheFileRefusesIsToldAndDosesWaitOnceItTakesIt()
{
    TemporaryDatabase files;
    Database records(files.path());
    QVERIFY(records.createTables());
    ProcessImage image(1);
    QVERIFY(records.execQuery("PRAGMA query_only = 1"));
    PlantLink link(image, records, files.path());
    QSignalSpy problems(&link, &PlantLink::problem);
    // No broker is needed to find that nothing would wait for it.
    link.apply(brokerAt(1));
    QVERIFY(!problems.isEmpty());
    QVERIFY2(problems.first().first().toString().contains("data.db"),
             qPrintable(problems.first().first().toString()));

    QVERIFY(records.execQuery("PRAGMA query_only = 0"));
    link.apply(brokerAt(2));
    ButchRecords butches(records);
    const quint64 butchId = butches.newButch();
    const qint64 task = butches.newTask(butchId, DeviceId, "30.00", "30.00", "Мука", "кг");
    QVERIFY(butches.countDischarge(task, "30.00", "0.00", dose(qint64(butchId), "30.00")));
    QCOMPARE(files.select("SELECT topic FROM plantOutbox"), QStringList {"dose"});
}

void tst_PlantLink::modbusShowsTheImageAndRefusesWritesAndMissingRegisters()
{
    TemporaryDatabase files;
    Database records(files.path());
    QVERIFY(records.createTables());
    ProcessImage image(1);
    image.update(0, [](DoserImage &doser) { doser = doserWeighing(12.34); });
    PlantLink link(image, records, files.path());
    QSignalSpy problems(&link, &PlantLink::problem);
    PlantLinkSettings settings;
    QTcpServer probe;
    QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
    settings.modbusPort = probe.serverPort();
    probe.close();
    link.apply(settings);
    QVERIFY2(link.modbusStatus().contains("открыт"), qPrintable(link.modbusStatus()));

    QModbusTcpClient client;
    client.setConnectionParameter(QModbusDevice::NetworkAddressParameter, "127.0.0.1");
    client.setConnectionParameter(QModbusDevice::NetworkPortParameter, settings.modbusPort);
    QVERIFY(client.connectDevice());
    QTRY_COMPARE(client.state(), QModbusDevice::ConnectedState);

    const auto word32 = [](const QModbusDataUnit &unit, int at) {
        return qint32((quint32(unit.value(at)) << 16) | unit.value(at + 1));
    };
    QModbusDataUnit block = readRegisters(client, 0, ModbusRegisterMap::BlockSize);
    QCOMPARE(int(block.valueCount()), int(ModbusRegisterMap::BlockSize));
    QCOMPARE(block.value(ModbusRegisterMap::DeviceId), quint16(DeviceId));
    QCOMPARE(block.value(ModbusRegisterMap::Decimals), quint16(2));
    QCOMPARE(word32(block, ModbusRegisterMap::NetWeight), 1234);
    QCOMPARE(word32(block, ModbusRegisterMap::TotalDoseCount), 70001);
    QCOMPARE(word32(block, ModbusRegisterMap::TotalWeight), 12345678);
    QCOMPARE(word32(block, ModbusRegisterMap::BatchId), 7);
    QCOMPARE(word32(block, ModbusRegisterMap::Target), 9000);
    QCOMPARE(word32(block, ModbusRegisterMap::Delivered), 3150);

    // A net weight below zero (a tared hopper) stays signed.
    image.update(0, [](DoserImage &doser) { doser.netWeight = Weight {-0.05, 2}; });
    QCOMPARE(word32(readRegisters(client, ModbusRegisterMap::NetWeight, 2), 0), -5);

    QModbusDataUnit write(QModbusDataUnit::HoldingRegisters, 0, QList<quint16> {1});
    std::unique_ptr<QModbusReply> refused(client.sendWriteRequest(write, 1));
    QVERIFY(refused);
    QTRY_VERIFY(refused->isFinished());
    QCOMPARE(refused->error(), QModbusDevice::ProtocolError);
    QCOMPARE(refused->rawResult().exceptionCode(), QModbusPdu::IllegalFunction);
    QCOMPARE(problems.size(), 1);

    QModbusPdu::ExceptionCode exception = QModbusPdu::ExtendedException;
    readRegisters(client, ModbusRegisterMap::mapSize(1), 2, &exception);
    QCOMPARE(exception, QModbusPdu::IllegalDataAddress);
    // Told once a minute at most: a SCADA polling a wrong address must not fill the journal.
    QCOMPARE(problems.size(), 1);
    QVERIFY(link.modbusStatus().contains("Modbus"));
}

void tst_PlantLink::ordersAreTakenOnlyWhenAcceptedEachAnsweredAndOneSentAgainIsOneEntry()
{
    TemporaryDatabase files;
    Database records(files.path());
    QVERIFY(records.createTables());
    Formula dough {0, "Тесто", 100, 0, false, "Т-{NNN}", {}};
    dough.components = {{"Мука", 30, 70, 0.5, 0.3, 1}, {"Вода", 31, 30, 0.5, 0.3, 1}};
    QVERIFY(FormulaStore(records).save(dough).isDone());
    EventJournal journal(files.path());
    ProcessImage image(1);
    PlantLink link(image, records, files.path());
    const auto line = [] {
        return QList<LineCapacity> {{30, 50, 2, true, {}}, {31, 50, 2, true, {}}};
    };
    PlantOrders orders(link, records, journal, line, [] { return false; });
    BrokerProcess broker;
    QVERIFY(broker.start());
    PlantLinkSettings settings = brokerAt(broker.port());
    link.apply(settings);
    QTRY_COMPARE_WITH_TIMEOUT(link.publisher()->status(), MqttPublisher::Status::Connected, ToldMs);
    MqttReader plant;
    QVERIFY(plant.connectTo(broker.port(), Prefix));
    const QString topic = Prefix + "/console/orders";

    // Off by default: nothing is taken, nothing answered.
    const QByteArray first = R"({"orderId": "A-1", "formula": "Тесто", "size": 80})";
    QVERIFY(plant.publish(topic, first));
    QTest::qWait(IgnoredMs);
    QVERIFY(plant.ofKind("result").isEmpty());
    QCOMPARE(files.select("SELECT count(*) FROM schedule"), QStringList {"0"});

    settings.acceptsOrders = true;
    link.apply(settings);
    QTRY_COMPARE_WITH_TIMEOUT(link.publisher()->status(), MqttPublisher::Status::Connected, ToldMs);
    // Sent until answered, as the plant does, then once more among the others.
    QVERIFY(QTest::qWaitFor(
        [&] { return !plant.ofKind("result").isEmpty() || !plant.publish(topic, first); }, ToldMs));
    // Accepted or not, by order id; the unreadable one has none to be answered by.
    const QMap<QString, QPair<QByteArray, bool>> sent {
        {"A-1", {first, true}},
        {"", {R"({"orderId": "A-2", "formula": )", false}},
        {"A-3", {R"({"orderId": "A-3", "formula": "Нет такой", "size": 80})", false}},
        {"A-4", {R"({"orderId": "A-4", "formula": "Тесто", "size": 80, "count": 0})", false}},
        // More than the dosers take in the fills a batch allows.
        {"A-5", {R"({"orderId": "A-5", "formula": "Тесто", "size": 1e6})", false}},
        {"A-6",
         {R"({"orderId": "A-6", "product": "Соль", "doser": 31, "size": 5, "lot": "С-2",
                     "count": 3})",
          true}},
        // A product has no pattern to give its batches a lot.
        {"A-7", {R"({"orderId": "A-7", "product": "Соль", "doser": 31, "size": 5})", false}},
        {"A-8", {R"({"orderId": "A-8", "formula": "Тесто", "size": 80, "count": 5000})", false}},
        {QString(65, 'N'),
         {R"({"orderId": ")" + QByteArray(65, 'N') + R"(", "formula": "Тесто", "size": 80})",
          false}},
    };
    for (const auto &message : sent)
        QVERIFY(plant.publish(topic, message.first));
    QMultiMap<QString, QJsonObject> results;
    const auto answered = [&] {
        results.clear();
        for (const MqttReader::Message &message : plant.ofKind("result"))
            results.insert(message.json().value("orderId").toString(), message.json());
        return results.size() - results.count("A-1") == sent.size() - 1;
    };
    QTRY_VERIFY_WITH_TIMEOUT(answered(), ToldMs);
    for (auto result = results.cbegin(); result != results.cend(); ++result) {
        const bool accepted = sent.value(result.key()).second;
        QCOMPARE(result->value("accepted").toBool(), accepted);
        // A refusal says why.
        QCOMPARE(result->value("reason").toString().isEmpty(), accepted);
    }
    QVERIFY(results.value("").value("orderId").isNull());
    QVERIFY(results.value("A-3").value("reason").toString().contains("Нет такой"));
    QCOMPARE(files.select("SELECT orderId, count, addedBy FROM schedule ORDER BY place"),
             QStringList({"A-1", "1", "цех", "A-6", "3", "цех"}));
    // Each order taken or refused is journaled, the one sent again once.
    QVERIFY(journal.flush());
    QCOMPARE(files.select("SELECT count(*) FROM event WHERE kind = ?1", {"24"}), QStringList {"9"});
    // Nor is a message far longer than any order read.
    QVERIFY(!PlantOrder::parse(R"({"orderId": "A-9", "size": 80, "formula": ")"
                               + QByteArray(5000, 'x') + R"("})")
                 .problem.isEmpty());

    // A reader that comes later is given the schedule as it stands.
    MqttReader later(QStringLiteral("later"));
    QVERIFY(later.connectTo(broker.port(), Prefix));
    QTRY_VERIFY(!later.ofKind("schedule").isEmpty());
    QVERIFY(later.ofKind("schedule").last().retained);
    const QJsonArray entries = later.ofKind("schedule").last().json().value("entries").toArray();
    QCOMPARE(entries.size(), 2);
    const QJsonObject product = entries.at(1).toObject();
    QCOMPARE(product.value("orderId").toString(), QString("A-6"));
    QCOMPARE(product.value("doser").toInt(), 31);
    QCOMPARE(product.value("size").toDouble(), 5.0);
    QCOMPARE(product.value("count").toInt(), 3);
    QCOMPARE(product.value("state").toString(), QString("waiting"));

    // Known to the broker by an id of its own, the console is sent what came while it was away.
    const auto answeredTo = [&plant](const QString &id) {
        const QList<MqttReader::Message> results = plant.ofKind("result");
        return std::any_of(results.cbegin(), results.cend(), [&id](const auto &result) {
            return result.json().value("orderId").toString() == id;
        });
    };
    settings.clientId = QStringLiteral("k310-line-1");
    link.apply(settings);
    QVERIFY(QTest::qWaitFor(
        [&] {
            return answeredTo("B-1")
                   || !plant.publish(topic,
                                     R"({"orderId": "B-1", "formula": "Тесто", "size": 80})");
        },
        ToldMs));
    PlantLinkSettings away = settings;
    away.host.clear();
    link.apply(away);
    QVERIFY(plant.publish(topic, R"({"orderId": "B-2", "formula": "Тесто", "size": 60})"));
    link.apply(settings);
    QTRY_VERIFY_WITH_TIMEOUT(answeredTo("B-2"), ToldMs);
    QCOMPARE(files.select("SELECT size FROM schedule WHERE orderId = 'B-2'"), QStringList {"60"});
}

QTEST_GUILESS_MAIN(tst_PlantLink)
#include "tst_plantlink.moc"
