#include "desktop/core/LaunchPlan.h"
#include "desktop/window/QLumiqDesk.h"
#include "platform/Platform.h"
#include "tests/desktop/DeskFixture.h"
#include "tests/login/BoxAnswerer.h"

#include <QtTest>

// Double-clicking icons of the desktop starts real processes: programs,
// desktop shortcuts, and the message for what cannot be started.
static int browserWindows()
{
    int count = 0;
    for (QWidget *w : QApplication::topLevelWidgets())
        count += qstrcmp(w->metaObject()->className(), "ZBrowser") == 0;
    return count;
}

class TestDesktopLaunch : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void programStartsInItsFolder();
    void shortcutOpensThroughItsEntry();
    void unusableTargetsShowMessage_data();
    void unusableTargetsShowMessage();
    void unknownTypeDoesNothing();

private:
    DragButton *addIcon(const QString &type, const QString &name, const QString &install,
                        const QString &url = QString());
    void doubleClick(DragButton *button);
    QString writeScript(const QString &name);

    QScopedPointer<RefServiceProcess> m_service;
    QScopedPointer<DeskFixture> m_fixture;
    QScopedPointer<QLumiqDesk> m_desk;
    QTemporaryDir m_work;
    QString m_marker;
    int m_next = 0;
};

void TestDesktopLaunch::initTestCase()
{
    QLumiqDesk::setScreenAreaOverride(QSize(1920, 1040));
    m_service.reset(new RefServiceProcess);
    QVERIFY2(m_service->isRunning(), qPrintable(m_service->errorText()));
    m_fixture.reset(new DeskFixture(*m_service));
    QVERIFY(m_fixture->signedIn());
    m_desk.reset(new QLumiqDesk(m_fixture->session.userInfo, m_fixture->session.serviceLinks,
                                m_fixture->session.catalogue));
    m_desk->show();
    m_marker = m_work.filePath("marker");
}

void TestDesktopLaunch::cleanupTestCase()
{
    m_desk.reset();
    m_fixture.reset();
}

void TestDesktopLaunch::init()
{
    QFile::remove(m_marker);
}

QString TestDesktopLaunch::writeScript(const QString &name)
{
    QDir().mkpath(QFileInfo(m_work.filePath(name)).path());
    const QString path = m_work.filePath(name);
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write("#!/bin/sh\necho \"$(pwd)|$#\" > \"" + m_marker.toUtf8() + "\"\n");
    file.close();
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return path;
}

DragButton *TestDesktopLaunch::addIcon(const QString &type, const QString &name,
                                       const QString &install, const QString &url)
{
    auto app = DesktopAppInfoPtr::create();
    app->id = QStringLiteral("t%1").arg(++m_next);
    app->cateid = "c1";
    app->type = type;
    app->name = name;
    app->install = install;
    app->url = url;
    app->isinstall = "1";
    app->isremove = "1";
    if (!m_fixture->session.catalogue.addApp("c1", app))
        return nullptr;
    for (DragButton *b : m_desk->popupGrid()->buttons()) {
        if (b->appInfo() == app)
            return b;
    }
    return nullptr;
}

void TestDesktopLaunch::doubleClick(DragButton *button)
{
    QTest::mouseDClick(button, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
}

void TestDesktopLaunch::programStartsInItsFolder()
{
    const QString script = writeScript("bin dir/tool.sh");
    DragButton *icon = addIcon("2", QStringLiteral("工具"), script);
    QVERIFY(icon);
    doubleClick(icon);
    QTRY_VERIFY(QFile::exists(m_marker));
    QFile marker(m_marker);
    QVERIFY(marker.open(QIODevice::ReadOnly));
    // Started in the folder of the program, with no arguments.
    QCOMPARE(QString::fromUtf8(marker.readAll()).trimmed(), QFileInfo(script).path() + "|0");
}

void TestDesktopLaunch::shortcutOpensThroughItsEntry()
{
    if (QStandardPaths::findExecutable("gio").isEmpty())
        QSKIP("gio is not installed (scripts/setup installs it)");
    const QString script = writeScript("entry.sh");
    const QString entry = m_work.filePath("工具.desktop");
    QFile file(entry);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[Desktop Entry]\nType=Application\nName=T\nExec=" + script.toUtf8() + "\n");
    file.close();
    BoxAnswerer boxes;
    DragButton *icon = addIcon("2", QStringLiteral("工具"), entry);
    doubleClick(icon);
    QTRY_VERIFY(QFile::exists(m_marker));
    QVERIFY(boxes.seen.isEmpty());
}

void TestDesktopLaunch::unusableTargetsShowMessage_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("install");
    QTest::addColumn<QString>("url");
    QTest::addColumn<QByteArray>("entry");
    QTest::newRow("program never installed") << "2" << "" << "" << QByteArray();
    QTest::newRow("type \" 2\"") << " 2" << "/bin/true" << "" << QByteArray();
    QTest::newRow("shortcut whose program is gone")
        << "2" << "@" << "" << QByteArray("[Desktop Entry]\nType=Application\nExec=/nonexistent/prog\n");
    QTest::newRow("shortcut that is no application")
        << "2" << "@" << "" << QByteArray("[Desktop Entry]\nType=Link\nURL=http://x/\n");
    QTest::newRow("missing shortcut file") << "2" << "/nonexistent/a.desktop" << "" << QByteArray();
    QTest::newRow("web target with script") << "1" << "" << "javascript:alert(1)" << QByteArray();
    QTest::newRow("shipped page out of the folder") << "3" << "" << "/../../../etc/passwd" << QByteArray();
}

void TestDesktopLaunch::unusableTargetsShowMessage()
{
    QFETCH(QString, type);
    QFETCH(QString, install);
    QFETCH(QString, url);
    QFETCH(QByteArray, entry);
    if (install == "@") {
        install = m_work.filePath(QStringLiteral("broken%1.desktop").arg(m_next));
        QFile file(install);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(entry);
    }
    BoxAnswerer boxes;
    DragButton *icon = addIcon(type, "x", install, url);
    QVERIFY(icon);
    doubleClick(icon);
    QCOMPARE(boxes.seen.size(), 1);
    QCOMPARE(boxes.seen.first().title, QStringLiteral("提示"));
    QCOMPARE(boxes.seen.first().text, brokenShortcutText());
    QCOMPARE(boxes.seen.first().text, QStringLiteral("\r\n此快捷方式已经失效，请卸载后重新安装！"));
    QCOMPARE(browserWindows(), 0);
}

void TestDesktopLaunch::unknownTypeDoesNothing()
{
    BoxAnswerer boxes;
    for (const char *type : {"4", "", " 1", "web", "1"}) {
        DragButton *icon = addIcon(type, "x", writeScript("n.sh"), QString());
        QVERIFY(icon);
        doubleClick(icon);
    }
    QTest::qWait(300);
    QVERIFY(boxes.seen.isEmpty());
    QVERIFY(!QFile::exists(m_marker));
    QCOMPARE(browserWindows(), 0);
}

QTEST_MAIN(TestDesktopLaunch)
#include "tst_desktoplaunch.moc"
