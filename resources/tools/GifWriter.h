#pragma once

#include <QByteArray>
#include <QImage>
#include <QVector>

// Qt reads GIF but cannot write it, so the loading spinner is encoded here.
// Frames share one global palette; palette index 0 is the transparent one.
class GifWriter
{
public:
    GifWriter(int width, int height, const QVector<QRgb> &palette);

    // frame: Format_Indexed8 of the writer's size, indices into the palette.
    void addFrame(const QImage &frame, int delayMs);
    QByteArray finish();

    static QByteArray lzwEncode(const QByteArray &indices, int minCodeSize);

private:
    int m_width;
    int m_height;
    int m_colourBits;
    QByteArray m_out;
};
