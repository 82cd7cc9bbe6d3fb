#include "modbusserver.h"

#include "modbusconnection.h"
#include "modbusregistermap.h"
#include "plantlog.h"

#include <QLoggingCategory>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>

namespace {

constexpr int AcceptRetryMs = 1000;

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
    , dosers(doserCount)
{
    QModbusDataUnitMap map;
    map.insert(QModbusDataUnit::InputRegisters,
               QModbusDataUnit(QModbusDataUnit::InputRegisters, 0,
                               quint16(ModbusRegisterMap::mapSize(doserCount))));
    setMap(map);
    setServerAddress(UnitId);
    connect(&listener, &QTcpServer::newConnection, this, &ModbusServer::accept);
    // Out of descriptors the listener pauses; it tries again a while later, not in a loop.
    connect(&listener, &QTcpServer::acceptError, this, [this](QAbstractSocket::SocketError error) {
        qCDebug(lcPlant) << "accept failed" << error;
        QTimer::singleShot(AcceptRetryMs, &listener, [this] {
            if (listener.isListening())
                listener.resumeAccepting();
        });
    });
}

ModbusServer::~ModbusServer()
{
    const QList<Client> all = connections;
    connections.clear();
    for (const Client &client : all) {
        client.connection->disconnect(this);
        delete client.connection;
    }
}

bool ModbusServer::listen(const QHostAddress &address, int port)
{
    setConnectionParameter(QModbusDevice::NetworkAddressParameter, address.toString());
    setConnectionParameter(QModbusDevice::NetworkPortParameter, port);
    return connectDevice();
}

bool ModbusServer::open()
{
    const QHostAddress address(connectionParameter(NetworkAddressParameter).toString());
    const int port = connectionParameter(NetworkPortParameter).toInt();
    if (address.isNull() || !listener.listen(address, quint16(port))) {
        setError(address.isNull() ? QStringLiteral("адрес не понят") : listener.errorString(),
                 ConnectionError);
        return false;
    }
    setState(ConnectedState);
    return true;
}

void ModbusServer::close()
{
    listener.close();
    const QList<Client> all = connections;
    for (const Client &client : all)
        client.connection->close();
    setState(UnconnectedState);
}

void ModbusServer::accept()
{
    while (QTcpSocket *socket = listener.nextPendingConnection()) {
        if (allowed.allows(socket->peerAddress())) {
            take(socket);
            continue;
        }
        emit refused(Refusal::NotAllowed,
                     QStringLiteral("Modbus: соединение с %1 отклонено, адреса нет среди "
                                    "разрешённых")
                         .arg(socket->peerAddress().toString()));
        socket->abort();
        socket->deleteLater();
    }
}

void ModbusServer::take(QTcpSocket *socket)
{
    if (connections.size() >= MaxConnections)
        closeIdlest();
    auto answer = [this](int unitId, const QModbusRequest &request) {
        return unitId == serverAddress() ? std::optional<QModbusResponse>(processRequest(request))
                                         : std::nullopt;
    };
    auto *connection = new ModbusConnection(socket, answer, idleMs, frameMs, this);
    connections.append({connection, ++requests});
    qCDebug(lcPlant) << "connected" << connection->peerText() << "now" << connections.size();
    connect(connection, &ModbusConnection::requested, this, [this, connection] {
        for (Client &client : connections) {
            if (client.connection == connection)
                client.lastRequest = ++requests;
        }
    });
    connect(connection, &ModbusConnection::badFrame, this, [this, connection](const QString &why) {
        emit refused(Refusal::BadFrame, QStringLiteral("Modbus: неверный кадр от %1 (%2), "
                                                       "соединение закрыто")
                                            .arg(connection->peerText(), why));
    });
    connect(connection, &ModbusConnection::closed, this,
            [this, connection] { forget(connection); });
}

void ModbusServer::closeIdlest()
{
    const auto idlest = std::min_element(
        connections.cbegin(), connections.cend(),
        [](const Client &a, const Client &b) { return a.lastRequest < b.lastRequest; });
    if (idlest == connections.cend())
        return;
    ModbusConnection *connection = idlest->connection;
    emit refused(Refusal::ConnectionLimit,
                 QStringLiteral("Modbus: больше %1 соединений, закрыто дольше всех ждавшее "
                                "запроса (%2)")
                     .arg(MaxConnections)
                     .arg(connection->peerText()));
    connection->close();
}

void ModbusServer::forget(ModbusConnection *connection)
{
    connections.erase(std::remove_if(connections.begin(), connections.end(),
                                     [connection](const Client &client) {
                                         return client.connection == connection;
                                     }),
                      connections.end());
    connection->deleteLater();
    qCDebug(lcPlant) << "closed, now" << connections.size();
}

void ModbusServer::show(int position, const DoserImage &doser)
{
    const QList<quint16> registers = ModbusRegisterMap::block(doser);
    setData(QModbusDataUnit(QModbusDataUnit::InputRegisters,
                            ModbusRegisterMap::blockStart(position), registers));
    setData(QModbusDataUnit(QModbusDataUnit::InputRegisters,
                            ModbusRegisterMap::lotStart(dosers, position),
                            ModbusRegisterMap::lotBlock(doser)));
}

void ModbusServer::showQueue(const ScheduleRunner::Progress &progress)
{
    setData(QModbusDataUnit(QModbusDataUnit::InputRegisters, ModbusRegisterMap::queueStart(dosers),
                            ModbusRegisterMap::queueBlock(progress)));
}

QModbusResponse ModbusServer::processRequest(const QModbusPdu &request)
{
    if (writes(request.functionCode())) {
        emit refused(
            Refusal::Request,
            QStringLiteral("Modbus: запись не принимается (%1)").arg(requestText(request)));
        return QModbusExceptionResponse(request.functionCode(),
                                        QModbusExceptionResponse::IllegalFunction);
    }
    const QModbusResponse response = QModbusTcpServer::processRequest(request);
    if (response.isException())
        emit refused(Refusal::Request, QStringLiteral("Modbus: запрос отклонён, %1 (исключение %2)")
                                           .arg(requestText(request))
                                           .arg(int(response.exceptionCode())));
    return response;
}

#include "moc_modbusserver.cpp"
