// Feeds arbitrary bytes, cut into arbitrary pieces, to the simulated doser's request parser and
// answers every request it finds: it must never crash, every byte is either in a frame, pending
// or counted as thrown away, and every request it passes on decodes and gets a reply that does.
#include "doserresponder.h"
#include "framereader.h"
#include "hoppermodel.h"
#include "modelclock.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

constexpr std::uint32_t Seed = 1;
// Time moves on between requests, so the hopper goes through its phases.
constexpr qint64 MsPerRequest = 250;

void check(bool holds)
{
    if (!holds)
        std::abort();
}

class StepClock : public ModelClock
{
public:
    qint64 nowMs() const override { return now; }
    qint64 now = 0;
};

bool decodes(const quint8 *frame)
{
    K310DataPacket packet;
    return packet.fromFrame(frame, K310FrameLength) == K310FrameLength;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 1)
        return 0;
    // The first byte sets the size of the pieces the line delivers.
    const std::size_t piece = std::size_t(data[0] % 16) + 1;
    const char *bytes = reinterpret_cast<const char *>(data + 1);
    const std::size_t count = size - 1;

    StepClock clock;
    HopperModel model(DoserParameters(), clock, Seed);
    DoserResponder responder(model);
    FrameReader reader;
    qint64 framed = 0;
    for (std::size_t at = 0; at < count; at += piece) {
        const std::size_t length = std::min(piece, count - at);
        reader.feed(bytes + at, qsizetype(length));
        while (reader.hasFrame()) {
            const FrameReader::Frame frame = reader.takeFrame();
            check(frame.bytes.size() == K310FrameLength);
            check(decodes(reinterpret_cast<const quint8 *>(frame.bytes.constData())));
            framed += frame.bytes.size();
            clock.now += MsPerRequest;
            K310DataPacket reply;
            if (!responder.respond(frame.packet, &reply))
                continue;
            quint8 replyFrame[K310FrameLength];
            check(reply.toFrame(replyFrame) == K310FrameLength);
            check(decodes(replyFrame));
        }
    }
    // What is neither framed nor thrown away waits for the rest of its frame: less than one.
    const qint64 waiting = qint64(count) - framed - reader.discardedBytes();
    check(waiting >= 0 && waiting < K310FrameLength);
    return 0;
}
