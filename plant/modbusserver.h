#ifndef MODBUSSERVER_H
#define MODBUSSERVER_H

#include "clientfilter.h"
#include "schedulerunner.h"

#include <QModbusTcpServer>
#include <QTcpServer>

class ModbusConnection;
struct DoserImage;

// The dosers' input registers for the plant's SCADA over Modbus TCP. Read only: every write
// is answered with the exception "illegal function"; a read outside the map with "illegal
// data address". Qt's server answers the requests, but the sockets are this class's own: it
// listens on one address, takes only the allowed clients, at most MaxConnections of them, closes
// idle ones and ends a connection at its first malformed frame. Each refusal is told through
// `refused`.
class ModbusServer : public QModbusTcpServer
{
    Q_OBJECT

public:
    // The unit id the SCADA addresses; requests for another are not answered.
    static constexpr int UnitId = 1;
    // One more client closes the one that has waited longest since its last request.
    static constexpr int MaxConnections = 16;
    static constexpr int IdleCloseMs = 60000;
    // Time for the rest of a frame split across TCP segments.
    static constexpr int FrameCompleteMs = 2000;

    enum class Refusal {
        // A write, or a read the map does not hold.
        Request,
        NotAllowed,
        BadFrame,
        ConnectionLimit,
    };
    Q_ENUM(Refusal)

    explicit ModbusServer(int doserCount, QObject *parent = nullptr);
    ~ModbusServer() override;

    // False with errorString() when it cannot.
    bool listen(const QHostAddress &address, int port);
    // Taken by the connections accepted after.
    void setAllowedClients(const ClientFilter &clients) { allowed = clients; }
    void setIdleCloseMs(int ms) { idleMs = ms; }
    void setFrameCompleteMs(int ms) { frameMs = ms; }
    quint16 serverPort() const { return listener.serverPort(); }
    int connectionCount() const { return int(connections.size()); }
    void show(int position, const DoserImage &doser);
    void showQueue(const ScheduleRunner::Progress &progress);

signals:
    void refused(ModbusServer::Refusal kind, const QString &text);

protected:
    bool open() override;
    void close() override;
    QModbusResponse processRequest(const QModbusPdu &request) override;

private:
    struct Client
    {
        ModbusConnection *connection;
        // Order of the last request (of the connection when none yet): the least is idlest.
        quint64 lastRequest;
    };

    void accept();
    void take(QTcpSocket *socket);
    void closeIdlest();
    void forget(ModbusConnection *connection);

    const int dosers;
    QTcpServer listener;
    ClientFilter allowed;
    QList<Client> connections;
    quint64 requests = 0;
    int idleMs = IdleCloseMs;
    int frameMs = FrameCompleteMs;
};

#endif // MODBUSSERVER_H
