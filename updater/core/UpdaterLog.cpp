#include "updater/core/UpdaterLog.h"

Q_LOGGING_CATEGORY(lcUpdater, "orvane.updater")
