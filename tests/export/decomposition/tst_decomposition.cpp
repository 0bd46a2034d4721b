#include "convexdecomposition.h"
#include "referencedecomposition.h"

#include <QRandomGenerator>
#include <QtMath>
#include <QtTest>

#include <cmath>
#include <cstring>
#include <limits>
#include <thread>
#include <vector>

namespace {

using Pieces = QVector<QPolygonF>;

double signedArea(const QPolygonF& polygon)
{
    double sum = 0;
    for (int i = 0; i < polygon.size(); ++i) {
        const QPointF& a = polygon[i];
        const QPointF& b = polygon[(i + 1) % polygon.size()];
        sum += a.x() * b.y() - b.x() * a.y();
    }
    return sum / 2;
}

double areaSum(const Pieces& pieces)
{
    double sum = 0;
    for (const QPolygonF& piece : pieces)
        sum += signedArea(piece);
    return sum;
}

// Convex and counter-clockwise, up to rounding: no turn to the right.
bool isConvexCounterClockwise(const QPolygonF& polygon)
{
    const int n = polygon.size();
    double scale = 0;
    for (const QPointF& p : polygon)
        scale = std::max({scale, std::fabs(p.x()), std::fabs(p.y())});
    for (int i = 0; i < n; ++i) {
        const QPointF& a = polygon[(i + n - 1) % n];
        const QPointF& b = polygon[i];
        const QPointF& c = polygon[(i + 1) % n];
        const double cross = (b.x() - a.x()) * (c.y() - b.y()) - (b.y() - a.y()) * (c.x() - b.x());
        if (cross < -1e-5 * scale * scale)
            return false;
    }
    return true;
}

QPolygonF reversed(QPolygonF polygon)
{
    std::reverse(polygon.begin(), polygon.end());
    return polygon;
}

// Bit for bit: the shipped implementation has to reproduce the reference exactly.
QString difference(const Pieces& expected, const Pieces& actual)
{
    if (expected.size() != actual.size())
        return QStringLiteral("%1 pieces instead of %2").arg(actual.size()).arg(expected.size());
    for (int i = 0; i < expected.size(); ++i) {
        if (expected[i].size() != actual[i].size())
            return QStringLiteral("piece %1 has %2 points instead of %3")
                .arg(i)
                .arg(actual[i].size())
                .arg(expected[i].size());
        for (int k = 0; k < expected[i].size(); ++k) {
            const QPointF& e = expected[i][k];
            const QPointF& a = actual[i][k];
            if (std::memcmp(&e, &a, sizeof(QPointF)) != 0)
                return QStringLiteral("piece %1 point %2 is (%3, %4) instead of (%5, %6)")
                    .arg(i)
                    .arg(k)
                    .arg(a.x(), 0, 'g', 10)
                    .arg(a.y(), 0, 'g', 10)
                    .arg(e.x(), 0, 'g', 10)
                    .arg(e.y(), 0, 'g', 10);
        }
    }
    return QString();
}

QByteArray describe(const QPolygonF& outline)
{
    QStringList points;
    for (const QPointF& p : outline)
        points << QStringLiteral("(%1, %2)").arg(p.x(), 0, 'g', 17).arg(p.y(), 0, 'g', 17);
    return points.join(QStringLiteral(", ")).toUtf8();
}

// ---------------------------------------------------------------------------
// Outline generators for the equivalence runs; each takes its own generator
// so that a failing case can be reproduced from the seed alone.

// Random radii at sorted random angles: simple, star-shaped.
QPolygonF starShaped(QRandomGenerator& random, int n, double scale, QPointF centre)
{
    QList<double> angles;
    for (int i = 0; i < n; ++i)
        angles << random.generateDouble() * 2 * M_PI;
    std::sort(angles.begin(), angles.end());
    QPolygonF outline;
    for (double angle : angles) {
        const double radius = scale * (0.2 + random.generateDouble());
        outline << centre + QPointF(radius * std::cos(angle), radius * std::sin(angle));
    }
    return outline;
}

// A radius that wanders while the angle creeps round once.
QPolygonF circleWalk(QRandomGenerator& random, int n)
{
    QPolygonF outline;
    double radius = 50;
    for (int i = 0; i < n; ++i) {
        const double angle = 2 * M_PI * (i + 0.8 * random.generateDouble()) / n;
        radius = qBound(10.0, radius + (random.generateDouble() - 0.5) * 12, 90.0);
        outline << QPointF(radius * std::cos(angle), radius * std::sin(angle));
    }
    return outline;
}

// The boundary of a pixel blob, as the outline tracer walks it: every pixel
// corner along the way, so long collinear runs, and here and there a point
// repeated. Simple: pixels touching only at a corner are joined first.
QPolygonF traced(QRandomGenerator& random, int size)
{
    double harmonics[4][2];
    for (auto& h : harmonics) {
        h[0] = 0.25 * (random.generateDouble() - 0.5);
        h[1] = random.generateDouble() * 2 * M_PI;
    }
    auto inside = [&](int x, int y) {
        if (x < 0 || y < 0 || x >= size || y >= size)
            return false;
        const double u = (x + 0.5) / size * 2 - 1, v = (y + 0.5) / size * 2 - 1;
        const double angle = std::atan2(v, u);
        double boundary = 0.7;
        for (int k = 0; k < 4; ++k)
            boundary += harmonics[k][0] * std::sin((k + 2) * angle + harmonics[k][1]);
        return std::hypot(u, v) < boundary;
    };
    QVector<bool> mask(size * size);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x)
            mask[y * size + x] = inside(x, y);
    }
    auto at = [&](int x, int y) { return x >= 0 && y >= 0 && x < size && y < size && mask[y * size + x]; };
    for (bool changed = true; changed;) {
        changed = false;
        for (int y = 0; y + 1 < size; ++y) {
            for (int x = 0; x + 1 < size; ++x) {
                const bool a = at(x, y), b = at(x + 1, y), c = at(x, y + 1), d = at(x + 1, y + 1);
                if ((a && d && !b && !c) || (b && c && !a && !d)) {
                    mask[y * size + x + (a ? 1 : 0)] = true;
                    changed = true;
                }
            }
        }
    }
    // Boundary edges with the blob on their left, corner to corner.
    auto key = [](int x, int y) { return (quint64(quint32(y)) << 32) | quint32(x); };
    QHash<quint64, QPoint> next;
    QList<QPoint> starts;
    auto edge = [&](int x0, int y0, int x1, int y1) {
        next.insert(key(x0, y0), QPoint(x1, y1));
        starts << QPoint(x0, y0);
    };
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            if (!at(x, y))
                continue;
            if (!at(x, y - 1))
                edge(x, y, x + 1, y);
            if (!at(x + 1, y))
                edge(x + 1, y, x + 1, y + 1);
            if (!at(x, y + 1))
                edge(x + 1, y + 1, x, y + 1);
            if (!at(x - 1, y))
                edge(x, y + 1, x, y);
        }
    }
    QPolygonF best;
    QSet<quint64> used;
    for (const QPoint& start : starts) {
        if (used.contains(key(start.x(), start.y())))
            continue;
        QPolygonF loop;
        for (QPoint p = start; !used.contains(key(p.x(), p.y())); p = next.value(key(p.x(), p.y()))) {
            used.insert(key(p.x(), p.y()));
            loop << p;
            if (random.bounded(12) == 0)
                loop << p;
        }
        if (std::fabs(signedArea(loop)) > std::fabs(signedArea(best)))
            best = loop;
    }
    return best;
}

