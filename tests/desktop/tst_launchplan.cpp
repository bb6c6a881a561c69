#include "desktop/core/LaunchPlan.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

Q_DECLARE_METATYPE(LaunchPlan::Kind)

class TestLaunchPlan : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void plan_data();
    void plan();
    void browserTargets_data();
    void browserTargets();
    void uninstallCommand_data();
    void uninstallCommand();

private:
    QTemporaryDir m_dir;
    QString m_appDir;
};

void TestLaunchPlan::initTestCase()
{
    m_appDir = m_dir.filePath("OrvaneDesk");
    QVERIFY(QDir().mkpath(m_appDir + "/help"));
    QFile page(m_appDir + "/help/index.html");
    QVERIFY(page.open(QIODevice::WriteOnly));
}

void TestLaunchPlan::plan_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("nosign");
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("execpath");
    QTest::addColumn<QString>("install");
    QTest::addColumn<LaunchPlan::Kind>("kind");
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("workingDirectory");

    using K = LaunchPlan::Kind;
    const QString auth = "?app_auth=ab12";
    QTest::newRow("web, nosign 1: auth appended as it is")
        << "1" << "在线文档" << "1" << "http://svc.test/apps/a103/index.html" << "" << ""
        << K::Browser << "http://svc.test/apps/a103/index.html" + auth << "";
    QTest::newRow("web, nosign 0: url alone")
        << "1" << "会议" << "0" << "https://svc.test/a?x=1" << "" << "" << K::Browser << "https://svc.test/a?x=1" << "";
    QTest::newRow("web without a url: nothing")
        << "1" << "会议" << "1" << "" << "" << "" << K::Nothing << "" << "";
    QTest::newRow("web javascript: refused")
        << "1" << "x" << "0" << "javascript:alert(1)" << "" << "" << K::BrokenShortcut << "javascript:alert(1)" << "";
    QTest::newRow("web foreign file: refused")
        << "1" << "x" << "0" << "file:///etc/passwd" << "" << "" << K::BrokenShortcut << "file:///etc/passwd" << "";
    QTest::newRow("Word uses execpath even with install")
        << "2" << "Word" << "0" << "" << "/usr/bin/lowriter" << "/opt/other" << K::Program << "/usr/bin/lowriter" << "/usr/bin";
    QTest::newRow("Excel") << "2" << "Excel" << "0" << "" << "/usr/bin/localc" << "" << K::Program << "/usr/bin/localc" << "/usr/bin";
    QTest::newRow("PPT") << "2" << "PPT" << "0" << "" << "/usr/bin/loimpress" << "" << K::Program << "/usr/bin/loimpress" << "/usr/bin";
    QTest::newRow("word in lower case uses install")
        << "2" << "word" << "0" << "" << "/usr/bin/lowriter" << "/opt/w/bin/w" << K::Program << "/opt/w/bin/w" << "/opt/w/bin";
    QTest::newRow("backslashes become slashes")
        << "2" << "记账本" << "0" << "" << "" << "C:\\Program Files\\jz\\jz.exe" << K::Program
        << "C:/Program Files/jz/jz.exe" << "C:/Program Files/jz";
    QTest::newRow("no slash: the whole target is the folder")
        << "2" << "记账本" << "0" << "" << "" << "jizhang" << K::Program << "jizhang" << "jizhang";
    QTest::newRow(".lnk anywhere is a shortcut")
        << "2" << "a" << "0" << "" << "" << "C:\\Users\\d\\Desktop\\a.lnk" << K::Shortcut << "C:/Users/d/Desktop/a.lnk" << "";
    QTest::newRow(".LNK in upper case is a program")
        << "2" << "a" << "0" << "" << "" << "C:\\d\\A.LNK" << K::Program << "C:/d/A.LNK" << "C:/d";
    QTest::newRow(".desktop is this system's shortcut")
        << "2" << "a" << "0" << "" << "" << "/home/u/Desktop/a.desktop" << K::Shortcut << "/home/u/Desktop/a.desktop" << "";
    QTest::newRow("local program never installed: message")
        << "2" << "记账本" << "0" << "" << "" << "" << K::BrokenShortcut << "" << "";
    QTest::newRow("type \" 2\": no target, but the message")
        << " 2" << "Word" << "0" << "" << "/usr/bin/lowriter" << "/x" << K::BrokenShortcut << "" << "";
    QTest::newRow("type \" 1\": nothing")
        << " 1" << "x" << "1" << "http://svc.test/" << "" << "" << K::Nothing << "" << "";
    QTest::newRow("type \"03\": no target, nothing")
        << "03" << "x" << "0" << "/help/index.html" << "" << "" << K::Nothing << "" << "";
    QTest::newRow("unknown type") << "4" << "x" << "0" << "http://svc.test/" << "" << "" << K::Nothing << "" << "";
    QTest::newRow("text type") << "web" << "x" << "0" << "http://svc.test/" << "" << "" << K::Nothing << "" << "";
    QTest::newRow("shipped page")
        << "3" << "使用帮助" << "0" << "/help/index.html" << "" << "" << K::Browser << "@/help/index.html" << "";
    QTest::newRow("shipped page leading out of the folder: refused")
        << "3" << "x" << "0" << "/../../../etc/passwd" << "" << "" << K::BrokenShortcut << "" << "";
    QTest::newRow("shipped page without url: nothing")
        << "3" << "x" << "0" << "" << "" << "" << K::Nothing << "" << "";
}

