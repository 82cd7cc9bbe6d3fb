#include "recordslog.h"

Q_LOGGING_CATEGORY(lcRecords, "k310.records", QtCriticalMsg)
