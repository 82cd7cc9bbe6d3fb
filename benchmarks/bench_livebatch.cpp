// What the live view costs a batch against the simulated doser: the batch's time with the net
// weight asked in its cycle and without, and the console's CPU during a batch with the trend
// window open. Run by scripts/bench-console.sh; prints its figures.
#include "consolerig.h"
#include "k310_halvern.h"
#include "k310settings.h"
#include "trendwindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QSettings>
#include <QTest>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>

namespace {

const QString Done = QStringLiteral("Задание выполнено");
constexpr int Runs = 3;
constexpr int BatchMs = 10 * 60 * 1000;
const QString Target = QStringLiteral("120");

double cpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
           + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Run
{
    double seconds = 0;
    double cpuShare = 0;
};

// One batch from the start button to "Задание выполнено".
Run batch(bool liveWeight, bool trendOpen)
{
    ConsoleRig rig;
    k310Settings::makeStore()->setValue(QStringLiteral("liveWeight"), liveWeight);
    if (!rig.startSimulator(ConsoleRig::quickDoser()))
        return {};
    K310_Halvern *console = rig.startConsole();
    rig.waitForDoser();
    if (trendOpen)
        rig.click("trendButton");
    rig.operatorAtPanel().answer(QStringLiteral("Начать новую работу?"), QStringLiteral("Да"));
    rig.prepareBatch(QStringLiteral("Пшеница"), Target);
    QElapsedTimer clock;
    const double cpuBefore = cpuSeconds();
    clock.start();
    rig.click("startButton");
    if (!QTest::qWaitFor([&] { return rig.operatorAtPanel().shown.contains(Done); }, BatchMs))
        return {};
    Run run;
    run.seconds = double(clock.elapsed()) / 1000;
    run.cpuShare = (cpuSeconds() - cpuBefore) / run.seconds;
    if (trendOpen && !console->trendWindowShown())
        return {};
    return run;
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values.at(values.size() / 2);
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QList<double> with;
    QList<double> without;
    // Alternated, so a slow spell of the machine falls on both.
    for (int run = 0; run < Runs; ++run) {
        with.append(batch(true, false).seconds);
        without.append(batch(false, false).seconds);
    }
    const Run trend = batch(true, true);
    if (with.contains(0) || without.contains(0) || trend.seconds == 0) {
        std::fprintf(stderr, "a batch did not finish\n");
        return 1;
    }
    const double ratio = median(with) / median(without);
    std::printf("batch of %s (median of %d): %.1f s with the live weight, %.1f s without, ratio "
                "%.3f (target <= 1.03)\n",
                qPrintable(Target), Runs, median(with), median(without), ratio);
    std::printf("CPU of the console during a batch with the trend open: %.1f %% of one core "
                "(target < 5)\n",
                100 * trend.cpuShare);
    return ratio <= 1.03 && trend.cpuShare < 0.05 ? 0 : 1;
}