void TestLaunchPlan::plan()
{
    QFETCH(QString, type);
    QFETCH(QString, name);
    QFETCH(QString, nosign);
    QFETCH(QString, url);
    QFETCH(QString, execpath);
    QFETCH(QString, install);
    QFETCH(LaunchPlan::Kind, kind);
    QFETCH(QString, target);
    QFETCH(QString, workingDirectory);

    desktopAppInfo app;
    app.type = type;
    app.name = name;
    app.nosign = nosign;
    app.url = url;
    app.execpath = execpath;
    app.install = install;
    const LaunchPlan plan = planLaunch(app, "?app_auth=ab12", m_appDir, {".desktop"});
    QCOMPARE(plan.kind, kind);
    if (target.startsWith('@'))
        QCOMPARE(plan.target, QUrl::fromLocalFile(m_appDir + target.mid(1)).toString());
    else if (kind != LaunchPlan::Kind::BrokenShortcut || !target.isEmpty())
        QCOMPARE(plan.target, target);
    QCOMPARE(plan.workingDirectory, workingDirectory);
}

void TestLaunchPlan::browserTargets_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("allowed");
    QTest::newRow("http") << "http://127.0.0.1:8080/a" << true;
    QTest::newRow("https") << "https://svc.test/" << true;
    QTest::newRow("bare host gets a web scheme") << "svc.test/apps" << true;
    QTest::newRow("page in the folder") << "@/help/index.html" << true;
    QTest::newRow("missing page in the folder") << "@/help/none.html" << true;
    QTest::newRow("dot-dot out of the folder") << "@/help/../../x.html" << false;
    QTest::newRow("sibling folder sharing the prefix") << "@-evil/x.html" << false;
    QTest::newRow("foreign file") << "file:///etc/passwd" << false;
    QTest::newRow("javascript") << "javascript:alert(1)" << false;
    QTest::newRow("data") << "data:text/html,<b>x</b>" << false;
    QTest::newRow("ftp") << "ftp://svc.test/x" << false;
    QTest::newRow("empty") << "" << false;
}

void TestLaunchPlan::browserTargets()
{
    QFETCH(QString, address);
    QFETCH(bool, allowed);
    if (address.startsWith('@'))
        address = QUrl::fromLocalFile(m_appDir + address.mid(1)).toString();
    QCOMPARE(isAllowedBrowserTarget(address, m_appDir), allowed);
}

void TestLaunchPlan::uninstallCommand_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow(".exe with arguments")
        << "C:\\Program Files\\jz\\uninst.exe /S /norestart" << "C:\\Program Files\\jz\\uninst.exe"
        << QStringList{"/S", "/norestart"};
    // The skipped character is the closing quote; the blank after it
    // leaves an empty first argument, as the rule has it.
    QTest::newRow(".exe quoted with arguments")
        << "\"C:\\Program Files\\jz\\uninst.exe\" /S" << "C:\\Program Files\\jz\\uninst.exe"
        << QStringList{"", "/S"};
    QTest::newRow(".exe: the character after it is skipped, empty parts kept")
        << "C:\\jz\\un.exe  /S" << "C:\\jz\\un.exe" << QStringList{"", "/S"};
    QTest::newRow(".exe alone: no arguments") << "C:\\jz\\un.exe" << "C:\\jz\\un.exe" << QStringList{};
    QTest::newRow(".exe quoted, nothing after") << "\"C:\\jz\\un.exe\"" << "C:\\jz\\un.exe" << QStringList{};
    QTest::newRow("first .exe counts") << "a.exe b.exe c" << "a.exe" << QStringList{"b.exe", "c"};
    QTest::newRow("upper-case .EXE: shell rules")
        << "\"C:/jz/UN.EXE\" /S" << "C:/jz/UN.EXE" << QStringList{"/S"};
    QTest::newRow("linux command with quotes")
        << "/opt/jz/uninstall.sh --purge \"my data\"" << "/opt/jz/uninstall.sh"
        << QStringList{"--purge", "my data"};
    QTest::newRow("shell syntax stays text")
        << "/opt/x/un.sh; rm -rf ~ && echo $(id)" << "/opt/x/un.sh;"
        << QStringList{"rm", "-rf", "~", "&&", "echo", "$(id)"};
    QTest::newRow("empty") << "" << "" << QStringList{};
}

void TestLaunchPlan::uninstallCommand()
{
    QFETCH(QString, command);
    QFETCH(QString, program);
    QFETCH(QStringList, arguments);
    const CommandLine line = splitUninstallCommand(command);
    QCOMPARE(line.program, program);
    QCOMPARE(line.arguments, arguments);
}

QTEST_APPLESS_MAIN(TestLaunchPlan)
#include "tst_launchplan.moc"
