#include "alphasource.h"
#include "framecomposite.h"
#include "outlinetracer.h"
#include "referencetracer.h"
#include "testsupport.h"

#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>

Q_DECLARE_METATYPE(TraceMode)
Q_DECLARE_METATYPE(QImage::Format)

namespace {

using Points = QVector<QPointF>;

// Pictures drawn as text: '.' transparent, '#' opaque, '1' to '9' alpha 25 to 225.
QImage picture(const QStringList& rows)
{
    const int width = rows.isEmpty() ? 0 : rows.first().size();
    QImage image(width, rows.size(), QImage::Format_ARGB32);
    for (int y = 0; y < rows.size(); ++y) {
        for (int x = 0; x < width; ++x) {
            const QChar c = rows.at(y).at(x);
            const int alpha = c == QLatin1Char('#') ? 255 : c.isDigit() ? c.digitValue() * 25 : 0;
            image.setPixel(x, y, qRgba(200, 100, 50, alpha));
        }
    }
    return image;
}

QImage filled(int width, int height, int alpha)
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(qRgba(0, 0, 0, alpha));
    return image;
}

QString describe(const Points& points)
{
    QStringList parts;
    for (const QPointF& p : points)
        parts << QStringLiteral("(%1, %2)").arg(p.x(), 0, 'g', 17).arg(p.y(), 0, 'g', 17);
    return parts.join(QLatin1Char(' '));
}

// Exact comparison: QPointF's operator== forgives small differences, this does not.
bool identical(const Points& a, const Points& b, QString* why = nullptr)
{
    if (a.size() == b.size() && std::memcmp(a.constData(), b.constData(), sizeof(QPointF) * size_t(a.size())) == 0)
        return true;
    if (why)
        *why = QStringLiteral("\n  actual:   %1\n  expected: %2").arg(describe(a), describe(b));
    return false;
}

#define COMPARE_POINTS(actual, expected)                                                               \
    do {                                                                                               \
        QString why_;                                                                                  \
        QVERIFY2(identical(Points(actual), Points(expected), &why_), qPrintable(why_));                \
    } while (false)

// Whether `polygon` is `contour` (image coordinates) in body coordinates of
// the given height, turned, with only points dropped that lie exactly on the
// segment between the kept points around them.
bool dropsOnlyCollinearPoints(const Points& contour, int height, const QPolygonF& polygon)
{
    const int n = contour.size();
    if (polygon.isEmpty() || n == 0)
        return false;
    Points ring;
    for (const QPointF& p : contour)
        ring << QPointF(p.x(), height - p.y());
    const int offset = int(std::find(ring.begin(), ring.end(), polygon.first()) - ring.begin());
    if (offset == n)
        return false;
    int kept = 0;  // index in polygon of the last kept point
    for (int j = 1; j < n; ++j) {
        const QPointF& p = ring.at((offset + j) % n);
        if (kept + 1 < polygon.size() && p == polygon.at(kept + 1)) {
            ++kept;
            continue;
        }
        if (kept + 1 >= polygon.size())
            return false;  // a dropped point after the last kept one
        const QPointF a = polygon.at(kept);
        const QPointF b = polygon.at(kept + 1);
        const double cross = (b.x() - a.x()) * (p.y() - a.y()) - (b.y() - a.y()) * (p.x() - a.x());
        const double along = (p.x() - a.x()) * (b.x() - a.x()) + (p.y() - a.y()) * (b.y() - a.y());
        const double length2 = (b.x() - a.x()) * (b.x() - a.x()) + (b.y() - a.y()) * (b.y() - a.y());
        if (cross != 0 || along < 0 || along > length2)
            return false;
    }
    return kept == polygon.size() - 1;
}

double signedArea(const QPolygonF& polygon)
{
    double twice = 0;
    for (int i = 0; i < polygon.size(); ++i) {
        const QPointF& p = polygon.at(i);
        const QPointF& q = polygon.at((i + 1) % polygon.size());
        twice += p.x() * q.y() - q.x() * p.y();
    }
    return twice / 2;
}

// Runs the shipped tracer and the reference on the same input and reports the
// first difference in contour or polygon.
struct Twin
{
    OutlineTracer fast;
    ReferenceTracer reference;

    void setStartPixel(int x, int y)
    {
        fast.setStartPixel(x, y);
        reference.setStartPixel(x, y);
    }

    QString trace(const QImage& image, int threshold, TraceMode mode, const QList<float>& tolerances)
    {
        const bool ranFast = fast.trace(image, threshold, mode);
        const bool ranReference = reference.trace(image, threshold, mode);
        if (ranFast != ranReference)
            return QStringLiteral("walked %1, reference %2").arg(ranFast).arg(ranReference);
        QString why;
        if (!identical(fast.contour(), reference.contour(), &why))
            return QStringLiteral("contours differ:") + why;
        for (float tolerance : tolerances) {
            if (!identical(fast.polygon(tolerance), reference.polygon(tolerance), &why))
                return QStringLiteral("polygons differ at tolerance %1:").arg(double(tolerance), 0, 'g', 9) + why;
        }
        return {};
    }
};

const QList<float> someTolerances{0.0f, 0.5f, 0.7f, 1.0f, 1.5f, 2.0f, 3.3f, 10.0f};

QList<QImage::Format> allFormats()
{
    QList<QImage::Format> formats;
    for (int f = QImage::Format_Mono; f < QImage::NImageFormats; ++f)
        formats << QImage::Format(f);
    return formats;
}

}

namespace {

// Random test pictures of several kinds, all small enough for the reference.
QImage generated(std::mt19937& random, int kind)
{
    auto uniform = [&random](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    const int width = uniform(1, kind == 3 ? 96 : 40);
    const int height = uniform(1, kind == 3 ? 96 : 40);
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(0);
    switch (kind) {
    case 0: {  // sparse or dense noise, opaque or clear
        const int density = uniform(1, 99);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                image.setPixel(x, y, uniform(0, 99) < density ? 0xff000000u : 0u);
        break;
    }
    case 1:  // every alpha value
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                image.setPixel(x, y, qRgba(1, 2, 3, uniform(0, 255)));
        break;
    case 2: {  // thin diagonal strokes, connected only at corners
        for (int stroke = uniform(1, 6); stroke > 0; --stroke) {
            int x = uniform(0, width - 1);
            int y = uniform(0, height - 1);
            for (int step = uniform(1, 60); step > 0; --step) {
                image.setPixel(x, y, 0xff000000u);
                x = qBound(0, x + (uniform(0, 1) ? 1 : -1), width - 1);
                y = qBound(0, y + (uniform(0, 1) ? 1 : -1), height - 1);
            }
        }
        break;
    }
    default: {  // soft-edged overlapping discs, a sprite of sorts
        for (int disc = uniform(1, 5); disc > 0; --disc) {
            const double cx = uniform(0, width - 1);
            const double cy = uniform(0, height - 1);
            const double r = uniform(1, qMax(1, qMin(width, height) / 2));
            for (int y = 0; y < height; ++y) {
                for (int x = 0; x < width; ++x) {
                    const double d = std::hypot(x - cx, y - cy);
                    const int alpha = qBound(0, int((r - d) * 64 + 128), 255);
                    if (alpha > qAlpha(image.pixel(x, y)))
                        image.setPixel(x, y, qRgba(0, 0, 0, alpha));
                }
            }
        }
        break;
    }
    }
    return image;
}

}

class TestOutlineTracer : public QObject
{
    Q_OBJECT

private slots:
    // The walkers on hand-checked pictures.
    void singlePixel_data();
    void singlePixel();
    void opaqueImage_data();
    void opaqueImage();
    void diagonalNeighboursAreConnected_data();
    void diagonalNeighboursAreConnected();
    void straightWalkEndsAtItsFirstReturnToTheStartCorner();
    void onlyTheFirstIslandIsTraced();
    void holesAreIgnored();
    void startingBelowAHoleFollowsItsRim();
    void thresholdIsExclusive();
    void imagesWithoutAlphaAreOpaque();

    // The start pixel and what a trace leaves behind.
    void startPixelWalksUpItsColumn();
    void startPixelZeroZeroMeansUnset();
    void pressOnTransparentPixelKeepsTheOutline_data();
    void pressOnTransparentPixelKeepsTheOutline();
    void unknownModeWalksNothing();
    void emptyImagesWalkNothing();

