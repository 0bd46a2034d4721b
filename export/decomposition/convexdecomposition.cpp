#include "convexdecomposition.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <numeric>
#include <utility>
#include <vector>

// The output is defined by ReferenceDecomposition, which does every step the
// slow way; this file reaches the same result without its quadratic scans:
//  - close vertex pairs are found once through a hash of small cells, and the
//    splits at pinch points become index ranges (see triangulate());
//  - ear clipping keeps the candidate ears in a tournament tree ordered like
//    the reference's scan, re-scores a vertex only when its neighbours change,
//    and looks for vertices inside an ear's triangle (in a grid of the
//    remaining vertices, with the exact float test on every vertex in the
//    triangle's bounding box) only when the ear comes out on top;
//  - growing a piece visits only the triangles that share two points with it,
//    in the order in which the reference's two rounds over the list reach them.
// Every float expression is written exactly as in the reference, and the
// library is built without floating-point contraction, so results match bit
// for bit.

namespace {

constexpr int maxPieceVertices = 8;
constexpr float pinchTolerance = 0.001f;
constexpr float lengthEpsilon = 1.1920929e-7f;
constexpr float parallelTolerance = 0.03490659f; // 2 degrees
constexpr float offsetTolerance = 0.1f;         // units off the neighbours' line

using Floats = std::vector<float>;
using Ints = std::vector<int>;

// ---------------------------------------------------------------------------
// Float primitives, the same expressions as the reference.

// Triangle (1, 2, 3) is kept as given when counter-clockwise, else 2 and 3 swap.
bool keepsOrder(float x1, float y1, float x2, float y2, float x3, float y3)
{
    const float cross = (x2 - x1) * (y3 - y1) - (x3 - x1) * (y2 - y1);
    return cross > 0.0f;
}

void normalizeIfLong(float& dx, float& dy)
{
    const float length = std::sqrt(dx * dx + dy * dy);
    if (length >= lengthEpsilon) {
        const float inverse = 1.0f / length;
        dx *= inverse;
        dy *= inverse;
    }
}

// The smallest sine of the ear's three angles; (px, py) and (nx, ny) are the
// neighbours of (ix, iy).
float earScore(float px, float py, float ix, float iy, float nx, float ny)
{
    float d1x = nx - ix, d1y = ny - iy;
    float d2x = ix - px, d2y = iy - py;
    float d3x = px - nx, d3y = py - ny;
    normalizeIfLong(d1x, d1y);
    normalizeIfLong(d2x, d2y);
    normalizeIfLong(d3x, d3y);
    const float s1 = std::fabs(d2y * d1x - d1y * d2x);
    const float s2 = std::fabs(d2x * d3y - d2y * d3x);
    const float s3 = std::fabs(d3x * d1y - d1x * d3y);
    float score = s1;
    if (s2 < score)
        score = s2;
    if (s3 < score)
        score = s3;
    return score;
}

bool isPinch(float x0, float y0, float x1, float y1)
{
    return std::fabs(x0 - x1) < pinchTolerance && std::fabs(y0 - y1) < pinchTolerance;
}

// The reference's containment test of an ear triangle, with everything that
// does not depend on the point computed once.
struct EarTriangle
{
    float minX, maxX, minY, maxY;
    float x0, y0, ax, ay, bx, by, aa, ab, bb, inverse;

    EarTriangle(float x1, float y1, float x2, float y2, float x3, float y3)
    {
        if (!keepsOrder(x1, y1, x2, y2, x3, y3)) {
            std::swap(x2, x3);
            std::swap(y2, y3);
        }
        minX = std::min({x1, x2, x3});
        maxX = std::max({x1, x2, x3});
        minY = std::min({y1, y2, y3});
        maxY = std::max({y1, y2, y3});
        x0 = x1;
        y0 = y1;
        ax = x3 - x1;
        ay = y3 - y1;
        bx = x2 - x1;
        by = y2 - y1;
        aa = ax * ax + ay * ay;
        ab = ax * bx + ay * by;
        bb = bx * bx + by * by;
        inverse = 1.0f / (bb * aa - ab * ab);
    }

