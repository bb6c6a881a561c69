#include "login/core/LoginAttempt.h"

#include "core/Settings.h"
#include "login/core/LoginAnswer.h"
#include "login/core/LoginLog.h"
#include "login/core/LoginTexts.h"

LoginAttempt::LoginAttempt(Hooks hooks, QString configPath)
    : m_hooks(std::move(hooks))
    , m_configPath(configPath.isEmpty() ? Settings::configPath() : std::move(configPath))
{
}

bool LoginAttempt::run(const QString &account, const QString &password, bool networkAvailable,
                       LoginUserInfo *user, LoginServiceLinks *links)
{
    if (account.isEmpty() || password.isEmpty()) {
        m_hooks.message(LoginTexts::emptyFields());
        return false;
    }
    if (!networkAvailable)
        return offline(account, password);
    return online(account, password, user, links);
}

bool LoginAttempt::offline(const QString &account, const QString &password)
{
    const QString stored = Settings::userName(m_configPath);
    const QString storedPwd = Settings::userPassword(m_configPath);
    if (account == stored && password == storedPwd) {
        qCDebug(lcLogin) << "offline sign-in from the cached catalogue";
        return m_hooks.loadCatalogueFile();
    }
    m_hooks.message(LoginTexts::offlineMismatch());
    m_hooks.showDialog();
    return false;
}

bool LoginAttempt::online(const QString &account, const QString &password, LoginUserInfo *user,
                          LoginServiceLinks *links)
{
    QString answer;
    if (!m_hooks.requestLogin(account, password, &answer)) {
        m_hooks.message(LoginTexts::requestFailed());
        return false;
    }
    const LoginAnswer::Result result = LoginAnswer::parse(answer);
    if (!result.readable) {
        qCWarning(lcLogin) << "sign-in answer is not a JSON object";
        return false;
    }
    if (result.code != 200) {
        qCDebug(lcLogin) << "sign-in refused with code" << result.code;
        m_hooks.showDialog();
        m_hooks.message(LoginTexts::refusal(result.code));
        return false;
    }
    *user = result.user;
    *links = result.links;

    if (!Settings::writeSignIn({result.token, result.uid, account, password}, m_configPath))
        qCWarning(lcLogin) << "sign-in keys not saved; the next start asks again";

    return m_hooks.fetchCatalogue(result.token, result.uid);
}