    // From contour to polygon.
    void bodyCoordinatesAndOrientation();
    void equalEdgesFirstOneCloses();
    void radialPassKeepsPointsAtExactlyTheTolerance();
    void douglasPeuckerDropsPointsAtExactlyTheTolerance_data();
    void douglasPeuckerDropsPointsAtExactlyTheTolerance();
    void douglasPeuckerKeepsTheFirstFarthestPoint();
    void zeroToleranceDropsOnlyCollinearPoints();

    // Frame composites.
    void compositeAppliesTheThreshold();
    void compositeCountsAlphaAtTheThresholdAsKept();
    void compositeHasTheGivenSize();
    void compositeFrameOrder();
    void compositeOtherModesMakeNothing();

    // Formats, sizes and the shipped tracer against the reference.
    void allImageFormats_data();
    void allImageFormats();
    void indexedImagesWithShortColourTables();
    void alphaInStrips_data();
    void alphaInStrips();
    void hugeIndexedImageIsReadInStrips();
    void equivalenceOnGeneratedImages();
    void equivalenceOnLargeSprites_data();
    void equivalenceOnLargeSprites();
    void equivalenceAcrossTraceSequences();
    void equivalenceOnCompositesOfGeneratedFrames();
    void largeAndDegenerateImages();

    // The command-line entry points.
    void traceImagesDefaults();
    void traceImagesFrameModes();
    void traceImagesRejectsBadOptions();
    void traceFilesReadsFormats();
    void traceFilesReportsUnreadableImages();
};

// ---------------------------------------------------------------- walkers

void TestOutlineTracer::singlePixel_data()
{
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::addColumn<TraceMode>("mode");
    for (const QPoint& p : {QPoint(0, 0), QPoint(3, 2), QPoint(6, 0), QPoint(0, 4), QPoint(6, 4)}) {
        QTest::addRow("natural %d,%d", p.x(), p.y()) << p.x() << p.y() << TraceMode::Natural;
        QTest::addRow("straight %d,%d", p.x(), p.y()) << p.x() << p.y() << TraceMode::Straight;
    }
}

void TestOutlineTracer::singlePixel()
{
    QFETCH(int, x);
    QFETCH(int, y);
    QFETCH(TraceMode, mode);
    QImage image = filled(7, 5, 0);
    image.setPixel(x, y, qRgba(0, 0, 0, 255));

    OutlineTracer tracer;
    QVERIFY(tracer.trace(image, 0, mode));
    if (mode == TraceMode::Natural)
        COMPARE_POINTS(tracer.contour(), (Points{{x + 0.5, double(y)}, {double(x), y + 0.5}, {x - 0.5, double(y)}, {double(x), y - 0.5}}));
    else
        COMPARE_POINTS(tracer.contour(), (Points{{x + 1.0, double(y)}, {x + 1.0, y + 1.0}, {double(x), y + 1.0}, {double(x), double(y)}}));
    QCOMPARE(tracer.width(), 7);
    QCOMPARE(tracer.height(), 5);
}

void TestOutlineTracer::opaqueImage_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::newRow("1x1") << 1 << 1;
    QTest::newRow("1x4") << 1 << 4;
    QTest::newRow("5x1") << 5 << 1;
    QTest::newRow("4x3") << 4 << 3;
    QTest::newRow("3x3") << 3 << 3;
    QTest::newRow("40x25") << 40 << 25;
}

void TestOutlineTracer::opaqueImage()
{
    QFETCH(int, width);
    QFETCH(int, height);
    const double w = width;
    const double h = height;
    const QImage image = filled(width, height, 255);

    OutlineTracer straight;
    QVERIFY(straight.trace(image, 0, TraceMode::Straight));
    COMPARE_POINTS(straight.contour(), (Points{{w, 0}, {w, h}, {0, h}, {0, 0}}));

    // Every outer side's midpoint, the corners cut by a diagonal.
    Points expected;
    for (int x = 1; x < width; ++x)
        expected << QPointF(x, -0.5);
    for (int y = 0; y < height; ++y)
        expected << QPointF(w - 0.5, y);
    for (int x = width - 1; x >= 0; --x)
        expected << QPointF(x, h - 0.5);
    for (int y = height - 1; y >= 0; --y)
        expected << QPointF(-0.5, y);
    expected << QPointF(0, -0.5);
    OutlineTracer natural;
    QVERIFY(natural.trace(image, 0, TraceMode::Natural));
    COMPARE_POINTS(natural.contour(), expected);

    // In body coordinates the rectangle runs clockwise from the far end of its
    // first longest side.
    const QPolygonF rectangle = straight.polygon(0.0f);
    if (width > height)
        COMPARE_POINTS(rectangle, (Points{{0, 0}, {0, h}, {w, h}, {w, 0}}));
    else
        COMPARE_POINTS(rectangle, (Points{{w, 0}, {0, 0}, {0, h}, {w, h}}));
    QVERIFY(signedArea(rectangle) < 0);
    QCOMPARE(signedArea(rectangle), -w * h);
}

void TestOutlineTracer::diagonalNeighboursAreConnected_data()
{
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<Points>("natural");
    QTest::addColumn<Points>("straight");
    QTest::newRow("falling") << QStringList{QStringLiteral("#."), QStringLiteral(".#")}
                             << Points{{0.5, 0}, {1, 0.5}, {1.5, 1}, {1, 1.5}, {0.5, 1}, {0, 0.5}, {-0.5, 0}, {0, -0.5}}
                             << Points{{1, 0}, {1, 1}, {2, 1}, {2, 2}, {1, 2}, {1, 1}, {0, 1}, {0, 0}};
    QTest::newRow("rising") << QStringList{QStringLiteral(".#"), QStringLiteral("#.")}
                            << Points{{1.5, 0}, {1, 0.5}, {0.5, 1}, {0, 1.5}, {-0.5, 1}, {0, 0.5}, {0.5, 0}, {1, -0.5}}
                            << Points{{2, 0}, {2, 1}, {1, 1}, {1, 2}, {0, 2}, {0, 1}, {1, 1}, {1, 0}};
}

void TestOutlineTracer::diagonalNeighboursAreConnected()
{
    QFETCH(QStringList, rows);
    QFETCH(Points, natural);
    QFETCH(Points, straight);
    OutlineTracer tracer;
    QVERIFY(tracer.trace(picture(rows), 0, TraceMode::Natural));
    COMPARE_POINTS(tracer.contour(), natural);
    QVERIFY(tracer.trace(picture(rows), 0, TraceMode::Straight));
    COMPARE_POINTS(tracer.contour(), straight);

    // A longer chain is one outline through all its pixels.
    QImage chain = filled(9, 9, 0);
    for (int i = 0; i < 9; ++i)
        chain.setPixel(i, i % 2, qRgba(0, 0, 0, 255));
    Twin twin;
    QCOMPARE(twin.trace(chain, 0, TraceMode::Natural, someTolerances), QString());
    QCOMPARE(twin.fast.contourSize(), 4 * 9);
    QCOMPARE(twin.trace(chain, 0, TraceMode::Straight, someTolerances), QString());
}

void TestOutlineTracer::straightWalkEndsAtItsFirstReturnToTheStartCorner()
{
    // Pressed at (1, 1), the walk starts at corner (1, 1), where the two
    // pixels touch. The corner walk is back there after one pixel and stops;
    // the midpoint walk passes the corner on other points and goes round both.
    const QImage image = picture({QStringLiteral("#."), QStringLiteral(".#")});
    OutlineTracer tracer;
    tracer.setStartPixel(1, 1);
    QVERIFY(tracer.trace(image, 0, TraceMode::Straight));
    COMPARE_POINTS(tracer.contour(), (Points{{2, 1}, {2, 2}, {1, 2}, {1, 1}}));
    QVERIFY(tracer.trace(image, 0, TraceMode::Natural));
    COMPARE_POINTS(tracer.contour(),
                   (Points{{1.5, 1}, {1, 1.5}, {0.5, 1}, {0, 0.5}, {-0.5, 0}, {0, -0.5}, {0.5, 0}, {1, 0.5}}));
}

void TestOutlineTracer::onlyTheFirstIslandIsTraced()
{
    const QImage image = picture({
        QStringLiteral("......"),
        QStringLiteral("....##"),
        QStringLiteral("....##"),
        QStringLiteral("##...."),
        QStringLiteral("##...."),
    });
    for (TraceMode mode : {TraceMode::Natural, TraceMode::Straight}) {
        OutlineTracer tracer;
        QVERIFY(tracer.trace(image, 0, mode));
        const QRectF bounds = QPolygonF(tracer.contour()).boundingRect();
        QVERIFY(bounds.left() >= 3.5);
        QVERIFY(bounds.bottom() <= 3);

        tracer.setStartPixel(1, 4);
        QVERIFY(tracer.trace(image, 0, mode));
        const QRectF pressed = QPolygonF(tracer.contour()).boundingRect();
        QVERIFY(pressed.right() <= 2);
        QVERIFY(pressed.top() >= 2.5);
    }
}