    // A flat triangle (zero determinant) contains no point at all: with an
    // infinite inverse, u and w come out infinite or NaN, never both in [0, 1].
    bool isFlat() const { return std::isinf(inverse); }

    // "All three corners on one side" is the same as outside the closed box.
    // One branch instead of four: which way it goes is hard to predict.
    bool inBox(float px, float py) const { return (px >= minX) & (px <= maxX) & (py >= minY) & (py <= maxY); }

    // For a point in the box.
    bool containsInBox(float px, float py) const
    {
        const float qx = px - x0, qy = py - y0;
        const float aq = ax * qx + ay * qy;
        const float bq = bx * qx + by * qy;
        const float u = (bb * aq - bq * ab) * inverse;
        const float w = (aa * bq - ab * aq) * inverse;
        return u >= 0.0f && w >= 0.0f && u + w <= 1.0f;
    }
};

// Zero turns count as positive, so straight runs do not spoil convexity.
bool isConvex(const float* x, const float* y, int n)
{
    bool positive = false;
    for (int i = 0; i < n; ++i) {
        const int prev = i == 0 ? n - 1 : i - 1;
        const int next = i == n - 1 ? 0 : i + 1;
        const float dx0 = x[i] - x[prev], dy0 = y[i] - y[prev];
        const float dx1 = x[next] - x[i], dy1 = y[next] - y[i];
        const bool nonNegative = dx0 * dy1 - dy0 * dx1 >= 0.0f;
        if (i == 0)
            positive = nonNegative;
        else if (positive != nonNegative)
            return false;
    }
    return true;
}

// Which vertices mergeParallelEdges() drops: those between (nearly) parallel
// edges that lie (nearly) on their neighbours' line, and repeated ones, judged
// by their neighbours in the input; one may go only while more than three are
// left, so a piece stays a triangle at least. Returns how many go.
int markParallel(const float* x, const float* y, int n, bool* remove)
{
    int remaining = n;
    for (int i = 0; i < n; ++i) {
        remove[i] = false;
        if (n < 4)
            continue;
        const int prev = i == 0 ? n - 1 : i - 1;
        const int next = i == n - 1 ? 0 : i + 1;
        float dx0 = x[i] - x[prev], dy0 = y[i] - y[prev];
        float dx1 = x[next] - x[i], dy1 = y[next] - y[i];
        const float length0 = std::sqrt(dx0 * dx0 + dy0 * dy0);
        const float length1 = std::sqrt(dx1 * dx1 + dy1 * dy1);
        if (!(length0 > 0.0f && length1 > 0.0f)) {
            if (remaining > 3) {
                remove[i] = true;
                --remaining;
            }
            continue;
        }
        const float inverse0 = 1.0f / length0;
        const float inverse1 = 1.0f / length1;
        dx0 *= inverse0;
        dy0 *= inverse0;
        dx1 *= inverse1;
        dy1 *= inverse1;
        const float cross = dx0 * dy1 - dx1 * dy0;
        const float dot = dx0 * dx1 + dy0 * dy1;
        // The angle alone would drop a whole triangle off a long shallow corner:
        // the vertex must also lie within the offset tolerance of its neighbours' line.
        const float dx2 = x[next] - x[prev], dy2 = y[next] - y[prev];
        const float length2 = std::sqrt(dx2 * dx2 + dy2 * dy2);
        if (std::fabs(cross) < parallelTolerance && dot > 0.0f
            && length0 * length1 * std::fabs(cross) < offsetTolerance * length2 && remaining > 3) {
            remove[i] = true;
            --remaining;
        }
    }
    return n - remaining;
}

// A power of two, at least `room`: the size of a hash table.
std::size_t tableSize(int room)
{
    std::size_t size = 16;
    while (size < std::size_t(room))
        size *= 2;
    return size;
}

std::size_t hashOf(std::uint64_t a, std::uint64_t b)
{
    return std::size_t((a * 0x9E3779B97F4A7C15ULL + b * 0xC2B2AE3D27D4EB4FULL) >> 32);
}

// ---------------------------------------------------------------------------
// Pinch points.

// Cells 1/64 wide, shifted by half a cell so that pixel, half-pixel and
// quarter-pixel coordinates sit mid-cell: their partners (closer than 0.064
// cells) can only be in the same cell. `side` says whether the coordinate lies
// close enough to the lower (-1) or upper (1) side for a partner next door.
int pinchCell(float v, int& side)
{
    const double f = double(v) * 64.0 + 0.5; // exact, and within int, up to the coordinate limit
    const double low = std::floor(f);
    side = f - low < 0.08 ? -1 : f - low > 0.92 ? 1 : 0;
    return int(low);
}

// For every vertex p, the lowest q >= p + 2 whose point lies within the pinch
// tolerance of p's (the reference pairs every i < j but neighbours, so the
// first and the last vertex pair too), or n when there is none.
Ints pinchPartners(const Floats& x, const Floats& y)
{
    const int n = int(x.size());
    const std::size_t mask = tableSize(n) - 1;
    // Cells that share a hash share a list; the exact test sorts them out.
    Ints head(mask + 1, -1), link(n, -1), partner(n, n);
    int sideX, sideY;
    // Downwards, adding p + 2 before p is looked at: every list then holds
    // exactly the candidates q >= p + 2, lowest first.
    for (int p = n - 1; p >= 0; --p) {
        if (p + 2 < n) {
            const int cellX = pinchCell(x[p + 2], sideX), cellY = pinchCell(y[p + 2], sideY);
            int& first = head[hashOf(std::uint64_t(cellX), std::uint64_t(cellY)) & mask];
            link[p + 2] = first;
            first = p + 2;
        }
        const int cellX = pinchCell(x[p], sideX), cellY = pinchCell(y[p], sideY);
        int& best = partner[p];
        for (int dy = std::min(sideY, 0); dy <= std::max(sideY, 0); ++dy) {
            for (int dx = std::min(sideX, 0); dx <= std::max(sideX, 0); ++dx) {
                const std::size_t slot = hashOf(std::uint64_t(cellX + dx), std::uint64_t(cellY + dy)) & mask;
                for (int q = head[slot]; q >= 0 && q < best; q = link[q]) {
                    if (isPinch(x[p], y[p], x[q], y[q])) {
                        best = q;
                        break;
                    }
                }
            }
        }
    }
    return partner;
}

// ---------------------------------------------------------------------------
// Ear clipping.

struct Triangle
{
    int v[3]; // outline vertices, in the order the reference's triangle has them
};

// The remaining vertices of the polygon being clipped, for "is any of them in
// this triangle?": a uniform grid over their bounding box with a few cells per
// vertex, rebuilt (finer relative to the shrinking polygon) once half of the
// vertices it was built with are gone. Clipped vertices are skipped until then.
class VertexGrid
{
public:
    // Takes the vertices by walking the ring from `first`.
    void build(const Floats& x, const Floats& y, const Ints& next, int first, int count)
    {
        m_built = count;
        float minX = x[first], maxX = minX, minY = y[first], maxY = minY;
        for (int i = next[first]; i != first; i = next[i]) {
            minX = std::min(minX, x[i]);
            maxX = std::max(maxX, x[i]);
            minY = std::min(minY, y[i]);
            maxY = std::max(maxY, y[i]);
        }
        const double cells = 2.0 * count;
        const double width = double(maxX) - double(minX), height = double(maxY) - double(minY);
        m_columns = width > 0 ? (height > 0 ? int(std::clamp(std::sqrt(cells * width / height), 1.0, cells))
                                            : int(cells))
                              : 1;
        m_rows = height > 0 ? int(std::clamp(cells / m_columns, 1.0, cells)) : 1;
        m_x = {minX, scaleFor(m_columns, width), m_columns};
        m_y = {minY, scaleFor(m_rows, height), m_rows};

        // A counting sort by cell, row by row: each cell's count goes to
        // m_start, the sums make each entry the end of its cell, and placing
        // the items (backwards) brings it down to the start.
        m_start.assign(m_columns * m_rows + 1, 0);
        int i = first;
        do {
            ++m_start[cellOf(x[i], y[i])];
            i = next[i];
        } while (i != first);
        std::partial_sum(m_start.begin(), m_start.end(), m_start.begin());
        m_items.resize(count);
        do {
            m_items[--m_start[cellOf(x[i], y[i])]] = Item{x[i], y[i], i};
            i = next[i];
        } while (i != first);
    }

