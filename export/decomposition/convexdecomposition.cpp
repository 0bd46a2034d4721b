#include "convexdecomposition.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

// The output is defined by ReferenceDecomposition, which does every step the
// slow way; this file reaches the same result without its quadratic scans:
//  - close vertex pairs are found once with a hash grid, and the splits at
//    pinch points become index intervals (see triangulate());
//  - ear clipping keeps the candidate ears in a heap ordered like the
//    reference's scan, re-scores a vertex only when its neighbours change, and
//    looks for vertices inside an ear's triangle (through a grid of the
//    remaining vertices, but with the exact float test on every vertex in the
//    triangle's bounding box) only when the ear is about to be clipped;
//  - growing pieces visits only triangles that share a point with the piece,
//    in the order in which the reference's two rounds over the list reach them.
// Every float expression is written exactly as in the reference, and the
// library is built without floating-point contraction, so results match bit
// for bit.

namespace {

constexpr int maxPieceVertices = 8;
constexpr float pinchTolerance = 0.001f;
constexpr float lengthEpsilon = 1.1920929e-7f;
constexpr float parallelTolerance = 0.03490659f; // 2 degrees

// ---------------------------------------------------------------------------
// Float primitives, the same expressions as the reference.

// Triangle (1, 2, 3) is kept as given when counter-clockwise, else 2 and 3 swap.
inline bool keepsOrder(float x1, float y1, float x2, float y2, float x3, float y3)
{
    const float cross = (x2 - x1) * (y3 - y1) - (x3 - x1) * (y2 - y1);
    return cross > 0.0f;
}

inline void normalizeIfLong(float& dx, float& dy)
{
    const float length = std::sqrt(dx * dx + dy * dy);
    if (length >= lengthEpsilon) {
        const float inverse = 1.0f / length;
        dx *= inverse;
        dy *= inverse;
    }
}

inline float earScore(float px, float py, float ix, float iy, float nx, float ny)
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

// The containment test of an ear triangle with everything that does not depend
// on the point computed once.
struct EarTriangle
{
    float minX, maxX, minY, maxY;
    float x0, y0;
    float ax, ay, bx, by;
    float aa, ab, bb, inverse;

    EarTriangle(float x1, float y1, float x2, float y2, float x3, float y3)
    {
        float tx[3] = {x1, 0, 0}, ty[3] = {y1, 0, 0};
        if (keepsOrder(x1, y1, x2, y2, x3, y3)) {
            tx[1] = x2; ty[1] = y2;
            tx[2] = x3; ty[2] = y3;
        } else {
            tx[1] = x3; ty[1] = y3;
            tx[2] = x2; ty[2] = y2;
        }
        minX = std::min(tx[0], std::min(tx[1], tx[2]));
        maxX = std::max(tx[0], std::max(tx[1], tx[2]));
        minY = std::min(ty[0], std::min(ty[1], ty[2]));
        maxY = std::max(ty[0], std::max(ty[1], ty[2]));
        x0 = tx[0];
        y0 = ty[0];
        ax = tx[2] - tx[0];
        ay = ty[2] - ty[0];
        bx = tx[1] - tx[0];
        by = ty[1] - ty[0];
        aa = ax * ax + ay * ay;
        ab = ax * bx + ay * by;
        bb = bx * bx + by * by;
        inverse = 1.0f / (bb * aa - ab * ab);
    }

    // A flat triangle (zero determinant) contains no point at all: with an
    // infinite inverse, u and w come out infinite or NaN, never both in [0, 1].
    bool containsNothing() const { return std::isinf(inverse); }

