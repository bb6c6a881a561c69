#include "refservice/Store.h"

#include <QCryptographicHash>
#include <QDir>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <atomic>

namespace {

// Qt allows a connection only on the thread that opened it, so every
// request thread gets its own, closed again when the thread ends.
struct ThreadConnection
{
    QString name;
    ~ThreadConnection()
    {
        if (name.isEmpty())
            return;
        {
            QSqlDatabase db = QSqlDatabase::database(name, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(name);
    }
};

QSqlDatabase connectionFor(const QString &path)
{
    static std::atomic<int> counter{0};
    thread_local ThreadConnection conn;
    if (conn.name.isEmpty()) {
        conn.name = QStringLiteral("store-%1").arg(counter++);
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), conn.name);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
        db.open();
    }
    return QSqlDatabase::database(conn.name, false);
}

QString md5(const QByteArray &text)
{
    return QString::fromLatin1(QCryptographicHash::hash(text, QCryptographicHash::Md5).toHex());
}

QString randomHex(int bytes)
{
    QByteArray raw(bytes, 0);
    for (char &c : raw)
        c = char(QRandomGenerator::system()->bounded(256));
    return QString::fromLatin1(raw.toHex());
}

QSqlQuery run(QSqlDatabase db, const QString &sql, const QVariantList &binds = {})
{
    QSqlQuery q(db);
    q.prepare(sql);
    for (const QVariant &v : binds)
        q.addBindValue(v);
    if (!q.exec())
        qWarning("store: %s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
    return q;
}

struct SeedApp
{
    const char *id, *cate, *name, *desc, *type, *execPath, *params, *url, *nosign, *symbol,
        *installer;
    bool onDesktop;
};

// "{base}" stands for the service's own address, known only at run time.
const SeedApp kApps[] = {
    {"a101", "c1", "Word", "文字处理，撰写与排版文档", "2", "/usr/bin/lowriter", "", "", "0", "document", "", true},
    {"a102", "c1", "Excel", "电子表格与数据分析", "2", "/usr/bin/localc", "", "", "0", "sheet", "", true},
    {"a103", "c1", "在线文档", "多人同时编辑的云端文档", "1", "", "", "{base}apps/a103/index.html", "1", "cloud", "", true},
    {"a104", "c1", "会议预约", "预约会议室与日程提醒", "1", "", "", "{base}apps/a104/index.html", "0", "calendar", "", true},
    {"a201", "c2", "速绘画板", "轻量的绘图与草图工具", "2", "suhui", "", "{base}downloads/suhui-setup.sh", "0", "brush", "suhui-setup.sh", true},
    {"a202", "c2", "图片库", "公司共享的图片素材", "1", "", "", "{base}apps/a202/index.html", "1", "picture", "", true},
    {"a203", "c2", "配色手册", "随客户端附带的配色参考", "3", "", "", "/help/colors.html", "0", "palette", "", true},
    {"a301", "c3", "代码仓库", "团队的源代码托管", "1", "", "", "{base}apps/a301/index.html", "1", "code", "", true},
    {"a302", "c3", "终端助手", "带会话管理的终端工具", "2", "zhongduan", "-l", "{base}downloads/zhongduan-setup.sh", "0", "terminal", "zhongduan-setup.sh", true},
    {"a303", "c3", "接口文档", "服务接口说明", "1", "", "", "{base}apps/a303/index.html", "0", "book", "", false},
    {"a401", "c4", "消息公告", "随客户端附带的公告页", "3", "", "", "/cloudNew/index.html", "0", "bell", "", true},
    {"a402", "c4", "记账本", "个人与报销记账", "2", "jizhang", "", "{base}downloads/jizhang-setup.sh", "0", "wallet", "jizhang-setup.sh", true},
    {"a403", "c4", "使用帮助", "客户端使用说明", "3", "", "", "/help/index.html", "0", "help", "", true},
    {"a404", "c4", "报表中心", "部门报表与统计", "1", "", "", "{base}apps/a404/index.html", "1", "chart", "", false},
};

struct SeedCategory
{
    const char *id, *name, *symbol;
    int sort;
};
const SeedCategory kCategories[] = {
    {"c1", "办公", "document", 1},
    {"c2", "设计", "palette", 2},
    {"c3", "开发", "code", 3},
    {"c4", "生活", "globe", 4},
};

QString expand(QString text, const QString &base)
{
    return text.replace(QLatin1String("{base}"), base);
}

Store::User userFrom(const QSqlQuery &q)
{
    Store::User u;
    u.uid = q.value(0).toString();
    u.username = q.value(1).toString();
    u.phone = q.value(2).toString();
    u.pwdMd5 = q.value(3).toString();
    u.status = q.value(4).toString();
    u.companyId = q.value(5).toString();
    u.truename = q.value(6).toString();
    u.address = q.value(7).toString();
    u.taxNumber = q.value(8).toString();
    u.appAuth = q.value(9).toString();
    u.token = q.value(10).toString();
    u.hasAvatar = !q.value(11).isNull();
    return u;
}

const char kUserColumns[] = "uid, username, phone, pwd_md5, status, company_id, truename, address, "
                            "tax_number, app_auth, token, avatar";

} // namespace

Store::~Store() = default;

bool Store::open(const QString &dataDir, QString *error)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!QDir().mkpath(dataDir)) {
        *error = QStringLiteral("cannot create %1").arg(dataDir);
        return false;
    }
    m_path = QDir(dataDir).filePath(QStringLiteral("orvane-service.sqlite"));
    QSqlDatabase db = connectionFor(m_path);
    if (!db.isOpen()) {
        *error = db.lastError().text();
        return false;
    }
    const char *schema[] = {
        "CREATE TABLE IF NOT EXISTS companies(id TEXT PRIMARY KEY, name TEXT, enabled INTEGER)",
        "CREATE TABLE IF NOT EXISTS users(uid TEXT PRIMARY KEY, username TEXT UNIQUE, phone TEXT UNIQUE, "
        "pwd_md5 TEXT, status TEXT, company_id TEXT, truename TEXT, address TEXT, tax_number TEXT, "
        "app_auth TEXT, token TEXT, avatar BLOB)",
        "CREATE TABLE IF NOT EXISTS categories(id TEXT PRIMARY KEY, company_id TEXT, name TEXT, "
        "symbol TEXT, sort INTEGER)",
        "CREATE TABLE IF NOT EXISTS apps(id TEXT PRIMARY KEY, cate_id TEXT, name TEXT, descr TEXT, "
        "type TEXT, exec_path TEXT, params TEXT, url TEXT, nosign TEXT, sort INTEGER, symbol TEXT, "
        "installer TEXT)",
        "CREATE TABLE IF NOT EXISTS user_apps(uid TEXT, app_id TEXT, app_name TEXT, is_install TEXT, "
        "is_remove TEXT, mac TEXT, private_exec_path TEXT, private_unload_path TEXT, app_ver TEXT, "
        "added INTEGER, PRIMARY KEY(uid, app_id))",
        "CREATE TABLE IF NOT EXISTS notices(id INTEGER PRIMARY KEY, company_id TEXT, title TEXT, "
        "message TEXT, created TEXT)",
        "CREATE TABLE IF NOT EXISTS settings(key TEXT PRIMARY KEY, value TEXT)",
        "CREATE TABLE IF NOT EXISTS reports(id INTEGER PRIMARY KEY, uid TEXT, kind TEXT, fields TEXT)",
        "CREATE TABLE IF NOT EXISTS auth_codes(phone TEXT PRIMARY KEY, code TEXT)",
    };
    for (const char *sql : schema) {
        QSqlQuery q(db);
        if (!q.exec(QString::fromLatin1(sql))) {
            *error = q.lastError().text();
            return false;
        }
    }
    QSqlQuery seeded = run(db, QStringLiteral("SELECT value FROM settings WHERE key = 'seeded'"));
    if (seeded.next())
        return true;

    db.transaction();
    run(db, QStringLiteral("INSERT INTO companies VALUES (?, ?, 1)"),
        {QStringLiteral("c100"), QStringLiteral("星河数码科技有限公司")});
    run(db, QStringLiteral("INSERT INTO companies VALUES (?, ?, 0)"),
        {QStringLiteral("c200"), QStringLiteral("停业示例有限公司")});

    const QString pwd = md5("demo1234");
    struct SeedUser { const char *uid, *username, *phone, *status, *company, *truename; };
    const SeedUser users[] = {
        {"u1001", "demo", "13800138000", "ok", "c100", "林一舟"},
        {"u1002", "disabled", "13800138001", "disabled", "c100", "停用示例"},
        {"u1003", "blocked", "13800138002", "blocked", "c100", "冻结示例"},
        {"u1004", "nocompany", "13800138003", "ok", "", "无公司示例"},
        {"u1005", "companyoff", "13800138004", "ok", "c200", "停业公司示例"},
    };
    for (const SeedUser &u : users) {
        run(db, QStringLiteral("INSERT INTO users(uid, username, phone, pwd_md5, status, company_id, "
                               "truename, address, tax_number, app_auth, token) "
                               "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
            {QString::fromUtf8(u.uid), QString::fromUtf8(u.username), QString::fromUtf8(u.phone), pwd,
             QString::fromUtf8(u.status), QString::fromUtf8(u.company), QString::fromUtf8(u.truename),
             QStringLiteral("上海市浦东新区张江路 88 号"), QStringLiteral("91310115MA1H7K2Q8X"),
             QStringLiteral("?app_auth=") + randomHex(8), randomHex(16)});
    }
    for (const SeedCategory &c : kCategories)
        run(db, QStringLiteral("INSERT INTO categories VALUES (?, 'c100', ?, ?, ?)"),
            {QString::fromUtf8(c.id), QString::fromUtf8(c.name), QString::fromUtf8(c.symbol), c.sort});
    int sort = 0;
    for (const SeedApp &a : kApps) {
        ++sort;
        run(db, QStringLiteral("INSERT INTO apps VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
            {QString::fromUtf8(a.id), QString::fromUtf8(a.cate), QString::fromUtf8(a.name),
             QString::fromUtf8(a.desc), QString::fromUtf8(a.type), QString::fromUtf8(a.execPath),
             QString::fromUtf8(a.params), QString::fromUtf8(a.url), QString::fromUtf8(a.nosign), sort,
             QString::fromUtf8(a.symbol), QString::fromUtf8(a.installer)});
        if (!a.onDesktop)
            continue;
        // Office programs ship with the system; the others wait for their
        // installer.
        const bool preinstalled = QByteArray(a.type) != "2" || QByteArray(a.installer).isEmpty();
        for (const char *uid : {"u1001"}) {
            run(db, QStringLiteral("INSERT INTO user_apps VALUES (?, ?, ?, ?, '1', '', '', '', '', ?)"),
                {QString::fromUtf8(uid), QString::fromUtf8(a.id), QString::fromUtf8(a.name),
                 preinstalled ? QStringLiteral("1") : QStringLiteral("0"), sort});
        }
    }
    const char *notices[][3] = {
        {"系统维护通知", "本周六 22:00 至 24:00 进行系统维护，期间云桌面暂停服务。", "2026-12-01 09:30:00"},
        {"新应用上架", "“报表中心”已上架应用中心，欢迎安装使用。", "2026-12-02 10:00:00"},
        {"安全提醒", "请勿向任何人透露账号密码。", "2026-12-03 14:20:00"},
        {"年会报名", "公司年会报名已开始，请在 12 月 20 日前完成。", "2026-12-04 16:45:00"},
        {"办公软件升级", "Word 与 Excel 已升级到新版本。", "2026-12-05 08:15:00"},
        {"网络调整", "办公区无线网络将于下周一切换。", "2026-12-06 11:00:00"},
        {"报销提醒", "本月报销请于 25 日前提交。", "2026-12-07 09:00:00"},
        {"培训通知", "新员工云桌面培训安排在周三下午。", "2026-12-08 13:30:00"},
        {"节假日安排", "元旦放假 1 月 1 日至 1 月 3 日。", "2026-12-09 17:00:00"},
        {"资料归档", "请将年度资料归档到共享盘。", "2026-12-10 10:10:00"},
        {"意见征集", "欢迎对云桌面提出改进建议。", "2026-12-11 15:00:00"},
        {"值班安排", "节日期间的值班表已发布。", "2026-12-12 18:00:00"},
    };
    for (const auto &n : notices)
        run(db, QStringLiteral("INSERT INTO notices(company_id, title, message, created) VALUES ('c100', ?, ?, ?)"),
            {QString::fromUtf8(n[0]), QString::fromUtf8(n[1]), QString::fromUtf8(n[2])});
    run(db, QStringLiteral("INSERT INTO settings VALUES ('seeded', '1')"));
    if (!db.commit()) {
        *error = db.lastError().text();
        return false;
    }
    return true;
}

std::optional<Store::User> Store::userByAccount(const QString &key, const QString &account)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const QString column = key == QLatin1String("phone") ? QStringLiteral("phone") : QStringLiteral("username");
    QSqlQuery q = run(connectionFor(m_path),
                      QStringLiteral("SELECT %1 FROM users WHERE %2 = ?").arg(QLatin1String(kUserColumns), column),
                      {account});
    if (!q.next())
        return std::nullopt;
    return userFrom(q);
}