// Two or three star-shaped parts traced as one outline through a shared
// point, repeated exactly or within the pinch tolerance.
QPolygonF pinched(QRandomGenerator& random, int n)
{
    const int parts = 2 + random.bounded(2);
    QPolygonF outline;
    const QPointF shared(random.bounded(5), random.bounded(5));
    for (int p = 0; p < parts; ++p) {
        const double angle = 2 * M_PI * p / parts;
        const QPointF centre = shared + QPointF(20 * std::cos(angle), 20 * std::sin(angle));
        QPolygonF part = starShaped(random, std::max(3, n / parts), 8, centre);
        part[0] = shared;
        if (random.bounded(2))
            part[0] += QPointF(0.0004 * random.generateDouble(), -0.0004 * random.generateDouble());
        outline << part;
    }
    return outline;
}

// Anything goes: crossings, repeats, collinear triples.
QPolygonF junk(QRandomGenerator& random, int n)
{
    QPolygonF outline;
    const int box = 2 + random.bounded(12);
    for (int i = 0; i < n; ++i)
        outline << QPointF(random.bounded(box), random.bounded(box));
    return outline;
}

QPolygonF scaled(QPolygonF outline, double factor, QPointF offset)
{
    for (QPointF& p : outline)
        p = p * factor + offset;
    return outline;
}

// Tall and three pixels wide, zigzagging up one side and down the other: all
// points on four columns, so every column holds a quarter of the outline.
QPolygonF ladder(QRandomGenerator& random, int n)
{
    QPolygonF outline;
    const int rungs = n / 2;
    for (int k = 0; k < rungs; ++k)
        outline << QPointF(k % 2, k + 0.5 * random.bounded(2));
    for (int k = n - rungs - 1; k >= 0; --k)
        outline << QPointF(3 - k % 2, k + 0.5 * random.bounded(2));
    return outline;
}

enum class Kind { Star, Walk, Traced, Pinched, Junk, Tiny, Huge, Snapped, Ladder };

