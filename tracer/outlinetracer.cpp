#include "outlinetracer.h"

#include "alphasource.h"
#include "framecomposite.h"

#include <QFileInfo>
#include <QImageReader>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

namespace {

// The inside test on scan lines. A pixel is inside when (pixel | opaque) >
// limit as unsigned numbers: with limit = threshold << 24 | 0xffffff that is
// exactly "alpha > threshold", one compare and no shift.
struct Grid
{
    const AlphaSource& source;
    unsigned width;
    unsigned height;
    std::uint32_t opaque;
    std::uint32_t limit;

    bool inside(int x, int y) const
    {
        return unsigned(x) < width && unsigned(y) < height && (source.line(y)[x] | opaque) > limit;
    }
};

// The first inside pixel of row y at or after x0, or -1.
int firstInside(const Grid& grid, int y, int x0)
{
    const std::uint32_t* row = grid.source.line(y);
    const int width = int(grid.width);
    int x = x0;
    // Whole blocks first, tested without a branch per pixel so that the
    // compiler can use vector compares; the block with a hit is searched below.
    constexpr int block = 32;
    for (; x + block <= width; x += block) {
        unsigned hit = 0;
        for (int k = 0; k < block; ++k)
            hit |= unsigned((row[x + k] | grid.opaque) > grid.limit);
        if (hit)
            break;
    }
    for (; x < width; ++x) {
        if ((row[x] | grid.opaque) > grid.limit)
            return x;
    }
    return -1;
}

// Chooses where the walk starts: the top of the start pixel's vertical run,
// or the first inside pixel in raster order. False when there is none.
bool findStart(const Grid& grid, QPoint startPixel, int& sx, int& sy)
{
    if (!startPixel.isNull()) {
        if (!grid.inside(startPixel.x(), startPixel.y()))
            return false;
        sx = startPixel.x();
        sy = startPixel.y();
        while (grid.inside(sx, sy - 1))
            --sy;
        return true;
    }
    for (int y = 0; y < int(grid.height); ++y) {
        const int x = firstInside(grid, y, 0);
        if (x >= 0) {
            sx = x;
            sy = y;
            return true;
        }
    }
    return false;
}

// Points are stored doubled: the midpoints of the sides of pixel (x, y) are
// (2x, 2y - 1) top, (2x + 1, 2y) right, (2x, 2y + 1) bottom, (2x - 1, 2y) left.
enum Side { Top, Right, Bottom, Left };

void walkNatural(const Grid& grid, int sx, int sy, std::vector<QPoint>& contour)
{
    contour.clear();
    const QPoint start(2 * sx, 2 * sy - 1);
    int cx = sx;
    int cy = sy;
    Side side = Top;
    for (;;) {
        // Each state tests the diagonal neighbour first, then the straight one.
        switch (side) {
        case Top:
            if (grid.inside(cx + 1, cy - 1)) {
                ++cx;
                --cy;
                side = Left;
            } else if (grid.inside(cx + 1, cy)) {
                ++cx;
            } else {
                side = Right;
            }
            break;
        case Right:
            if (grid.inside(cx + 1, cy + 1)) {
                ++cx;
                ++cy;
                side = Top;
            } else if (grid.inside(cx, cy + 1)) {
                ++cy;
            } else {
                side = Bottom;
            }
            break;
        case Bottom:
            if (grid.inside(cx - 1, cy + 1)) {
                --cx;
                ++cy;
                side = Right;
            } else if (grid.inside(cx - 1, cy)) {
                --cx;
            } else {
                side = Left;
            }
            break;
        case Left:
            if (grid.inside(cx - 1, cy - 1)) {
                --cx;
                --cy;
                side = Bottom;
            } else if (grid.inside(cx, cy - 1)) {
                --cy;
            } else {
                side = Top;
            }
            break;
        }
        QPoint point(2 * cx, 2 * cy);
        switch (side) {
        case Top: point.ry() -= 1; break;
        case Right: point.rx() += 1; break;
        case Bottom: point.ry() += 1; break;
        case Left: point.rx() -= 1; break;
        }
        contour.push_back(point);
        if (point == start)
            return;
    }
}

enum Direction { East, South, West, North };

void walkStraight(const Grid& grid, int sx, int sy, std::vector<QPoint>& contour)
{
    contour.clear();
    int cx = sx;
    int cy = sy;
    Direction direction = East;
    for (;;) {
        // Move one unit, then turn by the pixels around the new corner,
        // the one diagonal to the way ahead first.
        Direction next;
        switch (direction) {
        case East:
            ++cx;
            next = grid.inside(cx, cy - 1) ? North : grid.inside(cx, cy) ? East : South;
            break;
        case South:
            ++cy;
            next = grid.inside(cx, cy) ? East : grid.inside(cx - 1, cy) ? South : West;
            break;
        case West:
            --cx;
            next = grid.inside(cx - 1, cy) ? South : grid.inside(cx - 1, cy - 1) ? West : North;
            break;
        case North:
        default:
            --cy;
            next = grid.inside(cx - 1, cy - 1) ? West : grid.inside(cx, cy - 1) ? North : East;
            break;
        }
        if (next != direction) {
            contour.push_back(QPoint(2 * cx, 2 * cy));
            direction = next;
        }
        if (cx == sx && cy == sy)
            return;
    }
}

// Squared distances of the points strictly between a and b to the segment
// a-b, rounded as the reference does: projection and length to float, the
// foot in double, the distance in float. Written without branches, each
// case computed and the right one chosen, so that the loop vectorizes.
// The distances are never negative, so their bits order them as whole
// numbers do: they are stored as bits, and the greatest is returned.
std::int32_t spanDistances(const double* xs, const double* ys, std::size_t a, std::size_t b, std::int32_t* out)
{
    const double ax = xs[a];
    const double ay = ys[a];
    const double bx = xs[b];
    const double by = ys[b];
    const double ux = bx - ax;
    const double uy = by - ay;
    const float length2 = float(ux * ux + uy * uy);
    std::int32_t greatest = 0;
    for (std::size_t k = a + 1; k < b; ++k) {
        const double kx = xs[k];
        const double ky = ys[k];
        const float projection = float((kx - ax) * ux + (ky - ay) * uy);
        const float ratio = projection / length2;
        double fx = ax + double(ratio) * ux;
        double fy = ay + double(ratio) * uy;
        fx = projection >= length2 ? bx : fx;
        fy = projection >= length2 ? by : fy;
        fx = projection <= 0 ? ax : fx;
        fy = projection <= 0 ? ay : fy;
        const float dx = float(kx - fx);
        const float dy = float(ky - fy);
        const float d2 = dx * dx + dy * dy;
        std::int32_t bits;
        std::memcpy(&bits, &d2, sizeof bits);
        out[k] = bits;
        greatest = std::max(greatest, bits);
    }
    return greatest;
}

}