std::optional<Store::User> Store::userByUid(const QString &uid)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    QSqlQuery q = run(connectionFor(m_path),
                      QStringLiteral("SELECT %1 FROM users WHERE uid = ?").arg(QLatin1String(kUserColumns)),
                      {uid});
    if (!q.next())
        return std::nullopt;
    return userFrom(q);
}

std::optional<Store::User> Store::userByPhone(const QString &phone)
{
    return userByAccount(QStringLiteral("phone"), phone);
}

std::optional<Store::Company> Store::company(const QString &id)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    QSqlQuery q = run(connectionFor(m_path), QStringLiteral("SELECT id, name, enabled FROM companies WHERE id = ?"), {id});
    if (!q.next())
        return std::nullopt;
    return Company{q.value(0).toString(), q.value(1).toString(), q.value(2).toInt() != 0};
}

QJsonArray Store::desktopCatalogue(const User &user, const QString &base)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    QSqlDatabase db = connectionFor(m_path);
    QJsonArray categories;
    QSqlQuery cq = run(db, QStringLiteral("SELECT id, name FROM categories WHERE company_id = ? ORDER BY sort"),
                       {user.companyId});
    while (cq.next()) {
        const QString cateId = cq.value(0).toString();
        QJsonArray children;
        QSqlQuery aq = run(db, QStringLiteral(
            "SELECT a.id, a.cate_id, a.name, a.descr, a.type, a.exec_path, a.params, a.url, a.nosign, "
            "a.sort, u.is_install, u.is_remove, u.private_exec_path, u.private_unload_path, u.app_name "
            "FROM user_apps u JOIN apps a ON a.id = u.app_id "
            "WHERE u.uid = ? AND a.cate_id = ? AND u.is_remove = '1' ORDER BY a.sort, u.added"),
            {user.uid, cateId});
        while (aq.next()) {
            const QString id = aq.value(0).toString();
            QJsonObject app{
                {QStringLiteral("id"), id},
                {QStringLiteral("cate_id"), aq.value(1).toString()},
                {QStringLiteral("name"), aq.value(2).toString()},
                {QStringLiteral("desc"), aq.value(3).toString()},
                {QStringLiteral("type"), aq.value(4).toString()},
                {QStringLiteral("exec_path"), aq.value(5).toString()},
                {QStringLiteral("params"), aq.value(6).toString()},
                {QStringLiteral("url"), expand(aq.value(7).toString(), base)},
                {QStringLiteral("nosign"), aq.value(8).toString()},
                {QStringLiteral("sort"), aq.value(9).toString()},
                {QStringLiteral("is_install"), aq.value(10).toString()},
                {QStringLiteral("is_remove"), aq.value(11).toString()},
                {QStringLiteral("icon"), base + QStringLiteral("images/app/%1/icon.png").arg(id)},
            };
            // Paths found on the user's computer exist only after an installation.
            if (!aq.value(12).toString().isEmpty())
                app.insert(QStringLiteral("private_exec_path"), aq.value(12).toString());
            if (!aq.value(13).toString().isEmpty())
                app.insert(QStringLiteral("private_unload_path"), aq.value(13).toString());
            children.append(app);
        }
        categories.append(QJsonObject{
            {QStringLiteral("id"), cateId},
            {QStringLiteral("name"), cq.value(1).toString()},
            {QStringLiteral("icon"), base + QStringLiteral("images/category/%1/icon.png").arg(cateId)},
            {QStringLiteral("child"), children},
        });
    }
    return categories;
}

