#include "k310datapacket.h"

#include <QDebug>

#include <cmath>

namespace {

constexpr quint8 LowSevenBits = 0x7F;
constexpr long double ValueLimit = 0xFFFFFF;

} // namespace

K310DataPacket::K310DataPacket(const quint8 *frame)
{
    if (frame)
        fromFrame(frame, K310FrameLength);
    replyCount = 0;
}

K310DataPacket::K310DataPacket(const K310DataPacket &other)
{
    copyBytes(other);
}

K310DataPacket &K310DataPacket::operator=(const K310DataPacket &other)
{
    copyBytes(other);
    return *this;
}

bool K310DataPacket::operator==(const K310DataPacket &other) const
{
    for (int i = 0; i < 10; ++i) {
        if (byteAt(i) != other.byteAt(i))
            return false;
    }
    return true;
}

int K310DataPacket::fromFrame(const quint8 *bytes, quint16 length)
{
    quint8 packet[K310PacketLength];
    if (!K310FrameCodec::decode(bytes, length, packet))
        return -1;
    for (int i = 0; i < K310PacketLength; ++i)
        setByteAt(i, packet[i]);
    linkError = ReplyIntact;
    return K310FrameLength;
}

int K310DataPacket::toFrame(quint8 *frame)
{
    if (!frame)
        return -1;
    quint8 packet[K310PacketLength];
    for (int i = 0; i < K310PacketLength; ++i)
        packet[i] = byteAt(i);
    K310FrameCodec::encode(packet, frame);
    replyCount = 1;
    return K310FrameLength;
}

void K310DataPacket::makeErrorReply(quint8 code)
{
    const quint8 requestReceiver = receiver;
    receiver = sender;
    sender = requestReceiver & LowSevenBits;
    state = 0x80;
    errorCode = 0;
    linkError = code;
}

void K310DataPacket::setValue(double number, quint8 decimals)
{
    long double scaled = number;
    for (int i = 0; i < decimals; ++i)
        scaled *= 10;
    const long double whole = std::trunc(scaled + 0.5L);
    // Written so that NaN fails the test too.
    if (!(whole >= 0 && whole <= ValueLimit)) {
        valueValid = false;
        qDebug("INT");
        return;
    }
    const quint32 s = quint32(whole);
    valueBytes[0] = quint8(s);
    valueBytes[1] = quint8(s >> 8);
    valueBytes[2] = quint8(s >> 16);
    this->decimals = decimals;
    valueValid = true;
}

long double K310DataPacket::value() const
{
    quint32 v = quint32(valueBytes[0]) | quint32(valueBytes[1]) << 8 | quint32(valueBytes[2]) << 16;
    long double divisor = 1;
    for (int i = 0; i < decimals; ++i)
        divisor *= 10;
    if (!(valueBytes[2] & 0x80))
        return v / divisor;
    const quint32 magnitude = (~v & 0xFFFFFF) + 1;
    return -static_cast<long double>(magnitude) / divisor;
}

quint32 K310DataPacket::rawValue() const
{
    return quint32(valueBytes[0]) | quint32(valueBytes[1]) << 8 | quint32(valueBytes[2]) << 16
           | quint32(decimals) << 24;
}

QString K310DataPacket::toString() const
{
    QString text = QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8 %9 %10");
    for (int i = 0; i < 10; ++i)
        text = text.arg(byteAt(i), 2, 16, QLatin1Char(' '));
    return text;
}

quint8 K310DataPacket::byteAt(int index) const
{
    switch (index) {
    case 0:
        return receiver;
    case 1:
        return sender;
    case 2:
        return command;
    case 3:
        return subCommand;
    case 4:
        return state;
    case 5:
        return errorCode;
    case 6:
    case 7:
    case 8:
        return valueBytes[index - 6];
    case 9:
        return decimals;
    case 10:
        return linkError;
    default:
        return replyCount;
    }
}

void K310DataPacket::setByteAt(int index, quint8 byte)
{
    switch (index) {
    case 0:
        receiver = byte;
        break;
    case 1:
        sender = byte;
        break;
    case 2:
        command = byte;
        break;
    case 3:
        subCommand = byte;
        break;
    case 4:
        state = byte;
        break;
    case 5:
        errorCode = byte;
        break;
    case 6:
    case 7:
    case 8:
        valueBytes[index - 6] = byte;
        break;
    case 9:
        decimals = byte;
        break;
    case 10:
        linkError = byte;
        break;
    default:
        replyCount = byte;
        break;
    }
}

void K310DataPacket::copyBytes(const K310DataPacket &other)
{
    for (int i = 0; i < K310FrameLength; ++i)
        setByteAt(i, other.byteAt(i));
}
