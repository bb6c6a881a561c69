#include "login/core/LoginLog.h"

Q_LOGGING_CATEGORY(lcLogin, "orvane.login")
