#ifndef PLANTLOG_H
#define PLANTLOG_H

#include <QLoggingCategory>

// The library's diagnostics beyond the trace lines: off unless asked for
// (QT_LOGGING_RULES="k310.plant=true").
Q_DECLARE_LOGGING_CATEGORY(lcPlant)

#endif // PLANTLOG_H