void TestOutlineTracer::holesAreIgnored()
{
    const QStringList solid{QStringLiteral("#####"), QStringLiteral("#####"), QStringLiteral("#####"),
                            QStringLiteral("#####")};
    const QStringList holed{QStringLiteral("#####"), QStringLiteral("#..##"), QStringLiteral("#.#.#"),
                            QStringLiteral("#####")};
    for (TraceMode mode : {TraceMode::Natural, TraceMode::Straight}) {
        OutlineTracer a;
        OutlineTracer b;
        QVERIFY(a.trace(picture(solid), 0, mode));
        QVERIFY(b.trace(picture(holed), 0, mode));
        COMPARE_POINTS(b.contour(), a.contour());
        COMPARE_POINTS(b.polygon(1.0f), a.polygon(1.0f));
    }
}

void TestOutlineTracer::startingBelowAHoleFollowsItsRim()
{
    // The run above (2, 4) ends at the hole, so the walk starts on the hole's
    // lower rim and follows the hole, turning the other way round.
    const QImage image = picture({
        QStringLiteral("#####"),
        QStringLiteral("#####"),
        QStringLiteral("##.##"),
        QStringLiteral("#####"),
        QStringLiteral("#####"),
    });
    OutlineTracer tracer;
    tracer.setStartPixel(2, 4);
    QVERIFY(tracer.trace(image, 0, TraceMode::Natural));
    COMPARE_POINTS(tracer.contour(), (Points{{2.5, 2}, {2, 1.5}, {1.5, 2}, {2, 2.5}}));
    QVERIFY(tracer.trace(image, 0, TraceMode::Straight));
    COMPARE_POINTS(tracer.contour(), (Points{{3, 3}, {3, 2}, {2, 2}, {2, 3}}));
    QVERIFY(signedArea(tracer.polygon(0.0f)) > 0);
}

void TestOutlineTracer::thresholdIsExclusive()
{
    // Alphas 100, 125 and 150 in a row.
    const QImage image = picture({QStringLiteral("456")});
    const QList<QPair<int, double>> cases{{-1, 0}, {0, 0}, {99, 0}, {100, 1}, {124, 1}, {125, 2}, {149, 2}};
    for (const auto& c : cases) {
        OutlineTracer tracer;
        QVERIFY(tracer.trace(image, c.first, TraceMode::Straight));
        QCOMPARE(tracer.contour().last(), QPointF(c.second, 0));
        QCOMPARE(tracer.alphaThreshold(), c.first);
    }
    for (int threshold : {150, 200, 255, 1000}) {
        OutlineTracer tracer;
        QVERIFY(!tracer.trace(image, threshold, TraceMode::Straight));
        QVERIFY(tracer.polygon(1.0f).isEmpty());
    }
    // Below zero every pixel is inside, transparent ones included.
    OutlineTracer tracer;
    QVERIFY(tracer.trace(filled(3, 2, 0), -1, TraceMode::Straight));
    COMPARE_POINTS(tracer.contour(), (Points{{3, 0}, {3, 2}, {0, 2}, {0, 0}}));
}

void TestOutlineTracer::imagesWithoutAlphaAreOpaque()
{
    // RGB32 pixels whose unused top byte is 0 still read as opaque.
    QImage image(4, 3, QImage::Format_RGB32);
    image.fill(0);
    std::memset(image.bits(), 0, size_t(image.sizeInBytes()));
    for (TraceMode mode : {TraceMode::Natural, TraceMode::Straight}) {
        Twin twin;
        QCOMPARE(twin.trace(image, 254, mode, someTolerances), QString());
        QCOMPARE(twin.fast.contourSize(), mode == TraceMode::Straight ? 4 : 14);
    }
    OutlineTracer tracer;
    QVERIFY(!tracer.trace(image, 255, TraceMode::Straight));
}

// ------------------------------------------------- start pixel and state

void TestOutlineTracer::startPixelWalksUpItsColumn()
{
    const QImage image = picture({
        QStringLiteral("......"),
        QStringLiteral("..#..."),
        QStringLiteral("..###."),
        QStringLiteral("..###."),
        QStringLiteral("......"),
    });
    for (TraceMode mode : {TraceMode::Natural, TraceMode::Straight}) {
        OutlineTracer scanned;
        QVERIFY(scanned.trace(image, 0, mode));
        OutlineTracer pressed;
        pressed.setStartPixel(2, 3);
        QVERIFY(pressed.trace(image, 0, mode));
        COMPARE_POINTS(pressed.contour(), scanned.contour());

        // From (4, 3) the run ends at row 2: the walk starts there, on the
        // same outline but at another point.
        OutlineTracer side;
        side.setStartPixel(4, 3);
        QVERIFY(side.trace(image, 0, mode));
        QCOMPARE(side.contourSize(), scanned.contourSize());
        Twin twin;
        twin.setStartPixel(4, 3);
        QCOMPARE(twin.trace(image, 0, mode, someTolerances), QString());
        QCOMPARE(side.startPixel(), QPoint(4, 3));
        QVERIFY(side.hasStartPixel());
    }
}

void TestOutlineTracer::startPixelZeroZeroMeansUnset()
{
    const QImage image = picture({
        QStringLiteral("...#"),
        QStringLiteral("...."),
        QStringLiteral("##.."),
    });
    OutlineTracer tracer;
    QVERIFY(!tracer.hasStartPixel());
    tracer.setStartPixel(0, 2);
    QVERIFY(tracer.trace(image, 0, TraceMode::Straight));
    COMPARE_POINTS(tracer.contour(), (Points{{2, 2}, {2, 3}, {0, 3}, {0, 2}}));

    // (0, 0) is transparent here; as "no start pixel" the raster scan finds (3, 0).
    tracer.setStartPixel(0, 0);
    QVERIFY(!tracer.hasStartPixel());
    QVERIFY(tracer.trace(image, 0, TraceMode::Straight));
    COMPARE_POINTS(tracer.contour(), (Points{{4, 0}, {4, 1}, {3, 1}, {3, 0}}));
}

void TestOutlineTracer::pressOnTransparentPixelKeepsTheOutline_data()
{
    QTest::addColumn<QPoint>("press");
    QTest::addColumn<TraceMode>("mode");
    for (const QPoint& p : {QPoint(4, 4), QPoint(-1, 2), QPoint(2, -1), QPoint(6, 1), QPoint(1, 5), QPoint(-7, -7)}) {
        QTest::addRow("natural %d,%d", p.x(), p.y()) << p << TraceMode::Natural;
        QTest::addRow("straight %d,%d", p.x(), p.y()) << p << TraceMode::Straight;
    }
}

void TestOutlineTracer::pressOnTransparentPixelKeepsTheOutline()
{
    QFETCH(QPoint, press);
    QFETCH(TraceMode, mode);
    const QImage image = picture({
        QStringLiteral("......"),
        QStringLiteral(".###.."),
        QStringLiteral(".####."),
        QStringLiteral("..##.."),
        QStringLiteral("......"),
    });
    OutlineTracer tracer;
    QVERIFY(tracer.trace(image, 0, mode));
    const Points before = tracer.contour();
    const QPolygonF polygon = tracer.polygon(0.5f);

    tracer.setStartPixel(press.x(), press.y());
    QVERIFY(!tracer.trace(image, 0, mode));
    COMPARE_POINTS(tracer.contour(), before);
    COMPARE_POINTS(tracer.polygon(0.5f), polygon);
    QCOMPARE(tracer.polygon(0.5f).size(), polygon.size());
    // The start pixel stays in force: later traces walk nothing either.
    QVERIFY(!tracer.trace(image, 0, mode == TraceMode::Natural ? TraceMode::Straight : TraceMode::Natural));
    COMPARE_POINTS(tracer.contour(), before);

    // Before any walk there is nothing to keep.
    OutlineTracer fresh;
    fresh.setStartPixel(press.x(), press.y());
    QVERIFY(!fresh.trace(image, 0, mode));
    QVERIFY(fresh.polygon(0.5f).isEmpty());
}

