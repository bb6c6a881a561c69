#pragma once

#include "SystemInfoInterfaceBase.h"

#include <vector>

// Lists what this system has installed, one entry per program. Files are
// read again only when they changed since the last call (the system's
// news of changes in their folders, else their size and times tell);
// safe to call from several threads at once.
void listInstalledSoftware(std::vector<InstalledSoftwareInfo> *software);
