#pragma once

#include "login/core/LoginRecords.h"
#include "push/bridge/BridgeOrigins.h"

// The pages of this sign-in that may reach the bridge: the service
// address, the store and the user's applications (category links and
// search bases), the renewal page and the user's own pages, and the
// client's folder.
BridgeOrigins sessionBridgeOrigins(const LoginUserInfo &user, const LoginServiceLinks &links);