QPolygonF generate(Kind kind, quint32 seed, int n)
{
    QRandomGenerator random(seed);
    QPolygonF outline;
    switch (kind) {
    case Kind::Star:
        outline = starShaped(random, n, 100, QPointF(3, -7));
        break;
    case Kind::Walk:
        outline = circleWalk(random, n);
        break;
    case Kind::Traced:
        outline = traced(random, std::max(3, n / 4));
        break;
    case Kind::Pinched:
        outline = pinched(random, n);
        break;
    case Kind::Junk:
        outline = junk(random, n);
        break;
    case Kind::Tiny:
        // Points closer than the pinch tolerance start to appear.
        outline = scaled(starShaped(random, n, 1, QPointF()), 2e-2, QPointF(1e-3, -2e-3));
        break;
    case Kind::Huge:
        outline = scaled(starShaped(random, n, 1, QPointF()), 1e6, QPointF(8e6, -8e6));
        break;
    case Kind::Snapped:
        // Star-shaped, then rounded to half pixels: duplicates and near-collinear points.
        outline = starShaped(random, n, 6, QPointF());
        for (QPointF& p : outline)
            p = QPointF(std::round(p.x() * 2) / 2, std::round(p.y() * 2) / 2);
        break;
    case Kind::Ladder:
        outline = ladder(random, n);
        break;
    }
    if (random.bounded(2))
        std::reverse(outline.begin(), outline.end());
    return outline;
}

}

class TestDecomposition : public QObject
{
    Q_OBJECT

private slots:
    void tooFewPoints_data();
    void tooFewPoints();
    void triangle_data();
    void triangle();
    void square_data();
    void square();
    void convexDodecagon();
    void lShape_data();
    void lShape();
    void repeatedFirstPoint_data();
    void repeatedFirstPoint();
    void pinchPoint_data();
    void pinchPoint();
    void pinchPointExactly();
    void pinchWithTheLastPoint_data();
    void pinchWithTheLastPoint();
    void collinearTriple();
    void collinearPointsMerged_data();
    void collinearPointsMerged();
    void earTiesGoToTheLowestIndex_data();
    void earTiesGoToTheLowestIndex();
    void selfIntersecting_data();
    void selfIntersecting();
    void unusableCoordinates_data();
    void unusableCoordinates();
    void simpleOutlinesGiveConvexPieces_data();
    void simpleOutlinesGiveConvexPieces();

    void matchesReference_data();
    void matchesReference();
    void matchesReferenceOnLargeOutlines_data();
    void matchesReferenceOnLargeOutlines();
    void matchesReferenceAroundStrategySwitches_data();
    void matchesReferenceAroundStrategySwitches();
    void workingMemoryIsPerThread();
};

void TestDecomposition::tooFewPoints_data()
{
    QTest::addColumn<QPolygonF>("outline");
    QTest::newRow("none") << QPolygonF();
    QTest::newRow("one") << QPolygonF(QVector<QPointF>{{1, 2}});
    QTest::newRow("two") << QPolygonF(QVector<QPointF>{{1, 2}, {3, 4}});
}

void TestDecomposition::tooFewPoints()
{
    QFETCH(QPolygonF, outline);
    QVERIFY(ConvexDecomposition::decompose(outline).isEmpty());
    QVERIFY(ReferenceDecomposition::decompose(outline).isEmpty());
}

void TestDecomposition::triangle_data()
{
    QTest::addColumn<QPolygonF>("outline");
    QTest::addColumn<QPolygonF>("expected");
    // Clockwise outlines are cut as they are; the corners come out in the order
    // (1, 0, 2), which is counter-clockwise.
    QTest::newRow("clockwise") << QPolygonF({{0, 0}, {0, 3}, {4, 0}}) << QPolygonF({{0, 3}, {0, 0}, {4, 0}});
    // Counter-clockwise outlines are reversed first.
    QTest::newRow("counter-clockwise") << QPolygonF({{0, 0}, {4, 0}, {0, 3}})
                                       << QPolygonF({{4, 0}, {0, 3}, {0, 0}});
    QTest::newRow("fractional") << QPolygonF({{0.5, 0.25}, {-1.5, 2.75}, {3.125, 1}})
                                << QPolygonF({{-1.5, 2.75}, {0.5, 0.25}, {3.125, 1}});
}

void TestDecomposition::triangle()
{
    QFETCH(QPolygonF, outline);
    QFETCH(QPolygonF, expected);
    const Pieces pieces = ConvexDecomposition::decompose(outline);
    QCOMPARE(pieces.size(), 1);
    QCOMPARE(pieces[0], expected);
    QVERIFY(signedArea(pieces[0]) > 0);
    QCOMPARE(ReferenceDecomposition::decompose(outline), pieces);
}

