#include "catalogue/CatalogueFile.h"
#include "catalogue/CatalogueJson.h"
#include "login/core/CatalogueFetch.h"
#include "tests/support/FullDisk.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QtTest>

namespace {

QJsonObject app(const QString &id, const QString &name, const QString &cate)
{
    return QJsonObject{{"cate_id", cate},
                       {"desc", QStringLiteral("说明 & <b>\"quoted\"</b>\nline two")},
                       {"exec_path", "C:/Program Files/" + name + "/run.exe"},
                       {"icon", "http://pics.test/icons/" + id + ".png?v=3"},
                       {"id", id},
                       {"is_install", "1"},
                       {"is_remove", "0"},
                       {"name", name},
                       {"params", "--start"},
                       {"sort", "5"},
                       {"type", "2"},
                       {"nosign", "0"},
                       {"url", "http://apps.test/" + id},
                       {"private_exec_path", "/opt/" + id + "/bin"},
                       {"private_unload_path", "/opt/" + id + "/uninstall"}};
}

// Two categories holding three and zero applications.
QJsonObject answer()
{
    QJsonArray office{app("11", QStringLiteral("文档"), "1"), app("12", "Sheets", "1"),
                      app("13", "Mail", "1")};
    QJsonArray categories{
        QJsonObject{{"id", "1"}, {"name", QStringLiteral("办公")},
                    {"icon", "http://pics.test/cate/office.png"}, {"child", office}},
        QJsonObject{{"id", "2"}, {"name", "Empty"}, {"icon", "http://pics.test/cate/empty.png"},
                    {"child", QJsonArray()}}};
    return QJsonObject{{"code", 200}, {"message", "ok"},
                       {"data", QJsonObject{{"app", categories}}}};
}

QString toText(const QJsonObject &o)
{
    return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
}

QString localFor(const QString &address)
{
    return "/cache/" + QUrl(address).fileName();
}

CatalogueFetch::Hooks hooksFor(const QString &text, bool answered, QStringList *messages,
                               QStringList *fetched = nullptr)
{
    CatalogueFetch::Hooks hooks;
    hooks.requestApps = [=](const QString &, const QString &, QString *out) {
        *out = answered ? text : QString();
        return answered;
    };
    hooks.message = [messages](const QString &m) { messages->append(m); };
    hooks.fetchIcons = [fetched](const QStringList &addresses) {
        if (fetched)
            *fetched = addresses;
        QStringList paths;
        for (const QString &a : addresses)
            paths.append(localFor(a));
        return paths;
    };
    return hooks;
}

} // namespace

class TestCatalogue : public QObject
{
    Q_OBJECT

private slots:
    void valuesAreReadAsStrings_data();
    void valuesAreReadAsStrings();
    void fetchBuildsCatalogueAndFile();
    void fetchFailures_data();
    void fetchFailures();
    void fileRoundTrip();
    void writeReplacesWholeFile();
    void cacheStaysWholeWhileIconsDownload();
    void fullDiskKeepsPreviousFile();
    void oddShapesReadAsEmpty();
    void readerAcceptsAnyElementNames();
    void readerRejects_data();
    void readerRejects();
    void catalogueHelpers();
};

void TestCatalogue::valuesAreReadAsStrings_data()
{
    QTest::addColumn<QJsonValue>("value");
    QTest::addColumn<QString>("expected");
    QTest::newRow("string") << QJsonValue("42") << "42";
    QTest::newRow("number") << QJsonValue(42) << "";
    QTest::newRow("bool") << QJsonValue(true) << "";
    QTest::newRow("null") << QJsonValue() << "";
    QTest::newRow("object") << QJsonValue(QJsonObject{{"a", "b"}}) << "";
}

