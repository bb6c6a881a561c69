#pragma once

#include <string>

// The user-centre page of the sign-in answer ("user_center"): the account's
// own links, which the client opens in the user's web browser, and a button
// that has the client fetch the user's picture anew. Inside the client it
// talks to the client's bridge "QJsInterface" over the web channel; in a
// plain browser its links are ordinary links.
namespace UserCenterPage {

std::string html();

} // namespace UserCenterPage
