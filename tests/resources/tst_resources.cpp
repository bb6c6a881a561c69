#include <QBuffer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QMovie>
#include <QtTest>

// Every picture the client's windows name, at the size of the widget that
// shows it (pictures are drawn at that size, so none is scaled on screen).
class TestResources : public QObject
{
    Q_OBJECT

private slots:
    void picture_data();
    void picture();
    void translucentCorners_data();
    void translucentCorners();
    void closeButtonOnCard_data();
    void closeButtonOnCard();
    void loadingSpinnerAnimates();
    void applicationIcon();
    void wallpapers_data();
    void wallpapers();
    void wallpaperThumbnailsMatchFullSize();
    void resourceTreeIsCompact();
};

void TestResources::picture_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("size");

    const QString img = ":/QOrvaneDesk/image/";
    const QString br = ":/QOrvaneDesk/Browser/Image/";
    const struct { QString path; int w; int h; } table[] = {
        // shared close button and message box
        {img + "close_nor.png", 20, 20},
        {img + "close_sel.png", 20, 20},
        {img + "msg/box.png", 480, 294},
        {img + "msg/comfirm_normal.png", 110, 40},
        {img + "msg/confirm_click.png", 110, 40},
        // login dialog
        {img + "login_bk.png", 360, 325},
        {img + "Account_normal.png", 280, 40},
        {img + "Account_click.png", 280, 40},
        {img + "Password_normal.png", 280, 40},
        {img + "Password_click.png", 280, 40},
        {img + "Login_normal.png", 280, 40},
        {img + "Login_click.png", 280, 40},
        {img + "Close_normal.png", 25, 25},
        {img + "Close_click.png", 25, 25},
        // desktop
        {img + "main.png", 1920, 1040},
        {img + "appCenter.png", 66, 26},
        {img + "msgCenter.png", 43, 26},
        {img + "wallpaper.png", 43, 26},
        {img + "lock.png", 43, 26},
        {img + "classinfo.png", 30, 90},
        {img + "class.png", 210, 180},
        {img + "arrow.png", 10, 20},
        {img + "add.png", 64, 64},
        // wallpaper settings
        {img + "wallpaper_bk.png", 800, 520},
        {img + "mountain.png", 175, 98},
        {img + "evening.png", 175, 98},
        {img + "star.png", 175, 98},
        {img + "lotus.png", 175, 98},
        {img + "sea.jpg", 175, 98},
        {img + "strawberry.jpg", 175, 98},
        {img + "dog.png", 175, 98},
        {img + "img_xz.png", 175, 98},
        // user centre, renewal, message centre, pop-up
        {img + "userCenterDlg.png", 700, 450},
        {img + "appRenew.png", 392, 521},
        {img + "msgListDlg.png", 700, 480},
        {img + "dialogbk.png", 350, 230},
        {img + "but_nor.png", 80, 25},
        {img + "but_sel.png", 80, 25},
        // app centre
        {img + "appcenter_bg.png", 820, 532},
        {img + "img_logo.png", 97, 22},
        {img + "img_ssk.png", 180, 24},
        {img + "icon_yyzx_ss.png", 16, 16},
        {img + "icon_yyzx_ss_sel.png", 16, 16},
        {img + "icon_xf.png", 24, 24},
        {img + "img_bg_nor.png", 138, 40},
        {img + "img_bg_sel.png", 138, 40},
        {img + "img_xz1.png", 96, 60},
        {img + "downloadManagement/img_xzyy.png", 71, 71},
        {img + "downloadManagement/icon_del_nor.png", 26, 26},
        {img + "downloadManagement/icon_del_sel.png", 26, 26},
        {img + "downloadManagement/redwon.png", 26, 26},
        {img + "downloadManagement/redwon_sel.png", 26, 26},
        {img + "downloadManagement/icon_zt_nor.png", 26, 26},
        {img + "downloadManagement/icon_zt_sel.png", 26, 26},
        {img + "downloadManagement/icon_ks_nor.png", 26, 26},
        {img + "downloadManagement/icon_ks_sel.png", 26, 26},
        // browser window
        {br + "mini.png", 40, 40},
        {br + "mini_click.png", 40, 40},
        {br + "max.png", 40, 40},
        {br + "max_click.png", 40, 40},
        {br + "max2.png", 40, 40},
        {br + "max2_click.png", 40, 40},
        {br + "close.png", 40, 40},
        {br + "close_click.png", 40, 40},
        {br + "left.png", 22, 22},
        {br + "left_click.png", 22, 22},
        {br + "right.png", 22, 22},
        {br + "right_click.png", 22, 22},
        {br + "repeat.png", 22, 22},
        {br + "repeat_click.png", 22, 22},
    };
    for (const auto &row : table)
        QTest::newRow(qPrintable(row.path.mid(13))) << row.path << QSize(row.w, row.h);
}