OutlineTracer::OutlineTracer() = default;

void OutlineTracer::setStartPixel(int x, int y)
{
    m_startPixel = QPoint(x, y);
}

bool OutlineTracer::trace(const QImage& image, int alphaThreshold, TraceMode mode)
{
    m_image = image;
    m_width = image.width();
    m_height = image.height();
    m_threshold = alphaThreshold;
    if (mode != TraceMode::Natural && mode != TraceMode::Straight)
        return false;
    // No alpha exceeds 255.
    if (alphaThreshold >= 255 || m_width <= 0 || m_height <= 0)
        return false;

    const AlphaSource source(m_image);
    // Below 0 every pixel is inside, whatever its stored top byte says.
    const bool all = alphaThreshold < 0;
    const Grid grid{source, unsigned(m_width), unsigned(m_height), all ? 0xff000000u : source.opaqueBits(),
                    all ? 0u : (std::uint32_t(alphaThreshold) << 24 | 0x00ffffffu)};
    int sx = 0;
    int sy = 0;
    if (!findStart(grid, m_startPixel, sx, sy))
        return false;
    if (mode == TraceMode::Natural)
        walkNatural(grid, sx, sy, m_contour);
    else
        walkStraight(grid, sx, sy, m_contour);
    return true;
}

QVector<QPointF> OutlineTracer::contour() const
{
    QVector<QPointF> points;
    points.reserve(int(m_contour.size()));
    for (const QPoint& p : m_contour)
        points.append(QPointF(p.x() * 0.5, p.y() * 0.5));
    return points;
}

QPolygonF OutlineTracer::polygon(float tolerance) const
{
    const double height = m_height;
    QPolygonF result;
    const QVector<int> kept = polygonIndices(tolerance);
    result.reserve(kept.size());
    for (int i : kept)
        result.append(QPointF(m_contour[std::size_t(i)].x() * 0.5, height - m_contour[std::size_t(i)].y() * 0.5));
    return result;
}

