#include "clientfilter.h"

#include <QRegularExpression>

namespace {

// A plain address is a network of its own full length.
QPair<QHostAddress, int> network(const QString &entry)
{
    if (entry.contains(QLatin1Char('/')))
        return QHostAddress::parseSubnet(entry);
    const QHostAddress address(entry);
    if (address.isNull())
        return {QHostAddress(), -1};
    return {address, address.protocol() == QAbstractSocket::IPv6Protocol ? 128 : 32};
}

} // namespace

ClientFilter::ClientFilter(const QStringList &typed)
{
    for (const QString &entry : typed) {
        const QString trimmed = entry.trimmed();
        if (trimmed.isEmpty())
            continue;
        entries << trimmed;
        const QPair<QHostAddress, int> parsed = network(trimmed);
        if (parsed.first.isNull() || parsed.second < 0)
            unreadable << trimmed;
        else
            networks << parsed;
    }
}

QStringList ClientFilter::split(const QString &line)
{
    static const QRegularExpression separators(QStringLiteral("[\\s,;]+"));
    return line.split(separators, Qt::SkipEmptyParts);
}

bool ClientFilter::isEntry(const QString &entry)
{
    const QPair<QHostAddress, int> parsed = network(entry.trimmed());
    return !parsed.first.isNull() && parsed.second >= 0;
}

bool ClientFilter::allows(const QHostAddress &client) const
{
    if (allowsAny())
        return true;
    // A server listening on both families sees an IPv4 client as ::ffff:a.b.c.d.
    bool isV4 = false;
    const quint32 v4 = client.toIPv4Address(&isV4);
    const QHostAddress plain = isV4 ? QHostAddress(v4) : client;
    for (const QPair<QHostAddress, int> &net : networks) {
        if (plain.isInSubnet(net))
            return true;
    }
    return false;
}