QJsonArray Store::bulkCatalogue(const User &user, const QString &base, int n)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    QSqlDatabase db = connectionFor(m_path);
    QList<QPair<QString, QString>> cats;
    QSqlQuery cq = run(db, QStringLiteral("SELECT id, name FROM categories WHERE company_id = ? ORDER BY sort"),
                       {user.companyId});
    while (cq.next())
        cats.append({cq.value(0).toString(), cq.value(1).toString()});
    if (cats.isEmpty())
        return QJsonArray();
    QVector<QJsonArray> children(cats.size());
    for (int i = 0; i < n; ++i) {
        const int c = i % cats.size();
        const QString id = QStringLiteral("b%1").arg(i + 1);
        children[c].append(QJsonObject{
            {QStringLiteral("id"), id},
            {QStringLiteral("cate_id"), cats.at(c).first},
            {QStringLiteral("name"), QStringLiteral("示例应用 %1").arg(i + 1)},
            {QStringLiteral("desc"), QStringLiteral("批量生成的示例应用")},
            {QStringLiteral("type"), QStringLiteral("1")},
            {QStringLiteral("exec_path"), QString()},
            {QStringLiteral("params"), QString()},
            {QStringLiteral("url"), base + QStringLiteral("apps/%1/index.html").arg(id)},
            {QStringLiteral("nosign"), QStringLiteral("0")},
            {QStringLiteral("sort"), QString::number(i + 1)},
            {QStringLiteral("is_install"), QStringLiteral("1")},
            {QStringLiteral("is_remove"), QStringLiteral("1")},
            {QStringLiteral("icon"), base + QStringLiteral("images/bulk/%1/icon.png").arg(i + 1)},
        });
    }
    QJsonArray categories;
    for (int c = 0; c < cats.size(); ++c)
        categories.append(QJsonObject{
            {QStringLiteral("id"), cats.at(c).first},
            {QStringLiteral("name"), cats.at(c).second},
            {QStringLiteral("icon"), base + QStringLiteral("images/category/%1/icon.png").arg(cats.at(c).first)},
            {QStringLiteral("child"), children.at(c)},
        });
    return categories;
}

