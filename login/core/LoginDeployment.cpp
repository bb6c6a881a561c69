#include "login/core/LoginDeployment.h"

#include <QUrlQuery>

namespace LoginDeployment {

QString probeHost(const QString &serverAddress)
{
    return QUrl(serverAddress, QUrl::TolerantMode).host();
}

QUrl registerPageUrl()
{
    QUrl url(QStringLiteral("https://account.orvane.cn/account/user/register"));
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("origin"), QStringLiteral("7c2e9a4b0d5f1386e4a2c7b9d0f35e18"));
    url.setQuery(query);
    return url;
}

} // namespace LoginDeployment
