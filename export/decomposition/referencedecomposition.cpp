#include "referencedecomposition.h"

#include "convexdecomposition.h"

#include <cmath>
#include <utility>
#include <vector>

// Written to be read, not to be fast: each step does exactly what the
// description of the decomposition says, in the same order, in float.

namespace {

constexpr int maxPolygonVertices = 8;
constexpr float pinchTolerance = 0.001f;
constexpr float lengthEpsilon = 1.1920929e-7f;
constexpr float parallelTolerance = 0.03490659f; // 2 degrees
constexpr float maxOffset = 0.1f; // how far off its neighbours' line a merged vertex may lie
constexpr float initialBestScore = -10.0f;

struct WorkPolygon
{
    std::vector<float> x;
    std::vector<float> y;
    int count = 0;
    float area = 0.0f;
    bool areaValid = false;

    WorkPolygon() = default;
    WorkPolygon(const float* xs, const float* ys, int n)
        : x(xs, xs + n), y(ys, ys + n), count(n)
    {
    }

    float signedArea()
    {
        if (!areaValid) {
            float sum = 0.0f;
            for (int i = 0; i < count; ++i) {
                const int j = i + 1 < count ? i + 1 : 0;
                sum += x[i] * y[j] - x[j] * y[i];
            }
            area = sum * 0.5f;
            areaValid = true;
        }
        return area;
    }
};

struct WorkTriangle
{
    float x[3] = {0, 0, 0};
    float y[3] = {0, 0, 0};

    WorkTriangle() = default;
    WorkTriangle(float x1, float y1, float x2, float y2, float x3, float y3)
    {
        const float cross = (x2 - x1) * (y3 - y1) - (x3 - x1) * (y2 - y1);
        x[0] = x1;
        y[0] = y1;
        if (cross > 0.0f) {
            x[1] = x2; y[1] = y2;
            x[2] = x3; y[2] = y3;
        } else {
            x[1] = x3; y[1] = y3;
            x[2] = x2; y[2] = y2;
        }
    }