void TestOutlineTracer::unknownModeWalksNothing()
{
    Twin twin;
    QCOMPARE(twin.trace(filled(3, 3, 255), 0, TraceMode::Straight, {1.0f}), QString());
    const Points before = twin.fast.contour();
    for (int mode : {2, -1, 77}) {
        QCOMPARE(twin.trace(filled(8, 9, 255), 0, TraceMode(mode), {1.0f}), QString());
        QVERIFY(!twin.fast.trace(filled(8, 9, 255), 0, TraceMode(mode)));
        COMPARE_POINTS(twin.fast.contour(), before);
        // The new height is taken all the same.
        QCOMPARE(twin.fast.height(), 9);
    }
}

void TestOutlineTracer::emptyImagesWalkNothing()
{
    for (const QImage& image : {QImage(), filled(5, 5, 0), QImage(0, 3, QImage::Format_ARGB32)}) {
        Twin twin;
        QCOMPARE(twin.trace(image, 0, TraceMode::Natural, {1.0f}), QString());
        QVERIFY(!twin.fast.trace(image, 0, TraceMode::Natural));
        QVERIFY(twin.fast.polygon(1.0f).isEmpty());
        QCOMPARE(twin.fast.contourSize(), 0);
    }
}

// ----------------------------------------------------- contour to polygon

void TestOutlineTracer::bodyCoordinatesAndOrientation()
{
    QImage image = filled(5, 4, 0);
    image.setPixel(2, 1, qRgba(0, 0, 0, 255));
    OutlineTracer tracer;
    QVERIFY(tracer.trace(image, 0, TraceMode::Straight));
    // Contour (3, 1) (3, 2) (2, 2) (2, 1); y flips to 4 - y.
    COMPARE_POINTS(tracer.polygon(0.0f), (Points{{3, 2}, {2, 2}, {2, 3}, {3, 3}}));
    QCOMPARE(signedArea(tracer.polygon(0.0f)), -1.0);

    const QImage blob = picture({
        QStringLiteral("..###..."),
        QStringLiteral(".######."),
        QStringLiteral("########"),
        QStringLiteral(".#####.."),
    });
    for (TraceMode mode : {TraceMode::Natural, TraceMode::Straight}) {
        QVERIFY(tracer.trace(blob, 0, mode));
        for (float tolerance : someTolerances) {
            const QPolygonF polygon = tracer.polygon(tolerance);
            if (polygon.size() >= 3) {
                QVERIFY(signedArea(polygon) < 0);
            }
            for (const QPointF& p : polygon) {
                QVERIFY(p.x() >= -0.5 && p.x() <= 8);
                QVERIFY(p.y() >= 0 && p.y() <= 4.5);
            }
        }
    }
}

void TestOutlineTracer::equalEdgesFirstOneCloses()
{
    // Natural, one pixel at (1, 1) of a 3 x 3 image: four edges of equal
    // length. The first, from (1.5, 2) to (1, 1.5) in body coordinates,
    // becomes the closing edge.
    QImage image = filled(3, 3, 0);
    image.setPixel(1, 1, qRgba(0, 0, 0, 255));
    OutlineTracer tracer;
    QVERIFY(tracer.trace(image, 0, TraceMode::Natural));
    COMPARE_POINTS(tracer.polygon(0.0f), (Points{{1, 1.5}, {0.5, 2}, {1, 2.5}, {1.5, 2}}));

    // A square: the first side (right, top to bottom in body coordinates) closes.
    QVERIFY(tracer.trace(filled(3, 3, 255), 0, TraceMode::Straight));
    COMPARE_POINTS(tracer.polygon(0.0f), (Points{{3, 0}, {0, 0}, {0, 3}, {3, 3}}));
}

void TestOutlineTracer::radialPassKeepsPointsAtExactlyTheTolerance()
{
    // Natural over a row of three pixels: the turned ring is (2, 1.5) (2.5, 1)
    // (2, 0.5) (1, 0.5) (0, 0.5) (-0.5, 1) (0, 1.5) (1, 1.5). At tolerance 1,
    // (2, 0.5) lies exactly 1 from (2, 1.5) and stays, so (1, 0.5) is
    // measured from it; dropping it instead would keep (-0.5, 1) in the end.
    OutlineTracer tracer;
    QVERIFY(tracer.trace(filled(3, 1, 255), 0, TraceMode::Natural));
    COMPARE_POINTS(tracer.polygon(1.0f), (Points{{2, 1.5}, {0, 0.5}, {1, 1.5}}));
    ReferenceTracer reference;
    reference.trace(filled(3, 1, 255), 0, TraceMode::Natural);
    COMPARE_POINTS(reference.polygon(1.0f), (Points{{2, 1.5}, {0, 0.5}, {1, 1.5}}));
}

void TestOutlineTracer::douglasPeuckerDropsPointsAtExactlyTheTolerance_data()
{
    QTest::addColumn<QImage>("image");
    QTest::addColumn<TraceMode>("mode");
    QTest::addColumn<float>("tolerance");
    QTest::addColumn<Points>("expected");
    // A column one pixel wide: both inner corners lie exactly 1 from the chord.
    QTest::newRow("column, straight") << filled(1, 3, 255) << TraceMode::Straight << 1.0f
                                      << Points{{1, 0}, {1, 3}};
    QTest::newRow("column, just below") << filled(1, 3, 255) << TraceMode::Straight << 0.999f
                                        << Points{{1, 0}, {0, 0}, {1, 3}};
    // One pixel, natural: (1, 2.5) lies exactly 0.5 from the chord (0.5, 2) - (1.5, 2).
    QImage dot = filled(3, 3, 0);
    dot.setPixel(1, 1, qRgba(0, 0, 0, 255));
    QTest::newRow("pixel, natural") << dot << TraceMode::Natural << 0.5f
                                    << Points{{1, 1.5}, {0.5, 2}, {1.5, 2}};
    QTest::newRow("pixel, just below") << dot << TraceMode::Natural << 0.4999f
                                       << Points{{1, 1.5}, {0.5, 2}, {1, 2.5}, {1.5, 2}};
}

void TestOutlineTracer::douglasPeuckerDropsPointsAtExactlyTheTolerance()
{
    QFETCH(QImage, image);
    QFETCH(TraceMode, mode);
    QFETCH(float, tolerance);
    QFETCH(Points, expected);
    OutlineTracer tracer;
    QVERIFY(tracer.trace(image, 0, mode));
    COMPARE_POINTS(tracer.polygon(tolerance), expected);
    ReferenceTracer reference;
    reference.trace(image, 0, mode);
    COMPARE_POINTS(reference.polygon(tolerance), expected);
}

void TestOutlineTracer::douglasPeuckerKeepsTheFirstFarthestPoint()
{
    // Ring (1, 1.5) (0.5, 2) (1, 2.5) (1.5, 2): the two middle points both lie
    // sqrt(0.5) from the chord; at tolerance 0.7 only the first is kept.
    QImage dot = filled(3, 3, 0);
    dot.setPixel(1, 1, qRgba(0, 0, 0, 255));
    OutlineTracer tracer;
    QVERIFY(tracer.trace(dot, 0, TraceMode::Natural));
    COMPARE_POINTS(tracer.polygon(0.7f), (Points{{1, 1.5}, {0.5, 2}, {1.5, 2}}));
    // At 0.71 both go: the tolerance is squared in single precision (0.5041).
    COMPARE_POINTS(tracer.polygon(0.71f), (Points{{1, 1.5}, {1.5, 2}}));
}

void TestOutlineTracer::zeroToleranceDropsOnlyCollinearPoints()
{
    // The natural walk of a rectangle: its sides and four cut corners. The
    // corners stay; points on the sides may stay too where they ended a span.
    OutlineTracer tracer;
    QVERIFY(tracer.trace(filled(6, 4, 255), 0, TraceMode::Natural));
    const QPolygonF octagon = tracer.polygon(0.0f);
    for (const QPointF& corner : {QPointF(5, 4.5), QPointF(5.5, 4), QPointF(5.5, 1), QPointF(5, 0.5), QPointF(0, 0.5),
                                  QPointF(-0.5, 1), QPointF(-0.5, 4), QPointF(0, 4.5)})
        QVERIFY(octagon.contains(corner));
    QVERIFY(octagon.size() < tracer.contourSize());
    QVERIFY(dropsOnlyCollinearPoints(tracer.contour(), 4, octagon));

    std::mt19937 random(31);
    for (int round = 0; round < 200; ++round) {
        const QImage image = generated(random, round % 4);
        for (TraceMode mode : {TraceMode::Natural, TraceMode::Straight}) {
            if (!tracer.trace(image, 100, mode))
                continue;
            QVERIFY2(dropsOnlyCollinearPoints(tracer.contour(), image.height(), tracer.polygon(0.0f)),
                     qPrintable(QStringLiteral("round %1").arg(round)));
        }
    }
}