    int builtCount() const { return m_built; }

    // Some remaining vertex but the three given that the triangle contains, or -1.
    int findInside(const EarTriangle& t, int a, int b, int c, const std::vector<char>& alive) const
    {
        // The cell mapping is monotonic, so every point of the closed box is
        // in a cell between those of its corners.
        const int column0 = m_x.cell(t.minX), column1 = m_x.cell(t.maxX);
        for (int r = m_y.cell(t.minY), last = m_y.cell(t.maxY); r <= last; ++r) {
            const int row = r * m_columns;
            const int end = m_start[row + column1 + 1];
            for (int k = m_start[row + column0]; k < end; ++k) {
                const Item& item = m_items[k];
                if (t.inBox(item.x, item.y) && item.index != a && item.index != b && item.index != c
                    && alive[item.index] && t.containsInBox(item.x, item.y))
                    return item.index;
            }
        }
        return -1;
    }

private:
    struct Item
    {
        float x, y;
        int index;
    };

    struct Axis
    {
        float origin, scale;
        int cells;

        // Clamped before the conversion, which must not overflow. Float
        // rounding is monotonic, so a larger value never gets an earlier cell.
        int cell(float v) const
        {
            const float c = (v - origin) * scale;
            return c < 1.0f ? 0 : c >= float(cells - 1) ? cells - 1 : int(c);
        }
    };

