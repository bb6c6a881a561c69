#pragma once

#include "SystemInfoInterfaceBase.h"

#include <vector>

// Lists what this system has installed, one entry per program. Reads the
// sources afresh on every call; safe to call from several threads at once.
void listInstalledSoftware(std::vector<InstalledSoftwareInfo> *software);
