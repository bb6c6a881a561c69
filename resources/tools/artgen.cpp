// Renders the client's pictures from the SVG sources listed in a manifest.
//
//   orvane-artgen --manifest FILE --svg DIR --res DIR --bin DIR [--stamp FILE]
//   orvane-artgen --manifest FILE --res DIR --bin DIR --contact-sheet OUT.png [--only RE] [--zoom N]
//
// Manifest line: <res|bin> <output path> <W>x<H> <source.svg> [key=value ...]
// Each {{key}} in the source is replaced by its value (percent-decoded, so
// "%20" is a space) before rendering, so one drawing serves a normal and a
// hover picture; {{W}} and {{H}} default to the output size. Special keys:
//   shadow=<blur>:<alpha>:<dy>   soft drop shadow cast from the drawing's alpha
//   frames=<n>:<ms>:<#matte>     animated GIF, {{angle}} turns per frame and
//                                the edges are blended against the matte colour
//   quality=<0..100>             JPEG quality
// A value "@name" is replaced by the fragment svg/parts/name.svg.

#include "GifWriter.h"

#include <QColor>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHash>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSvgRenderer>
#include <QTextStream>
#include <QUrl>
#include <QtMath>

#include <cstdio>

namespace {

struct Entry
{
    QString dest; // "res" or "bin"
    QString out;
    QSize size;
    QString source;
    QHash<QString, QString> params;
    int line = 0;
};

QTextStream &err()
{
    static QTextStream s(stderr);
    return s;
}

bool readManifest(const QString &path, QVector<Entry> *entries)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) {
        err() << "artgen: cannot read " << path << "\n";
        return false;
    }
    int lineNo = 0;
    while (!f.atEnd()) {
        ++lineNo;
        const QString line = QString::fromUtf8(f.readLine()).trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const QStringList parts = line.split(QRegularExpression("\\s+"));
        const QStringList wh = parts.value(2).split('x');
        Entry e;
        e.line = lineNo;
        e.dest = parts.value(0);
        e.out = parts.value(1);
        e.size = QSize(wh.value(0).toInt(), wh.value(1).toInt());
        e.source = parts.value(3);
        for (int i = 4; i < parts.size(); ++i) {
            const int eq = parts.at(i).indexOf('=');
            if (eq > 0)
                e.params.insert(parts.at(i).left(eq),
                                QUrl::fromPercentEncoding(parts.at(i).mid(eq + 1).toUtf8()));
        }
        if ((e.dest != "res" && e.dest != "bin") || e.out.isEmpty() || e.size.isEmpty()
            || e.source.isEmpty()) {
            err() << path << ":" << lineNo << ": malformed line\n";
            return false;
        }
        if (!e.params.contains("W"))
            e.params.insert("W", QString::number(e.size.width()));
        if (!e.params.contains("H"))
            e.params.insert("H", QString::number(e.size.height()));
        if (!e.params.contains("font"))
            e.params.insert("font", "WenQuanYi Micro Hei");
        entries->append(e);
    }
    return true;
}

QString substitute(QString text, const QHash<QString, QString> &params)
{
    for (auto it = params.constBegin(); it != params.constEnd(); ++it)
        text.replace("{{" + it.key() + "}}", it.value());
    return text;
}

QImage renderSvg(const QByteArray &svg, const QSize &size)
{
    QImage img(size, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QSvgRenderer renderer(svg);
    if (!renderer.isValid())
        return QImage();
    QPainter p(&img);
    p.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform
                     | QPainter::TextAntialiasing);
    renderer.render(&p, QRectF(QPointF(0, 0), QSizeF(size)));
    return img;
}

