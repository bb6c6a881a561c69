#include "push/PushLog.h"

Q_LOGGING_CATEGORY(lcPush, "orvane.push")
