#ifndef K310DATAPACKET_H
#define K310DATAPACKET_H

#include "k310framecodec.h"

#include <QMetaType>
#include <QString>
#include <QtGlobal>

// One protocol frame in memory. Bytes 0..9 travel on the line; linkError and replyCount are the
// link's own bookkeeping, and valueValid is the result of the last setValue().
class K310DataPacket
{
public:
    // Link results carried in linkError.
    enum LinkError : quint8 { ReplyIntact = 0, ReplyCorrupt = 1, NoReply = 2 };

    K310DataPacket() = default;
    // Decodes a received frame; a null pointer or an invalid frame gives an all-zero packet.
    explicit K310DataPacket(const quint8 *frame);
    K310DataPacket(const K310DataPacket &other);
    K310DataPacket &operator=(const K310DataPacket &other);

    // Compares the bytes that travel on the line (0..9).
    bool operator==(const K310DataPacket &other) const;
    bool operator!=(const K310DataPacket &other) const { return !(*this == other); }

    int fromFrame(const quint8 *bytes, quint16 length);
    int toFrame(quint8 *frame);
    void makeErrorReply(quint8 code);

    void setValue(double number, quint8 decimals);
    long double value() const;
    quint32 rawValue() const;
    QString toString() const;

    quint8 receiver = 0;
    quint8 sender = 0;
    quint8 command = 0;
    quint8 subCommand = 0;
    quint8 state = 0;
    quint8 errorCode = 0;
    // The 24-bit two's-complement value, least significant byte first.
    quint8 valueBytes[3] = {0, 0, 0};
    quint8 decimals = 0;
    quint8 linkError = 0;
    quint8 replyCount = 0;
    int valueValid = 0;

private:
    quint8 byteAt(int index) const;
    void setByteAt(int index, quint8 byte);
    void copyBytes(const K310DataPacket &other);
};

Q_DECLARE_METATYPE(K310DataPacket)

#endif // K310DATAPACKET_H