void TestResources::picture()
{
    QFETCH(QString, path);
    QFETCH(QSize, size);
    QImageReader reader(path);
    const QImage image = reader.read();
    QVERIFY2(!image.isNull(), qPrintable(path + ": " + reader.errorString()));
    QCOMPARE(image.size(), size);
    // A picture that is all one colour is a placeholder, not artwork.
    const QRgb first = image.pixel(0, 0);
    bool varied = false;
    for (int y = 0; y < image.height() && !varied; ++y)
        for (int x = 0; x < image.width() && !varied; ++x)
            varied = image.pixel(x, y) != first;
    QVERIFY2(varied, qPrintable(path + " is a single colour"));
}

// Translucent windows show the desktop through their rounded corners; opaque
// windows would paint undefined pixels there, so their pictures are solid.
void TestResources::translucentCorners_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("cornerTransparent");
    const QString img = ":/QOrvaneDesk/image/";
    QTest::newRow("msg box") << img + "msg/box.png" << true;
    QTest::newRow("pop-up") << img + "dialogbk.png" << true;
    QTest::newRow("wallpaper settings") << img + "wallpaper_bk.png" << true;
    QTest::newRow("app centre") << img + "appcenter_bg.png" << true;
    QTest::newRow("login") << img + "login_bk.png" << false;
    QTest::newRow("user centre") << img + "userCenterDlg.png" << false;
    QTest::newRow("renewal") << img + "appRenew.png" << false;
    QTest::newRow("message centre") << img + "msgListDlg.png" << false;
}

void TestResources::translucentCorners()
{
    QFETCH(QString, path);
    QFETCH(bool, cornerTransparent);
    const QImage image = QImage(path).convertToFormat(QImage::Format_ARGB32);
    QVERIFY(!image.isNull());
    const QPoint corners[] = {{0, 0}, {image.width() - 1, 0}, {0, image.height() - 1},
                              {image.width() - 1, image.height() - 1}};
    for (const QPoint &c : corners) {
        if (!cornerTransparent)
            QCOMPARE(qAlpha(image.pixel(c)), 255);
    }
    // A translucent window's shadow fades out before the picture ends: cut
    // off at the edge, it would outline the window with a hard rectangle.
    if (cornerTransparent) {
        const int w = image.width();
        const int h = image.height();
        for (int i = 0; i < w + h; ++i) {
            const QPoint edge[] = {{i % w, 0}, {i % w, h - 1}, {0, i % h}, {w - 1, i % h}};
            for (const QPoint &p : edge) {
                const int alpha = qAlpha(image.pixel(p));
                QVERIFY2(alpha <= 4, qPrintable(QString("alpha %1 at edge pixel %2, %3")
                                                     .arg(alpha).arg(p.x()).arg(p.y())));
            }
        }
    }
    // The middle of every window background is solid, so text stays legible.
    QCOMPARE(qAlpha(image.pixel(image.width() / 2, image.height() / 2)), 255);
}

