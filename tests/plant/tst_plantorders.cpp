// The plant's orders for the schedule and the schedule's state, through a broker of the test's
// own: the publisher's thread takes the orders, the schedule is written in data.db on the test's
// thread, and the plant's reader sees the answers and the retained schedule.
#include "brokerprocess.h"
#include "database.h"
#include "eventjournal.h"
#include "formulastore.h"
#include "mqttreader.h"
#include "plantlink.h"
#include "plantorders.h"
#include "processimage.h"
#include "schedulestore.h"
#include "temporarydatabase.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

const QString Prefix = QStringLiteral("plant/line1");
const QString Orders = Prefix + QStringLiteral("/console/orders");
const QString Results = Prefix + QStringLiteral("/console/orders/result");
const QString Schedule = Prefix + QStringLiteral("/console/schedule");
const QString Dough = QStringLiteral("Тесто");
// Up to two failed attempts and the time-out of one, on a busy machine.
constexpr int ToldMs = 3 * MqttPublisher::ConnectTimeoutMs;
// How long an order that must not be taken is given to show up anyway.
constexpr int IgnoredMs = 1500;

QByteArray order(const QJsonObject &fields)
{
    return QJsonDocument(fields).toJson(QJsonDocument::Compact);
}

// Everything that reached the schedule topic last, as the plant reads it.
QJsonObject lastSchedule(const MqttReader &reader)
{
    return QJsonDocument::fromJson(reader.last(Schedule)).object();
}

// The console's side: data.db with a formula of two dosers, the link, the orders' taker.
struct OrderBench
{
    explicit OrderBench(TemporaryDatabase &files)
        : records(files.path())
        , journal(files.path())
        , link(image, records, files.path())
    {
        records.createTables();
        Formula dough;
        dough.name = Dough;
        dough.baseSize = 100;
        dough.lotPattern = QStringLiteral("Т-{NNN}");
        dough.components = {{QStringLiteral("Мука"), 30, 70, 0.5, 0.3, 1},
                            {QStringLiteral("Вода"), 31, 30, 0.5, 0.3, 1}};
        saved = bool(FormulaStore(records).save(dough));
        orders = std::make_unique<PlantOrders>(
            link, records, journal,
            [] {
                return QList<LineCapacity> {{30, 50, 2, true, QString()},
                                            {31, 50, 2, true, QString()}};
            },
            [] { return false; });
    }
    PlantLinkSettings settings(int port, bool acceptsOrders) const
    {
        PlantLinkSettings chosen;
        chosen.host = QStringLiteral("127.0.0.1");
        chosen.port = port;
        chosen.prefix = Prefix;
        chosen.acceptsOrders = acceptsOrders;
        return chosen;
    }
    bool connect(int port, bool acceptsOrders)
    {
        link.apply(settings(port, acceptsOrders));
        return QTest::qWaitFor(
            [this] { return link.publisher()->status() == MqttPublisher::Status::Connected; },
            ToldMs);
    }

    Database records;
    EventJournal journal;
    ProcessImage image {1};
    PlantLink link;
    std::unique_ptr<PlantOrders> orders;
    bool saved = false;
};

} // namespace

class tst_PlantOrders : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void ordersAreAppendedOnceAndEachIsAnsweredWithItsReason();
    void scheduleIsRetainedForAReaderThatComesLaterAndFollowsTheEntries();
    void withTheOptionOffNoOrderIsTaken();
};

void tst_PlantOrders::initTestCase()
{
    if (BrokerProcess::program().isEmpty())
        QFAIL("mosquitto is not installed (scripts/install-deps.sh installs it)");
}