QString Store::appSymbol(const QString &appId)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    QSqlQuery q = run(connectionFor(m_path), QStringLiteral("SELECT symbol FROM apps WHERE id = ?"), {appId});
    return q.next() ? q.value(0).toString() : QString();
}

QString Store::categorySymbol(const QString &cateId)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    QSqlQuery q = run(connectionFor(m_path), QStringLiteral("SELECT symbol FROM categories WHERE id = ?"), {cateId});
    return q.next() ? q.value(0).toString() : QString();
}

std::optional<Store::InstallerApp> Store::installerApp(const QString &fileName)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    QSqlQuery q = run(connectionFor(m_path),
                      QStringLiteral("SELECT name, exec_path FROM apps WHERE installer = ? AND installer <> ''"),
                      {fileName});
    if (!q.next())
        return std::nullopt;
    return InstallerApp{q.value(0).toString(), q.value(1).toString()};
}

QJsonArray Store::categoryLinks(const User &user)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    QJsonArray links;
    QSqlQuery q = run(connectionFor(m_path),
                      QStringLiteral("SELECT id, name FROM categories WHERE company_id = ? ORDER BY sort"),
                      {user.companyId});
    while (q.next())
        links.append(QJsonObject{{QStringLiteral("id"), q.value(0).toString()},
                                 {QStringLiteral("name"), q.value(1).toString()}});
    return links;
}

