#ifndef DEVICELOG_H
#define DEVICELOG_H

#include <QLoggingCategory>

// The library's diagnostics beyond the trace lines: off unless asked for
// (QT_LOGGING_RULES="k310.device=true").
Q_DECLARE_LOGGING_CATEGORY(lcDevice)

#endif // DEVICELOG_H
