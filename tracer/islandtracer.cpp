#include "islandtracer.h"

#include "alphasource.h"
#include "outlinetracer.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

namespace {

// A run of pixels [x0, x1) of one class in row y.
struct Run
{
    int y, x0, x1;
};

// A connected region of runs, with what the tracing needs to know about it.
struct Region
{
    int firstRun = 0;  // the run of its first pixel in raster order
    qint64 area = 0;
    int minX = 0, maxX = 0, minY = 0, maxY = 0;  // inclusive pixel bounds
    bool border = false;
};

// Union-find over runs; the root is always the lowest run, the first in raster order.
struct Forest
{
    std::vector<int> parent;

    int add()
    {
        parent.push_back(int(parent.size()));
        return int(parent.size()) - 1;
    }
    int find(int i)
    {
        while (parent[i] != i) {
            parent[i] = parent[parent[i]];
            i = parent[i];
        }
        return i;
    }
    void unite(int a, int b)
    {
        a = find(a);
        b = find(b);
        if (a < b)
            parent[b] = a;
        else if (b < a)
            parent[a] = b;
    }
};

// Runs of one class, row by row, joined into regions: 8-connected for inside
// pixels, 4-connected for the others (which cannot cross an 8-connected wall).
struct Labelling
{
    bool eight = true;
    std::vector<Run> runs;
    std::vector<int> rowStart{0};  // runs of row y: [rowStart[y], rowStart[y + 1])
    std::vector<int> regionOf;     // per run
    std::vector<Region> regions;   // in raster order of their first pixels
    Forest forest;

    // Appends a run of the current row and joins it to the touching runs of the row above.
    void add(int y, int x0, int x1, int& above, int aboveEnd)
    {
        const int index = forest.add();
        runs.push_back({y, x0, x1});
        // Runs of the row above that end before this one starts (or touches, for 8) are done.
        const int reach = eight ? 1 : 0;
        while (above < aboveEnd && runs[above].x1 + reach <= x0)
            ++above;
        for (int k = above; k < aboveEnd && runs[k].x0 < x1 + reach; ++k)
            forest.unite(index, k);
        // The last run looked at may touch the next run of this row too, so `above` stays.
    }

    void endRow() { rowStart.push_back(int(runs.size())); }

    void finish(int width, int height)
    {
        const int n = int(runs.size());
        regionOf.assign(n, -1);
        for (int i = 0; i < n; ++i) {
            const int root = forest.find(i);
            const Run& r = runs[i];
            if (root == i) {
                regionOf[i] = int(regions.size());
                Region region;
                region.firstRun = i;
                region.minX = r.x0;
                region.maxX = r.x1 - 1;
                region.minY = region.maxY = r.y;
                regions.push_back(region);
            } else {
                regionOf[i] = regionOf[root];
            }
            Region& region = regions[regionOf[i]];
            region.area += r.x1 - r.x0;
            region.minX = std::min(region.minX, r.x0);
            region.maxX = std::max(region.maxX, r.x1 - 1);
            region.maxY = r.y;
            region.border = region.border || r.y == 0 || r.y == height - 1 || r.x0 == 0 || r.x1 == width;
        }
        forest.parent.clear();
        forest.parent.shrink_to_fit();
    }

