#include "knownseal.h"

#include "database.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

constexpr char KnownSeparator = '\t';

const QString NewestStatement =
    QStringLiteral("SELECT idEvent, date, time, seal FROM event ORDER BY idEvent DESC LIMIT 1;");
const QString RowStatement =
    QStringLiteral("SELECT idEvent, date, time, seal FROM event WHERE idEvent = %1;");

KnownSeal fromQuery(Database &database, const QString &statement, const QVariantList &arguments)
{
    KnownSeal known;
    if (!database.execQuery(statement, arguments) || database.result().rows == 0)
        return known;
    const QueryResult &rows = database.result();
    known.id = rows.value(0, 0).toLongLong();
    known.moment = rows.value(0, 1) + QLatin1Char(' ') + rows.value(0, 2);
    known.seal = rows.value(0, 3);
    return known;
}

} // namespace

QString KnownSeal::text() const
{
    return QStringLiteral("№ %1 (%2) %3").arg(id).arg(moment, seal);
}

QString KnownSeal::fileBeside(const QString &databaseFile)
{
    return QFileInfo(databaseFile).absoluteDir().filePath(QString::fromLatin1(FileName));
}

KnownSeal KnownSeal::read(const QString &databaseFile)
{
    KnownSeal known;
    QFile file(fileBeside(databaseFile));
    if (!file.open(QIODevice::ReadOnly))
        return known;
    const QList<QByteArray> fields = file.readLine().trimmed().split(KnownSeparator);
    if (fields.size() != 3)
        return known;
    known.id = fields.at(0).toLongLong();
    known.moment = QString::fromUtf8(fields.at(1));
    known.seal = QString::fromUtf8(fields.at(2));
    return known;
}

bool KnownSeal::write(const QString &databaseFile) const
{
    QSaveFile file(fileBeside(databaseFile));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray line = QByteArray::number(id) + KnownSeparator + moment.toUtf8()
                            + KnownSeparator + seal.toUtf8() + '\n';
    return file.write(line) == line.size() && file.commit();
}

KnownSeal KnownSeal::newest(Database &database)
{
    return fromQuery(database, NewestStatement, {});
}

KnownSeal KnownSeal::row(Database &database, qint64 id)
{
    return fromQuery(database, RowStatement, {id});
}
