#ifndef PLANTLINKSETTINGS_H
#define PLANTLINKSETTINGS_H

#include <QStringList>

class QSettings;

// Where the console reports to the plant: an MQTT broker and a Modbus TCP port, each off while
// unset. Kept in the console's settings store under "plantLink/".
struct PlantLinkSettings
{
    static constexpr int DefaultMqttPort = 1883;
    static constexpr int DefaultTlsPort = 8883;
    static constexpr const char *LocalModbusAddress = "127.0.0.1";
    // What a settings file from before there was an address listened on.
    static constexpr const char *EveryModbusAddress = "0.0.0.0";

    QString host;
    int port = DefaultMqttPort;
    QString prefix = QStringLiteral("k310");
    // Empty: the library makes one of its own for each connection.
    QString clientId;
    QString user;
    QString password;
    // A CA certificate file turns TLS on.
    QString caFile;
    // 0: no Modbus server.
    int modbusPort = 0;
    // Where the server listens: this computer only unless an address, or 0.0.0.0 for every
    // one, is chosen.
    QString modbusAddress = QString::fromLatin1(LocalModbusAddress);
    // The clients that may read it, addresses or networks; none: any.
    QStringList modbusClients;
    // Orders of the plant for the schedule are taken from the broker; off: none is listened to.
    bool acceptsOrders = false;

    bool publishes() const { return !host.isEmpty(); }
    bool servesModbus() const { return modbusPort > 0; }
    bool operator==(const PlantLinkSettings &other) const;
    bool operator!=(const PlantLinkSettings &other) const { return !(*this == other); }

    static PlantLinkSettings load(QSettings &store);
    void save(QSettings &store) const;
    // How the password is kept in the store here: sealed for the user's account, or as typed.
    static bool sealsPassword();
};

#endif // PLANTLINKSETTINGS_H
