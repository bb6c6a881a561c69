#include "app/update/WindowSystemChoice.h"

#include <QtTest>

// Which window system start-up picks from the session's environment.
class TestWindowSystem : public QObject
{
    Q_OBJECT

private slots:
    void choice_data();
    void choice();
};

void TestWindowSystem::choice_data()
{
    QTest::addColumn<QStringList>("environment");
    QTest::addColumn<QString>("platform"); // empty: left as the session has it
    QTest::addColumn<QString>("logged");

    QTest::newRow("X11 session") << QStringList{"DISPLAY=:0", "XDG_SESSION_TYPE=x11"} << QString()
                                 << "the session's own";
    // Plasma sets QT_QPA_PLATFORM=wayland for its session.
    QTest::newRow("Wayland session asking for wayland")
        << QStringList{"DISPLAY=:1", "WAYLAND_DISPLAY=wayland-0", "XDG_SESSION_TYPE=wayland",
                       "QT_QPA_PLATFORM=wayland"}
        << "xcb" << "XWayland";
    QTest::newRow("Wayland session asking for a fallback list")
        << QStringList{"DISPLAY=:1", "WAYLAND_DISPLAY=wayland-0", "QT_QPA_PLATFORM=wayland;xcb"} << "xcb"
        << "XWayland";
    QTest::newRow("Wayland session asking for nothing")
        << QStringList{"DISPLAY=:1", "XDG_SESSION_TYPE=wayland"} << "xcb" << "XWayland";
    QTest::newRow("wayland asked for on an X11 session")
        << QStringList{"DISPLAY=:0", "QT_QPA_PLATFORM=wayland"} << "xcb" << "XWayland";
    QTest::newRow("Wayland without XWayland stays")
        << QStringList{"WAYLAND_DISPLAY=wayland-0", "QT_QPA_PLATFORM=wayland"} << QString() << "DISPLAY is not set";
    QTest::newRow("ORVANE_QPA has the last word")
        << QStringList{"DISPLAY=:1", "WAYLAND_DISPLAY=wayland-0", "QT_QPA_PLATFORM=wayland", "ORVANE_QPA=wayland"}
        << "wayland" << "ORVANE_QPA";
    QTest::newRow("another platform asked for is kept")
        << QStringList{"WAYLAND_DISPLAY=wayland-0", "QT_QPA_PLATFORM=offscreen"} << QString()
        << "offscreen, as QT_QPA_PLATFORM asks";
}

void TestWindowSystem::choice()
{
    QFETCH(QStringList, environment);
    QFETCH(QString, platform);
    QFETCH(QString, logged);
    QProcessEnvironment env;
    for (const QString &entry : environment)
        env.insert(entry.section('=', 0, 0), entry.section('=', 1));
    const WindowSystemChoice::Choice choice = WindowSystemChoice::choose(env);
    QCOMPARE(choice.platform, platform);
    QVERIFY2(choice.reason.contains(logged), qPrintable(choice.reason));
}

QTEST_GUILESS_MAIN(TestWindowSystem)
#include "tst_windowsystem.moc"
