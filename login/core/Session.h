#pragma once

#include "catalogue/CatalogueStore.h"
#include "login/core/LoginRecords.h"

// What a sign-in yields: the user's profile, the company's links and the
// catalogue. Owned by start-up, filled by the login dialog and read by
// every window after it, so it outlives all of them; the login dialog can
// go as soon as the sign-in is done.
struct Session
{
    LoginUserInfo userInfo;
    LoginServiceLinks serviceLinks;
    CatalogueStore catalogue;
};
