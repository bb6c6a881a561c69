#include "desktop/find/AppSearch.h"
#include "desktop/find/Favourites.h"
#include "desktop/find/PinyinInitials.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

DesktopAppInfoPtr app(const QString &id, const QString &name, const QString &isremove = "1")
{
    auto a = DesktopAppInfoPtr::create();
    a->id = id;
    a->name = name;
    a->isremove = isremove;
    a->isinstall = "1";
    return a;
}

// The demo desktop, shortened: four categories, one application taken off.
DesktopAppCatalogue catalogue()
{
    auto category = [](const char *id) {
        auto c = DesktopAppCategoryPtr::create();
        c->id = QLatin1String(id);
        return c;
    };
    return {
        qMakePair(category("c1"), DesktopAppList{app("a101", "Word"), app("a102", "Excel"),
                                                  app("a103", "在线文档"), app("a104", "会议预约")}),
        qMakePair(category("c2"), DesktopAppList{app("a201", "速绘画板"), app("a202", "图片库"),
                                                  app("a203", "配色手册", "0")}),
        qMakePair(category("c3"), DesktopAppList{app("a301", "代码仓库"), app("a302", "终端助手")}),
        qMakePair(category("c4"), DesktopAppList{app("a401", "消息公告"), app("a402", "记账本"),
                                                  app("a101", "Word")}),
    };
}

bool shown(const desktopAppInfo &a)
{
    return a.isremove != QLatin1String("0");
}

QStringList ids(const DesktopAppList &apps)
{
    QStringList out;
    for (const auto &a : apps)
        out << a->id;
    return out;
}

} // namespace

class TestFind : public QObject
{
    Q_OBJECT

private slots:
    void initials_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("initials");
        QTest::newRow("first level, every letter's edge") << "啊芭擦搭蛾发噶哈击喀垃妈拿哦啪期然撒塌挖昔压匝座"
                                                          << "abcdefghjklmnopqrstwxyzz";
        QTest::newRow("last of a letter") << "澳怖孕" << "aby";
        QTest::newRow("demo names") << "速绘画板" << "shhb";
        QTest::newRow("mixed with Latin and digits") << "Office 365 文档" << "office365wd";
        QTest::newRow("punctuation left out") << "记账本（个人）" << "jzbgr";
        QTest::newRow("second level and beyond GB2312 have none") << "亍𠀀" << "";
        QTest::newRow("empty") << "" << "";
    }

    void initials()
    {
        QFETCH(QString, text);
        QFETCH(QString, initials);
        QCOMPARE(PinyinInitials::of(text), initials);
    }

    void search_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("found");
        QTest::newRow("part of a name") << "仓" << QStringList{"a301"};
        QTest::newRow("letter case") << "wOR" << QStringList{"a101"};
        QTest::newRow("pinyin initials") << "shhb" << QStringList{"a201"};
        QTest::newRow("part of the initials") << "hh" << QStringList{"a201"};
        QTest::newRow("initials across categories") << "zx" << QStringList{"a103"};
        QTest::newRow("across categories by name") << "e" << QStringList{"a102"};
        QTest::newRow("taken off the desktop is not found") << "配色" << QStringList{};
        QTest::newRow("blank finds nothing") << "  " << QStringList{};
        QTest::newRow("surrounding blanks ignored") << " 记账 " << QStringList{"a402"};
    }

    void search()
    {
        QFETCH(QString, typed);
        QFETCH(QStringList, found);
        AppSearch search;
        search.rebuild(catalogue(), shown);
        QCOMPARE(search.size(), 10); // "Word" twice counts once, one hidden
        QCOMPARE(ids(search.find(typed)), found);
    }

    void searchLimit()
    {
        AppSearch search;
        search.rebuild(catalogue(), shown);
        QCOMPARE(ids(search.find("d", 2)), (QStringList{"a101", "a103"}));
    }

    void favouritesSurviveARestart()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("Favourites.json");
        {
            Favourites f(path, "u1");
            f.load();
            QVERIFY(f.pin("a201"));
            QVERIFY(f.pin("a101"));
            for (const char *id : {"a301", "a102", "a301", "a402"})
                QVERIFY(f.noteLaunched(QLatin1String(id)));
            Favourites other(path, "u2");
            other.load();
            QVERIFY(other.pin("a999"));
        }
        Favourites f(path, "u1");
        f.load();
        QCOMPARE(f.pinned(), (QStringList{"a201", "a101"}));
        QCOMPARE(f.recent(), (QStringList{"a402", "a301", "a102"}));
        // Pinned first, then recent ones not pinned, newest first.
        QCOMPARE(ids(f.commonApps(catalogue())), (QStringList{"a201", "a101", "a402", "a301", "a102"}));
        QVERIFY(f.unpin("a101"));
        QVERIFY(!f.isPinned("a101"));
        Favourites other(path, "u2");
        other.load();
        QCOMPARE(other.pinned(), QStringList{"a999"});
        QCOMPARE(QFile::permissions(path) & (QFileDevice::ReadOther | QFileDevice::ReadGroup),
                 QFileDevice::Permissions());
    }

    void recentListIsBounded()
    {
        QTemporaryDir dir;
        Favourites f(dir.filePath("Favourites.json"), "u1");
        for (int i = 0; i < 15; ++i)
            f.noteLaunched(QStringLiteral("a%1").arg(i));
        QCOMPARE(f.recent().size(), Favourites::kMaxRecent);
        QCOMPARE(f.recent().first(), QString("a14"));
    }

    void applicationsThatLeftTheCatalogueLeaveTheLists()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("Favourites.json");
        Favourites f(path, "u1");
        f.pin("a201");
        f.pin("gone1");
        f.noteLaunched("gone2");
        f.noteLaunched("a102");
        QVERIFY(f.keepOnly(catalogue()));
        Favourites again(path, "u1");
        again.load();
        QCOMPARE(again.pinned(), QStringList{"a201"});
        QCOMPARE(again.recent(), QStringList{"a102"});
    }

    void brokenFileReadsEmpty_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("not JSON") << QByteArray("{{{");
        QTest::newRow("wrong types") << QByteArray(R"({"u1": {"pinned": "a1", "recent": [1, null, {}]}})");
        QTest::newRow("an array") << QByteArray("[]");
    }

    void brokenFileReadsEmpty()
    {
        QFETCH(QByteArray, content);
        QTemporaryDir dir;
        const QString path = dir.filePath("Favourites.json");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
        file.close();
        Favourites f(path, "u1");
        f.load();
        QVERIFY(f.pinned().isEmpty());
        QVERIFY(f.recent().isEmpty());
        QVERIFY(f.pin("a1"));
    }

    void unwritableFileKeepsTheChangeForTheRun()
    {
        QTemporaryDir dir;
        // A folder where the file should be: nothing can replace it.
        const QString path = dir.filePath("Favourites.json");
        QVERIFY(QDir().mkpath(path));
        Favourites f(path, "u1");
        QVERIFY(!f.pin("a1"));
        QVERIFY(f.isPinned("a1"));
    }
};

QTEST_GUILESS_MAIN(TestFind)
#include "tst_find.moc"
