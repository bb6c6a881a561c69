#pragma once

#include "login/core/LoginRecords.h"

#include <QString>

// Reading of the service's sign-in answer.
namespace LoginAnswer {

struct Result
{
    bool readable = false; // a JSON object
    int code = 0;          // "code", 0 when absent
    QString token;
    QString uid;
    LoginUserInfo user;
    LoginServiceLinks links;
};

// The answer is parsed as the UTF-8 text it arrived as, so raw Chinese
// characters survive as well as "\u" escapes. Profile fields are read only
// for code 200.
Result parse(const QString &answer);

} // namespace LoginAnswer
