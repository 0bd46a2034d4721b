#include "framecomposite.h"

#include "alphasource.h"

#include <QtGlobal>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Combines one row of a frame into the composite's row: alphas below `low`
// count as 0, then the greater (union) or the lesser (intersection) stays.
template<bool Union>
void combineRow(const std::uint32_t* in, uchar* out, int width, std::uint32_t opaque, uchar low)
{
    int x = 0;
#if defined(__SSE2__)
    // Sixteen pixels at a time: the four alpha bytes of each 32-bit group
    // packed into one vector of bytes.
    const __m128i opaqueBits = _mm_set1_epi32(int(opaque));
    const __m128i lows = _mm_set1_epi8(char(low));
    auto alphas = [&](int at) {
        const __m128i pixels = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + at));
        return _mm_srli_epi32(_mm_or_si128(pixels, opaqueBits), 24);
    };
    for (; x + 16 <= width; x += 16) {
        __m128i a = _mm_packus_epi16(_mm_packs_epi32(alphas(x), alphas(x + 4)),
                                     _mm_packs_epi32(alphas(x + 8), alphas(x + 12)));
        a = _mm_and_si128(a, _mm_cmpeq_epi8(_mm_max_epu8(a, lows), a));  // a >= low, or 0
        const __m128i current = _mm_loadu_si128(reinterpret_cast<const __m128i*>(out + x));
        const __m128i combined = Union ? _mm_max_epu8(current, a) : _mm_min_epu8(current, a);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), combined);
    }
#endif
    for (; x < width; ++x) {
        const uchar a = uchar((in[x] | opaque) >> 24);
        out[x] = Union ? std::max(out[x], a < low ? uchar(0) : a) : std::min(out[x], a < low ? uchar(0) : a);
    }
}

}

FrameComposite::FrameComposite(const QSize& size, AnimationTraceMode mode, int alphaThreshold)
    : m_threshold(alphaThreshold), m_union(mode == AnimationTraceMode::AllFramesUnion)
{
    if (mode != AnimationTraceMode::AllFramesIntersection && mode != AnimationTraceMode::AllFramesUnion)
        return;
    if (size.width() <= 0 || size.height() <= 0)
        return;
    // No larger than a 32-bit image QImage could hold, which image() must create.
    const qint64 pixels = qint64(size.width()) * size.height();
    if (pixels > std::numeric_limits<int>::max() / 4)
        return;
    try {
        m_alpha.assign(std::size_t(pixels), m_union ? uchar(0) : uchar(255));
    } catch (const std::bad_alloc&) {
        return;
    }
    m_width = size.width();
    m_height = size.height();
    m_valid = true;
}

void FrameComposite::addFrame(const QImage& frame)
{
    if (!m_valid || frame.isNull())
        return;
    const AlphaSource source(frame);
    const int width = std::min(source.width(), m_width);
    const int height = std::min(source.height(), m_height);
    const std::uint32_t opaque = source.opaqueBits();
    if (m_threshold > 255) {
        // Every alpha is below it and counts as 0, which only an intersection notices.
        if (!m_union) {
            for (int y = 0; y < height; ++y)
                std::fill_n(m_alpha.data() + std::size_t(y) * std::size_t(m_width), width, uchar(0));
        }
        return;
    }
    // Alphas below the threshold count as 0; at 0 or below it keeps them all.
    const uchar low = uchar(std::max(m_threshold, 0));
    for (int y = 0; y < height; ++y) {
        uchar* out = m_alpha.data() + std::size_t(y) * std::size_t(m_width);
        if (m_union)
            combineRow<true>(source.line(y), out, width, opaque, low);
        else
            combineRow<false>(source.line(y), out, width, opaque, low);
    }
}

QImage FrameComposite::image() const
{
    if (!m_valid)
        return {};
    QImage composite(m_width, m_height, QImage::Format_ARGB32);
    if (composite.isNull())
        return {};
    for (int y = 0; y < m_height; ++y) {
        const uchar* in = m_alpha.data() + std::size_t(y) * std::size_t(m_width);
        auto* out = reinterpret_cast<std::uint32_t*>(composite.scanLine(y));
        for (int x = 0; x < m_width; ++x)
            out[x] = std::uint32_t(in[x]) << 24;
    }
    return composite;
}

QImage FrameComposite::build(const QList<QImage>& frames, const QSize& size, AnimationTraceMode mode,
                             int alphaThreshold)
{
    FrameComposite composite(size, mode, alphaThreshold);
    for (const QImage& frame : frames)
        composite.addFrame(frame);
    return composite.image();
}