    // The region holding pixel (x, y), or -1.
    int regionAt(int x, int y) const
    {
        if (y < 0 || y + 1 >= int(rowStart.size()))
            return -1;
        const auto begin = runs.begin() + rowStart[y], end = runs.begin() + rowStart[y + 1];
        const auto it = std::upper_bound(begin, end, x, [](int v, const Run& r) { return v < r.x0; });
        if (it == begin || (it - 1)->x1 <= x)
            return -1;
        return regionOf[int(it - 1 - runs.begin())];
    }
};

// The first pixel of row `row` at or after x whose class is `inside`, or width.
int findNext(const std::uint32_t* row, int x, int width, std::uint32_t opaque, std::uint32_t limit, bool inside)
{
    // Whole blocks first, without a branch per pixel, so that the compiler
    // can use vector compares: sprites are mostly long runs of one class.
    const unsigned want = inside ? 1u : 0u;
    constexpr int block = 32;
    for (; x + block <= width; x += block) {
        unsigned hit = 0;
        for (int k = 0; k < block; ++k)
            hit |= unsigned((row[x + k] | opaque) > limit) ^ want ^ 1u;
        if (hit)
            break;
    }
    for (; x < width; ++x) {
        if (unsigned((row[x] | opaque) > limit) == want)
            return x;
    }
    return width;
}

// How many 8-connected regions the set pixels of a w x h mask make.
int countRegions(const std::vector<int>& tags, int w, int h, int tag)
{
    Labelling labels;
    for (int y = 0; y < h; ++y) {
        const int* row = tags.data() + std::ptrdiff_t(y) * w;
        const int aboveEnd = labels.rowStart[y];
        int above = y > 0 ? labels.rowStart[y - 1] : aboveEnd;
        for (int x = 0; x < w;) {
            if (row[x] != tag) {
                ++x;
                continue;
            }
            const int x0 = x;
            while (x < w && row[x] == tag)
                ++x;
            labels.add(y, x0, x, above, aboveEnd);
        }
        labels.endRow();
    }
    int roots = 0;
    for (int i = 0; i < int(labels.runs.size()); ++i)
        roots += labels.forest.find(i) == i;
    return roots;
}

enum : int { Outside = 0, Mask = 1, FirstHole = 2 };

// The outline of island `island` with its kept holes joined by channels; see the header.
class HoledIsland
{
public:
    HoledIsland(const Labelling& inside, const Labelling& outside, const std::vector<int>& islandAbove,
                const std::vector<int>& holeAbove, int island)
        : m_inside(inside), m_outside(outside), m_islandAbove(islandAbove), m_holeAbove(holeAbove), m_island(island)
    {
        const Region& r = inside.regions[island];
        m_x0 = r.minX;
        m_y0 = r.minY;
        m_w = r.maxX - r.minX + 1;
        m_h = r.maxY - r.minY + 1;
    }

    // Tags every pixel of the island's box; returns the number of kept holes.
    int tag(const std::vector<int>& keptHoles)
    {
        m_kept = keptHoles;
        m_classOfInside.assign(m_inside.regions.size(), Unknown);
        m_classOfOutside.assign(m_outside.regions.size(), Unknown);
        for (int k = 0; k < int(keptHoles.size()); ++k)
            m_classOfOutside[keptHoles[k]] = FirstHole + k;
        m_tags.assign(std::size_t(m_w) * std::size_t(m_h), Outside);
        m_cut.assign(m_tags.size(), 0);
        for (const Labelling* labels : {&m_inside, &m_outside}) {
            const bool isInside = labels == &m_inside;
            for (int y = m_y0; y < m_y0 + m_h; ++y) {
                for (int i = labels->rowStart[y]; i < labels->rowStart[y + 1]; ++i) {
                    const Run& run = labels->runs[i];
                    const int x0 = std::max(run.x0, m_x0), x1 = std::min(run.x1, m_x0 + m_w);
                    if (x0 >= x1)
                        continue;
                    const int value = classify(isInside, labels->regionOf[i]);
                    std::fill_n(m_tags.begin() + index(x0, y), x1 - x0, value);
                }
            }
        }
        return int(keptHoles.size());
    }

