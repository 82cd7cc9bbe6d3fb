#include "scriptedpeer.h"

#include "ptypair.h"

#include <algorithm>

namespace {

// How often a waiting peer looks at its stop flag.
constexpr int PollMs = 20;

} // namespace

ScriptedPeer::ScriptedPeer(PtyPair &pty, int requestLength, Responder responder)
    : pty(pty)
    , requestLength(requestLength)
    , responder(std::move(responder))
    , chooser([](int) { return Step(); })
{ }

ScriptedPeer::~ScriptedPeer()
{
    stop();
}

void ScriptedPeer::start()
{
    if (running.exchange(true))
        return;
    thread = std::thread(&ScriptedPeer::serve, this);
}

void ScriptedPeer::stop()
{
    running = false;
    if (thread.joinable())
        thread.join();
}

void ScriptedPeer::push(const Step &step)
{
    std::lock_guard<std::mutex> lock(mutex);
    script.push_back(step);
}

void ScriptedPeer::setChooser(Chooser newChooser)
{
    std::lock_guard<std::mutex> lock(mutex);
    chooser = std::move(newChooser);
}

int ScriptedPeer::requestCount() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return int(log.size());
}

QList<ScriptedPeer::Exchange> ScriptedPeer::exchanges() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return log;
}

bool ScriptedPeer::waitForExchanges(int count, int timeoutMs) const
{
    std::unique_lock<std::mutex> lock(mutex);
    return changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                            [&] { return log.size() >= count; });
}

void ScriptedPeer::serve()
{
    QByteArray request;
    while (running) {
        if (!readRequest(request))
            continue;
        Exchange exchange;
        exchange.request = request;
        exchange.received = Clock::now();
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (!script.empty()) {
                exchange.step = script.front();
                script.pop_front();
            } else {
                exchange.step = chooser(int(log.size()));
            }
        }
        deliver(responder(request), exchange.step);
        exchange.answered = exchange.step.reply == Reply::Drop ? exchange.received : Clock::now();
        {
            std::lock_guard<std::mutex> lock(mutex);
            log.append(exchange);
        }
        changed.notify_all();
        request.clear();
    }
}

bool ScriptedPeer::readRequest(QByteArray &request)
{
    while (running && request.size() < requestLength)
        request += pty.read(requestLength - int(request.size()), PollMs);
    return request.size() == requestLength;
}

void ScriptedPeer::deliver(const QByteArray &reply, const Step &step)
{
    pause(step.delayMs);
    const int firstPiece = std::clamp(step.splitAt, 0, int(reply.size()));
    switch (step.reply) {
    case Reply::Answer:
        pty.write(reply);
        break;
    case Reply::Drop:
        break;
    case Reply::Corrupt: {
        QByteArray corrupt = reply;
        if (!corrupt.isEmpty())
            corrupt.back() = char(corrupt.back() ^ 0x01);
        pty.write(corrupt);
        break;
    }
    case Reply::Split:
        pty.write(reply.left(firstPiece));
        pause(step.pauseMs);
        pty.write(reply.mid(firstPiece));
        break;
    case Reply::Truncate:
        pty.write(reply.left(firstPiece));
        break;
    }
}

void ScriptedPeer::pause(int ms) const
{
    if (ms > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}
