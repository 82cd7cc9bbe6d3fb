#include "faultrule.h"

#include <QStringList>

namespace {

struct KindInfo
{
    FaultRule::Kind kind;
    const char *name;
    int ms;
};

// Defaults: a delay the master still waits for, a lateness it does not, a pause inside a
// reply it should bridge, and a silence long enough to count as a lost doser.
constexpr KindInfo Kinds[] = {
    {FaultRule::Kind::Drop, "drop", 0},        {FaultRule::Kind::Corrupt, "corrupt", 0},
    {FaultRule::Kind::Split, "split", 30},     {FaultRule::Kind::Delay, "delay", 40},
    {FaultRule::Kind::Late, "late", 400},      {FaultRule::Kind::Garbage, "garbage", 0},
    {FaultRule::Kind::Silent, "silent", 3000},
};
constexpr int DefaultGarbageBytes = 4;
constexpr int LargestMs = 600000;
constexpr int LargestGarbage = 4096;

} // namespace

QString FaultRule::kindName(Kind kind)
{
    for (const KindInfo &info : Kinds) {
        if (info.kind == kind)
            return QString::fromLatin1(info.name);
    }
    return {};
}

bool FaultRule::parse(const QString &text, FaultRule *rule, QString *error)
{
    const int colon = text.indexOf(QLatin1Char(':'));
    const QString name = text.left(colon);
    FaultRule parsed;
    bool known = false;
    for (const KindInfo &info : Kinds) {
        if (name == QLatin1String(info.name)) {
            parsed.kind = info.kind;
            parsed.ms = info.ms;
            known = true;
        }
    }
    if (!known) {
        *error = QStringLiteral("fault \"%1\": the kind must be drop, corrupt, split, delay, "
                                "late, garbage or silent")
                     .arg(text);
        return false;
    }
    if (parsed.kind == Kind::Garbage)
        parsed.bytes = DefaultGarbageBytes;
    const QStringList options =
        colon < 0 ? QStringList() : text.mid(colon + 1).split(QLatin1Char(','));
    for (const QString &option : options) {
        const int equals = option.indexOf(QLatin1Char('='));
        const QString key = option.left(equals);
        const QString value = option.mid(equals + 1);
        bool ok = equals > 0;
        if (option == QLatin1String("reads")) {
            parsed.readsOnly = true;
            ok = true;
        } else if (key == QLatin1String("p")) {
            parsed.probability = value.toDouble(&ok);
            ok = ok && parsed.probability >= 0 && parsed.probability <= 1;
        } else if (key == QLatin1String("at")) {
            const int number = value.toInt(&ok);
            ok = ok && number >= 1;
            parsed.replies.append(number);
        } else if (key == QLatin1String("every")) {
            parsed.every = value.toInt(&ok);
            ok = ok && parsed.every >= 1;
        } else if (key == QLatin1String("ms")) {
            parsed.ms = value.toInt(&ok);
            ok = ok && parsed.ms >= 0 && parsed.ms <= LargestMs;
        } else if (key == QLatin1String("addr")) {
            parsed.address = value.toInt(&ok);
            ok = ok && parsed.address >= 0 && parsed.address <= DoserParameters::LargestAddress;
        } else if (key == QLatin1String("bytes")) {
            parsed.bytes = value.toInt(&ok);
            ok = ok && parsed.bytes >= 1 && parsed.bytes <= LargestGarbage;
        } else {
            ok = false;
        }
        if (!ok) {
            *error = QStringLiteral("fault \"%1\": bad option \"%2\" (p=P, at=N, every=N, "
                                    "ms=N, bytes=N, reads, addr=N)")
                         .arg(text, option);
            return false;
        }
    }
    if (parsed.probability <= 0 && parsed.replies.isEmpty() && parsed.every == 0) {
        *error =
            QStringLiteral("fault \"%1\": say when it strikes with p=, at= or every=").arg(text);
        return false;
    }
    *rule = parsed;
    return true;
}

bool FaultRule::strikes(int replyNumber, double draw) const
{
    return draw < probability || replies.contains(replyNumber)
           || (every > 0 && replyNumber % every == 0);
}
