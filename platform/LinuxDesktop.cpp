#include "platform/LinuxDesktop.h"

#include "platform/PlatformLog.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>
#include <QEventLoop>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>

namespace LinuxDesktop {

namespace {

// A desktop helper that takes longer than this is taken as not working;
// the user is waiting on the button they pressed.
constexpr int kProgramMs = 8000;
constexpr int kDBusMs = 5000;
// The portal may ask the user before it answers.
constexpr int kPortalMs = 30000;

QString firstLine(const QByteArray &output)
{
    const QString text = QString::fromLocal8Bit(output).trimmed();
    return text.section(QLatin1Char('\n'), 0, 0);
}

// Runs a program to its end; empty when it ended with exit code 0, else why
// not. *output receives what it wrote to standard output.
QString runProgram(const QString &executable, const QStringList &arguments, QByteArray *output = nullptr)
{
    QProcess process;
    process.setProgram(executable);
    process.setArguments(arguments);
    // A helper that asks on its input gets an immediate end of file.
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(QIODevice::ReadOnly);
    if (!process.waitForStarted(kProgramMs))
        return QStringLiteral("did not start: %1").arg(process.errorString());
    if (!process.waitForFinished(kProgramMs)) {
        process.kill();
        process.waitForFinished(kProgramMs);
        return QStringLiteral("no end within %1 ms").arg(kProgramMs);
    }
    const QByteArray out = process.readAllStandardOutput();
    if (output)
        *output = out;
    if (process.exitStatus() != QProcess::NormalExit)
        return QStringLiteral("crashed");
    if (process.exitCode() != 0) {
        const QString said = firstLine(process.readAllStandardError());
        return QStringLiteral("exit code %1%2").arg(process.exitCode()).arg(said.isEmpty() ? QString() : QStringLiteral(" (") + said + QLatin1Char(')'));
    }
    return QString();
}

QString runProgramStep(const Step &step)
{
    const QString executable = QStandardPaths::findExecutable(step.program);
    if (executable.isEmpty())
        return QStringLiteral("%1 is not installed").arg(step.program);
    if (step.kind == Step::Kind::DetachedProgram) {
        if (!QProcess::startDetached(executable, step.arguments))
            return QStringLiteral("did not start");
        return QString();
    }
    if (const QString why = runProgram(executable, step.arguments); !why.isEmpty())
        return why;
    if (!step.verify.isEmpty()) {
        QByteArray output;
        if (const QString why = runProgram(executable, step.verify, &output); !why.isEmpty())
            return QStringLiteral("reading back: ") + why;
        const QString kept = QString::fromUtf8(output).trimmed();
        if (kept != step.expected)
            return QStringLiteral("kept %1 instead").arg(kept);
    }
    for (const QStringList &arguments : step.followUps) {
        if (const QString why = runProgram(executable, arguments); !why.isEmpty())
            qCDebug(lcPlatform) << step.label << "follow-up" << arguments << "left out:" << why;
    }
    return QString();
}

QString callDBus(const Step &step)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return QStringLiteral("no session bus");
    QDBusMessage call = QDBusMessage::createMethodCall(step.service, step.path, step.interface, step.method);
    call.setArguments(step.dbusArguments);
    const QDBusMessage reply = bus.call(call, QDBus::Block, kDBusMs);
    if (reply.type() == QDBusMessage::ErrorMessage)
        return reply.errorName() + QStringLiteral(": ") + reply.errorMessage();
    return QString();
}

} // namespace

// Waits for the portal's answer to one request.
class PortalRequest : public QObject
{
    Q_OBJECT

public:
    QEventLoop loop;
    bool answered = false;
    uint response = 2;

public slots:
    void onResponse(uint code, const QVariantMap &)
    {
        answered = true;
        response = code;
        loop.quit();
    }
};

namespace {

QString callPortal(const Step &step)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return QStringLiteral("no session bus");
    if (!(bus.connectionCapabilities() & QDBusConnection::UnixFileDescriptorPassing))
        return QStringLiteral("the bus passes no open files");
    QFile file(step.file);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("cannot open %1").arg(step.file);