void TestCatalogue::valuesAreReadAsStrings()
{
    QFETCH(QJsonValue, value);
    QFETCH(QString, expected);
    QJsonObject child{{"id", value}, {"name", "n"}};
    QJsonArray categories{QJsonObject{{"id", value}, {"child", QJsonArray{child}}}};
    DesktopAppCatalogue catalogue;
    QVERIFY(CatalogueJson::fromAppArray(categories, &catalogue));
    QCOMPARE(catalogue.size(), 1);
    QCOMPARE(catalogue[0].first->id, expected);
    QCOMPARE(catalogue[0].second.size(), 1);
    QCOMPARE(catalogue[0].second[0]->id, expected);
    QCOMPARE(catalogue[0].second[0]->name, QString("n"));
    // Keys the answer leaves out read as empty text.
    QVERIFY(catalogue[0].second[0]->install.isEmpty());
    QVERIFY(catalogue[0].second[0]->uninstall.isEmpty());
}

void TestCatalogue::fetchBuildsCatalogueAndFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("DesktopApp.xml");
    QStringList messages, fetched;
    DesktopAppCatalogue catalogue;
    QVERIFY(CatalogueFetch::run(hooksFor(toText(answer()), true, &messages, &fetched), "tok",
                                "uid", path, &catalogue));
    QVERIFY(messages.isEmpty());

    // Icons in the order a one-at-a-time fetch downloads them.
    QCOMPARE(fetched, (QStringList{"http://pics.test/cate/office.png",
                                   "http://pics.test/icons/11.png?v=3",
                                   "http://pics.test/icons/12.png?v=3",
                                   "http://pics.test/icons/13.png?v=3",
                                   "http://pics.test/cate/empty.png"}));

    QCOMPARE(catalogue.size(), 2);
    QCOMPARE(catalogue[0].first->name, QStringLiteral("办公"));
    QCOMPARE(catalogue[0].first->icon, QString("/cache/office.png"));
    QCOMPARE(catalogue[0].second.size(), 3);
    QCOMPARE(catalogue[1].second.size(), 0);
    const desktopAppInfo &first = *catalogue[0].second[0];
    QCOMPARE(first.name, QStringLiteral("文档"));
    QCOMPARE(first.icon, QString("/cache/11.png"));
    QCOMPARE(first.execpath, QString("C:/Program Files/文档/run.exe"));
    QCOMPARE(first.install, QString("/opt/11/bin"));
    QCOMPARE(first.uninstall, QString("/opt/11/uninstall"));
    QCOMPARE(first.cateid, QString("1"));

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QVERIFY(bytes.startsWith("<?xml version=\"1.0\" encoding=\"GB2312\"?>"));
    // Chinese text is stored as GB2312 bytes.
    QVERIFY(bytes.contains(QTextCodec::codecForName("GB2312")->fromUnicode(QStringLiteral("办公"))));
    QVERIFY(bytes.contains("\n    <class id=\"1\""));
    QVERIFY(bytes.contains("\n        <app id=\"11\""));
    QCOMPARE(bytes.count("<class "), 2);
    QCOMPARE(bytes.count("<app "), 3);
    QVERIFY(bytes.contains("<class id=\"2\" name=\"Empty\" icon=\"/cache/empty.png\"/>"));

    DesktopAppCatalogue reread;
    QVERIFY(CatalogueFile::read(path, &reread));
    QVERIFY(sameCatalogue(reread, catalogue));
}

void TestCatalogue::fetchFailures_data()
{
    QTest::addColumn<bool>("answered");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("message");

    QJsonObject wrongCode = answer();
    wrongCode["code"] = 500;
    QJsonObject wrongMessage = answer();
    wrongMessage["message"] = "OK";
    QJsonObject noArray = answer();
    noArray["data"] = QJsonObject{{"app", QJsonObject()}};

    QTest::newRow("no answer") << false << QString() << true;
    QTest::newRow("code 500") << true << toText(wrongCode) << true;
    QTest::newRow("message not ok") << true << toText(wrongMessage) << true;
    QTest::newRow("not JSON") << true << QString("<html>") << false;
    QTest::newRow("JSON array") << true << QString("[1,2]") << false;
    QTest::newRow("app not an array") << true << toText(noArray) << false;
}

