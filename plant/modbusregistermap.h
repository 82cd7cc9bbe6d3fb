#ifndef MODBUSREGISTERMAP_H
#define MODBUSREGISTERMAP_H

#include "processimage.h"
#include "schedulerunner.h"

#include <QList>

// The dosers as Modbus input registers, one block per doser position. A 32-bit value takes two
// registers, the high word first; weights are integers in the doser's decimals. After the last
// doser's block come the lots, LotSize registers per position: the batch's lot as Windows-1251
// text, two characters a register (the first in the high byte), zeros after its end, all zeros
// without a lot. Last comes the production schedule's progress, QueueSize registers.
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
    // The schedule: whether it runs, the entry in work (from 1; 0 none) of how many, and the
    // batches of that entry done of its count.
    enum QueueRegister {
        QueueRunning = 0,
        QueueEntry = 1,
        QueueEntries = 2,
        QueueBatchesDone = 3,
        QueueBatches = 4,
        QueueSize = 5,
    };
    // The unit's code where the doser has not told it.
    static constexpr quint16 NoUnit = 0xFFFF;

    // A lot's longest is twice this (LotNumbers::MaxLength).
    static constexpr int LotSize = 16;

    static int blockStart(int position) { return position * BlockSize; }
    static int lotStart(int doserCount, int position)
    {
        return doserCount * BlockSize + position * LotSize;
    }
    static int queueStart(int doserCount) { return doserCount * (BlockSize + LotSize); }
    static int mapSize(int doserCount) { return queueStart(doserCount) + QueueSize; }
    static QList<quint16> block(const DoserImage &doser);
    static QList<quint16> lotBlock(const DoserImage &doser);
    static QList<quint16> queueBlock(const ScheduleRunner::Progress &progress);
    // A weight as an integer in that many decimals.
    static qint32 scaled(const Weight &weight, quint8 decimals);
};

#endif // MODBUSREGISTERMAP_H
