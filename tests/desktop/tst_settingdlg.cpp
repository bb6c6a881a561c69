// The wallpaper dialog: which picture each thumbnail asks for, that the
// pictures are really in the client folder, and the whole road from a
// click to the desktop's settings store (real gsettings, keyfile store).
// Also what the lock button says when nothing on the machine can lock.

#include "core/AppPaths.h"
#include "desktop/settings/QSettingDlg.h"
#include "desktop/settings/SystemActions.h"
#include "desktop/settings/WallpaperChoice.h"
#include "tests/login/BoxAnswerer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPixmap>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

class tst_SettingDlg : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void form();
    void thumbnail_data();
    void thumbnail();
    void severalPicturesThenClose();
    void clickSetsDesktopWallpaper();
    void unreadablePictureIsReported();
    void lockButtonTellsWhenItCannot_data();
    void lockButtonTellsWhenItCannot();

private:
    QString m_binDir;
};

void tst_SettingDlg::initTestCase()
{
    // The real client folder, with the pictures the build installs.
    m_binDir = qEnvironmentVariable("ORVANE_BIN_DIR");
    QVERIFY2(QFileInfo(m_binDir).isDir(), "ORVANE_BIN_DIR names no folder");
    AppPaths::setAppDirPathOverride(m_binDir);
}

void tst_SettingDlg::cleanup()
{
    AppPaths::setAppDirPathOverride(m_binDir);
}

void tst_SettingDlg::form()
{
    QSettingDlg dialog;
    QCOMPARE(dialog.objectName(), QStringLiteral("QSettingDlg"));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("设置"));
    QCOMPARE(dialog.minimumSize(), QSize(800, 520));
    QCOMPARE(dialog.maximumSize(), QSize(800, 520));
    QVERIFY(dialog.testAttribute(Qt::WA_TranslucentBackground));
    QVERIFY(dialog.windowFlags() & Qt::FramelessWindowHint);
    auto *close = dialog.findChild<QPushButton *>(QStringLiteral("closeButton"));
    QVERIFY(close);
    QCOMPARE(close->geometry(), QRect(775, 5, 20, 20));
    QCOMPARE(dialog.findChildren<QPushButton *>().size(), 8);
}

void tst_SettingDlg::thumbnail_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("thumbnail");
    QTest::addColumn<QString>("file");

    QTest::newRow("mountain") << "mountainButton" << QRect(20, 50, 175, 98) << "mountain.png" << "/mountain_max.jpg";
    QTest::newRow("evening") << "eveningButton" << QRect(215, 50, 175, 98) << "evening.png" << "/evening_max.jpg";
    QTest::newRow("star") << "starButton" << QRect(410, 50, 175, 98) << "star.png" << "/star_max.jpg";
    QTest::newRow("lotus") << "lotusButton" << QRect(605, 50, 175, 98) << "lotus.png" << "/lotus_max.jpg";
    QTest::newRow("sea") << "seaButton" << QRect(20, 170, 175, 98) << "sea.jpg" << "/sea_max.jpg";
    QTest::newRow("strawberry, with a hyphen")
        << "strawberryButton" << QRect(215, 170, 175, 98) << "strawberry.jpg" << "/strawberry-max.jpg";
    QTest::newRow("dog") << "dogButton" << QRect(410, 170, 175, 98) << "dog.png" << "/dog_max.jpg";
}

void tst_SettingDlg::thumbnail()
{
    QFETCH(QString, button);
    QFETCH(QRect, geometry);
    QFETCH(QString, thumbnail);
    QFETCH(QString, file);

    QSettingDlg dialog;
    auto *thumb = dialog.findChild<QPushButton *>(button);
    QVERIFY(thumb);
    QCOMPARE(thumb->geometry(), geometry);
    QVERIFY(thumb->text().isEmpty());
    const QString resource = QStringLiteral(":/QOrvaneDesk/image/") + thumbnail;
    QVERIFY2(!QPixmap(resource).isNull(), qPrintable(resource));
    QCOMPARE(thumb->styleSheet(), WallpaperChoice::thumbnailStyleSheet(resource));

    QSignalSpy chosen(&dialog, &QSettingDlg::modifyWindowsBk);
    dialog.show();
    thumb->click();
    QCOMPARE(chosen.size(), 1);
    const QString path = chosen.at(0).at(0).toString();
    QCOMPARE(path, QDir::fromNativeSeparators(m_binDir) + QStringLiteral("/BkImage") + file);
    QVERIFY(!path.contains(QLatin1Char('\\')));
    // The build puts every picture where the dialog points.
    QVERIFY2(!QImage(path).isNull(), qPrintable(path));
    QVERIFY(dialog.isVisible());
}