    bool contains(float px, float py) const
    {
        // "All three corners on one side" is the same as outside the closed box.
        if (px < minX || px > maxX || py < minY || py > maxY)
            return false;
        const float qx = px - x0, qy = py - y0;
        const float aq = ax * qx + ay * qy;
        const float bq = bx * qx + by * qy;
        const float u = (bb * aq - bq * ab) * inverse;
        const float w = (aa * bq - ab * aq) * inverse;
        return u >= 0.0f && w >= 0.0f && u + w <= 1.0f;
    }
};

inline std::uint64_t mix(std::uint64_t h)
{
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdULL;
    h ^= h >> 33;
    h *= 0xc4ceb9fe1a85ec53ULL;
    h ^= h >> 33;
    return h;
}

inline std::size_t tableCapacity(int n)
{
    std::size_t capacity = 16;
    while (capacity < std::size_t(n) * 2)
        capacity *= 2;
    return capacity;
}

// ---------------------------------------------------------------------------
// Pinch points.

// For every vertex p, the lowest q >= p + 2 whose vertex lies within the pinch
// tolerance of p's (the reference pairs every i < j except j == i + 1, so the
// first and the last vertex pair too); n when there is none. Returns whether
// any vertex has one.
bool findPinchPartners(const std::vector<float>& x, const std::vector<float>& y, std::vector<int>& partner)
{
    const int n = int(x.size());
    partner.assign(n, n);
    if (n < 3)
        return false;

    // Cells 1/64 wide, shifted by half a cell so that pixel, half-pixel and
    // quarter-pixel coordinates sit mid-cell: their partners (closer than
    // 0.001 = 0.064 cells) can only be in the same cell. Others look next door.
    constexpr double cellsPerUnit = 64.0;
    constexpr double margin = 0.08;
    std::vector<std::int64_t> cellX(n), cellY(n);
    std::vector<unsigned char> near(n);
    for (int i = 0; i < n; ++i) {
        // Exact: a float below 1e7 times 64 plus a half fits a double's mantissa.
        const double fx = double(x[i]) * cellsPerUnit + 0.5;
        const double fy = double(y[i]) * cellsPerUnit + 0.5;
        std::int64_t cx = std::int64_t(fx), cy = std::int64_t(fy); // towards zero, then down
        cx -= fx < double(cx) ? 1 : 0;
        cy -= fy < double(cy) ? 1 : 0;
        cellX[i] = cx;
        cellY[i] = cy;
        const double restX = fx - double(cx), restY = fy - double(cy);
        near[i] = (restX < margin ? 1 : 0) | (restX > 1.0 - margin ? 2 : 0) | (restY < margin ? 4 : 0)
            | (restY > 1.0 - margin ? 8 : 0);
    }

    const std::size_t capacity = tableCapacity(n);
    const std::size_t mask = capacity - 1;
    std::vector<std::int64_t> keyX(capacity), keyY(capacity);
    std::vector<int> head(capacity, std::numeric_limits<int>::min());
    std::vector<int> nextInCell(n, -1);
    auto slotOf = [&](std::int64_t cx, std::int64_t cy, bool create) -> int {
        const std::uint64_t hash
            = std::uint64_t(cx) * 0x9E3779B97F4A7C15ULL + std::uint64_t(cy) * 0xC2B2AE3D27D4EB4FULL;
        std::size_t slot = std::size_t(hash >> 32) & mask;
        for (;;) {
            if (head[slot] == std::numeric_limits<int>::min()) {
                if (!create)
                    return -1;
                keyX[slot] = cx;
                keyY[slot] = cy;
                head[slot] = -1;
                return int(slot);
            }
            if (keyX[slot] == cx && keyY[slot] == cy)
                return int(slot);
            slot = (slot + 1) & mask;
        }
    };

    bool any = false;
    // Downwards, inserting p + 2 before p is looked at: each cell's list then
    // holds exactly the candidates q >= p + 2, lowest first.
    for (int p = n - 1; p >= 0; --p) {
        if (p + 2 < n) {
            const int q = p + 2;
            const int slot = slotOf(cellX[q], cellY[q], true);
            nextInCell[q] = head[slot];
            head[slot] = q;
        }
        int best = n;
        const int dxLow = (near[p] & 1) ? -1 : 0, dxHigh = (near[p] & 2) ? 1 : 0;
        const int dyLow = (near[p] & 4) ? -1 : 0, dyHigh = (near[p] & 8) ? 1 : 0;
        for (int dy = dyLow; dy <= dyHigh; ++dy) {
            for (int dx = dxLow; dx <= dxHigh; ++dx) {
                const int slot = slotOf(cellX[p] + dx, cellY[p] + dy, false);
                if (slot < 0)
                    continue;
                for (int q = head[slot]; q >= 0 && q < best; q = nextInCell[q]) {
                    if (std::fabs(x[p] - x[q]) < pinchTolerance && std::fabs(y[p] - y[q]) < pinchTolerance) {
                        best = q;
                        break;
                    }
                }
            }
        }
        partner[p] = best;
        if (best < n)
            any = true;
    }
    return any;
}

// Minimum tree over the partners, to find the first vertex of an index range
// whose partner lies inside the range.
class PartnerTree
{
public:
    explicit PartnerTree(const std::vector<int>& partner)
        : m_size(int(partner.size()))
    {
        m_leaves = 1;
        while (m_leaves < m_size)
            m_leaves *= 2;
        m_min.assign(std::size_t(2 * m_leaves), std::numeric_limits<int>::max());
        for (int i = 0; i < m_size; ++i)
            m_min[std::size_t(m_leaves + i)] = partner[std::size_t(i)];
        for (int i = m_leaves - 1; i >= 1; --i)
            m_min[std::size_t(i)] = std::min(m_min[std::size_t(2 * i)], m_min[std::size_t(2 * i + 1)]);
    }

    // The first p in [lo, hi] with partner[p] <= hi, or -1.
    int firstWithin(int lo, int hi) const { return search(1, 0, m_leaves - 1, lo, hi); }

private:
    int search(int node, int nodeLo, int nodeHi, int lo, int hi) const
    {
        if (nodeHi < lo || nodeLo > hi || m_min[std::size_t(node)] > hi)
            return -1;
        if (nodeLo == nodeHi)
            return nodeLo;
        const int middle = nodeLo + (nodeHi - nodeLo) / 2;
        const int left = search(2 * node, nodeLo, middle, lo, hi);
        if (left >= 0)
            return left;
        return search(2 * node + 1, middle + 1, nodeHi, lo, hi);
    }

