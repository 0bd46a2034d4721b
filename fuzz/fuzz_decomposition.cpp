// Reads arbitrary bytes as an outline and cuts it into convex pieces. Any crash
// or hang is a bug; so is a piece with fewer than 3 or more than 8 points, and,
// for outlines small enough to cut the slow way too, any difference from the
// reference implementation, down to the last bit of a coordinate.
//
// The first byte picks how the rest becomes points:
//   0: pairs of 16-bit integers, whole pixels over a wide range;
//   1: pairs of 8-bit integers, a small grid full of repeats and straight runs;
//   2: pairs of raw 32-bit floats, NaN, infinities and huge values included;
//   3: pairs of 16-bit integers in 1/256 pixel, where the pinch tolerance bites.

#include "convexdecomposition.h"
#include "referencedecomposition.h"

#include <QPolygonF>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

// The reference is cubic; beyond this it would slow the search down to a crawl.
constexpr int referenceLimit = 300;
constexpr int pointLimit = 4096;

std::int16_t int16At(const std::uint8_t* p)
{
    return std::int16_t(std::uint16_t(p[0]) | std::uint16_t(p[1]) << 8);
}

QPolygonF outlineFrom(const std::uint8_t* data, std::size_t size)
{
    QPolygonF outline;
    if (size == 0)
        return outline;
    const int mode = data[0] % 4;
    const std::uint8_t* p = data + 1;
    std::size_t left = size - 1;
    const std::size_t stride = mode == 1 ? 2 : mode == 2 ? 8 : 4;
    while (left >= stride && outline.size() < pointLimit) {
        switch (mode) {
        case 0:
            outline << QPointF(int16At(p), int16At(p + 2));
            break;
        case 1:
            outline << QPointF(std::int8_t(p[0]), std::int8_t(p[1]));
            break;
        case 2: {
            float x, y;
            std::memcpy(&x, p, 4);
            std::memcpy(&y, p + 4, 4);
            outline << QPointF(x, y);
            break;
        }
        default:
            outline << QPointF(int16At(p) / 256.0, int16At(p + 2) / 256.0);
            break;
        }
        p += stride;
        left -= stride;
    }
    return outline;
}

bool identical(const QVector<QPolygonF>& a, const QVector<QPolygonF>& b)
{
    if (a.size() != b.size())
        return false;
    for (int i = 0; i < a.size(); ++i) {
        if (a[i].size() != b[i].size())
            return false;
        const std::size_t bytes = sizeof(QPointF) * std::size_t(a[i].size());
        if (bytes > 0 && std::memcmp(a[i].constData(), b[i].constData(), bytes) != 0)
            return false;
    }
    return true;
}

}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QPolygonF outline = outlineFrom(data, size);
    const QVector<QPolygonF> pieces = ConvexDecomposition::decompose(outline);
    for (const QPolygonF& piece : pieces) {
        if (piece.size() < 3 || piece.size() > 8)
            std::abort();
    }
    if (outline.size() <= referenceLimit && !identical(ReferenceDecomposition::decompose(outline), pieces))
        std::abort();
    return 0;
}
