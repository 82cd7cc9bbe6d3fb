#include "processimage.h"

#include <tuple>

namespace {

// A structured binding must name every member, so a member added to the struct and not here
// stops the build instead of going uncompared.
auto members(const BatchProgress &progress)
{
    const auto &[state, butchId, product, target, delivered, remaining, doseNumber, plannedDoses,
                 phase, started, lot, orderedDose, plusTolerance, minusTolerance, lastDischarge,
                 cycleMs] = progress;
    return std::tie(state, butchId, product, target, delivered, remaining, doseNumber, plannedDoses,
                    phase, started, lot, orderedDose, plusTolerance, minusTolerance, lastDischarge,
                    cycleMs);
}

auto members(const DoserImage &image)
{
    const auto &[deviceId, state, alarmCode, netWeight, unit, decimals, doseCount, shiftWeight,
                 totalDoseCount, totalWeight, batch] = image;
    return std::tie(deviceId, state, alarmCode, netWeight, unit, decimals, doseCount, shiftWeight,
                    totalDoseCount, totalWeight, batch);
}

} // namespace

bool operator==(const BatchProgress &a, const BatchProgress &b)
{
    return members(a) == members(b);
}

bool operator==(const DoserImage &a, const DoserImage &b)
{
    return members(a) == members(b);
}

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
    if (changed == dosers.at(position))
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

void ProcessImage::remove(int position)
{
    if (position < 0 || position >= dosers.size())
        return;
    dosers.removeAt(position);
    emit doserRemoved(position);
    emit dosersChanged();
}

#include "moc_processimage.cpp"