QVector<int> OutlineTracer::polygonIndices(float tolerance) const
{
    const std::size_t n = m_contour.size();
    if (n == 0)
        return {};
    const QPoint* c = m_contour.data();

    // Coordinate differences are the same in image and body coordinates, up
    // to the sign of y, and exact in double: take them from the whole numbers.
    auto distance2 = [c](std::size_t i, std::size_t j) {
        const float dx = float((double(c[j].x()) - double(c[i].x())) * 0.5);
        const float dy = float((double(c[i].y()) - double(c[j].y())) * 0.5);
        return dx * dx + dy * dy;
    };

    // The longest edge (the first of equals) becomes the closing edge.
    float longest = -1.0f;
    std::size_t longestIndex = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const float length2 = distance2(i, i + 1 == n ? 0 : i + 1);
        if (length2 > longest) {
            longest = length2;
            longestIndex = i;
        }
    }
    const std::size_t first = longestIndex + 1 == n ? 0 : longestIndex + 1;

    // Radial pass over the turned ring, which starts at `first`.
    const float t2 = tolerance * tolerance;
    const double height = m_height;
    std::vector<double> xs;
    std::vector<double> ys;
    std::vector<int> indices;
    xs.reserve(n);
    ys.reserve(n);
    indices.reserve(n);
    std::size_t last = first;
    auto keep = [&](std::size_t i) {
        indices.push_back(int(i));
        xs.push_back(c[i].x() * 0.5);
        ys.push_back(height - c[i].y() * 0.5);
        last = i;
    };
    keep(first);
    std::size_t i = first;
    for (std::size_t j = 1; j < n; ++j) {
        if (++i == n)
            i = 0;
        if (distance2(last, i) >= t2)
            keep(i);
    }
    const std::size_t end = first == 0 ? n - 1 : first - 1;
    if (last != end)
        keep(end);

    // Douglas-Peucker on the kept points. The spans wait on a stack in the
    // order a recursion would visit them, the earlier half first.
    const std::size_t m = xs.size();
    std::vector<std::int32_t> distances(m);
    std::vector<char> marked(m, 0);
    marked[0] = 1;
    marked[m - 1] = 1;
    std::vector<std::pair<std::size_t, std::size_t>> spans;
    spans.emplace_back(0, m - 1);
    while (!spans.empty()) {
        const auto [a, b] = spans.back();
        spans.pop_back();
        if (b <= a + 1)
            continue;
        // The greatest distance (0 when all are 0) and the first point at it.
        const std::int32_t greatest = spanDistances(xs.data(), ys.data(), a, b, distances.data());
        float farthest;
        std::memcpy(&farthest, &greatest, sizeof farthest);
        if (farthest > t2) {
            const std::size_t farthestIndex = std::size_t(
                std::find(distances.begin() + std::ptrdiff_t(a + 1), distances.begin() + std::ptrdiff_t(b), greatest)
                - distances.begin());
            marked[farthestIndex] = 1;
            spans.emplace_back(farthestIndex, b);
            spans.emplace_back(a, farthestIndex);
        }
    }

    QVector<int> result;
    result.reserve(int(std::count(marked.begin(), marked.end(), char(1))));
    for (std::size_t k = 0; k < m; ++k) {
        if (marked[k])
            result.append(indices[k]);
    }
    return result;
}

QString OutlineTracer::optionsError(TraceMode mode, int alphaThreshold, float tolerance)
{
    if (mode != TraceMode::Natural && mode != TraceMode::Straight)
        return QStringLiteral("Unknown trace mode %1").arg(int(mode));
    if (alphaThreshold < 0 || alphaThreshold > 255)
        return QStringLiteral("The alpha threshold must be between 0 and 255, not %1").arg(alphaThreshold);
    if (!std::isfinite(tolerance) || tolerance < 0)
        return QStringLiteral("The tolerance must be 0 or more, not %1").arg(double(tolerance));
    return {};
}

OutlineTracer::Result OutlineTracer::traceImages(const QList<QImage>& images, const Options& options)
{
    Result result;
    if (images.isEmpty()) {
        result.error = QStringLiteral("No image to trace");
        return result;
    }
    for (int i = 0; i < images.size(); ++i) {
        if (images.at(i).isNull()) {
            result.error = QStringLiteral("Image %1 of %2 is empty").arg(i + 1).arg(images.size());
            return result;
        }
    }
    result.error = optionsError(options.mode, options.alphaThreshold, options.tolerance);
    if (!result.error.isEmpty())
        return result;

    QImage traced;
    switch (options.frames) {
    case AnimationTraceMode::SingleFrame:
        traced = images.first();
        break;
    case AnimationTraceMode::AllFramesIntersection:
    case AnimationTraceMode::AllFramesUnion:
        traced = FrameComposite::build(images, images.first().size(), options.frames, options.alphaThreshold);
        break;
    default:
        result.error = QStringLiteral("Unknown frame mode %1").arg(int(options.frames));
        return result;
    }

    OutlineTracer tracer;
    tracer.setStartPixel(options.startPixel.x(), options.startPixel.y());
    tracer.trace(traced, options.alphaThreshold, options.mode);
    result.polygon = tracer.polygon(options.tolerance);
    return result;
}

QString OutlineTracer::readImageFile(const QString& fileName, QImage& image, const QString& shownAs)
{
    const QString shown = shownAs.isEmpty() ? fileName : shownAs;
    // Only regular files: a device or a pipe could keep the reader waiting.
    if (!QFileInfo(fileName).isFile())
        return QStringLiteral("Can't read image %1: %2")
            .arg(shown, QFileInfo::exists(fileName) ? QStringLiteral("not a regular file") : QStringLiteral("no such file"));
    QImageReader reader(fileName);
    image = reader.read();
    if (image.isNull())
        return QStringLiteral("Can't read image %1: %2").arg(shown, reader.errorString());
    return {};
}

OutlineTracer::Result OutlineTracer::traceFiles(const QStringList& fileNames, const Options& options)
{
    QList<QImage> images;
    for (const QString& fileName : fileNames) {
        QImage image;
        Result result;
        result.error = readImageFile(fileName, image);
        if (!result.ok())
            return result;
        images.append(image);
    }
    return traceImages(images, options);
}
