#include "tests/support/RefServiceProcess.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>
#include <QUrlQuery>

namespace {

QString servicePath()
{
    QString dir = qEnvironmentVariable("ORVANE_BIN_DIR");
    if (dir.isEmpty())
        dir = QCoreApplication::applicationDirPath() + QStringLiteral("/../bin");
    return QDir(dir).filePath(QStringLiteral("orvane-service"));
}

QByteArray formBody(const QList<QPair<QString, QString>> &params)
{
    QByteArray body;
    for (const auto &p : params) {
        if (!body.isEmpty())
            body += '&';
        body += QUrl::toPercentEncoding(p.first) + '=' + QUrl::toPercentEncoding(p.second);
    }
    return body;
}

} // namespace

RefServiceProcess::RefServiceProcess(const QString &dataDir)
{
    if (dataDir.isEmpty()) {
        m_tempDir = std::make_unique<QTemporaryDir>();
        m_dataDir = m_tempDir->path();
    } else {
        m_dataDir = dataDir;
    }
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(servicePath(), {QStringLiteral("--port"), QStringLiteral("0"),
                                    QStringLiteral("--data"), m_dataDir,
                                    QStringLiteral("--with-parent")});
    if (!m_process.waitForStarted(5000)) {
        m_error = QStringLiteral("cannot start %1: %2").arg(servicePath(), m_process.errorString());
        return;
    }
    QByteArray line;
    QDeadlineTimer deadline(15000);
    while (!line.contains('\n') && !deadline.hasExpired()) {
        if (!m_process.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime()))))
            break;
        line += m_process.readAll();
    }
    const QString first = QString::fromUtf8(line.left(line.indexOf('\n'))).trimmed();
    if (!first.startsWith(QLatin1String("http://")) || !first.endsWith(QLatin1Char('/'))) {
        m_error = QStringLiteral("no base address from the service, got \"%1\"").arg(first);
        return;
    }
    m_baseUrl = first;
}

RefServiceProcess::~RefServiceProcess()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(2000);
        }
    }
}

QByteArray RefServiceProcess::exchange(const QString &method, const QString &pathAndQuery,
                                       const QByteArray &body, int *status) const
{
    if (status)
        *status = 0;
    if (!isRunning())
        return QByteArray();
    // A manager of its own, so that the admin traffic shares nothing with
    // the client code under test.
    QNetworkAccessManager manager;
    QNetworkRequest request(QUrl(m_baseUrl + pathAndQuery));
    request.setHeader(QNetworkRequest::ContentTypeHeader,
                      QStringLiteral("application/x-www-form-urlencoded"));
    QNetworkReply *reply = method == QLatin1String("POST") ? manager.post(request, body)
                                                           : manager.get(request);
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    timer.start(30000);
    if (!reply->isFinished())
        loop.exec();
    QByteArray answer;
    if (reply->isFinished()) {
        answer = reply->readAll();
        if (status)
            *status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    } else {
        reply->abort();
    }
    delete reply;
    return answer;
}

QByteArray RefServiceProcess::get(const QString &pathAndQuery, int *status) const
{
    return exchange(QStringLiteral("GET"), pathAndQuery, QByteArray(), status);
}

QByteArray RefServiceProcess::post(const QString &pathAndQuery, const QByteArray &body,
                                   int *status) const
{
    return exchange(QStringLiteral("POST"), pathAndQuery, body, status);
}

bool RefServiceProcess::admin(const QString &name,
                              const QList<QPair<QString, QString>> &params) const
{
    int status = 0;
    const QByteArray answer = post(QStringLiteral("__admin/") + name, formBody(params), &status);
    if (status != 200)
        return false;
    return QJsonDocument::fromJson(answer).object().value(QLatin1String("code")).toInt() == 200;
}

bool RefServiceProcess::setDelay(int ms)
{
    return admin(QStringLiteral("delay"), {{QStringLiteral("ms"), QString::number(ms)}});
}

bool RefServiceProcess::setImageDelay(int ms)
{
    return admin(QStringLiteral("imageDelay"), {{QStringLiteral("ms"), QString::number(ms)}});
}

bool RefServiceProcess::setHttpStatus(int status)
{
    return admin(QStringLiteral("status"), {{QStringLiteral("code"), QString::number(status)}});
}

bool RefServiceProcess::setImageStatus(int status)
{
    return admin(QStringLiteral("imageStatus"), {{QStringLiteral("code"), QString::number(status)}});
}

bool RefServiceProcess::setRawUtf8(bool on)
{
    return admin(QStringLiteral("rawUtf8"), {{QStringLiteral("on"), on ? QStringLiteral("1") : QStringLiteral("0")}});
}

