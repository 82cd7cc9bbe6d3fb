#include "doserstate.h"

namespace {

struct StateName
{
    DoserState state;
    const char *text;
};

const StateName StateNames[] = {
    {DoserState::Working, "РАБОТА"},
    {DoserState::Stopped, "ОСТАНОВ"},
    {DoserState::Alarm, "АВАРИЯ"},
    {DoserState::NoConnection, "НЕТ СВЯЗИ"},
};

} // namespace

QString doserStateText(DoserState state)
{
    for (const StateName &name : StateNames) {
        if (name.state == state)
            return QString::fromUtf8(name.text);
    }
    return QString();
}

bool doserStateFromText(const QString &text, DoserState &state)
{
    for (const StateName &name : StateNames) {
        if (text == QString::fromUtf8(name.text)) {
            state = name.state;
            return true;
        }
    }
    return false;
}

Weight Weight::fromText(const QString &text)
{
    const int point = text.indexOf(QLatin1Char('.'));
    const int decimals = point < 0 ? 0 : text.size() - point - 1;
    return Weight {text.toDouble(), quint8(qBound(0, decimals, 255))};
}
