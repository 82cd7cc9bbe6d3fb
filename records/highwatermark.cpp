#include "highwatermark.h"

#include "database.h"
#include "lotnumbers.h"

#include <QFile>
#include <QSaveFile>
#include <QStringList>
#include <QUrl>

#include <algorithm>

#include <sqlite3.h>

namespace {

constexpr char ButchKey[] = "butch";
constexpr char TaskKey[] = "task";
constexpr char EventKey[] = "event";
constexpr char DoseKey[] = "dose";
constexpr char LevelsKey[] = "levels";
// A lot pattern's key is this and the pattern percent-encoded, so no '=' or line break of the
// pattern reaches the file.
constexpr char LotKeyPrefix[] = "lot.";

qint64 highest(Database &database, const QString &statement)
{
    if (database.execQuery(statement))
        return database.result().value(0, 0).toLongLong();
    // A file from before a table or column holds none of its ids; a locked one cannot say.
    return (database.result().status & 0xFF) == SQLITE_ERROR ? 0 : -1;
}

} // namespace

HighWaterMark::HighWaterMark(const QString &databaseFile)
    : file(fileFor(databaseFile))
{ }

QString HighWaterMark::fileFor(const QString &databaseFile)
{
    if (databaseFile.isEmpty() || databaseFile == QLatin1String(":memory:")
        || databaseFile.startsWith(QLatin1String("file:")))
        return {};
    return databaseFile + QStringLiteral(".mark");
}

HighWaterMark::Ids HighWaterMark::ids() const
{
    return read().ids;
}

bool HighWaterMark::levelsOn() const
{
    return read().levelsOn;
}

HighWaterMark::Content HighWaterMark::read() const
{
    Content content;
    QFile source(file);
    if (file.isEmpty() || !source.open(QIODevice::ReadOnly | QIODevice::Text))
        return content;
    // "key=value" lines; anything else is left alone, so a newer console's keys do no harm.
    const QStringList lines = QString::fromUtf8(source.readAll()).split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        const QString key = line.section(QLatin1Char('='), 0, 0).trimmed();
        const QString value = line.section(QLatin1Char('='), 1).trimmed();
        if (key == QLatin1String(ButchKey))
            content.ids.butch = value.toLongLong();
        else if (key == QLatin1String(TaskKey))
            content.ids.task = value.toLongLong();
        else if (key == QLatin1String(EventKey))
            content.ids.event = value.toLongLong();
        else if (key == QLatin1String(DoseKey))
            content.ids.dose = value.toLongLong();
        else if (key == QLatin1String(LevelsKey))
            content.levelsOn = value == QLatin1String("on");
        else if (key.startsWith(QLatin1String(LotKeyPrefix)))
            content.ids.lots.insert(
                QUrl::fromPercentEncoding(key.mid(int(qstrlen(LotKeyPrefix))).toLatin1()),
                value.toLongLong());
    }
    return content;
}

bool HighWaterMark::write(const Content &content) const
{
    if (file.isEmpty())
        return true;
    // Never half a mark: the new one takes the name only when it is whole on the disk.
    QSaveFile target(file);
    if (!target.open(QIODevice::WriteOnly | QIODevice::Text))
        return false;
    QString text =
        QStringLiteral("%1=%2\n%3=%4\n%5=%6\n%7=%8\n%9=%10\n")
            .arg(QLatin1String(ButchKey))
            .arg(content.ids.butch)
            .arg(QLatin1String(TaskKey))
            .arg(content.ids.task)
            .arg(QLatin1String(EventKey))
            .arg(content.ids.event)
            .arg(QLatin1String(DoseKey))
            .arg(content.ids.dose)
            .arg(QLatin1String(LevelsKey), QLatin1String(content.levelsOn ? "on" : "off"));
    for (auto lot = content.ids.lots.cbegin(); lot != content.ids.lots.cend(); ++lot)
        // Not through arg(): the encoded pattern holds '%' and digits of its own.
        text += QLatin1String(LotKeyPrefix)
                + QString::fromLatin1(QUrl::toPercentEncoding(lot.key())) + QLatin1Char('=')
                + QString::number(lot.value()) + QLatin1Char('\n');
    target.write(text.toUtf8());
    return target.commit();
}

bool HighWaterMark::raise(const Ids &ids)
{
    Content content = read();
    const Ids before = content.ids;
    content.ids.butch = std::max(content.ids.butch, ids.butch);
    content.ids.task = std::max(content.ids.task, ids.task);
    content.ids.event = std::max(content.ids.event, ids.event);
    content.ids.dose = std::max(content.ids.dose, ids.dose);
    for (auto lot = ids.lots.cbegin(); lot != ids.lots.cend(); ++lot)
        content.ids.lots[lot.key()] = std::max(content.ids.lots.value(lot.key()), lot.value());
    if (!before.isBehind(content.ids) && before.dose == content.ids.dose
        && before.lots == content.ids.lots && QFile::exists(file))
        return true;
    return write(content);
}

bool HighWaterMark::setLevelsOn(bool on)
{
    Content content = read();
    if (content.levelsOn == on && QFile::exists(file))
        return true;
    content.levelsOn = on;
    return write(content);
}

HighWaterMark::Ids HighWaterMark::inFile(Database &database)
{
    Ids ids;
    ids.butch = std::max(highest(database, QStringLiteral("SELECT max(idButch) FROM butch")),
                         highest(database, QStringLiteral("SELECT max(idButch) FROM lastButchId")));
    ids.task = std::max(highest(database, QStringLiteral("SELECT max(idTask) FROM task")),
                        highest(database, QStringLiteral("SELECT max(idTask) FROM lastTaskId")));
    ids.event = highest(database, QStringLiteral("SELECT max(idEvent) FROM event"));
    ids.dose = highest(database, QStringLiteral("SELECT max(idDose) FROM dose"));
    ids.lots = LotNumbers::counters(database);
    return ids;
}