void tst_PlantOrders::ordersAreAppendedOnceAndEachIsAnsweredWithItsReason()
{
    TemporaryDatabase files;
    BrokerProcess broker;
    QVERIFY(broker.start());
    OrderBench console(files);
    QVERIFY(console.saved);
    QSignalSpy added(console.orders.get(), &PlantOrders::entryAdded);
    QVERIFY(console.connect(broker.port(), true));
    MqttReader plant;
    QVERIFY(plant.connectTo(broker.port(), Prefix));

    const QJsonObject dough {
        {"orderId", "A-1"}, {"formula", Dough}, {"size", 80}, {"lot", "L-17"}, {"count", 2}};
    const QList<QByteArray> sent {
        order(dough),
        // The plant sends again what it did not hear of.
        order(dough),
        "{\"orderId\": \"A-2\", \"formula\": ",
        order({{"orderId", "A-3"}, {"formula", "Нет такой"}, {"size", 80}, {"count", 1}}),
        order({{"orderId", "A-4"}, {"formula", Dough}, {"size", 80}, {"count", 0}}),
        // More than the dosers' limit takes in the fills a batch allows.
        order({{"orderId", "A-5"}, {"formula", Dough}, {"size", 1e6}, {"count", 1}}),
        order({{"orderId", "A-6"},
               {"product", "Соль"},
               {"doser", 31},
               {"size", 5},
               {"lot", "С-2"},
               {"count", 3}}),
        // A product has no pattern to give it a lot.
        order({{"orderId", "A-7"}, {"product", "Соль"}, {"doser", 31}, {"size", 5}, {"count", 1}}),
    };
    for (const QByteArray &payload : sent)
        QVERIFY(plant.publish(Orders, payload));
    QTRY_COMPARE_WITH_TIMEOUT(plant.ofKind("result").size(), sent.size(), ToldMs);

    QList<QJsonObject> results;
    for (const MqttReader::Message &message : plant.ofKind("result")) {
        QCOMPARE(message.topic, Results);
        QVERIFY(!message.retained);
        results << message.json();
    }
    const QList<bool> accepted {true, true, false, false, false, false, true, false};
    for (int n = 0; n < results.size(); ++n) {
        QCOMPARE(results.at(n).value("accepted").toBool(), accepted.at(n));
        // A refusal says why; an acceptance has nothing to say.
        QCOMPARE(results.at(n).value("reason").toString().isEmpty(), accepted.at(n));
    }
    QCOMPARE(results.at(0).value("orderId").toString(), QString("A-1"));
    QCOMPARE(results.at(1).value("orderId").toString(), QString("A-1"));
    // Unreadable: no order id to answer to.
    QVERIFY(results.at(2).value("orderId").isNull());
    QVERIFY(results.at(3).value("reason").toString().contains("Нет такой"));
    QCOMPARE(results.at(4).value("orderId").toString(), QString("A-4"));
    QCOMPARE(results.at(5).value("orderId").toString(), QString("A-5"));

    // The repeat is no second entry; each entry is the order it came from.
    QCOMPARE(added.size(), 2);
    QCOMPARE(files.select("SELECT orderId, formulaName, productName, deviceId, count, lot, addedBy "
                          "FROM schedule ORDER BY place"),
             QStringList({"A-1", Dough, "", "0", "2", "L-17", "цех", "A-6", "", "Соль", "31", "3",
                          "С-2", "цех"}));
    const std::optional<ScheduleEntry> first = ScheduleStore(console.records).next();
    QVERIFY(first);
    QCOMPARE(first->size.toDouble(), 80.0);
    QCOMPARE(first->state, ScheduleEntry::State::Waiting);

    // Every order taken or refused is in the journal, the repeat once with its first.
    QVERIFY(console.journal.flush());
    const QStringList journaled = files.select(
        "SELECT text FROM event WHERE kind = ?1 ORDER BY idEvent", {QString::number(24)});
    QCOMPARE(journaled.size(), 7);
    for (const char *id : {"A-1", "A-3", "A-4", "A-5", "A-6", "A-7"})
        QVERIFY2(journaled.filter(id).size() == 1, qPrintable(id));
}

