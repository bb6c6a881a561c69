#pragma once

#include "login/core/LoginRecords.h"

#include <QString>

#include <functional>

// One sign-in attempt, free of any window: the dialog supplies how a
// message is shown, how it shows itself and how the service and the
// catalogue are reached. Messages are shown by the hooks in the order the
// user must see them.
class LoginAttempt
{
public:
    struct Hooks
    {
        // A modal message with the sign-in title; returns when closed.
        std::function<void(const QString &text)> message;
        // Brings the dialog up (a no-op when it is up already).
        std::function<void()> showDialog;
        // The service's sign-in; false when no answer came in time.
        std::function<bool(const QString &account, const QString &password, QString *answer)>
            requestLogin;
        // Fetches and caches the catalogue; shows its own message on failure.
        std::function<bool(const QString &token, const QString &uid)> fetchCatalogue;
        // Loads the cached catalogue; silent on failure.
        std::function<bool()> loadCatalogueFile;
    };

    explicit LoginAttempt(Hooks hooks, QString configPath = QString());

    // Account and password exactly as typed. The records are filled only by
    // an accepted online sign-in.
    bool run(const QString &account, const QString &password, bool networkAvailable,
             LoginUserInfo *user, LoginServiceLinks *links);

private:
    bool offline(const QString &account, const QString &password);
    bool online(const QString &account, const QString &password, LoginUserInfo *user,
                LoginServiceLinks *links);

    Hooks m_hooks;
    QString m_configPath;
};
