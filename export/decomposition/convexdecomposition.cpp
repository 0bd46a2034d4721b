#include "convexdecomposition.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Where the processor has them, the widest scans run on eight lanes: the
// same comparisons, so the same results, in half the steps.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define HWT_WIDE_SCANS 1
#include <immintrin.h>
#endif

// The output is defined by ReferenceDecomposition, which does every step the
// slow way; this file reaches the same result without its quadratic scans:
//  - close vertex pairs are found once (directly for short outlines, with a
//    hash grid for long ones), and the splits at pinch points become index
//    intervals (see triangulate());
//  - ear clipping keeps the candidate ears in a tournament tree ordered like
//    the reference's scan, scores a fresh polygon four vertices at a time,
//    re-scores a vertex only when its neighbours change, and
//    looks for vertices inside an ear's triangle (scanning the remaining
//    vertices, those in the triangle's vertical strips for mid-sized outlines
//    or through a grid for long ones, with the exact float test on every
//    vertex in the triangle's bounding box) only when the ear is about to be
//    clipped;
//  - growing pieces visits only triangles that share a point with the piece,
//    in the order in which the reference's two rounds over the list reach them
//    (kept in bit sets for up to a few hundred triangles).
// Every float expression is written exactly as in the reference, and the
// library is built without floating-point contraction, so results match bit
// for bit. All working memory of a call comes from one arena, most of it on
// the stack for outlines of a few hundred points.

namespace {

constexpr int maxPieceVertices = 8;
constexpr float pinchTolerance = 0.001f;
constexpr float lengthEpsilon = 1.1920929e-7f;
constexpr float parallelTolerance = 0.03490659f; // 2 degrees

// Up to this many points, close pairs are found by comparing every pair, and
// the vertices inside an ear by scanning all remaining ones: cheaper than
// building and probing grids.
constexpr int directPinchLimit = 64;
constexpr int plainScanLimit = 64;
// Up to this many points, the vertices inside an ear are looked for in
// vertical strips (bounded by a plain scan however the points lie); beyond,
// in a grid.
constexpr int stripScanLimit = 256;
// Up to this many triangles, sets of triangles are bit sets of a few words.
constexpr int smallPieceLimit = 256;

// ---------------------------------------------------------------------------
// Working memory.

// A bump allocator for the arrays of one call: they all live until the call
// returns, so nothing is freed one by one. The first few kilobytes are part
// of the object (on the caller's stack); beyond them it takes heap blocks,
// each at least twice the size of the one before. The largest block of a call
// is kept for the next call on the same thread (up to a limit): allocating
// and releasing a block of that size each time costs the C library more than
// a whole decomposition of a few hundred points.
class Arena
{
public:
    Arena() = default;
    Arena(const Arena&) = delete;
    Arena& operator=(const Arena&) = delete;

    ~Arena()
    {
        if (!m_blocks)
            return; // all on the stack
        Spare& spare = Arena::spare();
        while (m_blocks) {
            Block* const previous = m_blocks->previous;
            if (m_blocks->size > spare.size && m_blocks->size <= spareLimit) {
                std::free(spare.block);
                spare.block = m_blocks;
                spare.size = m_blocks->size;
            } else {
                std::free(m_blocks);
            }
            m_blocks = previous;
        }
    }

    // Uninitialised room for `count` objects of a trivial type.
    template<typename T>
    T* allocate(std::size_t count)
    {
        static_assert(std::is_trivially_copyable<T>::value && std::is_trivially_destructible<T>::value,
                      "the arena never runs constructors or destructors");
        static_assert(alignof(T) <= alignment, "over-aligned type");
        const std::size_t bytes = (count * sizeof(T) + alignment - 1) & ~(alignment - 1);
        if (bytes > std::size_t(m_end - m_cursor))
            grow(bytes);
        T* const result = reinterpret_cast<T*>(m_cursor);
        m_cursor += bytes;
        return result;
    }

    template<typename T>
    T* filled(std::size_t count, T value)
    {
        T* const result = allocate<T>(count);
        std::fill_n(result, count, value);
        return result;
    }

private:
    static constexpr std::size_t alignment = 16;
    static constexpr std::size_t localBytes = 24 * 1024;

    static constexpr std::size_t spareLimit = 4 * 1024 * 1024;

    struct alignas(alignment) Block
    {
        Block* previous;
        std::size_t size;
    };

    struct Spare
    {
        Block* block = nullptr;
        std::size_t size = 0;
        ~Spare() { std::free(block); }
    };

    static Spare& spare()
    {
        static thread_local Spare kept;
        return kept;
    }

    void grow(std::size_t bytes)
    {
        std::size_t size = std::max(bytes + sizeof(Block), m_nextBlockSize);
        Spare& spare = Arena::spare();
        Block* block = nullptr;
        if (spare.block && spare.size >= size) {
            block = spare.block;
            size = spare.size;
            spare.block = nullptr;
            spare.size = 0;
        } else {
            block = static_cast<Block*>(std::malloc(size));
            if (!block)
                throw std::bad_alloc();
        }
        block->previous = m_blocks;
        block->size = size;
        m_blocks = block;
        m_cursor = reinterpret_cast<char*>(block + 1);
        m_end = reinterpret_cast<char*>(block) + size;
        m_nextBlockSize = size * 2;
    }