int Store::isOnUserList(const User &user, const QString &appId)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    QSqlQuery q = run(connectionFor(m_path), QStringLiteral("SELECT 1 FROM user_apps WHERE uid = ? AND app_id = ?"),
                      {user.uid, appId});
    return q.next() ? 735 : 200;
}

int Store::addApp(const User &user, const QString &appId, const QString &appName,
                  const QString &companyId)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    QSqlDatabase db = connectionFor(m_path);
    if (companyId != user.companyId)
        return 403;
    if (!run(db, QStringLiteral("SELECT 1 FROM apps WHERE id = ?"), {appId}).next())
        return 404;
    if (run(db, QStringLiteral("SELECT 1 FROM user_apps WHERE uid = ? AND app_id = ?"), {user.uid, appId}).next())
        return 735;
    QSqlQuery next = run(db, QStringLiteral("SELECT COALESCE(MAX(added), 0) + 1 FROM user_apps"));
    const int added = next.next() ? next.value(0).toInt() : 1;
    run(db, QStringLiteral("INSERT INTO user_apps VALUES (?, ?, ?, '0', '0', '', '', '', '', ?)"),
        {user.uid, appId, appName, added});
    return 200;
}

int Store::deleteApp(const User &user, const QString &appId, const QString &appName)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    Q_UNUSED(appName)
    QSqlQuery q = run(connectionFor(m_path), QStringLiteral("DELETE FROM user_apps WHERE uid = ? AND app_id = ?"),
                      {user.uid, appId});
    return q.numRowsAffected() > 0 ? 200 : 404;
}

