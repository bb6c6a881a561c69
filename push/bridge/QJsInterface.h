#pragma once

#include <QObject>
#include <QString>

// The one object pages call native code through, published as
// "QJsInterface" on every bridged page's web channel. Each slot only
// re-emits its argument as the signal of the same meaning; the windows
// that handle a call connect to the signal. Calls nobody listens to are
// dropped.
class QJsInterface : public QObject
{
    Q_OBJECT

public:
    // The process-wide instance, made on first use and ended at exit.
    static QJsInterface *instance();

signals:
    void sigConnectPushServer(const QString &strJson);
    void sigDisconnectPushServer(const QString &strJson);
    void sigConnectFailed(const QString &strJson);
    void sigNSVPush(const QString &strJson);
    void sigInstall(const QString &strJson);
    void sigUninstall(const QString &strJson);
    void sigAdd(const QString &strJson);
    void sigRemove(const QString &strJson);
    void sigOpen(const QString &strJson);
    void sigUpImage(const QString &strJson);
    void sigOpenHtml(const QString &strJson);
    void sigOpenRenewHtml(const QString &strJson);
    void sigOpenPayHtml(const QString &strJson);

public slots:
    void connectPushServer(const QString &strJson);
    void disconnectPushServer(const QString &strJson);
    void connectFailed(const QString &strJson);
    void NSVPush(const QString &strJson);
    void install(const QString &strJson);
    void uninstall(const QString &strJson);
    void add(const QString &strJson);
    void remove(const QString &strJson);
    void open(const QString &strJson);
    void upImage(const QString &strJson);
    void openHtml(const QString &strJson);
    void openRenewHtml(const QString &strJson);
    void openPayHtml(const QString &strJson);

private:
    QJsInterface() = default;
};