void TestDecomposition::square_data()
{
    QTest::addColumn<QPolygonF>("outline");
    const QPolygonF square({{0, 0}, {0, 2}, {2, 2}, {2, 0}});
    QTest::newRow("clockwise") << square;
    QTest::newRow("counter-clockwise") << reversed(square);
    QTest::newRow("offset clockwise") << square.translated(-10.5, 7.25);
    QTest::newRow("offset counter-clockwise") << reversed(square.translated(-10.5, 7.25));
}

void TestDecomposition::square()
{
    QFETCH(QPolygonF, outline);
    const Pieces pieces = ConvexDecomposition::decompose(outline);
    QCOMPARE(pieces.size(), 1);
    QCOMPARE(pieces[0].size(), 4);
    QCOMPARE(signedArea(pieces[0]), 4.0);
    for (const QPointF& p : outline)
        QVERIFY(pieces[0].contains(p));
    QCOMPARE(difference(ReferenceDecomposition::decompose(outline), pieces), QString());
}

void TestDecomposition::convexDodecagon()
{
    QPolygonF outline;
    for (int i = 0; i < 12; ++i)
        outline << QPointF(10 * std::cos(2 * M_PI * i / 12), 10 * std::sin(2 * M_PI * i / 12));
    const Pieces pieces = ConvexDecomposition::decompose(outline);
    QVERIFY(pieces.size() >= 2);
    for (const QPolygonF& piece : pieces) {
        QVERIFY(piece.size() <= 8);
        QVERIFY(isConvexCounterClockwise(piece));
    }
    QVERIFY(qAbs(areaSum(pieces) - signedArea(outline)) < 1e-4);
    QCOMPARE(difference(ReferenceDecomposition::decompose(outline), pieces), QString());
}

void TestDecomposition::lShape_data()
{
    QTest::addColumn<QPolygonF>("outline");
    const QPolygonF l({{0, 0}, {4, 0}, {4, 1}, {1, 1}, {1, 3}, {0, 3}});
    QTest::newRow("counter-clockwise") << l;
    QTest::newRow("clockwise") << reversed(l);
    QTest::newRow("other start") << QPolygonF({{1, 1}, {1, 3}, {0, 3}, {0, 0}, {4, 0}, {4, 1}});
}

void TestDecomposition::lShape()
{
    QFETCH(QPolygonF, outline);
    const Pieces pieces = ConvexDecomposition::decompose(outline);
    QVERIFY(pieces.size() >= 2);
    for (const QPolygonF& piece : pieces) {
        QVERIFY(piece.size() >= 3 && piece.size() <= 8);
        QVERIFY(isConvexCounterClockwise(piece));
        // Every corner is a corner of the outline: nothing is invented.
        for (const QPointF& p : piece)
            QVERIFY(outline.contains(p));
    }
    // The pieces cover the outline without overlapping.
    QCOMPARE(areaSum(pieces), std::fabs(signedArea(outline)));
    QCOMPARE(difference(ReferenceDecomposition::decompose(outline), pieces), QString());
}

void TestDecomposition::repeatedFirstPoint_data()
{
    QTest::addColumn<QPolygonF>("outline");
    QTest::newRow("l clockwise") << QPolygonF({{0, 0}, {0, 3}, {1, 3}, {1, 1}, {4, 1}, {4, 0}});
    QTest::newRow("l counter-clockwise") << QPolygonF({{0, 0}, {4, 0}, {4, 1}, {1, 1}, {1, 3}, {0, 3}});
    QTest::newRow("triangle") << QPolygonF({{0, 0}, {0, 3}, {4, 0}});
    QTest::newRow("triangle counter-clockwise") << QPolygonF({{0, 0}, {4, 0}, {0, 3}});
    QRandomGenerator random(7);
    for (int i = 0; i < 5; ++i) {
        const QPolygonF star = starShaped(random, 10 + 7 * i, 50, QPointF(1, 2));
        QTest::addRow("star %d", i) << star;
        QTest::addRow("star %d clockwise", i) << reversed(star);
    }
    QTest::newRow("traced") << traced(random, 12);
    QTest::newRow("traced clockwise") << reversed(traced(random, 14));
}

// The closing point pairs with the first one as a pinch and is split off on
// its own. A counter-clockwise outline is reversed before that, which puts the
// repeated point first: the result is that of the outline started one point later.
void TestDecomposition::repeatedFirstPoint()
{
    QFETCH(QPolygonF, outline);
    QPolygonF closed = outline;
    closed << outline.first();
    QPolygonF same = outline;
    if (signedArea(outline) > 0)
        std::rotate(same.begin(), same.begin() + 1, same.end());
    const Pieces expected = ConvexDecomposition::decompose(same);
    QVERIFY(!expected.isEmpty());
    QCOMPARE(difference(expected, ConvexDecomposition::decompose(closed)), QString());
    QCOMPARE(difference(expected, ReferenceDecomposition::decompose(closed)), QString());
    QCOMPARE(areaSum(ConvexDecomposition::decompose(closed)), areaSum(ConvexDecomposition::decompose(outline)));
}

