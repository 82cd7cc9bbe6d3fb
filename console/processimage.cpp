#include "processimage.h"

namespace {

bool same(const Weight &a, const Weight &b)
{
    return a.value == b.value && a.decimals == b.decimals;
}

bool same(const DoserImage &a, const DoserImage &b)
{
    const BatchProgress &p = a.batch;
    const BatchProgress &q = b.batch;
    return a.deviceId == b.deviceId && a.state == b.state && a.alarmCode == b.alarmCode
           && same(a.netWeight, b.netWeight) && a.unit == b.unit && a.decimals == b.decimals
           && same(a.doseCount, b.doseCount) && same(a.shiftWeight, b.shiftWeight)
           && a.totalDoseCount == b.totalDoseCount && same(a.totalWeight, b.totalWeight)
           && p.state == q.state && p.butchId == q.butchId && p.product == q.product
           && same(p.target, q.target) && same(p.delivered, q.delivered)
           && same(p.remaining, q.remaining) && p.doseNumber == q.doseNumber && p.phase == q.phase
           && p.started == q.started && p.plannedDoses == q.plannedDoses
           && same(p.orderedDose, q.orderedDose) && p.plusTolerance == q.plusTolerance
           && p.minusTolerance == q.minusTolerance && same(p.lastDischarge, q.lastDischarge)
           && p.cycleMs == q.cycleMs;
}

} // namespace

ProcessImage::ProcessImage(int doserCount, QObject *parent)
    : QObject(parent)
    , dosers(doserCount)
{ }

void ProcessImage::update(int position, const std::function<void(DoserImage &)> &change)
{
    if (position < 0 || position >= dosers.size())
        return;
    DoserImage changed = dosers.at(position);
    change(changed);
    if (same(changed, dosers.at(position)))
        return;
    dosers[position] = changed;
    emit this->changed(position);
}

void ProcessImage::resize(int doserCount)
{
    if (doserCount < 0 || doserCount == dosers.size())
        return;
    dosers.resize(doserCount);
    emit dosersChanged();
}
