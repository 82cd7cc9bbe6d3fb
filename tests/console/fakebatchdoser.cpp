#include "fakebatchdoser.h"

#include "batchrun.h"

#include <cmath>

QList<double> FakeBatchDoser::fills() const
{
    QList<double> weights;
    for (const QString &order : orders) {
        if (order.startsWith(QLatin1String("fill ")))
            weights << order.mid(5).toDouble();
    }
    return weights;
}

void FakeBatchDoser::fullCycle(double weight)
{
    orders << QStringLiteral("cycle %1").arg(weight, 0, 'f', Decimals);
    discharged += weight;
    counter += quint32(std::lround(weight * 100));
}

void FakeBatchDoser::reply(const std::function<void()> &report)
{
    const DoserState state = alarmed ? DoserState::Alarm : DoserState::Stopped;
    due << [this, state, report] {
        batch->stateReported(id, state);
        report();
    };
}

void FakeBatchDoser::deliver()
{
    while (!due.isEmpty())
        due.takeFirst()();
}

bool FakeBatchDoser::deliverOne()
{
    if (due.isEmpty())
        return false;
    due.takeFirst()();
    return true;
}

void FakeBatchDoser::tick(int times)
{
    for (int i = 0; i < times; ++i) {
        batch->checkDoseDownload();
        deliver();
    }
}

namespace {

bool tickUntilWith(const std::function<void()> &tick, const std::function<bool()> &condition,
                   int maxTicks)
{
    for (int i = 0; i < maxTicks && !condition(); ++i)
        tick();
    return condition();
}

} // namespace

bool FakeBatchDoser::tickUntil(const std::function<bool()> &condition, int maxTicks)
{
    return tickUntilWith([this] { tick(); }, condition, maxTicks);
}

void FakeBatchDoser::resetErrorFlag(int)
{
    orders << QStringLiteral("reset");
    alarmed = false;
}

void FakeBatchDoser::discharge(int)
{
    orders << QStringLiteral("discharge");
    const double held = hopper;
    hopper = 0;
    discharged += held;
    if (loseNextDischargeReply) {
        loseNextDischargeReply = false;
        online = false;
        due << [this] { batch->doserLost(position); };
        return;
    }
    if (alarmOnNextDischarge) {
        alarmOnNextDischarge = false;
        alarmed = true;
    }
    ++doses;
    reply([this, held] { batch->dischargeReported(id, Weight {held, Decimals}); });
}

void FakeBatchDoser::stopWork(int)
{
    orders << QStringLiteral("stop");
}

void FakeBatchDoser::askTotalCommonWeight(int)
{
    const quint32 now = counter;
    reply([this, now] { batch->totalCommonWeightReported(id, now); });
}

void FakeBatchDoser::askDoseCount(int)
{
    const int now = doses;
    reply([this, now] { batch->doseCountReported(id, now); });
}

void FakeBatchDoser::fillIfOnline(int, double weight, quint8 decimals)
{
    if (!online)
        return;
    orders << QStringLiteral("fill %1").arg(weight, 0, 'f', decimals);
    // The counter counts in the doser's steps what the fill really put into the hopper.
    const double filled = std::round((weight * (1 + fillError) + inFlightError) * 100) / 100;
    hopper += filled;
    counter += quint32(std::lround(filled * 100));
}

void FakeBatchDoser::dischargeIfOnline(int position)
{
    if (online)
        discharge(position);
}

FakeLine::FakeLine(int count)
{
    for (int p = 0; p < count; ++p) {
        dosers << new FakeBatchDoser;
        dosers.last()->id = FakeBatchDoser::Id + p;
        dosers.last()->position = p;
    }
}

FakeLine::~FakeLine()
{
    qDeleteAll(dosers);
}

void FakeLine::attach(BatchRun *run)
{
    batch = run;
    for (FakeBatchDoser *doser : std::as_const(dosers))
        doser->attach(run);
}

void FakeLine::deliver()
{
    // Replies come one at a time as on one line, whoever's they are, until none is due.
    bool any = true;
    while (any) {
        any = false;
        for (FakeBatchDoser *doser : std::as_const(dosers))
            any = doser->deliverOne() || any;
    }
}

void FakeLine::tick(int times)
{
    for (int i = 0; i < times; ++i) {
        batch->checkDoseDownload();
        deliver();
    }
}

bool FakeLine::tickUntil(const std::function<bool()> &condition, int maxTicks)
{
    return tickUntilWith([this] { tick(); }, condition, maxTicks);
}

BatchOperator::Answer FakeOperator::ask(const QString &text)
{
    asked << text;
    if (answers.contains(text))
        return answers.value(text);
    // A rule may name only the question's first line, for questions that list what they change.
    return answers.value(text.section(QLatin1Char('\n'), 0, 0), Answer::No);
}