void TestDecomposition::pinchPoint_data()
{
    // Clockwise halves traced as one clockwise outline through a shared point:
    // each half is cut on its own, the first half first.
    QTest::addColumn<QPolygonF>("first");
    QTest::addColumn<QPolygonF>("second");
    const QPolygonF upper({{0, 0}, {0, 1}, {1, 1}, {1, 0}});
    const QPolygonF lower({{0, 0}, {0, -1}, {-1, -1}, {-1, 0}});
    QTest::newRow("same point") << upper << lower;
    QPolygonF nearby = lower;
    nearby[0] = QPointF(0.0004, -0.0006);
    QTest::newRow("within tolerance") << upper << nearby;
    QRandomGenerator random(5);
    for (int i = 0; i < 6; ++i) {
        QPolygonF a = reversed(starShaped(random, 5 + 4 * i, 10, QPointF(10, 0)));
        QPolygonF b = reversed(starShaped(random, 7 + 3 * i, 10, QPointF(-10, 0)));
        b[0] = a[0] + QPointF(0.0009 * random.generateDouble(), -0.0009 * random.generateDouble());
        QTest::addRow("stars %d", i) << a << b;
    }
}

void TestDecomposition::pinchPoint()
{
    QFETCH(QPolygonF, first);
    QFETCH(QPolygonF, second);
    const QPolygonF outline = first + second;
    QVERIFY(signedArea(first) < 0 && signedArea(second) < 0);
    const Pieces pieces = ConvexDecomposition::decompose(outline);
    QCOMPARE(difference(ConvexDecomposition::decompose(first) + ConvexDecomposition::decompose(second), pieces),
             QString());
    QCOMPARE(difference(ReferenceDecomposition::decompose(outline), pieces), QString());
}

void TestDecomposition::pinchPointExactly()
{
    // Two unit squares meeting at a corner: one square piece each, each
    // starting from the outline's first point of its half (see the ear ties).
    const QPolygonF outline({{0, 0}, {0, 1}, {1, 1}, {1, 0}, {0, 0}, {0, -1}, {-1, -1}, {-1, 0}});
    const Pieces expected{QPolygonF({{0, 0}, {1, 0}, {1, 1}, {0, 1}}), QPolygonF({{0, 0}, {-1, 0}, {-1, -1}, {0, -1}})};
    QCOMPARE(ConvexDecomposition::decompose(outline), expected);
    // Not a pinch when farther apart than the tolerance: one outline with a narrow neck.
    QPolygonF necked = outline;
    necked[4] = QPointF(0.002, 0);
    const Pieces pieces = ConvexDecomposition::decompose(necked);
    QCOMPARE(difference(ReferenceDecomposition::decompose(necked), pieces), QString());
    QVERIFY(pieces.size() >= 2);
    QVERIFY(std::fabs(areaSum(pieces) - std::fabs(signedArea(necked))) < 1e-6);
}

void TestDecomposition::pinchWithTheLastPoint_data()
{
    QTest::addColumn<QPointF>("lastPoint");
    QTest::newRow("same point") << QPointF(0, 0);
    QTest::newRow("within the tolerance") << QPointF(3e-4, -2e-4);
}

// Two fans meeting at the origin, walked as one outline that ends at the
// meeting point: its first and last visits pair up at the far end of the
// close-pair scan, which works in blocks of points; every length of the
// final block, on both sides of the size where the scan changes method.
void TestDecomposition::pinchWithTheLastPoint()
{
    QFETCH(QPointF, lastPoint);
    QRandomGenerator random(4242);
    auto fan = [&](int count, double from, double to) {
        QPolygonF points;
        for (int i = 1; i <= count; ++i) {
            const double angle = from + (to - from) * i / (count + 1);
            const double radius = 0.6 + 0.8 * random.generateDouble();
            points << QPointF(radius * std::cos(angle), radius * std::sin(angle));
        }
        return points;
    };
    for (int n = 8; n <= 72; ++n) {
        const int left = (n - 2) / 2, right = n - 2 - left;
        // Clockwise, as the clipping wants it: nothing is reversed.
        const QPolygonF leftFan = fan(left, M_PI * 1.45, M_PI * 0.55);
        const QPolygonF rightFan = fan(right, M_PI * 0.45, -M_PI * 0.45);
        const QPolygonF outline = leftFan + QPolygonF({QPointF(0, 0)}) + rightFan + QPolygonF({lastPoint});
        QCOMPARE(outline.size(), n);
        QVERIFY(signedArea(outline) < 0);
        const Pieces pieces = ConvexDecomposition::decompose(outline);
        QCOMPARE(difference(ReferenceDecomposition::decompose(outline), pieces), QString());
        // Split at the pinch into the right fan from its first visit and
        // the left one from the last: both are covered and nothing else is
        // (up to the nearly straight corners the merging drops).
        const double area = std::fabs(signedArea(QPolygonF({QPointF(0, 0)}) + rightFan))
            + std::fabs(signedArea(QPolygonF({lastPoint}) + leftFan));
        QVERIFY2(std::fabs(areaSum(pieces) - area) < 0.02 * area, qPrintable(QString::number(n)));
    }
}

