#pragma once

#include <QList>
#include <QPair>
#include <QString>

// The signed-in user's profile, as the sign-in answer gives it. Owned by the
// login dialog, which outlives every window that reads it.
struct LoginUserInfo
{
    QString username;
    QString truename;
    QString company_name;
    QString phone;
    QString address;
    QString tax_number;
    QString avatar;
    QString app_auth;
    QString compan_id;
    QString modify_phone_url;
    QString my_wallet_url;
    QString my_pwd_url;
    QString user_center;
};

// The company and portal addresses of the sign-in answer.
struct LoginServiceLinks
{
    QString companyId;
    QList<QPair<QString, QString>> appCategoryLinks; // (name, url)
    QString appRenewals;
    QString appStoreSearchBase;
    QString myAppSearchBase;
};

bool operator==(const LoginUserInfo &a, const LoginUserInfo &b);
bool operator==(const LoginServiceLinks &a, const LoginServiceLinks &b);
