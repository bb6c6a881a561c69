#include "appcenter/flows/AppFlows.h"
#include "core/AppPaths.h"
#include "core/Settings.h"
#include "tests/support/RefServiceProcess.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// The store as the desktop has it: c1 holds a1 and, twice, a2; c2 holds a3.
DesktopAppCatalogue fixture()
{
    auto category = [](const char *id) {
        auto c = DesktopAppCategoryPtr::create();
        c->id = QLatin1String(id);
        return c;
    };
    auto app = [](const char *id, const char *cate, const char *type = "1") {
        auto a = DesktopAppInfoPtr::create();
        a->id = QLatin1String(id);
        a->cateid = QLatin1String(cate);
        a->name = QStringLiteral("App ") + QLatin1String(id);
        a->type = QLatin1String(type);
        return a;
    };
    return {qMakePair(category("c1"), DesktopAppList{app("a1", "c1"), app("a2", "c1"), app("a2", "c1")}),
            qMakePair(category("c2"), DesktopAppList{app("a3", "c2", "2")})};
}

QString request(const QString &cate, const QString &app, const QJsonObject &more = {})
{
    QJsonObject data = more;
    data.insert(QStringLiteral("cate_id"), cate);
    data.insert(QStringLiteral("app_id"), app);
    return QString::fromUtf8(QJsonDocument(QJsonObject{{QStringLiteral("data"), data}}).toJson());
}

// The service as a script: each operation answers what the test says and
// writes one line to the journal, which also records the page calls, so
// that the order of everything a flow does can be compared.
struct ScriptedService
{
    QStringList journal;
    QHash<QString, AppFlows::Answer> answers; // by operation; default: 200

    AppFlows::Answer answer(const QString &op) const
    {
        return answers.value(op, AppFlows::Answer{true, true, 200});
    }

    AppFlows::Service make()
    {
        AppFlows::Service s;
        s.deleteApp = [this](const QString &id, const QString &) {
            journal << "delete " + id;
            return answer("delete");
        };
        s.isInstall = [this](const QString &id) {
            journal << "isInstall " + id;
            return answer("isInstall");
        };
        s.addNew = [this](const QString &company, const QString &id, const QString &) {
            journal << "addNew " + company + " " + id;
            return answer("addNew");
        };
        s.updateInstallState = [this](const QString &id, const QString &, const QString &install,
                                      const QString &uninstall) {
            journal << "state " + id + " " + install + " " + uninstall;
            return answer("state");
        };
        s.setOnDesktop = [this](const QString &id, int flag) {
            journal << QStringLiteral("desktop %1 %2").arg(id).arg(flag);
            return answer("desktop");
        };
        s.fetchIcon = [](const QString &address) { return QStringLiteral("/cache/") + address; };
        return s;
    }
};

const AppFlows::Answer failed{false, false, 0};
const AppFlows::Answer notJson{true, false, 0};
AppFlows::Answer code(int c) { return {true, true, c}; }

} // namespace

Q_DECLARE_METATYPE(AppFlows::Answer)

class TestAppFlows : public QObject
{
    Q_OBJECT

private:
    struct Harness
    {
        CatalogueStore store;
        ScriptedService service;
        QScopedPointer<AppFlows> flows;
        QList<AppFlows::Message> messages;
        QList<DesktopAppInfoPtr> downloads;

        Harness()
        {
            store.reset(fixture());
            flows.reset(new AppFlows(&store, service.make()));
            flows->setCompanyId(QStringLiteral("c100"));
            QObject::connect(flows.data(), &AppFlows::pageCall, flows.data(),
                             [this](const QString &f, const QStringList &args) {
                                 service.journal << f + "(" + args.join(',') + ")";
                             });
            QObject::connect(flows.data(), &AppFlows::message, flows.data(),
                             [this](const AppFlows::Message &m) { messages << m; });
            QObject::connect(flows.data(), &AppFlows::downloadRequested, flows.data(),
                             [this](const DesktopAppInfoPtr &a) { downloads << a; });
        }
    };

private slots:
    void install_data()
    {
        QTest::addColumn<AppFlows::Answer>("isInstall");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("download");

        QTest::newRow("accepted") << code(200) << QString() << true;
        QTest::newRow("already present") << code(735) << AppFlows::alreadyPresent().text << false;
        QTest::newRow("refused") << code(403) << AppFlows::addFailed().text << false;
        QTest::newRow("no answer") << failed << QString() << false;
        QTest::newRow("not JSON") << notJson << QString() << false;
    }

