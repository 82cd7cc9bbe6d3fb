#include "modbusserver.h"

#include "modbusregistermap.h"

#include <QHostAddress>

namespace {

bool writes(QModbusPdu::FunctionCode code)
{
    switch (code) {
    case QModbusPdu::WriteSingleCoil:
    case QModbusPdu::WriteSingleRegister:
    case QModbusPdu::WriteMultipleCoils:
    case QModbusPdu::WriteMultipleRegisters:
    case QModbusPdu::WriteFileRecord:
    case QModbusPdu::MaskWriteRegister:
    case QModbusPdu::ReadWriteMultipleRegisters:
        return true;
    default:
        return false;
    }
}

// Start address and count of a read request, for the operator's line.
QString requestText(const QModbusPdu &request)
{
    const QByteArray data = request.data();
    if (data.size() < 4)
        return QStringLiteral("функция %1").arg(int(request.functionCode()));
    const int start = (quint8(data.at(0)) << 8) | quint8(data.at(1));
    const int count = (quint8(data.at(2)) << 8) | quint8(data.at(3));
    return QStringLiteral("функция %1, регистры %2–%3")
        .arg(int(request.functionCode()))
        .arg(start)
        .arg(start + count - 1);
}

} // namespace

ModbusServer::ModbusServer(int doserCount, QObject *parent)
    : QModbusTcpServer(parent)
{
    QModbusDataUnitMap map;
    map.insert(QModbusDataUnit::InputRegisters,
               QModbusDataUnit(QModbusDataUnit::InputRegisters, 0,
                               doserCount * ModbusRegisterMap::BlockSize));
    setMap(map);
    setServerAddress(UnitId);
}

bool ModbusServer::listen(int port)
{
    setConnectionParameter(QModbusDevice::NetworkAddressParameter,
                           QHostAddress(QHostAddress::AnyIPv4).toString());
    setConnectionParameter(QModbusDevice::NetworkPortParameter, port);
    return connectDevice();
}

void ModbusServer::show(int position, const DoserImage &doser)
{
    const QList<quint16> registers = ModbusRegisterMap::block(doser);
    setData(QModbusDataUnit(QModbusDataUnit::InputRegisters,
                            ModbusRegisterMap::blockStart(position), registers));
}

QModbusResponse ModbusServer::processRequest(const QModbusPdu &request)
{
    if (writes(request.functionCode())) {
        emit refused(
            QStringLiteral("Modbus: запись не принимается (%1)").arg(requestText(request)));
        return QModbusExceptionResponse(request.functionCode(),
                                        QModbusExceptionResponse::IllegalFunction);
    }
    const QModbusResponse response = QModbusTcpServer::processRequest(request);
    if (response.isException())
        emit refused(QStringLiteral("Modbus: запрос отклонён, %1 (исключение %2)")
                         .arg(requestText(request))
                         .arg(int(response.exceptionCode())));
    return response;
}
