#include "accesslevel.h"

QString accessLevelCaption(AccessLevel level)
{
    switch (level) {
    case AccessLevel::Operator:
        return QStringLiteral("Оператор");
    case AccessLevel::Technologist:
        return QStringLiteral("Технолог");
    case AccessLevel::Engineer:
        return QStringLiteral("Наладчик");
    }
    return QString();
}

bool accessLevelFromNumber(int number, AccessLevel &level)
{
    if (number < int(AccessLevel::Operator) || number > int(AccessLevel::Engineer))
        return false;
    level = AccessLevel(number);
    return true;
}
