#ifndef CLIENTFILTER_H
#define CLIENTFILTER_H

#include <QHostAddress>
#include <QList>
#include <QPair>
#include <QStringList>

// Which computers may read the Modbus server: addresses ("10.0.0.5") and networks
// ("10.0.0.0/24") as the operator typed them. No entry: anyone. An entry that is no address
// matches nobody, so a typing slip never opens the server to all.
class ClientFilter
{
public:
    ClientFilter() = default;
    explicit ClientFilter(const QStringList &entries);

    // The entries of one typed line, split at spaces, commas and semicolons.
    static QStringList split(const QString &line);
    static bool isEntry(const QString &entry);

    bool allowsAny() const { return entries.isEmpty(); }
    bool allows(const QHostAddress &client) const;
    // The entries that are no address or network.
    QStringList invalid() const { return unreadable; }

private:
    QStringList entries;
    QList<QPair<QHostAddress, int>> networks;
    QStringList unreadable;
};

#endif // CLIENTFILTER_H