// Three box blurs approximate a gaussian well enough for a shadow.
void boxBlurAlpha(QVector<float> &a, int w, int h, int radius)
{
    if (radius <= 0)
        return;
    QVector<float> tmp(a.size());
    const float norm = 1.0f / float(2 * radius + 1);
    for (int pass = 0; pass < 3; ++pass) {
        for (int y = 0; y < h; ++y) {
            float sum = 0;
            for (int x = -radius; x <= radius; ++x)
                sum += a[y * w + qBound(0, x, w - 1)];
            for (int x = 0; x < w; ++x) {
                tmp[y * w + x] = sum * norm;
                sum += a[y * w + qMin(w - 1, x + radius + 1)] - a[y * w + qMax(0, x - radius)];
            }
        }
        for (int x = 0; x < w; ++x) {
            float sum = 0;
            for (int y = -radius; y <= radius; ++y)
                sum += tmp[qBound(0, y, h - 1) * w + x];
            for (int y = 0; y < h; ++y) {
                a[y * w + x] = sum * norm;
                sum += tmp[qMin(h - 1, y + radius + 1) * w + x] - tmp[qMax(0, y - radius) * w + x];
            }
        }
    }
}

// shadow is "blur:strength:dy" as the manifest writes it.
QImage withShadow(const QImage &art, const QString &shadow)
{
    const QStringList s = shadow.split(':');
    const int blur = s.value(0).toInt();
    const double strength = s.value(1, "0.3").toDouble();
    const int dy = s.value(2, "0").toInt();
    const int w = art.width();
    const int h = art.height();
    QVector<float> alpha(w * h, 0.0f);
    for (int y = 0; y < h; ++y) {
        const QRgb *row = reinterpret_cast<const QRgb *>(art.constScanLine(y));
        const int sy = y + dy;
        if (sy < 0 || sy >= h)
            continue;
        for (int x = 0; x < w; ++x)
            alpha[sy * w + x] = qAlpha(row[x]) / 255.0f;
    }
    boxBlurAlpha(alpha, w, h, qMax(1, blur / 2));
    // The cards leave only a few pixels around them, fewer than the blur
    // reaches, so the shadow is faded out towards the picture's edge: cut off
    // there, it would draw a hard rectangle around the window.
    auto edgeFade = [w, h](int x, int y) {
        constexpr float ramp = 4.0f;
        const int d = qMin(qMin(x, w - 1 - x), qMin(y, h - 1 - y));
        const float t = qMin(1.0f, float(d) / ramp);
        return t * t * (3.0f - 2.0f * t);
    };
    QImage out(art.size(), QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < h; ++y) {
        QRgb *row = reinterpret_cast<QRgb *>(out.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const float shade = alpha[y * w + x] * edgeFade(x, y) * strength;
            const int a = qBound(0, int(shade * 255.0f + 0.5f), 255);
            // Deep blue-grey rather than black keeps the shadow soft.
            row[x] = qPremultiply(qRgba(16, 28, 48, a));
        }
    }
    QPainter p(&out);
    p.drawImage(0, 0, art);
    p.end();
    return out;
}

bool writeBytes(const QString &path, const QByteArray &data)
{
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    f.write(data);
    return f.commit();
}

bool writeImage(const QImage &img, const QString &path, int quality)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    QImageWriter w(&f, suffix == "jpg" ? "jpeg" : suffix.toLatin1());
    if (suffix == "jpg")
        w.setQuality(quality);
    else if (suffix == "png")
        w.setQuality(0); // lossless: for PNG, quality 0 means the strongest zlib level
    const QImage toWrite = suffix == "jpg" ? img.convertToFormat(QImage::Format_RGB32)
                                           : img.convertToFormat(QImage::Format_ARGB32);
    if (!w.write(toWrite)) {
        err() << "artgen: " << path << ": " << w.errorString() << "\n";
        f.cancelWriting();
        return false;
    }
    return f.commit();
}