void TestDecomposition::collinearTriple()
{
    const QPolygonF outline({{0, 0}, {1, 1}, {3, 3}});
    const Pieces pieces = ConvexDecomposition::decompose(outline);
    QCOMPARE(pieces.size(), 1);
    QCOMPARE(pieces[0].size(), 3);
    for (const QPointF& p : outline)
        QVERIFY(pieces[0].contains(p));
    QCOMPARE(signedArea(pieces[0]), 0.0);
    QCOMPARE(ReferenceDecomposition::decompose(outline), pieces);
}

void TestDecomposition::collinearPointsMerged_data()
{
    QTest::addColumn<QPolygonF>("outline");
    QTest::addColumn<QPolygonF>("corners");
    // Points on the edges of a convex shape disappear from the piece.
    QTest::newRow("square with midpoints")
        << QPolygonF({{0, 0}, {0, 1}, {0, 2}, {1, 2}, {2, 2}, {2, 1}, {2, 0}, {1, 0}})
        << QPolygonF({{0, 0}, {0, 2}, {2, 2}, {2, 0}});
    // A bend of less than 2 degrees counts as straight.
    QTest::newRow("slight bend") << QPolygonF({{0, 0}, {0, 4}, {4, 4}, {8, 3.875}, {8, 0}})
                                 << QPolygonF({{0, 0}, {0, 4}, {8, 3.875}, {8, 0}});
    // ... but a piece never loses its last three corners.
    QTest::newRow("triangle with edge points")
        << QPolygonF({{0, 0}, {0, 1}, {0, 2}, {1, 1}, {2, 0}, {1, 0}}) << QPolygonF({{0, 0}, {0, 2}, {2, 0}});
}

void TestDecomposition::collinearPointsMerged()
{
    QFETCH(QPolygonF, outline);
    QFETCH(QPolygonF, corners);
    const Pieces pieces = ConvexDecomposition::decompose(outline);
    QCOMPARE(pieces.size(), 1);
    QCOMPARE(pieces[0].size(), corners.size());
    for (const QPointF& p : corners)
        QVERIFY(pieces[0].contains(p));
    QCOMPARE(difference(ReferenceDecomposition::decompose(outline), pieces), QString());
}

void TestDecomposition::earTiesGoToTheLowestIndex_data()
{
    // Every corner of a square is an ear with the same score, so the first
    // ear clipped is the outline's first point, which becomes the first point
    // of the piece. Were ties settled otherwise, the piece would start elsewhere.
    QTest::addColumn<QPolygonF>("outline");
    QTest::addColumn<QPolygonF>("expected");
    const QPolygonF clockwise({{0, 0}, {0, 1}, {1, 1}, {1, 0}});
    for (int start = 0; start < 4; ++start) {
        QPolygonF outline;
        for (int i = 0; i < 4; ++i)
            outline << clockwise[(start + i) % 4];
        QPolygonF expected;
        for (int i = 0; i < 4; ++i)
            expected << outline[(4 - i) % 4];
        QTest::addRow("start %d", start) << outline << expected;
    }
}

void TestDecomposition::earTiesGoToTheLowestIndex()
{
    QFETCH(QPolygonF, outline);
    QFETCH(QPolygonF, expected);
    const Pieces pieces = ConvexDecomposition::decompose(outline);
    QCOMPARE(pieces.size(), 1);
    QCOMPARE(pieces[0], expected);
    QCOMPARE(ReferenceDecomposition::decompose(outline), pieces);
}

void TestDecomposition::selfIntersecting_data()
{
    QTest::addColumn<QPolygonF>("outline");
    QTest::newRow("bow-tie") << QPolygonF({{0, 0}, {2, 2}, {2, 0}, {0, 2}});
    QTest::newRow("pentagram") << QPolygonF({{0, 10}, {6, -8}, {-9.5, 3}, {9.5, 3}, {-6, -8}});
    QTest::newRow("figure eight") << QPolygonF({{0, 0}, {1, 1}, {2, 0}, {3, 1}, {3, 0}, {2, 1}, {1, 0}, {0, 1}});
    QTest::newRow("all the same point") << QPolygonF({{1, 1}, {1, 1}, {1, 1}, {1, 1}, {1, 1}});
    QTest::newRow("back and forth") << QPolygonF({{0, 0}, {5, 0}, {1, 0}, {4, 0}, {2, 0}});
    QRandomGenerator random(99);
    for (int i = 0; i < 20; ++i)
        QTest::addRow("junk %d", i) << junk(random, 5 + 3 * i);
}

