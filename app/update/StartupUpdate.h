#pragma once

#include "app/update/UpdateCheck.h"

// The update check as start-up runs it: a short random pause so that many
// clients started together do not ask at the same instant, the service's
// version answer, the client's own message box and the detached updater.
namespace StartupUpdate {

UpdateCheck::Outcome run();

} // namespace StartupUpdate