// Each frame is rendered in full colour, then every pixel becomes a blend of
// the matte and the drawing's own colour: the spinner is one colour, so the
// palette only needs alpha steps.
QByteArray makeGif(const QString &svgText, const Entry &e, QString *error)
{
    const QStringList framing = e.params.value("frames").split(':');
    const int frames = qMax(1, framing.value(0).toInt());
    const int delay = framing.value(1, "80").toInt();
    const QColor matte(framing.value(2, "#2f6fe0"));
    const QColor ink(e.params.value("ink", "#ffffff"));
    const int levels = 63;

    QVector<QRgb> palette;
    palette.append(qRgb(matte.red(), matte.green(), matte.blue())); // transparent
    for (int i = 1; i <= levels; ++i) {
        const double t = double(i) / levels;
        palette.append(qRgb(int(matte.red() + (ink.red() - matte.red()) * t + 0.5),
                            int(matte.green() + (ink.green() - matte.green()) * t + 0.5),
                            int(matte.blue() + (ink.blue() - matte.blue()) * t + 0.5)));
    }

    GifWriter gif(e.size.width(), e.size.height(), palette);
    for (int i = 0; i < frames; ++i) {
        QHash<QString, QString> params = e.params;
        params.insert("angle", QString::number(360.0 * i / frames, 'f', 2));
        const QImage art = renderSvg(substitute(svgText, params).toUtf8(), e.size);
        if (art.isNull()) {
            *error = "invalid SVG";
            return QByteArray();
        }
        QImage frame(e.size, QImage::Format_Indexed8);
        frame.setColorTable(palette);
        for (int y = 0; y < e.size.height(); ++y) {
            const QRgb *src = reinterpret_cast<const QRgb *>(art.constScanLine(y));
            uchar *dst = frame.scanLine(y);
            for (int x = 0; x < e.size.width(); ++x)
                dst[x] = uchar(qBound(0, (qAlpha(src[x]) * levels + 127) / 255, levels));
        }
        gif.addFrame(frame, delay);
    }
    return gif.finish();
}

bool renderEntry(const Entry &e, const QString &svgDir, const QString &outPath)
{
    QFile src(QDir(svgDir).filePath(e.source));
    if (!src.open(QIODevice::ReadOnly)) {
        err() << "artgen: line " << e.line << ": cannot read " << src.fileName() << "\n";
        return false;
    }
    QString svgText = QString::fromUtf8(src.readAll());
    // A value "@name" stands for the fragment svg/parts/name.svg: the glyphs
    // shared by several button drawings.
    QHash<QString, QString> params = e.params;
    for (auto it = params.begin(); it != params.end(); ++it) {
        if (!it.value().startsWith('@'))
            continue;
        QFile part(QDir(svgDir).filePath("parts/" + it.value().mid(1) + ".svg"));
        if (!part.open(QIODevice::ReadOnly)) {
            err() << "artgen: line " << e.line << ": cannot read " << part.fileName() << "\n";
            return false;
        }
        it.value() = QString::fromUtf8(part.readAll()).trimmed();
    }
    Entry resolved = e;
    resolved.params = params;
    QDir().mkpath(QFileInfo(outPath).absolutePath());

    if (outPath.endsWith(".gif")) {
        QString error;
        const QByteArray data = makeGif(svgText, resolved, &error);
        if (data.isEmpty() || !writeBytes(outPath, data)) {
            err() << "artgen: " << outPath << ": " << (error.isEmpty() ? "write failed" : error)
                  << "\n";
            return false;
        }
        return true;
    }

    QImage img = renderSvg(substitute(svgText, params).toUtf8(), e.size);
    if (img.isNull()) {
        err() << "artgen: line " << e.line << ": invalid SVG " << e.source << "\n";
        return false;
    }
    if (e.params.contains("shadow"))
        img = withShadow(img, e.params.value("shadow"));
    return writeImage(img, outPath, e.params.value("quality", "90").toInt());
}

QString outputPath(const Entry &e, const QString &resDir, const QString &binDir)
{
    return QDir(e.dest == "bin" ? binDir : resDir).filePath(e.out);
}

// All pictures on one sheet, over a checkerboard so that alpha shows.
void drawCheckerboard(QPainter &p, const QRect &r)
{
    for (int cy = r.top(); cy <= r.bottom(); cy += 8)
        for (int cx = r.left(); cx <= r.right(); cx += 8)
            p.fillRect(QRect(cx, cy, 8, 8).intersected(r),
                       ((cx - r.left()) / 8 + (cy - r.top()) / 8) % 2 ? QColor("#c9ced6")
                                                                      : QColor("#f4f6f8"));
}