    // Cuts a channel for each kept hole in turn; returns how many got one.
    int cutChannels()
    {
        int joined = 0;
        for (int k = 0; k < int(m_kept.size()); ++k) {
            const Region& hole = m_outside.regions[m_kept[k]];
            struct Channel
            {
                QPoint from, step;
                int length;
            };
            std::vector<Channel> channels;
            // From every pixel of the hole's rim, straight up, down, left or
            // right through the island. A channel may end in the outside or in
            // an earlier hole, which already reaches it; a later hole could
            // lead back, so none ends there.
            auto consider = [&](QPoint from, QPoint step) {
                Channel c{from, step, 0};
                QPoint p = from + step;
                while (inBox(p) && m_tags[index(p.x(), p.y())] == Mask) {
                    ++c.length;
                    p += step;
                }
                const int end = inBox(p) ? m_tags[index(p.x(), p.y())] : Outside;
                if (c.length > 0 && (end == Outside || (end >= FirstHole && end < FirstHole + k)))
                    channels.push_back(c);
            };
            for (int y = hole.minY; y <= hole.maxY; ++y) {
                for (int i = m_outside.rowStart[y]; i < m_outside.rowStart[y + 1]; ++i) {
                    const Run& run = m_outside.runs[i];
                    if (m_outside.regionOf[i] != m_kept[k])
                        continue;
                    consider(QPoint(run.x0, y), QPoint(-1, 0));
                    consider(QPoint(run.x1 - 1, y), QPoint(1, 0));
                    for (int x = run.x0; x < run.x1; ++x) {
                        for (int dy : {-1, 1}) {
                            if (inBox(QPoint(x, y + dy)) && m_tags[index(x, y + dy)] == Mask)
                                consider(QPoint(x, y), QPoint(0, dy));
                        }
                    }
                }
            }
            std::stable_sort(channels.begin(), channels.end(),
                             [](const Channel& a, const Channel& b) { return a.length < b.length; });
            bool cut = false;
            // Each try labels the whole box; the shortest few are enough.
            if (channels.size() > 16)
                channels.resize(16);
            int kept = 0;
            for (; kept < int(channels.size()); ++kept) {
                const Channel& c = channels[std::size_t(kept)];
                setChannel(c.from, c.step, c.length, Outside);
                if (countRegions(m_tags, m_w, m_h, Mask) == 1) {
                    cut = true;
                    break;
                }
                setChannel(c.from, c.step, c.length, Mask);
            }
            if (cut) {
                ++joined;
                const Channel& c = channels[std::size_t(kept)];
                QPoint p = c.from;
                const char side = c.step.x() ? OpenRow : OpenColumn;
                for (int i = 0; i < c.length; ++i) {
                    p += c.step;
                    m_cut[index(p.x(), p.y())] = side;
                }
                // Into an earlier channel: open both lines of the pixel it
                // ends in, so that the narrow channels meet whichever way.
                p += c.step;
                if (inBox(p) && m_cut[index(p.x(), p.y())])
                    m_cut[index(p.x(), p.y())] = OpenRow | OpenColumn;
            } else {
                // Filled, with all it holds, as a hole below the minimum area is.
                std::replace(m_tags.begin(), m_tags.end(), FirstHole + k, int(Mask));
            }
        }
        return joined;
    }

    // The mask of the island's box, opaque where the outline goes round,
    // `scale` mask pixels to an image pixel. A channel is open along the
    // first mask column (row) of its pixels only, so that it costs a
    // `scale`th of a pixel for each pixel of wall.
    QImage mask(int scale) const
    {
        QImage image(m_w * scale, m_h * scale, QImage::Format_ARGB32);
        for (int y = 0; y < m_h; ++y) {
            const int* row = m_tags.data() + std::ptrdiff_t(y) * m_w;
            const char* cut = m_cut.data() + std::ptrdiff_t(y) * m_w;
            if (scale == 1) {
                // A channel's open line is all of its pixel.
                auto* line = reinterpret_cast<std::uint32_t*>(image.scanLine(y));
                for (int x = 0; x < m_w; ++x)
                    line[x] = row[x] == Mask ? 0xff000000u : 0u;
                continue;
            }
            // The first line of the pixels, then the others as copies of the second.
            for (int sy = 0; sy < 2; ++sy) {
                auto* line = reinterpret_cast<std::uint32_t*>(image.scanLine(y * scale + sy));
                for (int x = 0; x < m_w; ++x, line += scale) {
                    const bool filled = row[x] == Mask || (cut[x] && !(sy == 0 && (cut[x] & OpenRow)));
                    std::fill_n(line, scale, filled ? 0xff000000u : 0u);
                    if (filled && (cut[x] & OpenColumn))
                        line[0] = 0u;
                }
            }
            for (int sy = 2; sy < scale; ++sy)
                std::memcpy(image.scanLine(y * scale + sy), image.constScanLine(y * scale + 1), std::size_t(image.bytesPerLine()));
        }
        return image;
    }

    QPoint origin() const { return QPoint(m_x0, m_y0); }
    QSize size() const { return QSize(m_w, m_h); }

