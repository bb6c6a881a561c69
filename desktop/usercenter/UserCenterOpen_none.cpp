#include "desktop/usercenter/UserCenterOpen.h"

#include "desktop/DesktopLog.h"

int execUserCenter(const LoginUserInfo &, const BridgeOrigins &, QObject *, QWidget *)
{
    qCWarning(lcDesktop) << "no user centre in this build";
    return -1;
}