bool RefServiceProcess::setDropConnection(bool on)
{
    return admin(QStringLiteral("drop"), {{QStringLiteral("on"), on ? QStringLiteral("1") : QStringLiteral("0")}});
}

bool RefServiceProcess::setImageHang(bool on)
{
    return admin(QStringLiteral("imageHang"), {{QStringLiteral("on"), on ? QStringLiteral("1") : QStringLiteral("0")}});
}

bool RefServiceProcess::setOfferedVersion(const QString &version, const QString &downloadUrl)
{
    QList<QPair<QString, QString>> params{{QStringLiteral("number"), version}};
    if (!downloadUrl.isEmpty())
        params.append({QStringLiteral("url"), downloadUrl});
    return admin(QStringLiteral("version"), params);
}

bool RefServiceProcess::setIgnoreRange(bool on)
{
    return admin(QStringLiteral("ignoreRange"), {{QStringLiteral("on"), on ? QStringLiteral("1") : QStringLiteral("0")}});
}

bool RefServiceProcess::setStallAfter(qint64 bytes)
{
    if (bytes < 0)
        return admin(QStringLiteral("stallAfter"), {{QStringLiteral("on"), QStringLiteral("0")}});
    return admin(QStringLiteral("stallAfter"), {{QStringLiteral("bytes"), QString::number(bytes)}});
}

bool RefServiceProcess::setDropAfter(qint64 bytes)
{
    if (bytes < 0)
        return admin(QStringLiteral("dropAfter"), {{QStringLiteral("on"), QStringLiteral("0")}});
    return admin(QStringLiteral("dropAfter"), {{QStringLiteral("bytes"), QString::number(bytes)}});
}

bool RefServiceProcess::setFileRevision(int n)
{
    return admin(QStringLiteral("fileRevision"), {{QStringLiteral("n"), QString::number(n)}});
}

bool RefServiceProcess::setInstallerSize(qint64 bytes)
{
    return admin(QStringLiteral("installerSize"), {{QStringLiteral("bytes"), QString::number(bytes)}});
}

bool RefServiceProcess::setUpdatePackage(const QString &mode, const QString &from, qint64 bytesPerSecond)
{
    QList<QPair<QString, QString>> params{{QStringLiteral("mode"), mode}};
    if (!from.isEmpty())
        params.append({QStringLiteral("from"), from});
    if (bytesPerSecond > 0)
        params.append({QStringLiteral("bytesPerSecond"), QString::number(bytesPerSecond)});
    return admin(QStringLiteral("updatePackage"), params);
}

QString RefServiceProcess::packageUrl(const QString &version) const
{
    return m_baseUrl + QStringLiteral("downloads/OrvaneDesk-%1.tar.gz").arg(version);
}

QString RefServiceProcess::installerUrl(const QString &name) const
{
    return m_baseUrl + QStringLiteral("downloads/") + name;
}

QString RefServiceProcess::blobUrl(qint64 bytes) const
{
    return m_baseUrl + QStringLiteral("downloads/blob-%1.bin").arg(bytes);
}

bool RefServiceProcess::setCatalogueSize(int apps)
{
    return admin(QStringLiteral("catalogue"), {{QStringLiteral("apps"), QString::number(apps)}});
}

static QList<QPair<QString, QString>> hugeParams(qint64 bytes, RefServiceProcess::Huge how)
{
    return {{QStringLiteral("bytes"), QString::number(bytes)},
            {QStringLiteral("deflate"), how == RefServiceProcess::Huge::Deflated ? QStringLiteral("1") : QStringLiteral("0")},
            {QStringLiteral("gzip"), how == RefServiceProcess::Huge::Gzipped ? QStringLiteral("1") : QStringLiteral("0")},
            {QStringLiteral("endless"), how == RefServiceProcess::Huge::Endless ? QStringLiteral("1") : QStringLiteral("0")}};
}

bool RefServiceProcess::setHugeAnswer(qint64 bytes, Huge how)
{
    return admin(QStringLiteral("hugeAnswer"), hugeParams(bytes, how));
}

bool RefServiceProcess::setHugeImage(qint64 bytes, Huge how)
{
    return admin(QStringLiteral("hugeImage"), hugeParams(bytes, how));
}

bool RefServiceProcess::reset()
{
    return admin(QStringLiteral("reset"));
}

bool RefServiceProcess::clearRecord()
{
    return admin(QStringLiteral("clearRecord"));
}

QJsonArray RefServiceProcess::received() const
{
    const QByteArray answer = get(QStringLiteral("__admin/record"));
    return QJsonDocument::fromJson(answer).object().value(QLatin1String("data")).toArray();
}

