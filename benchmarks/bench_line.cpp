// Several simulated dosers on one line in one batch, without a window: each doser's cycle period
// (from one read of its weight counter to the next) and the exchanges the line carries a second
// against its physical limit. Run by scripts/bench-line.sh; prints one line of figures a run.
#include "batchrun.h"
#include "database.h"
#include "dosersupervisor.h"
#include "k310device.h"
#include "k310link.h"
#include "linequeue.h"
#include "simulatorprocess.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int FirstAddress = 30;
constexpr int Rate = 38400;
constexpr int ReplyTimeoutMs = 150;
// A 12-byte request and a 12-byte reply, 10 bits a byte (8N1).
constexpr double ExchangeMs = 2 * 12 * 10 * 1000.0 / Rate;
constexpr int RequestsPerCycle = 3;

class YesOperator : public BatchOperator
{
public:
    Answer ask(const QString &) override { return Answer::Yes; }
    void inform(const QString &text) override
    {
        std::fprintf(stderr, "operator told: %s\n", qUtf8Printable(text));
    }
    void dismissQuestion() override { }
};

double percentile(QList<qint64> values, double share)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    const int index = qBound(0, int(share * (values.size() - 1) + 0.5), int(values.size()) - 1);
    return double(values.at(index));
}

bool waitFor(const std::function<bool()> &condition, int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition() && clock.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return condition();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addOption({"dosers", "Dosers in the batch.", "n", "1"});
    parser.addOption({"silent", "One more doser on the line that never answers."});
    parser.addOption({"seconds", "How long to measure.", "s", "20"});
    parser.addOption({"simulator", "The simulated doser's program.", "path"});
    parser.process(app);
    const int dosers = qMax(1, parser.value("dosers").toInt());
    const bool silent = parser.isSet("silent");
    const int seconds = qMax(1, parser.value("seconds").toInt());

    QStringList addresses;
    for (int i = 0; i < dosers; ++i)
        addresses << QString::number(FirstAddress + i);
    // The pseudo-terminal has no bit time: every reply waits what a real line would take.
    SimulatorProcess simulator(parser.value("simulator"));
    if (!simulator.start({"--quiet", "--address", addresses.join(','), "--feed-rate", "40",
                          "--fine-rate", "4", "--settle-ms", "100", "--discharge-rate", "80",
                          "--fault", QStringLiteral("delay:p=1,ms=%1").arg(qRound(ExchangeMs))})) {
        std::fprintf(stderr, "the simulated doser did not start\n");
        return 2;
    }

    K310Link link(simulator.portPath());
    link.setRate(Rate);
    link.setReplyTimeout(ReplyTimeoutMs);
    LineQueue queue(&link);
    ProcessImage image(0);
    DoserSupervisor supervisor(&link, &queue, image);
    for (int i = 0; i < dosers + (silent ? 1 : 0); ++i)
        supervisor.addDoser(FirstAddress + i);
    QTemporaryDir folder;
    Database records(folder.filePath("data.db"));
    records.createTables();
    YesOperator person;
    BatchRun batch(supervisor, person, records, image);
    supervisor.attach(&batch);
    for (int p = 0; p < supervisor.doserCount(); ++p) {
        supervisor.device(p)->setProductName(QStringLiteral("Мука"));
        supervisor.switchOn(p, true);
    }
    if (!waitFor(
            [&] {
                for (int p = 0; p < dosers; ++p) {
                    if (!batch.work(p).npdReported)
                        return false;
                }
                return true;
            },
            10000)) {
        std::fprintf(stderr, "the dosers did not report their parameters\n");
        return 2;
    }
    for (int p = 0; p < dosers; ++p)
        batch.setTaskWeight(p, 1e6);
    // As in the console: the lost are probed, the weight is polled only between batches.
    supervisor.startTimers();
    supervisor.setWeightPolling(false);
    batch.start();
    if (!batch.isRunning()) {
        std::fprintf(stderr, "the batch did not start\n");
        return 2;
    }

    // Each read of a doser's weight counter is one turn of its cycle.
    QList<QList<qint64>> periods(dosers);
    QList<qint64> last(dosers, -1);
    QElapsedTimer clock;
    for (int p = 0; p < dosers; ++p) {
        QObject::connect(supervisor.device(p), &K310Device::hasGetTotalCommonWeightSignal, &app,
                         [&, p](int, const QString &) {
                             const qint64 now = clock.nsecsElapsed() / 1000;
                             if (last[p] >= 0)
                                 periods[p] << now - last[p];
                             last[p] = now;
                         });
    }
    // The first seconds fill the hoppers; the line's load is measured after them.
    waitFor([] { return false; }, 2000);
    const LinkCounters before = link.counters();
    clock.start();
    for (QList<qint64> &each : periods)
        each.clear();
    last.fill(-1);
    waitFor([] { return false; }, seconds * 1000);
    const LinkCounters after = link.counters();
    const double elapsed = clock.nsecsElapsed() / 1e9;

    const double exchanges = (after.sent - before.sent) / elapsed;
    const double limit = 1000.0 / ExchangeMs;
    QList<qint64> all;
    QStringList each;
    for (int p = 0; p < dosers; ++p) {
        all += periods.at(p);
        each << QStringLiteral("%1:%2")
                    .arg(FirstAddress + p)
                    .arg(percentile(periods.at(p), 0.5) / 1000.0, 0, 'f', 1);
    }
    const double needed =
        qMax(double(BatchRun::DosePeriodMs), 1.25 * dosers * RequestsPerCycle * ExchangeMs);
    std::printf("dosers %d%s: exchanges %.1f/s (%.0f %% of %.0f), cycle median %.1f ms, p95 "
                "%.1f ms, bound %.1f ms; per doser median %s\n",
                dosers, silent ? " + 1 silent" : "", exchanges, 100 * exchanges / limit, limit,
                percentile(all, 0.5) / 1000.0, percentile(all, 0.95) / 1000.0, needed,
                qPrintable(each.join(' ')));
    simulator.stop();
    return 0;
}
