#ifndef MODBUSSERVER_H
#define MODBUSSERVER_H

#include <QModbusTcpServer>

struct DoserImage;

// The dosers' input registers for the plant's SCADA over Modbus TCP. Read only: every write
// is answered with the exception "illegal function"; a read outside the map with "illegal
// data address". Each refused request is told through `refused`.
class ModbusServer : public QModbusTcpServer
{
    Q_OBJECT

public:
    // The unit id the SCADA addresses; requests for another are not answered.
    static constexpr int UnitId = 1;

    explicit ModbusServer(int doserCount, QObject *parent = nullptr);

    // Listens on every address of the computer; false with errorString() when it cannot.
    bool listen(int port);
    void show(int position, const DoserImage &doser);

signals:
    void refused(const QString &text);

protected:
    QModbusResponse processRequest(const QModbusPdu &request) override;
};

#endif // MODBUSSERVER_H