int Store::setOnDesktop(const User &user, const QString &appId, const QString &isRemove)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    QSqlQuery q = run(connectionFor(m_path),
                      QStringLiteral("UPDATE user_apps SET is_remove = ? WHERE uid = ? AND app_id = ?"),
                      {isRemove, user.uid, appId});
    return q.numRowsAffected() > 0 ? 200 : 404;
}

int Store::setInstallState(const User &user, const QString &appId, const QString &appName,
                           const QString &mac, const QString &execPath, const QString &unloadPath)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    QSqlQuery q = run(connectionFor(m_path),
                      QStringLiteral("UPDATE user_apps SET is_install = '1', app_name = ?, mac = ?, "
                                     "private_exec_path = ?, private_unload_path = ? WHERE uid = ? AND app_id = ?"),
                      {appName, mac, execPath, unloadPath, user.uid, appId});
    return q.numRowsAffected() > 0 ? 200 : 404;
}

int Store::setAppVersion(const User &user, const QString &appId, const QString &appName,
                         const QString &version)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    QSqlQuery q = run(connectionFor(m_path),
                      QStringLiteral("UPDATE user_apps SET app_ver = ?, app_name = ? WHERE uid = ? AND app_id = ?"),
                      {version, appName, user.uid, appId});
    return q.numRowsAffected() > 0 ? 200 : 404;
}

