#pragma once

#include <QDateTime>
#include <QString>

// What the desktop window needs to run the push page, without windows.
namespace PushConnection {

// Where the push server is, as the address lookup answered it. Both empty
// when the lookup failed in any way; the page is told so all the same.
struct ServerAddress
{
    QString address;
    QString port;
};

// Reads the lookup answer: "code" 200 and "message" "ok" give
// "data"."internetIP" and "data"."port" read as strings; anything else,
// and an answer where either is missing or not a string (a port sent as a
// number), gives two empty texts.
ServerAddress parseLookup(bool answered, const QString &answer);

// "NSVIDCODE" followed by the user id.
QString identity(const QString &uid);

// The page calls: _connect(address, port) and setUserLoginUUID(identity),
// arguments quoted by PageScript.
QString connectScript(const ServerAddress &server);
QString identifyScript(const QString &uid);

// Event texts of the push log.
QString connectedText();    // "连接推送服务器成功"
QString reconnectingText(); // "重连推送服务器"
QString failedText();       // "连接推送服务器失败"
QString pushedText();       // "数据已推送"

// "UID=%1      %2       %3": user id, local time "yyyy-MM-dd HH:mm:ss", event.
QString logLine(const QString &uid, const QDateTime &when, const QString &event);

// "PushServerLog.txt" in the executable's folder, whatever the current
// directory is.
QString logFilePath();

// Appends one line (UTF-8, line end) to the log; a log that cannot be
// written loses the line silently. False when the line was lost.
bool appendLog(const QString &uid, const QString &event, const QString &path = logFilePath(),
               const QDateTime &when = QDateTime::currentDateTime());

} // namespace PushConnection
