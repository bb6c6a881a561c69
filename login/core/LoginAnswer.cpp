#include "login/core/LoginAnswer.h"

#include "login/core/LoginTexts.h"
#include "service/ServiceEnvelope.h"

#include <QJsonObject>

bool operator==(const LoginUserInfo &a, const LoginUserInfo &b)
{
    return a.username == b.username && a.truename == b.truename
        && a.company_name == b.company_name && a.phone == b.phone && a.address == b.address
        && a.tax_number == b.tax_number && a.avatar == b.avatar && a.app_auth == b.app_auth
        && a.compan_id == b.compan_id && a.modify_phone_url == b.modify_phone_url
        && a.my_wallet_url == b.my_wallet_url && a.my_pwd_url == b.my_pwd_url
        && a.user_center == b.user_center;
}

bool operator==(const LoginServiceLinks &a, const LoginServiceLinks &b)
{
    return a.companyId == b.companyId && a.appCategoryLinks == b.appCategoryLinks
        && a.appRenewals == b.appRenewals && a.appStoreSearchBase == b.appStoreSearchBase
        && a.myAppSearchBase == b.myAppSearchBase;
}

namespace LoginTexts {

QString refusal(int code)
{
    switch (code) {
    case 901:
        return QStringLiteral("\r\n此用户已被管理员禁用！");
    case 902:
        return QStringLiteral("\r\n此用户已被Tessel禁用！");
    case 905:
        return QStringLiteral("\r\n未查询到用户所在公司的信息！");
    case 907:
        return QStringLiteral("\r\n此用户所在公司已被禁用！");
    default:
        return wrongCredentials();
    }
}

} // namespace LoginTexts

namespace LoginAnswer {

static QString accessUrl(const QJsonObject &items, const QString &name)
{
    return jsonText(items.value(name).toObject(), QStringLiteral("url"));
}

Result parse(const QString &answer)
{
    Result result;
    const ServiceEnvelope envelope = ServiceEnvelope::parse(answer);
    if (!envelope.valid)
        return result;
    result.readable = true;
    result.code = envelope.code;
    if (!envelope.isSuccess())
        return result;

    const QJsonObject data = envelope.dataObject();
    result.token = jsonText(data, QStringLiteral("token"));
    result.uid = jsonText(data, QStringLiteral("uid"));

    LoginUserInfo &u = result.user;
    u.username = jsonText(data, QStringLiteral("username"));
    u.truename = jsonText(data, QStringLiteral("truename"));
    u.company_name = jsonText(data, QStringLiteral("company_name"));
    u.phone = jsonText(data, QStringLiteral("phone"));
    u.address = jsonText(data, QStringLiteral("address"));
    u.tax_number = jsonText(data, QStringLiteral("tax_number"));
    u.avatar = jsonText(data, QStringLiteral("avatar"));
    u.app_auth = jsonText(data, QStringLiteral("app_auth"));
    u.compan_id = jsonText(data, QStringLiteral("compan_id"));
    const QJsonObject items = data.value(QStringLiteral("access_itmes")).toObject();
    u.modify_phone_url = accessUrl(items, QStringLiteral("modify_phone"));
    u.my_wallet_url = accessUrl(items, QStringLiteral("my_wallet"));
    u.my_pwd_url = accessUrl(items, QStringLiteral("my_pwd"));
    u.user_center = jsonText(data, QStringLiteral("user_center"));

    LoginServiceLinks &l = result.links;
    l.companyId = u.compan_id;
    // QJsonObject yields its members in ascending key order.
    const QJsonObject cates = data.value(QStringLiteral("appcatelist")).toObject();
    for (auto it = cates.begin(); it != cates.end(); ++it) {
        const QJsonObject cate = it.value().toObject();
        l.appCategoryLinks.append(qMakePair(jsonText(cate, QStringLiteral("name")),
                                            jsonText(cate, QStringLiteral("url"))));
    }
    const QJsonObject store = data.value(QStringLiteral("appStore")).toObject();
    l.appRenewals = jsonText(store, QStringLiteral("appRenewals"));
    l.appStoreSearchBase = jsonText(store, QStringLiteral("appStoreSearchBase"));
    l.myAppSearchBase = jsonText(store, QStringLiteral("myAppSearchBase"));
    return result;
}

} // namespace LoginAnswer
