#pragma once

#include "login/core/LoginRecords.h"

class QObject;
class QWidget;

// Runs the user centre modally and deletes it on close; returns what
// exec() returned, or -1 when this build has no user centre (only logged).
int execUserCenter(const LoginUserInfo &user, QObject *bridge, QWidget *parent);