// ---------------------------------------------------------- composites

void TestOutlineTracer::compositeAppliesTheThreshold()
{
    QImage a(3, 1, QImage::Format_ARGB32);
    QImage b(3, 1, QImage::Format_ARGB32);
    const int alphaA[] = {10, 100, 200};
    const int alphaB[] = {50, 50, 255};
    for (int x = 0; x < 3; ++x) {
        a.setPixel(x, 0, qRgba(9, 9, 9, alphaA[x]));
        b.setPixel(x, 0, qRgba(9, 9, 9, alphaB[x]));
    }
    const QImage intersection = FrameComposite::build({a, b}, QSize(3, 1), AnimationTraceMode::AllFramesIntersection, 60);
    const QImage unionImage = FrameComposite::build({a, b}, QSize(3, 1), AnimationTraceMode::AllFramesUnion, 60);
    QCOMPARE(intersection.format(), QImage::Format_ARGB32);
    QCOMPARE(unionImage.format(), QImage::Format_ARGB32);
    QCOMPARE(qAlpha(intersection.pixel(0, 0)), 0);
    QCOMPARE(qAlpha(intersection.pixel(1, 0)), 0);
    QCOMPARE(qAlpha(intersection.pixel(2, 0)), 200);
    QCOMPARE(qAlpha(unionImage.pixel(0, 0)), 0);
    QCOMPARE(qAlpha(unionImage.pixel(1, 0)), 100);
    QCOMPARE(qAlpha(unionImage.pixel(2, 0)), 255);
    QCOMPARE(intersection, ReferenceTracer::frameComposite({a, b}, QSize(3, 1), AnimationTraceMode::AllFramesIntersection, 60));
    QCOMPARE(unionImage, ReferenceTracer::frameComposite({a, b}, QSize(3, 1), AnimationTraceMode::AllFramesUnion, 60));

    // Without a threshold nothing is cleared.
    const QImage plain = FrameComposite::build({a, b}, QSize(3, 1), AnimationTraceMode::AllFramesIntersection, 0);
    QCOMPARE(qAlpha(plain.pixel(0, 0)), 10);
    QCOMPARE(qAlpha(plain.pixel(1, 0)), 50);

    OutlineTracer tracer;
    QVERIFY(tracer.trace(intersection, 60, TraceMode::Straight));
    COMPARE_POINTS(tracer.contour(), (Points{{3, 0}, {3, 1}, {2, 1}, {2, 0}}));
    QVERIFY(tracer.trace(unionImage, 60, TraceMode::Straight));
    COMPARE_POINTS(tracer.contour(), (Points{{3, 0}, {3, 1}, {1, 1}, {1, 0}}));

    // One frame: its own alpha with the values below the threshold cleared.
    for (AnimationTraceMode mode : {AnimationTraceMode::AllFramesIntersection, AnimationTraceMode::AllFramesUnion}) {
        const QImage single = FrameComposite::build({a}, QSize(3, 1), mode, 60);
        QCOMPARE(qAlpha(single.pixel(0, 0)), 0);
        QCOMPARE(qAlpha(single.pixel(1, 0)), 100);
        QCOMPARE(qAlpha(single.pixel(2, 0)), 200);
    }
}

void TestOutlineTracer::compositeCountsAlphaAtTheThresholdAsKept()
{
    // The composite clears alphas below the threshold; the trace wants more
    // than it. An alpha equal to the threshold survives one and fails the other.
    // Alphas 40 to 79 along a row (60 at x = 20), wide enough for every path.
    QImage frame(40, 1, QImage::Format_ARGB32);
    for (int x = 0; x < 40; ++x)
        frame.setPixel(x, 0, qRgba(0, 0, 0, 40 + x));
    for (AnimationTraceMode mode : {AnimationTraceMode::AllFramesUnion, AnimationTraceMode::AllFramesIntersection}) {
        const QImage composite = FrameComposite::build({frame}, QSize(40, 1), mode, 60);
        for (int x = 0; x < 40; ++x)
            QCOMPARE(qAlpha(composite.pixel(x, 0)), x < 20 ? 0 : 40 + x);
        OutlineTracer tracer;
        QVERIFY(tracer.trace(composite, 60, TraceMode::Straight));
        COMPARE_POINTS(tracer.contour(), (Points{{40, 0}, {40, 1}, {21, 1}, {21, 0}}));
    }
}

void TestOutlineTracer::compositeHasTheGivenSize()
{
    const QImage small = filled(2, 2, 0);
    const QImage large = filled(5, 3, 255);
    // Pixels of a frame outside the composite are skipped; pixels no frame
    // covers keep the starting value (opaque for the intersection).
    const QImage intersection = FrameComposite::build({small}, QSize(4, 3), AnimationTraceMode::AllFramesIntersection, 0);
    QCOMPARE(intersection.size(), QSize(4, 3));
    QCOMPARE(qAlpha(intersection.pixel(1, 1)), 0);
    QCOMPARE(qAlpha(intersection.pixel(2, 1)), 255);
    QCOMPARE(qAlpha(intersection.pixel(0, 2)), 255);
    const QImage unionImage = FrameComposite::build({large}, QSize(4, 2), AnimationTraceMode::AllFramesUnion, 0);
    QCOMPARE(unionImage.size(), QSize(4, 2));
    QCOMPARE(qAlpha(unionImage.pixel(3, 1)), 255);
    for (AnimationTraceMode mode : {AnimationTraceMode::AllFramesIntersection, AnimationTraceMode::AllFramesUnion}) {
        for (const QSize& size : {QSize(4, 3), QSize(1, 1), QSize(6, 6)}) {
            QCOMPARE(FrameComposite::build({small, large}, size, mode, 0),
                     ReferenceTracer::frameComposite({small, large}, size, mode, 0));
        }
    }
}

void TestOutlineTracer::compositeFrameOrder()
{
    const QImage a = picture({QStringLiteral("##.."), QStringLiteral("###."), QStringLiteral("....")});
    const QImage b = picture({QStringLiteral(".##."), QStringLiteral(".###"), QStringLiteral(".#..")});
    const QImage c = picture({QStringLiteral("#....."), QStringLiteral("######")});
    for (AnimationTraceMode mode : {AnimationTraceMode::AllFramesIntersection, AnimationTraceMode::AllFramesUnion}) {
        // Frames of one size combine the same in any order...
        QCOMPARE(FrameComposite::build({a, b}, a.size(), mode, 0), FrameComposite::build({b, a}, a.size(), mode, 0));
        // ...and adding them one at a time is the same as building at once.
        FrameComposite streamed(a.size(), mode, 0);
        streamed.addFrame(a);
        streamed.addFrame(b);
        streamed.addFrame(c);
        QCOMPARE(streamed.image(), FrameComposite::build({a, b, c}, a.size(), mode, 0));
        QCOMPARE(streamed.image(), ReferenceTracer::frameComposite({a, b, c}, a.size(), mode, 0));

        // The command line sizes the composite as its first image, so the
        // order of differently sized frames changes the outline.
        OutlineTracer::Options options;
        options.frames = mode;
        options.tolerance = 0.0f;
        const OutlineTracer::Result ac = OutlineTracer::traceImages({a, c}, options);
        const OutlineTracer::Result ca = OutlineTracer::traceImages({c, a}, options);
        QVERIFY(ac.ok());
        QVERIFY(ca.ok());
        QVERIFY(!identical(ac.polygon, ca.polygon));
        OutlineTracer tracer;
        QVERIFY(tracer.trace(ReferenceTracer::frameComposite({c, a}, c.size(), mode, 0), 0, TraceMode::Straight));
        COMPARE_POINTS(ca.polygon, tracer.polygon(0.0f));
    }
}

void TestOutlineTracer::compositeOtherModesMakeNothing()
{
    const QImage frame = filled(3, 3, 255);
    QVERIFY(FrameComposite::build({frame}, frame.size(), AnimationTraceMode::SingleFrame, 0).isNull());
    QVERIFY(FrameComposite::build({frame}, frame.size(), AnimationTraceMode(9), 0).isNull());
    QVERIFY(FrameComposite::build({frame}, QSize(0, 4), AnimationTraceMode::AllFramesUnion, 0).isNull());
    QVERIFY(FrameComposite::build({frame}, QSize(), AnimationTraceMode::AllFramesUnion, 0).isNull());
    // No frame at all: the starting value.
    const QImage none = FrameComposite::build({}, QSize(2, 2), AnimationTraceMode::AllFramesIntersection, 0);
    QCOMPARE(qAlpha(none.pixel(1, 1)), 255);
    FrameComposite composite(QSize(2, 2), AnimationTraceMode::AllFramesUnion, 0);
    composite.addFrame(QImage());
    QCOMPARE(qAlpha(composite.image().pixel(1, 1)), 0);
}

