#include "dosersimulator.h"
#include "k310protocol.h"

#include "doserline.h"
#include "faultinjector.h"
#include "hoppermodel.h"
#include "modelclock.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

constexpr qsizetype ReadChunk = 512;
// After a hang-up or line error, look at the line again this much later instead of spinning.
constexpr qint64 LineRetryMs = 200;

QString hex(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

// The reply in words for the frame log; counters are 32-bit numbers without decimals.
QString summary(const K310DataPacket &reply)
{
    const bool counter =
        reply.command == K310Protocol::Counters && reply.subCommand >= K310Protocol::TotalWeight;
    const QString value = counter ? QString::number(reply.rawValue())
                                  : QString::number(double(reply.value()), 'f', reply.decimals);
    return QStringLiteral("state %1 error %2 value %3")
        .arg(reply.state, 2, 16, QLatin1Char('0'))
        .arg(reply.errorCode)
        .arg(value);
}

} // namespace

DoserSimulator::DoserSimulator(DoserLine &doserLine, const QList<HopperModel *> &hoppers,
                               FaultInjector &faults, const ModelClock &modelClock)
    : line(doserLine)
    , models(hoppers)
    , injector(faults)
    , clock(modelClock)
{
    responders.reserve(size_t(models.size()));
    for (HopperModel *model : std::as_const(models))
        responders.emplace_back(*model);
    int fds[2];
    if (pipe2(fds, O_NONBLOCK | O_CLOEXEC) == 0) {
        wakeRead = fds[0];
        wakeWrite = fds[1];
    }
}

DoserSimulator::~DoserSimulator()
{
    if (wakeRead >= 0)
        ::close(wakeRead);
    if (wakeWrite >= 0)
        ::close(wakeWrite);
}

void DoserSimulator::setLogger(std::function<void(const QString &)> sink, bool frames)
{
    logger = std::move(sink);
    logFrames = frames;
}

void DoserSimulator::log(const QString &text) const
{
    if (logger)
        logger(text);
}

void DoserSimulator::requestStop()
{
    const char byte = 0;
    if (wakeWrite >= 0) [[maybe_unused]]
        const ssize_t written = ::write(wakeWrite, &byte, 1);
}

int DoserSimulator::pollTimeout(qint64 nowMs, qint64 lineBackAt) const
{
    qint64 next = -1;
    auto consider = [&next](qint64 due) {
        if (due >= 0 && (next < 0 || due < next))
            next = due;
    };
    for (const HopperModel *model : models)
        consider(model->nextEventMs());
    consider(replies.nextDueMs());
    consider(lineBackAt);
    if (next < 0)
        return -1;
    return int(qBound(qint64(0), next - nowMs, qint64(INT_MAX)));
}

int DoserSimulator::run()
{
    if (wakeRead < 0 || !line.isOpen()) {
        log(QStringLiteral("nothing to serve: the line is not open"));
        return 1;
    }
    char buffer[ReadChunk];
    qint64 lineBackAt = -1;
    bool lineDown = false;
    for (;;) {
        for (HopperModel *model : std::as_const(models))
            model->update();
        qint64 now = clock.nowMs();
        sendDue(now);
        const bool watchLine = lineBackAt < 0 || now >= lineBackAt;
        if (watchLine)
            lineBackAt = -1;
        pollfd fds[2] = {{wakeRead, POLLIN, 0}, {line.descriptor(), POLLIN, 0}};
        const int ready = ::poll(fds, watchLine ? 2 : 1, pollTimeout(now, lineBackAt));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0) {
            log(QStringLiteral("waiting on the line failed"));
            return 1;
        }
        if (fds[0].revents & POLLIN)
            return 0;
        if (!watchLine || ready == 0)
            continue;
        now = clock.nowMs();
        if (fds[1].revents & POLLNVAL) {
            log(QStringLiteral("the line was closed under us"));
            return 1;
        }
        if (fds[1].revents & POLLIN) {
            const qsizetype got = line.read(buffer, ReadChunk);
            if (got > 0) {
                if (lineDown)
                    log(QStringLiteral("the line is back"));
                lineDown = false;
                receive(buffer, got, now);
                continue;
            }
        }
        // Readable without data, hung up or failed: a tty that would wake poll() at once.
        if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) {
            if (!lineDown)
                log(QStringLiteral("the line hung up; looking again every %1 ms").arg(LineRetryMs));
            lineDown = true;
            lineBackAt = now + LineRetryMs;
        }
    }
}

void DoserSimulator::receive(const char *bytes, qsizetype count, qint64 nowMs)
{
    reader.feed(bytes, count);
    while (reader.hasFrame())
        answer(reader.takeFrame(), nowMs);
    if (logFrames && reader.discardedBytes() != reportedDiscards) {
        log(QStringLiteral("%1 bytes discarded so far (%2 bad frames)")
                .arg(reader.discardedBytes())
                .arg(reader.rejectedFrames()));
        reportedDiscards = reader.discardedBytes();
    }
}

void DoserSimulator::answer(const FrameReader::Frame &request, qint64 nowMs)
{
    if (cableOut.load()) {
        if (logFrames)
            log(QStringLiteral("<- %1  (cable unplugged)").arg(hex(request.bytes)));
        return;
    }
    K310DataPacket reply;
    auto responder =
        std::find_if(responders.begin(), responders.end(), [&request](const DoserResponder &doser) {
            return doser.isForThisDoser(request.packet);
        });
    if (responder == responders.end() || !responder->respond(request.packet, &reply)) {
        if (logFrames)
            log(QStringLiteral("<- %1  (for address %2)")
                    .arg(hex(request.bytes))
                    .arg(request.packet.receiver & 0x7F));
        return;
    }
    QByteArray frame(K310FrameLength, '\0');
    reply.toFrame(reinterpret_cast<quint8 *>(frame.data()));
    QString note;
    const QList<ReplyQueue::Chunk> chunks =
        injector.shape(frame, nowMs, &note, K310Protocol::isRead(reply.command), reply.sender);
    replies.schedule(chunks, nowMs);
    if (logFrames) {
        QString text =
            QStringLiteral("<- %1  -> %2  %3").arg(hex(request.bytes), hex(frame), summary(reply));
        if (!note.isEmpty())
            text += QStringLiteral("  (%1)").arg(note);
        log(text);
    }
}

void DoserSimulator::sendDue(qint64 nowMs)
{
    const QByteArray due = replies.takeDue(nowMs);
    if (!due.isEmpty() && !line.write(due))
        log(QStringLiteral("%1 bytes could not be sent: nobody reads the line").arg(due.size()));
}
