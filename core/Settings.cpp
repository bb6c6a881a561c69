#include "core/Settings.h"

#include "core/AppPaths.h"
#include "core/CoreLog.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTextCodec>

#include <functional>

namespace {

const QString kServerGroup = QStringLiteral("server");
const QString kServerFlag = QStringLiteral("/server/flag");
const QString kTestServer = QStringLiteral("/server/testserver");
const QString kOfficialServer = QStringLiteral("/server/officialserver");
const QString kRemember = QStringLiteral("/userinfo/rember");
const QString kUserName = QStringLiteral("/userinfo/username");
const QString kUserPassword = QStringLiteral("/userinfo/userpwd");
const QString kAutoLogin = QStringLiteral("/userinfo/flag");
const QString kUid = QStringLiteral("/connect/uid");
const QString kToken = QStringLiteral("/connect/token");
const QString kDesktopWallpaper = QStringLiteral("/desktop/wallpaper");
const QString kCurrentVersion = QStringLiteral("/MAINVER/curver");
const QString kOfferedVersion = QStringLiteral("MAINVER/mainver");
const QString kOfferedUrl = QStringLiteral("MAINVER/fileurl");

// GB18030 as the settings writer can use it. GB18030 holds every
// character and gives the very bytes of the GB2312 code page for the
// characters that code page has, so files written before stay as they
// are. The writer hands over one UTF-16 unit at a time, which would split
// a character beyond U+FFFF into two halves that no code page can hold:
// a leading half waits here for its partner.
class ConfigCodec : public QTextCodec
{
public:
    static ConfigCodec *instance()
    {
        // Registered with, and released by, the codec list of Qt.
        static ConfigCodec *codec = new ConfigCodec;
        return codec;
    }

    QByteArray name() const override { return QByteArrayLiteral("OrvaneDesk-Config-GB18030"); }
    int mibEnum() const override { return -114; }

protected:
    QString convertToUnicode(const char *in, int length, ConverterState *state) const override
    {
        return m_gb18030->toUnicode(in, length, state);
    }

    QByteArray convertFromUnicode(const QChar *in, int length, ConverterState *state) const override
    {
        thread_local QChar pending;
        QString text;
        text.reserve(length + 1);
        // A half without its partner is no character at all: it is
        // dropped rather than spoil whatever is written next.
        if (!pending.isNull() && length > 0 && in[0].isLowSurrogate())
            text += pending;
        pending = QChar();
        text.append(in, length);
        if (!text.isEmpty() && text.at(text.size() - 1).isHighSurrogate()) {
            pending = text.at(text.size() - 1);
            text.chop(1);
        }
        return m_gb18030->fromUnicode(text.constData(), text.size(), state);
    }

private:
    ConfigCodec()
        : m_gb18030(QTextCodec::codecForName("GB18030"))
    {
    }

    QTextCodec *m_gb18030;
};

// Config.ini as every reader and writer opens it.
class ConfigIni : public QSettings
{
public:
    explicit ConfigIni(const QString &path)
        : QSettings(path, QSettings::IniFormat)
    {
        setIniCodec(ConfigCodec::instance());
    }
};

// An administrator may lock the file; the owner's write permission tells,
// also for a superuser whom the system lets write anything.
bool lockedAgainstWriting(const QString &path)
{
    const QFileInfo info(path);
    return info.exists()
        && (!info.isWritable() || !info.permissions().testFlag(QFileDevice::WriteOwner));
}

QString readText(const QString &path, const QString &key)
{
    return ConfigIni(path).value(key).toString();
}

void restrictToOwner(const QString &path)
{
    if (QFile::exists(path)
        && !QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        qCWarning(lcCore) << "cannot restrict permissions of" << path;
    }
}

// Create the file owner-only before the first write: the settings writer
// keeps the permissions of the file it replaces, so the password is never
// readable by others, not even for a moment.
void createOwnerOnly(const QString &path)
{
    if (!QFile::exists(path)) {
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.close();
    }
    restrictToOwner(path);
}

// Every write of Config.ini: a file the administrator locked is left exactly
// as it is (no new mode, no rewrite), the file is owner-only before and
// after (it holds the remembered password), and a write that did not reach
// the disk is reported. what names the change for the log.
bool writeConfig(const QString &path, const char *what, const std::function<void(ConfigIni &)> &write)
{
    if (lockedAgainstWriting(path)) {
        qCWarning(lcCore) << path << "is read-only;" << what << "is not written";
        return false;
    }
    createOwnerOnly(path);
    QSettings::Status status;
    {
        ConfigIni settings(path);
        write(settings);
        settings.sync();
        status = settings.status();
    }
    restrictToOwner(path);
    if (status != QSettings::NoError) {
        qCWarning(lcCore) << "cannot write" << what << "to" << path;
        return false;
    }
    return true;
}

} // namespace

