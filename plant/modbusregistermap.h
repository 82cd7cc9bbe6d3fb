#ifndef MODBUSREGISTERMAP_H
#define MODBUSREGISTERMAP_H

#include "processimage.h"

#include <QList>

// The dosers as Modbus input registers, one block per doser position. A 32-bit value takes two
// registers, the high word first; weights are integers in the doser's decimals.
class ModbusRegisterMap
{
public:
    enum Register {
        DeviceId = 0,
        StateCode = 1,
        AlarmCode = 2,
        Decimals = 3,
        NetWeight = 4,
        DoseCount = 6,
        ShiftWeight = 8,
        TotalDoseCount = 10,
        TotalWeight = 12,
        BatchId = 14,
        Target = 16,
        Delivered = 18,
        BatchStateCode = 20,
        DoseNumber = 21,
        PhaseCode = 22,
        UnitCode = 23,
        BlockSize = 24,
    };
    // The unit's code where the doser has not told it.
    static constexpr quint16 NoUnit = 0xFFFF;

    static int blockStart(int position) { return position * BlockSize; }
    static QList<quint16> block(const DoserImage &doser);
    // A weight as an integer in that many decimals.
    static qint32 scaled(const Weight &weight, quint8 decimals);
};

#endif // MODBUSREGISTERMAP_H
