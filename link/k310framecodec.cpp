#include "k310framecodec.h"

namespace {

constexpr std::uint8_t FrameStart = 0x80;
constexpr std::uint8_t LowSevenBits = 0x7F;
constexpr std::uint8_t CheckGenerator = 0x09; // x^3 + 1; x^7 is the bit shifted out
constexpr int HighBitsByte = 10;
constexpr int CheckByte = 11;
// Packet bytes 3..9 may carry a top bit; byte 10 of the frame holds those bits.
constexpr int FirstHighBitByte = 3;
constexpr int HighBitCount = 7;

} // namespace

std::uint8_t frameCheck(const std::uint8_t *bytes, int n)
{
    std::uint8_t reg = 0;
    for (int i = 0; i < n; ++i) {
        for (int bit = 0; bit < 8; ++bit) {
            const bool carry = reg & 0x40;
            reg = std::uint8_t(((reg << 1) | ((bytes[i] >> bit) & 1)) & LowSevenBits);
            if (carry)
                reg ^= CheckGenerator;
        }
    }
    return reg;
}

namespace K310FrameCodec {

void encode(const std::uint8_t *packet, std::uint8_t *frame)
{
    frame[0] = packet[0] | FrameStart;
    for (int i = 1; i < K310PacketLength; ++i)
        frame[i] = packet[i] & LowSevenBits;
    frame[HighBitsByte] = 0;
    for (int k = 0; k < HighBitCount; ++k) {
        if (packet[FirstHighBitByte + k] & FrameStart)
            frame[HighBitsByte] |= std::uint8_t(1 << k);
    }
    frame[CheckByte] = frameCheck(frame, CheckByte);
}

bool decode(const std::uint8_t *frame, int length, std::uint8_t *packet)
{
    if (!frame || length != K310FrameLength || !(frame[0] & FrameStart))
        return false;
    for (int i = 1; i <= HighBitsByte; ++i) {
        if (frame[i] & FrameStart)
            return false;
    }
    if (frame[CheckByte] != frameCheck(frame, CheckByte))
        return false;
    for (int i = 0; i < K310PacketLength; ++i)
        packet[i] = frame[i];
    for (int k = 0; k < HighBitCount; ++k) {
        if (frame[HighBitsByte] & (1 << k))
            packet[FirstHighBitByte + k] |= FrameStart;
    }
    return true;
}

} // namespace K310FrameCodec
