#include "sysinfo/SysinfoLog.h"

Q_LOGGING_CATEGORY(lcSysinfo, "orvane.sysinfo")