    int cellOf(float x, float y) const { return m_y.cell(y) * m_columns + m_x.cell(x); }

    // An extent too thin for a float scale (subnormal, say) gets one cell.
    static float scaleFor(int& cells, double extent)
    {
        const double scale = extent > 0 ? cells / extent : 0.0;
        if (scale < 1e30)
            return float(scale);
        cells = 1;
        return 0.0f;
    }

    Axis m_x{0, 0, 1}, m_y{0, 0, 1};
    int m_columns = 1, m_rows = 1, m_built = 0;
    Ints m_start;
    std::vector<Item> m_items;
};

// The current ears, best first: a tournament tree over the positions in which
// every inner node holds the larger key of its two children, so the best ear
// is at the root. Taking the larger of two keys needs no branch; the branches
// of a heap's sifting, hard to predict, cost more than the extra levels.
class EarTree
{
public:
    // Leaves need not fill the lowest level: any node k > 1 has k / 2 above
    // it and k ^ 1 beside it.
    void reset(int size)
    {
        m_leaves = size;
        m_key.assign(2 * size, 0);
    }

    // Sets a leaf without touching the nodes above; rebuild() follows.
    void place(int i, std::uint64_t key) { m_key[m_leaves + i] = key; }

    void rebuild()
    {
        for (int k = m_leaves - 1; k >= 1; --k)
            m_key[k] = std::max(m_key[2 * k], m_key[2 * k + 1]);
    }

    // The new key climbs in a register, taking on each sibling's on the way.
    void set(int i, std::uint64_t key)
    {
        int k = m_leaves + i;
        m_key[k] = key;
        for (; k > 1; k /= 2) {
            key = std::max(key, m_key[k ^ 1]);
            m_key[k / 2] = key;
        }
    }

    std::uint64_t best() const { return m_key[1]; }

private:
    int m_leaves = 1;
    std::vector<std::uint64_t> m_key;
};

// Clips polygons without pinch points like the reference's loop does: always
// the ear with the best score, the lowest position among equals.
class EarClipper
{
public:
    EarClipper(const Floats& x, const Floats& y, std::vector<Triangle>& triangles)
        : m_outlineX(x), m_outlineY(y), m_triangles(triangles)
    {
    }

