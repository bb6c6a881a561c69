#include "core/UserFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

void put(const QString &path, const QByteArray &data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(data);
}

QByteArray get(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

} // namespace

class tst_UserFiles : public QObject
{
    Q_OBJECT
private slots:
    // The user's files replace the new folder's, byte for byte; program
    // files of the new folder stay the new ones.
    void carriesUserFilesOnly()
    {
        QTemporaryDir old, fresh;
        put(old.filePath("Config.ini"), "[userinfo]\r\nusername=demo\r\n");
        QFile::setPermissions(old.filePath("Config.ini"), QFile::ReadOwner | QFile::WriteOwner);
        put(old.filePath("CacheImage/a/b.png"), "\x89PNG old");
        put(old.filePath("downloadApp/setup.exe_tmp"), "partial");
        put(old.filePath("Favourites.json"), "{}");
        put(old.filePath("OrvaneDesk"), "old program");
        put(fresh.filePath("OrvaneDesk"), "new program");
        put(fresh.filePath("Config.ini"), "[server]\r\nflag=1\r\n");
        put(fresh.filePath("CacheImage/a/b.png"), "new picture");

        QString error;
        QVERIFY2(UserFiles::carryOver(old.path(), fresh.path(), &error), qPrintable(error));
        QCOMPARE(get(fresh.filePath("Config.ini")), QByteArray("[userinfo]\r\nusername=demo\r\n"));
        QCOMPARE(QFile::permissions(fresh.filePath("Config.ini")) & (QFile::ReadOther | QFile::ReadGroup),
                 QFile::Permissions());
        QCOMPARE(get(fresh.filePath("CacheImage/a/b.png")), QByteArray("\x89PNG old"));
        QCOMPARE(get(fresh.filePath("downloadApp/setup.exe_tmp")), QByteArray("partial"));
        QCOMPARE(get(fresh.filePath("Favourites.json")), QByteArray("{}"));
        QCOMPARE(get(fresh.filePath("OrvaneDesk")), QByteArray("new program"));
        QVERIFY(!QFileInfo::exists(fresh.filePath("DesktopApp.xml")));
    }

    // A link in the user's folder is not followed out of it.
    void skipsLinks()
    {
        QTemporaryDir old, fresh, elsewhere;
        put(elsewhere.filePath("secret"), "not the user's");
        QVERIFY(QFile::link(elsewhere.path(), old.filePath("CacheImage")));
        QVERIFY(UserFiles::carryOver(old.path(), fresh.path()));
        QVERIFY(!QFileInfo::exists(fresh.filePath("CacheImage")));
    }

    void reportsWhatFailed()
    {
        QTemporaryDir old, fresh;
        put(old.filePath("downloadApp/x"), "x");
        put(fresh.filePath("downloadApp"), "a file where the folder goes");
        QString error;
        QVERIFY(!UserFiles::carryOver(old.path(), fresh.path(), &error));
        QVERIFY(error.contains("downloadApp"));
    }
};

QTEST_GUILESS_MAIN(tst_UserFiles)
#include "tst_userfiles.moc"