    // The request's object path is known before the call, so the answer
    // cannot slip past between the call and the subscription.
    const QString token = QStringLiteral("orvane%1").arg(QRandomGenerator::global()->generate());
    QString sender = bus.baseService().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    const QString requestPath = QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token);
    PortalRequest request;
    const QString requestInterface = QStringLiteral("org.freedesktop.portal.Request");
    const QString response = QStringLiteral("Response");
    bus.connect(step.service, requestPath, requestInterface, response, &request,
                SLOT(onResponse(uint, QVariantMap)));

    QDBusMessage call = QDBusMessage::createMethodCall(step.service, step.path, step.interface, step.method);
    const QVariantMap options{{QStringLiteral("handle_token"), token},
                              {QStringLiteral("show-preview"), false},
                              {QStringLiteral("set-on"), QStringLiteral("background")}};
    call.setArguments({QString(), QVariant::fromValue(QDBusUnixFileDescriptor(file.handle())), options});
    const QDBusMessage reply = bus.call(call, QDBus::Block, kDBusMs);
    QString why;
    if (reply.type() == QDBusMessage::ErrorMessage) {
        why = reply.errorName() + QStringLiteral(": ") + reply.errorMessage();
    } else {
        if (!request.answered) {
            QTimer::singleShot(kPortalMs, &request.loop, &QEventLoop::quit);
            request.loop.exec();
        }
        if (!request.answered)
            why = QStringLiteral("no answer within %1 ms").arg(kPortalMs);
        else if (request.response != 0)
            why = QStringLiteral("answered %1").arg(request.response);
    }
    bus.disconnect(step.service, requestPath, requestInterface, response, &request,
                   SLOT(onResponse(uint, QVariantMap)));
    return why;
}

} // namespace

Outcome run(const QList<Step> &steps)
{
    Outcome outcome;
    for (const Step &step : steps) {
        QString why;
        switch (step.kind) {
        case Step::Kind::Program:
        case Step::Kind::DetachedProgram:
            why = runProgramStep(step);
            break;
        case Step::Kind::DBusCall:
            why = callDBus(step);
            break;
        case Step::Kind::PortalWallpaper:
            why = callPortal(step);
            break;
        }
        if (why.isEmpty()) {
            outcome.done = true;
            outcome.doneBy = step.label;
            return outcome;
        }
        outcome.failures << step.label + QStringLiteral(": ") + why;
    }
    return outcome;
}

namespace {

Step program(const QString &label, const QString &name, const QStringList &arguments)
{
    Step step;
    step.kind = Step::Kind::Program;
    step.label = label;
    step.program = name;
    step.arguments = arguments;
    return step;
}

Step dbusCall(const QString &service, const QString &path, const QString &interface, const QString &method,
              const QVariantList &arguments = {})
{
    Step step;
    step.kind = Step::Kind::DBusCall;
    step.label = service + QLatin1Char(' ') + path + QLatin1Char(' ') + interface + QLatin1Char('.') + method;
    step.service = service;
    step.path = path;
    step.interface = interface;
    step.method = method;
    step.dbusArguments = arguments;
    return step;
}

Step screenSaverLock(const QString &name, const QString &path)
{
    return dbusCall(name, path, name, QStringLiteral("Lock"));
}

} // namespace

QList<Step> lockSteps()
{
    return {
        // Locks the caller's own session; never asks for a password.
        program(QStringLiteral("loginctl lock-session"), QStringLiteral("loginctl"),
                {QStringLiteral("--no-ask-password"), QStringLiteral("lock-session")}),
        screenSaverLock(QStringLiteral("org.freedesktop.ScreenSaver"), QStringLiteral("/org/freedesktop/ScreenSaver")),
        screenSaverLock(QStringLiteral("org.freedesktop.ScreenSaver"), QStringLiteral("/ScreenSaver")),
        screenSaverLock(QStringLiteral("org.gnome.ScreenSaver"), QStringLiteral("/org/gnome/ScreenSaver")),
        screenSaverLock(QStringLiteral("org.cinnamon.ScreenSaver"), QStringLiteral("/org/cinnamon/ScreenSaver")),
        screenSaverLock(QStringLiteral("org.mate.ScreenSaver"), QStringLiteral("/org/mate/ScreenSaver")),
        screenSaverLock(QStringLiteral("org.xfce.ScreenSaver"), QStringLiteral("/org/xfce/ScreenSaver")),
    };
}

