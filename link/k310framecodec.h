#ifndef K310FRAMECODEC_H
#define K310FRAMECODEC_H

#include <cstdint>

// Length of one frame on the line, in both directions.
constexpr int K310FrameLength = 12;
// Bytes of a packet that travel in a frame: receiver, sender, command, subcommand, state, error
// code, three value bytes, decimals.
constexpr int K310PacketLength = 10;

// The 7-bit cyclic check code (generator x^7 + x^3 + 1) over n bytes, least significant bit first.
std::uint8_t frameCheck(const std::uint8_t *bytes, int n);

// The frame layout on its own, free of Qt, so that programs built without Qt speak it too.
namespace K310FrameCodec {

// Spreads the packet bytes over a frame: 7-bit bytes, the top bits of bytes 3 to 9 gathered in
// byte 10, the start bit on byte 0 and the check code last.
void encode(const std::uint8_t *packet, std::uint8_t *frame);
// Gathers the packet bytes of a well-formed frame; false, packet untouched, for anything else.
bool decode(const std::uint8_t *frame, int length, std::uint8_t *packet);

} // namespace K310FrameCodec

#endif // K310FRAMECODEC_H
