#include "GifWriter.h"

#include <QHash>

namespace {

void putWord(QByteArray &out, int value)
{
    out.append(char(value & 0xff));
    out.append(char((value >> 8) & 0xff));
}

// Packs variable-width codes least significant bit first, as GIF wants.
class BitPacker
{
public:
    void put(int code, int width)
    {
        m_acc |= quint32(code) << m_bits;
        m_bits += width;
        while (m_bits >= 8) {
            m_bytes.append(char(m_acc & 0xff));
            m_acc >>= 8;
            m_bits -= 8;
        }
    }
    QByteArray finish()
    {
        if (m_bits > 0)
            m_bytes.append(char(m_acc & 0xff));
        m_acc = 0;
        m_bits = 0;
        return m_bytes;
    }

private:
    quint32 m_acc = 0;
    int m_bits = 0;
    QByteArray m_bytes;
};

} // namespace

GifWriter::GifWriter(int width, int height, const QVector<QRgb> &palette)
    : m_width(width), m_height(height)
{
    m_colourBits = 1;
    while ((1 << m_colourBits) < palette.size() && m_colourBits < 8)
        ++m_colourBits;

    m_out.append("GIF89a");
    putWord(m_out, width);
    putWord(m_out, height);
    m_out.append(char(0x80 | ((m_colourBits - 1) << 4) | (m_colourBits - 1)));
    m_out.append(char(0)); // background index
    m_out.append(char(0)); // no aspect ratio
    for (int i = 0; i < (1 << m_colourBits); ++i) {
        const QRgb c = i < palette.size() ? palette.at(i) : qRgb(0, 0, 0);
        m_out.append(char(qRed(c)));
        m_out.append(char(qGreen(c)));
        m_out.append(char(qBlue(c)));
    }
    // Loop for ever.
    m_out.append("\x21\xff\x0bNETSCAPE2.0\x03\x01", 16);
    putWord(m_out, 0);
    m_out.append(char(0));
}

void GifWriter::addFrame(const QImage &frame, int delayMs)
{
    Q_ASSERT(frame.format() == QImage::Format_Indexed8);
    Q_ASSERT(frame.width() == m_width && frame.height() == m_height);

    // Graphic control: restore to background, transparent index 0.
    m_out.append("\x21\xf9\x04", 3);
    m_out.append(char((2 << 2) | 0x01));
    putWord(m_out, (delayMs + 5) / 10);
    m_out.append(char(0));
    m_out.append(char(0));

    m_out.append(char(0x2c));
    putWord(m_out, 0);
    putWord(m_out, 0);
    putWord(m_out, m_width);
    putWord(m_out, m_height);
    m_out.append(char(0)); // no local palette, not interlaced

    QByteArray indices;
    indices.reserve(m_width * m_height);
    for (int y = 0; y < m_height; ++y)
        indices.append(reinterpret_cast<const char *>(frame.constScanLine(y)), m_width);

    const int minCodeSize = qMax(2, m_colourBits);
    m_out.append(char(minCodeSize));
    const QByteArray data = lzwEncode(indices, minCodeSize);
    for (int pos = 0; pos < data.size(); pos += 255) {
        const int n = qMin(255, data.size() - pos);
        m_out.append(char(n));
        m_out.append(data.constData() + pos, n);
    }
    m_out.append(char(0));
}

QByteArray GifWriter::finish()
{
    m_out.append(char(0x3b));
    return m_out;
}

QByteArray GifWriter::lzwEncode(const QByteArray &indices, int minCodeSize)
{
    const int clearCode = 1 << minCodeSize;
    const int endCode = clearCode + 1;
    BitPacker packer;
    QHash<quint32, int> table; // (prefix code << 8 | byte) -> code
    int nextCode = endCode + 1;
    int width = minCodeSize + 1;

    packer.put(clearCode, width);
    if (indices.isEmpty()) {
        packer.put(endCode, width);
        return packer.finish();
    }

    int prefix = quint8(indices.at(0));
    for (int i = 1; i < indices.size(); ++i) {
        const quint8 k = quint8(indices.at(i));
        const quint32 key = (quint32(prefix) << 8) | k;
        const auto it = table.constFind(key);
        if (it != table.constEnd()) {
            prefix = it.value();
            continue;
        }
        packer.put(prefix, width);
        if (nextCode < 4096) {
            table.insert(key, nextCode);
            // The decoder widens one code later than the encoder adds it.
            if (nextCode == (1 << width) && width < 12)
                ++width;
            ++nextCode;
        } else {
            packer.put(clearCode, width);
            table.clear();
            nextCode = endCode + 1;
            width = minCodeSize + 1;
        }
        prefix = k;
    }
    packer.put(prefix, width);
    packer.put(endCode, width);
    return packer.finish();
}
