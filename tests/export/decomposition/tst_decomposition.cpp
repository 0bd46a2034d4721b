#include "convexdecomposition.h"
#include "referencedecomposition.h"

#include <QRandomGenerator>
#include <QtMath>
#include <QtTest>

#include <cmath>
#include <cstring>
#include <limits>

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

QString describe(const QPolygonF& polygon)
{
    QStringList points;
    for (const QPointF& p : polygon)
        points << QStringLiteral("(%1, %2)").arg(p.x(), 0, 'g', 17).arg(p.y(), 0, 'g', 17);
    return points.join(QStringLiteral(", "));
}

// Bit for bit: the shipped implementation has to reproduce the reference exactly.
QString difference(const Pieces& expected, const Pieces& actual)
{
    if (expected.size() != actual.size())
        return QStringLiteral("%1 pieces instead of %2").arg(actual.size()).arg(expected.size());
    for (int i = 0; i < expected.size(); ++i) {
        const std::size_t bytes = sizeof(QPointF) * std::size_t(expected[i].size());
        if (expected[i].size() != actual[i].size() || std::memcmp(expected[i].data(), actual[i].data(), bytes) != 0)
            return QStringLiteral("piece %1: %2\ninstead of %3").arg(i).arg(describe(actual[i]), describe(expected[i]));
    }
    return QString();
}

// Random radii at sorted random angles from `from` on: simple, star-shaped, counter-clockwise.
QPolygonF starShaped(QRandomGenerator& random, int n, double scale, double from = 0)
{
    QVector<double> angles(n);
    for (double& angle : angles)
        angle = from + random.generateDouble() * 2 * M_PI;
    std::sort(angles.begin(), angles.end());
    QPolygonF outline;
    for (double angle : angles)
        outline << QPointF(std::cos(angle), std::sin(angle)) * scale * (0.2 + random.generateDouble());
    return outline;
}

// The boundary of a pixel blob as the tracer walks it: every pixel corner, so
// long straight runs and many equally good ears, and here and there a point
// repeated. Columns of random extent, their bottoms walked left to right and
// their tops back; neighbouring columns overlap, so the outline is simple.
QPolygonF traced(QRandomGenerator& random, int n)
{
    const int columns = std::max(2, n / 5);
    QVector<int> low(columns), high(columns);
    high[0] = 1 + random.bounded(5);
    for (int c = 1; c < columns; ++c) {
        low[c] = std::min(low[c - 1] + random.bounded(-2, 3), high[c - 1] - 1);
        high[c] = std::max({high[c - 1] + random.bounded(-2, 3), low[c] + 1, low[c - 1] + 1});
    }
    QPolygonF outline;
    QPoint at(0, high[0]);
    auto goTo = [&](int x, int y) {
        while (at != QPoint(x, y)) {
            at += QPoint(qBound(-1, x - at.x(), 1), qBound(-1, y - at.y(), 1));
            outline << at;
            if (random.bounded(12) == 0)
                outline << at;
        }
    };
    for (int c = 0; c < columns; ++c) {
        goTo(c, low[c]);
        goTo(c + 1, low[c]);
    }
    for (int c = columns - 1; c >= 0; --c) {
        goTo(c + 1, high[c]);
        goTo(c, high[c]);
    }
    return outline;
}

enum Kind { Star, Traced, Pinched, Repeats, Junk, Tiny, Huge, Snapped, Ladder, KindCount };
const char* const kindNames[] = {"star", "traced", "pinched", "repeats", "junk", "tiny", "huge", "snapped", "ladder"};