QJsonArray Store::storeApps(const User &user, const QString &cateId, const QString &keywords,
                           bool mineOnly, const QString &base)
{
    // A null text would bind as SQL NULL, which equals nothing, not even ''.
    const QString cate = cateId.isNull() ? QStringLiteral("") : cateId;
    const QString words = keywords.isNull() ? QStringLiteral("") : keywords;
    std::lock_guard<std::mutex> lock(m_mutex);
    QSqlDatabase db = connectionFor(m_path);
    QSqlQuery q = run(db, QStringLiteral(
        "SELECT a.id, a.cate_id, a.name, a.descr, a.type, a.exec_path, a.params, a.url, a.nosign, "
        "a.sort, u.app_id IS NOT NULL, COALESCE(u.is_remove, '0'), COALESCE(u.is_install, '0') "
        "FROM apps a JOIN categories c ON c.id = a.cate_id "
        "LEFT JOIN user_apps u ON u.app_id = a.id AND u.uid = ? "
        "WHERE c.company_id = ? AND (? = '' OR a.cate_id = ?) "
        "AND (? = '' OR instr(a.name, ?) > 0 OR instr(a.descr, ?) > 0) "
        "ORDER BY c.sort, a.sort"),
        {user.uid, user.companyId, cate, cate, words, words, words});
    QJsonArray apps;
    while (q.next()) {
        const bool onList = q.value(10).toBool();
        if (mineOnly && !onList)
            continue;
        const QString id = q.value(0).toString();
        apps.append(QJsonObject{
            {QStringLiteral("app_id"), id},
            {QStringLiteral("cate_id"), q.value(1).toString()},
            {QStringLiteral("app_name"), q.value(2).toString()},
            {QStringLiteral("desc"), q.value(3).toString()},
            {QStringLiteral("type"), q.value(4).toString()},
            {QStringLiteral("exec_path"), q.value(5).toString()},
            {QStringLiteral("params"), q.value(6).toString()},
            {QStringLiteral("url"), expand(q.value(7).toString(), base)},
            {QStringLiteral("nosign"), q.value(8).toString()},
            {QStringLiteral("sort"), q.value(9).toString()},
            {QStringLiteral("is_remove"), QStringLiteral("1")},
            {QStringLiteral("icon"), base + QStringLiteral("images/app/%1/icon.png").arg(id)},
            {QStringLiteral("on_list"), onList},
            {QStringLiteral("on_desktop"), onList && q.value(11).toString() == QLatin1String("1")},
            {QStringLiteral("installed"), onList && q.value(12).toString() == QLatin1String("1")},
        });
    }
    return apps;
}

QJsonObject Store::userApp(const User &user, const QString &appId)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    QSqlQuery q = run(connectionFor(m_path),
                      QStringLiteral("SELECT app_name, is_install, is_remove, mac, private_exec_path, "
                                     "private_unload_path, app_ver FROM user_apps WHERE uid = ? AND app_id = ?"),
                      {user.uid, appId});
    if (!q.next())
        return QJsonObject();
    return QJsonObject{{QStringLiteral("app_name"), q.value(0).toString()},
                       {QStringLiteral("is_install"), q.value(1).toString()},
                       {QStringLiteral("is_remove"), q.value(2).toString()},
                       {QStringLiteral("mac"), q.value(3).toString()},
                       {QStringLiteral("private_exec_path"), q.value(4).toString()},
                       {QStringLiteral("private_unload_path"), q.value(5).toString()},
                       {QStringLiteral("app_ver"), q.value(6).toString()}};
}

