#ifndef DOSERREPLY_H
#define DOSERREPLY_H

#include "k310datapacket.h"

#include <QByteArray>

// State flags of the answers the scripted doser gives: working, no alarm.
constexpr quint8 DoserWorkingState = 0x02;

// The frame a working doser answers a request frame with: addressed to the master, the
// request's command, subcommand and value echoed. Empty for a frame that is not a request.
QByteArray doserReply(const QByteArray &request);

// A request to the given doser with the value field holding value (0 decimals unless given).
K310DataPacket requestPacket(quint8 address, quint8 command, quint8 subCommand, double value,
                             quint8 decimals = 0);

#endif // DOSERREPLY_H