void tst_SettingDlg::severalPicturesThenClose()
{
    QSettingDlg dialog;
    QSignalSpy chosen(&dialog, &QSettingDlg::modifyWindowsBk);
    QSignalSpy finished(&dialog, &QDialog::finished);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    for (const char *name : {"seaButton", "strawberryButton", "seaButton"})
        QTest::mouseClick(dialog.findChild<QPushButton *>(QLatin1String(name)), Qt::LeftButton);
    QCOMPARE(chosen.size(), 3);
    QVERIFY(chosen.at(1).at(0).toString().endsWith(QLatin1String("/BkImage/strawberry-max.jpg")));
    QVERIFY(dialog.isVisible());

    QTest::mouseClick(dialog.findChild<QPushButton *>(QStringLiteral("closeButton")), Qt::LeftButton);
    // Fades out first.
    QVERIFY(dialog.isVisible());
    QTRY_COMPARE(finished.size(), 1);
    QCOMPARE(finished.at(0).at(0).toInt(), int(QDialog::Rejected));
    QVERIFY(!dialog.isVisible());
}

namespace {

// gsettings with its keyfile store and GNOME's background keys, in a folder
// of its own; restores the environment when it goes.
class GnomeSettings
{
public:
    GnomeSettings()
        : m_path(qgetenv("PATH"))
    {
        const QString gsettings = QStandardPaths::findExecutable(QStringLiteral("gsettings"));
        const QString compile = QStandardPaths::findExecutable(QStringLiteral("glib-compile-schemas"));
        if (gsettings.isEmpty() || compile.isEmpty())
            return;
        QDir(m_dir.path()).mkpath(QStringLiteral("schemas"));
        QDir(m_dir.path()).mkpath(QStringLiteral("bin"));
        QFile schema(m_dir.filePath(QStringLiteral("schemas/org.gnome.desktop.background.gschema.xml")));
        if (!schema.open(QIODevice::WriteOnly))
            return;
        schema.write("<schemalist><schema id=\"org.gnome.desktop.background\" path=\"/org/gnome/desktop/background/\">"
                     "<key name=\"picture-uri\" type=\"s\"><default>''</default></key>"
                     "<key name=\"picture-uri-dark\" type=\"s\"><default>''</default></key>"
                     "</schema></schemalist>\n");
        schema.close();
        if (QProcess::execute(compile, {m_dir.filePath(QStringLiteral("schemas"))}) != 0)
            return;
        m_gsettings = gsettings;
        QFile::link(gsettings, m_dir.filePath(QStringLiteral("bin/gsettings")));
        // Nothing else on PATH: no other desktop helper is tried.
        qputenv("PATH", m_dir.filePath(QStringLiteral("bin")).toLocal8Bit());
        qputenv("GSETTINGS_BACKEND", "keyfile");
        qputenv("GSETTINGS_SCHEMA_DIR", m_dir.filePath(QStringLiteral("schemas")).toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", m_dir.filePath(QStringLiteral("config")).toLocal8Bit());
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent");
        qunsetenv("XDG_CURRENT_DESKTOP");
    }
    ~GnomeSettings()
    {
        qputenv("PATH", m_path);
        qunsetenv("GSETTINGS_BACKEND");
        qunsetenv("GSETTINGS_SCHEMA_DIR");
    }

    bool ready() const { return !m_gsettings.isEmpty(); }

    QString pictureFile(const char *key) const
    {
        QProcess get;
        get.start(m_gsettings, {QStringLiteral("get"), QStringLiteral("org.gnome.desktop.background"),
                                QLatin1String(key)});
        get.waitForFinished(10000);
        const QString value = QString::fromUtf8(get.readAllStandardOutput()).trimmed();
        return QUrl(value.mid(1, value.size() - 2)).toLocalFile();
    }

private:
    QTemporaryDir m_dir;
    QByteArray m_path;
    QString m_gsettings;
};

} // namespace

void tst_SettingDlg::clickSetsDesktopWallpaper()
{
    GnomeSettings gnome;
    QVERIFY2(gnome.ready(), "gsettings or glib-compile-schemas is missing");

    QSettingDlg dialog;
    connect(&dialog, &QSettingDlg::modifyWindowsBk, &setWallpaperOrTell);
    BoxAnswerer boxes;
    dialog.show();
    dialog.findChild<QPushButton *>(QStringLiteral("strawberryButton"))->click();
    QCOMPARE(gnome.pictureFile("picture-uri"), m_binDir + QStringLiteral("/BkImage/strawberry-max.jpg"));
    QCOMPARE(gnome.pictureFile("picture-uri-dark"), m_binDir + QStringLiteral("/BkImage/strawberry-max.jpg"));
    dialog.findChild<QPushButton *>(QStringLiteral("dogButton"))->click();
    QCOMPARE(gnome.pictureFile("picture-uri"), m_binDir + QStringLiteral("/BkImage/dog_max.jpg"));
    QVERIFY(boxes.seen.isEmpty());
    QVERIFY(dialog.isVisible());
}

void tst_SettingDlg::unreadablePictureIsReported()
{
    GnomeSettings gnome;
    QVERIFY(gnome.ready());
    // A client folder without its pictures.
    QTemporaryDir empty;
    AppPaths::setAppDirPathOverride(empty.path());

    QSettingDlg dialog;
    connect(&dialog, &QSettingDlg::modifyWindowsBk, &setWallpaperOrTell);
    BoxAnswerer boxes;
    dialog.show();
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("wallpaper: cannot read")));
    dialog.findChild<QPushButton *>(QStringLiteral("lotusButton"))->click();
    QCOMPARE(boxes.seen.size(), 1);
    QCOMPARE(boxes.seen.at(0).title, QStringLiteral("提示"));
    QCOMPARE(boxes.seen.at(0).text, QStringLiteral("设置桌面墙纸失败！"));
    QCOMPARE(gnome.pictureFile("picture-uri"), QString());
    QVERIFY(dialog.isVisible());
}