void TestCatalogue::fetchFailures()
{
    QFETCH(bool, answered);
    QFETCH(QString, text);
    QFETCH(bool, message);
    QTemporaryDir dir;
    const QString path = dir.filePath("DesktopApp.xml");
    QStringList messages;
    DesktopAppCatalogue catalogue;
    QVERIFY(CatalogueFetch::run(hooksFor(toText(answer()), true, &messages), "t", "u", path,
                                &catalogue));
    QVERIFY(!CatalogueFetch::run(hooksFor(text, answered, &messages), "t", "u", path, &catalogue));
    QCOMPARE(messages, message ? QStringList{QStringLiteral("\r\n获取桌面应用失败！")} : QStringList());
    // The cache of the last good sign-in stays for an offline one.
    DesktopAppCatalogue cached;
    QVERIFY(CatalogueFile::read(path, &cached));
    QCOMPARE(cached.size(), 2);
}

void TestCatalogue::fileRoundTrip()
{
    DesktopAppCatalogue catalogue;
    QVERIFY(CatalogueJson::fromAppArray(answer()["data"].toObject()["app"], &catalogue));
    catalogue[0].second[1]->install.clear();
    // Beyond the code page: written as references and read back the same.
    catalogue[0].second[2]->name = QString::fromUtf8("Mail \xF0\x9F\x93\xAE \xE2\x9C\x93 caf\xC3\xA9 \xE2\x82\xAC");
    QTemporaryDir dir;
    const QString path = dir.filePath("DesktopApp.xml");
    QVERIFY(CatalogueFile::write(path, catalogue));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray first = file.readAll();
    file.close();
    QVERIFY(first.contains("install=\"\""));
    QVERIFY(first.contains("&#x1f4ee;"));

    DesktopAppCatalogue reread;
    QVERIFY(CatalogueFile::read(path, &reread));
    QCOMPARE(reread[0].second[0]->desc, catalogue[0].second[0]->desc);
    QCOMPARE(reread[0].second[2]->name, catalogue[0].second[2]->name);
    QVERIFY(sameCatalogue(reread, catalogue));

    // Same catalogue, same bytes.
    QVERIFY(CatalogueFile::write(path, reread));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), first);
    file.close();

    // A character XML cannot carry does not cost the whole cache.
    catalogue[0].second[0]->params = QString("a") + QChar(0x01) + "b";
    QVERIFY(CatalogueFile::write(path, catalogue));
    QVERIFY(CatalogueFile::read(path, &reread));
    QCOMPARE(reread[0].second[0]->params, QString("a") + QChar(0xFFFD) + "b");
    QCOMPARE(reread[0].second[1]->name, catalogue[0].second[1]->name);
}

void TestCatalogue::writeReplacesWholeFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("DesktopApp.xml");
    DesktopAppCatalogue catalogue;
    QVERIFY(CatalogueJson::fromAppArray(answer()["data"].toObject()["app"], &catalogue));
    QVERIFY(CatalogueFile::write(path, catalogue));
    QFile old(path);
    QVERIFY(old.open(QIODevice::ReadOnly));
    const qint64 size = old.size();

    // The new file replaces the old one as a whole: the old one is never
    // truncated in place, so a reader of it still sees it complete.
    QVERIFY(CatalogueFile::write(path, DesktopAppCatalogue()));
    QCOMPARE(old.readAll().size(), size);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"DesktopApp.xml"});

    // A path that cannot be written replaces nothing.
    QVERIFY(!CatalogueFile::write(dir.filePath("missing/DesktopApp.xml"), catalogue));
}