// ------------------------------------------------ formats and equivalence

void TestOutlineTracer::allImageFormats_data()
{
    QTest::addColumn<QImage::Format>("format");
    for (QImage::Format format : allFormats())
        QTest::addRow("%d", int(format)) << format;
}

void TestOutlineTracer::allImageFormats()
{
    QFETCH(QImage::Format, format);
    const QImage sprite = picture({
        QStringLiteral("..........."),
        QStringLiteral("...####...."),
        QStringLiteral("..######..#"),
        QStringLiteral(".########.."),
        QStringLiteral("..####.###."),
        QStringLiteral("...##...#.."),
    });
    QImage image = sprite.convertToFormat(format);
    if (format == QImage::Format_Mono || format == QImage::Format_MonoLSB) {
        // Conversion to one bit drops alpha; draw the sprite with a table that has it.
        image = QImage(sprite.size(), format);
        image.setColorTable({qRgba(0, 0, 0, 0), qRgba(255, 255, 255, 255)});
        for (int y = 0; y < sprite.height(); ++y) {
            for (int x = 0; x < sprite.width(); ++x)
                image.setPixel(x, y, qAlpha(sprite.pixel(x, y)) ? 1 : 0);
        }
    }
    QCOMPARE(image.format(), format);

    OutlineTracer expected;
    QVERIFY(expected.trace(image.hasAlphaChannel() ? sprite : filled(11, 6, 255), 0, TraceMode::Straight));
    for (TraceMode mode : {TraceMode::Natural, TraceMode::Straight}) {
        Twin twin;
        QCOMPARE(twin.trace(image, 0, mode, someTolerances), QString());
        QCOMPARE(twin.trace(image, 128, mode, someTolerances), QString());
        twin.setStartPixel(10, 2);
        QCOMPARE(twin.trace(image, 0, mode, someTolerances), QString());
    }
    OutlineTracer tracer;
    QVERIFY(tracer.trace(image, 0, TraceMode::Straight));
    COMPARE_POINTS(tracer.contour(), expected.contour());

    // Arbitrary bytes in every format: alpha as QImage::pixel reads it.
    std::mt19937 random{uint(format)};
    for (int round = 0; round < 4; ++round) {
        QImage noise(13, 9, format);
        for (int y = 0; y < noise.height(); ++y) {
            uchar* line = noise.scanLine(y);
            for (int i = 0; i < noise.bytesPerLine(); ++i)
                line[i] = uchar(random());
        }
        if (format == QImage::Format_Indexed8) {
            QVector<QRgb> table;
            for (int i = 0; i < 256; ++i)
                table << QRgb(random());
            noise.setColorTable(table);
        }
        for (int threshold : {0, 1, 100, 254}) {
            for (TraceMode mode : {TraceMode::Natural, TraceMode::Straight}) {
                Twin twin;
                QCOMPARE(twin.trace(noise, threshold, mode, someTolerances), QString());
            }
        }
        for (AnimationTraceMode mode : {AnimationTraceMode::AllFramesIntersection, AnimationTraceMode::AllFramesUnion}) {
            QCOMPARE(FrameComposite::build({noise, image}, QSize(12, 8), mode, 90),
                     ReferenceTracer::frameComposite({noise, image}, QSize(12, 8), mode, 90));
        }
    }
}

void TestOutlineTracer::indexedImagesWithShortColourTables()
{
    // QImage::pixel answers 0 for an index beyond the table, and for every
    // index of an image without a table.
    QtMessageHandler previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    QImage image(6, 4, QImage::Format_Indexed8);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 6; ++x)
            image.scanLine(y)[x] = uchar((x * 7 + y * 3) % 5);
    }
    QString failure;
    for (const QVector<QRgb>& table : {QVector<QRgb>{}, QVector<QRgb>{0xff000000u}, QVector<QRgb>{0u, 0x80ffffffu, 0xffffffffu}}) {
        image.setColorTable(table);
        for (TraceMode mode : {TraceMode::Natural, TraceMode::Straight}) {
            Twin twin;
            failure += twin.trace(image, 0, mode, someTolerances);
            if (table.isEmpty() && twin.fast.contourSize() != 0)
                failure += QStringLiteral("an indexed image without table traced something");
        }
        for (AnimationTraceMode mode : {AnimationTraceMode::AllFramesIntersection, AnimationTraceMode::AllFramesUnion}) {
            if (FrameComposite::build({image}, image.size(), mode, 0) != ReferenceTracer::frameComposite({image}, image.size(), mode, 0))
                failure += QStringLiteral("composites differ");
        }
    }
    qInstallMessageHandler(previous);
    QCOMPARE(failure, QString());
}

void TestOutlineTracer::alphaInStrips_data()
{
    QTest::addColumn<QImage::Format>("format");
    for (QImage::Format format : allFormats())
        QTest::addRow("%d", int(format)) << format;
}

void TestOutlineTracer::alphaInStrips()
{
    // Wide enough for strips of two rows; read in an order that keeps
    // switching strips, and back and forth across a strip border.
    QFETCH(QImage::Format, format);
    std::mt19937 random{uint(format) + 1000u};
    QImage image(70000, 9, format);
    for (int y = 0; y < image.height(); ++y) {
        uchar* line = image.scanLine(y);
        for (int i = 0; i < image.bytesPerLine(); ++i)
            line[i] = uchar(random());
    }
    if (format == QImage::Format_Indexed8) {
        QVector<QRgb> table;
        for (int i = 0; i < 200; ++i)
            table << QRgb(random());
        image.setColorTable(table);
    }
    QtMessageHandler previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    const AlphaSource source(image, 0);
    QCOMPARE(source.readsInStrips(), format != QImage::Format_ARGB32 && format != QImage::Format_ARGB32_Premultiplied
                                         && format != QImage::Format_RGB32);
    QCOMPARE(source.width(), 70000);
    QCOMPARE(source.height(), 9);
    int mismatches = 0;
    const int rows[] = {0, 8, 1, 2, 1, 2, 3, 4, 3, 4, 7, 0, 5, 6, 5, 8, 8, 0};
    for (int y : rows) {
        for (int x : {0, 1, 31, 32, 33, 4095, 34999, 69998, 69999, int(random() % 70000)}) {
            if (source.alpha(x, y) != qAlpha(image.pixel(x, y)))
                ++mismatches;
        }
    }
    qInstallMessageHandler(previous);
    QCOMPARE(mismatches, 0);
    // Whole, as usual, the alphas are the same.
    const AlphaSource whole(image);
    QVERIFY(!whole.readsInStrips());
    QCOMPARE(whole.alpha(69999, 8), source.alpha(69999, 8));
}

void TestOutlineTracer::hugeIndexedImageIsReadInStrips()
{
    // One byte a pixel, but more than AlphaSource copies at once as 32 bits.
    const int width = 9000;
    const int height = 7500;
    QImage image(width, height, QImage::Format_Indexed8);
    QVERIFY(!image.isNull());
    image.setColorTable({qRgba(0, 0, 0, 0), qRgba(0, 0, 0, 255), qRgba(0, 0, 0, 100)});
    image.fill(0);
    QVERIFY(std::int64_t(width) * height * 4 > AlphaSource::defaultWholeLimit);
    QVERIFY(AlphaSource(image).readsInStrips());
    // A ragged shape across many strips, a hole, and an edge along a strip border.
    for (int y = 40; y < 400; ++y) {
        uchar* line = image.scanLine(y);
        const int left = 100 + (y * 37) % 23;
        const int right = 700 - (y * 11) % 17 - (y > 200 && y < 240 ? 300 : 0);
        for (int x = left; x < right; ++x)
            line[x] = (x + y) % 97 == 0 ? 2 : 1;
    }
    for (int y = 300; y < 320; ++y)
        std::memset(image.scanLine(y) + 300, 0, 50);
    for (TraceMode mode : {TraceMode::Natural, TraceMode::Straight}) {
        Twin twin;
        QCOMPARE(twin.trace(image, 0, mode, {0.0f, 1.0f, 3.0f}), QString());
        QCOMPARE(twin.trace(image, 100, mode, {1.0f}), QString());
        QVERIFY(twin.fast.contourSize() > 100);
        twin.setStartPixel(500, 390);
        QCOMPARE(twin.trace(image, 0, mode, {1.0f}), QString());
    }
}

