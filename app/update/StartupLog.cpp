#include "app/update/StartupLog.h"

Q_LOGGING_CATEGORY(lcStartup, "orvane.startup")
