#include "doserreply.h"

QByteArray doserReply(const QByteArray &request)
{
    K310DataPacket packet;
    if (packet.fromFrame(reinterpret_cast<const quint8 *>(request.constData()),
                         quint16(request.size()))
        != K310FrameLength)
        return {};
    packet.receiver = 0;
    packet.sender = request.at(0) & 0x7F;
    packet.state = DoserWorkingState;
    QByteArray frame(K310FrameLength, '\0');
    packet.toFrame(reinterpret_cast<quint8 *>(frame.data()));
    return frame;
}

K310DataPacket requestPacket(quint8 address, quint8 command, quint8 subCommand, double value,
                             quint8 decimals)
{
    K310DataPacket packet;
    packet.receiver = address;
    packet.command = command;
    packet.subCommand = subCommand;
    packet.setValue(value, decimals);
    return packet;
}