void TestOutlineTracer::equivalenceOnGeneratedImages()
{
    std::mt19937 random(20240611);
    auto uniform = [&random](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    const QList<QImage::Format> formats{QImage::Format_ARGB32, QImage::Format_ARGB32_Premultiplied,
                                        QImage::Format_RGBA8888, QImage::Format_ARGB4444_Premultiplied,
                                        QImage::Format_Indexed8, QImage::Format_RGBA64, QImage::Format_Alpha8};
    int images = 0;
    int walked = 0;
    for (int round = 0; round < 1200; ++round) {
        const int kind = round % 4;
        QImage image = generated(random, kind);
        if (round % 5 == 4)
            image = image.convertToFormat(formats.at(uniform(0, formats.size() - 1)));
        const int threshold = kind == 1 || kind == 3 ? uniform(0, 255) : uniform(0, 1) * uniform(0, 254);
        QList<float> tolerances{0.0f, float(uniform(1, 8)) * 0.25f, std::uniform_real_distribution<float>(0, 6)(random)};
        for (TraceMode mode : {TraceMode::Natural, TraceMode::Straight}) {
            Twin twin;
            const int pick = uniform(0, 3);
            if (pick == 1)
                twin.setStartPixel(uniform(0, image.width() - 1), uniform(0, image.height() - 1));
            else if (pick == 2)
                twin.setStartPixel(uniform(-2, image.width() + 1), uniform(-2, image.height() + 1));
            const QString failure = twin.trace(image, threshold, mode, tolerances);
            if (!failure.isEmpty())
                QFAIL(qPrintable(QStringLiteral("round %1, kind %2, %3x%4: %5")
                                     .arg(round).arg(kind).arg(image.width()).arg(image.height()).arg(failure)));
            walked += twin.fast.contourSize() > 0;
        }
        ++images;
    }
    QCOMPARE(images, 1200);
    QVERIFY(walked > 1500);  // most cases walked something
}

void TestOutlineTracer::equivalenceOnLargeSprites_data()
{
    QTest::addColumn<int>("spikes");
    QTest::addColumn<double>("roughness");
    QTest::newRow("blob") << 0 << 0.0;
    QTest::newRow("star") << 12 << 0.0;
    QTest::newRow("jagged") << 0 << 0.03;
}

void TestOutlineTracer::equivalenceOnLargeSprites()
{
    // Sprites of the size the editor meets: long outlines, many spans.
    QFETCH(int, spikes);
    QFETCH(double, roughness);
    const int width = 700;
    const int height = 600;
    std::mt19937 random(uint(spikes * 100 + roughness * 1000));
    std::uniform_real_distribution<double> jitter(-roughness, roughness);
    QVector<double> teeth(400);
    for (double& tooth : teeth)
        tooth = jitter(random);
    QImage image(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const double dx = x + 0.5 - width / 2.0;
            const double dy = y + 0.5 - height / 2.0;
            const double angle = std::atan2(dy, dx) + M_PI;
            double r = 0.85 + 0.06 * std::cos(2 * angle + 0.4) + 0.04 * std::cos(5 * angle + 1.0);
            if (spikes)
                r = 0.45 + 0.5 * std::abs(1 - 2 * std::fmod(angle * spikes / (2 * M_PI), 1.0));
            r += teeth.at(int(angle / (2 * M_PI) * teeth.size()) % teeth.size());
            const double radius = r * height * 0.45;
            const int alpha = qBound(0, int(128 + (radius - std::hypot(dx, dy)) * 128), 255);
            line[x] = qRgba(10, 20, 30, alpha);
        }
    }
    const QList<float> tolerances{0.0f, 0.5f, 1.0f, 2.0f, 4.5f};
    for (TraceMode mode : {TraceMode::Natural, TraceMode::Straight}) {
        for (int threshold : {0, 128, 254}) {
            Twin twin;
            QCOMPARE(twin.trace(image, threshold, mode, tolerances), QString());
            QVERIFY(twin.fast.contourSize() > 500);
            twin.setStartPixel(width / 2, height / 2);
            QCOMPARE(twin.trace(image.convertToFormat(QImage::Format_ARGB32_Premultiplied), threshold, mode, tolerances),
                     QString());
        }
    }
}