void TestDecomposition::selfIntersecting()
{
    QFETCH(QPolygonF, outline);
    const Pieces pieces = ConvexDecomposition::decompose(outline);
    for (const QPolygonF& piece : pieces)
        QVERIFY(piece.size() >= 3 && piece.size() <= 8);
    QCOMPARE(difference(ReferenceDecomposition::decompose(outline), pieces), QString());
}

void TestDecomposition::unusableCoordinates_data()
{
    QTest::addColumn<QPolygonF>("outline");
    QTest::addColumn<bool>("usable");
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const QPolygonF square({{0, 0}, {0, 2}, {2, 2}, {2, 0}});
    auto with = [&](int index, QPointF p) {
        QPolygonF outline = square;
        outline[index] = p;
        return outline;
    };
    QTest::newRow("nan x") << with(1, {nan, 2}) << false;
    QTest::newRow("nan y") << with(3, {2, nan}) << false;
    QTest::newRow("infinity") << with(0, {inf, 0}) << false;
    QTest::newRow("minus infinity") << with(2, {2, -inf}) << false;
    QTest::newRow("1e30") << with(2, {1e30, 2}) << false;
    QTest::newRow("-1e30") << with(2, {2, -1e30}) << false;
    QTest::newRow("just beyond the limit") << with(2, {1e7 + 1, 2}) << false;
    QTest::newRow("at the limit") << with(2, {1e7, 2}) << true;
    QTest::newRow("at the negative limit") << with(0, {-1e7, -1e7}) << true;
    QTest::newRow("all nan") << QPolygonF({{nan, nan}, {nan, nan}, {nan, nan}}) << false;
}

void TestDecomposition::unusableCoordinates()
{
    QFETCH(QPolygonF, outline);
    QFETCH(bool, usable);
    const Pieces pieces = ConvexDecomposition::decompose(outline);
    QCOMPARE(!pieces.isEmpty(), usable);
    QCOMPARE(difference(ReferenceDecomposition::decompose(outline), pieces), QString());
}

void TestDecomposition::simpleOutlinesGiveConvexPieces_data()
{
    QTest::addColumn<QPolygonF>("outline");
    for (quint32 seed = 1; seed <= 40; ++seed) {
        QTest::addRow("star %u", seed) << generate(Kind::Star, seed, 8 + int(seed) * 3);
        QTest::addRow("traced %u", seed) << generate(Kind::Traced, seed, 20 + int(seed) * 4);
    }
}

void TestDecomposition::simpleOutlinesGiveConvexPieces()
{
    QFETCH(QPolygonF, outline);
    const Pieces pieces = ConvexDecomposition::decompose(outline);
    QVERIFY(!pieces.isEmpty());
    double area = 0;
    for (const QPolygonF& piece : pieces) {
        QVERIFY(piece.size() >= 3 && piece.size() <= 8);
        QVERIFY2(isConvexCounterClockwise(piece), describe(piece).constData());
        area += signedArea(piece);
    }
    // Dropping nearly collinear corners may shave a sliver off; nothing more.
    const double expected = std::fabs(signedArea(outline));
    QVERIFY2(std::fabs(area - expected) <= 0.02 * expected,
             qPrintable(QStringLiteral("%1 vs %2").arg(area).arg(expected)));
}

void TestDecomposition::matchesReference_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<quint32>("firstSeed");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("maxPoints");
    const struct
    {
        const char* name;
        Kind kind;
    } kinds[] = {{"star-shaped", Kind::Star},  {"circle walk", Kind::Walk}, {"traced", Kind::Traced},
                 {"pinched", Kind::Pinched},   {"junk", Kind::Junk},        {"tiny", Kind::Tiny},
                 {"huge", Kind::Huge},         {"snapped", Kind::Snapped}, {"ladder", Kind::Ladder}};
    for (const auto& k : kinds) {
        QTest::addRow("%s, small", k.name) << int(k.kind) << quint32(1000) << 1000 << 24;
        QTest::addRow("%s, medium", k.name) << int(k.kind) << quint32(5000) << 150 << 90;
    }
}

