#ifndef DOSERSTATE_H
#define DOSERSTATE_H

#include <QString>
#include <QtGlobal>

// What a doser's reply says it is doing, and what the console shows when it says nothing.
enum class DoserState { Working, Stopped, Alarm, NoConnection };

// The operator's text of a state: "РАБОТА", "ОСТАНОВ", "АВАРИЯ", "НЕТ СВЯЗИ".
QString doserStateText(DoserState state);
// The state a text names; false when it names none.
bool doserStateFromText(const QString &text, DoserState &state);

// A weight as the doser reports it: the value with the decimals of its number format, so that
// its text is the doser's own wherever it is shown or stored.
struct Weight
{
    double value = 0;
    quint8 decimals = 0;

    QString text() const { return QString::number(value, 'f', decimals); }
    // A weight text ("12.50") with as many decimals as it carries.
    static Weight fromText(const QString &text);
};

// The same number with the same decimals: "2.50" is not "2.5" on a panel.
inline bool operator==(const Weight &a, const Weight &b)
{
    return a.value == b.value && a.decimals == b.decimals;
}
inline bool operator!=(const Weight &a, const Weight &b)
{
    return !(a == b);
}

#endif // DOSERSTATE_H