    // Whether the pixel at (x, y) of the mask is in a kept hole or a channel.
    bool open(int x, int y) const
    {
        if (x < 0 || y < 0 || x >= m_w || y >= m_h)
            return false;
        const std::size_t at = std::size_t(y) * std::size_t(m_w) + std::size_t(x);
        return m_tags[at] >= FirstHole || m_cut[at];
    }

private:
    static constexpr int Unknown = -1;

    std::size_t index(int x, int y) const { return std::size_t(y - m_y0) * std::size_t(m_w) + std::size_t(x - m_x0); }
    bool inBox(QPoint p) const { return p.x() >= m_x0 && p.x() < m_x0 + m_w && p.y() >= m_y0 && p.y() < m_y0 + m_h; }

    void setChannel(QPoint from, QPoint step, int length, int value)
    {
        QPoint p = from;
        for (int i = 0; i < length; ++i) {
            p += step;
            m_tags[index(p.x(), p.y())] = value;
        }
    }

    // Mask for the island and what its small holes hold, a kept hole's tag
    // for what a kept hole holds, Outside for the rest: the class of the
    // region's nearest ancestor that is the island or one of its holes.
    // Regions nest as a tree (an island's parent is the region above its
    // first pixel, a hole's the island above its own), climbed without
    // recursion; every region on the way gets the answer.
    int classify(bool isInside, int region)
    {
        std::vector<std::pair<bool, int>> path;
        int value = Unknown;
        for (;;) {
            int& known = isInside ? m_classOfInside[region] : m_classOfOutside[region];
            if (known != Unknown) {
                value = known;
                break;
            }
            path.emplace_back(isInside, region);
            if (isInside) {
                if (region == m_island) {
                    value = Mask;
                    break;
                }
                region = m_islandAbove[region];
                isInside = false;
            } else {
                const int parent = m_outside.regions[region].border ? -1 : m_holeAbove[region];
                if (parent == m_island) {
                    value = Mask;  // a hole of the island that is not kept
                    break;
                }
                region = parent;
                isInside = true;
            }
            if (region < 0) {
                value = Outside;
                break;
            }
        }
        for (const auto& [inside, r] : path)
            (inside ? m_classOfInside[r] : m_classOfOutside[r]) = value;
        return value;
    }

    const Labelling& m_inside;
    const Labelling& m_outside;
    const std::vector<int>& m_islandAbove;  // per inside region: the outside region above its first pixel, or -1
    const std::vector<int>& m_holeAbove;    // per outside region: the inside region above its first pixel, or -1
    const int m_island;
    int m_x0 = 0, m_y0 = 0, m_w = 0, m_h = 0;
    std::vector<int> m_kept;
    std::vector<int> m_classOfInside, m_classOfOutside;
    std::vector<int> m_tags;
    enum : char { OpenColumn = 1, OpenRow = 2 };
    std::vector<char> m_cut;  // for the pixels of the channels cut, which of their lines is open
};

// Adds contour points to a simplified outline until none of its edges passes
// over a hole or channel: an edge may leave out a sliver of the island, as
// simplifying does, but never covers what is open, nor lies more than half
// the tolerance inside the island. `open[i]` tells whether contour point i
// ends a stretch of the outline along an open pixel; points are compared in
// twice the image coordinates, where they are whole.
QVector<int> keepHolesOpen(const QVector<QPointF>& contour, const QVector<int>& kept, float tolerance,
                           const QVector<bool>& open)
{
    const int n = contour.size();
    if (kept.size() < 2)
        return kept;
    QVector<qint64> xs(n), ys(n);
    for (int i = 0; i < n; ++i) {
        xs[i] = qRound64(contour[i].x() * 2);
        ys[i] = qRound64(contour[i].y() * 2);
    }
    qint64 twiceArea = 0;
    for (int i = 0, j = n - 1; i < n; j = i++)
        twiceArea += xs[j] * ys[i] - xs[i] * ys[j];
    const qint64 inward = twiceArea > 0 ? 1 : -1;
    QVector<char> marked(n, 0);
    std::vector<std::pair<int, int>> spans;
    for (int k = 0; k < kept.size(); ++k) {
        marked[kept[k]] = 1;
        spans.emplace_back(kept[k], kept[(k + 1) % kept.size()]);
    }
    while (!spans.empty()) {
        const auto [a, b] = spans.back();
        spans.pop_back();
        const qint64 ux = xs[b] - xs[a], uy = ys[b] - ys[a];
        // Depths are the distance to the edge in half pixels times the
        // edge's length in half pixels; a rim point may lie outside the edge
        // by half the tolerance, as the outline then loses no more of an
        // island with holes than of one without.
        const double length = std::sqrt(double(ux * ux + uy * uy));
        const double allowed = double(tolerance) * length;
        qint64 deepest = 0;
        double farthest = allowed;
        int at = -1, outer = -1;
        for (int j = (a + 1) % n; j != b; j = (j + 1) % n) {
            const qint64 depth = inward * (ux * (ys[j] - ys[a]) - uy * (xs[j] - xs[a]));
            if (depth > deepest ? open[j] : (at < 0 && double(-depth) > farthest && open[j])) {
                if (depth > 0) {
                    deepest = depth;
                    at = j;
                } else {
                    farthest = double(-depth);
                    outer = j;
                }
            }
        }
        if (at < 0)
            at = outer;
        if (at >= 0) {
            marked[at] = 1;
            spans.emplace_back(a, at);
            spans.emplace_back(at, b);
        }
    }
    QVector<int> result;
    for (int t = 0; t < n; ++t) {
        const int i = (kept.first() + t) % n;
        if (marked[i])
            result.append(i);
    }
    return result;
}

}