    int m_size;
    int m_leaves;
    std::vector<int> m_min;
};

// ---------------------------------------------------------------------------
// Ear clipping.

struct OutTriangle
{
    int v[3]; // vertex numbers of the whole outline, counter-clockwise by keepsOrder
};

// The remaining vertices of the polygon being clipped, for "is any vertex in
// this triangle?": a uniform grid over their bounding box with a few cells per
// vertex, rebuilt (finer relative to the shrinking polygon) once half of the
// vertices it was built with are gone. Clipped vertices are skipped until then.
class VertexGrid
{
public:
    // Takes the vertices by walking the ring from `first`.
    void build(const std::vector<float>& x, const std::vector<float>& y, const std::vector<int>& next, int first,
               int aliveCount)
    {
        m_built = aliveCount;
        float minX = x[std::size_t(first)], maxX = minX, minY = y[std::size_t(first)], maxY = minY;
        int i = first;
        do {
            const std::size_t k = std::size_t(i);
            minX = std::min(minX, x[k]);
            maxX = std::max(maxX, x[k]);
            minY = std::min(minY, y[k]);
            maxY = std::max(maxY, y[k]);
            i = next[k];
        } while (i != first);

        const double width = double(maxX) - double(minX), height = double(maxY) - double(minY);
        const double cells = double(cellsPerVertex) * aliveCount;
        if (width > 0 && height > 0) {
            m_columns = int(std::clamp(std::sqrt(cells * width / height), 1.0, cells));
            m_rows = int(std::clamp(cells / m_columns, 1.0, cells));
        } else {
            m_columns = width > 0 ? int(cells) : 1;
            m_rows = height > 0 ? int(cells) : 1;
        }
        // A box too thin for float scales (subnormal extents) gets a single column or row.
        const double scaleX = width > 0 ? m_columns / width : 0.0;
        const double scaleY = height > 0 ? m_rows / height : 0.0;
        if (!(scaleX < 1e30))
            m_columns = 1;
        if (!(scaleY < 1e30))
            m_rows = 1;
        m_originX = minX;
        m_originY = minY;
        m_scaleX = scaleX < 1e30 ? float(scaleX) : 0.0f;
        m_scaleY = scaleY < 1e30 ? float(scaleY) : 0.0f;

        const std::size_t cellCount = std::size_t(m_columns) * std::size_t(m_rows);
        m_start.assign(cellCount + 1, 0);
        m_cellOf.resize(std::size_t(aliveCount));
        int n = 0;
        i = first;
        do {
            const std::size_t k = std::size_t(i);
            const int cell = row(y[k]) * m_columns + column(x[k]);
            m_cellOf[std::size_t(n++)] = cell;
            ++m_start[std::size_t(cell) + 1];
            i = next[k];
        } while (i != first);
        for (std::size_t c = 0; c < cellCount; ++c)
            m_start[c + 1] += m_start[c];
        m_items.resize(std::size_t(aliveCount));
        m_fill.assign(m_start.begin(), m_start.end() - 1);
        n = 0;
        i = first;
        do {
            const std::size_t k = std::size_t(i);
            const std::size_t cell = std::size_t(m_cellOf[std::size_t(n++)]);
            m_items[std::size_t(m_fill[cell]++)] = Item{x[k], y[k], i};
            i = next[k];
        } while (i != first);
    }

    int builtCount() const { return m_built; }

    // Some remaining vertex other than the three excluded that the triangle contains, or -1.
    int findInside(const EarTriangle& t, int skip0, int skip1, int skip2, const std::vector<unsigned char>& alive) const
    {
        // The cell mapping is monotonic, so every point of the closed box is
        // in a cell between those of its corners.
        const int column0 = column(t.minX), column1 = column(t.maxX);
        const int row0 = row(t.minY), row1 = row(t.maxY);
        for (int r = row0; r <= row1; ++r) {
            const std::size_t base = std::size_t(r) * std::size_t(m_columns);
            const int end = m_start[base + std::size_t(column1) + 1];
            for (int k = m_start[base + std::size_t(column0)]; k < end; ++k) {
                const Item& item = m_items[std::size_t(k)];
                if (!t.contains(item.x, item.y))
                    continue;
                if (item.index == skip0 || item.index == skip1 || item.index == skip2
                    || !alive[std::size_t(item.index)])
                    continue;
                return item.index;
            }
        }
        return -1;
    }

private:
    static constexpr int cellsPerVertex = 4;

    struct Item
    {
        float x, y;
        int index;
    };

    // Clamped before the conversion, which must not overflow.
    int column(float x) const
    {
        const float c = (x - m_originX) * m_scaleX;
        return c < 0.0f ? 0 : (c < float(m_columns) ? std::min(int(c), m_columns - 1) : m_columns - 1);
    }
    int row(float y) const
    {
        const float r = (y - m_originY) * m_scaleY;
        return r < 0.0f ? 0 : (r < float(m_rows) ? std::min(int(r), m_rows - 1) : m_rows - 1);
    }

    // Float arithmetic rounds monotonically too, which is all the mapping needs.
    float m_originX = 0, m_originY = 0, m_scaleX = 0, m_scaleY = 0;
    int m_columns = 1, m_rows = 1;
    int m_built = 0;
    std::vector<int> m_start, m_fill, m_cellOf;
    std::vector<Item> m_items;
};

// The current ears, best first: highest score, then lowest position. Positions
// shift as vertices go but keep their order, so the original one will do.
// Scores are never negative, so their bits order like their values, and score
// and position fit one integer key. An indexed 4-ary heap: a vertex whose
// score changes moves in place instead of leaving stale entries behind.
class EarQueue
{
public:
    void reset(int vertices)
    {
        m_keys.clear();
        m_position.assign(std::size_t(vertices), -1);
    }

    static std::uint64_t key(float score, int index)
    {
        std::uint32_t bits;
        std::memcpy(&bits, &score, sizeof bits);
        return (std::uint64_t(bits) << 32) | std::uint32_t(~std::uint32_t(index));
    }

