#pragma once

#include "refservice/Store.h"

#include <QMap>
#include <QString>

namespace httplib {
struct Response;
}

// The store pages the client's app centre shows (application store,
// uninstall management, renewals, payment) with their script and style,
// the web-channel script they need inside the client, and the small JSON
// path they read their applications from:
//   GET pages/api/apps?scope=store|mine&uid=U&cate_id=C&keywords=K
namespace StorePages {

// False when the path is none of these.
bool handle(Store &store, const QString &base, const QString &path,
            const QMap<QString, QString> &query, httplib::Response &res);

} // namespace StorePages