    // Appends the triangles of the polygon made of the given outline vertices;
    // false when not a single ear turns up (the reference's -1). When the ears
    // run out later, the triangles so far stay, as in the reference.
    bool clip(const Ints& vertices)
    {
        const int m = int(vertices.size());
        if (m < 3)
            return true;
        m_vertices = &vertices;
        reset(m);
        if (m > 3) {
            m_grid.build(m_x, m_y, m_next, 0, m);
            for (int i = 0; i < m; ++i)
                m_ears.place(i, keyOf(i));
            m_ears.rebuild();
        }
        while (m_remaining > 3) {
            const int ear = popEar();
            if (ear < 0)
                return m_remaining < m;
            const int prev = m_prev[ear], next = m_next[ear];
            emit(ear, next, prev);
            remove(ear);
            if (m_remaining * 2 < m_grid.builtCount() && m_remaining > 32)
                m_grid.build(m_x, m_y, m_next, prev, m_remaining);
            evaluate(prev);
            evaluate(next);
            // Vertices that were no ear because the clipped one was in their triangle.
            for (int w = m_watchHead[ear]; w >= 0; w = m_watches[w].second) {
                const int i = m_watches[w].first;
                if (m_alive[i] && m_witness[i] == ear)
                    evaluate(i);
            }
        }
        // The last three, in their order in the polygon: (1, 2, 0).
        const int a = int(std::find(m_alive.begin(), m_alive.end(), 1) - m_alive.begin());
        const int b = m_next[a];
        emit(b, m_next[b], a);
        return true;
    }

private:
    void reset(int m)
    {
        m_x.resize(m);
        m_y.resize(m);
        m_prev.resize(m);
        m_next.resize(m);
        for (int i = 0; i < m; ++i) {
            const int v = (*m_vertices)[i];
            m_x[i] = m_outlineX[v];
            m_y[i] = m_outlineY[v];
            m_prev[i] = i == 0 ? m - 1 : i - 1;
            m_next[i] = i == m - 1 ? 0 : i + 1;
        }
        m_alive.assign(m, 1);
        m_ears.reset(m);
        m_witness.assign(m, -1);
        m_watchHead.assign(m, -1);
        m_watches.clear();
        m_remaining = m;
    }

    // Appends the triangle (i1, i2, i3) ordered like the reference's constructor.
    void emit(int i1, int i2, int i3)
    {
        const Ints& v = *m_vertices;
        if (keepsOrder(m_x[i1], m_y[i1], m_x[i2], m_y[i2], m_x[i3], m_y[i3]))
            m_triangles.push_back({{v[i1], v[i2], v[i3]}});
        else
            m_triangles.push_back({{v[i1], v[i3], v[i2]}});
    }

    // The reference's isEar and score for vertex i as one key, but for the
    // search for vertices inside its triangle: that waits until i comes out on
    // top, since most candidates change neighbours before then. Scores are
    // never negative, so their bits order like their values; the larger key
    // is the reference's better ear, and zero marks a vertex that is none.
    std::uint64_t keyOf(int i) const
    {
        const int prev = m_prev[i], next = m_next[i];
        const float dx0 = m_x[i] - m_x[prev], dy0 = m_y[i] - m_y[prev];
        const float dx1 = m_x[next] - m_x[i], dy1 = m_y[next] - m_y[i];
        if (dx0 * dy1 - dx1 * dy0 > 0.0f)
            return 0; // reflex in a clockwise polygon
        const float score = earScore(m_x[prev], m_y[prev], m_x[i], m_y[i], m_x[next], m_y[next]);
        std::uint32_t bits;
        std::memcpy(&bits, &score, sizeof bits);
        return std::uint64_t(bits) << 32 | ~std::uint32_t(i);
    }

    void evaluate(int i)
    {
        m_witness[i] = -1;
        m_ears.set(i, keyOf(i));
    }

    // The best candidate that no other vertex is inside of: the reference's
    // best ear, or -1.
    int popEar()
    {
        for (std::uint64_t key = m_ears.best(); key != 0; key = m_ears.best()) {
            const int i = int(~std::uint32_t(key)), prev = m_prev[i], next = m_next[i];
            m_ears.set(i, 0);
            const EarTriangle triangle(m_x[i], m_y[i], m_x[next], m_y[next], m_x[prev], m_y[prev]);
            const int inside = triangle.isFlat() ? -1 : m_grid.findInside(triangle, prev, i, next, m_alive);
            if (inside < 0)
                return i;
            // Only the removal of that vertex, or new neighbours, can make it an ear.
            m_witness[i] = inside;
            m_watches.emplace_back(i, m_watchHead[inside]);
            m_watchHead[inside] = int(m_watches.size()) - 1;
        }
        return -1;
    }