void TestCatalogue::cacheStaysWholeWhileIconsDownload()
{
    // The icon downloads of a sign-in take a while; a crash or a failure
    // meanwhile must find the last good catalogue file as it was.
    QTemporaryDir dir;
    const QString path = dir.filePath("DesktopApp.xml");
    QStringList messages;
    DesktopAppCatalogue catalogue;
    QVERIFY(CatalogueFetch::run(hooksFor(toText(answer()), true, &messages), "t", "u", path,
                                &catalogue));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();

    QJsonObject other = answer();
    other["data"] = QJsonObject{{"app", QJsonArray{QJsonObject{{"id", "9"}, {"name", "New"}}}}};
    CatalogueFetch::Hooks hooks = hooksFor(toText(other), true, &messages);
    QByteArray during;
    const auto fetchIcons = hooks.fetchIcons;
    hooks.fetchIcons = [&](const QStringList &addresses) {
        QFile f(path);
        if (f.open(QIODevice::ReadOnly))
            during = f.readAll();
        return fetchIcons(addresses);
    };
    QVERIFY(CatalogueFetch::run(hooks, "t", "u", path, &catalogue));
    QCOMPARE(during, before);
    QVERIFY(CatalogueFile::read(path, &catalogue));
    QCOMPARE(catalogue.size(), 1);
    QCOMPARE(catalogue[0].first->name, QString("New"));
    QVERIFY(messages.isEmpty());
}

void TestCatalogue::fullDiskKeepsPreviousFile()
{
    FullDisk disk;
    if (!disk.isAvailable())
        QSKIP(qPrintable(disk.reason()));
    qInfo() << "full disk by" << disk.kind();
    const QString path = disk.path() + "/DesktopApp.xml";
    DesktopAppCatalogue catalogue;
    QVERIFY(CatalogueJson::fromAppArray(answer()["data"].toObject()["app"], &catalogue));
    QVERIFY(CatalogueFile::write(path, catalogue));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();

    // Small enough to sit in the writer's buffer until the very end, and
    // large enough to pass it: neither may replace the previous file.
    for (const int apps : {1, 400}) {
        DesktopAppCatalogue next;
        auto category = DesktopAppCategoryPtr::create();
        category->name = "New";
        DesktopAppList list;
        for (int i = 0; i < apps; ++i) {
            auto a = DesktopAppInfoPtr::create();
            a->id = QString::number(i);
            a->name = QString(40, 'n');
            list.append(a);
        }
        next.append(qMakePair(category, list));
        QVERIFY(disk.fill());
        const bool written = CatalogueFile::write(path, next);
        disk.release();
        QVERIFY2(!written, qPrintable(QString("%1 apps, %2").arg(apps).arg(disk.kind())));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), before);
        file.close();
        QCOMPARE(QDir(disk.path()).entryList(QDir::Files), QStringList{"DesktopApp.xml"});
    }
}

void TestCatalogue::oddShapesReadAsEmpty()
{
    // Entries of the wrong JSON type read as empty records, never as a
    // failure of the whole list or worse.
    const QJsonArray categories{
        42, QJsonValue(),
        QJsonObject{{"id", QJsonObject{{"x", 1}}}, {"name", QJsonArray{"a"}}, {"child", "none"}},
        QJsonObject{{"id", "3"}, {"child", QJsonArray{7, QJsonValue(), QJsonObject{{"name", 1e300}, {"id", "31"}}}}}};
    const QJsonObject odd{{"code", 200}, {"message", "ok"}, {"data", QJsonObject{{"app", categories}}}};
    QTemporaryDir dir;
    QStringList messages, fetched;
    DesktopAppCatalogue catalogue;
    QVERIFY(CatalogueFetch::run(hooksFor(toText(odd), true, &messages, &fetched), "t", "u",
                                dir.filePath("DesktopApp.xml"), &catalogue));
    QCOMPARE(catalogue.size(), 4);
    QVERIFY(catalogue[0].first->id.isEmpty() && catalogue[0].second.isEmpty());
    QVERIFY(catalogue[2].first->id.isEmpty() && catalogue[2].first->name.isEmpty());
    QVERIFY(catalogue[2].second.isEmpty());
    QCOMPARE(catalogue[3].second.size(), 3);
    QVERIFY(catalogue[3].second[0]->id.isEmpty());
    QVERIFY(catalogue[3].second[2]->name.isEmpty());
    QCOMPARE(catalogue[3].second[2]->id, QString("31"));
    DesktopAppCatalogue reread;
    QVERIFY(CatalogueFile::read(dir.filePath("DesktopApp.xml"), &reread));
    QVERIFY(sameCatalogue(reread, catalogue));
}