    void install()
    {
        QFETCH(AppFlows::Answer, isInstall);
        QFETCH(QString, message);
        QFETCH(bool, download);
        Harness h;
        h.service.answers.insert("isInstall", isInstall);
        const DesktopAppInfoPtr shown = h.store.apps("c1").at(1);
        QSignalSpy changes(&h.store, &CatalogueStore::changed);

        h.flows->install(request("c1", "a2", {{"app_name", "编辑器"}, {"icon", "i.png"}, {"type", "2"},
                                              {"exec_path", "bin/ed"}, {"is_remove", "1"}}));

        // Both records with the id go, on the service and in the store, first.
        QCOMPARE(h.service.journal, (QStringList{"delete a2", "delete a2", "isInstall a2"}));
        QCOMPARE(changes.count(), 2);
        QCOMPARE(h.store.apps("c1").size(), 1);
        // A window that still shows a dropped record keeps a valid one.
        QCOMPARE(shown->name, QString("App a2"));
        QCOMPARE(h.downloads.size(), download ? 1 : 0);
        QCOMPARE(h.messages.size(), message.isEmpty() ? 0 : 1);
        if (!message.isEmpty())
            QCOMPARE(h.messages[0].text, message);
        if (download) {
            const DesktopAppInfoPtr made = h.downloads[0];
            QCOMPARE(made->name, QString("编辑器"));
            QCOMPARE(made->icon, QString("/cache/i.png"));
            QCOMPARE(made->execpath, QString("bin/ed"));
            QCOMPARE(made->isinstall, QString("0"));
            QCOMPARE(made->isremove, QString("1"));
        }
    }

    void pushOfferCarriesNoAppName()
    {
        Harness h;
        h.flows->install(request("c2", "a9", {{"name", "Offer"}}));
        QCOMPARE(h.downloads.size(), 1);
        QVERIFY(h.downloads[0]->name.isEmpty());
    }

