#ifndef SCRIPTEDPEER_H
#define SCRIPTEDPEER_H

#include <QByteArray>
#include <QList>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

class PtyPair;

// Plays the far end of a PtyPair on its own thread: reads each fixed-length request and
// answers it as the script says: in full, not at all, corrupted, in pieces, cut short, late.
class ScriptedPeer
{
public:
    using Clock = std::chrono::steady_clock;

    enum class Reply {
        Answer, // the whole reply at once
        Drop, // nothing
        Corrupt, // the whole reply with bit 0 of its last byte flipped
        Split, // splitAt bytes, a pause of pauseMs, then the rest
        Truncate, // splitAt bytes, then silence
    };

    struct Step
    {
        Reply reply = Reply::Answer;
        // Before the first byte of the reply.
        int delayMs = 0;
        int splitAt = 5;
        int pauseMs = 2;
    };

    // What the peer saw and did for one request.
    struct Exchange
    {
        QByteArray request;
        Step step;
        Clock::time_point received;
        // When the last byte of the reply was written (received when nothing was).
        Clock::time_point answered;
    };

    // The reply to one request, before the script shapes its delivery.
    using Responder = std::function<QByteArray(const QByteArray &request)>;
    // The step for the request with the given index (from 0) once the queued steps are used up.
    using Chooser = std::function<Step(int index)>;

    // The pair must outlive the peer; the peer owns the master side while it runs.
    ScriptedPeer(PtyPair &pty, int requestLength, Responder responder);
    ~ScriptedPeer();
    ScriptedPeer(const ScriptedPeer &) = delete;
    ScriptedPeer &operator=(const ScriptedPeer &) = delete;

    void start();
    // Ends the thread; a request only partly received is forgotten.
    void stop();

    // Steps for the coming requests, in order.
    void push(const Step &step);
    void push(Reply reply) { push(Step {reply}); }
    // Used when no queued step is left; by default every request is answered at once.
    void setChooser(Chooser chooser);

    int requestCount() const;
    QList<Exchange> exchanges() const;
    // Blocks until count requests were handled (answered or not), or the time is up.
    bool waitForExchanges(int count, int timeoutMs) const;

private:
    void serve();
    bool readRequest(QByteArray &request);
    void deliver(const QByteArray &reply, const Step &step);
    void pause(int ms) const;

    PtyPair &pty;
    const int requestLength;
    Responder responder;
    Chooser chooser;

    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    std::deque<Step> script;
    QList<Exchange> log;
    std::atomic<bool> running {false};
    std::thread thread;
};

#endif // SCRIPTEDPEER_H
