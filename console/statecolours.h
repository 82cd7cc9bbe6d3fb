#ifndef STATECOLOURS_H
#define STATECOLOURS_H

#include "doserstate.h"

#include <QColor>

// The colour a doser's state is drawn in, the same on the panel and in the line's overview:
// red where the operator must look, green while it works.
namespace StateColours {

inline const QColor Alarm {212, 54, 56};
inline const QColor Working {25, 140, 25};
inline const QColor Stopped {0, 0, 0};

inline QColor of(DoserState state)
{
    switch (state) {
    case DoserState::Working:
        return Working;
    case DoserState::Stopped:
        return Stopped;
    case DoserState::Alarm:
    case DoserState::NoConnection:
        break;
    }
    return Alarm;
}

} // namespace StateColours

#endif // STATECOLOURS_H
