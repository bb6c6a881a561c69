#include "appcenter/flows/AppFlows.h"

#include "appcenter/flows/AppRequest.h"
#include "core/Settings.h"
#include "desktop/core/LaunchPlan.h"
#include "service/ImageCache.h"
#include "service/ServiceEnvelope.h"
#include "service/SrvInterface.h"

namespace {

AppFlows::Answer answerOf(bool answered, const QString &text)
{
    AppFlows::Answer a;
    a.answered = answered;
    if (!answered)
        return a;
    const ServiceEnvelope envelope = ServiceEnvelope::parse(text);
    a.readable = envelope.valid;
    a.code = envelope.code;
    return a;
}

} // namespace

AppFlows::Service AppFlows::Service::real()
{
    // Every call reads the sign-in keys afresh, as the rest of the client does.
    Service s;
    s.deleteApp = [](const QString &appId, const QString &appName) {
        QString text;
        const bool ok = SrvInterface().deletelAppInCloudDesktop(Settings::uid(), Settings::token(),
                                                                appId, appName, &text);
        return answerOf(ok, text);
    };
    s.isInstall = [](const QString &appId) {
        QString text;
        const bool ok = SrvInterface().IsInstallAppInCloudDesktop(Settings::uid(), Settings::token(),
                                                                  appId, &text);
        return answerOf(ok, text);
    };
    s.addNew = [](const QString &companyId, const QString &appId, const QString &appName) {
        QString text;
        const bool ok = SrvInterface().addNewAppToCloudDesktop(Settings::uid(), Settings::token(),
                                                               companyId, appId, appName, &text);
        return answerOf(ok, text);
    };
    s.updateInstallState = [](const QString &appId, const QString &appName, const QString &install,
                              const QString &uninstall) {
        QString text;
        const bool ok = SrvInterface().UpdateAppInstallSteInCloudDesktop(
            Settings::uid(), Settings::token(), appId, appName, install, uninstall, &text);
        return answerOf(ok, text);
    };
    s.setOnDesktop = [](const QString &appId, int isRemove) {
        QString text;
        const bool ok = SrvInterface().IsRemoveAppInCloudDesktop(Settings::uid(), Settings::token(),
                                                                 appId, isRemove, &text);
        return answerOf(ok, text);
    };
    s.fetchIcon = [](const QString &address) { return fetchImageToCache(address); };
    return s;
}

AppFlows::AppFlows(CatalogueStore *store, Service service, QObject *parent)
    : QObject(parent)
    , m_store(store)
    , m_service(std::move(service))
{
    qRegisterMetaType<AppFlows::Message>("AppFlows::Message");
}

AppFlows::Message AppFlows::alreadyPresent()
{
    return {QStringLiteral("添加应用提示"), QStringLiteral("应用已经存在，请勿重复添加！")};
}

AppFlows::Message AppFlows::addFailed()
{
    return {QStringLiteral("添加应用提示"), QStringLiteral("应用添加失败！")};
}

AppFlows::Message AppFlows::installFailed()
{
    return {QStringLiteral("安装应用提示"), QStringLiteral("应用安装失败！")};
}

DesktopAppInfoPtr AppFlows::lookup(const QString &cateId, const QString &appId) const
{
    if (!m_store || m_store->categoryIndex(cateId) < 0)
        return {};
    for (const DesktopAppInfoPtr &app : m_store->apps(cateId)) {
        if (app->id == appId)
            return app;
    }
    return {};
}

void AppFlows::done(const char *function, const DesktopAppInfoPtr &app)
{
    emit pageCall(QLatin1String(function), {app->cateid, app->id});
}

bool AppFlows::begin(const QString &key)
{
    if (m_underWay.contains(key))
        return false;
    m_underWay.insert(key);
    return true;
}

void AppFlows::end(const QString &key)
{
    m_underWay.remove(key);
}

void AppFlows::install(const QString &strJson)
{
    const AppRequest request = AppRequest::parse(strJson);
    if (!request.valid || !m_store || m_store->categoryIndex(request.cateId) < 0)
        return;
    const QString key = QStringLiteral("install:") + request.appId;
    if (!begin(key))
        return;
    const QPointer<AppFlows> self(this);

    // Every record of the category with that id goes, here and on the
    // service, before the service is asked again.
    for (const DesktopAppInfoPtr &old : m_store->apps(request.cateId)) {
        if (old->id != request.appId)
            continue;
        m_service.deleteApp(old->id, old->name);
        if (!self)
            return;
        if (m_store)
            m_store->removeApp(old);
    }

    const DesktopAppInfoPtr app = request.toRecord();
    app->icon = m_service.fetchIcon(request.icon);
    if (!self)
        return;
    const Answer answer = m_service.isInstall(app->id);
    if (!self)
        return;
    end(key);
    if (!answer.answered || !answer.readable)
        return;
    if (answer.code == 200)
        emit downloadRequested(app);
    else if (answer.code == 735)
        emit message(alreadyPresent());
    else
        emit message(addFailed());
}

