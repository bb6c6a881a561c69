#include "resources/tools/GifWriter.h"

#include <QBuffer>
#include <QImageReader>
#include <QRandomGenerator>
#include <QtTest>

// The encoder is checked against Qt's own GIF decoder: whatever it writes
// must come back pixel for pixel.
class TestGifWriter : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip_data();
    void roundTrip();
    void framesAndTiming();
};

namespace {

QVector<QRgb> makePalette(int colours)
{
    QVector<QRgb> palette;
    for (int i = 0; i < colours; ++i)
        palette.append(qRgb((i * 37) & 0xff, (i * 91 + 13) & 0xff, (i * 151 + 7) & 0xff));
    return palette;
}

QImage makeFrame(const QSize &size, const QVector<QRgb> &palette, const QString &pattern,
                 quint32 seed)
{
    QImage frame(size, QImage::Format_Indexed8);
    frame.setColorTable(palette);
    QRandomGenerator rng(seed);
    for (int y = 0; y < size.height(); ++y) {
        uchar *row = frame.scanLine(y);
        for (int x = 0; x < size.width(); ++x) {
            int v = 1;
            if (pattern == "noise")
                v = rng.bounded(palette.size());
            else if (pattern == "stripes")
                v = 1 + (x / 3 + y) % (palette.size() - 1);
            row[x] = uchar(v);
        }
    }
    return frame;
}

} // namespace

void TestGifWriter::roundTrip_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("colours");
    QTest::addColumn<QString>("pattern");

    QTest::newRow("one pixel") << QSize(1, 1) << 2 << "solid";
    QTest::newRow("two colours, stripes") << QSize(17, 9) << 2 << "stripes";
    QTest::newRow("spinner size") << QSize(20, 20) << 64 << "noise";
    // Long runs make long codes; noise fills the 4096-entry table and forces resets.
    QTest::newRow("one colour, large") << QSize(400, 300) << 16 << "solid";
    QTest::newRow("256 colours, noise") << QSize(320, 240) << 256 << "noise";
    QTest::newRow("odd palette size") << QSize(50, 33) << 5 << "stripes";
}

void TestGifWriter::roundTrip()
{
    QFETCH(QSize, size);
    QFETCH(int, colours);
    QFETCH(QString, pattern);

    const QVector<QRgb> palette = makePalette(colours);
    const QImage frame = makeFrame(size, palette, pattern, 42);
    GifWriter writer(size.width(), size.height(), palette);
    writer.addFrame(frame, 100);
    QByteArray data = writer.finish();

    QBuffer buffer(&data);
    QImageReader reader(&buffer, "gif");
    const QImage decoded = reader.read().convertToFormat(QImage::Format_ARGB32);
    QVERIFY2(!decoded.isNull(), qPrintable(reader.errorString()));
    QCOMPARE(decoded.size(), size);
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            const int index = frame.pixelIndex(x, y);
            const QRgb got = decoded.pixel(x, y);
            if (index == 0) {
                QVERIFY2(qAlpha(got) == 0, qPrintable(QString("(%1,%2) not transparent").arg(x).arg(y)));
            } else if (got != (palette.at(index) | 0xff000000)) {
                QFAIL(qPrintable(QString("(%1,%2): %3 instead of %4").arg(x).arg(y)
                                     .arg(got, 8, 16).arg(palette.at(index), 8, 16)));
            }
        }
    }
}

void TestGifWriter::framesAndTiming()
{
    const QSize size(12, 8);
    const QVector<QRgb> palette = makePalette(8);
    GifWriter writer(size.width(), size.height(), palette);
    QVector<QImage> frames;
    for (int i = 0; i < 5; ++i) {
        frames.append(makeFrame(size, palette, "noise", quint32(i + 1)));
        writer.addFrame(frames.last(), 70);
    }
    QByteArray data = writer.finish();
    QVERIFY(data.startsWith("GIF89a"));
    QVERIFY(data.endsWith(';'));

    QBuffer buffer(&data);
    QImageReader reader(&buffer, "gif");
    QCOMPARE(reader.imageCount(), 5);
    QCOMPARE(reader.loopCount(), -1);
    for (int i = 0; i < 5; ++i) {
        const QImage got = reader.read().convertToFormat(QImage::Format_ARGB32);
        QVERIFY2(!got.isNull(), qPrintable(reader.errorString()));
        QCOMPARE(reader.nextImageDelay(), 70);
        // Pixels of index 0 are transparent, so each frame stands alone.
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x) {
                const int index = frames.at(i).pixelIndex(x, y);
                QCOMPARE(got.pixel(x, y), index == 0 ? got.pixel(x, y) & 0x00ffffff
                                                     : palette.at(index) | 0xff000000);
            }
    }
}

QTEST_GUILESS_MAIN(TestGifWriter)
#include "tst_gifwriter.moc"
