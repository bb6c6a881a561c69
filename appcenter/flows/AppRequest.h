#pragma once

#include "catalogue/DesktopAppInfo.h"

#include <QString>

// What a store page (or a push offer) asks about one application: the
// "data" object of its JSON text. Every value is read as a JSON string; a
// missing key or a value of another type reads as empty.
struct AppRequest
{
    bool valid = false; // the text is a JSON object
    QString cateId;
    QString appId;
    QString appName; // "app_name"; a push offer carries "name", which is not read
    QString icon;
    QString desc;
    QString execPath;
    QString params;
    QString sort;
    QString type;
    QString url;
    QString isRemove;
    QString nosign;

    static AppRequest parse(const QString &strJson);

    // A new record for the install flow: the fields of the request, icon as
    // given (the caller resolves it), isinstall "0", no paths found yet.
    DesktopAppInfoPtr toRecord() const;
};