QJsonObject RefServiceProcess::lastReceived(const QString &path) const
{
    const QJsonArray all = received();
    for (int i = all.size() - 1; i >= 0; --i) {
        const QJsonObject entry = all.at(i).toObject();
        if (entry.value(QLatin1String("path")).toString() == path)
            return entry;
    }
    return QJsonObject();
}

QPair<QString, QString> RefServiceProcess::demoCredentials(const QString &account) const
{
    const qint64 t = QDateTime::currentSecsSinceEpoch();
    const QString query = QStringLiteral("NSVUserService/login/json?t_=%1&p_=%2&i_=&d_=linux&dv_=&v_=V")
                              .arg(t)
                              .arg(3 * (t % 10000) + 2345);
    bool digits = true;
    for (const QChar c : account)
        digits = digits && c.isDigit();
    const QByteArray pwd =
        QCryptographicHash::hash("demo1234", QCryptographicHash::Md5).toHex();
    const QByteArray body = (digits ? "phone=" : "username=") + QUrl::toPercentEncoding(account)
        + "&pwd=" + pwd;
    const QJsonObject data =
        QJsonDocument::fromJson(post(query, body)).object().value(QLatin1String("data")).toObject();
    return {data.value(QLatin1String("uid")).toString(), data.value(QLatin1String("token")).toString()};
}

QJsonValue RefServiceProcess::adminData(const QString &pathAndQuery) const
{
    return QJsonDocument::fromJson(get(QStringLiteral("__admin/") + pathAndQuery)).object().value(QLatin1String("data"));
}

QJsonObject RefServiceProcess::userApp(const QString &uid, const QString &appId) const
{
    return adminData(QStringLiteral("userApp?uid=%1&app_id=%2")
                         .arg(QString::fromLatin1(QUrl::toPercentEncoding(uid)),
                              QString::fromLatin1(QUrl::toPercentEncoding(appId))))
        .toObject();
}

QJsonObject RefServiceProcess::push(const QList<QPair<QString, QString>> &params) const
{
    int status = 0;
    const QJsonObject answer =
        QJsonDocument::fromJson(post(QStringLiteral("__admin/push"), formBody(params), &status)).object();
    if (status != 200 || answer.value(QLatin1String("code")).toInt() != 200)
        return QJsonObject();
    return answer.value(QLatin1String("data")).toObject();
}

QString RefServiceProcess::pushNotice(const QString &uid, const QString &title, const QString &content,
                                      const QString &uuid) const
{
    QList<QPair<QString, QString>> params{{QStringLiteral("uid"), uid},
                                          {QStringLiteral("kind"), QStringLiteral("notice")},
                                          {QStringLiteral("title"), title},
                                          {QStringLiteral("content"), content},
                                          // After every seeded notice, whatever today's date.
                                          {QStringLiteral("created"), QStringLiteral("2099-01-01 00:00:00")}};
    if (!uuid.isEmpty())
        params.append({QStringLiteral("uuid"), uuid});
    return push(params).value(QLatin1String("uuid")).toString();
}

QString RefServiceProcess::pushOffer(const QString &uid, const QList<QPair<QString, QString>> &fields,
                                     const QString &uuid) const
{
    QList<QPair<QString, QString>> params{{QStringLiteral("uid"), uid},
                                          {QStringLiteral("kind"), QStringLiteral("app")}};
    params += fields;
    if (!uuid.isEmpty())
        params.append({QStringLiteral("uuid"), uuid});
    return push(params).value(QLatin1String("uuid")).toString();
}

bool RefServiceProcess::dropPushConnections()
{
    return admin(QStringLiteral("pushDrop"));
}

bool RefServiceProcess::setPushServerRunning(bool running)
{
    return admin(QStringLiteral("pushServer"), {{QStringLiteral("on"), running ? QStringLiteral("1") : QStringLiteral("0")}});
}

bool RefServiceProcess::setPushMuted(bool on)
{
    return admin(QStringLiteral("pushMute"), {{QStringLiteral("on"), on ? QStringLiteral("1") : QStringLiteral("0")}});
}

bool RefServiceProcess::setPushLookup(const QString &form)
{
    return admin(QStringLiteral("pushLookup"), {{QStringLiteral("form"), form}});
}

bool RefServiceProcess::setPushPort(int port)
{
    return admin(QStringLiteral("pushPort"), {{QStringLiteral("port"), QString::number(port)}});
}

QStringList RefServiceProcess::pushIdentifiedUsers() const
{
    QStringList users;
    const QJsonArray identified = adminData(QStringLiteral("pushClients")).toObject().value(QLatin1String("identified")).toArray();
    for (const QJsonValue &v : identified)
        users.append(v.toString());
    return users;
}
