#include "service/SrvInterface.h"

#include "core/AppPaths.h"
#include "core/Settings.h"
#include "platform/Platform.h"
#include "service/RequestText.h"
#include "service/ServiceReply.h"

#include <QEventLoop>
#include <QNetworkInterface>

#include <memory>

SrvInterface::SrvInterface(QObject *parent)
    : QObject(parent)
    , m_clientParams(RequestText::clientParams(hardwareAddress(), Platform::osFamily(),
                                               osDisplayName(), clientVersion()))
{
}

QString SrvInterface::hardwareAddress()
{
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &iface : interfaces) {
        const auto flags = iface.flags();
        if ((flags & QNetworkInterface::IsUp) && (flags & QNetworkInterface::IsRunning)
            && !(flags & QNetworkInterface::IsLoopBack))
            return iface.hardwareAddress();
    }
    return QString();
}

QString SrvInterface::osDisplayName()
{
    return RequestText::osDisplayName(Platform::osPrettyName());
}

QString SrvInterface::clientVersion()
{
    return Settings::installedVersion();
}

QString SrvInterface::plainUrl(const char *path) const
{
    return RequestText::plainUrl(AppPaths::serverAddress(), QLatin1String(path),
                                 RequestText::timeCheckParamsNow(), m_clientParams);
}

QString SrvInterface::userUrl(const char *path, const QString &uid, const QString &token,
                              const QList<QPair<QString, QString>> &extra) const
{
    return RequestText::userUrl(AppPaths::serverAddress(), QLatin1String(path),
                                RequestText::timeCheckParamsNow(), m_clientParams, uid, token,
                                extra);
}

bool SrvInterface::sendRequest(const QString &url, const QString &body, int timeoutMs,
                               QString *answer)
{
    if (answer)
        answer->clear();

    // Owned here: a wait cut short (the thread told to quit) ends the
    // transfer with the reply, without a word to anyone.
    const std::unique_ptr<ServiceReply> reply(ServiceReply::send(url, body, timeoutMs));
    if (!reply->isFinished()) {
        QEventLoop loop;
        connect(reply.get(), &ServiceReply::finished, &loop, &QEventLoop::quit);
        loop.exec();
    }
    if (!reply->answered())
        return false;
    if (answer)
        *answer = reply->text();
    return true;
}

// Sign-in and account ------------------------------------------------------

bool SrvInterface::login(const QString &account, const QString &password, QString *answer)
{
    const QString url = RequestText::loginUrl(AppPaths::serverAddress(),
                                              RequestText::timeCheckParamsNow(), m_clientParams);
    return sendRequest(url, RequestText::loginBody(account, password), kLoginTimeoutMs, answer);
}

bool SrvInterface::logout(const QString &uid, const QString &token, QString *answer)
{
    return sendRequest(userUrl("NSVUserService/logout/json?", uid, token), QString(), kTimeoutMs,
                       answer);
}

bool SrvInterface::forgottenPassword(const QString &phone, const QString &authCode,
                                     const QString &newPassword, QString *answer)
{
    const QString body = RequestText::formText({{QStringLiteral("phone"), phone},
                                                {QStringLiteral("auth_code"), authCode},
                                                {QStringLiteral("new_pwd"),
                                                 RequestText::md5Hex(newPassword)}});
    return sendRequest(plainUrl("NSVUserService/forgottenPassword/json?"), body, kTimeoutMs,
                       answer);
}

bool SrvInterface::resetPassword(const QString &uid, const QString &token,
                                 const QString &newPassword, const QString &oldPassword,
                                 QString *answer)
{
    const QString body = RequestText::formText(
        {{QStringLiteral("new_pwd"), RequestText::md5Hex(newPassword)},
         {QStringLiteral("old_pwd"), RequestText::md5Hex(oldPassword)}});
    return sendRequest(userUrl("NSVUserService/resetPassword/json?", uid, token), body,
                       kTimeoutMs, answer);
}

bool SrvInterface::sendAuthCodeToPhone(const QString &phone, QString *answer)
{
    return sendRequest(plainUrl("NSVAuthService/sendAuthCodeToPhone/json?"),
                       RequestText::formText({{QStringLiteral("phone"), phone}}), kTimeoutMs,
                       answer);
}

bool SrvInterface::changeTrueNameByUID(const QString &uid, const QString &token,
                                       const QString &oldName, const QString &newName,
                                       QString *answer)
{
    const QString body = RequestText::formText(
        {{QStringLiteral("new_name"), newName}, {QStringLiteral("old_name"), oldName}});
    return sendRequest(userUrl("NSVUserProfileService/changeTrueNameByUID/json?", uid, token),
                       body, kTimeoutMs, answer);
}

bool SrvInterface::updateUserAvatarByUID(const QString &uid, const QString &token,
                                         const QString &base64Picture, QString *answer)
{
    // Base64 carries "+", "/" and "=", which a form decoder would mangle.
    const QString body = RequestText::formText({{QStringLiteral("base64bin"), base64Picture}});
    return sendRequest(userUrl("NSVUserProfileService/updateUserAvatarByUID/json?", uid, token),
                       body, kTimeoutMs, answer);
}

// Software and desktop applications ---------------------------------------

bool SrvInterface::getNewNSVSoftwareToAll(int regionId, QString *answer)
{
    const QString url = RequestText::updateUrl(
        AppPaths::serverAddress(), QStringLiteral("NSVVerUpdateService/getNewNSVSoftwareToAll/json?"),
        RequestText::timeCheckParamsNow(), m_clientParams, regionId);
    return sendRequest(url, QString(), kTimeoutMs, answer);
}

