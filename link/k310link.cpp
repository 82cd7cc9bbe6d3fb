#include "k310link.h"

#include "k310protocol.h"
#include "portresult.h"

#include <QDebug>

#include <algorithm>
#include <cstring>

K310Link::K310Link(const QString &name)
    : SerialSchedule(name)
    , txFrame(std::make_unique<quint8[]>(K310FrameLength))
    , rxFrame(std::make_unique<quint8[]>(K310FrameLength))
{
    workPacket = K310DataPacket();
    qRegisterMetaType<K310DataPacket>("K310DataPacket");
}

K310Link::~K310Link()
{
    qDebug("~K310Link()");
    // The worker must be gone before this part of the object is: it calls processReply().
    closePort();
}

qint8 K310Link::sendCommandPacket(K310DataPacket packet)
{
    if (!isMaster())
        return 0;
    send(packet);
    return 1;
}

int K310Link::send(K310DataPacket packet)
{
    if (!isMaster())
        return PortWriteFailed;
    packet.toFrame(txFrame.get());
    return sendFrame(K310FrameLength, txFrame.get(), K310FrameLength, packet.replyCount);
}

LinkCounters K310Link::counters() const
{
    LinkCounters now;
    now.sent = sentCount.load(std::memory_order_relaxed);
    now.answered = answeredCount.load(std::memory_order_relaxed);
    now.notAnswered = notAnsweredCount.load(std::memory_order_relaxed);
    now.corrupt = corruptCount.load(std::memory_order_relaxed);
    now.repeated = repeatedCount.load(std::memory_order_relaxed);
    return now;
}

void K310Link::resetCounters()
{
    sentCount.store(0, std::memory_order_relaxed);
    answeredCount.store(0, std::memory_order_relaxed);
    notAnsweredCount.store(0, std::memory_order_relaxed);
    corruptCount.store(0, std::memory_order_relaxed);
    repeatedCount.store(0, std::memory_order_relaxed);
}

bool K310Link::repeatsRequest(const quint8 *request, quint16 requestLength, const quint8 *reply,
                              quint16 replyFrameLength, quint32 frames, quint32 expected)
{
    if (!repeatReads.load(std::memory_order_relaxed) || !decode(request, requestLength)
        || K310Protocol::movesProduct(workPacket.command))
        return false;
    quint32 intact = 0;
    for (quint32 i = 0; reply && i < frames; ++i)
        intact += decode(reply + std::size_t(i) * replyFrameLength, replyFrameLength) ? 1 : 0;
    if (reply && frames == expected && intact == frames)
        return false;
    // The failed attempt is counted as carried, so the counters still add up.
    sentCount.fetch_add(1, std::memory_order_relaxed);
    if (!reply || frames == 0)
        notAnsweredCount.fetch_add(1, std::memory_order_relaxed);
    else
        corruptCount.fetch_add(1, std::memory_order_relaxed);
    repeatedCount.fetch_add(1, std::memory_order_relaxed);
    return true;
}

void K310Link::processReply(const quint8 *request, quint16 requestLength, const quint8 *reply,
                            quint16 replyFrameLength, quint32 frames, quint32 expected)
{
    sentCount.fetch_add(1, std::memory_order_relaxed);
    if (!reply || frames == 0) {
        notAnsweredCount.fetch_add(1, std::memory_order_relaxed);
        decode(request, requestLength);
        workPacket.makeErrorReply(K310DataPacket::NoReply);
        sysMessage(QStringLiteral("Ошибка: неудалось принять ни одно сообщение"));
        emit replyPacketReceived(workPacket, 0, expected);
        return;
    }
    for (quint32 i = 0; i < frames; ++i) {
        if (decode(reply + std::size_t(i) * replyFrameLength, replyFrameLength)) {
            answeredCount.fetch_add(1, std::memory_order_relaxed);
        } else {
            corruptCount.fetch_add(1, std::memory_order_relaxed);
            decode(request, requestLength);
            workPacket.makeErrorReply(K310DataPacket::ReplyCorrupt);
            sysMessage(QStringLiteral("Ошибка: получен пакет с ошибочными данными"));
        }
        emit replyPacketReceived(workPacket, i + 1, expected);
    }
}

bool K310Link::decode(const quint8 *frame, quint16 length)
{
    // A frame that fails to decode must not pass the previous reply off as its own.
    workPacket = K310DataPacket();
    if (!frame)
        return false;
    std::memcpy(rxFrame.get(), frame, std::min<std::size_t>(length, K310FrameLength));
    return workPacket.fromFrame(rxFrame.get(), length) == K310FrameLength;
}

#include "moc_k310link.cpp"
