#include "push/core/PushConnection.h"

#include "core/AppPaths.h"
#include "push/PushLog.h"
#include "push/core/PageScript.h"
#include "service/ServiceEnvelope.h"

#include <QFile>

namespace PushConnection {

ServerAddress parseLookup(bool answered, const QString &answer)
{
    if (!answered)
        return {};
    const ServiceEnvelope env = ServiceEnvelope::parse(answer);
    if (!env.isOk())
        return {};
    const QJsonObject data = env.dataObject();
    ServerAddress server{jsonText(data, QStringLiteral("internetIP")), jsonText(data, QStringLiteral("port"))};
    // Half an address is no address: the page is told there is none.
    if (server.address.isEmpty() || server.port.isEmpty())
        return {};
    return server;
}

QString identity(const QString &uid)
{
    return QStringLiteral("NSVIDCODE") + uid;
}

QString connectScript(const ServerAddress &server)
{
    return PageScript::call(QStringLiteral("_connect"), {server.address, server.port});
}

QString identifyScript(const QString &uid)
{
    return PageScript::call(QStringLiteral("setUserLoginUUID"), {identity(uid)});
}

QString connectedText() { return QStringLiteral("连接推送服务器成功"); }
QString reconnectingText() { return QStringLiteral("重连推送服务器"); }
QString failedText() { return QStringLiteral("连接推送服务器失败"); }
QString pushedText() { return QStringLiteral("数据已推送"); }

QString logLine(const QString &uid, const QDateTime &when, const QString &event)
{
    return QStringLiteral("UID=%1      %2       %3")
        .arg(uid, when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), event);
}

QString logFilePath()
{
    return AppPaths::appFilePath(QStringLiteral("PushServerLog.txt"));
}

bool appendLog(const QString &uid, const QString &event, const QString &path, const QDateTime &when)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        qCDebug(lcPush) << "push log not writable:" << path << file.errorString();
        return false;
    }
    const QByteArray line = logLine(uid, when, event).toUtf8() + '\n';
    return file.write(line) == line.size();
}

} // namespace PushConnection