void tst_PlantOrders::scheduleIsRetainedForAReaderThatComesLaterAndFollowsTheEntries()
{
    TemporaryDatabase files;
    BrokerProcess broker;
    QVERIFY(broker.start());
    OrderBench console(files);
    QVERIFY(console.connect(broker.port(), true));
    MqttReader plant;
    QVERIFY(plant.connectTo(broker.port(), Prefix));
    QVERIFY(plant.publish(
        Orders, order({{"orderId", "B-1"}, {"formula", Dough}, {"size", 60}, {"count", 4}})));
    QTRY_VERIFY_WITH_TIMEOUT(!plant.ofKind("result").isEmpty(), ToldMs);
    const qint64 id = ScheduleStore(console.records).entries().value(0).id;
    QVERIFY(id > 0);

    // One who comes later is given the schedule by the broker.
    MqttReader later(QStringLiteral("later"));
    QVERIFY(later.connectTo(broker.port(), Prefix));
    QTRY_VERIFY(!later.last(Schedule).isNull());
    QVERIFY(later.ofKind("schedule").last().retained);
    QJsonObject state = lastSchedule(later);
    QCOMPARE(state.value("running").toBool(), false);
    QCOMPARE(state.value("entries").toArray().size(), 1);
    QJsonObject entry = state.value("entries").toArray().first().toObject();
    QCOMPARE(entry.value("id").toInteger(), id);
    QCOMPARE(entry.value("orderId").toString(), QString("B-1"));
    QCOMPARE(entry.value("formula").toString(), Dough);
    QCOMPARE(entry.value("size").toDouble(), 60.0);
    QCOMPARE(entry.value("count").toInt(), 4);
    QCOMPARE(entry.value("done").toInt(), 0);
    QCOMPARE(entry.value("state").toString(), QString("waiting"));

    // An entry added at the panel and one refused by the runner show as they are now.
    ScheduleEntry panel;
    panel.productName = QStringLiteral("Соль");
    panel.deviceId = 30;
    panel.size = QStringLiteral("2.5");
    QVERIFY(ScheduleStore(console.records).add(panel));
    QVERIFY(ScheduleStore(console.records)
                .setState(id, ScheduleEntry::State::Refused, QStringLiteral("нет муки")));
    console.orders->scheduleChanged();
    QTRY_COMPARE(lastSchedule(plant).value("entries").toArray().size(), 2);
    const QJsonArray entries = lastSchedule(plant).value("entries").toArray();
    entry = entries.at(0).toObject();
    QCOMPARE(entry.value("state").toString(), QString("refused"));
    QCOMPARE(entry.value("reason").toString(), QString("нет муки"));
    entry = entries.at(1).toObject();
    QVERIFY(entry.value("orderId").isNull());
    QCOMPARE(entry.value("product").toString(), QString("Соль"));
    QCOMPARE(entry.value("doser").toInt(), 30);
    QCOMPARE(entry.value("size").toDouble(), 2.5);
}

void tst_PlantOrders::withTheOptionOffNoOrderIsTaken()
{
    TemporaryDatabase files;
    BrokerProcess broker;
    QVERIFY(broker.start());
    OrderBench console(files);
    QVERIFY(console.connect(broker.port(), false));
    MqttReader plant;
    QVERIFY(plant.connectTo(broker.port(), Prefix));
    const QByteArray dough =
        order({{"orderId", "C-1"}, {"formula", Dough}, {"size", 80}, {"count", 1}});
    QVERIFY(plant.publish(Orders, dough));
    QTest::qWait(IgnoredMs);
    QVERIFY(plant.ofKind("result").isEmpty());
    QCOMPARE(files.select("SELECT count(*) FROM schedule"), QStringList {"0"});

    // Turned on, the same order is taken; sent until answered, as the plant does, it is one
    // entry however often it came.
    QVERIFY(console.connect(broker.port(), true));
    QVERIFY(QTest::qWaitFor(
        [&] { return !plant.ofKind("result").isEmpty() || !plant.publish(Orders, dough); },
        ToldMs));
    QTRY_COMPARE(files.select("SELECT orderId FROM schedule"), QStringList {"C-1"});
    for (const MqttReader::Message &result : plant.ofKind("result"))
        QVERIFY(result.json().value("accepted").toBool());
}

QTEST_GUILESS_MAIN(tst_PlantOrders)
#include "tst_plantorders.moc"
