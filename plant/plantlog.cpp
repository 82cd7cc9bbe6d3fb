#include "plantlog.h"

Q_LOGGING_CATEGORY(lcPlant, "k310.plant", QtCriticalMsg)
