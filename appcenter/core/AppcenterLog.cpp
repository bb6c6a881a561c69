#include "appcenter/core/AppcenterLog.h"

Q_LOGGING_CATEGORY(lcAppcenter, "orvane.appcenter")
