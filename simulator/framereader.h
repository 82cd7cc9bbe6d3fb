#ifndef FRAMEREADER_H
#define FRAMEREADER_H

#include "k310datapacket.h"

#include <QByteArray>
#include <QList>

// Collects request frames from bytes that arrive in pieces, with gaps in between. A byte with
// bit 7 set always starts a new frame, so the reader falls back into step after noise or a
// frame cut short; twelve bytes that do not decode are dropped.
class FrameReader
{
public:
    struct Frame
    {
        K310DataPacket packet;
        QByteArray bytes;
    };

    void feed(const char *bytes, qsizetype count);
    bool hasFrame() const { return !frames.isEmpty(); }
    Frame takeFrame() { return frames.takeFirst(); }

    // Bytes thrown away so far: noise outside a frame, cut-short frames and bad frames.
    qint64 discardedBytes() const { return discarded; }
    int rejectedFrames() const { return rejected; }

private:
    QByteArray pending;
    QList<Frame> frames;
    qint64 discarded = 0;
    int rejected = 0;
};

#endif // FRAMEREADER_H
