#ifndef ACCESSLOG_H
#define ACCESSLOG_H

#include <QLoggingCategory>

// The library's diagnostics beyond the trace lines: off unless asked for
// (QT_LOGGING_RULES="k310.access=true").
Q_DECLARE_LOGGING_CATEGORY(lcAccess)

#endif // ACCESSLOG_H