QPolygonF generate(int kind, quint32 seed, int n)
{
    QRandomGenerator random(seed);
    QPolygonF outline;
    if (kind == Star || kind == Tiny || kind == Huge) { // tiny: closer than the pinch tolerance; huge: near the limit
        const double scale = kind == Star ? 100 : kind == Tiny ? 2e-2 : 1e6;
        outline = starShaped(random, n, scale).translated(QPointF(3, -7) * (kind == Huge ? 1e6 : scale / 100));
    } else if (kind == Traced) {
        outline = traced(random, n);
    } else if (kind == Pinched) { // star-shaped parts round a point they share (within the tolerance), as one outline
        for (int part = 0, parts = 2 + random.bounded(2); part < parts; ++part) {
            const double angle = 2 * M_PI * part / parts; // the part's first point faces the shared one
            QPolygonF points = starShaped(random, std::max(3, n / parts), 8, angle + M_PI);
            outline << points.translated(20 * std::cos(angle), 20 * std::sin(angle));
            outline[outline.size() - points.size()] = QPointF(4e-4 * random.bounded(2), -3e-4 * random.bounded(2));
        }
    } else if (kind == Repeats) { // points visited twice (nested pinches), maybe the first one again at the end
        outline = starShaped(random, n, 50);
        for (int k = random.bounded(4); k >= 0; --k)
            outline.insert(random.bounded(outline.size()), outline[random.bounded(outline.size())]);
        if (random.bounded(2))
            outline << outline.first();
    } else if (kind == Junk) { // crossings, repeats, straight runs
        for (int i = 0, box = 2 + random.bounded(12); i < n; ++i)
            outline << QPointF(random.bounded(box), random.bounded(box));
    } else if (kind == Snapped) { // rounded to half pixels: repeats and nearly straight corners
        for (const QPointF& p : starShaped(random, n, 2 + n / 4))
            outline << QPointF(std::round(p.x() * 2) / 2, std::round(p.y() * 2) / 2);
    } else { // a ladder, tall and three pixels wide, zigzagging up and down: all points on four columns
        for (int k = 0; k < n; ++k) {
            const int rung = k < n / 2 ? k : n - 1 - k;
            outline << QPointF(k < n / 2 ? rung % 2 : 3 - rung % 2, rung + random.bounded(2) / 2.0);
        }
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
    void matchesReference_data();
    void matchesReference();
    void cuts_data();
    void cuts();
    void piecesAreConvexAndCoverTheOutline_data();
    void piecesAreConvexAndCoverTheOutline();
    void shallowCornersKeepTheArea_data();
    void shallowCornersKeepTheArea();
};

void TestDecomposition::matchesReference_data()
{
    QTest::addColumn<Pieces>("outlines");
    auto outlines = [](int kind, int count, int minPoints, int maxPoints) {
        Pieces list;
        for (quint32 i = 0; i < quint32(count); ++i) {
            const quint32 seed = quint32(kind) << 24 | quint32(maxPoints) << 12 | i;
            list << generate(kind, seed, minPoints + QRandomGenerator(seed).bounded(maxPoints - minPoints + 1));
        }
        return list;
    };
    for (int kind = 0; kind < KindCount; ++kind) {
        QTest::addRow("%s, 3 to 24 points", kindNames[kind]) << outlines(kind, 300, 3, 24);
        QTest::addRow("%s, 25 to 90 points", kindNames[kind]) << outlines(kind, 60, 25, 90);
        // Where the shipped implementation once changed its bookkeeping, and beyond (junk
        // and tiny outlines that long can no longer be cut).
        for (int points : {64, 65, 128, 129, 256, 257, 400}) {
            if (kind != Junk && kind != Tiny)
                QTest::addRow("%s, %d points", kindNames[kind], points) << outlines(kind, 2, points, points);
        }
    }
    QTest::newRow("self-intersecting and degenerate")
        << Pieces{QPolygonF({{0, 0}, {2, 2}, {2, 0}, {0, 2}}), QPolygonF({{0, 9}, {6, -8}, {-9, 3}, {9, 3}, {-6, -8}}),
                  QPolygonF({{0, 0}, {1, 1}, {2, 0}, {3, 1}, {3, 0}, {2, 1}, {1, 0}, {0, 1}}),
                  QPolygonF({{1, 1}, {1, 1}, {1, 1}, {1, 1}}), QPolygonF({{0, 0}, {5, 0}, {1, 0}, {4, 0}, {2, 0}}),
                  QPolygonF({{0, 0}, {0, 1}, {1, 1}, {1, 0}, {0.002, 0}, {0, -1}, {-1, -1}, {-1, 0}}),
                  QPolygonF({{0, 0}, {4, 0}, {4, 4}, {1, 4}, {1, 2}, {3, 2}, {3, 3}, {2, 3}, {2, 1}, {0, 1}}),
                  QPolygonF({{0, 0}, {1e-40, 0}, {1e-40, 1e-40}, {0, 2e-40}}),
                  QPolygonF({{0, 0}, {-0.0, 2}, {2, 2}, {2, -0.0}, {-0.0, 0}, {-1, -1}})};
}

void TestDecomposition::matchesReference()
{
    QFETCH(Pieces, outlines);
    int cut = 0;
    for (const QPolygonF& outline : outlines) {
        const Pieces pieces = ConvexDecomposition::decompose(outline);
        const QString different = difference(ReferenceDecomposition::decompose(outline), pieces);
        QVERIFY2(different.isEmpty(), qPrintable(different + QStringLiteral("\noutline: ") + describe(outline)));
        for (const QPolygonF& piece : pieces)
            QVERIFY(piece.size() >= 3 && piece.size() <= 8);
        cut += pieces.isEmpty() ? 0 : 1;
    }
    // Most of them can be cut, or this would compare little.
    QVERIFY(cut > outlines.size() / 2);
}

// Worked out by hand: the conventions that the reference and the shipped implementation share.
void TestDecomposition::cuts_data()
{
    QTest::addColumn<QPolygonF>("outline");
    QTest::addColumn<Pieces>("expected");
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    QTest::newRow("two points") << QPolygonF(QVector<QPointF>{{1, 2}, {3, 4}}) << Pieces();
    for (const QPointF& bad : {QPointF(nan, 1), QPointF(1, nan), QPointF(inf, 0), QPointF(0, -inf), QPointF(1e30, 1),
                               QPointF(1e7 + 1, 0), QPointF(0, -1e7 - 1)})
        QTest::addRow("(%g, %g)", bad.x(), bad.y()) << QPolygonF({{0, 0}, {0, 1}, {1, 1}, bad}) << Pieces();
    // Clockwise outlines are cut as they are (the corners come out as 1, 0, 2), others reversed first.
    QTest::newRow("clockwise") << QPolygonF({{0, 0}, {0, 3}, {4, 0}}) << Pieces{QPolygonF({{0, 3}, {0, 0}, {4, 0}})};
    QTest::newRow("other way") << QPolygonF({{0, 0}, {4, 0}, {0, 3}}) << Pieces{QPolygonF({{4, 0}, {0, 3}, {0, 0}})};
    QTest::newRow("flat") << QPolygonF({{0, 0}, {1, 1}, {3, 3}}) << Pieces{QPolygonF({{1, 1}, {0, 0}, {3, 3}})};
    QTest::newRow("at the limits") << QPolygonF({{-1e7, -1e7}, {-1e7, 1e7}, {1e7, 1e7}})
                                   << Pieces{QPolygonF({{-1e7, 1e7}, {-1e7, -1e7}, {1e7, 1e7}})};
    // Every corner of a square is an equally good ear: the first point is clipped first.
    const QPolygonF square({{0, 0}, {0, 1}, {1, 1}, {1, 0}});
    QTest::newRow("square") << square << Pieces{QPolygonF({{0, 0}, {1, 0}, {1, 1}, {0, 1}})};
    QTest::newRow("square from 1") << QPolygonF({{0, 1}, {1, 1}, {1, 0}, {0, 0}})
                                   << Pieces{QPolygonF({{0, 1}, {0, 0}, {1, 0}, {1, 1}})};
    QTest::newRow("square from 3") << QPolygonF({{1, 0}, {0, 0}, {0, 1}, {1, 1}})
                                   << Pieces{QPolygonF({{1, 0}, {1, 1}, {0, 1}, {0, 0}})};
    // Points on straight edges, and bends under 2 degrees whose corner lies within 0.1 of the line
    // through its neighbours, leave a piece, but three corners stay.
    QTest::newRow("midpoints") << QPolygonF({{0, 0}, {0, 1}, {0, 2}, {1, 2}, {2, 2}, {2, 1}, {2, 0}, {1, 0}})
                               << Pieces{QPolygonF({{0, 0}, {2, 0}, {2, 2}, {0, 2}})};
    QTest::newRow("slight bend") << QPolygonF({{0, 0}, {0, 4}, {4, 4}, {8, 3.875}, {8, 0}})
                                 << Pieces{QPolygonF({{0, 4}, {0, 0}, {8, 0}, {8, 3.875}})};
    // Bends of 1.3 and 1.6 degrees, the corner (8, 8) 0.094 and 0.109 off its neighbours' line.
    QTest::newRow("bend within 0.1") << QPolygonF({{0, 0}, {0, 8}, {8, 8}, {16, 7.8125}, {16, 0}})
                                     << Pieces{QPolygonF({{0, 8}, {0, 0}, {16, 0}, {16, 7.8125}})};
    QTest::newRow("bend beyond 0.1") << QPolygonF({{0, 0}, {0, 8}, {8, 8}, {16, 7.78125}, {16, 0}})
                                     << Pieces{QPolygonF({{0, 8}, {0, 0}, {16, 0}, {16, 7.78125}, {8, 8}})};
    // A bend under 2 degrees on long edges: the corner stays, or a triangle of 25 would go with it.
    QTest::newRow("long shallow corner") << QPolygonF({{0, 0}, {0, 40}, {40, 40}, {80, 38.75}, {80, 0}})
                                         << Pieces{QPolygonF({{0, 40}, {0, 0}, {80, 0}, {80, 38.75}, {40, 40}})};
    QTest::newRow("triangle with midpoints") << QPolygonF({{0, 0}, {0, 1}, {0, 2}, {1, 1}, {2, 0}, {1, 0}})
                                             << Pieces{QPolygonF({{0, 0}, {2, 0}, {0, 2}})};
    // Clockwise parts walked as one outline through a shared point (within 0.001) are cut one by one.
    QTest::newRow("squares meeting at a corner")
        << QPolygonF(square + QPolygonF({{0, 0}, {0, -1}, {-1, -1}, {-1, 0}}))
        << Pieces{QPolygonF({{0, 0}, {1, 0}, {1, 1}, {0, 1}}), QPolygonF({{0, 0}, {-1, 0}, {-1, -1}, {0, -1}})};
    const QPolygonF lower({{4e-4, -6e-4}, {0, -1}, {-1, -1}, {-1, 0}});
    QTest::newRow("squares meeting within the tolerance")
        << QPolygonF(square + lower) << ConvexDecomposition::decompose(square) + ConvexDecomposition::decompose(lower);
}

void TestDecomposition::cuts()
{
    QFETCH(QPolygonF, outline);
    QFETCH(Pieces, expected);
    QCOMPARE(difference(expected, ConvexDecomposition::decompose(outline)), QString());
    QCOMPARE(difference(expected, ReferenceDecomposition::decompose(outline)), QString());
}

void TestDecomposition::piecesAreConvexAndCoverTheOutline_data()
{
    QTest::addColumn<QPolygonF>("outline");
    QTest::newRow("L") << QPolygonF({{0, 0}, {4, 0}, {4, 1}, {1, 1}, {1, 3}, {0, 3}});
    for (quint32 seed = 1; seed <= 15; ++seed) {
        QTest::addRow("star %u", seed) << generate(Star, seed, 8 + int(seed) * 5);
        QTest::addRow("snapped %u", seed) << generate(Snapped, seed, 8 + int(seed) * 5);
        QTest::addRow("traced %u", seed) << generate(Traced, seed, 20 + int(seed) * 8);
    }
}

void TestDecomposition::piecesAreConvexAndCoverTheOutline()
{
    QFETCH(QPolygonF, outline);
    const Pieces pieces = ConvexDecomposition::decompose(outline);
    double scale = 0;
    for (const QPointF& p : outline)
        scale = std::max({scale, std::fabs(p.x()), std::fabs(p.y())});
    double area = 0;
    for (const QPolygonF& piece : pieces) {
        QVERIFY(piece.size() >= 3 && piece.size() <= 8);
        for (int i = 0; i < piece.size(); ++i) {
            // Convex and counter-clockwise, up to rounding: no turn to the right.
            const QPointF u = piece[(i + 1) % piece.size()] - piece[i];
            const QPointF v = piece[(i + 2) % piece.size()] - piece[(i + 1) % piece.size()];
            QVERIFY2(u.x() * v.y() - u.y() * v.x() >= -1e-5 * scale * scale, qPrintable(describe(piece)));
        }
        area += signedArea(piece);
    }
    // Dropping nearly straight corners may shave a sliver off; nothing more.
    const double expected = std::fabs(signedArea(outline));
    QVERIFY2(std::fabs(area - expected) <= 0.02 * expected,
             qPrintable(QStringLiteral("%1, not %2").arg(area).arg(expected)));
}

// Outlines whose every corner turns by less than 2 degrees but lies more than 0.1 off the line
// through its neighbours: nothing may be merged away, so the pieces add up to the outline.
void TestDecomposition::shallowCornersKeepTheArea_data()
{
    QTest::addColumn<QPolygonF>("outline");
    const auto arc = [](double radius, double from, double to, int corners) {
        QPolygonF points;
        for (int k = 0; k < corners; ++k) {
            const double angle = from + (to - from) * k / (corners - 1);
            points << QPointF(radius * std::cos(angle), radius * std::sin(angle));
        }
        return points;
    };
    // 1.8 degrees a corner, each 0.49 off its neighbours' line.
    QTest::newRow("circle, 200 corners") << arc(1000, 0, 2 * M_PI * 199 / 200, 200);
    // A quarter of a large circle closed by its centre: 47 corners of 1.9 degrees, 1.07 off.
    QTest::newRow("shallow arc, 50 points") << QPolygonF(arc(2000, 0, M_PI / 2, 49) << QPointF(0, 0));
    // A saw with teeth 0.25 high on a long bar, clockwise.
    QPolygonF saw;
    for (int k = 0; k <= 40; ++k)
        saw << QPointF(20 * k, k % 2 ? 100.25 : 100);
    QTest::newRow("shallow saw") << QPolygonF(saw << QPointF(800, 0) << QPointF(0, 0));
}

void TestDecomposition::shallowCornersKeepTheArea()
{
    QFETCH(QPolygonF, outline);
    double area = 0;
    for (const QPolygonF& piece : ConvexDecomposition::decompose(outline))
        area += signedArea(piece);
    // Up to the rounding of the corners to float.
    const double expected = std::fabs(signedArea(outline));
    QVERIFY2(std::fabs(area - expected) <= 1e-6 * expected,
             qPrintable(QStringLiteral("%1, not %2").arg(area, 0, 'f', 3).arg(expected, 0, 'f', 3)));
}

QTEST_GUILESS_MAIN(TestDecomposition)

#include "tst_decomposition.moc"