    // Barycentric test; points on the boundary count as inside.
    bool containsPoint(float px, float py) const
    {
        if (x[0] > px && x[1] > px && x[2] > px)
            return false;
        if (x[0] < px && x[1] < px && x[2] < px)
            return false;
        if (y[0] > py && y[1] > py && y[2] > py)
            return false;
        if (y[0] < py && y[1] < py && y[2] < py)
            return false;
        const float ax = x[2] - x[0], ay = y[2] - y[0];
        const float bx = x[1] - x[0], by = y[1] - y[0];
        const float qx = px - x[0], qy = py - y[0];
        const float aa = ax * ax + ay * ay;
        const float ab = ax * bx + ay * by;
        const float aq = ax * qx + ay * qy;
        const float bb = bx * bx + by * by;
        const float bq = bx * qx + by * qy;
        const float inv = 1.0f / (bb * aa - ab * ab);
        const float u = (bb * aq - bq * ab) * inv;
        const float w = (aa * bq - ab * aq) * inv;
        return u >= 0.0f && w >= 0.0f && u + w <= 1.0f;
    }
};

void reverse(float* x, float* y, int n)
{
    for (int i = 0, j = n - 1; i < j; ++i, --j) {
        std::swap(x[i], x[j]);
        std::swap(y[i], y[j]);
    }
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

bool isEar(int i, const std::vector<float>& x, const std::vector<float>& y, int n)
{
    if (i < 0 || i >= n || n < 3)
        return false;
    const int prev = i == 0 ? n - 1 : i - 1;
    const int next = i == n - 1 ? 0 : i + 1;
    const float dx0 = x[i] - x[prev], dy0 = y[i] - y[prev];
    const float dx1 = x[next] - x[i], dy1 = y[next] - y[i];
    if (dx0 * dy1 - dx1 * dy0 > 0.0f)
        return false; // reflex in a clockwise polygon
    const WorkTriangle triangle(x[i], y[i], x[next], y[next], x[prev], y[prev]);
    for (int j = 0; j < n; ++j) {
        if (j == i || j == prev || j == next)
            continue;
        if (triangle.containsPoint(x[j], y[j]))
            return false;
    }
    return true;
}

// The smallest of the three sines of the triangle's angles: well-shaped ears first.
float earScore(int i, const std::vector<float>& x, const std::vector<float>& y, int n)
{
    const int prev = i == 0 ? n - 1 : i - 1;
    const int next = i == n - 1 ? 0 : i + 1;
    float d1x = x[next] - x[i], d1y = y[next] - y[i];
    float d2x = x[i] - x[prev], d2y = y[i] - y[prev];
    float d3x = x[prev] - x[next], d3y = y[prev] - y[next];
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

// Splits at the first pair of non-neighbouring vertices that (nearly) coincide.
bool resolvePinchPoint(const WorkPolygon& p, WorkPolygon& a, WorkPolygon& b)
{
    const int n = p.count;
    if (n < 3)
        return false;
    int pinchA = -1, pinchB = -1;
    for (int i = 0; i < n && pinchA < 0; ++i) {
        for (int j = i + 1; j < n; ++j) {
            if (std::fabs(p.x[i] - p.x[j]) < pinchTolerance && std::fabs(p.y[i] - p.y[j]) < pinchTolerance
                && j != i + 1) {
                pinchA = i;
                pinchB = j;
                break;
            }
        }
    }
    if (pinchA < 0)
        return false;
    const int sizeA = pinchB - pinchA;
    const int sizeB = n - sizeA;
    std::vector<float> ax(sizeA), ay(sizeA), bx(sizeB), by(sizeB);
    for (int k = 0; k < sizeA; ++k) {
        ax[k] = p.x[pinchA + k];
        ay[k] = p.y[pinchA + k];
    }
    for (int k = 0; k < sizeB; ++k) {
        const int index = (pinchB + k) % n;
        bx[k] = p.x[index];
        by[k] = p.y[index];
    }
    a = WorkPolygon(ax.data(), ay.data(), sizeA);
    b = WorkPolygon(bx.data(), by.data(), sizeB);
    return true;
}

// Ear clipping of a clockwise polygon; -1 when not a single ear was found.
int triangulatePolygon(const std::vector<float>& xv, const std::vector<float>& yv, int n,
                       std::vector<WorkTriangle>& triangles)
{
    if (n < 3)
        return 0;

    WorkPolygon polygon(xv.data(), yv.data(), n);
    WorkPolygon pinchA, pinchB;
    if (resolvePinchPoint(polygon, pinchA, pinchB)) {
        std::vector<WorkTriangle> trianglesA, trianglesB;
        const int countA = triangulatePolygon(pinchA.x, pinchA.y, pinchA.count, trianglesA);
        const int countB = triangulatePolygon(pinchB.x, pinchB.y, pinchB.count, trianglesB);
        if (countA == -1 || countB == -1)
            return -1;
        for (int k = 0; k < countA; ++k)
            triangles.push_back(trianglesA[k]);
        for (int k = 0; k < countB; ++k)
            triangles.push_back(trianglesB[k]);
        return countA + countB;
    }

    std::vector<float> x(xv.begin(), xv.begin() + n);
    std::vector<float> y(yv.begin(), yv.begin() + n);
    int vertices = n;
    int found = 0;
    while (vertices > 3) {
        int earIndex = -1;
        float bestScore = initialBestScore;
        for (int i = 0; i < vertices; ++i) {
            if (!isEar(i, x, y, vertices))
                continue;
            const float score = earScore(i, x, y, vertices);
            if (score > bestScore) {
                earIndex = i;
                bestScore = score;
            }
        }
        if (earIndex == -1)
            return found > 0 ? found : -1;

        const int prev = earIndex == 0 ? vertices - 1 : earIndex - 1;
        const int next = earIndex == vertices - 1 ? 0 : earIndex + 1;
        triangles.emplace_back(x[earIndex], y[earIndex], x[next], y[next], x[prev], y[prev]);
        ++found;
        x.erase(x.begin() + earIndex);
        y.erase(y.begin() + earIndex);
        --vertices;
    }
    triangles.emplace_back(x[1], y[1], x[2], y[2], x[0], y[0]);
    return found + 1;
}

// Grows p by the triangle when the two share an edge; false when they do not.
bool addTriangle(const WorkPolygon& p, const WorkTriangle& t, WorkPolygon& grown)
{
    int firstP = -1, firstT = -1, secondP = -1, secondT = -1;
    for (int i = 0; i < p.count; ++i) {
        int match = -1;
        if (t.x[0] == p.x[i] && t.y[0] == p.y[i])
            match = 0;
        else if (t.x[1] == p.x[i] && t.y[1] == p.y[i])
            match = 1;
        else if (t.x[2] == p.x[i] && t.y[2] == p.y[i])
            match = 2;
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
    // The shared edge wraps round: the tip goes after the last vertex.
    if (firstP == 0 && secondP == p.count - 1)
        firstP = p.count - 1;
    if (secondP == -1)
        return false;

    int tip = 0;
    while (tip == firstT || tip == secondT)
        ++tip;

    const int n = p.count + 1;
    std::vector<float> x(n), y(n);
    int out = 0;
    for (int i = 0; i < p.count; ++i) {
        x[out] = p.x[i];
        y[out] = p.y[i];
        ++out;
        if (i == firstP) {
            x[out] = t.x[tip];
            y[out] = t.y[tip];
            ++out;
        }
    }
    grown = WorkPolygon(x.data(), y.data(), n);
    return true;
}

// Zero turns count as positive, so straight runs do not spoil convexity.
bool isConvex(const WorkPolygon& p)
{
    bool positive = false;
    for (int i = 0; i < p.count; ++i) {
        const int prev = i == 0 ? p.count - 1 : i - 1;
        const int next = i == p.count - 1 ? 0 : i + 1;
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

// Drops vertices between (nearly) parallel edges that lie within maxOffset of
// the line through their neighbours, and repeated vertices. Every
// test looks at the vertex's neighbours in the input, not at the survivors; a
// vertex may only go while more than three are left before its removal, so a
// piece never falls below a triangle.
void mergeParallelEdges(WorkPolygon& p, float tolerance)
{
    const int n = p.count;
    if (n < 4)
        return;
    std::vector<bool> remove(n, false);
    int remaining = n;
    for (int i = 0; i < n; ++i) {
        const int prev = i == 0 ? n - 1 : i - 1;
        const int next = i == n - 1 ? 0 : i + 1;
        float dx0 = p.x[i] - p.x[prev], dy0 = p.y[i] - p.y[prev];
        float dx1 = p.x[next] - p.x[i], dy1 = p.y[next] - p.y[i];
        const float length0 = std::sqrt(dx0 * dx0 + dy0 * dy0);
        const float length1 = std::sqrt(dx1 * dx1 + dy1 * dy1);
        if (!(length0 > 0.0f && length1 > 0.0f)) {
            if (remaining > 3) {
                remove[i] = true;
                --remaining;
            }
            // A zero-length edge has no direction, so there is nothing more to test.
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
        // |cross| times both lengths is twice the area of the triangle (prev, i, next);
        // over the base it is the vertex's distance from the line through its neighbours.
        const float baseX = p.x[next] - p.x[prev], baseY = p.y[next] - p.y[prev];
        const float length2 = std::sqrt(baseX * baseX + baseY * baseY);
        const bool onBase = length0 * length1 * std::fabs(cross) < maxOffset * length2;
        if (std::fabs(cross) < tolerance && dot > 0.0f && onBase && remaining > 3) {
            remove[i] = true;
            --remaining;
        }
    }
    if (remaining == n)
        return;
    std::vector<float> x, y;
    x.reserve(remaining);
    y.reserve(remaining);
    for (int i = 0; i < n; ++i) {
        if (!remove[i]) {
            x.push_back(p.x[i]);
            y.push_back(p.y[i]);
        }
    }
    p = WorkPolygon(x.data(), y.data(), remaining);
}

// Greedily grows convex pieces of at most maxPolygonVertices from the triangles.
int polygonizeTriangles(const std::vector<WorkTriangle>& triangles, int count, std::vector<WorkPolygon>& results,
                        int maxPolygons)
{
    if (count < 1)
        return 0;
    std::vector<bool> covered(count, false);
    for (int i = 0; i < count; ++i) {
        const WorkTriangle& t = triangles[i];
        if ((t.x[0] == t.x[1] && t.y[0] == t.y[1]) || (t.x[1] == t.x[2] && t.y[1] == t.y[2])
            || (t.x[0] == t.x[2] && t.y[0] == t.y[2]))
            covered[i] = true;
    }

    int polygonCount = 0;
    for (;;) {
        int current = -1;
        for (int i = 0; i < count; ++i) {
            if (!covered[i]) {
                current = i;
                break;
            }
        }
        if (current == -1)
            return polygonCount;

        WorkPolygon polygon(triangles[current].x, triangles[current].y, 3);
        covered[current] = true;
        // Two rounds over the triangle list, each visit a single triangle, so a
        // triangle skipped early can still join once the piece has grown towards it.
        for (int k = 0; k < 2 * count; ++k) {
            const int index = k % count;
            if (covered[index])
                continue;
            WorkPolygon grown;
            if (!addTriangle(polygon, triangles[index], grown))
                continue;
            if (grown.count < maxPolygonVertices + 1 && isConvex(grown)) {
                polygon = grown;
                covered[index] = true;
            }
        }

        if (polygonCount < maxPolygons) {
            mergeParallelEdges(polygon, parallelTolerance);
            if (polygon.count < 3)
                continue;
            results[polygonCount] = polygon;
        }
        if (polygon.count >= 3)
            ++polygonCount;
    }
}

int decomposeConvex(WorkPolygon& p, std::vector<WorkPolygon>& results, int maxPolygons)
{
    if (p.count < 3)
        return 0;
    std::vector<WorkTriangle> triangles;
    triangles.reserve(p.count - 2);
    int count;
    if (p.signedArea() > 0.0f) {
        WorkPolygon copy = p;
        reverse(copy.x.data(), copy.y.data(), copy.count);
        count = triangulatePolygon(copy.x, copy.y, copy.count, triangles);
    } else {
        count = triangulatePolygon(p.x, p.y, p.count, triangles);
    }
    if (count < 1)
        return -1;
    return polygonizeTriangles(triangles, count, results, maxPolygons);
}

}

QVector<QPolygonF> ReferenceDecomposition::decompose(const QPolygonF& outline)
{
    const int n = outline.size();
    if (n < 3)
        return {};
    for (const QPointF& point : outline) {
        if (!std::isfinite(point.x()) || !std::isfinite(point.y())
            || std::fabs(point.x()) > ConvexDecomposition::coordinateLimit
            || std::fabs(point.y()) > ConvexDecomposition::coordinateLimit)
            return {};
    }
    std::vector<float> x(n), y(n);
    for (int i = 0; i < n; ++i) {
        x[i] = float(outline[i].x());
        y[i] = float(outline[i].y());
    }
    WorkPolygon polygon(x.data(), y.data(), n);
    std::vector<WorkPolygon> results(n);
    const int count = decomposeConvex(polygon, results, n);

    QVector<QPolygonF> pieces;
    for (int i = 0; i < count && i < n; ++i) {
        QPolygonF piece;
        piece.reserve(results[i].count);
        for (int k = 0; k < results[i].count; ++k)
            piece << QPointF(results[i].x[k], results[i].y[k]);
        pieces << piece;
    }
    return pieces;
}