    void remove(int i)
    {
        m_alive[i] = 0;
        m_next[m_prev[i]] = m_next[i];
        m_prev[m_next[i]] = m_prev[i];
        --m_remaining;
    }

    const Floats& m_outlineX;
    const Floats& m_outlineY;
    std::vector<Triangle>& m_triangles;
    const Ints* m_vertices = nullptr;
    // Per vertex of the polygon (by position).
    Floats m_x, m_y;
    Ints m_prev, m_next, m_witness, m_watchHead;
    std::vector<char> m_alive;
    // The vertices waiting for the removal of their witness: linked lists of
    // (vertex, next entry), stale entries included.
    std::vector<std::pair<int, int>> m_watches;
    EarTree m_ears;
    VertexGrid m_grid;
    int m_remaining = 0;
};

// Triangulates the (clockwise) outline, splitting it at pinch points first.
//
// The reference splits a polygon S at its first pinch pair (a, b) into
// A = S[a..b-1] and B = S[b..] + S[..a-1] and recurses, triangles of A first.
// Since (a, b) is the first pair, no vertex before a has a partner in S, so
// the pairs of B are exactly the pairs of S inside S[b..]; by induction every
// polygon of the recursion is an index range [lo, hi] of the outline followed
// by a tail of vertices that pair with nothing, and its first pinch pair is
// (p, partner[p]) for the first p in [lo, hi] with partner[p] <= hi.
bool triangulate(const Floats& x, const Floats& y, std::vector<Triangle>& triangles)
{
    const Ints partner = pinchPartners(x, y);
    EarClipper clipper(x, y, triangles);
    struct Part
    {
        int lo, hi;
        Ints tail;
    };
    // B parts wait here while their A part, and its own parts, go first.
    std::vector<Part> pending{{0, int(x.size()) - 1, {}}};
    Ints vertices;
    while (!pending.empty()) {
        Part part = std::move(pending.back());
        pending.pop_back();
        // A vertex passed over here goes to the tail of B, so each is looked
        // at no more than twice.
        for (int p = part.lo; p <= part.hi; ++p) {
            const int q = partner[p];
            if (q > part.hi)
                continue;
            Part b{q, part.hi, std::move(part.tail)};
            for (int i = part.lo; i < p; ++i)
                b.tail.push_back(i);
            pending.push_back(std::move(b));
            part = Part{p, q - 1, {}};
        }
        vertices.clear();
        for (int i = part.lo; i <= part.hi; ++i)
            vertices.push_back(i);
        vertices.insert(vertices.end(), part.tail.begin(), part.tail.end());
        if (!clipper.clip(vertices))
            return false;
    }
    return true;
}

// ---------------------------------------------------------------------------
// Growing convex pieces.

// Numbers the distinct points, so that "same point" (float equality, which
// takes -0 for 0) becomes an integer comparison.
Ints pointClasses(const Floats& x, const Floats& y)
{
    const int n = int(x.size());
    const std::size_t mask = tableSize(2 * n) - 1;
    Ints first(mask + 1, -1), classOf(n); // the first vertex of each point in the table
    int classes = 0;
    for (int i = 0; i < n; ++i) {
        const float point[2] = {x[i] == 0.0f ? 0.0f : x[i], y[i] == 0.0f ? 0.0f : y[i]};
        std::uint32_t bits[2];
        std::memcpy(bits, point, sizeof bits);
        std::size_t slot = hashOf(bits[0], bits[1]) & mask;
        while (first[slot] >= 0 && !(x[first[slot]] == x[i] && y[first[slot]] == y[i]))
            slot = (slot + 1) & mask;
        if (first[slot] < 0) {
            first[slot] = i;
            classOf[i] = classes++;
        } else {
            classOf[i] = classOf[first[slot]];
        }
    }
    return classOf;
}

// Grows the pieces as the reference's polygonizeTriangles() does. It offers
// every uncovered triangle to the piece, twice over; only a triangle with two
// points of the piece among its corners can join, so here those candidates
// are found through the lists of the triangles at each point and visited in
// the same order. A triangle turned down is turned down again while the piece
// stays the same, so the second round ends at the last triangle taken in the
// first, unless it takes one itself; and a piece of the largest size takes
// nothing more.
class PieceBuilder
{
public:
    PieceBuilder(const Floats& x, const Floats& y, const std::vector<Triangle>& triangles)
        : m_x(x), m_y(y), m_triangles(triangles), m_count(int(triangles.size()))
    {
        const Ints classOf = pointClasses(x, y);
        m_corner.resize(m_count);
        // One more, never covered: the sentinel at the end of every list below.
        m_covered.assign(m_count + 1, 0);
        m_matches.assign(m_count, 0);
        // For each point, the triangles at it in list order, then the sentinel.
        Ints begin(x.size() + 1, 0);
        for (int t = 0; t < m_count; ++t) {
            int* c = m_corner[t].data();
            for (int k = 0; k < 3; ++k)
                c[k] = classOf[triangles[t].v[k]];
            // Degenerate triangles never start or join a piece.
            m_covered[t] = c[0] == c[1] || c[1] == c[2] || c[0] == c[2];
            for (int k = 0; k < 3 && !m_covered[t]; ++k)
                ++begin[c[k] + 1];
        }
        for (std::size_t c = 1; c < begin.size(); ++c)
            begin[c] += begin[c - 1] + 1;
        m_incident.assign(begin.back(), m_count);
        m_first.resize(x.size());
        for (std::size_t c = 0; c < m_first.size(); ++c)
            m_first[c] = begin[c + 1] - 1;
        for (int t = m_count - 1; t >= 0; --t) {
            for (int k = 0; k < 3 && !m_covered[t]; ++k)
                m_incident[--m_first[m_corner[t][k]]] = t;
        }
    }

