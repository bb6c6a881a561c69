#include "DesktopAppInfo.h"

void registerDesktopAppTypes()
{
    qRegisterMetaType<DesktopAppInfoPtr>("DesktopAppInfoPtr");
}