    void requestsThatNameNothingDoNothing_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("not JSON") << "install me";
        QTest::newRow("JSON array") << "[1,2]";
        QTest::newRow("unknown category") << request("c9", "a1");
        QTest::newRow("unknown application") << request("c1", "a9");
        QTest::newRow("ids of the wrong type") << R"({"data":{"cate_id":1,"app_id":2}})";
    }

    void requestsThatNameNothingDoNothing()
    {
        QFETCH(QString, text);
        Harness h;
        QSignalSpy changes(&h.store, &CatalogueStore::changed);
        QSignalSpy anything(h.flows.data(), &AppFlows::pageCall);
        for (auto flow : {&AppFlows::uninstall, &AppFlows::add, &AppFlows::remove, &AppFlows::open})
            (h.flows.data()->*flow)(text);
        if (!text.contains("a9")) // an unknown application may still be installed
            h.flows->install(text);
        QCOMPARE(h.service.journal, QStringList());
        QCOMPARE(changes.count(), 0);
        QCOMPARE(anything.count(), 0);
        QVERIFY(h.messages.isEmpty());
    }

    void completion_data()
    {
        QTest::addColumn<AppFlows::Answer>("addNew");
        QTest::addColumn<AppFlows::Answer>("state");
        QTest::addColumn<QStringList>("journal");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("onDesktop");

        const QString page = "app_install_done(c2,n1)";
        const QString add = "addNew c100 n1";
        const QString state = "state n1 /opt/n1/run /opt/n1/uninstall.sh";
        QTest::newRow("registered") << code(200) << code(200)
                                    << QStringList{page, add, state, "desktop n1 1"} << QString() << true;
        QTest::newRow("add refused 735") << code(735) << code(200) << QStringList{page, add}
                                         << AppFlows::alreadyPresent().text << false;
        QTest::newRow("add refused") << code(500) << code(200) << QStringList{page, add}
                                     << AppFlows::addFailed().text << false;
        QTest::newRow("add failed") << failed << code(200) << QStringList{page, add}
                                    << AppFlows::addFailed().text << false;
        QTest::newRow("add answer not JSON") << notJson << code(200) << QStringList{page, add} << QString() << false;
        QTest::newRow("state refused") << code(200) << code(400) << QStringList{page, add, state}
                                       << AppFlows::installFailed().text << false;
        QTest::newRow("state failed") << code(200) << failed << QStringList{page, add, state}
                                      << AppFlows::installFailed().text << false;
    }

    void completion()
    {
        QFETCH(AppFlows::Answer, addNew);
        QFETCH(AppFlows::Answer, state);
        QFETCH(QStringList, journal);
        QFETCH(QString, message);
        QFETCH(bool, onDesktop);
        Harness h;
        h.service.answers.insert("addNew", addNew);
        h.service.answers.insert("state", state);
        auto app = DesktopAppInfoPtr::create();
        app->id = "n1";
        app->cateid = "c2";
        app->install = "/opt/n1/run";
        app->uninstall = "/opt/n1/uninstall.sh";
        QSignalSpy reopen(h.flows.data(), &AppFlows::reopenRequested);

        h.flows->installationComplete(app);

        // The page hears of it before any call of the registration.
        QCOMPARE(h.service.journal, journal);
        QCOMPARE(h.messages.size(), message.isEmpty() ? 0 : 1);
        if (!message.isEmpty())
            QCOMPARE(h.messages[0].text, message);
        QCOMPARE(h.store.contains(app), onDesktop);
        QCOMPARE(reopen.count(), onDesktop ? 1 : 0);
        if (onDesktop) {
            QCOMPARE(app->isinstall, QString("1"));
            QCOMPARE(app->isremove, QString("1"));
            QCOMPARE(h.store.apps("c2").last(), app);
        }
    }

    void aSecondReportOnlyRefreshesThePaths()
    {
        // A watch that sees the program and its desktop shortcut in one look
        // reports the record twice.
        Harness h;
        auto app = DesktopAppInfoPtr::create();
        app->id = "n1";
        app->cateid = "c2";
        app->install = "/opt/n1/run";
        h.flows->installationComplete(app);
        QVERIFY(h.store.contains(app));
        h.store.updateApp(app, [](desktopAppInfo &a) { a.install = "/home/u/Desktop/n1.desktop"; });
        h.service.journal.clear();
        h.flows->installationComplete(app);
        QCOMPARE(h.service.journal, QStringList{"state n1 /home/u/Desktop/n1.desktop "});
        QVERIFY(h.messages.isEmpty());
    }

    void completionForAnUnknownCategoryIsDropped()
    {
        Harness h;
        auto app = DesktopAppInfoPtr::create();
        app->id = "n1";
        app->cateid = "c9";
        h.flows->installationComplete(app);
        QCOMPARE(h.service.journal, QStringList());
    }

    void addAndRemove_data()
    {
        QTest::addColumn<QString>("flow");
        QTest::addColumn<AppFlows::Answer>("answer");
        QTest::addColumn<QStringList>("journal");
        QTest::addColumn<QString>("isremove");

        QTest::newRow("add") << "add" << code(200) << QStringList{"desktop a1 1", "app_add_done(c1,a1)"} << "1";
        QTest::newRow("add, call failed: the page still hears")
            << "add" << failed << QStringList{"desktop a1 1", "app_add_done(c1,a1)"} << "";
        QTest::newRow("remove") << "remove" << code(200) << QStringList{"desktop a1 0", "app_remove_done(c1,a1)"} << "0";
        QTest::newRow("remove, call failed: nothing changes") << "remove" << failed << QStringList{"desktop a1 0"} << "";
    }

    void addAndRemove()
    {
        QFETCH(QString, flow);
        QFETCH(AppFlows::Answer, answer);
        QFETCH(QStringList, journal);
        QFETCH(QString, isremove);
        Harness h;
        h.service.answers.insert("desktop", answer);
        if (flow == "add")
            h.flows->add(request("c1", "a1"));
        else
            h.flows->remove(request("c1", "a1"));
        QCOMPARE(h.service.journal, journal);
        QCOMPARE(h.store.findApp("a1")->isremove, isremove);
    }

    void uninstall()
    {
        Harness h;
        QSignalSpy run(h.flows.data(), &AppFlows::uninstallRequested);
        QSignalSpy complete(h.flows.data(), &AppFlows::uninstallationComplete);

        // Nothing to run: done at once.
        h.flows->uninstall(request("c1", "a1"));
        QCOMPARE(h.service.journal, QStringList{"app_uninstall_done(c1,a1)"});
        QCOMPARE(complete.count(), 1);
        QCOMPARE(run.count(), 0);

        const DesktopAppInfoPtr a3 = h.store.findApp("a3");
        h.store.updateApp(a3, [](desktopAppInfo &a) { a.uninstall = R"("C:\a3\uninst.exe" /S)"; });
        h.flows->uninstall(request("c2", "a3"));
        QCOMPARE(run.count(), 1);
        QCOMPARE(run.at(0).at(1).toString(), QString(R"(C:\a3\uninst.exe)"));
        QCOMPARE(run.at(0).at(2).toStringList(), (QStringList{"", "/S"}));
        QCOMPARE(complete.count(), 1);
        h.flows->uninstalled(a3);
        QCOMPARE(h.service.journal.last(), QString("app_uninstall_done(c2,a3)"));
        QCOMPARE(complete.count(), 2);
    }

    void aSecondClickWhileAFlowWaitsIsIgnored()
    {
        Harness h;
        int nested = 0;
        AppFlows::Service s = h.service.make();
        s.setOnDesktop = [&](const QString &, int) {
            // The user clicks again while the call waits in its loop.
            if (++nested == 1)
                h.flows->add(request("c1", "a1"));
            return code(200);
        };
        h.flows.reset(new AppFlows(&h.store, s));
        QSignalSpy page(h.flows.data(), &AppFlows::pageCall);
        h.flows->add(request("c1", "a1"));
        QCOMPARE(nested, 1);
        QCOMPARE(page.count(), 1);
        // Once done, the next click is served.
        h.flows->add(request("c1", "a1"));
        QCOMPARE(nested, 2);
    }

    void flowsObjectDestroyedWhileACallWaits()
    {
        Harness h;
        AppFlows::Service s = h.service.make();
        s.isInstall = [&](const QString &) {
            h.flows.reset(); // the app centre goes while the call waits
            return code(200);
        };
        h.flows.reset(new AppFlows(&h.store, s));
        h.flows->install(request("c1", "a1"));
        QVERIFY(h.flows.isNull());
        QVERIFY(h.downloads.isEmpty());
    }

    // The same flows against the real service: what it stores is what the
    // flows meant.
    void againstTheService()
    {
        RefServiceProcess service;
        QVERIFY2(service.isRunning(), qPrintable(service.errorText()));
        QTemporaryDir dir;
        AppPaths::setAppDirPathOverride(dir.path());
        AppPaths::setServerAddress(service.baseUrl());
        const auto credentials = service.demoCredentials();
        QVERIFY(Settings::writeSignIn({credentials.second, credentials.first, "demo", "demo1234"}));

        CatalogueStore store;
        auto c4 = DesktopAppCategoryPtr::create();
        c4->id = "c4";
        store.reset({qMakePair(c4, DesktopAppList{})});
        AppFlows flows(&store, AppFlows::Service::real());
        flows.setCompanyId("c100");
        QSignalSpy downloads(&flows, &AppFlows::downloadRequested);
        QList<AppFlows::Message> messages;
        connect(&flows, &AppFlows::message, this, [&](const AppFlows::Message &m) { messages << m; });

        // a404 is in the store but not on the demo desktop.
        flows.install(request("c4", "a404", {{"app_name", "报表中心"}, {"type", "1"}, {"url", "http://x/"}}));
        QCOMPARE(downloads.count(), 1);
        const DesktopAppInfoPtr app = downloads.at(0).at(0).value<DesktopAppInfoPtr>();
        flows.installationComplete(app);
        QVERIFY(messages.isEmpty());
        QVERIFY(store.contains(app));
        const QJsonObject row = service.userApp(credentials.first, "a404");
        QCOMPARE(row.value("is_remove").toVariant().toString(), QString("1"));

        // Another record of the same application registered: the service
        // says it is there already.
        flows.installationComplete(DesktopAppInfoPtr::create(*app));
        QCOMPARE(messages.size(), 1);
        QCOMPARE(messages[0].text, AppFlows::alreadyPresent().text);

        flows.remove(request("c4", "a404"));
        QCOMPARE(service.userApp(credentials.first, "a404").value("is_remove").toVariant().toString(),
                 QString("0"));
        AppPaths::setAppDirPathOverride(QString());
    }
};


QTEST_GUILESS_MAIN(TestAppFlows)
#include "tst_appflows.moc"
