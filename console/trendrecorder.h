#ifndef TRENDRECORDER_H
#define TRENDRECORDER_H

#include "cycletrace.h"
#include "processimage.h"

#include <QList>
#include <QObject>

#include <functional>

class Database;

// The hopper's weight through the cycles of the batch in work, read off the process image: a
// cycle begins with each fill ordered and holds the weights read until the next, with the
// discharge counted in it. Kept in memory for the trend (the last batch stays after it ends)
// and, a row a cycle, in data.db for the batch's report.
class TrendRecorder : public QObject
{
    Q_OBJECT

public:
    // More than the trend must show, so a cycle under way does not push out the oldest shown.
    static constexpr int KeptCycles = 60;
    // A weight that did not change for longer was held: a reading of it is put in before the
    // next, so the trend draws a step, not a slope.
    static constexpr qint64 HoldMs = 250;

    TrendRecorder(ProcessImage &image, Database &records, QObject *parent = nullptr);

    // Milliseconds since the epoch; a test sets its own.
    void setClock(std::function<qint64()> now) { clock = std::move(now); }

    // The batch in work on the doser, or the last one; 0 before the first.
    quint64 butchId(int position) const { return tracks.at(position).butchId; }
    // Its cycles, the oldest first, the one under way last.
    const QList<CycleTrace> &cycles(int position) const { return tracks.at(position).cycles; }

signals:
    void batchBegan(int position);
    void sampleAdded(int position);
    void cycleClosed(int position);

private:
    struct Track
    {
        quint64 butchId = 0;
        bool open = false;
        int nextNumber = 1;
        DosePhase phase = DosePhase::None;
        int doseNumber = 0;
        QList<CycleTrace> cycles;
    };

    void observe(int position);
    void openCycle(int position, const BatchProgress &batch, bool ordered);
    void closeCycle(int position);
    void addSample(int position, qint64 ms, double weight);

    ProcessImage &image;
    Database &database;
    std::function<qint64()> clock;
    QList<Track> tracks;
};

#endif // TRENDRECORDER_H
