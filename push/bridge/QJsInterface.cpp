#include "push/bridge/QJsInterface.h"

#include <QCoreApplication>
#include <QPointer>

namespace {

QPointer<QJsInterface> g_instance;

void endInstance()
{
    delete g_instance.data();
}

} // namespace

QJsInterface *QJsInterface::instance()
{
    if (!g_instance) {
        g_instance = new QJsInterface;
        // Ended with the application object, while the event system still
        // runs, rather than by a static destructor after it.
        qAddPostRoutine(endInstance);
    }
    return g_instance;
}

void QJsInterface::connectPushServer(const QString &strJson) { emit sigConnectPushServer(strJson); }
void QJsInterface::disconnectPushServer(const QString &strJson) { emit sigDisconnectPushServer(strJson); }
void QJsInterface::connectFailed(const QString &strJson) { emit sigConnectFailed(strJson); }
void QJsInterface::NSVPush(const QString &strJson) { emit sigNSVPush(strJson); }
void QJsInterface::install(const QString &strJson) { emit sigInstall(strJson); }
void QJsInterface::uninstall(const QString &strJson) { emit sigUninstall(strJson); }
void QJsInterface::add(const QString &strJson) { emit sigAdd(strJson); }
void QJsInterface::remove(const QString &strJson) { emit sigRemove(strJson); }
void QJsInterface::open(const QString &strJson) { emit sigOpen(strJson); }
void QJsInterface::upImage(const QString &strJson) { emit sigUpImage(strJson); }
void QJsInterface::openHtml(const QString &strJson) { emit sigOpenHtml(strJson); }
void QJsInterface::openRenewHtml(const QString &strJson) { emit sigOpenRenewHtml(strJson); }
void QJsInterface::openPayHtml(const QString &strJson) { emit sigOpenPayHtml(strJson); }