QList<Step> wallpaperSteps(const QString &picturePath, const QString &currentDesktop)
{
    const QString uri = fileUri(picturePath);
    const QString schema = QStringLiteral("org.gnome.desktop.background");
    Step gnome = program(QStringLiteral("gsettings org.gnome.desktop.background"), QStringLiteral("gsettings"),
                         {QStringLiteral("set"), schema, QStringLiteral("picture-uri"), gvariantString(uri)});
    gnome.verify = QStringList{QStringLiteral("get"), schema, QStringLiteral("picture-uri")};
    gnome.expected = gvariantString(uri);
    // The dark variant exists from GNOME 42 on; older desktops lack the key.
    gnome.followUps << QStringList{QStringLiteral("set"), schema, QStringLiteral("picture-uri-dark"),
                                   gvariantString(uri)};

    Step plasma = dbusCall(QStringLiteral("org.kde.plasmashell"), QStringLiteral("/PlasmaShell"),
                           QStringLiteral("org.kde.PlasmaShell"), QStringLiteral("evaluateScript"),
                           {plasmaWallpaperScript(uri)});

    Step portal;
    portal.kind = Step::Kind::PortalWallpaper;
    portal.label = QStringLiteral("desktop portal SetWallpaperFile");
    portal.service = QStringLiteral("org.freedesktop.portal.Desktop");
    portal.path = QStringLiteral("/org/freedesktop/portal/desktop");
    portal.interface = QStringLiteral("org.freedesktop.portal.Wallpaper");
    portal.method = QStringLiteral("SetWallpaperFile");
    portal.file = picturePath;

    const bool onPlasma = currentDesktop.split(QLatin1Char(':')).contains(QStringLiteral("KDE"), Qt::CaseInsensitive);
    if (onPlasma)
        return {plasma, gnome, portal};
    return {gnome, plasma, portal};
}

QList<Step> browserSteps(const QString &address)
{
    Step xdgOpen = program(QStringLiteral("xdg-open"), QStringLiteral("xdg-open"), {address});
    xdgOpen.kind = Step::Kind::DetachedProgram;
    Step gio = program(QStringLiteral("gio open"), QStringLiteral("gio"), {QStringLiteral("open"), address});
    gio.kind = Step::Kind::DetachedProgram;
    return {xdgOpen, gio};
}

QString fileUri(const QString &path)
{
    QString uri = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toString(QUrl::FullyEncoded);
    // A quote is legal in a URI but needs escaping in every text it goes
    // into; encoded it needs none.
    uri.replace(QLatin1Char('\''), QStringLiteral("%27"));
    return uri;
}

QString gvariantString(const QString &text)
{
    QString escaped = text;
    escaped.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    escaped.replace(QLatin1Char('\''), QStringLiteral("\\'"));
    return QLatin1Char('\'') + escaped + QLatin1Char('\'');
}

QString gvariantStringValue(const QString &literal)
{
    const QString text = literal.trimmed();
    if (text.size() < 2 || (text.at(0) != QLatin1Char('\'') && text.at(0) != QLatin1Char('"'))
        || text.back() != text.at(0))
        return QString();
    const QChar quote = text.at(0);
    QString value;
    for (int i = 1; i < text.size() - 1; ++i) {
        QChar c = text.at(i);
        if (c == QLatin1Char('\\') && i + 1 < text.size() - 1) {
            c = text.at(++i);
        } else if (c == quote) {
            return QString(); // a second string or trailing text
        }
        value += c;
    }
    return value;
}

QString localPictureFile(const QString &uriOrPath)
{
    if (uriOrPath.startsWith(QLatin1Char('/')))
        return QDir::cleanPath(uriOrPath);
    const QUrl url(uriOrPath, QUrl::StrictMode);
    if (!url.isValid() || !url.isLocalFile() || !url.host().isEmpty())
        return QString();
    return url.toLocalFile();
}

QString plasmaWallpaperScript(const QString &uri)
{
    // A JSON string is a script string literal, once the two line
    // separators JSON leaves raw are escaped as well.
    QString literal = QString::fromUtf8(QJsonDocument(QJsonArray{uri}).toJson(QJsonDocument::Compact));
    literal = literal.mid(1, literal.size() - 2);
    literal.replace(QChar(0x2028), QStringLiteral("\\u2028"));
    literal.replace(QChar(0x2029), QStringLiteral("\\u2029"));
    return QStringLiteral(
               "var uri = %1;\n"
               "var all = desktops();\n"
               "for (var i = 0; i < all.length; ++i) {\n"
               "    var d = all[i];\n"
               "    d.wallpaperPlugin = \"org.kde.image\";\n"
               "    d.currentConfigGroup = [\"Wallpaper\", \"org.kde.image\", \"General\"];\n"
               "    d.writeConfig(\"Image\", uri);\n"
               "}\n")
        .arg(literal);
}

} // namespace LinuxDesktop

#include "LinuxDesktop.moc"
