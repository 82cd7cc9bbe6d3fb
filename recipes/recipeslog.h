#ifndef RECIPESLOG_H
#define RECIPESLOG_H

#include <QLoggingCategory>

// The library's diagnostics beyond the trace lines: off unless asked for
// (QT_LOGGING_RULES="k310.recipes=true").
Q_DECLARE_LOGGING_CATEGORY(lcRecipes)

#endif // RECIPESLOG_H
