#pragma once

#include <QString>

// The message centre's notices: the service's answer turned into the one
// script call that hands them to the page.
namespace NoticeList {

// The array text the page's addLi() takes: JSON, one object per notice with
// title, time and article in that order, from "title", "created" and
// "message" (missing or non-string members read as empty). The texts are
// kept exactly as the service sent them, line breaks included.
// False (and no text) unless the answer is a JSON object with "code" 200
// and "message" "ok".
bool arrayText(const QString &answer, QString *array);

// "addLi(\"...\");" with the array text quoted; empty when arrayText fails.
QString addLiScript(const QString &answer);

} // namespace NoticeList
