#include "consolelog.h"

Q_LOGGING_CATEGORY(lcConsole, "k310.console", QtCriticalMsg)
