#ifndef CONSOLELOG_H
#define CONSOLELOG_H

#include <QLoggingCategory>

// The library's diagnostics beyond the trace lines: off unless asked for
// (QT_LOGGING_RULES="k310.console=true").
Q_DECLARE_LOGGING_CATEGORY(lcConsole)

#endif // CONSOLELOG_H
