#include "modbusregistermap.h"

#include "lotnumbers.h"
#include "windows1251.h"

#include <cmath>

namespace {

void put32(QList<quint16> &registers, int at, quint32 value)
{
    registers[at] = quint16(value >> 16);
    registers[at + 1] = quint16(value & 0xFFFF);
}

quint16 unitCode(const QString &unit)
{
    const QStringList units {QStringLiteral("г"), QStringLiteral("кг"), QStringLiteral("т")};
    const int code = int(units.indexOf(unit));
    return code < 0 ? ModbusRegisterMap::NoUnit : quint16(code);
}

} // namespace

qint32 ModbusRegisterMap::scaled(const Weight &weight, quint8 decimals)
{
    return qint32(std::llround(weight.value * std::pow(10.0, decimals)));
}

QList<quint16> ModbusRegisterMap::block(const DoserImage &doser)
{
    QList<quint16> registers(BlockSize, 0);
    const BatchProgress &batch = doser.batch;
    registers[DeviceId] = quint16(doser.deviceId);
    registers[StateCode] = quint16(doser.state);
    registers[AlarmCode] = quint16(doser.alarmCode);
    registers[Decimals] = doser.decimals;
    put32(registers, NetWeight, quint32(scaled(doser.netWeight, doser.decimals)));
    put32(registers, DoseCount, quint32(scaled(doser.doseCount, 0)));
    put32(registers, ShiftWeight, quint32(scaled(doser.shiftWeight, doser.decimals)));
    put32(registers, TotalDoseCount, doser.totalDoseCount);
    put32(registers, TotalWeight, quint32(scaled(doser.totalWeight, doser.decimals)));
    put32(registers, BatchId, quint32(batch.butchId));
    put32(registers, Target, quint32(scaled(batch.target, doser.decimals)));
    put32(registers, Delivered, quint32(scaled(batch.delivered, doser.decimals)));
    registers[BatchStateCode] = quint16(batch.state);
    registers[DoseNumber] = quint16(batch.doseNumber);
    registers[PhaseCode] = quint16(batch.phase);
    registers[UnitCode] = unitCode(doser.unit);
    return registers;
}

QList<quint16> ModbusRegisterMap::lotBlock(const DoserImage &doser)
{
    static_assert(2 * LotSize == LotNumbers::MaxLength);
    QList<quint16> registers(LotSize, 0);
    // A SCADA reads one byte a character; a character the code page lacks is its substitute.
    const QByteArray text = Windows1251::encode(doser.batch.lot).left(2 * LotSize);
    for (int at = 0; at < text.size(); ++at) {
        const quint16 byte = quint8(text.at(at));
        registers[at / 2] |= at % 2 == 0 ? quint16(byte << 8) : byte;
    }
    return registers;
}

QList<quint16> ModbusRegisterMap::queueBlock(const ScheduleRunner::Progress &progress)
{
    QList<quint16> registers(QueueSize, 0);
    registers[QueueRunning] = progress.running ? 1 : 0;
    registers[QueueEntry] = quint16(progress.entry);
    registers[QueueEntries] = quint16(progress.entries);
    registers[QueueBatchesDone] = quint16(progress.batchesDone);
    registers[QueueBatches] = quint16(progress.batches);
    return registers;
}
