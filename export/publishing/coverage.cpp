#include "coverage.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

// A sweep over vertical slabs, one between each two neighbouring corner x
// coordinates. Inside a slab no edge ends, so the edges across it are ordered
// bottom to top; where two of them cross, the slab is cut at the crossing until
// none is left. Between two neighbouring edges whether a point is filled (an
// odd number of outline edges below it) and covered (in some piece: a positive
// sum of the piece edges below it) does not change, and the strip is a
// trapezoid whose area is its width times its height in the middle.
//
// Long piece edges cross many slabs, so the sweep with the pieces is slow on
// large outlines. It is needed only for an outline that crosses itself or
// winds round some part twice: the pieces of any other outline lie inside it
// without overlapping (every ear is), so their areas simply add up.

namespace Coverage {

namespace {

struct Point
{
    float x, y; // rounded as the decomposition rounds the outline, so that shared edges coincide exactly
};

struct Edge
{
    Point a, b; // a.x < b.x
    int winding; // 0 for the outline; for a piece +1 below its inside, -1 above
};

using Polygon = std::vector<Point>;

double yAt(const Edge& e, double x)
{
    if (x == e.a.x)
        return e.a.y;
    if (x == e.b.x)
        return e.b.y;
    return e.a.y + (double(e.b.y) - e.a.y) * ((x - e.a.x) / (double(e.b.x) - e.a.x));
}

// Empty for a corner beyond the float range.
Polygon rounded(const QPolygonF& polygon)
{
    Polygon points;
    points.reserve(polygon.size());
    for (const QPointF& p : polygon) {
        points.push_back({float(p.x()), float(p.y())});
        if (!std::isfinite(points.back().x) || !std::isfinite(points.back().y))
            return {};
    }
    return points;
}

// Twice the signed area, and the sum of the magnitudes of its terms (for the
// size of its rounding error).
std::pair<double, double> twiceArea(const Polygon& polygon)
{
    double sum = 0, magnitude = 0;
    for (std::size_t i = 0; i < polygon.size(); ++i) {
        const Point& p = polygon[i];
        const Point& q = polygon[i + 1 < polygon.size() ? i + 1 : 0];
        const double term = double(p.x) * q.y - double(q.x) * p.y;
        sum += term;
        magnitude += std::fabs(term);
    }
    return {sum, magnitude};
}

// The edges but the vertical ones, which no slab crosses.
void addEdges(const Polygon& polygon, bool isPiece, std::vector<Edge>& edges)
{
    // A clockwise piece counts as a counter-clockwise one, so that
    // overlapping pieces never cancel.
    const int direction = isPiece && twiceArea(polygon).first < 0 ? -1 : 1;
    for (std::size_t i = 0; i < polygon.size(); ++i) {
        const Point& a = polygon[i];
        const Point& b = polygon[i + 1 < polygon.size() ? i + 1 : 0];
        if (a.x == b.x)
            continue;
        const int winding = isPiece ? (b.x > a.x ? direction : -direction) : 0;
        edges.push_back(a.x < b.x ? Edge{a, b, winding} : Edge{b, a, winding});
    }
}

class Sweep
{
public:
    explicit Sweep(std::vector<Edge> edges)
        : m_edges(std::move(edges))
    {
        double scale = 1;
        std::vector<double> xs;
        xs.reserve(2 * m_edges.size());
        for (const Edge& e : m_edges) {
            xs.push_back(e.a.x);
            xs.push_back(e.b.x);
            scale = std::max({scale, std::fabs(double(e.a.x)), std::fabs(double(e.b.x)), std::fabs(double(e.a.y)),
                              std::fabs(double(e.b.y))});
        }
        m_tolerance = 1e-12 * scale;
        std::sort(xs.begin(), xs.end());
        xs.erase(std::unique(xs.begin(), xs.end()), xs.end());
        std::sort(m_edges.begin(), m_edges.end(), [](const Edge& a, const Edge& b) { return a.a.x < b.a.x; });

        std::vector<const Edge*> across;
        std::size_t next = 0;
        for (std::size_t s = 0; s + 1 < xs.size(); ++s) {
            const double xa = xs[s], xb = xs[s + 1];
            // Every edge ends on a slab border: it crosses this slab when it
            // starts at or before xa and ends after it.
            across.erase(std::remove_if(across.begin(), across.end(), [xa](const Edge* e) { return e->b.x <= xa; }),
                         across.end());
            for (; next < m_edges.size() && m_edges[next].a.x <= xa; ++next)
                across.push_back(&m_edges[next]);
            m_pending.assign(1, {xa, xb});
            while (!m_pending.empty()) {
                const std::pair<double, double> part = m_pending.back();
                m_pending.pop_back();
                slab(part.first, part.second, across);
            }
        }
    }

