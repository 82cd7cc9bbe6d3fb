#include "framereader.h"

namespace {

constexpr char FrameStart = char(0x80);

} // namespace

void FrameReader::feed(const char *bytes, qsizetype count)
{
    for (qsizetype i = 0; i < count; ++i) {
        const char byte = bytes[i];
        if (byte & FrameStart) {
            discarded += pending.size();
            pending = QByteArray(1, byte);
            continue;
        }
        if (pending.isEmpty()) {
            ++discarded;
            continue;
        }
        pending.append(byte);
        if (pending.size() < K310FrameLength)
            continue;
        Frame frame;
        if (frame.packet.fromFrame(reinterpret_cast<const quint8 *>(pending.constData()),
                                   quint16(pending.size()))
            == K310FrameLength) {
            frame.bytes = pending;
            frames.append(frame);
        } else {
            ++rejected;
            discarded += pending.size();
        }
        pending.clear();
    }
}