    alignas(alignment) char m_local[localBytes];
    char* m_cursor = m_local;
    char* m_end = m_local + localBytes;
    Block* m_blocks = nullptr;
    std::size_t m_nextBlockSize = 64 * 1024;
};

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

#if defined(__SSE2__)
// normalizeIfLong on four vectors; the select keeps a short one as it is.
inline void normalizeIfLong4(__m128& dx, __m128& dy)
{
    const __m128 length = _mm_sqrt_ps(_mm_add_ps(_mm_mul_ps(dx, dx), _mm_mul_ps(dy, dy)));
    const __m128 longEnough = _mm_cmpge_ps(length, _mm_set1_ps(lengthEpsilon));
    const __m128 inverse = _mm_div_ps(_mm_set1_ps(1.0f), length);
    dx = _mm_or_ps(_mm_and_ps(longEnough, _mm_mul_ps(dx, inverse)), _mm_andnot_ps(longEnough, dx));
    dy = _mm_or_ps(_mm_and_ps(longEnough, _mm_mul_ps(dy, inverse)), _mm_andnot_ps(longEnough, dy));
}
#endif

// The reference's ear score from the three sides, already through
// normalizeIfLong: d1 = next - i, d2 = i - prev, d3 = prev - next.
inline float earScore(float d1x, float d1y, float d2x, float d2y, float d3x, float d3y)
{
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
    float aa = 0, ab = 0, bb = 0, inverse = 0;
    bool keptOrder; // keepsOrder() of the corners as given

    EarTriangle(float x1, float y1, float x2, float y2, float x3, float y3)
        : keptOrder(keepsOrder(x1, y1, x2, y2, x3, y3))
    {
        float tx[3] = {x1, 0, 0}, ty[3] = {y1, 0, 0};
        if (keptOrder) {
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
    }

    // The rest of the containment test, left for when some point is in the
    // box (for short polygons, mostly none is besides the corners).
    void prepare()
    {
        aa = ax * ax + ay * ay;
        ab = ax * bx + ay * by;
        bb = bx * bx + by * by;
        inverse = 1.0f / (bb * aa - ab * ab);
    }

    // After prepare(): a flat triangle (zero determinant) contains no point
    // at all: with an infinite inverse, u and w come out infinite or NaN,
    // never both in [0, 1].
    bool containsNothing() const { return std::isinf(inverse); }

    // "All three corners on one side" is the same as outside the closed box.
    bool inBox(float px, float py) const { return px >= minX && px <= maxX && py >= minY && py <= maxY; }

    // After prepare(): the barycentric part of the test, for a point known to
    // be in the box.
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

inline bool isPinch(float x0, float y0, float x1, float y1)
{
    return std::fabs(x0 - x1) < pinchTolerance && std::fabs(y0 - y1) < pinchTolerance;
}

// ---------------------------------------------------------------------------
// Pinch points.

// The first q >= p + 2 whose point lies within the pinch tolerance of p's, or n.
int firstPinchPartner(const float* x, const float* y, int n, int p)
{
    for (int q = p + 2; q < n; ++q) {
        if (isPinch(x[p], y[p], x[q], y[q]))
            return q;
    }
    return n;
}

#if defined(HWT_WIDE_SCANS)
// HULLWRIGHT_NARROW_SCANS keeps to four lanes, so that the tests can hold
// that path to the reference on any machine.
bool hasWideScans()
{
    static const bool wide = __builtin_cpu_supports("avx2") && !std::getenv("HULLWRIGHT_NARROW_SCANS");
    return wide;
}

// findPinchPartnersDirectly() eight at a time.
__attribute__((target("avx2"))) bool findPinchPartnersWide(const float* x, const float* y, int n, int* partner)
{
    bool any = false;
    const __m256 sign = _mm256_castsi256_ps(_mm256_set1_epi32(0x7fffffff));
    const __m256 tolerance = _mm256_set1_ps(pinchTolerance);
    for (int p = 0; p < n; ++p) {
        partner[p] = n;
        const float px = x[p], py = y[p];
        const __m256 px8 = _mm256_set1_ps(px), py8 = _mm256_set1_ps(py);
        __m256 close = _mm256_setzero_ps();
        for (int q = p + 2; q < n; q += 8) {
            const __m256 dx = _mm256_and_ps(_mm256_sub_ps(px8, _mm256_loadu_ps(x + q)), sign);
            const __m256 dy = _mm256_and_ps(_mm256_sub_ps(py8, _mm256_loadu_ps(y + q)), sign);
            close = _mm256_or_ps(close, _mm256_cmp_ps(_mm256_max_ps(dx, dy), tolerance, _CMP_LT_OQ));
        }
        if (!_mm256_movemask_ps(close))
            continue;
        partner[p] = firstPinchPartner(x, y, n, p);
        any = true;
    }
    return any;
}
#endif

// Every pair, for short outlines. The first loop has no early exit so that it
// runs several pairs at a time; pairs are rare, the second loop rarer still.
// x and y hold NaN in the seven places past n (see decompose()): a block that
// runs past the end compares false there, so no scalar tail is needed.
bool findPinchPartnersDirectly(const float* x, const float* y, int n, int* partner)
{
#if defined(HWT_WIDE_SCANS)
    if (hasWideScans())
        return findPinchPartnersWide(x, y, n, partner);
#endif
    bool any = false;
    for (int p = 0; p < n; ++p) {
        partner[p] = n;
        const float px = x[p], py = y[p];
        int q = p + 2;
        int hit = 0;
#if defined(__SSE2__)
        // Four at a time; clearing the sign bit is exactly fabs, and both
        // distances are below the tolerance when the larger one is. A NaN
        // lane (past the end: x and y both NaN) gives NaN, below nothing.
        const __m128 sign = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
        const __m128 tolerance = _mm_set1_ps(pinchTolerance);
        const __m128 px4 = _mm_set1_ps(px), py4 = _mm_set1_ps(py);
        __m128 close = _mm_setzero_ps();
        for (; q < n; q += 4) {
            const __m128 dx = _mm_and_ps(_mm_sub_ps(px4, _mm_loadu_ps(x + q)), sign);
            const __m128 dy = _mm_and_ps(_mm_sub_ps(py4, _mm_loadu_ps(y + q)), sign);
            const __m128 distance = _mm_max_ps(dx, dy);
            close = _mm_or_ps(close, _mm_cmplt_ps(distance, tolerance));
        }
        hit = _mm_movemask_ps(close);
#else
        for (; q < n; ++q)
            hit |= int(std::fabs(px - x[q]) < pinchTolerance) & int(std::fabs(py - y[q]) < pinchTolerance);
#endif
        if (!hit)
            continue;
        partner[p] = firstPinchPartner(x, y, n, p);
        any = true;
    }
    return any;
}

// For every vertex p, the lowest q >= p + 2 whose vertex lies within the pinch
// tolerance of p's (the reference pairs every i < j except j == i + 1, so the
// first and the last vertex pair too); n when there is none. Returns whether
// any vertex has one.
bool findPinchPartners(const float* x, const float* y, int n, int* partner, Arena& arena)
{
    if (n <= directPinchLimit)
        return findPinchPartnersDirectly(x, y, n, partner);

    // Cells 1/64 wide, shifted by half a cell so that pixel, half-pixel and
    // quarter-pixel coordinates sit mid-cell: their partners (closer than
    // 0.001 = 0.064 cells) can only be in the same cell. Others look next door.
    constexpr double cellsPerUnit = 64.0;
    constexpr double margin = 0.08;
    const std::size_t count = std::size_t(n);
    std::int64_t* const cellX = arena.allocate<std::int64_t>(count);
    std::int64_t* const cellY = arena.allocate<std::int64_t>(count);
    unsigned char* const near = arena.allocate<unsigned char>(count);
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
    constexpr int emptySlot = std::numeric_limits<int>::min();
    std::int64_t* const keyX = arena.allocate<std::int64_t>(capacity);
    std::int64_t* const keyY = arena.allocate<std::int64_t>(capacity);
    int* const head = arena.filled<int>(capacity, emptySlot);
    int* const nextInCell = arena.filled<int>(count, -1);
    auto slotOf = [&](std::int64_t cx, std::int64_t cy, bool create) -> int {
        const std::uint64_t hash
            = std::uint64_t(cx) * 0x9E3779B97F4A7C15ULL + std::uint64_t(cy) * 0xC2B2AE3D27D4EB4FULL;
        std::size_t slot = std::size_t(hash >> 32) & mask;
        for (;;) {
            if (head[slot] == emptySlot) {
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
                    if (isPinch(x[p], y[p], x[q], y[q])) {
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
    PartnerTree(const int* partner, int size, Arena& arena)
    {
        m_leaves = 1;
        while (m_leaves < size)
            m_leaves *= 2;
        m_min = arena.filled<int>(std::size_t(2 * m_leaves), std::numeric_limits<int>::max());
        for (int i = 0; i < size; ++i)
            m_min[m_leaves + i] = partner[i];
        for (int i = m_leaves - 1; i >= 1; --i)
            m_min[i] = std::min(m_min[2 * i], m_min[2 * i + 1]);
    }

    // The first p in [lo, hi] with partner[p] <= hi, or -1.
    int firstWithin(int lo, int hi) const { return search(1, 0, m_leaves - 1, lo, hi); }

private:
    int search(int node, int nodeLo, int nodeHi, int lo, int hi) const
    {
        if (nodeHi < lo || nodeLo > hi || m_min[node] > hi)
            return -1;
        if (nodeLo == nodeHi)
            return nodeLo;
        const int middle = nodeLo + (nodeHi - nodeLo) / 2;
        const int left = search(2 * node, nodeLo, middle, lo, hi);
        if (left >= 0)
            return left;
        return search(2 * node + 1, middle + 1, nodeHi, lo, hi);
    }

    int m_leaves = 1;
    int* m_min = nullptr;
};

// ---------------------------------------------------------------------------
// Ear clipping.

struct OutTriangle
{
    int v[3]; // vertex numbers of the whole outline, counter-clockwise by keepsOrder
};

// Room for every triangle of the outline: the parts of an outline of n
// vertices split at pinch points have n vertices together and each part of k
// vertices gives at most k - 2 triangles.
struct TriangleList
{
    OutTriangle* data = nullptr;
    int size = 0;
};

// The cell of `value` among `cells` cells of width 1 / `scale` from `origin`;
// values beyond either end go to the end cell. Clamped before the conversion,
// which must not overflow. Float arithmetic rounds monotonically, so a larger
// value never gets an earlier cell, which is all the searches need.
inline int cellOf(float value, float origin, float scale, int cells)
{
    const float c = (value - origin) * scale;
    return c < 0.0f ? 0 : (c < float(cells) ? std::min(int(c), cells - 1) : cells - 1);
}

// The remaining vertices of a long polygon being clipped, for "is any vertex in
// this triangle?": a uniform grid over their bounding box with a few cells per
// vertex, rebuilt (finer relative to the shrinking polygon) once half of the
// vertices it was built with are gone. Clipped vertices are skipped until then.
class VertexGrid
{
public:
    // Room for polygons of up to `capacity` vertices; taken on first use.
    void reserve(int capacity, Arena& arena)
    {
        if (m_start)
            return;
        const std::size_t count = std::size_t(capacity);
        m_start = arena.allocate<int>(count * cellsPerVertex + 1);
        m_fill = arena.allocate<int>(count * cellsPerVertex);
        m_cellOf = arena.allocate<int>(count);
        m_items = arena.allocate<Item>(count);
    }

    // Takes the vertices by walking the ring from `first`.
    void build(const float* x, const float* y, const int* next, int first, int aliveCount)
    {
        m_built = aliveCount;
        float minX = x[first], maxX = minX, minY = y[first], maxY = minY;
        int i = first;
        do {
            minX = std::min(minX, x[i]);
            maxX = std::max(maxX, x[i]);
            minY = std::min(minY, y[i]);
            maxY = std::max(maxY, y[i]);
            i = next[i];
        } while (i != first);

        const double width = double(maxX) - double(minX), height = double(maxY) - double(minY);
        const double cells = double(cellsPerVertex) * aliveCount;
        // columns * rows never exceeds cells, the room reserve() made.
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

        const int cellCount = m_columns * m_rows;
        std::fill_n(m_start, cellCount + 1, 0);
        int n = 0;
        i = first;
        do {
            const int cell = row(y[i]) * m_columns + column(x[i]);
            m_cellOf[n++] = cell;
            ++m_start[cell + 1];
            i = next[i];
        } while (i != first);
        for (int c = 0; c < cellCount; ++c)
            m_start[c + 1] += m_start[c];
        std::copy_n(m_start, cellCount, m_fill);
        n = 0;
        i = first;
        do {
            m_items[m_fill[m_cellOf[n++]]++] = Item{x[i], y[i], i};
            i = next[i];
        } while (i != first);
    }

    int builtCount() const { return m_built; }

    // Some remaining vertex other than the three excluded that the triangle contains, or -1.
    int findInside(const EarTriangle& t, int skip0, int skip1, int skip2, const unsigned char* alive) const
    {
        // The cell mapping is monotonic, so every point of the closed box is
        // in a cell between those of its corners.
        const int column0 = column(t.minX), column1 = column(t.maxX);
        const int row0 = row(t.minY), row1 = row(t.maxY);
        for (int r = row0; r <= row1; ++r) {
            const int base = r * m_columns;
            const int end = m_start[base + column1 + 1];
            for (int k = m_start[base + column0]; k < end; ++k) {
                const Item& item = m_items[k];
                if (!t.inBox(item.x, item.y) || !t.containsInBox(item.x, item.y))
                    continue;
                if (item.index == skip0 || item.index == skip1 || item.index == skip2 || !alive[item.index])
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

    int column(float x) const { return cellOf(x, m_originX, m_scaleX, m_columns); }
    int row(float y) const { return cellOf(y, m_originY, m_scaleY, m_rows); }

    float m_originX = 0, m_originY = 0, m_scaleX = 0, m_scaleY = 0;
    int m_columns = 1, m_rows = 1;
    int m_built = 0;
    int* m_start = nullptr;
    int* m_fill = nullptr;
    int* m_cellOf = nullptr;
    Item* m_items = nullptr;
};

// The remaining vertices of a short polygon, packed: clipping one moves the
// last into its place. Scanning them all costs less than a grid when they are few.
class VertexList
{
public:
    void reserve(int capacity, Arena& arena)
    {
        if (m_x)
            return;
        // Whole blocks of eight for the scan; the room beyond the vertices
        // holds NaN, which is in no box.
        const std::size_t count = (std::size_t(capacity) + 7) & ~std::size_t(7);
        m_x = arena.allocate<float>(count);
        m_y = arena.allocate<float>(count);
        m_index = arena.allocate<int>(count);
        m_place = arena.allocate<int>(count);
        m_room = int(count);
    }

    void build(const float* x, const float* y, int count)
    {
        std::copy_n(x, count, m_x);
        std::copy_n(y, count, m_y);
        std::fill(m_x + count, m_x + m_room, std::numeric_limits<float>::quiet_NaN());
        std::fill(m_y + count, m_y + m_room, std::numeric_limits<float>::quiet_NaN());
        for (int i = 0; i < count; ++i) {
            m_index[i] = i;
            m_place[i] = i;
        }
        m_size = count;
    }

    void remove(int i)
    {
        const int place = m_place[i];
        const int last = --m_size;
        m_x[place] = m_x[last];
        m_y[place] = m_y[last];
        m_index[place] = m_index[last];
        m_place[m_index[place]] = place;
        m_x[last] = std::numeric_limits<float>::quiet_NaN();
        m_y[last] = std::numeric_limits<float>::quiet_NaN();
    }

    // Some remaining vertex other than the three excluded that the triangle
    // contains, or -1; prepares the triangle when it comes to the exact test.
    int findInside(EarTriangle& t, int skip0, int skip1, int skip2) const
    {
#if defined(__SSE2__)
        // The box test four at a time, without a branch: the lanes in the box
        // go to a bit map of the positions. The ear's own corners are always
        // in its box; their bits are cleared before the exact test runs on
        // the rest, which is rarely anything.
        static_assert(plainScanLimit <= 64, "one word of positions");
#if defined(HWT_WIDE_SCANS)
        std::uint64_t inBox = hasWideScans() ? boxBitsWide(t) : boxBits(t);
#else
        std::uint64_t inBox = boxBits(t);
#endif
        // Three positions in the box are the corners: nothing else is.
        std::uint64_t others = inBox & (inBox - 1);
        others &= others - 1;
        others &= others - 1;
        if (!others)
            return -1;
        for (int corner : {skip0, skip1, skip2})
            inBox &= ~(std::uint64_t(1) << m_place[corner]);
        t.prepare();
        if (t.containsNothing())
            return -1;
        for (std::uint64_t bits = inBox; bits; bits &= bits - 1) {
            const int j = __builtin_ctzll(bits);
            if (t.containsInBox(m_x[j], m_y[j]))
                return m_index[j];
        }
        return -1;
#else
        t.prepare();
        if (t.containsNothing())
            return -1;
        for (int k = 0; k < m_size; ++k) {
            const float px = m_x[k], py = m_y[k];
            if (!t.inBox(px, py) || !t.containsInBox(px, py))
                continue;
            const int index = m_index[k];
            if (index == skip0 || index == skip1 || index == skip2)
                continue;
            return index;
        }
        return -1;
#endif
    }

private:
#if defined(__SSE2__)
    // The positions of the points in the triangle's box, four at a time.
    std::uint64_t boxBits(const EarTriangle& t) const
    {
        const __m128 minX = _mm_set1_ps(t.minX), maxX = _mm_set1_ps(t.maxX);
        const __m128 minY = _mm_set1_ps(t.minY), maxY = _mm_set1_ps(t.maxY);
        std::uint64_t inBox = 0;
        for (int k = 0; k < m_size; k += 4) {
            const __m128 px = _mm_load_ps(m_x + k), py = _mm_load_ps(m_y + k);
            const __m128 inX = _mm_and_ps(_mm_cmpge_ps(px, minX), _mm_cmple_ps(px, maxX));
            const __m128 inY = _mm_and_ps(_mm_cmpge_ps(py, minY), _mm_cmple_ps(py, maxY));
            inBox |= std::uint64_t(_mm_movemask_ps(_mm_and_ps(inX, inY))) << k;
        }
        return inBox;
    }
#endif

#if defined(HWT_WIDE_SCANS)
    // The same, eight at a time.
    __attribute__((target("avx2"))) std::uint64_t boxBitsWide(const EarTriangle& t) const
    {
        const __m256 minX = _mm256_set1_ps(t.minX), maxX = _mm256_set1_ps(t.maxX);
        const __m256 minY = _mm256_set1_ps(t.minY), maxY = _mm256_set1_ps(t.maxY);
        std::uint64_t inBox = 0;
        for (int k = 0; k < m_size; k += 8) {
            const __m256 px = _mm256_loadu_ps(m_x + k), py = _mm256_loadu_ps(m_y + k);
            const __m256 inX = _mm256_and_ps(_mm256_cmp_ps(px, minX, _CMP_GE_OQ), _mm256_cmp_ps(px, maxX, _CMP_LE_OQ));
            const __m256 inY = _mm256_and_ps(_mm256_cmp_ps(py, minY, _CMP_GE_OQ), _mm256_cmp_ps(py, maxY, _CMP_LE_OQ));
            inBox |= std::uint64_t(unsigned(_mm256_movemask_ps(_mm256_and_ps(inX, inY)))) << k;
        }
        return inBox;
    }
#endif

    float* m_x = nullptr;
    float* m_y = nullptr;
    int* m_index = nullptr;
    int* m_place = nullptr;
    int m_size = 0;
    int m_room = 0;
};

// The remaining vertices of a mid-sized polygon, sorted into vertical strips
// of a few points each (a counting sort): the points whose x lies in an ear's
// box are then one run of the arrays, scanned four at a time. A clipped
// vertex becomes NaN in place, which is in no box.
class VertexStrips
{
public:
    void reserve(int capacity, Arena& arena)
    {
        if (m_x)
            return;
        const std::size_t count = std::size_t(capacity) + 4;
        m_x = arena.allocate<float>(count);
        m_y = arena.allocate<float>(count);
        m_index = arena.allocate<int>(count);
        m_place = arena.allocate<int>(count);
        m_start = arena.allocate<int>(std::size_t(capacity / pointsPerStrip) + 2);
    }

    void build(const float* x, const float* y, int count)
    {
        float minX = x[0], maxX = x[0];
        for (int i = 1; i < count; ++i) {
            minX = std::min(minX, x[i]);
            maxX = std::max(maxX, x[i]);
        }
        m_strips = std::max(1, count / pointsPerStrip);
        const double width = double(maxX) - double(minX);
        const double scale = width > 0 ? m_strips / width : 0.0;
        m_originX = minX;
        m_scale = scale < 1e30 ? float(scale) : 0.0f;

        std::fill_n(m_start, m_strips + 1, 0);
        // The strip of each point waits in m_place until it is sorted.
        for (int i = 0; i < count; ++i) {
            const int strip = stripOf(x[i]);
            m_place[i] = strip;
            ++m_start[strip + 1];
        }
        for (int strip = 0; strip < m_strips; ++strip)
            m_start[strip + 1] += m_start[strip];
        for (int i = 0; i < count; ++i) {
            const int place = m_start[m_place[i]]++;
            m_place[i] = place;
            m_x[place] = x[i];
            m_y[place] = y[i];
            m_index[place] = i;
        }
        // The fill moved every start to the next strip's.
        for (int strip = m_strips; strip > 0; --strip)
            m_start[strip] = m_start[strip - 1];
        m_start[0] = 0;
        std::fill_n(m_x + count, 4, std::numeric_limits<float>::quiet_NaN());
        std::fill_n(m_y + count, 4, std::numeric_limits<float>::quiet_NaN());
    }

    void remove(int i)
    {
        m_x[m_place[i]] = std::numeric_limits<float>::quiet_NaN();
        m_y[m_place[i]] = std::numeric_limits<float>::quiet_NaN();
    }

    // Some remaining vertex other than the three excluded that the triangle
    // contains, or -1; prepares the triangle when it comes to the exact test.
    int findInside(EarTriangle& t, int skip0, int skip1, int skip2) const
    {
        const int begin = m_start[stripOf(t.minX)] & ~3;
        const int end = m_start[stripOf(t.maxX) + 1];
        bool prepared = false;
        // For a point in the box: whether it is a vertex other than the
        // corners that the triangle contains.
        auto inside = [&](int j) {
            const int index = m_index[j];
            if (index == skip0 || index == skip1 || index == skip2)
                return false;
            if (!prepared) {
                t.prepare();
                prepared = true;
            }
            return !t.containsNothing() && t.containsInBox(m_x[j], m_y[j]);
        };
#if defined(__SSE2__)
        const __m128 minX = _mm_set1_ps(t.minX), maxX = _mm_set1_ps(t.maxX);
        const __m128 minY = _mm_set1_ps(t.minY), maxY = _mm_set1_ps(t.maxY);
        for (int k = begin; k < end; k += 4) {
            const __m128 px = _mm_load_ps(m_x + k), py = _mm_load_ps(m_y + k);
            const __m128 inX = _mm_and_ps(_mm_cmpge_ps(px, minX), _mm_cmple_ps(px, maxX));
            const __m128 inY = _mm_and_ps(_mm_cmpge_ps(py, minY), _mm_cmple_ps(py, maxY));
            for (unsigned lanes = unsigned(_mm_movemask_ps(_mm_and_ps(inX, inY))); lanes; lanes &= lanes - 1) {
                const int j = k + __builtin_ctz(lanes);
                if (inside(j))
                    return m_index[j];
            }
        }
#else
        for (int j = begin; j < end; ++j) {
            if (t.inBox(m_x[j], m_y[j]) && inside(j))
                return m_index[j];
        }
#endif
        return -1;
    }

private:
    static constexpr int pointsPerStrip = 2;

    int stripOf(float x) const { return cellOf(x, m_originX, m_scale, m_strips); }

    float* m_x = nullptr;
    float* m_y = nullptr;
    int* m_index = nullptr;
    int* m_place = nullptr;
    int* m_start = nullptr;
    int m_strips = 1;
    float m_originX = 0, m_scale = 0;
};

// The current ears, best first: highest score, then lowest position. Positions
// shift as vertices go but keep their order, so the original one will do.
// Scores are never negative, so their bits order like their values, and score
// and position fit one integer key; 0 stands for "no ear". A tournament tree
// over the positions: every inner node holds the larger key of its two
// children, so the best ear is at the root. A change walks the fixed number
// of levels up to the root and takes the larger of two keys at each, without
// a branch that depends on the keys; a heap's sifting spends more on
// mispredicted branches than this spends on the extra levels.
class EarQueue
{
public:
    void reserve(int capacity, Arena& arena)
    {
        m_node = arena.allocate<std::uint64_t>(2 * std::size_t(leavesFor(capacity)));
    }

    void reset(int vertices)
    {
        m_leaves = leavesFor(vertices);
        m_stopEarly = m_leaves <= 256;
        std::fill_n(m_node, 2 * m_leaves, 0);
    }

    static std::uint64_t key(float score, int index)
    {
        std::uint32_t bits;
        std::memcpy(&bits, &score, sizeof bits);
        return (std::uint64_t(bits) << 32) | std::uint32_t(~std::uint32_t(index));
    }

    // Adds without ordering; heapify() puts everything in order afterwards.
    void append(std::uint64_t key) { m_node[m_leaves + indexOf(key)] = key; }

    void heapify()
    {
        for (int at = m_leaves - 1; at >= 1; --at)
            m_node[at] = std::max(m_node[2 * at], m_node[2 * at + 1]);
    }

    void set(int index, std::uint64_t key)
    {
        std::uint64_t* const node = m_node;
        unsigned at = unsigned(m_leaves + index);
        node[at] = key;
        if (m_stopEarly) {
            // Nothing above changes once a node keeps its key. Stopping
            // there pays in small trees; in large ones the test costs more
            // than the levels it saves (measured).
            while (at > 1) {
                const std::uint64_t sibling = node[at ^ 1];
                at >>= 1;
                key = key > sibling ? key : sibling;
                if (node[at] == key)
                    return;
                node[at] = key;
            }
            return;
        }
        while (at > 1) {
            const std::uint64_t sibling = node[at ^ 1];
            at >>= 1;
            key = key > sibling ? key : sibling;
            node[at] = key;
        }
    }

    void remove(int index) { set(index, 0); }

    // Removes and returns the best ear, or -1.
    int pop()
    {
        const std::uint64_t best = m_node[1];
        if (best == 0)
            return -1;
        const int index = indexOf(best);
        remove(index);
        return index;
    }

private:
    static int leavesFor(int count)
    {
        int leaves = 1;
        while (leaves < count)
            leaves *= 2;
        return leaves;
    }

    static int indexOf(std::uint64_t key) { return int(~std::uint32_t(key)); }

    std::uint64_t* m_node = nullptr;
    int m_leaves = 1;
    bool m_stopEarly = false;
};

// Clips one polygon without pinch points, like the reference's loop: always the
// ear with the best score, the lowest position among equals.
class EarClipper
{
public:
    // Room for polygons of up to `capacity` vertices.
    EarClipper(int capacity, Arena& arena)
        : m_arena(arena), m_capacity(capacity)
    {
        const std::size_t count = std::size_t(capacity);
        m_prev = arena.allocate<int>(count);
        m_next = arena.allocate<int>(count);
        m_alive = arena.allocate<unsigned char>(count);
        m_state = arena.allocate<unsigned char>(count);
        m_witness = arena.allocate<int>(count);
        m_watchHead = arena.allocate<int>(count);
        m_watchPrev = arena.allocate<int>(count);
        m_watchNext = arena.allocate<int>(count);
        // The edge arrays start one early: during the first scoring pass
        // [-1] holds the last vertex's edge, the edge before vertex 0.
        m_edgeX = arena.allocate<float>(count + 1) + 1;
        m_edgeY = arena.allocate<float>(count + 1) + 1;
        m_chordX = arena.allocate<float>(count);
        m_chordY = arena.allocate<float>(count);
        // The polygon's points as a ring: [k] is vertex k - 1 for k = 0 .. m + 1.
        m_ringX = arena.allocate<float>(count + 2);
        m_ringY = arena.allocate<float>(count + 2);
        m_ears.reserve(capacity, arena);
    }

    // Appends the triangles of the polygon made of the given outline vertices
    // (all of them, in order, when `vertices` is null); false when not one ear
    // could be found (the reference's -1).
    bool clip(const int* vertices, int m, const float* outlineX, const float* outlineY, TriangleList& triangles)
    {
        if (m < 3)
            return true;
        m_vertices = vertices;
        if (m == 3) {
            emit(1, 2, 0, outlineX, outlineY, triangles);
            return true;
        }
        reset(m, outlineX, outlineY);
        if (m <= plainScanLimit) {
            m_search = Search::List;
            m_list.reserve(std::min(m_capacity, plainScanLimit), m_arena);
            m_list.build(m_x, m_y, m);
        } else if (m <= stripScanLimit) {
            m_search = Search::Strips;
            m_strips.reserve(std::min(m_capacity, stripScanLimit), m_arena);
            m_strips.build(m_x, m_y, m);
        } else {
            m_search = Search::Grid;
            m_grid.reserve(m_capacity, m_arena);
            m_grid.build(m_x, m_y, m_next, 0, m_remaining);
        }
        evaluateAll(m);

        int found = 0;
        while (m_remaining > 3) {
            const int ear = popEar();
            if (ear < 0)
                return found > 0;
            const int prev = m_prev[ear], next = m_next[ear];
            // popEar() built this very triangle from the same floats.
            emit(ear, next, prev, m_poppedKeepsOrder, triangles);
            ++found;
            m_edgeX[prev] = m_chordX[ear];
            m_edgeY[prev] = m_chordY[ear];
            removeVertex(ear);
            if (m_remaining == 3)
                break;
            if (m_search == Search::Grid && m_remaining * 2 < m_grid.builtCount() && m_remaining > 32)
                m_grid.build(m_x, m_y, m_next, prev, m_remaining);
            evaluate(prev);
            evaluate(next);
            // Vertices that were no ear only because the clipped vertex was in
            // their triangle; evaluate() unhooks each from this list.
            while (m_watchHead[ear] >= 0)
                evaluate(m_watchHead[ear]);
        }
        // The last three, in their order in the polygon: (1, 2, 0).
        int a = 0;
        while (!m_alive[a])
            ++a;
        const int b = m_next[a], c = m_next[b];
        emit(b, c, a, outlineX, outlineY, triangles);
        return true;
    }

private:
    enum State : unsigned char { Reflex, Blocked, Candidate };

    int outlineVertex(int i) const { return m_vertices ? m_vertices[i] : i; }

    // Appends the triangle of the polygon's vertices (i1, i2, i3), ordered like
    // the reference's triangle constructor orders them.
    void emit(int i1, int i2, int i3, const float* x, const float* y, TriangleList& triangles) const
    {
        const int v1 = outlineVertex(i1), v2 = outlineVertex(i2), v3 = outlineVertex(i3);
        emit(i1, i2, i3, keepsOrder(x[v1], y[v1], x[v2], y[v2], x[v3], y[v3]), triangles);
    }

    // The same with keepsOrder() of the three already known.
    void emit(int i1, int i2, int i3, bool keptOrder, TriangleList& triangles) const
    {
        const int v1 = outlineVertex(i1), v2 = outlineVertex(i2), v3 = outlineVertex(i3);
        OutTriangle& t = triangles.data[triangles.size++];
        t.v[0] = v1;
        if (keptOrder) {
            t.v[1] = v2;
            t.v[2] = v3;
        } else {
            t.v[1] = v3;
            t.v[2] = v2;
        }
    }

    void reset(int m, const float* outlineX, const float* outlineY)
    {
        if (m_vertices) {
            if (!m_copyX) {
                m_copyX = m_arena.allocate<float>(std::size_t(m_capacity));
                m_copyY = m_arena.allocate<float>(std::size_t(m_capacity));
            }
            for (int i = 0; i < m; ++i) {
                m_copyX[i] = outlineX[m_vertices[i]];
                m_copyY[i] = outlineY[m_vertices[i]];
            }
            m_x = m_copyX;
            m_y = m_copyY;
        } else {
            m_x = outlineX;
            m_y = outlineY;
        }
        for (int i = 0; i < m; ++i) {
            m_prev[i] = i - 1;
            m_next[i] = i + 1;
        }
        m_prev[0] = m - 1;
        m_next[m - 1] = 0;
        std::fill_n(m_alive, m, 1);
        std::fill_n(m_state, m, Reflex);
        std::fill_n(m_witness, m, -1);
        std::fill_n(m_watchHead, m, -1);
        m_ears.reset(m);
        m_remaining = m;
    }

    void unwatch(int i)
    {
        const int witness = m_witness[i];
        if (witness < 0)
            return;
        if (m_watchPrev[i] >= 0)
            m_watchNext[m_watchPrev[i]] = m_watchNext[i];
        else
            m_watchHead[witness] = m_watchNext[i];
        if (m_watchNext[i] >= 0)
            m_watchPrev[m_watchNext[i]] = m_watchPrev[i];
        m_witness[i] = -1;
    }

    void watch(int i, int witness)
    {
        m_witness[i] = witness;
        m_watchPrev[i] = -1;
        m_watchNext[i] = m_watchHead[witness];
        if (m_watchNext[i] >= 0)
            m_watchPrev[m_watchNext[i]] = i;
        m_watchHead[witness] = i;
    }

    // The reference's isEar and score for vertex i, except that the search
    // for vertices inside its triangle waits until i comes out on top of the
    // queue: most candidates change neighbours before that, and a blocked
    // one is only ever turned into an ear by the removal of what blocks it.
    void evaluate(int i)
    {
        unwatch(i);
        const int prev = m_prev[i], next = m_next[i];
        const float px = m_x[prev], py = m_y[prev];
        const float nx = m_x[next], ny = m_y[next];
        const float ix = m_x[i], iy = m_y[i];
        const float dx0 = ix - px, dy0 = iy - py;
        const float dx1 = nx - ix, dy1 = ny - iy;
        if (dx0 * dy1 - dx1 * dy0 > 0.0f) {
            setState(i, Reflex);
            return;
        }
        m_state[i] = Candidate;
        // The sides from i are the edges at hand; only the side from prev to
        // next is new, and it becomes prev's edge if i is clipped. The
        // reference's d3 runs from next to prev: the negation of this chord,
        // bit for bit (a - b is exactly -(b - a), and so on through the
        // normalisation) up to the sign of a zero, which the fabs in the
        // score takes off.
        float chordX = nx - px, chordY = ny - py;
        normalizeIfLong(chordX, chordY);
        m_chordX[i] = chordX;
        m_chordY[i] = chordY;
        const float score = earScore(m_edgeX[i], m_edgeY[i], m_edgeX[prev], m_edgeY[prev], -chordX, -chordY);
        m_ears.set(i, EarQueue::key(score, i));
    }

    // evaluate() for every vertex of a fresh polygon, and the edges at each
    // vertex it needs. Four vertices at a time where the processor allows: the
    // vector operations are the same IEEE single-precision operations as the
    // scalar ones, lane by lane and in the same order (the library is built
    // without contraction), and a select stands in for each branch, so every
    // lane comes out bit for bit as evaluate() would have it.
    void evaluateAll(int m)
    {
        float* const rx = m_ringX;
        float* const ry = m_ringY;
        rx[0] = m_x[m - 1];
        ry[0] = m_y[m - 1];
        std::copy_n(m_x, m, rx + 1);
        std::copy_n(m_y, m, ry + 1);
        rx[m + 1] = m_x[0];
        ry[m + 1] = m_y[0];

        int i = 0;
#if defined(__SSE2__)
        for (; i + 4 <= m; i += 4) {
            __m128 dx = _mm_sub_ps(_mm_loadu_ps(rx + i + 2), _mm_loadu_ps(rx + i + 1));
            __m128 dy = _mm_sub_ps(_mm_loadu_ps(ry + i + 2), _mm_loadu_ps(ry + i + 1));
            normalizeIfLong4(dx, dy);
            _mm_storeu_ps(m_edgeX + i, dx);
            _mm_storeu_ps(m_edgeY + i, dy);
        }
#endif
        for (; i < m; ++i) {
            float dx = rx[i + 2] - rx[i + 1], dy = ry[i + 2] - ry[i + 1];
            normalizeIfLong(dx, dy);
            m_edgeX[i] = dx;
            m_edgeY[i] = dy;
        }
        m_edgeX[-1] = m_edgeX[m - 1];
        m_edgeY[-1] = m_edgeY[m - 1];

        i = 0;
#if defined(__SSE2__)
        const __m128 sign = _mm_castsi128_ps(_mm_set1_epi32(std::int32_t(0x80000000u)));
        const __m128 zero = _mm_setzero_ps();
        for (; i + 4 <= m; i += 4) {
            const __m128 px = _mm_loadu_ps(rx + i), py = _mm_loadu_ps(ry + i);
            const __m128 ix = _mm_loadu_ps(rx + i + 1), iy = _mm_loadu_ps(ry + i + 1);
            const __m128 nx = _mm_loadu_ps(rx + i + 2), ny = _mm_loadu_ps(ry + i + 2);
            const __m128 dx0 = _mm_sub_ps(ix, px), dy0 = _mm_sub_ps(iy, py);
            const __m128 dx1 = _mm_sub_ps(nx, ix), dy1 = _mm_sub_ps(ny, iy);
            const __m128 reflex = _mm_cmpgt_ps(_mm_sub_ps(_mm_mul_ps(dx0, dy1), _mm_mul_ps(dx1, dy0)), zero);
            __m128 chordX = _mm_sub_ps(nx, px), chordY = _mm_sub_ps(ny, py);
            normalizeIfLong4(chordX, chordY);
            _mm_storeu_ps(m_chordX + i, chordX);
            _mm_storeu_ps(m_chordY + i, chordY);
            // earScore(edge[i], edge[prev], -chord); flipping the sign bit is the negation.
            const __m128 d1x = _mm_loadu_ps(m_edgeX + i), d1y = _mm_loadu_ps(m_edgeY + i);
            const __m128 d2x = _mm_loadu_ps(m_edgeX + i - 1), d2y = _mm_loadu_ps(m_edgeY + i - 1);
            const __m128 d3x = _mm_xor_ps(chordX, sign), d3y = _mm_xor_ps(chordY, sign);
            const __m128 s1 = _mm_andnot_ps(sign, _mm_sub_ps(_mm_mul_ps(d2y, d1x), _mm_mul_ps(d1y, d2x)));
            const __m128 s2 = _mm_andnot_ps(sign, _mm_sub_ps(_mm_mul_ps(d2x, d3y), _mm_mul_ps(d2y, d3x)));
            const __m128 s3 = _mm_andnot_ps(sign, _mm_sub_ps(_mm_mul_ps(d3x, d1y), _mm_mul_ps(d1x, d3y)));
            // min(a, b) is "a < b ? a : b", the scalar code's "if (s < score)".
            const __m128 score = _mm_min_ps(s3, _mm_min_ps(s2, s1));
            const int reflexLanes = _mm_movemask_ps(reflex);
            alignas(16) float lane[4];
            _mm_store_ps(lane, score);
            for (int k = 0; k < 4; ++k) {
                if (reflexLanes & (1 << k)) {
                    m_state[i + k] = Reflex;
                    continue;
                }
                m_state[i + k] = Candidate;
                m_ears.append(EarQueue::key(lane[k], i + k));
            }
        }
#endif
        for (; i < m; ++i) {
            const float px = rx[i], py = ry[i];
            const float ix = rx[i + 1], iy = ry[i + 1];
            const float nx = rx[i + 2], ny = ry[i + 2];
            const float dx0 = ix - px, dy0 = iy - py;
            const float dx1 = nx - ix, dy1 = ny - iy;
            if (dx0 * dy1 - dx1 * dy0 > 0.0f)
                continue; // reset() made it Reflex
            m_state[i] = Candidate;
            float chordX = nx - px, chordY = ny - py;
            normalizeIfLong(chordX, chordY);
            m_chordX[i] = chordX;
            m_chordY[i] = chordY;
            const float score = earScore(m_edgeX[i], m_edgeY[i], m_edgeX[i - 1], m_edgeY[i - 1], -chordX, -chordY);
            m_ears.append(EarQueue::key(score, i));
        }
        m_ears.heapify();
    }

    // The best candidate that no other vertex blocks: the reference's best ear.
    int popEar()
    {
        for (;;) {
            const int i = m_ears.pop();
            if (i < 0)
                return -1;
            const int prev = m_prev[i], next = m_next[i];
            EarTriangle triangle(m_x[i], m_y[i], m_x[next], m_y[next], m_x[prev], m_y[prev]);
            int inside = -1;
            if (m_search == Search::List) {
                inside = m_list.findInside(triangle, prev, i, next);
            } else if (m_search == Search::Strips) {
                inside = m_strips.findInside(triangle, prev, i, next);
            } else {
                triangle.prepare();
                if (!triangle.containsNothing())
                    inside = m_grid.findInside(triangle, prev, i, next, m_alive);
            }
            if (inside < 0) {
                m_poppedKeepsOrder = triangle.keptOrder;
                return i;
            }
            m_state[i] = Blocked;
            watch(i, inside);
        }
    }

    void setState(int i, State state)
    {
        if (m_state[i] == Candidate)
            m_ears.remove(i);
        m_state[i] = state;
    }

    void removeVertex(int i)
    {
        unwatch(i);
        m_alive[i] = 0;
        m_next[m_prev[i]] = m_next[i];
        m_prev[m_next[i]] = m_prev[i];
        if (m_search == Search::List)
            m_list.remove(i);
        else if (m_search == Search::Strips)
            m_strips.remove(i);
        --m_remaining;
    }

    Arena& m_arena;
    const int m_capacity;
    const int* m_vertices = nullptr;
    const float* m_x = nullptr;
    const float* m_y = nullptr;
    float* m_copyX = nullptr;
    float* m_copyY = nullptr;
    int* m_prev;
    int* m_next;
    unsigned char* m_alive;
    unsigned char* m_state;
    int* m_witness;
    int* m_watchHead;
    int* m_watchPrev;
    int* m_watchNext;
    // Each vertex's edge to its next one and, for candidates, the side from
    // its prev to its next, both normalised as the ear score wants them.
    float* m_edgeX;
    float* m_edgeY;
    float* m_chordX;
    float* m_chordY;
    float* m_ringX;
    float* m_ringY;
    EarQueue m_ears;
    VertexGrid m_grid;
    VertexList m_list;
    VertexStrips m_strips;
    // Where popEar() looks for vertices inside an ear, by the polygon's size.
    enum class Search { List, Strips, Grid } m_search = Search::List;
    int m_remaining = 0;
    bool m_poppedKeepsOrder = false; // of the ear popEar() last returned
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
bool triangulate(const float* x, const float* y, int n, bool pinched, const int* partner, TriangleList& triangles,
                 Arena& arena)
{
    EarClipper clipper(n, arena);
    if (!pinched)
        return clipper.clip(nullptr, n, x, y, triangles);

    const PartnerTree tree(partner, n, arena);
    struct Part
    {
        int lo, hi;
        std::vector<int> tail;
    };
    // B parts wait here while their A part, and its own parts, are done first.
    std::vector<Part> pending;
    std::vector<int> vertices;
    pending.push_back({0, n - 1, {}});
    while (!pending.empty()) {
        Part part = std::move(pending.back());
        pending.pop_back();
        for (;;) {
            const int p = tree.firstWithin(part.lo, part.hi);
            if (p < 0)
                break;
            const int q = partner[p];
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
        if (!clipper.clip(vertices.data(), int(vertices.size()), x, y, triangles))
            return false;
    }
    return true;
}

// ---------------------------------------------------------------------------
// Growing convex pieces.

// Numbers the distinct coordinates, so that "same point" (exact float
// equality, which treats -0 and 0 alike) becomes an integer comparison.
int* pointClasses(const float* x, const float* y, int n, int& classCount, Arena& arena)
{
    int* const classOf = arena.allocate<int>(std::size_t(n));
    const std::size_t capacity = tableCapacity(n);
    const std::size_t mask = capacity - 1;
    std::uint64_t* const keys = arena.allocate<std::uint64_t>(capacity);
    int* const ids = arena.filled<int>(capacity, -1);
    classCount = 0;
    for (int i = 0; i < n; ++i) {
        float fx = x[i], fy = y[i];
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
        classOf[i] = ids[slot];
    }
    return classOf;
}

class PieceBuilder
{
public:
    // With `classOf` null every vertex is a point of its own.
    PieceBuilder(const float* x, const float* y, const int* classOf, int classCount, const TriangleList& triangles,
                 Arena& arena)
        : m_x(x), m_y(y), m_triangles(triangles.data), m_count(triangles.size)
    {
        const int count = m_count;
        const std::size_t triangleCount = std::size_t(count);
        m_triangleClass = arena.allocate<Corners>(triangleCount);
        // The corners' points; true for a degenerate triangle, which never
        // starts or joins a piece.
        auto classify = [&](int t) {
            Corners& classes = m_triangleClass[t];
            for (int k = 0; k < 3; ++k) {
                const int v = m_triangles[t].v[k];
                classes.c[k] = classOf ? classOf[v] : v;
            }
            return classes.c[0] == classes.c[1] || classes.c[1] == classes.c[2] || classes.c[0] == classes.c[2];
        };
        if (count <= smallPieceLimit) {
            // For each point, the triangles touching it as a bit set; only
            // these and m_coveredBits are used.
            m_words = count <= 64 ? 1 : count <= 128 ? 2 : 4;
            m_incidentBits = arena.filled<std::uint64_t>(std::size_t(classCount) * std::size_t(m_words), 0);
            for (int t = 0; t < count; ++t) {
                const std::uint64_t bit = std::uint64_t(1) << (t & 63);
                if (classify(t)) {
                    m_coveredBits[t >> 6] |= bit;
                    continue;
                }
                for (int c : m_triangleClass[t].c)
                    m_incidentBits[std::size_t(c) * std::size_t(m_words) + std::size_t(t >> 6)] |= bit;
            }
            return;
        }
        m_covered = arena.filled<unsigned char>(triangleCount, 0);
        m_matches = arena.filled<unsigned char>(triangleCount, 0);
        m_slot = arena.allocate<Corners>(triangleCount);
        m_touched = arena.allocate<int>(triangleCount);
        m_candidates = arena.allocate<int>(triangleCount);
        int* const sizes = arena.filled<int>(std::size_t(classCount), 0);
        for (int t = 0; t < count; ++t) {
            if (classify(t)) {
                m_covered[t] = 1;
                continue;
            }
            for (int c : m_triangleClass[t].c)
                ++sizes[c];
        }
        // For each point, the triangles touching it, in list order, closed
        // by a sentinel whose entry points to itself.
        m_begin = arena.allocate<int>(std::size_t(classCount) + 1);
        m_begin[0] = 0;
        for (int c = 0; c < classCount; ++c)
            m_begin[c + 1] = m_begin[c] + sizes[c] + 1;
        const int incidentCount = m_begin[classCount];
        m_incident = arena.allocate<int>(std::size_t(incidentCount));
        int* const fill = sizes; // the counts are not needed any more
        std::copy_n(m_begin, classCount, fill);
        for (int t = 0; t < count; ++t) {
            if (m_covered[t])
                continue;
            for (int k = 0; k < 3; ++k) {
                const int c = m_triangleClass[t].c[k];
                m_slot[t].c[k] = fill[c];
                m_incident[fill[c]++] = t;
            }
        }
        for (int c = 0; c < classCount; ++c)
            m_incident[fill[c]] = sentinel;
        m_skip = arena.allocate<int>(std::size_t(incidentCount));
        for (int i = 0; i < incidentCount; ++i)
            m_skip[i] = i;
    }

    QVector<QPolygonF> build()
    {
        const int count = m_count;
        // Pieces never outnumber triangles, and are about half as many. Room
        // for all of them at once would, from 124 up, be a request large
        // enough for the C library to sort every recently freed small block
        // first (those of the last call's pieces, typically): a smaller list
        // spares short outlines that, and long ones grow it once or twice.
        QVector<QPolygonF> pieces;
        pieces.reserve(std::min(count, 120));
        int seed = 0;
        Piece pieceRoom, grownRoom;
        Piece* piecePointer = &pieceRoom;
        Piece* grownPointer = &grownRoom;
        for (;;) {
            if (m_words > 0) {
                seed = count;
                for (int w = 0; w < m_words; ++w) {
                    if (~m_coveredBits[w]) {
                        seed = std::min(w * 64 + __builtin_ctzll(~m_coveredBits[w]), count);
                        break;
                    }
                }
            } else {
                while (seed < count && m_covered[seed])
                    ++seed;
            }
            if (seed == count)
                break;
            Piece& piece = *piecePointer;
            piece.size = 0;
            for (int k = 0; k < 3; ++k)
                piece.append(m_triangles[seed].v[k], m_triangleClass[seed].c[k], m_x, m_y);
            if (m_words == 1)
                growFromBits<1>(seed, piecePointer, grownPointer);
            else if (m_words == 2)
                growFromBits<2>(seed, piecePointer, grownPointer);
            else if (m_words == 4)
                growFromBits<4>(seed, piecePointer, grownPointer);
            else
                growFromLists(seed, piecePointer, grownPointer);

            // Pieces never outnumber triangles, and there are at most n - 2 of
            // those, so the reference's limit of n stored pieces is never reached.
            Piece& finished = *piecePointer;
            mergeParallelEdges(finished);
            if (finished.size < 3)
                continue;
            QPolygonF polygon(finished.size);
            QPointF* const out = polygon.data();
            for (int i = 0; i < finished.size; ++i)
                out[i] = QPointF(finished.x[i], finished.y[i]);
            pieces.append(std::move(polygon));
        }
        return pieces;
    }

private:
    static constexpr int sentinel = std::numeric_limits<int>::max();

    struct Piece;

    // The reference visits indices 0, 1, ..., count - 1 twice over and offers
    // each uncovered triangle to the piece. Only a triangle with two of the
    // piece's points among its corners can join: those are the candidates,
    // and visiting just them, in the same order, gives the same piece. A
    // triangle turned down is turned down again as long as the piece stays
    // the same, so the second round ends at the last triangle taken in the
    // first, unless it takes one itself. A piece of the largest size takes
    // nothing more.
    void growFromLists(int seed, Piece*& piecePointer, Piece*& grownPointer)
    {
        cover(seed);
        for (int k = 0; k < 3; ++k)
            addPoint(m_triangleClass[seed].c[k]);
        int lastTaken = -1;
        for (int round = 0; round < 2; ++round) {
            bool takenThisRound = false;
            int at = -1;
            while (piecePointer->size < maxPieceVertices) {
                int next = sentinel, slot = -1;
                for (int k = 0; k < m_candidateCount; ++k) {
                    const int t = m_candidates[k];
                    if (t > at && t < next) {
                        next = t;
                        slot = k;
                    }
                }
                if (slot < 0 || (round == 1 && !takenThisRound && next > lastTaken))
                    break;
                at = next;
                Piece& grown = *grownPointer;
                const int tip = addTriangle(*piecePointer, next, grown);
                if (tip < 0 || grown.size > maxPieceVertices || !isConvex(grown))
                    continue;
                std::swap(piecePointer, grownPointer);
                m_candidates[slot] = m_candidates[--m_candidateCount];
                cover(next);
                addPoint(m_triangleClass[next].c[tip]);
                lastTaken = next;
                takenThisRound = true;
            }
        }
        for (int k = 0; k < m_touchedCount; ++k)
            m_matches[m_touched[k]] = 0;
        m_touchedCount = 0;
        m_candidateCount = 0;
    }

    // The same for at most 64 * Words triangles, with bit sets in place of
    // the lists: `once` holds the uncovered triangles at one point of the
    // piece or more and `twice` those at two or more (a point the piece holds
    // twice counts twice, as in addPoint()); the candidates are the uncovered
    // ones in `twice`, found in index order by counting trailing zeros.
    template<int Words>
    void growFromBits(int seed, Piece*& piecePointer, Piece*& grownPointer)
    {
        std::uint64_t* const covered = m_coveredBits;
        covered[seed >> 6] |= std::uint64_t(1) << (seed & 63);
        std::uint64_t once[Words] = {}, twice[Words] = {};
        auto addPointBits = [&](int pointClass) {
            const std::uint64_t* const incident = m_incidentBits + std::size_t(pointClass) * Words;
            for (int w = 0; w < Words; ++w) {
                const std::uint64_t touching = incident[w] & ~covered[w];
                twice[w] |= once[w] & touching;
                once[w] |= touching;
            }
        };
        // The lowest candidate above `at`, or -1.
        auto candidateAfter = [&](int at) {
            int w = (at + 1) >> 6;
            if (w >= Words)
                return -1;
            std::uint64_t bits = twice[w] & ~covered[w] & (~std::uint64_t(0) << ((at + 1) & 63));
            while (!bits) {
                if (++w == Words)
                    return -1;
                bits = twice[w] & ~covered[w];
            }
            return w * 64 + __builtin_ctzll(bits);
        };
        for (int k = 0; k < 3; ++k)
            addPointBits(m_triangleClass[seed].c[k]);
        int lastTaken = -1;
        for (int round = 0; round < 2; ++round) {
            bool takenThisRound = false;
            int at = -1;
            while (piecePointer->size < maxPieceVertices) {
                const int next = candidateAfter(at);
                if (next < 0 || (round == 1 && !takenThisRound && next > lastTaken))
                    break;
                at = next;
                Piece& grown = *grownPointer;
                const int tip = addTriangle(*piecePointer, next, grown);
                if (tip < 0 || grown.size > maxPieceVertices || !isConvex(grown))
                    continue;
                std::swap(piecePointer, grownPointer);
                covered[next >> 6] |= std::uint64_t(1) << (next & 63);
                addPointBits(m_triangleClass[next].c[tip]);
                lastTaken = next;
                takenThisRound = true;
            }
        }
    }

    struct Corners
    {
        int c[3];
    };

    // A piece with its points' classes and coordinates at hand.
    struct Piece
    {
        int size = 0;
        int pointClass[maxPieceVertices + 1];
        float x[maxPieceVertices + 1];
        float y[maxPieceVertices + 1];

        void append(int v, int c, const float* xs, const float* ys)
        {
            pointClass[size] = c;
            x[size] = xs[v];
            y[size] = ys[v];
            ++size;
        }
        void copy(const Piece& from, int i)
        {
            pointClass[size] = from.pointClass[i];
            x[size] = from.x[i];
            y[size] = from.y[i];
            ++size;
        }
    };

    // The first position at or after `at` in its list whose triangle is not
    // covered: covered positions point further on, shortcut as they are walked.
    int uncoveredFrom(int at)
    {
        while (m_skip[at] != at) {
            const int next = m_skip[at];
            m_skip[at] = m_skip[next];
            at = next;
        }
        return at;
    }

    // One more point of the piece: every uncovered triangle at that point has
    // one more match, as the reference's addTriangle counts them (a point the
    // piece holds twice counts twice); at two it becomes a candidate.
    void addPoint(int pointClass)
    {
        for (int at = uncoveredFrom(m_begin[pointClass]);; at = uncoveredFrom(at + 1)) {
            const int t = m_incident[at];
            if (t == sentinel)
                return;
            const int matches = ++m_matches[t];
            if (matches == 1)
                m_touched[m_touchedCount++] = t;
            else if (matches == 2)
                m_candidates[m_candidateCount++] = t;
        }
    }

    // Marks t covered: the lists step over it from now on.
    void cover(int t)
    {
        m_covered[t] = 1;
        for (int at : m_slot[t].c)
            m_skip[at] = at + 1;
    }

    // The reference's addTriangle; returns the corner of t that became the
    // tip, or -1 when t does not share two points with the piece.
    int addTriangle(const Piece& piece, int t, Piece& grown) const
    {
        const int n = piece.size;
        const Corners& classes = m_triangleClass[t];
        const int c0 = classes.c[0], c1 = classes.c[1], c2 = classes.c[2];
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
                grown.append(m_triangles[t].v[tip], classes.c[tip], m_x, m_y);
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

    const float* const m_x;
    const float* const m_y;
    const OutTriangle* const m_triangles;
    const int m_count;
    Corners* m_triangleClass = nullptr;
    unsigned char* m_covered = nullptr;
    unsigned char* m_matches = nullptr; // points of the current piece at each triangle
    int* m_begin = nullptr;
    int* m_incident = nullptr;
    int* m_skip = nullptr;
    Corners* m_slot = nullptr; // where each triangle is in its points' lists
    int* m_touched = nullptr;  // triangles with a match count to clear
    int m_touchedCount = 0;
    int* m_candidates = nullptr; // uncovered triangles with two matches or more
    int m_candidateCount = 0;
    // Up to smallPieceLimit triangles: the lists above as bit sets of
    // m_words words (0 when the lists are used).
    int m_words = 0;
    std::uint64_t m_coveredBits[smallPieceLimit / 64] = {};
    std::uint64_t* m_incidentBits = nullptr;
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
    // "Not <= limit" also holds for NaN, and infinities exceed the limit.
    const QPointF* const points = outline.constData();
    Arena arena;
    const std::size_t count = std::size_t(n);
    // Seven NaN past the end, for the close-pair scan's last block.
    float* const x = arena.allocate<float>(count + 7);
    float* const y = arena.allocate<float>(count + 7);
    bool usable = true;
    for (int i = 0; i < n; ++i) {
        const double px = points[i].x(), py = points[i].y();
        usable &= std::fabs(px) <= coordinateLimit;
        usable &= std::fabs(py) <= coordinateLimit;
        x[i] = float(px);
        y[i] = float(py);
    }
    if (!usable)
        return {};
    std::fill_n(x + n, 7, std::numeric_limits<float>::quiet_NaN());
    std::fill_n(y + n, 7, std::numeric_limits<float>::quiet_NaN());

    // The ear clipping wants a clockwise outline. The same pass looks for
    // equal neighbours, which reversing the order keeps as they are.
    // The sum runs in the reference's order, closing edge last.
    float area = 0.0f;
    bool equalNeighbours = false;
    for (int i = 0; i + 1 < n; ++i) {
        area += x[i] * y[i + 1] - x[i + 1] * y[i];
        equalNeighbours |= (x[i] == x[i + 1]) & (y[i] == y[i + 1]);
    }
    area += x[n - 1] * y[0] - x[0] * y[n - 1];
    equalNeighbours |= x[n - 1] == x[0] && y[n - 1] == y[0];
    area *= 0.5f;
    if (area > 0.0f) {
        std::reverse(x, x + n);
        std::reverse(y, y + n);
    }

    int* const partner = arena.allocate<int>(count);
    const bool pinched = findPinchPartners(x, y, n, partner, arena);

    TriangleList triangles;
    triangles.data = arena.allocate<OutTriangle>(count);
    if (!triangulate(x, y, n, pinched, partner, triangles, arena) || triangles.size == 0)
        return {};

    // Without pinch pairs, no two vertices but neighbours can be the same
    // point (equal floats are within the tolerance); with no neighbours equal
    // either, every vertex is a point of its own and needs no numbering.
    const bool distinct = !pinched && !equalNeighbours;
    int classCount = n;
    const int* const classOf = distinct ? nullptr : pointClasses(x, y, n, classCount, arena);
    return PieceBuilder(x, y, classOf, classCount, triangles, arena).build();
}