void TestOutlineTracer::equivalenceAcrossTraceSequences()
{
    // One pair of tracers for many calls, as in the dialog: the kept contour,
    // the height it is converted with and the start pixel carry over.
    std::mt19937 random(99);
    auto uniform = [&random](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    Twin twin;
    for (int call = 0; call < 600; ++call) {
        const QImage image = generated(random, uniform(0, 3));
        switch (uniform(0, 5)) {
        case 0:
            twin.setStartPixel(uniform(-1, image.width()), uniform(-1, image.height()));
            break;
        case 1:
            twin.setStartPixel(0, 0);
            break;
        default:
            break;
        }
        const TraceMode mode = TraceMode(uniform(0, 9) == 0 ? 2 : uniform(0, 1));
        const QString failure = twin.trace(image, uniform(0, 255), mode, {0.0f, 1.0f, 2.5f});
        if (!failure.isEmpty())
            QFAIL(qPrintable(QStringLiteral("call %1: %2").arg(call).arg(failure)));
    }
}

void TestOutlineTracer::equivalenceOnCompositesOfGeneratedFrames()
{
    std::mt19937 random(4242);
    auto uniform = [&random](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    for (int round = 0; round < 150; ++round) {
        QList<QImage> frames;
        for (int count = uniform(1, 5); count > 0; --count) {
            QImage frame = generated(random, uniform(0, 3));
            if (uniform(0, 3) == 0)
                frame = frame.convertToFormat(QImage::Format_ARGB32_Premultiplied);
            else if (uniform(0, 5) == 0)
                frame = frame.convertToFormat(QImage::Format_RGB32);
            frames << frame;
        }
        const QSize size = uniform(0, 2) ? frames.first().size() : QSize(uniform(1, 50), uniform(1, 50));
        const int threshold = uniform(0, 255);
        const AnimationTraceMode mode = uniform(0, 1) ? AnimationTraceMode::AllFramesIntersection : AnimationTraceMode::AllFramesUnion;
        const QImage composite = FrameComposite::build(frames, size, mode, threshold);
        QCOMPARE(composite, ReferenceTracer::frameComposite(frames, size, mode, threshold));
        for (TraceMode traceMode : {TraceMode::Natural, TraceMode::Straight}) {
            Twin twin;
            QCOMPARE(twin.trace(composite, threshold, traceMode, {0.0f, 1.0f, 2.0f}), QString());
        }
    }
}

void TestOutlineTracer::largeAndDegenerateImages()
{
    // Long thin images: one row, one column.
    for (const QSize& size : {QSize(200000, 1), QSize(1, 200000)}) {
        OutlineTracer tracer;
        QVERIFY(tracer.trace(filled(size.width(), size.height(), 255), 0, TraceMode::Natural));
        QCOMPARE(tracer.contourSize(), 2 * (size.width() + size.height()));
        QVERIFY(dropsOnlyCollinearPoints(tracer.contour(), size.height(), tracer.polygon(0.0f)));
        QVERIFY(tracer.polygon(0.5f).size() < 100);
    }

    // A square spiral one pixel wide: a long outline with nothing collinear at
    // tolerance 0 to drop, deep for a recursive Douglas-Peucker.
    const int side = 401;
    QImage spiral = filled(side, side, 0);
    auto line = [&spiral](int x0, int y0, int x1, int y1) {
        for (int y = qMin(y0, y1); y <= qMax(y0, y1); ++y)
            for (int x = qMin(x0, x1); x <= qMax(x0, x1); ++x)
                spiral.setPixel(x, y, 0xff000000u);
    };
    for (int low = 0, high = side - 1; low + 2 <= high; low += 2, high -= 2) {
        line(low, low, high, low);
        line(high, low, high, high);
        line(high, high, low, high);
        line(low, high, low, low + 2);
        line(low, low + 2, low + 2, low + 2);
    }
    for (TraceMode mode : {TraceMode::Natural, TraceMode::Straight}) {
        OutlineTracer tracer;
        QVERIFY(tracer.trace(spiral, 0, mode));
        QVERIFY(tracer.contourSize() > (mode == TraceMode::Natural ? 100000 : 500));
        QVERIFY(tracer.polygon(0.0f).size() >= 100);
        QVERIFY(!tracer.polygon(1.0f).isEmpty());
        QVERIFY(!tracer.polygon(1e9f).isEmpty());
    }

    // Strange tolerances behave the same in both implementations.
    Twin twin;
    const QList<float> odd{-1.0f, std::numeric_limits<float>::infinity(), std::numeric_limits<float>::quiet_NaN(),
                           std::numeric_limits<float>::denorm_min(), 1e30f};
    std::mt19937 random(5);
    QCOMPARE(twin.trace(generated(random, 3), 100, TraceMode::Natural, odd), QString());
}

// ------------------------------------------------------- command line

void TestOutlineTracer::traceImagesDefaults()
{
    const OutlineTracer::Options options;
    QCOMPARE(options.mode, TraceMode::Straight);
    QCOMPARE(options.tolerance, 1.0f);
    QCOMPARE(options.alphaThreshold, 0);
    QVERIFY(options.startPixel.isNull());
    QCOMPARE(options.frames, AnimationTraceMode::SingleFrame);

    const QImage first = picture({QStringLiteral("...."), QStringLiteral(".##."), QStringLiteral(".#..")});
    const QImage second = filled(4, 3, 255);
    const OutlineTracer::Result result = OutlineTracer::traceImages({first, second}, options);
    QVERIFY(result.ok());
    OutlineTracer tracer;
    QVERIFY(tracer.trace(first, 0, TraceMode::Straight));
    COMPARE_POINTS(result.polygon, tracer.polygon(1.0f));

    OutlineTracer::Options pressed;
    pressed.mode = TraceMode::Natural;
    pressed.tolerance = 0.0f;
    pressed.startPixel = QPoint(3, 0);
    pressed.alphaThreshold = 10;
    OutlineTracer expected;
    expected.setStartPixel(3, 0);
    QVERIFY(!expected.trace(first, 10, TraceMode::Natural));
    QVERIFY(OutlineTracer::traceImages({first}, pressed).polygon.isEmpty());
    QVERIFY(OutlineTracer::traceImages({first}, pressed).ok());
    pressed.startPixel = QPoint(1, 2);
    expected.setStartPixel(1, 2);
    QVERIFY(expected.trace(first, 10, TraceMode::Natural));
    COMPARE_POINTS(OutlineTracer::traceImages({first}, pressed).polygon, expected.polygon(0.0f));
}

void TestOutlineTracer::traceImagesFrameModes()
{
    const QImage a = picture({QStringLiteral("###."), QStringLiteral("###."), QStringLiteral("....")});
    const QImage b = picture({QStringLiteral(".###"), QStringLiteral(".###"), QStringLiteral(".###")});
    OutlineTracer::Options options;
    options.tolerance = 0.0f;
    options.frames = AnimationTraceMode::AllFramesIntersection;
    COMPARE_POINTS(OutlineTracer::traceImages({a, b}, options).polygon, (Points{{3, 1}, {1, 1}, {1, 3}, {3, 3}}));
    options.frames = AnimationTraceMode::AllFramesUnion;
    COMPARE_POINTS(OutlineTracer::traceImages({a, b}, options).polygon,
                   (Points{{4, 3}, {4, 0}, {1, 0}, {1, 1}, {0, 1}, {0, 3}}));
    options.frames = AnimationTraceMode::SingleFrame;
    COMPARE_POINTS(OutlineTracer::traceImages({b, a}, options).polygon, (Points{{4, 0}, {1, 0}, {1, 3}, {4, 3}}));
}

void TestOutlineTracer::traceImagesRejectsBadOptions()
{
    const QImage image = filled(2, 2, 255);
    QVERIFY(!OutlineTracer::traceImages({}, {}).ok());
    QVERIFY(OutlineTracer::traceImages({image, QImage()}, {}).error.contains(QLatin1String("2")));

    QList<OutlineTracer::Options> bad;
    bad << OutlineTracer::Options{};
    bad.last().mode = TraceMode(2);
    bad << OutlineTracer::Options{};
    bad.last().frames = AnimationTraceMode(3);
    bad << OutlineTracer::Options{};
    bad.last().alphaThreshold = 256;
    bad << OutlineTracer::Options{};
    bad.last().alphaThreshold = -1;
    bad << OutlineTracer::Options{};
    bad.last().tolerance = -0.5f;
    bad << OutlineTracer::Options{};
    bad.last().tolerance = std::numeric_limits<float>::quiet_NaN();
    bad << OutlineTracer::Options{};
    bad.last().tolerance = std::numeric_limits<float>::infinity();
    for (const OutlineTracer::Options& options : bad) {
        const OutlineTracer::Result result = OutlineTracer::traceImages({image}, options);
        QVERIFY(!result.ok());
        QVERIFY(result.polygon.isEmpty());
    }
    OutlineTracer::Options edge;
    edge.alphaThreshold = 255;
    edge.tolerance = 0.0f;
    QVERIFY(OutlineTracer::traceImages({image}, edge).ok());
    QVERIFY(OutlineTracer::traceImages({image}, edge).polygon.isEmpty());
}

void TestOutlineTracer::traceFilesReadsFormats()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QImage sprite = picture({
        QStringLiteral("........"),
        QStringLiteral("..####.."),
        QStringLiteral(".######."),
        QStringLiteral("..#..##."),
    });
    OutlineTracer expected;
    QVERIFY(expected.trace(sprite, 0, TraceMode::Straight));
    OutlineTracer opaque;
    QVERIFY(opaque.trace(filled(8, 4, 255), 0, TraceMode::Straight));

    struct Case
    {
        QString name;
        QImage image;
        bool hasAlpha;
    };
    QImage indexed = sprite.convertToFormat(QImage::Format_Indexed8);
    const QList<Case> cases{
        {QStringLiteral("argb.png"), sprite, true},
        {QStringLiteral("premultiplied.png"), sprite.convertToFormat(QImage::Format_ARGB32_Premultiplied), true},
        {QStringLiteral("deep.png"), sprite.convertToFormat(QImage::Format_RGBA64), true},
        {QStringLiteral("indexed.png"), indexed, true},
        {QStringLiteral("gray.png"), sprite.convertToFormat(QImage::Format_Grayscale8), false},
        {QStringLiteral("gray16.png"), sprite.convertToFormat(QImage::Format_Grayscale16), false},
        {QStringLiteral("rgb.bmp"), sprite.convertToFormat(QImage::Format_RGB32), false},
        {QStringLiteral("mono.png"), sprite.convertToFormat(QImage::Format_Mono), false},
    };
    for (const Case& c : cases) {
        const QString file = dir.filePath(c.name);
        QVERIFY2(c.image.save(file), qPrintable(c.name));
        const OutlineTracer::Result result = OutlineTracer::traceFiles({file}, {});
        QVERIFY2(result.ok(), qPrintable(result.error));
        COMPARE_POINTS(result.polygon, (c.hasAlpha ? expected : opaque).polygon(1.0f));
    }
    // All files are composited, in order.
    OutlineTracer::Options options;
    options.frames = AnimationTraceMode::AllFramesUnion;
    const OutlineTracer::Result combined =
        OutlineTracer::traceFiles({dir.filePath(QStringLiteral("argb.png")), dir.filePath(QStringLiteral("gray.png"))}, options);
    QVERIFY(combined.ok());
    COMPARE_POINTS(combined.polygon, opaque.polygon(1.0f));
}

void TestOutlineTracer::traceFilesReportsUnreadableImages()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString good = dir.filePath(QStringLiteral("good.png"));
    QVERIFY(filled(3, 3, 255).save(good));
    const QString garbage = dir.filePath(QStringLiteral("garbage.png"));
    QFile file(garbage);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("\x89PNG\r\n\x1a\n this is not an image");
    file.close();
    const QString missing = dir.filePath(QStringLiteral("missing.png"));

    for (const QString& bad : {garbage, missing, dir.path()}) {
        for (AnimationTraceMode frames : {AnimationTraceMode::SingleFrame, AnimationTraceMode::AllFramesUnion}) {
            OutlineTracer::Options options;
            options.frames = frames;
            const OutlineTracer::Result result = OutlineTracer::traceFiles({good, bad}, options);
            QVERIFY(!result.ok());
            QVERIFY(result.polygon.isEmpty());
            QVERIFY2(result.error.startsWith(QStringLiteral("Can't read image ") + bad + QStringLiteral(": ")),
                     qPrintable(result.error));
            QVERIFY(result.error.size() > QStringLiteral("Can't read image : ").size() + bad.size());
        }
    }
    QVERIFY(OutlineTracer::traceFiles({good}, {}).ok());
    QCOMPARE(OutlineTracer::traceFiles({good}, {}).polygon.size(), 4);
}

int main(int argc, char** argv)
{
    TestSupport::isolateSettings();
    QGuiApplication app(argc, argv);
    TestOutlineTracer test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_outlinetracer.moc"
