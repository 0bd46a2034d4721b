#pragma once

#include <QImage>

#include <cstddef>
#include <cstdint>
#include <vector>

// Scan-line access to the alpha of any image, as QImage::pixel reports it
// (bits 24 to 31 of the ARGB value). Images already holding 32-bit ARGB or RGB
// pixels are read in place; any other format is converted once, to
// premultiplied ARGB, whose alpha byte is exactly what QImage::pixel gives.
// When that copy would be larger than `wholeLimit` bytes (or cannot be made),
// the image is converted a strip of rows at a time instead, keeping the last
// two strips, so that an outline running along a strip border does not
// convert the same rows over and over.
class AlphaSource final
{
public:
    static constexpr std::int64_t defaultWholeLimit = std::int64_t(256) << 20;

    explicit AlphaSource(const QImage& image, std::int64_t wholeLimit = defaultWholeLimit);

    int width() const { return m_width; }
    int height() const { return m_height; }

    // Row y (0 <= y < height) as 32-bit pixels; the alpha of one is
    // ((pixel | opaqueBits()) >> 24). Valid until the next call.
    const std::uint32_t* line(int y) const
    {
        if (m_bits)
            return reinterpret_cast<const std::uint32_t*>(m_bits + std::ptrdiff_t(y) * m_stride);
        return stripLine(y);
    }
    // Set for images without an alpha channel, whose stored top byte means nothing.
    std::uint32_t opaqueBits() const { return m_opaqueBits; }
    int alpha(int x, int y) const { return int((line(y)[x] | m_opaqueBits) >> 24); }

    // Whether the image is read in strips (for tests).
    bool readsInStrips() const { return !m_bits && m_width > 0; }

private:
    struct Strip
    {
        int first = -1;
        QImage pixels;  // premultiplied ARGB, or null when converting failed
    };

    const std::uint32_t* stripLine(int y) const;

    QImage m_image;  // never written, so never detached
    const uchar* m_bits = nullptr;
    std::ptrdiff_t m_stride = 0;
    int m_width = 0;
    int m_height = 0;
    std::uint32_t m_opaqueBits = 0;
    int m_stripRows = 0;
    mutable Strip m_strips[2];
    mutable int m_recent = 0;
    std::vector<std::uint32_t> m_blank;  // a transparent row, for a strip that failed
};
