#ifndef DOSERSIMULATOR_H
#define DOSERSIMULATOR_H

#include "doserresponder.h"
#include "framereader.h"
#include "replyqueue.h"

#include <atomic>
#include <functional>
#include <vector>

class DoserLine;
class FaultInjector;
class HopperModel;
class ModelClock;

// The simulated dosers at work on one line: waits on it, lets the doser a request is addressed
// to answer it through the fault injector, and sends the replies one after another at their
// time, as on a half-duplex line. It sleeps in poll() until a byte arrives, a reply falls due
// or a model has something to do, so it costs nothing while the line is quiet.
class DoserSimulator
{
public:
    // One model per doser on the line, each at its own address.
    DoserSimulator(DoserLine &line, const QList<HopperModel *> &models, FaultInjector &injector,
                   const ModelClock &clock);
    ~DoserSimulator();
    DoserSimulator(const DoserSimulator &) = delete;
    DoserSimulator &operator=(const DoserSimulator &) = delete;

    // Receives the line's own messages; with frames on, also one line per request and reply.
    void setLogger(std::function<void(const QString &)> logger, bool frames);
    // Serves the line until requestStop(); returns 0 then, 1 when the line failed.
    int run();
    // Ends run() from another thread or from a signal handler.
    void requestStop();
    // Pulls the cable (from a signal handler too): requests are logged but never reach the
    // doser, so nothing is answered until it is plugged in again.
    void setUnplugged(bool unplugged) { cableOut.store(unplugged); }

private:
    void receive(const char *bytes, qsizetype count, qint64 nowMs);
    void answer(const FrameReader::Frame &request, qint64 nowMs);
    void sendDue(qint64 nowMs);
    int pollTimeout(qint64 nowMs, qint64 lineBackAt) const;
    void log(const QString &text) const;

    DoserLine &line;
    QList<HopperModel *> models;
    FaultInjector &injector;
    const ModelClock &clock;
    std::vector<DoserResponder> responders;
    FrameReader reader;
    ReplyQueue replies;
    std::function<void(const QString &)> logger;
    bool logFrames = false;
    qint64 reportedDiscards = 0;
    int wakeRead = -1;
    int wakeWrite = -1;
    std::atomic<bool> cableOut {false};
};

#endif // DOSERSIMULATOR_H