    QVector<QPolygonF> build()
    {
        QVector<QPolygonF> pieces;
        Piece piece, grown;
        for (int& seed = m_seed;; ++seed) {
            while (seed < m_count && m_covered[seed])
                ++seed;
            if (seed == m_count)
                return pieces;
            m_covered[seed] = 1;
            piece.size = 0;
            for (int k = 0; k < 3; ++k) {
                add(piece, seed, k);
                addPoint(m_corner[seed][k]);
            }
            int lastTaken = -1;
            for (int round = 0; round < 2; ++round) {
                bool taken = false;
                for (int at = -1; piece.size < maxPieceVertices;) {
                    int next = m_count, slot = -1;
                    for (int k = 0; k < int(m_candidates.size()); ++k) {
                        if (m_candidates[k] > at && m_candidates[k] < next) {
                            next = m_candidates[k];
                            slot = k;
                        }
                    }
                    if (slot < 0 || (round == 1 && !taken && next > lastTaken))
                        break;
                    at = next;
                    const int tip = addTriangle(piece, next, grown);
                    if (!isConvex(grown.x, grown.y, grown.size))
                        continue;
                    std::swap(piece, grown);
                    m_covered[next] = 1;
                    m_candidates[slot] = m_candidates.back();
                    m_candidates.pop_back();
                    addPoint(m_corner[next][tip]);
                    lastTaken = next;
                    taken = true;
                }
            }
            for (int t : m_touched)
                m_matches[t] = 0;
            m_touched.clear();
            m_candidates.clear();
            pieces.append(finished(piece));
        }
    }

private:
    struct Piece
    {
        int size = 0;
        int point[maxPieceVertices + 1];
        float x[maxPieceVertices + 1];
        float y[maxPieceVertices + 1];
    };

    void add(Piece& piece, int t, int corner) const
    {
        const int v = m_triangles[t].v[corner];
        piece.point[piece.size] = m_corner[t][corner];
        piece.x[piece.size] = m_x[v];
        piece.y[piece.size] = m_y[v];
        ++piece.size;
    }

