#ifndef MODBUSCONNECTION_H
#define MODBUSCONNECTION_H

#include <QModbusPdu>
#include <QObject>
#include <QTimer>

#include <functional>
#include <optional>

class QTcpSocket;

// One Modbus TCP client: its frames read from the socket, checked and answered in order. A
// frame with another protocol id, a length outside 2..254, or a length that disagrees with its
// request (or that does not arrive whole in time) ends the connection; so does idleness.
class ModbusConnection : public QObject
{
    Q_OBJECT

public:
    static constexpr int HeaderSize = 7;
    // The length field counts the unit id and the PDU: a function code at least, 253 at most.
    static constexpr int MinLength = 2;
    static constexpr int MaxLength = 254;
    // Answers a client leaves unread up to this much; its further requests wait in TCP.
    static constexpr qint64 MaxUnsentBytes = 16 * 1024;

    // The answer to a request for a unit; none for a unit not served.
    using Answer =
        std::function<std::optional<QModbusResponse>(int unitId, const QModbusRequest &)>;

    // Takes the socket over. Idle for idleMs, or a frame begun and not complete in frameMs,
    // and the connection is closed.
    ModbusConnection(QTcpSocket *socket, Answer answer, int idleMs, int frameMs,
                     QObject *parent = nullptr);
    ~ModbusConnection() override;

    QString peerText() const { return peer; }
    // Ends the connection at once; closed() follows.
    void close();

signals:
    void requested();
    // A frame was refused; the connection closes right after.
    void badFrame(const QString &why);
    void closed();

private:
    void readFrames();
    bool readFrame();
    void refuse(const QString &why);
    void finish();

    QTcpSocket *const socket;
    const Answer answer;
    const QString peer;
    QTimer idleTimer;
    QTimer frameTimer;
    bool finished = false;
};

#endif // MODBUSCONNECTION_H