QJsonArray Store::notices(const User &user, int page, int pageSize, int *total)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    QSqlDatabase db = connectionFor(m_path);
    QSqlQuery count = run(db, QStringLiteral("SELECT COUNT(*) FROM notices WHERE company_id = ?"), {user.companyId});
    *total = count.next() ? count.value(0).toInt() : 0;
    QJsonArray items;
    QSqlQuery q = run(db, QStringLiteral("SELECT title, message, created FROM notices WHERE company_id = ? "
                                         "ORDER BY created DESC, id DESC LIMIT ? OFFSET ?"),
                      {user.companyId, pageSize, (page - 1) * pageSize});
    while (q.next())
        items.append(QJsonObject{{QStringLiteral("title"), q.value(0).toString()},
                                 {QStringLiteral("message"), q.value(1).toString()},
                                 {QStringLiteral("created"), q.value(2).toString()}});
    return items;
}

void Store::addNotice(const QString &companyId, const QString &title, const QString &message,
                      const QString &created)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    run(connectionFor(m_path),
        QStringLiteral("INSERT INTO notices(company_id, title, message, created) VALUES (?, ?, ?, ?)"),
        {companyId, title, message, created});
}

bool Store::setPassword(const QString &uid, const QString &md5Hex)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return run(connectionFor(m_path), QStringLiteral("UPDATE users SET pwd_md5 = ? WHERE uid = ?"), {md5Hex, uid})
               .numRowsAffected() > 0;
}

bool Store::setTrueName(const QString &uid, const QString &name)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return run(connectionFor(m_path), QStringLiteral("UPDATE users SET truename = ? WHERE uid = ?"), {name, uid})
               .numRowsAffected() > 0;
}

bool Store::setAvatar(const QString &uid, const QByteArray &png)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return run(connectionFor(m_path), QStringLiteral("UPDATE users SET avatar = ? WHERE uid = ?"), {png, uid})
               .numRowsAffected() > 0;
}

QByteArray Store::avatar(const QString &uid)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    QSqlQuery q = run(connectionFor(m_path), QStringLiteral("SELECT avatar FROM users WHERE uid = ?"), {uid});
    return q.next() ? q.value(0).toByteArray() : QByteArray();
}

void Store::setAuthCode(const QString &phone, const QString &code)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    run(connectionFor(m_path), QStringLiteral("INSERT OR REPLACE INTO auth_codes VALUES (?, ?)"), {phone, code});
}

QString Store::authCode(const QString &phone)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    QSqlQuery q = run(connectionFor(m_path), QStringLiteral("SELECT code FROM auth_codes WHERE phone = ?"), {phone});
    return q.next() ? q.value(0).toString() : QString();
}

void Store::addReport(const QString &uid, const QString &kind, const QJsonObject &fields)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    run(connectionFor(m_path), QStringLiteral("INSERT INTO reports(uid, kind, fields) VALUES (?, ?, ?)"),
        {uid, kind, QString::fromUtf8(QJsonDocument(fields).toJson(QJsonDocument::Compact))});
}

QJsonArray Store::reports()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    QJsonArray all;
    QSqlQuery q = run(connectionFor(m_path), QStringLiteral("SELECT uid, kind, fields FROM reports ORDER BY id"));
    while (q.next())
        all.append(QJsonObject{{QStringLiteral("uid"), q.value(0).toString()},
                               {QStringLiteral("kind"), q.value(1).toString()},
                               {QStringLiteral("fields"),
                                QJsonDocument::fromJson(q.value(2).toString().toUtf8()).object()}});
    return all;
}

QString Store::setting(const QString &key, const QString &fallback)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    QSqlQuery q = run(connectionFor(m_path), QStringLiteral("SELECT value FROM settings WHERE key = ?"), {key});
    return q.next() ? q.value(0).toString() : fallback;
}

void Store::setSetting(const QString &key, const QString &value)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    run(connectionFor(m_path), QStringLiteral("INSERT OR REPLACE INTO settings VALUES (?, ?)"), {key, value});
}