// A close button is drawn where its window puts it; every pixel it shows
// must fall on the solid card, not over a rounded corner or the shadow.
void TestResources::closeButtonOnCard_data()
{
    QTest::addColumn<QString>("background");
    QTest::addColumn<QStringList>("buttons");
    QTest::addColumn<QPoint>("pos");
    const QString img = ":/QOrvaneDesk/image/";
    const QStringList shared = {img + "close_nor.png", img + "close_sel.png"};
    QTest::newRow("msg box") << img + "msg/box.png" << shared << QPoint(455, 5);
    QTest::newRow("login") << img + "login_bk.png"
                           << QStringList{img + "Close_normal.png", img + "Close_click.png"}
                           << QPoint(332, 3);
    QTest::newRow("pop-up") << img + "dialogbk.png" << shared << QPoint(320, 10);
    QTest::newRow("wallpaper settings") << img + "wallpaper_bk.png" << shared << QPoint(775, 5);
    QTest::newRow("app centre") << img + "appcenter_bg.png" << shared << QPoint(787, 10);
    QTest::newRow("user centre") << img + "userCenterDlg.png" << shared << QPoint(675, 5);
    QTest::newRow("message centre") << img + "msgListDlg.png" << shared << QPoint(675, 5);
    QTest::newRow("renewal") << img + "appRenew.png" << shared << QPoint(365, 5);
}

void TestResources::closeButtonOnCard()
{
    QFETCH(QString, background);
    QFETCH(QStringList, buttons);
    QFETCH(QPoint, pos);
    const QImage card = QImage(background).convertToFormat(QImage::Format_ARGB32);
    QVERIFY(!card.isNull());
    for (const QString &path : buttons) {
        const QImage button = QImage(path).convertToFormat(QImage::Format_ARGB32);
        QVERIFY(!button.isNull());
        for (int y = 0; y < button.height(); ++y) {
            for (int x = 0; x < button.width(); ++x) {
                if (qAlpha(button.pixel(x, y)) < 8)
                    continue;
                const QPoint at = pos + QPoint(x, y);
                QVERIFY2(card.rect().contains(at) && qAlpha(card.pixel(at)) == 255,
                         qPrintable(QString("%1 shows at %2, %3 off the card")
                                        .arg(QFileInfo(path).fileName()).arg(at.x()).arg(at.y())));
            }
        }
    }
}

void TestResources::loadingSpinnerAnimates()
{
    QMovie movie(":/QOrvaneDesk/image/loading.gif");
    QVERIFY(movie.isValid());
    QVERIFY2(movie.frameCount() >= 8, qPrintable(QString::number(movie.frameCount())));
    QCOMPARE(movie.loopCount(), -1); // forever

    auto solidPixels = [](const QImage &img) {
        int n = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                n += qAlpha(img.pixel(x, y)) == 255;
        return n;
    };
    QVector<QImage> frames;
    QVERIFY(movie.jumpToFrame(0));
    for (int i = 0; i < movie.frameCount(); ++i) {
        frames.append(movie.currentImage().convertToFormat(QImage::Format_ARGB32));
        if (i + 1 < movie.frameCount())
            QVERIFY(movie.jumpToNextFrame());
    }
    const QImage &first = frames.first();
    QCOMPARE(first.size(), QSize(20, 20));
    // Transparent around and inside the ring, solid on it.
    QCOMPARE(qAlpha(first.pixel(0, 0)), 0);
    QCOMPARE(qAlpha(first.pixel(10, 10)), 0);
    const int solid = solidPixels(first);
    QVERIFY(solid > 20);
    for (int i = 1; i < frames.size(); ++i) {
        QVERIFY2(frames.at(i) != frames.at(i - 1), qPrintable(QString("frame %1 repeats").arg(i)));
        // Each frame replaces the last one rather than piling onto it.
        QVERIFY(qAbs(solidPixels(frames.at(i)) - solid) < solid / 3);
    }
}

void TestResources::applicationIcon()
{
    QImageReader reader(":/QOrvaneDesk/image/qv64.ico");
    QCOMPARE(reader.format(), QByteArray("ico"));
    const QImage icon = reader.read();
    QVERIFY2(!icon.isNull(), qPrintable(reader.errorString()));
    QCOMPARE(icon.size(), QSize(64, 64));
    QVERIFY(icon.hasAlphaChannel());
}

