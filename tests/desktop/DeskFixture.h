#pragma once

#include "core/AppPaths.h"
#include "login/core/Session.h"
#include "login/dialog/QLoginDialog.h"
#include "tests/support/RefServiceProcess.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QScopedPointer>
#include <QTemporaryDir>

// A client folder of its own signed in to the reference service as the
// demo user, exactly as start-up does it (hidden automatic sign-in): the
// session holds the demo's catalogue with its icons cached in the folder.
class DeskFixture
{
public:
    explicit DeskFixture(RefServiceProcess &service, const QString &account = QStringLiteral("demo"))
    {
        m_appDir = m_dir.filePath(QStringLiteral("OrvaneDesk"));
        QDir().mkpath(m_appDir);
        AppPaths::setAppDirPathOverride(m_appDir);
        AppPaths::setServerAddress(service.baseUrl());
        QFile config(m_appDir + QStringLiteral("/Config.ini"));
        if (config.open(QIODevice::WriteOnly)) {
            config.write("[server]\nflag=0\ntestserver=" + service.baseUrl().toUtf8()
                         + "\n[userinfo]\nrember=1\nflag=1\nusername=" + account.toUtf8()
                         + "\nuserpwd=demo1234\n");
        }
        config.close();
        QLoginDialog dialog(session);
        dialog.hide();
        m_signedIn = dialog.login();
    }

    ~DeskFixture()
    {
        AppPaths::setAppDirPathOverride(QString());
        AppPaths::setServerAddress(QString());
    }

    bool signedIn() const { return m_signedIn; }
    QString appDir() const { return m_appDir; }

    Session session;

private:
    QTemporaryDir m_dir;
    QString m_appDir;
    bool m_signedIn = false;
};

// A pushed notice as the push page hands it to the desktop (NSVPush).
inline QString pushedNotice()
{
    return QString::fromUtf8(QJsonDocument(QJsonObject{
        {"alias", "lumiqPushNotice"}, {"uuid", "m1"},
        {"data", QJsonObject{{"uuid", "n1"}, {"title", QStringLiteral("通知")},
                             {"content", QStringLiteral("内容")}}}}).toJson());
}

// The notice pop-up on screen, if any.
inline QWidget *shownPopup()
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->inherits("QAcceptMsgWidget") && w->isVisible())
            return w;
    return nullptr;
}
