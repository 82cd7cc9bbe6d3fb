#ifndef RECORDSLOG_H
#define RECORDSLOG_H

#include <QLoggingCategory>

// The library's diagnostics beyond the trace lines: off unless asked for
// (QT_LOGGING_RULES="k310.records=true").
Q_DECLARE_LOGGING_CATEGORY(lcRecords)

#endif // RECORDSLOG_H
