#include "refservice/Artwork.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QStringList>

#include <cmath>

namespace {

const QStringList &symbols()
{
    static const QStringList list{
        QStringLiteral("document"), QStringLiteral("sheet"),   QStringLiteral("slides"),
        QStringLiteral("calendar"), QStringLiteral("brush"),   QStringLiteral("picture"),
        QStringLiteral("palette"),  QStringLiteral("code"),    QStringLiteral("terminal"),
        QStringLiteral("book"),     QStringLiteral("cloud"),   QStringLiteral("wallet"),
        QStringLiteral("help"),     QStringLiteral("bell"),    QStringLiteral("chart"),
        QStringLiteral("globe")};
    return list;
}

quint32 hashOf(const QString &text)
{
    const QByteArray h = QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Md5);
    return (quint32(quint8(h[0])) << 24) | (quint32(quint8(h[1])) << 16)
        | (quint32(quint8(h[2])) << 8) | quint32(quint8(h[3]));
}

QByteArray toPng(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// A transparent size x size picture, drawn by `draw` in the unit box 0..100.
template <class Draw>
QByteArray drawnPng(int size, Draw draw)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 100.0, size / 100.0);
    draw(p);
    p.end();
    return toPng(image);
}

// Draws a symbol into the unit box 0..100 with the painter's pen and brush.
void drawSymbol(QPainter &p, const QString &name, const QColor &ink)
{
    QPen pen(ink, 7, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    const int index = symbols().indexOf(name);
    switch (index) {
    case 0: { // document with folded corner and lines
        QPainterPath page;
        page.moveTo(28, 16); page.lineTo(60, 16); page.lineTo(74, 30);
        page.lineTo(74, 84); page.lineTo(28, 84); page.closeSubpath();
        p.drawPath(page);
        p.drawLine(38, 44, 64, 44); p.drawLine(38, 56, 64, 56); p.drawLine(38, 68, 56, 68);
        break;
    }
    case 1: // spreadsheet grid
        p.drawRoundedRect(QRectF(20, 22, 60, 56), 6, 6);
        p.drawLine(20, 41, 80, 41); p.drawLine(20, 59, 80, 59); p.drawLine(42, 22, 42, 78);
        break;
    case 2: // slide on a stand
        p.drawRect(QRectF(18, 22, 64, 42));
        p.drawLine(50, 64, 50, 80); p.drawLine(38, 82, 62, 82);
        p.setBrush(ink); p.drawPie(QRectF(34, 30, 26, 26), 0, 90 * 16);
        break;
    case 3: // calendar
        p.drawRoundedRect(QRectF(20, 26, 60, 54), 6, 6);
        p.drawLine(20, 42, 80, 42); p.drawLine(36, 18, 36, 32); p.drawLine(64, 18, 64, 32);
        p.setBrush(ink); p.drawEllipse(QPointF(38, 58), 4, 4); p.drawEllipse(QPointF(62, 66), 4, 4);
        break;
    case 4: { // brush
        p.drawLine(70, 18, 44, 56);
        QPainterPath tip;
        tip.moveTo(44, 56); tip.cubicTo(30, 56, 26, 70, 22, 82); tip.cubicTo(38, 80, 52, 74, 50, 62);
        p.setBrush(ink); p.drawPath(tip);
        break;
    }
    case 5: { // picture: frame, sun and hill
        p.drawRoundedRect(QRectF(18, 24, 64, 52), 6, 6);
        p.setBrush(ink); p.drawEllipse(QPointF(36, 40), 6, 6);
        QPainterPath hill;
        hill.moveTo(22, 72); hill.lineTo(44, 52); hill.lineTo(56, 62); hill.lineTo(64, 54); hill.lineTo(78, 72);
        hill.closeSubpath();
        p.drawPath(hill);
        break;
    }
    case 6: { // palette with paint dots
        QPainterPath pal;
        pal.addEllipse(QRectF(18, 20, 64, 60));
        QPainterPath hole;
        hole.addEllipse(QRectF(52, 56, 14, 14));
        p.drawPath(pal.subtracted(hole));
        p.setBrush(ink);
        for (const QPointF pt : {QPointF(36, 38), QPointF(52, 32), QPointF(66, 42), QPointF(34, 56)})
            p.drawEllipse(pt, 5, 5);
        break;
    }
    case 7: // code brackets
        p.drawPolyline(QPolygonF({QPointF(36, 28), QPointF(18, 50), QPointF(36, 72)}));
        p.drawPolyline(QPolygonF({QPointF(64, 28), QPointF(82, 50), QPointF(64, 72)}));
        p.drawLine(56, 24, 44, 76);
        break;
    case 8: // terminal prompt
        p.drawRoundedRect(QRectF(16, 22, 68, 56), 6, 6);
        p.drawPolyline(QPolygonF({QPointF(30, 40), QPointF(42, 50), QPointF(30, 60)}));
        p.drawLine(48, 62, 68, 62);
        break;
    case 9: // open book
        p.drawPolyline(QPolygonF({QPointF(50, 30), QPointF(20, 24), QPointF(20, 74), QPointF(50, 80),
                                  QPointF(80, 74), QPointF(80, 24), QPointF(50, 30), QPointF(50, 80)}));
        break;
    case 10: { // cloud
        QPainterPath cloud;
        cloud.addEllipse(QRectF(20, 44, 30, 28));
        cloud.addEllipse(QRectF(34, 28, 36, 36));
        cloud.addEllipse(QRectF(54, 44, 28, 28));
        cloud.addRect(QRectF(34, 56, 34, 16));
        p.setBrush(ink); p.setPen(Qt::NoPen);
        p.drawPath(cloud.simplified());
        break;
    }
    case 11: // wallet
        p.drawRoundedRect(QRectF(18, 30, 64, 46), 8, 8);
        p.drawLine(26, 30, 66, 20);
        p.setBrush(ink); p.drawEllipse(QPointF(66, 53), 5, 5);
        break;
    case 12: // question mark in a circle
        p.drawEllipse(QRectF(18, 18, 64, 64));
        p.drawArc(QRectF(38, 30, 24, 22), 180 * 16, -240 * 16);
        p.drawLine(50, 52, 50, 60);
        p.setBrush(ink); p.drawEllipse(QPointF(50, 70), 3, 3);
        break;
    case 13: { // bell
        QPainterPath bell;
        bell.moveTo(26, 70); bell.cubicTo(34, 60, 30, 28, 50, 26); bell.cubicTo(70, 28, 66, 60, 74, 70);
        bell.closeSubpath();
        p.drawPath(bell);
        p.drawArc(QRectF(42, 66, 16, 14), 180 * 16, 180 * 16);
        break;
    }
    case 14: // bar chart
        p.drawLine(20, 80, 80, 80);
        p.setBrush(ink);
        p.drawRect(QRectF(26, 54, 10, 20)); p.drawRect(QRectF(45, 36, 10, 38)); p.drawRect(QRectF(64, 46, 10, 28));
        break;
    default: // globe
        p.drawEllipse(QRectF(18, 18, 64, 64));
        p.drawEllipse(QRectF(36, 18, 28, 64));
        p.drawLine(18, 50, 82, 50);
        break;
    }
}

QString resolvedSymbol(const QString &symbol, const QString &seed)
{
    if (symbols().contains(symbol))
        return symbol;
    return symbols().at(int(hashOf(seed + symbol) % quint32(symbols().size())));
}

} // namespace

