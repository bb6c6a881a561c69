#pragma once

#include <QString>

#include <functional>

// The once-per-start question whether the service has a newer client.
// Every failure is silent: start-up simply goes on to the sign-in.
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

enum class Outcome { NoUpdate, Declined, Accepted };

struct Hooks
{
    // The version request; false when no answer came in time.
    std::function<bool(QString *answer)> query;
    // The user's answer to the offer, asked after it has been recorded.
    std::function<bool()> ask;
    // Starts the updater detached.
    std::function<void(const QString &program)> startUpdater;
};

// Queries, compares, records the offer in the ini file for the updater,
// asks, and starts the updater on consent. The caller ends the program
// with exit code 0 on Accepted.
Outcome run(const Hooks &hooks, const QString &ini);

} // namespace UpdateCheck