bool SrvInterface::getCloudDesktopAppFullInfo(const QString &uid, const QString &token,
                                              QString *answer)
{
    return sendRequest(userUrl("NSVCloudDesktopService/getCloudDesktopAppFullInfo/json?", uid,
                               token),
                       QString(), kTimeoutMs, answer);
}

bool SrvInterface::IsInstallAppInCloudDesktop(const QString &uid, const QString &token,
                                              const QString &appId, QString *answer)
{
    return sendRequest(userUrl("NSVCloudDesktopService/IsInstallAppInCloudDesktop/json?", uid,
                               token, {{QStringLiteral("app_id"), appId}}),
                       QString(), kTimeoutMs, answer);
}

bool SrvInterface::addNewAppToCloudDesktop(const QString &uid, const QString &token,
                                           const QString &companyId, const QString &appId,
                                           const QString &appName, QString *answer)
{
    const QString body = RequestText::formText({{QStringLiteral("app_id"), appId},
                                                {QStringLiteral("app_name"), appName},
                                                {QStringLiteral("compan_id"), companyId}});
    return sendRequest(userUrl("NSVCloudDesktopService/addNewAppToCloudDesktop/json?", uid, token),
                       body, kTimeoutMs, answer);
}

bool SrvInterface::deletelAppInCloudDesktop(const QString &uid, const QString &token,
                                            const QString &appId, const QString &appName,
                                            QString *answer)
{
    const QString body = RequestText::formText(
        {{QStringLiteral("app_id"), appId}, {QStringLiteral("app_name"), appName}});
    return sendRequest(userUrl("NSVCloudDesktopService/deletelAppInCloudDesktop/json?", uid,
                               token),
                       body, kTimeoutMs, answer);
}

bool SrvInterface::IsRemoveAppInCloudDesktop(const QString &uid, const QString &token,
                                             const QString &appId, int isRemove,
                                             QString *answer)
{
    return sendRequest(userUrl("NSVCloudDesktopService/IsRemoveAppInCloudDesktop/json?", uid,
                               token,
                               {{QStringLiteral("app_id"), appId},
                                {QStringLiteral("is_remove"), QString::number(isRemove)}}),
                       QString(), kTimeoutMs, answer);
}

bool SrvInterface::UpdateAppInstallSteInCloudDesktop(const QString &uid, const QString &token,
                                                     const QString &appId,
                                                     const QString &appName,
                                                     const QString &execPath,
                                                     const QString &unloadPath, QString *answer)
{
    return sendRequest(userUrl("NSVCloudDesktopService/UpdateAppInstallSteInCloudDesktop/json?",
                               uid, token,
                               {{QStringLiteral("app_id"), appId},
                                {QStringLiteral("app_name"), appName},
                                {QStringLiteral("mac"), hardwareAddress()},
                                {QStringLiteral("private_exec_path"), execPath},
                                {QStringLiteral("private_unload_path"), unloadPath}}),
                       QString(), kTimeoutMs, answer);
}

bool SrvInterface::UpdateAppVerInCloudDesktop(const QString &uid, const QString &token,
                                              const QString &appId, const QString &appName,
                                              const QString &version, QString *answer)
{
    const QString body = RequestText::formText({{QStringLiteral("app_id"), appId},
                                                {QStringLiteral("app_name"), appName},
                                                {QStringLiteral("app_ver"), version}});
    return sendRequest(userUrl("NSVCloudDesktopService/UpdateAppVerInCloudDesktop/json?", uid,
                               token),
                       body, kTimeoutMs, answer);
}

// Messages, push and client reports ----------------------------------------

bool SrvInterface::getSystemNoticeListByUID(const QString &uid, const QString &token,
                                            const QString &page, QString *answer)
{
    return sendRequest(userUrl("NSVNoticeService/getSystemNoticeListByUID/json?", uid, token,
                               {{QStringLiteral("page"), page}}),
                       QString(), kTimeoutMs, answer);
}

bool SrvInterface::getPushSvrIPAddressByTime33Hash(const QString &uid, const QString &token,
                                                   QString *answer)
{
    return sendRequest(userUrl("NSVPushSvrService/getPushSvrIPAddressByTime33Hash/json?", uid,
                               token),
                       QString(), kTimeoutMs, answer);
}

bool SrvInterface::userSystemCollectReported(const QString &uid, const QString &token,
                                             const QString &mac, const QString &ip,
                                             const QString &os, const QString &apps,
                                             QString *answer)
{
    const QString body = RequestText::formText({{QStringLiteral("mac"), mac},
                                                {QStringLiteral("ip"), ip},
                                                {QStringLiteral("os"), os},
                                                {QStringLiteral("apps"), apps}});
    return sendRequest(userUrl("NSVUserSystemCollectService/reported/json?", uid, token), body,
                       kTimeoutMs, answer);
}

bool SrvInterface::userPeripheralCollectReported(const QString &uid, const QString &token,
                                                 const QString &name, const QString &model,
                                                 const QString &producer,
                                                 const QString &remarks, QString *answer)
{
    const QString body = RequestText::formText({{QStringLiteral("name"), name},
                                                {QStringLiteral("model"), model},
                                                {QStringLiteral("producer"), producer},
                                                {QStringLiteral("remarks"), remarks}});
    return sendRequest(userUrl("NSVUserPeripheralCollectService/reported/json?", uid, token),
                       body, kTimeoutMs, answer);
}

bool SrvInterface::userActionCollectReported(const QString &uid, const QString &token,
                                             const QString &mac, const QString &app,
                                             QString *answer)
{
    return sendRequest(userUrl("NSVUserActionCollectService/reported/json?", uid, token,
                               {{QStringLiteral("mac"), mac}, {QStringLiteral("app"), app}}),
                       QString(), kTimeoutMs, answer);
}