// "on=#rrggbb" in a line is the colour the picture is shown on in the client;
// the sheet uses it instead of the checkerboard.
bool contactSheet(const QVector<Entry> &all, const QString &resDir, const QString &binDir,
                  const QString &outPath, const QString &only, int zoom)
{
    QVector<Entry> entries;
    const QRegularExpression filter(only);
    for (const Entry &e : all) {
        if (only.isEmpty() || filter.match(e.out).hasMatch())
            entries.append(e);
    }
    const int cellW = 250;
    const int labelH = 16;
    const int maxW = 1600;
    struct Placed { QImage img; QString name; QRect rect; QColor on; };
    QVector<Placed> placed;
    int x = 10, y = 10, rowH = 0;
    for (const Entry &e : entries) {
        QImage img(outputPath(e, resDir, binDir));
        if (img.isNull())
            img = QImage(e.size, QImage::Format_ARGB32);
        QSize shown = img.size() * zoom;
        if (shown.width() > 760 || shown.height() > 540)
            shown.scale(760, 540, Qt::KeepAspectRatio);
        if (shown.width() < 48 && shown.height() < 48)
            shown *= 2; // small icons are hard to judge at 1:1
        const int w = qMax(cellW, shown.width() + 10);
        if (x + w > maxW) {
            x = 10;
            y += rowH + labelH + 14;
            rowH = 0;
        }
        placed.append({img, e.out + QString(" %1x%2").arg(img.width()).arg(img.height()),
                       QRect(QPoint(x, y), shown), QColor(e.params.value("on"))});
        x += w + 10;
        rowH = qMax(rowH, shown.height());
    }
    QImage sheet(maxW, y + rowH + labelH + 20, QImage::Format_RGB32);
    sheet.fill(QColor("#e9edf2"));
    QPainter p(&sheet);
    p.setRenderHints(QPainter::SmoothPixmapTransform | QPainter::TextAntialiasing);
    QFont f("DejaVu Sans");
    f.setPixelSize(11);
    p.setFont(f);
    for (const Placed &pl : placed) {
        if (pl.on.isValid())
            p.fillRect(pl.rect, pl.on);
        else
            drawCheckerboard(p, pl.rect);
        p.drawImage(pl.rect, pl.img);
        p.setPen(QColor("#333"));
        p.drawText(pl.rect.left(), pl.rect.bottom() + 13, pl.name);
    }
    p.end();
    return writeImage(sheet, outPath, 90);
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv); // fonts need a GUI application, even offscreen
    const QStringList args = app.arguments();
    auto arg = [&](const QString &name) {
        const int i = args.indexOf(name);
        return i >= 0 ? args.value(i + 1) : QString();
    };
    const QString manifest = arg("--manifest");
    const QString svgDir = arg("--svg");
    const QString resDir = arg("--res");
    const QString binDir = arg("--bin");
    const QString sheet = arg("--contact-sheet");
    const QString stamp = arg("--stamp");
    if (manifest.isEmpty() || resDir.isEmpty() || binDir.isEmpty()
        || (sheet.isEmpty() && svgDir.isEmpty())) {
        err() << "usage: orvane-artgen --manifest FILE --svg DIR --res DIR --bin DIR"
                 " [--stamp FILE] | --contact-sheet OUT.png\n";
        return 2;
    }

    QVector<Entry> entries;
    if (!readManifest(manifest, &entries))
        return 1;

    if (!sheet.isEmpty())
        return contactSheet(entries, resDir, binDir, sheet, arg("--only"),
                            qMax(1, arg("--zoom").toInt())) ? 0 : 1;

    QElapsedTimer timer;
    timer.start();
    int failures = 0;
    for (const Entry &e : entries) {
        if (!renderEntry(e, svgDir, outputPath(e, resDir, binDir)))
            ++failures;
    }
    if (failures) {
        err() << "artgen: " << failures << " picture(s) failed\n";
        return 1;
    }
    if (!stamp.isEmpty())
        writeBytes(stamp, QByteArray::number(entries.size()) + " pictures\n");
    QTextStream(stdout) << "artgen: " << entries.size() << " pictures in " << timer.elapsed()
                        << " ms\n";
    return 0;
}
