#pragma once

#include <QList>
#include <QObject>
#include <QPair>
#include <QString>

// Client of the cloud-desktop HTTP service. A caller makes an instance per
// exchange (or a few in a row); every operation waits for its answer in a
// nested event loop, fills *answer with the answer text and returns true
// only for an HTTP 200 answer that arrived within the time-out. The answer
// is never parsed here; see ServiceEnvelope.
class SrvInterface : public QObject
{
    Q_OBJECT
public:
    static constexpr int kTimeoutMs = 5000;
    static constexpr int kLoginTimeoutMs = 500;
    static constexpr int kUpdateRegionId = 1000001;

    explicit SrvInterface(QObject *parent = nullptr);

    // The identity parameters fixed for this instance ("&i_=..&v_=V..").
    QString clientParams() const { return m_clientParams; }

    // Sign-in and account
    bool login(const QString &account, const QString &password, QString *answer);
    bool logout(const QString &uid, const QString &token, QString *answer);
    bool forgottenPassword(const QString &phone, const QString &authCode,
                           const QString &newPassword, QString *answer);
    bool resetPassword(const QString &uid, const QString &token, const QString &newPassword,
                       const QString &oldPassword, QString *answer);
    bool sendAuthCodeToPhone(const QString &phone, QString *answer);
    bool changeTrueNameByUID(const QString &uid, const QString &token, const QString &oldName,
                             const QString &newName, QString *answer);
    bool updateUserAvatarByUID(const QString &uid, const QString &token,
                               const QString &base64Picture, QString *answer);

    // Software and desktop applications
    bool getNewNSVSoftwareToAll(int regionId, QString *answer);
    bool getCloudDesktopAppFullInfo(const QString &uid, const QString &token, QString *answer);
    bool IsInstallAppInCloudDesktop(const QString &uid, const QString &token,
                                    const QString &appId, QString *answer);
    bool addNewAppToCloudDesktop(const QString &uid, const QString &token,
                                 const QString &companyId, const QString &appId,
                                 const QString &appName, QString *answer);
    bool deletelAppInCloudDesktop(const QString &uid, const QString &token,
                                  const QString &appId, const QString &appName, QString *answer);
    bool IsRemoveAppInCloudDesktop(const QString &uid, const QString &token,
                                   const QString &appId, int isRemove, QString *answer);
    bool UpdateAppInstallSteInCloudDesktop(const QString &uid, const QString &token,
                                           const QString &appId, const QString &appName,
                                           const QString &execPath, const QString &unloadPath,
                                           QString *answer);
    bool UpdateAppVerInCloudDesktop(const QString &uid, const QString &token,
                                    const QString &appId, const QString &appName,
                                    const QString &version, QString *answer);

    // Messages, push and client reports
    bool getSystemNoticeListByUID(const QString &uid, const QString &token, const QString &page,
                                  QString *answer);
    bool getPushSvrIPAddressByTime33Hash(const QString &uid, const QString &token,
                                         QString *answer);
    bool userSystemCollectReported(const QString &uid, const QString &token,
                                   const QString &mac, const QString &ip, const QString &os,
                                   const QString &apps, QString *answer);
    bool userPeripheralCollectReported(const QString &uid, const QString &token,
                                       const QString &name, const QString &model,
                                       const QString &producer, const QString &remarks,
                                       QString *answer);
    bool userActionCollectReported(const QString &uid, const QString &token,
                                   const QString &mac, const QString &app, QString *answer);

    // The one transport routine: POST when body is not empty, else GET.
    // True only for no network error and status 200 within timeoutMs; the
    // answer is empty otherwise. A reply still pending at the time-out is
    // aborted and never reaches a later call.
    bool sendRequest(const QString &url, const QString &body, int timeoutMs, QString *answer);

    // The hardware address sent as i_ and mac: first interface that is up,
    // running and not a loop-back one; empty when none qualifies.
    static QString hardwareAddress();
    // The dv_ text of the running system.
    static QString osDisplayName();
    // The installed version recorded in UpdaterVer.ini beside the executable.
    static QString clientVersion();

private:
    QString userUrl(const char *path, const QString &uid, const QString &token,
                    const QList<QPair<QString, QString>> &extra = {}) const;
    QString plainUrl(const char *path) const;

    QString m_clientParams;
};