    // Adds without ordering; heapify() puts everything in order afterwards.
    void append(std::uint64_t key)
    {
        m_position[std::size_t(indexOf(key))] = int(m_keys.size());
        m_keys.push_back(key);
    }

    void heapify()
    {
        if (m_keys.size() < 2)
            return;
        for (int i = (int(m_keys.size()) - 2) / arity; i >= 0; --i)
            siftDown(i, m_keys[std::size_t(i)]);
    }

    void set(int index, std::uint64_t key)
    {
        const int at = m_position[std::size_t(index)];
        if (at < 0) {
            m_keys.push_back(key);
            siftUp(int(m_keys.size()) - 1, key);
        } else if (key > m_keys[std::size_t(at)]) {
            siftUp(at, key);
        } else {
            siftDown(at, key);
        }
    }

    void remove(int index)
    {
        const int at = m_position[std::size_t(index)];
        if (at < 0)
            return;
        m_position[std::size_t(index)] = -1;
        const std::uint64_t last = m_keys.back();
        m_keys.pop_back();
        if (at == int(m_keys.size()))
            return;
        if (last > m_keys[std::size_t(at)])
            siftUp(at, last);
        else
            siftDown(at, last);
    }

    // Removes and returns the best ear, or -1.
    int pop()
    {
        if (m_keys.empty())
            return -1;
        const int index = indexOf(m_keys.front());
        remove(index);
        return index;
    }

private:
    static constexpr int arity = 4;

    static int indexOf(std::uint64_t key) { return int(~std::uint32_t(key)); }

    void place(int at, std::uint64_t key)
    {
        m_keys[std::size_t(at)] = key;
        m_position[std::size_t(indexOf(key))] = at;
    }

    void siftUp(int at, std::uint64_t key)
    {
        while (at > 0) {
            const int parent = (at - 1) / arity;
            const std::uint64_t above = m_keys[std::size_t(parent)];
            if (above >= key)
                break;
            place(at, above);
            at = parent;
        }
        place(at, key);
    }

    void siftDown(int at, std::uint64_t key)
    {
        const int size = int(m_keys.size());
        for (;;) {
            const int first = at * arity + 1;
            if (first >= size)
                break;
            const int last = std::min(first + arity, size);
            int best = first;
            std::uint64_t bestKey = m_keys[std::size_t(first)];
            for (int c = first + 1; c < last; ++c) {
                if (m_keys[std::size_t(c)] > bestKey) {
                    best = c;
                    bestKey = m_keys[std::size_t(c)];
                }
            }
            if (bestKey <= key)
                break;
            place(at, bestKey);
            at = best;
        }
        place(at, key);
    }

    std::vector<std::uint64_t> m_keys;
    std::vector<int> m_position;
};

// Clips one polygon without pinch points, like the reference's loop: always the
// ear with the best score, the lowest position among equals.
class EarClipper
{
public:
    // Appends the triangles of the polygon made of the given outline vertices;
    // false when not one ear could be found (the reference's -1).
    bool clip(const std::vector<int>& vertices, const std::vector<float>& outlineX,
              const std::vector<float>& outlineY, std::vector<OutTriangle>& triangles)
    {
        const int m = int(vertices.size());
        if (m < 3)
            return true;
        if (m == 3) {
            emit(vertices[1], vertices[2], vertices[0], outlineX, outlineY, triangles);
            return true;
        }
        reset(vertices, outlineX, outlineY);
        m_grid.build(m_x, m_y, m_next, 0, m_remaining);
        m_bulk = true;
        for (int i = 0; i < m; ++i)
            evaluate(i);
        m_bulk = false;
        m_ears.heapify();

        int found = 0;
        while (m_remaining > 3) {
            const int ear = popEar();
            if (ear < 0)
                return found > 0;
            const int prev = m_prev[std::size_t(ear)], next = m_next[std::size_t(ear)];
            emit(vertices[std::size_t(ear)], vertices[std::size_t(next)], vertices[std::size_t(prev)], outlineX,
                 outlineY, triangles);
            ++found;
            removeVertex(ear);
            if (m_remaining == 3)
                break;
            if (m_remaining * 2 < m_grid.builtCount() && m_remaining > 32)
                m_grid.build(m_x, m_y, m_next, prev, m_remaining);
            evaluate(prev);
            evaluate(next);
            // Vertices that were no ear only because the clipped vertex was in
            // their triangle; evaluate() unhooks each from this list.
            while (m_watchHead[std::size_t(ear)] >= 0)
                evaluate(m_watchHead[std::size_t(ear)]);
        }
        // The last three, in their order in the polygon: (1, 2, 0).
        int a = -1;
        for (int i = 0; i < m; ++i) {
            if (m_alive[std::size_t(i)]) {
                a = i;
                break;
            }
        }
        const int b = m_next[std::size_t(a)], c = m_next[std::size_t(b)];
        emit(vertices[std::size_t(b)], vertices[std::size_t(c)], vertices[std::size_t(a)], outlineX, outlineY,
             triangles);
        return true;
    }

private:
    enum State : unsigned char { Reflex, Blocked, Candidate };

    static void emit(int v1, int v2, int v3, const std::vector<float>& x, const std::vector<float>& y,
                     std::vector<OutTriangle>& triangles)
    {
        const std::size_t a = std::size_t(v1), b = std::size_t(v2), c = std::size_t(v3);
        if (keepsOrder(x[a], y[a], x[b], y[b], x[c], y[c]))
            triangles.push_back({{v1, v2, v3}});
        else
            triangles.push_back({{v1, v3, v2}});
    }

