#ifndef SETTINGSLOG_H
#define SETTINGSLOG_H

#include <QLoggingCategory>

// The library's diagnostics beyond the trace lines: off unless asked for
// (QT_LOGGING_RULES="k310.settings=true").
Q_DECLARE_LOGGING_CATEGORY(lcSettings)

#endif // SETTINGSLOG_H