IslandTracer::Result IslandTracer::trace(const QImage& image, const Options& options)
{
    Result result;
    if (image.isNull()) {
        result.error = QStringLiteral("The image is empty");
        return result;
    }
    result.error = OutlineTracer::optionsError(options.mode, options.alphaThreshold, options.tolerance);
    if (!result.error.isEmpty())
        return result;
    if (options.minimumArea < 0) {
        result.error = QStringLiteral("The minimum area must be 0 or more, not %1").arg(options.minimumArea);
        return result;
    }
    if (options.alphaThreshold >= 255)
        return result;

    // One conversion for all the walks: OutlineTracer reads 32-bit pixels in
    // place and would convert anything else once per island. Converted as
    // AlphaSource does, keeping the alpha that QImage::pixel reports, so the
    // walks do not change; images too large for that stay as they are.
    QImage source = image;
    const bool inPlace = image.format() == QImage::Format_ARGB32
                         || image.format() == QImage::Format_ARGB32_Premultiplied
                         || image.format() == QImage::Format_RGB32;
    if (!inPlace && qint64(image.width()) * image.height() * 4 <= AlphaSource::defaultWholeLimit) {
        if (image.format() == QImage::Format_Indexed8 && image.colorTable().isEmpty())
            source.setColorTable(QVector<QRgb>{0u});  // QImage::pixel answers 0 for every index
        source = source.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    }
    const AlphaSource alpha(source);
    const int width = source.width(), height = source.height();
    const std::uint32_t opaque = alpha.opaqueBits();
    const std::uint32_t limit = std::uint32_t(options.alphaThreshold) << 24 | 0x00ffffffu;

    // One pass over the scan lines: runs, joined to the runs of the row above.
    Labelling inside, outside;
    outside.eight = false;
    for (int y = 0; y < height; ++y) {
        const std::uint32_t* row = alpha.line(y);
        const int insideAboveEnd = inside.rowStart[y];
        int insideAbove = y > 0 ? inside.rowStart[y - 1] : insideAboveEnd;
        const int outsideAboveEnd = outside.rowStart[y];
        int outsideAbove = y > 0 ? outside.rowStart[y - 1] : outsideAboveEnd;
        for (int x = 0; x < width;) {
            const int x0 = findNext(row, x, width, opaque, limit, true);
            if (options.keepHoles && x0 > x)
                outside.add(y, x, x0, outsideAbove, outsideAboveEnd);
            if (x0 == width)
                break;
            x = findNext(row, x0, width, opaque, limit, false);
            inside.add(y, x0, x, insideAbove, insideAboveEnd);
        }
        inside.endRow();
        outside.endRow();
    }
    inside.finish(width, height);
    outside.finish(width, height);

    // The nesting: the pixel above a region's first pixel belongs to the
    // region around it (for a hole, to the island that encloses it).
    std::vector<int> islandAbove, holeAbove;
    std::vector<std::vector<int>> keptHoles(inside.regions.size());
    if (options.keepHoles) {
        islandAbove.resize(inside.regions.size());
        for (std::size_t i = 0; i < inside.regions.size(); ++i) {
            const Run& r = inside.runs[inside.regions[i].firstRun];
            islandAbove[i] = outside.regionAt(r.x0, r.y - 1);
        }
        holeAbove.resize(outside.regions.size());
        for (std::size_t h = 0; h < outside.regions.size(); ++h) {
            const Region& region = outside.regions[h];
            const Run& r = outside.runs[region.firstRun];
            holeAbove[h] = region.border ? -1 : inside.regionAt(r.x0, r.y - 1);
            if (!region.border && region.area >= options.minimumArea && holeAbove[h] >= 0)
                keptHoles[holeAbove[h]].push_back(int(h));
        }
    }

    OutlineTracer tracer;
    for (int i = 0; i < int(inside.regions.size()); ++i) {
        const Region& region = inside.regions[i];
        if (region.area < options.minimumArea)
            continue;
        const Run& first = inside.runs[region.firstRun];
        Island island;
        island.firstPixel = QPoint(first.x0, first.y);
        island.area = region.area;
        if (keptHoles[i].empty()) {
            tracer.setStartPixel(first.x0, first.y);
            tracer.trace(source, options.alphaThreshold, options.mode);
            island.polygon = tracer.polygon(options.tolerance);
        } else {
            HoledIsland holed(inside, outside, islandAbove, holeAbove, i);
            holed.tag(keptHoles[i]);
            island.holes = holed.cutChannels();
            // The box is walked on its own, from its first pixel left after
            // the cuts. The corner walk gives the same outline at any scale,
            // so the mask is finer where that costs little memory; the
            // midpoint walk would cut smaller corners at a finer scale.
            const qint64 boxArea = qint64(holed.size().width()) * holed.size().height();
            const int scale = options.mode == TraceMode::Natural ? 1
                              : boxArea <= (1 << 16)               ? 4
                              : boxArea <= (1 << 18)               ? 2
                                                                   : 1;
            OutlineTracer boxTracer;
            boxTracer.trace(holed.mask(scale), 0, options.mode);
            const QVector<QPointF> contour = boxTracer.contour();
            // Which contour points end a stretch of the outline along a hole
            // or channel: every half mask pixel of each stretch is looked
            // at, with the pixels on either side of it (both columns or rows
            // at a whole coordinate, one at a half).
            auto pixel = [scale](int half) { return (half >> 1) / scale - ((half >> 1) < 0 && (half >> 1) % scale); };
            const int n = contour.size();
            QVector<bool> open(n, false);
            for (int i = 0, j = n - 1; i < n; j = i++) {
                const int x0 = qRound(contour[j].x() * 2), y0 = qRound(contour[j].y() * 2);
                const int x1 = qRound(contour[i].x() * 2), y1 = qRound(contour[i].y() * 2);
                const int steps = std::max({std::abs(x1 - x0), std::abs(y1 - y0), 1});
                bool along = false;
                for (int t = 0; t <= steps && !along; ++t) {
                    const int x = x0 + (x1 - x0) * t / steps, y = y0 + (y1 - y0) * t / steps;
                    for (int px : {pixel(x - 1), pixel(x)})
                        for (int py : {pixel(y - 1), pixel(y)})
                            along = along || holed.open(px, py);
                }
                if (along)
                    open[i] = open[j] = true;
            }
            const float tolerance = options.tolerance * float(scale);
            const QVector<int> kept = keepHolesOpen(contour, boxTracer.polygonIndices(tolerance), tolerance, open);
            // Coordinates in halves of a mask pixel are exact in double.
            const QPointF origin = holed.origin();
            island.polygon.reserve(kept.size());
            for (int k : kept) {
                const QPointF p = contour[k] / scale + origin;
                island.polygon.append(QPointF(p.x(), height - p.y()));
            }
        }
        result.islands.append(island);
    }
    return result;
}
