// Feeds arbitrary bytes to the frame decoder: it must never read past the input, must leave the
// packet untouched when it refuses, and what it accepts must encode back to the same bytes.
#include "k310datapacket.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

// Every byte set, so that a partial write by a refused decode shows.
K310DataPacket filledPacket()
{
    K310DataPacket packet;
    packet.receiver = 0xA1;
    packet.sender = 0xA2;
    packet.command = 0xA3;
    packet.subCommand = 0xA4;
    packet.state = 0xA5;
    packet.errorCode = 0xA6;
    packet.valueBytes[0] = 0xA7;
    packet.valueBytes[1] = 0xA8;
    packet.valueBytes[2] = 0xA9;
    packet.decimals = 0xAA;
    packet.linkError = 0xAB;
    packet.replyCount = 0xAC;
    return packet;
}

bool sameAll(const K310DataPacket &a, const K310DataPacket &b)
{
    return a == b && a.linkError == b.linkError && a.replyCount == b.replyCount;
}

void check(bool holds)
{
    if (!holds)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // An input longer than a 16-bit count can name is cut to the largest one, not wrapped round.
    const quint16 length = quint16(std::min<std::size_t>(size, 0xFFFF));
    K310DataPacket packet = filledPacket();
    const int decoded = packet.fromFrame(data, length);
    if (decoded != K310FrameLength) {
        check(decoded == -1);
        check(sameAll(packet, filledPacket()));
    } else {
        check(size == std::size_t(K310FrameLength));
        check(packet.linkError == K310DataPacket::ReplyIntact);
        check(packet.replyCount == filledPacket().replyCount);
        quint8 frame[K310FrameLength];
        check(packet.toFrame(frame) == K310FrameLength);
        check(std::memcmp(frame, data, K310FrameLength) == 0);
    }

    if (size >= std::size_t(K310FrameLength)) {
        const K310DataPacket constructed(data);
        K310DataPacket expected;
        if (expected.fromFrame(data, K310FrameLength) != K310FrameLength)
            expected = K310DataPacket();
        check(constructed == expected);
        check(constructed.linkError == expected.linkError);
        check(constructed.replyCount == 0);
    }
    return 0;
}
