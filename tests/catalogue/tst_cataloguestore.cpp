#include "catalogue/CatalogueStore.h"

#include <QSignalSpy>
#include <QtTest>

namespace {

DesktopAppInfoPtr app(const QString &id, const QString &category)
{
    auto a = DesktopAppInfoPtr::create();
    a->id = id;
    a->cateid = category;
    a->name = QStringLiteral("App ") + id;
    return a;
}

// Two categories: c1 with a1, a2; c2 with a3.
DesktopAppCatalogue fixture()
{
    auto c1 = DesktopAppCategoryPtr::create();
    c1->id = QStringLiteral("c1");
    auto c2 = DesktopAppCategoryPtr::create();
    c2->id = QStringLiteral("c2");
    return {qMakePair(c1, DesktopAppList{app("a1", "c1"), app("a2", "c1")}),
            qMakePair(c2, DesktopAppList{app("a3", "c2")})};
}

QStringList ids(const DesktopAppList &list)
{
    QStringList out;
    for (const auto &a : list)
        out << a->id;
    return out;
}

} // namespace

class TestCatalogueStore : public QObject
{
    Q_OBJECT

private slots:
    void resetAnnouncesOnce()
    {
        CatalogueStore store;
        QSignalSpy spy(&store, &CatalogueStore::changed);
        const DesktopAppCatalogue catalogue = fixture();
        store.reset(catalogue);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).value<CatalogueStore::Change>().kind, CatalogueStore::Change::Reset);
        QVERIFY(sameCatalogue(store.catalogue(), catalogue));
        QCOMPARE(store.categoryCount(), 2);
        QCOMPARE(store.findApp("a3")->cateid, QString("c2"));
        QCOMPARE(store.categoryOf(store.findApp("a2")), QString("c1"));
        QCOMPARE(ids(store.apps("c9")), QStringList());
    }

    void changes_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QString>("appId");
        QTest::addColumn<QString>("categoryId");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QStringList>("c1After");

        const QStringList unchanged{"a1", "a2"};
        QTest::newRow("add new to c1") << "add" << "n1" << "c1" << true << QStringList{"a1", "a2", "n1"};
        QTest::newRow("add to unknown category") << "add" << "n1" << "c9" << false << unchanged;
        QTest::newRow("add a held record again") << "add" << "a1" << "c1" << false << unchanged;
        QTest::newRow("add null") << "add" << "" << "c1" << false << unchanged;
        QTest::newRow("remove held") << "remove" << "a1" << "c1" << true << QStringList{"a2"};
        QTest::newRow("remove foreign record") << "remove" << "n1" << "c1" << false << unchanged;
        QTest::newRow("update held") << "update" << "a2" << "c1" << true << unchanged;
        QTest::newRow("update foreign record") << "update" << "n1" << "c1" << false << unchanged;
    }

    void changes()
    {
        QFETCH(QString, operation);
        QFETCH(QString, appId);
        QFETCH(QString, categoryId);
        QFETCH(bool, accepted);
        QFETCH(QStringList, c1After);

        CatalogueStore store;
        store.reset(fixture());
        // A record from outside the store carries the same id as none of
        // its records, or the id of a held one ("a1" for "add again").
        DesktopAppInfoPtr record;
        if (!appId.isEmpty())
            record = store.findApp(appId) ? store.findApp(appId) : app(appId, categoryId);

        // What a window sees when told: the change is already made.
        QStringList seen;
        connect(&store, &CatalogueStore::changed, this,
                [&](const CatalogueStore::Change &) { seen = ids(store.apps("c1")); });
        QSignalSpy spy(&store, &CatalogueStore::changed);
        bool edited = false;
        bool ok = false;
        if (operation == "add") {
            ok = store.addApp(categoryId, record);
        } else if (operation == "remove") {
            ok = store.removeApp(record);
        } else {
            ok = store.updateApp(record, [&edited](desktopAppInfo &a) {
                edited = true;
                a.isremove = QStringLiteral("1");
            });
        }
        QCOMPARE(ok, accepted);
        QCOMPARE(spy.count(), accepted ? 1 : 0);
        QCOMPARE(ids(store.apps("c1")), c1After);
        QCOMPARE(ids(store.apps("c2")), QStringList{"a3"});
        if (!accepted) {
            QVERIFY(!edited);
            return;
        }
        QCOMPARE(seen, c1After);
        const auto change = spy.at(0).at(0).value<CatalogueStore::Change>();
        QCOMPARE(change.categoryId, categoryId);
        QCOMPARE(change.app, record);
        if (operation == "update") {
            QVERIFY(edited);
            QCOMPARE(change.kind, CatalogueStore::Change::Updated);
            QCOMPARE(store.findApp(appId)->isremove, QString("1"));
        }
    }

    void removedRecordStaysValidForItsHolders()
    {
        CatalogueStore store;
        store.reset(fixture());
        const DesktopAppInfoPtr held = store.findApp("a2");
        QVERIFY(store.removeApp(held));
        QVERIFY(!store.contains(held));
        QCOMPARE(held->name, QString("App a2"));
        QVERIFY(!store.removeApp(held));
        // Put back, it is the same record again.
        QVERIFY(store.addApp("c2", held));
        QCOMPARE(store.categoryOf(held), QString("c2"));
    }
};

QTEST_GUILESS_MAIN(TestCatalogueStore)
#include "tst_cataloguestore.moc"
