// The simulated doser: serves the doser protocol on a pseudo-terminal or a serial device.
#include "doserline.h"
#include "dosersimulator.h"
#include "faultinjector.h"
#include "hoppermodel.h"
#include "monotonicclock.h"
#include "simulatoroptions.h"

#include <QCoreApplication>
#include <QRandomGenerator>

#include <csignal>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr int BadArguments = 2;
constexpr double MsPerSecond = 1000.0;
const char *const UnitNames[] = {"г", "кг", "т"};

DoserSimulator *running = nullptr;

void stopOnSignal(int)
{
    if (running)
        running->requestStop();
}

void unplugOnSignal(int)
{
    if (running)
        running->setUnplugged(true);
}

void plugInOnSignal(int)
{
    if (running)
        running->setUnplugged(false);
}

void printError(const QString &text)
{
    std::fprintf(stderr, "k310sim: %s\n", text.toUtf8().constData());
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("k310sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(K310_VERSION));

    SimulatorOptions options;
    switch (options.parse(app.arguments())) {
    case SimulatorOptions::Outcome::ShowHelp:
        std::fputs(options.helpText().toUtf8().constData(), stdout);
        return 0;
    case SimulatorOptions::Outcome::ShowVersion:
        std::printf("k310sim %s\n", K310_VERSION);
        return 0;
    case SimulatorOptions::Outcome::Invalid:
        printError(options.errorText());
        return BadArguments;
    case SimulatorOptions::Outcome::Run:
        break;
    }

    MonotonicClock clock;
    auto log = [&clock](const QString &text) {
        std::fprintf(stderr, "k310sim [%9.3f] %s\n", double(clock.nowMs()) / MsPerSecond,
                     text.toUtf8().constData());
    };
    const quint32 seed = options.seedGiven ? options.seed : QRandomGenerator::system()->generate();
    std::vector<std::unique_ptr<HopperModel>> hoppers;
    QList<HopperModel *> models;
    for (int i = 0; i < options.dosers.size(); ++i) {
        const DoserParameters &p = options.dosers.at(i);
        const quint32 doserSeed = SimulatorOptions::doserSeed(seed, i);
        hoppers.push_back(std::make_unique<HopperModel>(p, clock, doserSeed));
        HopperModel *model = hoppers.back().get();
        model->setErrorScript(ErrorScript(options.errorsFor(p.address), doserSeed));
        // On a line of several dosers each says who it is.
        const QString who =
            options.dosers.size() > 1 ? QStringLiteral("doser %1: ").arg(p.address) : QString();
        if (!options.quiet)
            model->setLogger([log, who](const QString &text) { log(who + text); });
        models.append(model);
    }
    FaultInjector injector(options.faults, seed);

    DoserLine line;
    const bool opened = options.device.isEmpty()
                            ? line.openPseudoTerminal()
                            : line.openDevice(options.device, options.baudRate);
    if (!opened) {
        printError(line.errorString());
        return 1;
    }
    DoserSimulator simulator(line, models, injector, clock);
    simulator.setLogger(log, options.logFrames);
    running = &simulator;
    struct sigaction action = {};
    action.sa_handler = stopOnSignal;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);
    action.sa_handler = unplugOnSignal;
    sigaction(SIGUSR1, &action, nullptr);
    action.sa_handler = plugInOnSignal;
    sigaction(SIGUSR2, &action, nullptr);

    // Scripts read this first line to find the port, and may stop us as soon as they have it.
    // Nothing else ever goes to stdout.
    std::printf("%s\n", line.portPath().toUtf8().constData());
    std::fflush(stdout);

    for (int i = 0; i < models.size() && !options.quiet; ++i) {
        const HopperModel &model = *models.at(i);
        const DoserParameters &p = model.parameters();
        log(QStringLiteral("doser %1 on %2, НПВ %3 %4, seed %5")
                .arg(p.address)
                .arg(line.portPath(), model.weightText(model.npdDigits()),
                     QString::fromUtf8(UnitNames[p.unit]))
                .arg(SimulatorOptions::doserSeed(seed, i)));
    }

    const int result = simulator.run();
    running = nullptr;
    if (!options.quiet)
        log(QStringLiteral("stopped"));
    return result;
}
