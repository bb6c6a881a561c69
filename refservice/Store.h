#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QString>

#include <mutex>
#include <optional>

// The reference service's state: one SQLite file in the data folder,
// seeded with the demo company on first start. Every method takes the one
// lock, so request threads never interleave inside the database.
class Store
{
public:
    struct User
    {
        QString uid, username, phone, pwdMd5, status, companyId, truename, address, taxNumber,
            appAuth, token;
        bool hasAvatar = false;
    };
    struct Company
    {
        QString id, name;
        bool enabled = false;
    };
    // What an app record in an answer needs besides its stored fields.
    struct Links
    {
        QString base; // "http://127.0.0.1:PORT/"
    };

    Store() = default;
    ~Store();
    Store(const Store &) = delete;
    Store &operator=(const Store &) = delete;

    bool open(const QString &dataDir, QString *error);

    std::optional<User> userByAccount(const QString &key, const QString &account);
    std::optional<User> userByUid(const QString &uid);
    std::optional<Company> company(const QString &id);

    // The user's desktop: categories of the company with the applications on
    // the desktop ("is_remove" 1), in sort order.
    QJsonArray desktopCatalogue(const User &user, const QString &base);
    // A generated catalogue of n applications spread over the company's
    // categories, every icon at an address of its own.
    QJsonArray bulkCatalogue(const User &user, const QString &base, int n);
    // Symbol of a seeded application or category (for its icon); empty when unknown.
    QString appSymbol(const QString &appId);
    QString categorySymbol(const QString &cateId);
    // Name and program file of the application an installer belongs to.
    struct InstallerApp
    {
        QString name, program;
    };
    std::optional<InstallerApp> installerApp(const QString &fileName);
    QJsonArray categoryLinks(const User &user);

    // Application bookkeeping; return the envelope code.
    int isOnUserList(const User &user, const QString &appId);     // 200 or 735
    int addApp(const User &user, const QString &appId, const QString &appName,
               const QString &companyId);                           // 200, 735, 404
    int deleteApp(const User &user, const QString &appId, const QString &appName);
    int setOnDesktop(const User &user, const QString &appId, const QString &isRemove);
    int setInstallState(const User &user, const QString &appId, const QString &appName,
                        const QString &mac, const QString &execPath, const QString &unloadPath);
    int setAppVersion(const User &user, const QString &appId, const QString &appName,
                      const QString &version);
    // The company's applications for the store pages: those of one category
    // (all when cateId is empty) whose name or description holds keywords,
    // or, with mineOnly, only those on the user's list. Each carries the
    // fields an install request sends ("cate_id", "app_id", "app_name", ...)
    // and the user's state: "on_list", "on_desktop", "installed".
    QJsonArray storeApps(const User &user, const QString &cateId, const QString &keywords,
                         bool mineOnly, const QString &base);

    // The stored per-user row, for checks ({} when none).
    QJsonObject userApp(const User &user, const QString &appId);

    QJsonArray notices(const User &user, int page, int pageSize, int *total);
    void addNotice(const QString &companyId, const QString &title, const QString &message,
                   const QString &created);

    // Accounts
    bool setPassword(const QString &uid, const QString &md5);
    bool setTrueName(const QString &uid, const QString &name);
    bool setAvatar(const QString &uid, const QByteArray &png);
    QByteArray avatar(const QString &uid);
    void setAuthCode(const QString &phone, const QString &code);
    QString authCode(const QString &phone);
    std::optional<User> userByPhone(const QString &phone);

    void addReport(const QString &uid, const QString &kind, const QJsonObject &fields);
    QJsonArray reports();

    QString setting(const QString &key, const QString &fallback = QString());
    void setSetting(const QString &key, const QString &value);

private:
    QString m_path;
    std::mutex m_mutex;
};
