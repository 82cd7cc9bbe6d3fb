#include "devicelog.h"

Q_LOGGING_CATEGORY(lcDevice, "k310.device", QtCriticalMsg)
