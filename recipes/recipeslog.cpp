#include "recipeslog.h"

Q_LOGGING_CATEGORY(lcRecipes, "k310.recipes", QtCriticalMsg)