// The reference against the shipped implementation on many random outlines;
// any difference is a bug in the shipped one.
void TestDecomposition::matchesReference()
{
    QFETCH(int, kind);
    QFETCH(quint32, firstSeed);
    QFETCH(int, count);
    QFETCH(int, maxPoints);
    int nonEmpty = 0;
    for (int i = 0; i < count; ++i) {
        const quint32 seed = firstSeed + quint32(i);
        const int n = 3 + int(QRandomGenerator(seed).bounded(maxPoints - 2));
        const QPolygonF outline = generate(Kind(kind), seed, n);
        const Pieces expected = ReferenceDecomposition::decompose(outline);
        const Pieces actual = ConvexDecomposition::decompose(outline);
        const QString different = difference(expected, actual);
        if (!different.isEmpty()) {
            const QString outlineText = QString::fromUtf8(describe(outline));
            QFAIL(qPrintable(QStringLiteral("seed %1: %2\noutline: %3").arg(seed).arg(different, outlineText)));
        }
        for (const QPolygonF& piece : actual)
            QVERIFY(piece.size() >= 3 && piece.size() <= 8);
        if (!actual.isEmpty())
            ++nonEmpty;
    }
    // The generators are meant to produce outlines that can be cut.
    QVERIFY(nonEmpty > count / 4);
}

void TestDecomposition::matchesReferenceOnLargeOutlines_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<quint32>("seed");
    QTest::addColumn<int>("points");
    QTest::newRow("star-shaped") << int(Kind::Star) << quint32(11) << 300;
    QTest::newRow("circle walk") << int(Kind::Walk) << quint32(12) << 300;
    QTest::newRow("traced") << int(Kind::Traced) << quint32(13) << 240;
    QTest::newRow("pinched") << int(Kind::Pinched) << quint32(14) << 300;
    QTest::newRow("snapped") << int(Kind::Snapped) << quint32(15) << 300;
    QTest::newRow("junk") << int(Kind::Junk) << quint32(16) << 200;
}

void TestDecomposition::matchesReferenceOnLargeOutlines()
{
    QFETCH(int, kind);
    QFETCH(quint32, seed);
    QFETCH(int, points);
    const QPolygonF outline = generate(Kind(kind), seed, points);
    QCOMPARE(difference(ReferenceDecomposition::decompose(outline), ConvexDecomposition::decompose(outline)),
             QString());
}

// The shipped implementation changes its bookkeeping with the size of the
// outline: all pairs against a grid for close points (64 points), a scan
// against a grid for the vertices inside an ear (128 points), a ranking of
// ears that stops early or not (256 points), and sets of triangles as one,
// two or four words of bits or as lists (64, 128 and 256 triangles, two fewer
// than points). Outlines on both sides of every switch must still come out
// exactly as the reference cuts them.
void TestDecomposition::matchesReferenceAroundStrategySwitches_data()
{
    QTest::addColumn<int>("points");
    for (int points : {64, 65, 66, 67, 128, 129, 130, 131, 256, 257, 258, 259})
        QTest::addRow("%d points", points) << points;
}

void TestDecomposition::matchesReferenceAroundStrategySwitches()
{
    QFETCH(int, points);
    int nonEmpty = 0;
    for (Kind kind : {Kind::Star, Kind::Walk, Kind::Snapped, Kind::Ladder, Kind::Junk}) {
        const QPolygonF outline = generate(kind, quint32(7000 + points), points);
        QCOMPARE(outline.size(), points);
        const Pieces expected = ReferenceDecomposition::decompose(outline);
        QCOMPARE(difference(expected, ConvexDecomposition::decompose(outline)), QString());
        if (!expected.isEmpty())
            ++nonEmpty;
    }
    // Rounding can make a snapped outline cross itself, and junk crosses
    // itself anyway; the others are simple.
    QVERIFY(nonEmpty >= 3);
}

// Long outlines take their working memory from a block that each thread keeps
// between calls; threads cutting outlines of different sizes at the same time,
// large after small and small after large, must not disturb one another.
void TestDecomposition::workingMemoryIsPerThread()
{
    const QList<QPolygonF> outlines = {generate(Kind::Star, 21, 900), generate(Kind::Traced, 22, 40),
                                       generate(Kind::Walk, 23, 2000), generate(Kind::Snapped, 24, 300)};
    QList<Pieces> expected;
    for (const QPolygonF& outline : outlines) {
        expected << ConvexDecomposition::decompose(outline);
        QVERIFY(!expected.last().isEmpty());
    }
    QCOMPARE(difference(ReferenceDecomposition::decompose(outlines[3]), expected[3]), QString());
    std::vector<int> mismatches(3, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 12; ++round) {
                const int k = (round + t) % outlines.size();
                if (!difference(expected[k], ConvexDecomposition::decompose(outlines[k])).isEmpty())
                    ++mismatches[std::size_t(t)];
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    QCOMPARE(mismatches, std::vector<int>(3, 0));
}

QTEST_GUILESS_MAIN(TestDecomposition)

#include "tst_decomposition.moc"
