// A plant's scale: one local broker, 20 consoles' publishers (no window, no doser) fed with the
// process images of batches and their dose rows as the console writes them, and one reader of
// everything. Prints the messages a second, how many dose and batch messages were lost, and
// the delay from a dose's commit to its arrival at the reader. scripts/bench-plant.sh runs it.
#include "brokerprocess.h"
#include "butchrecords.h"
#include "database.h"
#include "eventjournal.h"
#include "mqttpublisher.h"
#include "mqttreader.h"
#include "plantmessages.h"
#include "plantoutbox.h"
#include "processimage.h"
#include "temporarydatabase.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QHash>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace {

constexpr int Consoles = 20;
constexpr int DefaultSeconds = 60;
// A tick of the recorded cycle: the image changes every tick, a dose is counted every
// DoseTicks ticks and a batch ends after BatchDoses doses.
constexpr int TickMs = 20;
constexpr int DoseTicks = 10;
constexpr int BatchDoses = 25;
constexpr int DeviceId = 30;
constexpr int DrainMs = 15000;

// One console of the plant: its data.db, process image and publisher.
struct Console
{
    explicit Console(int number, int brokerPort)
        : prefix(QStringLiteral("bench/c%1").arg(number, 2, 10, QLatin1Char('0')))
    {
        records.createTables();
        PlantOutbox(records).setForwarding(true);
        PlantLinkSettings settings;
        settings.host = QStringLiteral("127.0.0.1");
        settings.port = brokerPort;
        settings.prefix = prefix;
        publisher = std::make_unique<MqttPublisher>(settings, files.path());
        image.update(0, [](DoserImage &doser) {
            doser.deviceId = DeviceId;
            doser.unit = QStringLiteral("кг");
            doser.decimals = 2;
        });
    }

    // The recorded cycle: the hopper fills over the dose's ticks and is counted at its end.
    void tick(int step)
    {
        const int inCycle = step % DoseTicks;
        image.update(0, [&](DoserImage &doser) {
            doser.state = DoserState::Working;
            doser.netWeight = Weight {30.0 * (inCycle + 1) / DoseTicks, 2};
            doser.batch.state = BatchState::Running;
            doser.batch.butchId = butchId;
            doser.batch.phase =
                inCycle + 1 < DoseTicks ? DosePhase::Filling : DosePhase::Discharging;
        });
        if (butchId == 0)
            startBatch();
        if (inCycle + 1 == DoseTicks)
            countDose();
        publisher->setState(DeviceId, PlantMessages::state(image.doser(0)));
    }

    void startBatch()
    {
        butchId = butches.newButch();
        taskId =
            butches.newTask(butchId, DeviceId, QStringLiteral("750.00"), QStringLiteral("750.00"),
                            QStringLiteral("Мука"), QStringLiteral("кг"));
        journal.record(JournalEvent::ButchStarted, QString(), qint64(butchId), DeviceId);
        ++batchMessages;
        doses = 0;
    }

    void countDose()
    {
        DoseRecord dose;
        dose.butchId = qint64(butchId);
        dose.deviceId = DeviceId;
        dose.orderedWeight = QStringLiteral("30.00");
        dose.dischargedWeight = QStringLiteral("30.01");
        dose.unit = QStringLiteral("кг");
        dose.decimals = 2;
        ++doses;
        const QString delivered = QString::number(30.01 * doses, 'f', 2);
        if (!butches.countDischarge(taskId, delivered, QStringLiteral("0"), dose))
            return;
        committedMs.insert(records.lastInsertId(), MqttReader::steadyMs());
        publisher->forward();
        image.update(0, [&](DoserImage &doser) { doser.batch.doseNumber = doses; });
        if (doses == BatchDoses) {
            if (!butches.closeButch(butchId))
                return;
            journal.record(JournalEvent::ButchFinished, QString(), qint64(butchId), DeviceId);
            ++batchMessages;
            butchId = 0;
        }
    }

    TemporaryDatabase files;
    const QString prefix;
    Database records {files.path()};
    ButchRecords butches {records};
    EventJournal journal {files.path()};
    ProcessImage image {1};
    std::unique_ptr<MqttPublisher> publisher;
    quint64 butchId = 0;
    qint64 taskId = 0;
    int doses = 0;
    int batchMessages = 0;
    // Each dose's row id against the moment its transaction was committed.
    QHash<qint64, double> committedMs;
};

