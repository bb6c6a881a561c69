#pragma once

#include <QString>

#include <functional>

// The once-per-start question whether the service has a newer client.
// Every failure of the check is silent: start-up simply goes on to the
// sign-in. An updater the user asked for that does not start is told to
// the user, and start-up goes on to the sign-in as well.
namespace UpdateCheck {

// appDirPath()/UpdaterVer.ini and the updater program beside the
// executable (UpdaterNew, or UpdaterNew.exe on Windows).
QString iniPath();
QString updaterPath();

struct Offer
{
    QString version;
    QString url;
};

// Reads the service's version answer: a JSON object with
// "code" 200 and "message" "ok" whose "data"."versionNumber" is newer than
// the installed version. False for anything else.
bool offerFrom(const QString &answer, const QString &installed, Offer *offer);

enum class Outcome { NoUpdate, Declined, Accepted, UpdaterFailed };

// What the user is told when the updater does not start.
inline QString title() { return QStringLiteral("更新提示"); }
inline QString updaterFailedText() { return QStringLiteral("\r\n更新程序启动失败，请稍后重试！"); }

struct Hooks
{
    // The version request; false when no answer came in time.
    std::function<bool(QString *answer)> query;
    // The user's answer to the offer, asked after it has been recorded.
    std::function<bool()> ask;
    // Starts the updater detached; false when it did not start.
    std::function<bool(const QString &program)> startUpdater;
    // Tells the user that the updater did not start.
    std::function<void()> updaterFailed;
};

// Queries, compares, records the offer in the ini file for the updater,
// asks, and starts the updater on consent. The caller ends the program
// with exit code 0 on Accepted; on UpdaterFailed the user has been told
// and the caller goes on as after Declined.
Outcome run(const Hooks &hooks, const QString &ini);

} // namespace UpdateCheck
