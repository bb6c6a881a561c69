#pragma once

#include "login/core/LoginRecords.h"
#include "push/bridge/BridgeOrigins.h"

class QObject;
class QWidget;

// Runs the user centre modally and deletes it on close; returns what
// exec() returned, or -1 when this build has no user centre (only logged).
// origins: the documents that may reach the bridge (the session's).
int execUserCenter(const LoginUserInfo &user, const BridgeOrigins &origins, QObject *bridge,
                   QWidget *parent);