void wait(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

double percentile(QList<double> values, double share)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    return values.at(qMin(int(values.size()) - 1, int(share * double(values.size()))));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    // The records' statements trace every row; the figures are what this run prints.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &text) {
        if (type != QtDebugMsg && type != QtInfoMsg)
            std::fprintf(stderr, "%s\n", qUtf8Printable(text));
    });
    bool given = false;
    const int seconds = qEnvironmentVariable("K310_BENCH_SECONDS").toInt(&given);
    const int runSeconds = given && seconds > 0 ? seconds : DefaultSeconds;

    BrokerProcess broker;
    if (!broker.start()) {
        std::fprintf(stderr, "bench_plant: mosquitto did not start\n");
        return 2;
    }
    MqttReader reader(QStringLiteral("bench-reader"));
    if (!reader.connectTo(broker.port(), QStringLiteral("bench"))) {
        std::fprintf(stderr, "bench_plant: the reader did not connect\n");
        return 2;
    }
    std::vector<std::unique_ptr<Console>> consoles;
    for (int number = 1; number <= Consoles; ++number)
        consoles.push_back(std::make_unique<Console>(number, broker.port()));
    wait(1000);

    int step = 0;
    QTimer ticks;
    QObject::connect(&ticks, &QTimer::timeout, &ticks, [&] {
        for (const auto &console : consoles)
            console->tick(step);
        ++step;
    });
    const double began = MqttReader::steadyMs();
    ticks.start(TickMs);
    wait(runSeconds * 1000);
    ticks.stop();
    const double fed = MqttReader::steadyMs() - began;
    for (const auto &console : consoles)
        console->journal.flush();

    // What each console recorded for the plant, and how much of it came.
    int expected = 0;
    const auto arrived = [&] {
        int count = 0;
        for (const MqttReader::Message &message : reader.messages())
            count += message.topic.endsWith(QLatin1String("/dose"))
                     || message.topic.endsWith(QLatin1String("/batch"));
        return count;
    };
    for (const auto &console : consoles)
        expected += int(console->committedMs.size()) + console->batchMessages;
    QEventLoop drain;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &drain, [&] {
        if (arrived() >= expected)
            drain.quit();
    });
    poll.start(100);
    QTimer::singleShot(DrainMs, &drain, &QEventLoop::quit);
    drain.exec();

    QHash<QString, Console *> byPrefix;
    for (const auto &console : consoles)
        byPrefix.insert(console->prefix, console.get());
    QHash<QString, QSet<qint64>> seen;
    QList<double> delays;
    int states = 0;
    int forwarded = 0;
    for (const MqttReader::Message &message : reader.messages()) {
        const QString prefix = message.topic.section(QLatin1Char('/'), 0, 1);
        const QString kind = message.topic.section(QLatin1Char('/'), -1);
        Console *console = byPrefix.value(prefix);
        if (!console)
            continue;
        if (kind == QLatin1String("state"))
            ++states;
        if (kind != QLatin1String("dose") && kind != QLatin1String("batch"))
            continue;
        const QJsonObject json = message.json();
        const qint64 id = json.value(QStringLiteral("messageId")).toInteger();
        if (seen[prefix].contains(id))
            continue;
        seen[prefix].insert(id);
        ++forwarded;
        if (kind == QLatin1String("dose")) {
            const qint64 doseId = json.value(QStringLiteral("doseId")).toInteger();
            if (console->committedMs.contains(doseId))
                delays << message.receivedMs - console->committedMs.value(doseId);
        }
    }
    const int lost = expected - forwarded;
    const double runS = fed / 1000.0;
    std::printf("consoles: %d, fed for %.1f s\n", Consoles, runS);
    std::printf("messages per second: %.0f (%.0f dose and batch, %.0f state)\n",
                (forwarded + states) / runS, forwarded / runS, states / runS);
    std::printf("dose and batch messages: %d recorded, %d arrived, %d lost\n", expected, forwarded,
                lost);
    std::printf("delay from commit to reader: median %.2f ms, 95th percentile %.2f ms, max %.2f "
                "ms\n",
                percentile(delays, 0.5), percentile(delays, 0.95), percentile(delays, 1.0));
    return lost == 0 && percentile(delays, 0.5) < 10.0 ? 0 : 1;
}
