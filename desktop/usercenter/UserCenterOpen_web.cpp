#include "desktop/usercenter/UserCenterOpen.h"

#include "desktop/usercenter/QUserInfoDlg.h"

int execUserCenter(const LoginUserInfo &user, const BridgeOrigins &origins, QObject *bridge,
                   QWidget *parent)
{
    auto *dialog = new QUserInfoDlg(user, origins, bridge, parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    return dialog->exec();
}
