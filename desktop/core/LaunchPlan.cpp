#include "desktop/core/LaunchPlan.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

QString brokenShortcutText()
{
    return QStringLiteral("\r\n此快捷方式已经失效，请卸载后重新安装！");
}

bool isAllowedBrowserTarget(const QString &address, const QString &appDir)
{
    const QUrl url = QUrl::fromUserInput(address);
    if (!url.isValid())
        return false;
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("http") || scheme == QLatin1String("https"))
        return !url.host().isEmpty();
    if (scheme != QLatin1String("file") || appDir.isEmpty())
        return false;
    // "..", links and doubled slashes must not lead out of the folder.
    const QString base = QDir::cleanPath(QFileInfo(appDir).absoluteFilePath());
    QString path = QDir::cleanPath(url.toLocalFile());
    const QFileInfo info(path);
    if (info.exists())
        path = info.canonicalFilePath();
    const QString canonicalBase = QFileInfo(base).canonicalFilePath();
    for (const QString &root : {base, canonicalBase}) {
        if (!root.isEmpty() && path.startsWith(root + QLatin1Char('/')))
            return true;
    }
    return false;
}

LaunchPlan planLaunch(const desktopAppInfo &app, const QString &appAuth, const QString &appDir,
                      const QStringList &shortcutSuffixes)
{
    // The target is chosen by the type as text; what is done with it by
    // the type's integer value, so " 2" still reports a missing program.
    QString target;
    if (app.type == QLatin1String("1")) {
        target = app.url;
        // Without an address the key alone is no page to open.
        if (!target.isEmpty() && app.nosign == QLatin1String("1"))
            target += appAuth; // plain concatenation: services rely on it
    } else if (app.type == QLatin1String("2")) {
        if (app.name == QLatin1String("Word") || app.name == QLatin1String("Excel")
            || app.name == QLatin1String("PPT"))
            target = app.execpath;
        else
            target = app.install;
    } else if (app.type == QLatin1String("3")) {
        target = app.url;
    }

    LaunchPlan plan;
    bool ok = false;
    const int type = app.type.trimmed().toInt(&ok);
    if (!ok)
        return plan;

    switch (type) {
    case 1:
    case 3: {
        if (target.isEmpty())
            return plan;
        // A shipped page: the client folder followed by `url` as stored
        // ("file:///" + folder + url, the folder written as a local path).
        const QString address =
            type == 1 ? target : QUrl::fromLocalFile(appDir + target).toString();
        if (!isAllowedBrowserTarget(address, appDir)) {
            plan.kind = LaunchPlan::Kind::BrokenShortcut;
            plan.target = address;
            return plan;
        }
        plan.kind = LaunchPlan::Kind::Browser;
        plan.target = address;
        return plan;
    }
    case 2: {
        if (target.isEmpty()) {
            plan.kind = LaunchPlan::Kind::BrokenShortcut;
            return plan;
        }
        target.replace(QLatin1Char('\\'), QLatin1Char('/'));
        plan.target = target;
        bool shortcut = target.contains(QLatin1String(".lnk"));
        for (const QString &suffix : shortcutSuffixes)
            shortcut = shortcut || (!suffix.isEmpty() && target.endsWith(suffix));
        if (shortcut) {
            plan.kind = LaunchPlan::Kind::Shortcut;
            return plan;
        }
        plan.kind = LaunchPlan::Kind::Program;
        const int slash = target.lastIndexOf(QLatin1Char('/'));
        plan.workingDirectory = slash < 0 ? target : target.left(slash);
        return plan;
    }
    default:
        return plan;
    }
}

CommandLine splitUninstallCommand(const QString &command)
{
    CommandLine line;
    const int k = command.indexOf(QLatin1String(".exe"));
    if (k < 0) {
        const QStringList parts = QProcess::splitCommand(command);
        if (parts.isEmpty())
            return line;
        line.program = parts.first();
        line.arguments = parts.mid(1);
        return line;
    }
    line.program = command.left(k + 4).remove(QLatin1Char('"'));
    const QString rest = command.mid(k + 5).remove(QLatin1Char('"'));
    // Nothing after the program means no arguments, not one empty one.
    if (!rest.isEmpty())
        line.arguments = rest.split(QLatin1Char(' '), Qt::KeepEmptyParts);
    return line;
}