void TestResources::wallpapers_data()
{
    QTest::addColumn<QString>("file");
    for (const char *name : {"mountain_max.jpg", "evening_max.jpg", "star_max.jpg",
                             "lotus_max.jpg", "sea_max.jpg", "strawberry-max.jpg", "dog_max.jpg"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

void TestResources::wallpapers()
{
    QFETCH(QString, file);
    const QString binDir = qEnvironmentVariable("ORVANE_BIN_DIR");
    QVERIFY2(!binDir.isEmpty(), "ORVANE_BIN_DIR is not set");
    const QString path = QDir(binDir).filePath("BkImage/" + file);
    QImageReader reader(path);
    QCOMPARE(reader.format(), QByteArray("jpeg")); // the system wallpaper call wants a real JPEG
    const QImage image = reader.read();
    QVERIFY2(!image.isNull(), qPrintable(path + ": " + reader.errorString()));
    QCOMPARE(image.size(), QSize(1920, 1080));
}

// A thumbnail is the same drawing as the wallpaper it stands for: shrink the
// wallpaper and the two must agree, and differ from every other wallpaper.
void TestResources::wallpaperThumbnailsMatchFullSize()
{
    const QString binDir = qEnvironmentVariable("ORVANE_BIN_DIR");
    const QStringList thumbs = {"mountain.png", "evening.png", "star.png", "lotus.png",
                                "sea.jpg", "strawberry.jpg", "dog.png"};
    const QStringList full = {"mountain_max.jpg", "evening_max.jpg", "star_max.jpg",
                              "lotus_max.jpg", "sea_max.jpg", "strawberry-max.jpg", "dog_max.jpg"};
    auto distance = [](const QImage &a, const QImage &b) {
        double sum = 0;
        for (int y = 0; y < a.height(); ++y)
            for (int x = 0; x < a.width(); ++x) {
                const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
                sum += qAbs(qRed(p) - qRed(q)) + qAbs(qGreen(p) - qGreen(q))
                       + qAbs(qBlue(p) - qBlue(q));
            }
        return sum / (a.width() * a.height() * 3);
    };
    const QSize small(35, 20);
    QVector<QImage> shrunkFull;
    for (const QString &f : full) {
        const QImage img(QDir(binDir).filePath("BkImage/" + f));
        QVERIFY2(!img.isNull(), qPrintable(f));
        shrunkFull.append(img.scaled(small, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                              .convertToFormat(QImage::Format_RGB32));
    }
    for (int i = 0; i < thumbs.size(); ++i) {
        const QImage t = QImage(":/QOrvaneDesk/image/" + thumbs.at(i))
                             .scaled(small, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                             .convertToFormat(QImage::Format_RGB32);
        const double own = distance(t, shrunkFull.at(i));
        for (int j = 0; j < full.size(); ++j) {
            if (j != i)
                QVERIFY2(distance(t, shrunkFull.at(j)) > own,
                         qPrintable(thumbs.at(i) + " looks more like " + full.at(j)));
        }
        QVERIFY2(own < 12, qPrintable(QString("%1 differs from its wallpaper by %2")
                                          .arg(thumbs.at(i)).arg(own)));
    }
}

// Every picture is linked into the executable; uncompressed PNGs would add
// megabytes (the desktop overlay alone is 8 MB raw).
void TestResources::resourceTreeIsCompact()
{
    qint64 total = 0;
    for (const QString &prefix : {QString(":/QOrvaneDesk/image"), QString(":/QOrvaneDesk/Browser/Image")}) {
        QDirIterator it(prefix, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile f(it.next());
            QVERIFY(f.open(QIODevice::ReadOnly));
            total += f.readAll().size();
        }
    }
    QVERIFY2(total > 0, "no pictures in the resource tree");
    QVERIFY2(total < 2 * 1024 * 1024, qPrintable(QString("%1 bytes of pictures").arg(total)));
}

QTEST_MAIN(TestResources)
#include "tst_resources.moc"
