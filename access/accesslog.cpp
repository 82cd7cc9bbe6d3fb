#include "accesslog.h"

Q_LOGGING_CATEGORY(lcAccess, "k310.access", QtCriticalMsg)
