#include "settingslog.h"

Q_LOGGING_CATEGORY(lcSettings, "k310.settings", QtCriticalMsg)
