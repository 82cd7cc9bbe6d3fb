#include "trendrecorder.h"

#include "consolelog.h"
#include "cyclerecords.h"
#include "database.h"

#include <QDateTime>
#include <QDebug>

TrendRecorder::TrendRecorder(ProcessImage &image, Database &records, QObject *parent)
    : QObject(parent)
    , image(image)
    , database(records)
    , clock([] { return QDateTime::currentMSecsSinceEpoch(); })
    , tracks(image.doserCount())
{
    connect(&image, &ProcessImage::changed, this, &TrendRecorder::observe);
    // A doser removed from the line takes its track along; one added starts without cycles.
    connect(&image, &ProcessImage::doserRemoved, this, [this](int p) { tracks.removeAt(p); });
    connect(&image, &ProcessImage::dosersChanged, this,
            [this] { tracks.resize(this->image.doserCount()); });
}

void TrendRecorder::observe(int p)
{
    const DoserImage &doser = image.doser(p);
    const BatchProgress &batch = doser.batch;
    Track &track = tracks[p];
    const bool running = batch.state == BatchState::Running && batch.started.isValid();
    if (running && batch.butchId != 0 && batch.butchId != track.butchId) {
        track = Track();
        track.butchId = batch.butchId;
        track.doseNumber = batch.doseNumber;
        emit batchBegan(p);
    }
    if (track.butchId == 0 || batch.butchId != track.butchId || !running) {
        if (track.open)
            closeCycle(p);
        track.phase = batch.phase;
        track.doseNumber = batch.doseNumber;
        return;
    }

    const qint64 ms = clock() - batch.started.toMSecsSinceEpoch();
    if (batch.phase == DosePhase::Filling && track.phase != DosePhase::Filling) {
        if (track.open)
            closeCycle(p);
        openCycle(p, batch, true);
    }
    if (!track.open)
        openCycle(p, batch, false);
    CycleTrace &cycle = track.cycles.last();
    if (batch.doseNumber > track.doseNumber && !cycle.counted) {
        cycle.counted = true;
        cycle.discharged = batch.lastDischarge.value;
        cycle.countedMs = ms;
    }
    track.phase = batch.phase;
    track.doseNumber = batch.doseNumber;
    addSample(p, ms, doser.netWeight.value);
}

void TrendRecorder::openCycle(int p, const BatchProgress &batch, bool ordered)
{
    Track &track = tracks[p];
    CycleTrace cycle;
    cycle.decimals = image.doser(p).decimals;
    if (ordered) {
        cycle.number = track.nextNumber++;
        cycle.ordered = batch.orderedDose.value;
        cycle.plusTolerance = batch.plusTolerance;
        cycle.minusTolerance = batch.minusTolerance;
    }
    // The weight goes on from where the cycle before left it.
    if (!track.cycles.isEmpty() && !track.cycles.last().samples.isEmpty())
        cycle.samples.append(track.cycles.last().samples.last());
    track.cycles.append(cycle);
    track.open = true;
    while (track.cycles.size() > KeptCycles)
        track.cycles.removeFirst();
}

void TrendRecorder::closeCycle(int p)
{
    Track &track = tracks[p];
    track.open = false;
    const CycleTrace &cycle = track.cycles.last();
    // The trend is no batch record: a cycle that cannot be kept does not stop the work.
    const WriteResult kept =
        CycleRecords(database).add(qint64(track.butchId), image.doser(p).deviceId, cycle);
    if (!kept)
        qCWarning(lcConsole, "cycle %d of batch %llu not kept: %s", cycle.number,
                  static_cast<unsigned long long>(track.butchId), qUtf8Printable(kept.reason()));
    emit cycleClosed(p);
}

void TrendRecorder::addSample(int p, qint64 ms, double weight)
{
    QList<TrendSample> &samples = tracks[p].cycles.last().samples;
    if (!samples.isEmpty()) {
        const TrendSample last = samples.last();
        if (last.weight == weight)
            return;
        if (ms - last.ms > HoldMs)
            samples.append({ms - 1, last.weight});
    }
    samples.append({ms, weight});
    emit sampleAdded(p);
}

#include "moc_trendrecorder.cpp"