    double filled = 0;
    double covered = 0;
    // Where edges cross inside a slab (not where they merely touch).
    long crossings = 0;

private:
    struct Crossing
    {
        const Edge* edge;
        double left, right;
    };

    void slab(double xa, double xb, const std::vector<const Edge*>& across)
    {
        m_order.clear();
        for (const Edge* e : across)
            m_order.push_back({e, yAt(*e, xa), yAt(*e, xb)});
        std::sort(m_order.begin(), m_order.end(), [](const Crossing& a, const Crossing& b) {
            return a.left + a.right < b.left + b.right;
        });
        // Ordered in the middle and at both ends: no two edges cross in between.
        // Otherwise the first pair out of order crosses; a cut that rounding
        // puts on an end, or too many cuts, leaves an error of rounding size.
        for (std::size_t k = 0; k + 1 < m_order.size(); ++k) {
            const Crossing& low = m_order[k];
            const Crossing& high = m_order[k + 1];
            const double gapLeft = high.left - low.left, gapRight = high.right - low.right;
            if ((gapLeft < -m_tolerance || gapRight < -m_tolerance) && crossings < maxCrossings) {
                const double x = xa + (xb - xa) * (gapLeft / (gapLeft - gapRight));
                if (x > xa && x < xb) {
                    ++crossings;
                    m_pending.push_back({xa, x});
                    m_pending.push_back({x, xb});
                    return;
                }
            }
        }
        const double width = xb - xa;
        bool inside = false;
        int winding = 0;
        for (std::size_t k = 0; k + 1 < m_order.size(); ++k) {
            const Crossing& low = m_order[k];
            if (low.edge->winding == 0)
                inside = !inside;
            winding += low.edge->winding;
            if (!inside)
                continue;
            const Crossing& high = m_order[k + 1];
            const double area = width * ((high.left + high.right) - (low.left + low.right)) / 2;
            filled += area;
            if (winding > 0)
                covered += area;
        }
    }

    // A bound for outlines that cross themselves everywhere.
    static constexpr long maxCrossings = 2000000;

    std::vector<Edge> m_edges;
    double m_tolerance = 0;
    std::vector<std::pair<double, double>> m_pending;
    std::vector<Crossing> m_order;
};

}

Areas measure(const QPolygonF& outline, const QVector<QPolygonF>& pieces)
{
    const Polygon corners = rounded(outline);
    std::vector<Polygon> cut;
    for (const QPolygonF& piece : pieces) {
        cut.push_back(rounded(piece));
        if (cut.back().empty() && !piece.isEmpty())
            return {};
    }
    if (corners.empty())
        return {};

    std::vector<Edge> edges;
    addEdges(corners, false, edges);
    const Sweep alone(edges);
    // The odd-even area equals the signed one, up to rounding, just where
    // the outline winds round nothing twice or in both directions: no two of
    // its edges cross.
    const auto [signedArea, magnitude] = twiceArea(corners);
    if (alone.crossings == 0 && std::fabs(alone.filled - std::fabs(signedArea) / 2) <= 1e-9 * magnitude) {
        double sum = 0;
        for (const Polygon& piece : cut)
            sum += std::fabs(twiceArea(piece).first) / 2;
        return {alone.filled, std::min(sum, alone.filled)};
    }

    for (const Polygon& piece : cut)
        addEdges(piece, true, edges);
    const Sweep together(std::move(edges));
    return {together.filled, std::min(together.covered, together.filled)};
}

}
