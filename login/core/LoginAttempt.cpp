#include "LoginAttempt.h"

#include "ConfigFile.h"
#include "LoginAnswer.h"
#include "LoginTexts.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcLoginAttempt, "orvane.login")

LoginAttempt::LoginAttempt(Hooks hooks, QString configPath)
    : m_hooks(std::move(hooks))
    , m_configPath(configPath.isEmpty() ? ConfigFile::defaultPath() : std::move(configPath))
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
    const QString stored = ConfigFile::readText(m_configPath, QStringLiteral("/userinfo/username"));
    const QString storedPwd = ConfigFile::readText(m_configPath, QStringLiteral("/userinfo/userpwd"));
    if (account == stored && password == storedPwd) {
        qCDebug(lcLoginAttempt) << "offline sign-in from the cached catalogue";
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
        qCWarning(lcLoginAttempt) << "sign-in answer is not a JSON object";
        return false;
    }
    if (result.code != 200) {
        qCDebug(lcLoginAttempt) << "sign-in refused with code" << result.code;
        m_hooks.showDialog();
        m_hooks.message(LoginTexts::refusal(result.code));
        return false;
    }
    *user = result.user;
    *links = result.links;

    // The order of the keys is part of the file's contract.
    const ConfigFile::Entries keys = {
        {QStringLiteral("connect/token"), result.token},
        {QStringLiteral("connect/uid"), result.uid},
        {QStringLiteral("userinfo/rember"), QStringLiteral("1")},
        {QStringLiteral("userinfo/username"), account},
        {QStringLiteral("userinfo/userpwd"), password},
        {QStringLiteral("userinfo/flag"), 1},
    };
    if (!ConfigFile::writeKeys(m_configPath, keys))
        qCWarning(lcLoginAttempt) << "sign-in keys not saved; the next start asks again";

    return m_hooks.fetchCatalogue(result.token, result.uid);
}
