#include "alphasource.h"

#include <QVector>

#include <algorithm>

namespace {

bool readInPlace(QImage::Format format)
{
    return format == QImage::Format_ARGB32 || format == QImage::Format_ARGB32_Premultiplied
           || format == QImage::Format_RGB32;
}

// Any other format to premultiplied ARGB. Not plain ARGB32: converting
// 2-bit-alpha formats to it can let bad colour values overflow into the
// alpha byte; the premultiplied target keeps the alpha as QImage::pixel reads it.
QImage converted(const QImage& image)
{
    if (image.format() == QImage::Format_Indexed8 && image.colorTable().isEmpty()) {
        // QImage::pixel finds no colour for any index and answers 0, while
        // the conversion would invent a grey ramp: give it a table that says 0.
        QImage copy = image;
        copy.setColorTable(QVector<QRgb>{0u});
        return copy.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    }
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

}

AlphaSource::AlphaSource(const QImage& image, std::int64_t wholeLimit)
{
    if (image.isNull())
        return;
    m_width = image.width();
    m_height = image.height();
    if (readInPlace(image.format())) {
        m_image = image;
    } else {
        const std::int64_t bytes = std::int64_t(m_width) * m_height * 4;
        if (bytes <= wholeLimit)
            m_image = converted(image);
        if (m_image.isNull()) {
            // Too large to convert at once: strips of about a megabyte.
            m_image = image;
            m_stripRows = int(std::clamp<std::int64_t>((std::int64_t(1) << 20) / (std::int64_t(m_width) * 4), 1, m_height));
            m_blank.assign(std::size_t(m_width), 0u);
            return;
        }
    }
    m_bits = m_image.constBits();
    m_stride = std::ptrdiff_t(m_image.bytesPerLine());
    m_opaqueBits = m_image.format() == QImage::Format_RGB32 ? 0xff000000u : 0u;
}

const std::uint32_t* AlphaSource::stripLine(int y) const
{
    for (int i : {m_recent, 1 - m_recent}) {
        const Strip& strip = m_strips[i];
        if (strip.first >= 0 && y >= strip.first && y - strip.first < m_stripRows) {
            m_recent = i;
            if (strip.pixels.isNull())
                return m_blank.data();
            return reinterpret_cast<const std::uint32_t*>(strip.pixels.constScanLine(y - strip.first));
        }
    }
    // Replace the strip used less recently.
    m_recent = 1 - m_recent;
    Strip& strip = m_strips[m_recent];
    strip.first = y - y % m_stripRows;
    strip.pixels = converted(m_image.copy(0, strip.first, m_width, std::min(m_stripRows, m_height - strip.first)));
    if (strip.pixels.isNull() || strip.pixels.width() != m_width)
        strip.pixels = QImage();
    if (strip.pixels.isNull())
        return m_blank.data();
    return reinterpret_cast<const std::uint32_t*>(strip.pixels.constScanLine(y - strip.first));
}
