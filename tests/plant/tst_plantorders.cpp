// The plant's orders for the schedule through a broker of the test's own: the publisher's
// thread takes them, the schedule is written in data.db on the test's thread, and the plant
// reads the answers and the retained schedule.
#include "brokerprocess.h"
#include "database.h"
#include "eventjournal.h"
#include "formulastore.h"
#include "mqttreader.h"
#include "plantlink.h"
#include "plantorders.h"
#include "processimage.h"
#include "temporarydatabase.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

namespace {

const QString Prefix = QStringLiteral("plant/line1");
const QString Orders = Prefix + QStringLiteral("/console/orders");
const QString Dough = QStringLiteral("Тесто");
// Up to two failed attempts and the time-out of one, on a busy machine.
constexpr int ToldMs = 3 * MqttPublisher::ConnectTimeoutMs;
// How long an order that must not be taken is given to show up anyway.
constexpr int IgnoredMs = 1500;

QByteArray order(const QJsonObject &fields)
{
    return QJsonDocument(fields).toJson(QJsonDocument::Compact);
}

// The console's side: a formula of two dosers with a lot pattern, the link and the taker.
struct OrderBench
{
    explicit OrderBench(TemporaryDatabase &files)
        : records(files.path())
        , journal(files.path())
        , link(image, records, files.path())
        , orders(
              link, records, journal,
              [] {
                  return QList<LineCapacity> {{30, 50, 2, true, {}}, {31, 50, 2, true, {}}};
              },
              [] { return false; })
    {
        records.createTables();
        Formula dough {0, Dough, 100, 0, false, QStringLiteral("Т-{NNN}"), {}};
        dough.components = {{"Мука", 30, 70, 0.5, 0.3, 1}, {"Вода", 31, 30, 0.5, 0.3, 1}};
        saved = FormulaStore(records).save(dough).isDone();
    }
    bool connect(int port, bool acceptsOrders)
    {
        PlantLinkSettings settings;
        settings.host = QStringLiteral("127.0.0.1");
        settings.port = port;
        settings.prefix = Prefix;
        settings.acceptsOrders = acceptsOrders;
        link.apply(settings);
        return QTest::qWaitFor(
            [this] { return link.publisher()->status() == MqttPublisher::Status::Connected; },
            ToldMs);
    }

    Database records;
    EventJournal journal;
    ProcessImage image {1};
    PlantLink link;
    PlantOrders orders;
    bool saved = false;
};

} // namespace

class tst_PlantOrders : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void eachOrderIsAnsweredAndAnOrderSentAgainIsOneEntry();
    void withTheOptionOffNoOrderIsTaken();
};

void tst_PlantOrders::initTestCase()
{
    if (BrokerProcess::program().isEmpty())
        QFAIL("mosquitto is not installed (scripts/install-deps.sh installs it)");
}

void tst_PlantOrders::eachOrderIsAnsweredAndAnOrderSentAgainIsOneEntry()
{
    TemporaryDatabase files;
    BrokerProcess broker;
    QVERIFY(broker.start());
    OrderBench console(files);
    QVERIFY(console.saved);
    QVERIFY(console.connect(broker.port(), true));
    MqttReader plant;
    QVERIFY(plant.connectTo(broker.port(), Prefix));

    const QByteArray dough = order({{"orderId", "A-1"}, {"formula", Dough}, {"size", 80}});
    const QList<QPair<QByteArray, bool>> sent {
        {dough, true},
        // The plant sends again what it did not hear of.
        {dough, true},
        {"{\"orderId\": \"A-2\", \"formula\": ", false},
        {order({{"orderId", "A-3"}, {"formula", "Нет такой"}, {"size", 80}}), false},
        {order({{"orderId", "A-4"}, {"formula", Dough}, {"size", 80}, {"count", 0}}), false},
        // More than the dosers take in the fills a batch allows.
        {order({{"orderId", "A-5"}, {"formula", Dough}, {"size", 1e6}}), false},
        {order({{"orderId", "A-6"},
                {"product", "Соль"},
                {"doser", 31},
                {"size", 5},
                {"lot", "С-2"},
                {"count", 3}}),
         true},
        // A product has no pattern to give its batches a lot.
        {order({{"orderId", "A-7"}, {"product", "Соль"}, {"doser", 31}, {"size", 5}}), false},
    };
    for (const auto &message : sent)
        QVERIFY(plant.publish(Orders, message.first));
    QTRY_COMPARE_WITH_TIMEOUT(plant.ofKind("result").size(), sent.size(), ToldMs);
    QList<QJsonObject> results;
    for (int n = 0; n < sent.size(); ++n) {
        results << plant.ofKind("result").at(n).json();
        QCOMPARE(results.last().value("accepted").toBool(), sent.at(n).second);
        // A refusal says why.
        QCOMPARE(results.last().value("reason").toString().isEmpty(), sent.at(n).second);
    }
    QCOMPARE(results.at(1).value("orderId").toString(), QString("A-1"));
    QVERIFY(results.at(2).value("orderId").isNull());
    QVERIFY(results.at(3).value("reason").toString().contains("Нет такой"));
    QCOMPARE(files.select("SELECT orderId, count, addedBy FROM schedule ORDER BY place"),
             QStringList({"A-1", "1", "цех", "A-6", "3", "цех"}));
    // Each order taken or refused is journaled, the one sent again once.
    QVERIFY(console.journal.flush());
    QCOMPARE(files.select("SELECT count(*) FROM event WHERE kind = ?1", {"24"}), QStringList {"7"});

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
    const QByteArray dough = order({{"orderId", "C-1"}, {"formula", Dough}, {"size", 80}});
    QVERIFY(plant.publish(Orders, dough));
    QTest::qWait(IgnoredMs);
    QVERIFY(plant.ofKind("result").isEmpty());
    QCOMPARE(files.select("SELECT count(*) FROM schedule"), QStringList {"0"});

    // Turned on, the same order, sent until answered, is taken once.
    QVERIFY(console.connect(broker.port(), true));
    QVERIFY(QTest::qWaitFor(
        [&] { return !plant.ofKind("result").isEmpty() || !plant.publish(Orders, dough); },
        ToldMs));
    QTRY_COMPARE(files.select("SELECT orderId FROM schedule"), QStringList {"C-1"});
}

QTEST_GUILESS_MAIN(tst_PlantOrders)
#include "tst_plantorders.moc"
