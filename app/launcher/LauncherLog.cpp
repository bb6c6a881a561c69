#include "app/launcher/LauncherLog.h"

Q_LOGGING_CATEGORY(lcLauncher, "orvane.launcher")