    void reset(const std::vector<int>& vertices, const std::vector<float>& outlineX,
               const std::vector<float>& outlineY)
    {
        const std::size_t m = vertices.size();
        m_x.resize(m);
        m_y.resize(m);
        m_prev.resize(m);
        m_next.resize(m);
        for (std::size_t i = 0; i < m; ++i) {
            m_x[i] = outlineX[std::size_t(vertices[i])];
            m_y[i] = outlineY[std::size_t(vertices[i])];
            m_prev[i] = i == 0 ? int(m) - 1 : int(i) - 1;
            m_next[i] = i + 1 == m ? 0 : int(i) + 1;
        }
        m_alive.assign(m, 1);
        m_state.assign(m, Reflex);
        m_witness.assign(m, -1);
        m_watchHead.assign(m, -1);
        m_watchPrev.assign(m, -1);
        m_watchNext.assign(m, -1);
        m_ears.reset(int(m));
        m_remaining = int(m);
    }

    void unwatch(int i)
    {
        const std::size_t k = std::size_t(i);
        const int witness = m_witness[k];
        if (witness < 0)
            return;
        if (m_watchPrev[k] >= 0)
            m_watchNext[std::size_t(m_watchPrev[k])] = m_watchNext[k];
        else
            m_watchHead[std::size_t(witness)] = m_watchNext[k];
        if (m_watchNext[k] >= 0)
            m_watchPrev[std::size_t(m_watchNext[k])] = m_watchPrev[k];
        m_witness[k] = -1;
        m_watchPrev[k] = m_watchNext[k] = -1;
    }

    void watch(int i, int witness)
    {
        const std::size_t k = std::size_t(i);
        m_witness[k] = witness;
        m_watchPrev[k] = -1;
        m_watchNext[k] = m_watchHead[std::size_t(witness)];
        if (m_watchNext[k] >= 0)
            m_watchPrev[std::size_t(m_watchNext[k])] = i;
        m_watchHead[std::size_t(witness)] = i;
    }

    // The reference's isEar and score for vertex i, except that the search
    // for vertices inside its triangle waits until i comes out on top of the
    // queue: most candidates change neighbours before that, and a blocked
    // one is only ever turned into an ear by the removal of what blocks it.
    void evaluate(int i)
    {
        const std::size_t k = std::size_t(i);
        unwatch(i);
        const int prev = m_prev[k], next = m_next[k];
        const float px = m_x[std::size_t(prev)], py = m_y[std::size_t(prev)];
        const float nx = m_x[std::size_t(next)], ny = m_y[std::size_t(next)];
        const float ix = m_x[k], iy = m_y[k];
        const float dx0 = ix - px, dy0 = iy - py;
        const float dx1 = nx - ix, dy1 = ny - iy;
        if (dx0 * dy1 - dx1 * dy0 > 0.0f) {
            setState(i, Reflex);
            return;
        }
        m_state[k] = Candidate;
        const std::uint64_t key = EarQueue::key(earScore(px, py, ix, iy, nx, ny), i);
        if (m_bulk)
            m_ears.append(key);
        else
            m_ears.set(i, key);
    }

    // The best candidate that no other vertex blocks: the reference's best ear.
    int popEar()
    {
        for (;;) {
            const int i = m_ears.pop();
            if (i < 0)
                return -1;
            const std::size_t k = std::size_t(i);
            const int prev = m_prev[k], next = m_next[k];
            const EarTriangle triangle(m_x[k], m_y[k], m_x[std::size_t(next)], m_y[std::size_t(next)],
                                       m_x[std::size_t(prev)], m_y[std::size_t(prev)]);
            const int inside = triangle.containsNothing() ? -1 : m_grid.findInside(triangle, prev, i, next, m_alive);
            if (inside < 0)
                return i;
            m_state[k] = Blocked;
            watch(i, inside);
        }
    }

    void setState(int i, State state)
    {
        if (m_state[std::size_t(i)] == Candidate && !m_bulk)
            m_ears.remove(i);
        m_state[std::size_t(i)] = state;
    }

    void removeVertex(int i)
    {
        const std::size_t k = std::size_t(i);
        unwatch(i);
        m_alive[k] = 0;
        m_next[std::size_t(m_prev[k])] = m_next[k];
        m_prev[std::size_t(m_next[k])] = m_prev[k];
        --m_remaining;
    }