void tst_SettingDlg::lockButtonTellsWhenItCannot_data()
{
    QTest::addColumn<bool>("withLogind");
    QTest::newRow("logind locks") << true;
    QTest::newRow("nothing can lock") << false;
}

void tst_SettingDlg::lockButtonTellsWhenItCannot()
{
    QFETCH(bool, withLogind);
    QTemporaryDir bin;
    const QByteArray path = qgetenv("PATH");
    const QByteArray bus = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    // No screen saver on a bus that is not there; loginctl only when the
    // row puts a stand-in there.
    qputenv("PATH", bin.path().toLocal8Bit());
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent");
    if (withLogind) {
        QFile loginctl(bin.filePath(QStringLiteral("loginctl")));
        QVERIFY(loginctl.open(QIODevice::WriteOnly));
        loginctl.write("#!/bin/sh\nexit 0\n");
        loginctl.close();
        QVERIFY(loginctl.setPermissions(loginctl.permissions() | QFileDevice::ExeOwner));
    } else {
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("lock failed")));
    }
    BoxAnswerer boxes;
    const bool locked = lockSessionOrTell();
    qputenv("PATH", path);
    qputenv("DBUS_SESSION_BUS_ADDRESS", bus);

    QCOMPARE(locked, withLogind);
    if (withLogind) {
        QVERIFY(boxes.seen.isEmpty());
        return;
    }
    QCOMPARE(boxes.seen.size(), 1);
    QCOMPARE(boxes.seen.at(0).title, QStringLiteral("提示"));
    QCOMPARE(boxes.seen.at(0).text, SystemActionTexts::lockFailed());
}

QTEST_MAIN(tst_SettingDlg)
#include "tst_settingdlg.moc"
