#include "push/bridge/SessionOrigins.h"

#include "core/AppPaths.h"

BridgeOrigins sessionBridgeOrigins(const LoginUserInfo &user, const LoginServiceLinks &links)
{
    BridgeOrigins origins(AppPaths::appDirPath());
    origins.allowAddress(AppPaths::serverAddress());
    for (const auto &link : links.appCategoryLinks)
        origins.allowAddress(link.second);
    origins.allowAddresses({links.appRenewals, links.appStoreSearchBase, links.myAppSearchBase,
                            user.user_center, user.my_wallet_url, user.my_pwd_url,
                            user.modify_phone_url});
    return origins;
}