    std::vector<float> m_x, m_y;
    std::vector<int> m_prev, m_next;
    std::vector<unsigned char> m_alive;
    std::vector<unsigned char> m_state;
    std::vector<int> m_witness, m_watchHead, m_watchPrev, m_watchNext;
    EarQueue m_ears;
    VertexGrid m_grid;
    int m_remaining = 0;
    bool m_bulk = false;
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
bool triangulate(const std::vector<float>& x, const std::vector<float>& y, std::vector<OutTriangle>& triangles)
{
    const int n = int(x.size());
    std::vector<int> partner;
    const bool pinched = findPinchPartners(x, y, partner);
    EarClipper clipper;
    std::vector<int> vertices;

    if (!pinched) {
        vertices.resize(std::size_t(n));
        for (int i = 0; i < n; ++i)
            vertices[std::size_t(i)] = i;
        return clipper.clip(vertices, x, y, triangles);
    }

    const PartnerTree tree(partner);
    struct Part
    {
        int lo, hi;
        std::vector<int> tail;
    };
    // B parts wait here while their A part, and its own parts, are done first.
    std::vector<Part> pending;
    pending.push_back({0, n - 1, {}});
    while (!pending.empty()) {
        Part part = std::move(pending.back());
        pending.pop_back();
        for (;;) {
            const int p = tree.firstWithin(part.lo, part.hi);
            if (p < 0)
                break;
            const int q = partner[std::size_t(p)];
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
        if (!clipper.clip(vertices, x, y, triangles))
            return false;
    }
    return true;
}

// ---------------------------------------------------------------------------
// Growing convex pieces.

// Numbers the distinct coordinates, so that "same point" (exact float
// equality, which treats -0 and 0 alike) becomes an integer comparison.
std::vector<int> pointClasses(const std::vector<float>& x, const std::vector<float>& y, int& classCount)
{
    const int n = int(x.size());
    std::vector<int> classOf(static_cast<std::size_t>(n));
    const std::size_t capacity = tableCapacity(n);
    const std::size_t mask = capacity - 1;
    std::vector<std::uint64_t> keys(capacity);
    std::vector<int> ids(capacity, -1);
    classCount = 0;
    for (int i = 0; i < n; ++i) {
        float fx = x[std::size_t(i)], fy = y[std::size_t(i)];
        if (fx == 0.0f)
            fx = 0.0f;
        if (fy == 0.0f)
            fy = 0.0f;
        std::uint32_t bitsX, bitsY;
        std::memcpy(&bitsX, &fx, sizeof bitsX);
        std::memcpy(&bitsY, &fy, sizeof bitsY);
        const std::uint64_t key = (std::uint64_t(bitsX) << 32) | bitsY;
        std::size_t slot = mix(key) & mask;
        while (ids[slot] >= 0 && keys[slot] != key)
            slot = (slot + 1) & mask;
        if (ids[slot] < 0) {
            keys[slot] = key;
            ids[slot] = classCount++;
        }
        classOf[std::size_t(i)] = ids[slot];
    }
    return classOf;
}

class PieceBuilder
{
public:
    PieceBuilder(const std::vector<float>& x, const std::vector<float>& y, const std::vector<OutTriangle>& triangles)
        : m_x(x), m_y(y), m_triangles(triangles)
    {
        int classCount = 0;
        const std::vector<int> classOf = pointClasses(x, y, classCount);
        const int count = int(triangles.size());
        m_covered.assign(std::size_t(count), 0);
        m_triangleClass.resize(std::size_t(count));
        // Degenerate triangles never start or join a piece.
        std::vector<int> sizes(std::size_t(classCount), 0);
        for (int t = 0; t < count; ++t) {
            auto& classes = m_triangleClass[std::size_t(t)];
            for (int k = 0; k < 3; ++k)
                classes[std::size_t(k)] = classOf[std::size_t(triangles[std::size_t(t)].v[k])];
            if (classes[0] == classes[1] || classes[1] == classes[2] || classes[0] == classes[2]) {
                m_covered[std::size_t(t)] = 1;
                continue;
            }
            for (int c : classes)
                ++sizes[std::size_t(c)];
        }
        // For each point, the triangles touching it, in list order, closed
        // by a sentinel that is never covered.
        m_begin.assign(std::size_t(classCount) + 1, 0);
        for (int c = 0; c < classCount; ++c)
            m_begin[std::size_t(c) + 1] = m_begin[std::size_t(c)] + sizes[std::size_t(c)] + 1;
        m_incident.resize(std::size_t(m_begin.back()));
        m_slot.resize(std::size_t(count));
        std::vector<int> fill(m_begin.begin(), m_begin.end() - 1);
        for (int t = 0; t < count; ++t) {
            if (m_covered[std::size_t(t)])
                continue;
            for (int k = 0; k < 3; ++k) {
                const std::size_t c = std::size_t(m_triangleClass[std::size_t(t)][std::size_t(k)]);
                m_slot[std::size_t(t)][std::size_t(k)] = fill[c];
                m_incident[std::size_t(fill[c]++)] = t;
            }
        }
        for (int c = 0; c < classCount; ++c)
            m_incident[std::size_t(fill[std::size_t(c)])] = std::numeric_limits<int>::max();
        m_skip.resize(m_incident.size());
        for (std::size_t i = 0; i < m_skip.size(); ++i)
            m_skip[i] = int(i);
    }

    QList<QPolygonF> build()
    {
        QList<QPolygonF> pieces;
        const int count = int(m_triangles.size());
        pieces.reserve(count);
        int seed = 0;
        Piece piece, grown;
        for (;;) {
            while (seed < count && m_covered[std::size_t(seed)])
                ++seed;
            if (seed == count)
                return pieces;
            piece.size = 0;
            for (int k = 0; k < 3; ++k)
                piece.append(m_triangles[std::size_t(seed)].v[k], m_triangleClass[std::size_t(seed)][std::size_t(k)],
                             m_x, m_y);
            cover(seed);

            // The reference visits indices 0, 1, ..., count - 1 twice over. A
            // triangle can only join when two points of the piece are among its
            // corners, so only triangles touching the piece need a visit, in
            // that order: one cursor per point of the piece walks the
            // triangles of that point. And a triangle whose last visit saw the
            // same piece is turned down again, so the second round ends at the
            // last triangle taken in the first, unless it takes one itself.
            int lastTaken = -1;
            for (int round = 0; round < 2; ++round) {
                m_cursorCount = 0;
                for (int i = 0; i < piece.size; ++i)
                    addCursor(piece.pointClass[i], 0);
                bool takenThisRound = false;
                for (;;) {
                    const int t = nextCandidate();
                    if (t < 0 || (round == 1 && !takenThisRound && t > lastTaken))
                        break;
                    // How many points of the piece are corners of t: those whose cursor is on it.
                    int matches = 0;
                    for (int c = 0; c < m_cursorCount; ++c) {
                        if (m_cursors[c].head == t)
                            matches += m_cursors[c].multiplicity;
                    }
                    int tip = -1;
                    if (matches >= 2) {
                        tip = addTriangle(piece, t, grown);
                        if (tip >= 0 && (grown.size > maxPieceVertices || !isConvex(grown)))
                            tip = -1;
                    }
                    if (tip < 0) {
                        for (int c = 0; c < m_cursorCount; ++c) {
                            if (m_cursors[c].head == t)
                                moveCursor(m_cursors[c], m_cursors[c].position + 1);
                        }
                        continue;
                    }
                    std::swap(piece, grown);
                    cover(t);
                    for (int c = 0; c < m_cursorCount; ++c) {
                        if (m_cursors[c].head == t)
                            moveCursor(m_cursors[c], m_cursors[c].position);
                    }
                    addCursor(m_triangleClass[std::size_t(t)][std::size_t(tip)], t + 1);
                    lastTaken = t;
                    takenThisRound = true;
                }
            }

            // Pieces never outnumber triangles, and there are at most n - 2 of
            // those, so the reference's limit of n stored pieces is never reached.
            mergeParallelEdges(piece);
            if (piece.size < 3)
                continue;
            QPolygonF polygon(piece.size);
            QPointF* out = polygon.data();
            for (int i = 0; i < piece.size; ++i)
                out[i] = QPointF(piece.x[i], piece.y[i]);
            pieces.append(polygon);
        }
    }

private:
    // A piece with its points' classes and coordinates at hand.
    struct Piece
    {
        int size = 0;
        int vertex[maxPieceVertices + 1];
        int pointClass[maxPieceVertices + 1];
        float x[maxPieceVertices + 1];
        float y[maxPieceVertices + 1];

        void append(int v, int c, const std::vector<float>& xs, const std::vector<float>& ys)
        {
            vertex[size] = v;
            pointClass[size] = c;
            x[size] = xs[std::size_t(v)];
            y[size] = ys[std::size_t(v)];
            ++size;
        }
        void copy(const Piece& from, int i)
        {
            vertex[size] = from.vertex[i];
            pointClass[size] = from.pointClass[i];
            x[size] = from.x[i];
            y[size] = from.y[i];
            ++size;
        }
    };

    struct Cursor
    {
        int pointClass;
        int multiplicity; // points of the piece of this class
        int position;     // in m_incident, on a triangle not covered (or the sentinel)
        int head;         // the triangle there; max int at the sentinel
    };

    // The first position at or after `at` in its list whose triangle is not
    // covered: covered positions point further on, shortcut as they are walked.
    int uncoveredFrom(int at)
    {
        while (m_skip[std::size_t(at)] != at) {
            const int next = m_skip[std::size_t(at)];
            m_skip[std::size_t(at)] = m_skip[std::size_t(next)];
            at = next;
        }
        return at;
    }

    void moveCursor(Cursor& cursor, int at)
    {
        cursor.position = uncoveredFrom(at);
        cursor.head = m_incident[std::size_t(cursor.position)];
    }

    void addCursor(int pointClass, int from)
    {
        for (int c = 0; c < m_cursorCount; ++c) {
            if (m_cursors[c].pointClass == pointClass) {
                ++m_cursors[c].multiplicity;
                return;
            }
        }
        // The list is sorted (covered entries included), up to its sentinel.
        const int* const list = m_incident.data();
        const int* begin = list + m_begin[std::size_t(pointClass)];
        const int* const end = list + m_begin[std::size_t(pointClass) + 1] - 1;
        if (end - begin > 16) {
            begin = std::lower_bound(begin, end, from);
        } else {
            while (begin != end && *begin < from)
                ++begin;
        }
        Cursor& cursor = m_cursors[m_cursorCount++];
        cursor.pointClass = pointClass;
        cursor.multiplicity = 1;
        moveCursor(cursor, int(begin - list));
    }

    // Marks t covered: cursors step over it from now on.
    void cover(int t)
    {
        m_covered[std::size_t(t)] = 1;
        for (int at : m_slot[std::size_t(t)])
            m_skip[std::size_t(at)] = at + 1;
    }

    // The lowest triangle under the cursors, or -1.
    int nextCandidate() const
    {
        int best = std::numeric_limits<int>::max();
        for (int c = 0; c < m_cursorCount; ++c)
            best = std::min(best, m_cursors[c].head);
        return best == std::numeric_limits<int>::max() ? -1 : best;
    }

    // The reference's addTriangle; returns the corner of t that became the
    // tip, or -1 when t does not share two points with the piece.
    int addTriangle(const Piece& piece, int t, Piece& grown) const
    {
        const int n = piece.size;
        const auto& classes = m_triangleClass[std::size_t(t)];
        const int c0 = classes[0], c1 = classes[1], c2 = classes[2];
        int firstP = -1, firstT = -1, secondP = -1, secondT = -1;
        for (int i = 0; i < n; ++i) {
            const int c = piece.pointClass[i];
            const int match = c == c0 ? 0 : c == c1 ? 1 : c == c2 ? 2 : -1;
            if (match < 0)
                continue;
            if (firstP == -1) {
                firstP = i;
                firstT = match;
            } else {
                secondP = i;
                secondT = match;
            }
        }
        if (firstP == 0 && secondP == n - 1)
            firstP = n - 1;
        if (secondP == -1)
            return -1;
        int tip = 0;
        while (tip == firstT || tip == secondT)
            ++tip;
        grown.size = 0;
        for (int i = 0; i < n; ++i) {
            grown.copy(piece, i);
            if (i == firstP)
                grown.append(m_triangles[std::size_t(t)].v[tip], classes[std::size_t(tip)], m_x, m_y);
        }
        return tip;
    }

    static bool isConvex(const Piece& p)
    {
        const int n = p.size;
        bool positive = false;
        for (int i = 0; i < n; ++i) {
            const int prev = i == 0 ? n - 1 : i - 1;
            const int next = i == n - 1 ? 0 : i + 1;
            const float dx0 = p.x[i] - p.x[prev], dy0 = p.y[i] - p.y[prev];
            const float dx1 = p.x[next] - p.x[i], dy1 = p.y[next] - p.y[i];
            const bool nonNegative = dx0 * dy1 - dy0 * dx1 >= 0.0f;
            if (i == 0)
                positive = nonNegative;
            else if (positive != nonNegative)
                return false;
        }
        return true;
    }

    // Neighbours are those of the input; a vertex may go while more than three
    // are left before its removal (as in the reference).
    static void mergeParallelEdges(Piece& p)
    {
        const int n = p.size;
        if (n < 4)
            return;
        bool remove[maxPieceVertices + 1] = {};
        int remaining = n;
        for (int i = 0; i < n; ++i) {
            const int prev = i == 0 ? n - 1 : i - 1;
            const int next = i == n - 1 ? 0 : i + 1;
            float dx0 = p.x[i] - p.x[prev], dy0 = p.y[i] - p.y[prev];
            float dx1 = p.x[next] - p.x[i], dy1 = p.y[next] - p.y[i];
            const float squared0 = dx0 * dx0 + dy0 * dy0;
            const float squared1 = dx1 * dx1 + dy1 * dy1;
            // The square root of a float is positive exactly when the float is.
            if (!(squared0 > 0.0f && squared1 > 0.0f)) {
                if (remaining > 3) {
                    remove[i] = true;
                    --remaining;
                }
                continue;
            }
            // Most corners bend far more than the tolerance, and the float test
            // below errs by about 1e-6 at most on edges of normal length, so
            // in double, without square roots, they can be let through at once.
            if (squared0 >= 1e-30f && squared1 >= 1e-30f) {
                const double cross = double(dx0) * dy1 - double(dx1) * dy0;
                const double limit = double(parallelTolerance) + 1e-5;
                const double lengths
                    = (double(dx0) * dx0 + double(dy0) * dy0) * (double(dx1) * dx1 + double(dy1) * dy1);
                if (cross * cross > limit * limit * lengths)
                    continue;
            }
            const float length0 = std::sqrt(squared0);
            const float length1 = std::sqrt(squared1);
            const float inverse0 = 1.0f / length0;
            const float inverse1 = 1.0f / length1;
            dx0 *= inverse0;
            dy0 *= inverse0;
            dx1 *= inverse1;
            dy1 *= inverse1;
            const float cross = dx0 * dy1 - dx1 * dy0;
            const float dot = dx0 * dx1 + dy0 * dy1;
            if (std::fabs(cross) < parallelTolerance && dot > 0.0f && remaining > 3) {
                remove[i] = true;
                --remaining;
            }
        }
        if (remaining == n)
            return;
        Piece kept;
        for (int i = 0; i < n; ++i) {
            if (!remove[i])
                kept.copy(p, i);
        }
        p = kept;
    }

    const std::vector<float>& m_x;
    const std::vector<float>& m_y;
    const std::vector<OutTriangle>& m_triangles;
    std::vector<std::array<int, 3>> m_triangleClass;
    std::vector<unsigned char> m_covered;
    std::vector<int> m_begin, m_incident, m_skip;
    std::vector<std::array<int, 3>> m_slot; // where each triangle is in its points' lists
    Cursor m_cursors[maxPieceVertices + 1];
    int m_cursorCount = 0;
};

}

QList<QPolygonF> ConvexDecomposition::decompose(const QPolygonF& outline)
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
    std::vector<float> x(static_cast<std::size_t>(n)), y(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        x[std::size_t(i)] = float(outline[i].x());
        y[std::size_t(i)] = float(outline[i].y());
    }

    // The ear clipping wants a clockwise outline.
    float area = 0.0f;
    for (int i = 0; i < n; ++i) {
        const std::size_t a = std::size_t(i), b = std::size_t(i + 1 < n ? i + 1 : 0);
        area += x[a] * y[b] - x[b] * y[a];
    }
    area *= 0.5f;
    if (area > 0.0f) {
        std::reverse(x.begin(), x.end());
        std::reverse(y.begin(), y.end());
    }

    std::vector<OutTriangle> triangles;
    triangles.reserve(std::size_t(n - 2));
    if (!triangulate(x, y, triangles) || triangles.empty())
        return {};
    return PieceBuilder(x, y, triangles).build();
}