namespace Settings {

QString configPath()
{
    return AppPaths::appFilePath(QStringLiteral("Config.ini"));
}

QString versionPath()
{
    return AppPaths::appFilePath(QStringLiteral("UpdaterVer.ini"));
}

QString chooseServerAddress(const QString &path)
{
    ConfigIni settings(path);
    const QString flag = settings.value(kServerFlag).toString();
    if (flag.isEmpty() || flag == QLatin1String("0"))
        return settings.value(kTestServer).toString();
    return settings.value(kOfficialServer).toString();
}

int autoLoginFlag(const QString &path)
{
    ConfigIni settings(path);
    if (!settings.contains(kAutoLogin))
        return -1;
    return settings.value(kAutoLogin).toInt();
}

bool rememberCredentials(const QString &path)
{
    return readText(path, kRemember) == QLatin1String("1");
}

QString userName(const QString &path)
{
    return readText(path, kUserName);
}

QString userPassword(const QString &path)
{
    return readText(path, kUserPassword);
}

QString uid(const QString &path)
{
    return readText(path, kUid);
}

QString token(const QString &path)
{
    return readText(path, kToken);
}

bool writeSignIn(const SignIn &signIn, const QString &path)
{
    return writeConfig(path, "the sign-in", [&signIn](ConfigIni &settings) {
        // The order of the keys is part of the file's contract.
        settings.setValue(kToken, signIn.token);
        settings.setValue(kUid, signIn.uid);
        settings.setValue(kRemember, QStringLiteral("1"));
        settings.setValue(kUserName, signIn.account);
        settings.setValue(kUserPassword, signIn.password);
        settings.setValue(kAutoLogin, 1);
    });
}

ServerSeed seedServerGroup(const QString &adminPath, const QString &path)
{
    if (!QFileInfo(adminPath).isFile())
        return ServerSeed::NothingToSeed;
    QList<QPair<QString, QString>> values;
    {
        ConfigIni admin(adminPath);
        for (const QString &key : {kServerFlag, kTestServer, kOfficialServer}) {
            if (admin.contains(key))
                values.append({key, admin.value(key).toString()});
        }
    }
    if (values.isEmpty())
        return ServerSeed::NothingToSeed;
    {
        ConfigIni user(path);
        user.beginGroup(kServerGroup);
        if (!user.childKeys().isEmpty())
            return ServerSeed::UserHasServer;
    }
    const bool written = writeConfig(path, "the administrator's service", [&values](ConfigIni &user) {
        for (const auto &value : values)
            user.setValue(value.first, value.second);
    });
    return written ? ServerSeed::Seeded : ServerSeed::Failed;
}

QString desktopWallpaper(const QString &path)
{
    return readText(path, kDesktopWallpaper);
}

bool setDesktopWallpaper(const QString &picturePath, const QString &path)
{
    return writeConfig(path, "the wallpaper", [&picturePath](ConfigIni &settings) {
        settings.setValue(kDesktopWallpaper, picturePath);
    });
}

QString installedVersion(const QString &path)
{
    return QSettings(path, QSettings::IniFormat).value(kCurrentVersion).toString();
}

bool recordUpdateOffer(const QString &version, const QString &url, const QString &path)
{
    QSettings settings(path, QSettings::IniFormat);
    settings.setValue(kOfferedVersion, version);
    settings.setValue(kOfferedUrl, url);
    settings.sync();
    return settings.status() == QSettings::NoError;
}

QString offeredVersion(const QString &path)
{
    return QSettings(path, QSettings::IniFormat).value(kOfferedVersion).toString();
}

QString offeredUrl(const QString &path)
{
    return QSettings(path, QSettings::IniFormat).value(kOfferedUrl).toString();
}

bool setInstalledVersion(const QString &version, const QString &path)
{
    QSettings settings(path, QSettings::IniFormat);
    settings.setValue(kCurrentVersion, version);
    settings.sync();
    return settings.status() == QSettings::NoError;
}

} // namespace Settings