    // One more point of the piece: every uncovered triangle at it has one
    // more match (a point the piece holds twice counts twice, as the
    // reference's addTriangle() counts), and at two it becomes a candidate.
    // What comes before the seed is covered for good, so it is skipped once
    // and for all.
    void addPoint(int point)
    {
        int& first = m_first[point];
        while (m_incident[first] <= m_seed)
            ++first;
        for (int at = first; m_incident[at] < m_count; ++at) {
            const int t = m_incident[at];
            if (m_covered[t])
                continue;
            if (++m_matches[t] == 1)
                m_touched.push_back(t);
            else if (m_matches[t] == 2)
                m_candidates.push_back(t);
        }
    }

    // The reference's addTriangle(): returns the corner of t that becomes the
    // tip. The caller made sure that two points of the piece are corners of t.
    int addTriangle(const Piece& piece, int t, Piece& grown) const
    {
        const int n = piece.size;
        const int* corner = m_corner[t].data();
        int firstP = -1, firstT = -1, secondT = -1, secondP = -1;
        for (int i = 0; i < n; ++i) {
            const int c = piece.point[i];
            const int match = c == corner[0] ? 0 : c == corner[1] ? 1 : c == corner[2] ? 2 : -1;
            if (match < 0)
                continue;
            if (firstP < 0) {
                firstP = i;
                firstT = match;
            } else {
                secondP = i;
                secondT = match;
            }
        }
        // The shared edge wraps round: the tip goes after the last point.
        if (firstP == 0 && secondP == n - 1)
            firstP = n - 1;
        int tip = 0;
        while (tip == firstT || tip == secondT)
            ++tip;
        grown.size = 0;
        for (int i = 0; i < n; ++i) {
            grown.point[grown.size] = piece.point[i];
            grown.x[grown.size] = piece.x[i];
            grown.y[grown.size] = piece.y[i];
            ++grown.size;
            if (i == firstP)
                add(grown, t, tip);
        }
        return tip;
    }

    // The reference's mergeParallelEdges(), then the piece as a polygon.
    static QPolygonF finished(const Piece& piece)
    {
        bool remove[maxPieceVertices + 1];
        const int kept = piece.size - markParallel(piece.x, piece.y, piece.size, remove);
        QPolygonF polygon(kept);
        QPointF* out = polygon.data();
        for (int i = 0; i < piece.size; ++i) {
            if (!remove[i])
                *out++ = QPointF(piece.x[i], piece.y[i]);
        }
        return polygon;
    }

    const Floats& m_x;
    const Floats& m_y;
    const std::vector<Triangle>& m_triangles;
    const int m_count;
    std::vector<std::array<int, 3>> m_corner; // the points of each triangle's corners
    std::vector<char> m_covered;
    Ints m_incident; // the lists of triangles at each point
    Ints m_first;    // where each point's list starts, past what is covered for good
    int m_seed = 0;
    // The uncovered triangles at the points of the current piece, how many
    // of its points each has, and those with two or more.
    std::vector<unsigned char> m_matches;
    Ints m_touched, m_candidates;
};

}

QVector<QPolygonF> ConvexDecomposition::decompose(const QPolygonF& outline)
{
    const int n = outline.size();
    if (n < 3)
        return {};
    // Beyond 1e7 a float no longer holds every whole pixel, and products of
    // coordinate differences could approach the float range; such outlines
    // are garbage, as are non-finite ones.
    for (const QPointF& point : outline) {
        if (!std::isfinite(point.x()) || !std::isfinite(point.y()) || std::fabs(point.x()) > coordinateLimit
            || std::fabs(point.y()) > coordinateLimit)
            return {};
    }
    Floats x(n), y(n);
    for (int i = 0; i < n; ++i) {
        x[i] = float(outline[i].x());
        y[i] = float(outline[i].y());
    }
    // The ear clipping wants a clockwise outline.
    float area = 0.0f;
    for (int i = 0; i < n; ++i) {
        const int a = i, b = i + 1 < n ? i + 1 : 0;
        area += x[a] * y[b] - x[b] * y[a];
    }
    area *= 0.5f;
    if (area > 0.0f) {
        std::reverse(x.begin(), x.end());
        std::reverse(y.begin(), y.end());
    }
    std::vector<Triangle> triangles;
    triangles.reserve(n - 2);
    if (!triangulate(x, y, triangles) || triangles.empty())
        return {};
    return PieceBuilder(x, y, triangles).build();
}
