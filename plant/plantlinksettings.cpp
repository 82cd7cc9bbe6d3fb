#include "plantlinksettings.h"

#include <QSettings>

#ifdef Q_OS_WIN
#include <dpapi.h>
#include <windows.h>
#endif

namespace {

const QString Group = QStringLiteral("plantLink");
const QString HostKey = QStringLiteral("host");
const QString PortKey = QStringLiteral("port");
const QString PrefixKey = QStringLiteral("prefix");
const QString ClientIdKey = QStringLiteral("clientId");
const QString UserKey = QStringLiteral("user");
const QString PasswordKey = QStringLiteral("password");
const QString CaFileKey = QStringLiteral("caFile");
const QString ModbusPortKey = QStringLiteral("modbusPort");
const QString ModbusAddressKey = QStringLiteral("modbusAddress");
const QString ModbusClientsKey = QStringLiteral("modbusClients");
const QString AcceptsOrdersKey = QStringLiteral("acceptsOrders");

#ifdef Q_OS_WIN
// DPAPI: only the same Windows account on the same computer can read it back.
QByteArray seal(const QString &password)
{
    QByteArray plain = password.toUtf8();
    DATA_BLOB in {DWORD(plain.size()), reinterpret_cast<BYTE *>(plain.data())};
    DATA_BLOB out {};
    if (!CryptProtectData(&in, nullptr, nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &out))
        return QByteArray();
    const QByteArray sealed(reinterpret_cast<const char *>(out.pbData), int(out.cbData));
    LocalFree(out.pbData);
    return sealed;
}

QString unseal(const QByteArray &sealed)
{
    QByteArray copy = sealed;
    DATA_BLOB in {DWORD(copy.size()), reinterpret_cast<BYTE *>(copy.data())};
    DATA_BLOB out {};
    if (!CryptUnprotectData(&in, nullptr, nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN,
                            &out))
        return QString();
    const QString plain =
        QString::fromUtf8(reinterpret_cast<const char *>(out.pbData), int(out.cbData));
    LocalFree(out.pbData);
    return plain;
}
#else
// No secret store a kiosk session can count on: the settings file, readable by its account only.
QByteArray seal(const QString &password)
{
    return password.toUtf8();
}

QString unseal(const QByteArray &sealed)
{
    return QString::fromUtf8(sealed);
}
#endif

} // namespace

bool PlantLinkSettings::operator==(const PlantLinkSettings &other) const
{
    return host == other.host && port == other.port && prefix == other.prefix
           && clientId == other.clientId && user == other.user && password == other.password
           && caFile == other.caFile && modbusPort == other.modbusPort
           && modbusAddress == other.modbusAddress && modbusClients == other.modbusClients
           && acceptsOrders == other.acceptsOrders;
}

PlantLinkSettings PlantLinkSettings::load(QSettings &store)
{
    PlantLinkSettings settings;
    store.beginGroup(Group);
    settings.host = store.value(HostKey).toString().trimmed();
    settings.port = store.value(PortKey, DefaultMqttPort).toInt();
    settings.prefix = store.value(PrefixKey, settings.prefix).toString();
    settings.clientId = store.value(ClientIdKey).toString();
    settings.user = store.value(UserKey).toString();
    settings.password = unseal(QByteArray::fromBase64(store.value(PasswordKey).toByteArray()));
    settings.caFile = store.value(CaFileKey).toString();
    settings.modbusPort = store.value(ModbusPortKey, 0).toInt();
    // A server set up before the address could be chosen listened everywhere: the SCADA that
    // reads it from another computer keeps reading until someone narrows it.
    const bool servedEverywhere = settings.servesModbus() && !store.contains(ModbusAddressKey);
    const QString address = store.value(ModbusAddressKey).toString().trimmed();
    settings.modbusAddress = servedEverywhere    ? QString::fromLatin1(EveryModbusAddress)
                             : address.isEmpty() ? QString::fromLatin1(LocalModbusAddress)
                                                 : address;
    settings.modbusClients = store.value(ModbusClientsKey).toStringList();
    settings.acceptsOrders = store.value(AcceptsOrdersKey, false).toBool();
    store.endGroup();
    return settings;
}

void PlantLinkSettings::save(QSettings &store) const
{
    store.beginGroup(Group);
    store.setValue(HostKey, host);
    store.setValue(PortKey, port);
    store.setValue(PrefixKey, prefix);
    store.setValue(ClientIdKey, clientId);
    store.setValue(UserKey, user);
    store.setValue(PasswordKey, QString::fromLatin1(seal(password).toBase64()));
    store.setValue(CaFileKey, caFile);
    store.setValue(ModbusPortKey, modbusPort);
    store.setValue(ModbusAddressKey, modbusAddress);
    store.setValue(ModbusClientsKey, modbusClients);
    store.setValue(AcceptsOrdersKey, acceptsOrders);
    store.endGroup();
    store.sync();
}

bool PlantLinkSettings::sealsPassword()
{
#ifdef Q_OS_WIN
    return true;
#else
    return false;
#endif
}