void AppFlows::installationComplete(DesktopAppInfoPtr app)
{
    if (!app || !m_store || m_store->categoryIndex(app->cateid) < 0)
        return;
    if (m_store->contains(app)) {
        // A watch that sees the program and its desktop shortcut in one look
        // reports twice; the second report only brings the newer path, and
        // registering again would end in "already there".
        m_service.updateInstallState(app->id, app->name, app->install, app->uninstall);
        return;
    }
    const QString key = QStringLiteral("complete:") + app->id;
    if (!begin(key))
        return;
    const QPointer<AppFlows> self(this);
    done("app_install_done", app);

    const Answer added = m_service.addNew(m_companyId, app->id, app->name);
    if (!self)
        return;
    if (!added.answered || (added.readable && added.code != 200)) {
        end(key);
        emit message(added.answered && added.code == 735 ? alreadyPresent() : addFailed());
        return;
    }
    if (!added.readable) {
        end(key);
        return;
    }

    const QString sentInstall = app->install;
    const QString sentUninstall = app->uninstall;
    const Answer state = m_service.updateInstallState(app->id, app->name, app->install, app->uninstall);
    if (!self)
        return;
    if (!state.answered || (state.readable && state.code != 200)) {
        end(key);
        emit message(installFailed());
        return;
    }
    if (!state.readable || !m_store) {
        end(key);
        return;
    }

    // Not in the catalogue yet: the store takes it over with these values.
    app->isinstall = QStringLiteral("1");
    if (!m_store->addApp(app->cateid, app)) {
        end(key);
        return;
    }
    const Answer shown = m_service.setOnDesktop(app->id, 1);
    if (!self)
        return;
    end(key);
    if (shown.answered && m_store)
        m_store->updateApp(app, [](desktopAppInfo &a) { a.isremove = QStringLiteral("1"); });
    // A second report of the watch that came while this one waited was
    // turned away above; its newer paths still reach the service.
    if (app->install != sentInstall || app->uninstall != sentUninstall) {
        m_service.updateInstallState(app->id, app->name, app->install, app->uninstall);
        if (!self)
            return;
    }
    emit reopenRequested();
}

void AppFlows::uninstall(const QString &strJson)
{
    const AppRequest request = AppRequest::parse(strJson);
    if (!request.valid)
        return;
    const DesktopAppInfoPtr app = lookup(request.cateId, request.appId);
    if (!app)
        return;
    if (app->uninstall.isEmpty()) {
        uninstalled(app);
        return;
    }
    // The same split as the desktop's own uninstall: never through a shell.
    const CommandLine command = splitUninstallCommand(app->uninstall);
    if (command.isEmpty())
        return;
    emit uninstallRequested(app, command.program, command.arguments);
}

void AppFlows::uninstalled(DesktopAppInfoPtr app)
{
    if (!app)
        return;
    done("app_uninstall_done", app);
    emit uninstallationComplete(app);
}

void AppFlows::add(const QString &strJson)
{
    markOnDesktop(strJson, true);
}

void AppFlows::remove(const QString &strJson)
{
    markOnDesktop(strJson, false);
}

void AppFlows::markOnDesktop(const QString &strJson, bool onDesktop)
{
    const AppRequest request = AppRequest::parse(strJson);
    if (!request.valid)
        return;
    const DesktopAppInfoPtr app = lookup(request.cateId, request.appId);
    if (!app)
        return;
    const QString key = QStringLiteral("desktop:") + app->id;
    if (!begin(key))
        return;
    const QPointer<AppFlows> self(this);
    const Answer answer = m_service.setOnDesktop(app->id, onDesktop ? 1 : 0);
    if (!self)
        return;
    end(key);
    const QString flag = onDesktop ? QStringLiteral("1") : QStringLiteral("0");
    if (answer.answered && m_store)
        m_store->updateApp(app, [flag](desktopAppInfo &a) { a.isremove = flag; });
    // An add is told to the page whatever the service said; a remove only
    // once the service took it.
    if (onDesktop)
        done("app_add_done", app);
    else if (answer.answered && m_store)
        done("app_remove_done", app);
}

void AppFlows::open(const QString &strJson)
{
    const AppRequest request = AppRequest::parse(strJson);
    if (!request.valid)
        return;
    if (const DesktopAppInfoPtr app = lookup(request.cateId, request.appId))
        emit openRequested(app);
}