void TestCatalogue::readerAcceptsAnyElementNames()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("DesktopApp.xml");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("<?xml version=\"1.0\" encoding=\"GB2312\"?>\n<root>\n"
               "  <group id=\"7\" name=\"Tools\" icon=\"/c/t.png\">\n"
               "    <program id=\"70\" name=\"Calc\" url=\"http://x\"/>\n"
               "    <!-- a note -->\n"
               "    <thing id=\"71\"/>\n"
               "  </group>\n"
               "  <class id=\"8\"/>\n"
               "</root>\n");
    file.close();
    DesktopAppCatalogue catalogue;
    QVERIFY(CatalogueFile::read(path, &catalogue));
    QCOMPARE(catalogue.size(), 2);
    QCOMPARE(catalogue[0].first->name, QString("Tools"));
    QCOMPARE(catalogue[0].first->icon, QString("/c/t.png"));
    QCOMPARE(catalogue[0].second.size(), 2);
    QCOMPARE(catalogue[0].second[0]->name, QString("Calc"));
    QCOMPARE(catalogue[0].second[0]->url, QString("http://x"));
    QVERIFY(catalogue[0].second[0]->execpath.isEmpty());
    QCOMPARE(catalogue[0].second[1]->id, QString("71"));
    QCOMPARE(catalogue[1].first->id, QString("8"));
    QVERIFY(catalogue[1].second.isEmpty());
}

void TestCatalogue::readerRejects_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("missing") << QByteArray();
    QTest::newRow("malformed") << QByteArray("<root><class id=\"1\"></root>");
    QTest::newRow("other document element") << QByteArray("<desk><class id=\"1\"/></desk>");
}

void TestCatalogue::readerRejects()
{
    QFETCH(QByteArray, content);
    QTemporaryDir dir;
    const QString path = dir.filePath("DesktopApp.xml");
    if (!content.isEmpty()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    DesktopAppCatalogue catalogue;
    QVERIFY(CatalogueJson::fromAppArray(answer()["data"].toObject()["app"], &catalogue));
    QVERIFY(!CatalogueFile::read(path, &catalogue));
    QVERIFY(catalogue.isEmpty());
}

void TestCatalogue::catalogueHelpers()
{
    DesktopAppCatalogue catalogue;
    QVERIFY(CatalogueJson::fromAppArray(answer()["data"].toObject()["app"], &catalogue));
    QCOMPARE(categoryIndex(catalogue, "2"), 1);
    QCOMPARE(categoryIndex(catalogue, "9"), -1);
    DesktopAppInfoPtr sheets = findApp(catalogue, "12");
    QVERIFY(sheets);
    QCOMPARE(sheets->name, QString("Sheets"));
    QVERIFY(removeApp(catalogue, sheets));
    QCOMPARE(catalogue[0].second.size(), 2);
    QVERIFY(!findApp(catalogue, "12"));
    QVERIFY(!removeApp(catalogue, sheets));
    // A holder outside the catalogue keeps a whole record.
    QCOMPARE(sheets->name, QString("Sheets"));
}

QTEST_GUILESS_MAIN(TestCatalogue)
#include "tst_catalogue.moc"
