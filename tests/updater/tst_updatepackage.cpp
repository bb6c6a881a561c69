#include "updater/core/PackageSignature.h"
#include "updater/core/PackageUnpack.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <archive.h>
#include <archive_entry.h>
#include <sodium.h>

using PackageUnpack::Kind;
Q_DECLARE_METATYPE(PackageUnpack::Kind)
Q_DECLARE_METATYPE(PackageUnpack::Outcome)
Q_DECLARE_METATYPE(PackageSignature::Check)

namespace {

// One entry of a hand-made archive: a file with its text, a folder, or a
// link with its target. Names go in raw, as a hostile packer would.
struct RawEntry
{
    QByteArray name;
    Kind kind;
    QByteArray data; // file text or link target
};

bool writeTar(const QString &path, const QList<RawEntry> &entries)
{
    archive *a = archive_write_new();
    archive_write_set_format_pax_restricted(a);
    archive_write_add_filter_gzip(a);
    bool ok = archive_write_open_filename(a, QFile::encodeName(path).constData()) == ARCHIVE_OK;
    for (const RawEntry &e : entries) {
        archive_entry *entry = archive_entry_new();
        archive_entry_set_pathname(entry, e.name.constData());
        archive_entry_set_perm(entry, 0644);
        if (e.kind == Kind::File) {
            archive_entry_set_filetype(entry, AE_IFREG);
            archive_entry_set_size(entry, e.data.size());
        } else if (e.kind == Kind::Directory) {
            archive_entry_set_filetype(entry, AE_IFDIR);
            archive_entry_set_perm(entry, 0755);
        } else if (e.kind == Kind::SymLink) {
            archive_entry_set_filetype(entry, AE_IFLNK);
            archive_entry_set_symlink(entry, e.data.constData());
        } else if (e.kind == Kind::HardLink) {
            archive_entry_set_filetype(entry, AE_IFREG);
            archive_entry_set_hardlink(entry, e.data.constData());
        }
        ok = ok && archive_write_header(a, entry) == ARCHIVE_OK;
        if (ok && e.kind == Kind::File)
            ok = archive_write_data(a, e.data.constData(), size_t(e.data.size())) == e.data.size();
        archive_entry_free(entry);
    }
    ok = ok && archive_write_close(a) == ARCHIVE_OK;
    archive_write_free(a);
    return ok;
}

QStringList everythingUnder(const QString &dir)
{
    QStringList found;
    QDirIterator it(dir, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        found << QDir(dir).relativeFilePath(it.next());
    found.sort();
    return found;
}

} // namespace

Q_DECLARE_METATYPE(RawEntry)

class tst_UpdatePackage : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(sodium_init() >= 0); }

    // What may be unpacked, and where it goes.
    void entryRules_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("expected"); // empty: refused

        QTest::newRow("plain file") << "help/index.html" << Kind::File << "" << "help/index.html";
        QTest::newRow("dots and doubled slashes") << "./help//./a.png" << Kind::File << "" << "help/a.png";
        QTest::newRow("archive root") << "./" << Kind::Directory << "" << ".";
        QTest::newRow("absolute") << "/etc/cron.d/x" << Kind::File << "" << "";
        QTest::newRow("parent") << "../OrvaneDesk/evil" << Kind::File << "" << "";
        QTest::newRow("parent inside") << "help/../../x" << Kind::File << "" << "";
        QTest::newRow("link beside") << "lib/libx.so" << Kind::SymLink << "libx.so.1" << "lib/libx.so";
        QTest::newRow("link up, still inside") << "lib/page" << Kind::SymLink << "../help/index.html" << "lib/page";
        QTest::newRow("link leaving") << "lib/out" << Kind::SymLink << "../../etc" << "";
        QTest::newRow("link absolute") << "passwd" << Kind::SymLink << "/etc/passwd" << "";
        QTest::newRow("hard link") << "hard" << Kind::HardLink << "OrvaneDesk" << "";
        QTest::newRow("device") << "dev" << Kind::Other << "" << "";
        QTest::newRow("empty name") << "" << Kind::File << "" << "";
    }

    void entryRules()
    {
        QFETCH(QString, name);
        QFETCH(Kind, kind);
        QFETCH(QString, target);
        QFETCH(QString, expected);
        QString why;
        QCOMPARE(PackageUnpack::checkEntry(name, kind, target, &why), expected);
        QCOMPARE(why.isEmpty(), !expected.isEmpty());
    }

    // Real archives: nothing of a hostile one lands outside the staging
    // folder, and a good one unpacks whole.
    void unpackArchives_data()
    {
        QTest::addColumn<QList<RawEntry>>("entries");
        QTest::addColumn<PackageUnpack::Outcome>("outcome");

        QTest::newRow("good") << QList<RawEntry>{{"./", Kind::Directory, ""},
                                                 {"OrvaneDesk", Kind::File, "program"},
                                                 {"help/", Kind::Directory, ""},
                                                 {"help/index.html", Kind::File, "<p>help</p>"},
                                                 {"libx.so", Kind::SymLink, "help/index.html"}}
                              << PackageUnpack::Outcome::Done;
        QTest::newRow("parent after good entries")
            << QList<RawEntry>{{"a.txt", Kind::File, "a"}, {"../escaped.txt", Kind::File, "evil"}}
            << PackageUnpack::Outcome::Refused;
        QTest::newRow("absolute") << QList<RawEntry>{{"/tmp/orvane-escaped.txt", Kind::File, "evil"}}
                                  << PackageUnpack::Outcome::Refused;
        QTest::newRow("through a link")
            << QList<RawEntry>{{"up", Kind::SymLink, ".."}, {"up/escaped.txt", Kind::File, "evil"}}
            << PackageUnpack::Outcome::Refused;
        QTest::newRow("hard link out") << QList<RawEntry>{{"h", Kind::HardLink, "../../etc/passwd"}}
                                       << PackageUnpack::Outcome::Refused;
    }

    void unpackArchives()
    {
        QFETCH(QList<RawEntry>, entries);
        QFETCH(PackageUnpack::Outcome, outcome);
        QTemporaryDir place;
        const QString archivePath = place.filePath("package.tar.gz");
        QVERIFY(writeTar(archivePath, entries));
        const QString staging = place.filePath("work/staging");
        QVERIFY(QDir().mkpath(staging));
        QFile::remove("/tmp/orvane-escaped.txt");

        const PackageUnpack::Result result = PackageUnpack::unpack(archivePath, staging);
        QCOMPARE(result.outcome, outcome);
        const QStringList outside = everythingUnder(place.path());
        for (const QString &path : outside)
            QVERIFY2(path == "package.tar.gz" || path == "work" || path.startsWith("work/staging"), qPrintable(path));
        QVERIFY(!QFile::exists("/tmp/orvane-escaped.txt"));
        if (outcome == PackageUnpack::Outcome::Done) {
            QFile program(staging + "/OrvaneDesk");
            QVERIFY(program.open(QIODevice::ReadOnly));
            QCOMPARE(program.readAll(), QByteArray("program"));
            QCOMPARE(QFile::symLinkTarget(staging + "/libx.so"), staging + "/help/index.html");
        }
    }

    void brokenArchiveIsTold()
    {
        QTemporaryDir place;
        QVERIFY(writeTar(place.filePath("p.tar.gz"), {{"OrvaneDesk", Kind::File, QByteArray(200000, 'x')}}));
        QFile whole(place.filePath("p.tar.gz"));
        QVERIFY(whole.open(QIODevice::ReadWrite));
        QVERIFY(whole.resize(whole.size() / 2));
        whole.close();
        QVERIFY(QDir().mkpath(place.filePath("s")));
        QCOMPARE(PackageUnpack::unpack(place.filePath("p.tar.gz"), place.filePath("s")).outcome,
                 PackageUnpack::Outcome::Broken);
    }

    // The signature covers every byte of the package and only the
    // publisher's key.
    void signature_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<PackageSignature::Check>("check");
        QTest::newRow("as signed") << "" << PackageSignature::Check::Valid;
        QTest::newRow("one byte changed") << "byte" << PackageSignature::Check::Invalid;
        QTest::newRow("last byte cut") << "cut" << PackageSignature::Check::Invalid;
        QTest::newRow("byte appended") << "append" << PackageSignature::Check::Invalid;
        QTest::newRow("other key") << "key" << PackageSignature::Check::Invalid;
        QTest::newRow("short signature") << "shortsig" << PackageSignature::Check::Invalid;
        QTest::newRow("no package") << "nofile" << PackageSignature::Check::Unreadable;
    }

    void signature()
    {
        QFETCH(QString, change);
        QFETCH(PackageSignature::Check, check);
        QTemporaryDir place;
        const QString path = place.filePath("package.tar.gz");
        QByteArray data(300000, '\0');
        randombytes_buf(data.data(), size_t(data.size()));
        unsigned char pk[crypto_sign_PUBLICKEYBYTES], sk[crypto_sign_SECRETKEYBYTES];
        crypto_sign_keypair(pk, sk);
        QByteArray signature(crypto_sign_BYTES, '\0');
        crypto_sign_detached(reinterpret_cast<unsigned char *>(signature.data()), nullptr,
                             reinterpret_cast<const unsigned char *>(data.constData()), quint64(data.size()), sk);
        QByteArray key(reinterpret_cast<const char *>(pk), sizeof pk);

        if (change == "byte")
            data[data.size() / 2] = char(data[data.size() / 2] ^ 1);
        else if (change == "cut")
            data.chop(1);
        else if (change == "append")
            data.append('\0');
        else if (change == "key")
            key[0] = char(key[0] ^ 1);
        else if (change == "shortsig")
            signature.chop(1);
        if (change != "nofile") {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(data);
        }
        QCOMPARE(PackageSignature::verifyFile(path, signature, key), check);
    }
};

QTEST_GUILESS_MAIN(tst_UpdatePackage)
#include "tst_updatepackage.moc"
