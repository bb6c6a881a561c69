#pragma once

#include "catalogue/CatalogueStore.h"
#include "catalogue/DesktopAppInfo.h"

#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>

// The app centre's flows on one application: install (from the store page
// or a push offer), the registration of a finished installation,
// uninstall, add to and remove from the desktop, and open. No widgets: the
// window turns the signals into page scripts, rows, message boxes and
// launches.
//
// The service calls wait in nested event loops, where the user can click
// again: a flow already under way for an application is not started a
// second time, and a flow that finds its object gone when a call returns
// stops there. Records are shared, so a record dropped here stays valid for
// a row or a window that still shows it; the catalogue changes only
// through the store, which tells every window.
class AppFlows : public QObject
{
    Q_OBJECT
public:
    struct Message
    {
        QString title;
        QString text;
    };

    // The service's answer to one call: answered is false when no answer came
    // (the call failed), else code is "code" of the envelope and readable
    // whether the answer was a JSON object.
    struct Answer
    {
        bool answered = false;
        bool readable = false;
        int code = 0;
    };

    // The service operations the flows use. The default set calls the
    // service through SrvInterface with the uid and token of Config.ini.
    struct Service
    {
        std::function<Answer(const QString &appId, const QString &appName)> deleteApp;
        std::function<Answer(const QString &appId)> isInstall;
        std::function<Answer(const QString &companyId, const QString &appId, const QString &appName)> addNew;
        std::function<Answer(const QString &appId, const QString &appName, const QString &install,
                             const QString &uninstall)> updateInstallState;
        std::function<Answer(const QString &appId, int isRemove)> setOnDesktop;
        // Fetches a picture into the cache; returns its local path.
        std::function<QString(const QString &address)> fetchIcon;

        static Service real();
    };

    AppFlows(CatalogueStore *store, Service service, QObject *parent = nullptr);

    void setCompanyId(const QString &companyId) { m_companyId = companyId; }

    static Message alreadyPresent();
    static Message addFailed();
    static Message installFailed();

public slots:
    void install(const QString &strJson);
    // The installation of a record made by install() has finished (or it
    // needed none): register it and put it on the desktop. The record is
    // taken by value: a watcher that reported it may be gone by the time
    // a service call returns.
    void installationComplete(DesktopAppInfoPtr app);
    void uninstall(const QString &strJson);
    // The uninstall watch saw the record go.
    void uninstalled(DesktopAppInfoPtr app);
    void add(const QString &strJson);
    void remove(const QString &strJson);
    void open(const QString &strJson);

signals:
    // A script call on the store page: function(cateid, id).
    void pageCall(const QString &function, const QStringList &arguments);
    void message(const AppFlows::Message &message);
    // A new record to download and install (type "2") or to register at
    // once (any other type).
    void downloadRequested(const DesktopAppInfoPtr &app);
    // Run the uninstaller and watch for the record to go; uninstalled()
    // follows when it has.
    void uninstallRequested(const DesktopAppInfoPtr &app, const QString &program,
                           const QStringList &arguments);
    void uninstallationComplete(const DesktopAppInfoPtr &app);
    void openRequested(const DesktopAppInfoPtr &app);
    // The store page should show the new state (the app centre comes back).
    void reopenRequested();

private:
    // The record the request names, or null (nothing happens then).
    DesktopAppInfoPtr lookup(const QString &cateId, const QString &appId) const;
    void done(const char *function, const DesktopAppInfoPtr &app);
    // add and remove: the service call, the record's flag, the page's news.
    void markOnDesktop(const QString &strJson, bool onDesktop);
    // Marks a flow for the key as under way; false when one already is.
    bool begin(const QString &key);
    void end(const QString &key);

    QPointer<CatalogueStore> m_store;
    Service m_service;
    QString m_companyId;
    QSet<QString> m_underWay;
};

Q_DECLARE_METATYPE(AppFlows::Message)