namespace Artwork {

QByteArray appIconPng(const QString &symbol, const QString &seed, int size)
{
    return drawnPng(size, [&](QPainter &p) {
        const quint32 h = hashOf(seed);
        const QColor top = QColor::fromHsv(int(h % 360), 150 + int((h >> 9) % 60), 235);
        const QColor bottom = top.darker(135);
        QLinearGradient gradient(0, 0, 0, 100);
        gradient.setColorAt(0, top);
        gradient.setColorAt(1, bottom);
        p.setPen(Qt::NoPen);
        p.setBrush(gradient);
        p.drawRoundedRect(QRectF(4, 4, 92, 92), 22, 22);
        // A soft highlight across the upper half gives the tile some depth.
        p.setBrush(QColor(255, 255, 255, 40));
        p.drawRoundedRect(QRectF(4, 4, 92, 44), 22, 22);

        drawSymbol(p, resolvedSymbol(symbol, seed), Qt::white);
    });
}

QByteArray categoryIconPng(const QString &symbol, int size)
{
    return drawnPng(size, [&](QPainter &p) {
        drawSymbol(p, resolvedSymbol(symbol, symbol), QColor(255, 255, 255));
    });
}

QByteArray avatarPng(const QString &seed, int size)
{
    return drawnPng(size, [&](QPainter &p) {
        const quint32 h = hashOf(seed);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor::fromHsv(int(h % 360), 90, 230));
        p.drawEllipse(QRectF(2, 2, 96, 96));
        QPainterPath clip;
        clip.addEllipse(QRectF(2, 2, 96, 96));
        p.setClipPath(clip);
        p.setBrush(QColor(255, 255, 255, 235));
        p.drawEllipse(QRectF(34, 20, 32, 34));
        p.drawEllipse(QRectF(16, 60, 68, 60));
    });
}

} // namespace Artwork
