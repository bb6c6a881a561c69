#include "core/CoreLog.h"

Q_LOGGING_CATEGORY(lcCore, "orvane.core")
