#include "errorrule.h"

#include <QStringList>

namespace {

constexpr int LargestErrorCode = 255;
constexpr double MsPerSecond = 1000.0;
constexpr QLatin1String AddressKey("addr=");

} // namespace

bool ErrorRule::parse(const QString &text, ErrorRule *rule, QString *error)
{
    const QString usage =
        QStringLiteral(
            "error \"%1\": expected CODE:fill=N, CODE:discharge=N, CODE:t=SECONDS, CODE:p=P "
            "or CODE:always, each optionally followed by ,addr=N")
            .arg(text);
    const int colon = text.indexOf(QLatin1Char(':'));
    if (colon < 0) {
        *error = usage;
        return false;
    }
    bool ok = false;
    ErrorRule parsed;
    QString when;
    for (const QString &part : text.mid(colon + 1).split(QLatin1Char(','))) {
        if (part.startsWith(AddressKey)) {
            parsed.address = part.mid(AddressKey.size()).toInt(&ok);
            if (!ok || parsed.address < 0 || parsed.address > DoserParameters::LargestAddress) {
                *error = QStringLiteral("error \"%1\": the address must be 0 to %2")
                             .arg(text)
                             .arg(DoserParameters::LargestAddress);
                return false;
            }
        } else if (when.isEmpty()) {
            when = part;
        } else {
            *error = usage;
            return false;
        }
    }
    parsed.code = text.left(colon).toInt(&ok);
    if (!ok || parsed.code < 1 || parsed.code > LargestErrorCode) {
        *error = QStringLiteral("error \"%1\": the code must be 1 to %2")
                     .arg(text)
                     .arg(LargestErrorCode);
        return false;
    }
    if (when == QLatin1String("always")) {
        parsed.trigger = Trigger::Always;
        *rule = parsed;
        return true;
    }
    const int equals = when.indexOf(QLatin1Char('='));
    const QString key = when.left(equals);
    const QString value = when.mid(equals + 1);
    if (equals < 0) {
        *error = usage;
        return false;
    }
    if (key == QLatin1String("fill") || key == QLatin1String("discharge")) {
        parsed.trigger =
            key == QLatin1String("fill") ? Trigger::FillNumber : Trigger::DischargeNumber;
        parsed.number = value.toLongLong(&ok);
        ok = ok && parsed.number >= 1;
    } else if (key == QLatin1String("t")) {
        parsed.trigger = Trigger::Time;
        const double seconds = value.toDouble(&ok);
        ok = ok && seconds >= 0;
        parsed.number = qint64(seconds * MsPerSecond + 0.5);
    } else if (key == QLatin1String("p")) {
        parsed.trigger = Trigger::Probability;
        parsed.probability = value.toDouble(&ok);
        ok = ok && parsed.probability >= 0 && parsed.probability <= 1;
    } else {
        *error = usage;
        return false;
    }
    if (!ok) {
        *error = QStringLiteral("error \"%1\": bad value \"%2\"").arg(text, value);
        return false;
    }
    *rule = parsed;
    return true;
}
