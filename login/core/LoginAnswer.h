#pragma once

#include "LoginRecords.h"

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

// The answer text goes through Latin-1 before parsing, so the service
// sends non-ASCII characters as JSON escapes. Profile fields are read only
// for code 200.
Result parse(const QString &answer);

} // namespace LoginAnswer
