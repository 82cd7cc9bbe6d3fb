#include "modbusconnection.h"

#include "plantlog.h"

#include <QDataStream>
#include <QLoggingCategory>
#include <QTcpSocket>

namespace {

// Enough for the longest frame and a few behind it; the rest stays with TCP.
constexpr qint64 ReadBufferBytes = 4096;

quint16 word(const QByteArray &bytes, int at)
{
    return quint16((quint8(bytes.at(at)) << 8) | quint8(bytes.at(at + 1)));
}

} // namespace

ModbusConnection::ModbusConnection(QTcpSocket *client, Answer answerRequest, int idleMs,
                                   int frameMs, QObject *parent)
    : QObject(parent)
    , socket(client)
    , answer(std::move(answerRequest))
    , peer(client->peerAddress().toString())
{
    socket->setParent(this);
    socket->setReadBufferSize(ReadBufferBytes);
    idleTimer.setSingleShot(true);
    idleTimer.setInterval(idleMs);
    frameTimer.setSingleShot(true);
    frameTimer.setInterval(frameMs);
    connect(&idleTimer, &QTimer::timeout, this, [this] {
        qCDebug(lcPlant) << "idle, closed" << peer;
        close();
    });
    connect(&frameTimer, &QTimer::timeout, this, [this] {
        refuse(QStringLiteral("кадр не пришёл целиком за %1 мс").arg(frameTimer.interval()));
    });
    connect(socket, &QTcpSocket::readyRead, this, &ModbusConnection::readFrames);
    connect(socket, &QTcpSocket::bytesWritten, this, &ModbusConnection::readFrames);
    connect(socket, &QTcpSocket::disconnected, this, &ModbusConnection::finish);
    idleTimer.start();
    if (socket->state() != QAbstractSocket::ConnectedState)
        QTimer::singleShot(0, this, &ModbusConnection::finish);
}

// The socket goes with this object; its last signals must not reach a half-destroyed one.
ModbusConnection::~ModbusConnection()
{
    socket->disconnect(this);
}

void ModbusConnection::close()
{
    socket->abort();
    finish();
}

void ModbusConnection::readFrames()
{
    while (!finished && socket->bytesToWrite() <= MaxUnsentBytes && readFrame()) { }
    if (finished)
        return;
    // A frame split across segments has its rest on the way; a length that promised more
    // than the client sends does not. Frames held back for unread answers are whole.
    if (socket->bytesAvailable() == 0 || socket->bytesToWrite() > MaxUnsentBytes)
        frameTimer.stop();
    else if (!frameTimer.isActive())
        frameTimer.start();
}

bool ModbusConnection::readFrame()
{
    if (socket->bytesAvailable() < HeaderSize)
        return false;
    const QByteArray header = socket->peek(HeaderSize);
    const quint16 transactionId = word(header, 0);
    const quint16 protocolId = word(header, 2);
    const int length = word(header, 4);
    const int unitId = quint8(header.at(6));
    if (protocolId != 0) {
        refuse(QStringLiteral("идентификатор протокола %1").arg(protocolId));
        return false;
    }
    if (length < MinLength || length > MaxLength) {
        refuse(QStringLiteral("длина %1").arg(length));
        return false;
    }
    if (socket->bytesAvailable() < HeaderSize - 1 + length)
        return false;
    const QByteArray frame = socket->read(HeaderSize - 1 + length);
    frameTimer.stop();
    const QModbusRequest request(QModbusPdu::FunctionCode(quint8(frame.at(HeaderSize))),
                                 frame.mid(HeaderSize + 1));
    const int expected = QModbusRequest::calculateDataSize(request);
    const int minimum = QModbusRequest::minimumDataSize(request);
    if ((expected >= 0 && expected != request.dataSize())
        || (minimum >= 0 && request.dataSize() < minimum)) {
        refuse(QStringLiteral("длина %1 не сходится с запросом функции %2")
                   .arg(length)
                   .arg(int(request.functionCode())));
        return false;
    }
    idleTimer.start();
    emit requested();
    const std::optional<QModbusResponse> response = answer(unitId, request);
    if (!response)
        return true;
    QByteArray reply;
    QDataStream out(&reply, QIODevice::WriteOnly);
    out << transactionId << protocolId << quint16(response->size() + 1) << quint8(unitId)
        << *response;
    socket->write(reply);
    return true;
}

void ModbusConnection::refuse(const QString &why)
{
    qCDebug(lcPlant) << "refused" << peer << why;
    emit badFrame(why);
    close();
}

void ModbusConnection::finish()
{
    if (finished)
        return;
    finished = true;
    idleTimer.stop();
    frameTimer.stop();
    emit closed();
}

#include "moc_modbusconnection.cpp"
