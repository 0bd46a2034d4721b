#include "alphasource.h"
#include "convexdecomposition.h"
#include "framecomposite.h"
#include "islandtracer.h"
#include "outlinetracer.h"
#include "referencetracer.h"
#include "testsupport.h"
#include "tracertestsupport.h"

#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <algorithm>
#include <limits>
#include <queue>
#include <random>

Q_DECLARE_METATYPE(TraceMode)
Q_DECLARE_METATYPE(AnimationTraceMode)
Q_DECLARE_METATYPE(OutlineTracer::Options)

using TracerTestSupport::picture;
using Images = QList<QImage>;
using Options = OutlineTracer::Options;
using Points = QVector<QPointF>;

namespace {

const TraceMode N = TraceMode::Natural;
const TraceMode S = TraceMode::Straight;
const AnimationTraceMode I = AnimationTraceMode::AllFramesIntersection;
const AnimationTraceMode U = AnimationTraceMode::AllFramesUnion;
const float NaN = std::numeric_limits<float>::quiet_NaN();
const float Inf = std::numeric_limits<float>::infinity();

QImage filled(int width, int height, int alpha)
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(qRgba(0, 0, 0, alpha));
    return image;
}

// The pixels a trace at the threshold counts as inside, white on black.
QImage inside(const QImage& image, int threshold)
{
    QImage mask(image.size(), QImage::Format_Grayscale8);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            mask.scanLine(y)[x] = qAlpha(image.pixel(x, y)) > threshold ? 255 : 0;
    return mask;
}

// The shipped tracer and the reference: empty when walks, contours and polygons agree bit for bit.
struct Twin
{
    OutlineTracer fast;
    ReferenceTracer reference;

    void setStartPixel(int x, int y) { fast.setStartPixel(x, y); reference.setStartPixel(x, y); }

    QString trace(const QImage& image, int threshold, TraceMode mode, const QList<float>& tolerances)
    {
        const bool walked = fast.trace(image, threshold, mode);
        if (walked != reference.trace(image, threshold, mode))
            return QStringLiteral("walked: %1, the reference: %2").arg(walked).arg(!walked);
        QString why = TracerTestSupport::difference(fast.contour(), reference.contour());
        for (int i = 0; why.isEmpty() && i < tolerances.size(); ++i)
            why = TracerTestSupport::difference(fast.polygon(tolerances[i]), reference.polygon(tolerances[i]));
        return why;
    }
};

// Random pictures, small enough for the reference unless `side` is large: sparse arbitrary bytes in
// any format, thin diagonal strokes touching at corners, or overlapping translucent, soft-edged ellipses.
QImage generated(std::mt19937& random, int kind, int side)
{
    auto uniform = [&random](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    const int w = uniform(1, side), h = uniform(1, side);
    const int density = uniform(1, 99);
    if (kind == 0) {
        QImage bytes(w, h, QImage::Format(uniform(QImage::Format_Mono, QImage::NImageFormats - 1)));
        std::generate_n(bytes.bits(), bytes.sizeInBytes(), [&] { return uchar(uniform(0, 99) < density ? random() : 0); });
        if (bytes.format() <= QImage::Format_Indexed8) {
            QVector<QRgb> table(bytes.format() != QImage::Format_Indexed8 ? 2 : density % 3 < 2 ? density % 3 : density + 150);
            std::generate(table.begin(), table.end(), [&random] { return QRgb(random()); });
            bytes.setColorTable(table);
        }
        return bytes;
    }
    QImage image = filled(w, h, 0);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, kind == 2);
    painter.setPen(kind == 1 ? QPen(Qt::black, 0) : QPen(Qt::NoPen));
    for (int shape = uniform(1, 6); shape > 0; --shape) {
        painter.setBrush(QColor(0, 0, 0, uniform(60, 255)));
        const QPoint a(uniform(0, w - 1), uniform(0, h - 1));
        const int d = uniform(0, qMin(w, h));
        if (kind == 1)
            painter.drawLine(a, a + QPoint(d, uniform(0, 1) ? d : -d));
        else
            painter.drawEllipse(QPointF(a), d * 0.6, uniform(1, qMax(w, h)) * 0.4);
    }
    return image;
}

// The regions of a picture by a plain flood fill, the test's own count: 8-connected pixels of alpha above the
// threshold, or 4-connected ones at or below it. Each region: its pixels in raster order (the first first) and
// whether one lies on the border.
struct Region
{
    QVector<QPoint> pixels;
    bool border = false;
};

QVector<Region> regions(const QImage& image, int threshold, bool opaque)
{
    const int w = image.width(), h = image.height();
    QVector<int> seen(w * h, 0);
    QVector<Region> found;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            if (seen[y * w + x] || (qAlpha(image.pixel(x, y)) > threshold) != opaque)
                continue;
            Region region;
            std::queue<QPoint> queue;
            queue.push({x, y});
            seen[y * w + x] = 1;
            while (!queue.empty()) {
                const QPoint p = queue.front();
                queue.pop();
                region.pixels << p;
                region.border = region.border || p.x() == 0 || p.y() == 0 || p.x() == w - 1 || p.y() == h - 1;
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx) {
                        const QPoint q = p + QPoint(dx, dy);
                        if ((!opaque && dx && dy) || q.x() < 0 || q.y() < 0 || q.x() >= w || q.y() >= h || seen[q.y() * w + q.x()]
                            || (qAlpha(image.pixel(q)) > threshold) != opaque)
                            continue;
                        seen[q.y() * w + q.x()] = 1;
                        queue.push(q);
                    }
            }
            std::sort(region.pixels.begin(), region.pixels.end(),
                      [](const QPoint& a, const QPoint& b) { return std::make_pair(a.y(), a.x()) < std::make_pair(b.y(), b.x()); });
            found << region;
        }
    return found;
}

// Sprites drawn without antialiasing, shape by shape: ellipses, or rectangles where `square` is set.
struct Shape
{
    QRectF rect;
    bool hole = false;
    bool square = false;
};

QImage drawn(int side, const QVector<Shape>& shapes)
{
    QImage image = filled(side, side, 0);
    QPainter painter(&image);
    painter.setPen(Qt::NoPen);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    for (const Shape& shape : shapes) {
        painter.setBrush(QColor(0, 0, 0, shape.hole ? 0 : 255));
        if (shape.square)
            painter.drawRect(shape.rect);
        else
            painter.drawEllipse(shape.rect);
    }
    return image;
}

double signedArea(const QPolygonF& polygon)
{
    double sum = 0;
    for (int i = 0; i < polygon.size(); ++i)
        sum += polygon[i].x() * polygon[(i + 1) % polygon.size()].y() - polygon[(i + 1) % polygon.size()].x() * polygon[i].y();
    return sum / 2;
}

bool inConvex(const QPolygonF& piece, const QPointF& p)
{
    for (int i = 0; i < piece.size(); ++i) {
        const QPointF a = piece[i], b = piece[(i + 1) % piece.size()];
        if ((b.x() - a.x()) * (p.y() - a.y()) - (b.y() - a.y()) * (p.x() - a.x()) < 0)
            return false;
    }
    return true;
}

}

class TestOutlineTracer : public QObject
{
    Q_OBJECT

private slots:
    // Hand-checked traces through the command line's entry: walks, then polygons in body coordinates
    // turned so that the first longest edge closes them, at the edges of the tolerance, and errors.
    void traceImages_data()
    {
        QTest::addColumn<Images>("images");
        QTest::addColumn<Options>("options");
        QTest::addColumn<Points>("expected");
        QTest::addColumn<QString>("error");
        auto options = [](TraceMode mode, float tolerance, int threshold = 0, QPoint start = {}, AnimationTraceMode frames = {}) {
            return Options{mode, tolerance, threshold, start, frames};
        };
        auto row = [](const char* name, const Images& images, Options options, const Points& expected, const char* error = "") {
            QTest::newRow(name) << images << options << expected << QString(error);
        };
        const Images falling{picture({"#.", ".#"})};
        const Images islands{picture({"......", "....##", "....##", "##....", "##...."})};
        const Images dot{picture({"...", ".#.", "..."})};
        const Images one{filled(2, 2, 255)};
        const QImage a = picture({"###.", "###.", "...."});
        row("below an empty row", {picture({"...", "..#"})}, options(S, 0), {{3, 0}, {2, 0}, {2, 1}, {3, 1}});
        row("diagonal", falling, options(S, 0), {{1, 1}, {2, 1}, {2, 0}, {1, 0}, {1, 1}, {0, 1}, {0, 2}, {1, 2}});
        // From (1, 1) the corner walk is back at its start corner after one
        // pixel; the midpoint walk passes that corner and goes round both.
        row("corner walk", falling, options(S, 0, 0, {1, 1}), {{2, 0}, {1, 0}, {1, 1}, {2, 1}});
        row("midpoint walk", falling, options(N, 0, 0, {1, 1}), {{1, 0.5}, {0, 1.5}, {-0.5, 2}, {0, 2.5}, {1, 1.5}, {1.5, 1}});
        // The run above (2, 4) ends at the hole, whose rim is followed.
        row("hole rim", {picture({"#####", "#####", "##.##", "#####", "#####"})}, options(N, 0, 0, {2, 4}),
            {{2, 3.5}, {1.5, 3}, {2, 2.5}, {2.5, 3}});
        row("pressed island", islands, options(S, 0, 0, {0, 4}), {{2, 0}, {0, 0}, {0, 2}, {2, 2}});
        row("pressed beside", islands, options(S, 0, 0, {3, 4}), {});
        // Alphas 100, 125 and 150: inside means above the threshold.
        row("threshold 125", {picture({"456"})}, options(S, 0, 125), {{3, 0}, {2, 0}, {2, 1}, {3, 1}});
        row("threshold 255", one, options(S, 0, 255), {});
        row("equal edges: the first closes", dot, options(N, 0), {{1, 1.5}, {0.5, 2}, {1, 2.5}, {1.5, 2}});
        // (2, 0.5) lies exactly 1 from (2, 1.5) and stays; (1, 0.5) is then measured from it.
        row("radial pass", {filled(3, 1, 255)}, options(N, 1), {{2, 1.5}, {0, 0.5}, {1, 1.5}});
        // Douglas-Peucker drops points exactly at the tolerance from the chord.
        row("column at the tolerance", {filled(1, 3, 255)}, options(S, 1), {{1, 0}, {1, 3}});
        row("pixel at the tolerance", dot, options(N, 0.5f), {{1, 1.5}, {0.5, 2}, {1.5, 2}});
        // Two points sqrt(0.5) from the chord: the first is kept; 0.71 squared in floats (0.5041) drops both.
        row("first farthest kept", dot, options(N, 0.7f), {{1, 1.5}, {0.5, 2}, {1.5, 2}});
        row("squared in floats", dot, options(N, 0.71f), {{1, 1.5}, {1.5, 2}});
        row("defaults", {picture({"....", ".##.", ".#.."}), a}, {}, {{1, 2}, {3, 2}, {1, 0}});
        row("intersection", {a, picture({".###", ".###", ".###"})}, options(S, 0, 0, {}, I), {{3, 1}, {1, 1}, {1, 3}, {3, 3}});
        row("union, sized as the first", {picture({"#.....", "######"}), a}, options(S, 0, 0, {}, U),
            {{0, 0}, {0, 2}, {3, 2}, {3, 1}, {6, 1}, {6, 0}});
        row("no image", {}, {}, {}, "No image");
        row("null image", {one[0], QImage()}, {}, {}, "2 of 2");
        row("mode", one, options(TraceMode(2), 1), {}, "mode 2");
        row("frame mode", one, options(S, 1, 0, {}, AnimationTraceMode(3)), {}, "mode 3");
        row("threshold 256", one, options(S, 1, 256), {}, "256");
        row("threshold -1", one, options(S, 1, -1), {}, "-1");
        row("tolerance -0.5", one, options(S, -0.5f), {}, "-0.5");
        row("tolerance NaN", one, options(S, NaN), {}, "nan");
        row("tolerance inf", one, options(S, Inf), {}, "inf");
    }

    void traceImages()
    {
        QFETCH(Images, images);
        QFETCH(Options, options);
        QFETCH(Points, expected);
        QFETCH(QString, error);
        const OutlineTracer::Result result = OutlineTracer::traceImages(images, options);
        QCOMPARE(result.ok(), error.isEmpty());
        QVERIFY2(result.error.contains(error), qPrintable(result.error));
        COMPARE_POINTS(result.polygon, expected);
    }

    // Composites as pictures; none for a null composite. Built with threshold 0 (the least or greatest alpha as it
    // is) and traced at any threshold, a composite finds the inside pixels of the one built with that threshold,
    // whatever the sizes of the frames: the tracer dialog builds it once and traces it at every threshold set.
    void composites_data()
    {
        QTest::addColumn<Images>("frames");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<AnimationTraceMode>("mode");
        QTest::addColumn<int>("threshold");
        QTest::addColumn<QStringList>("expected");
        // Wide enough for every path; alpha 100 ('4') is kept by a threshold of 100.
        const Images ramp{picture({QString("123456789#").repeated(4)})};
        const QStringList kept{QString("...456789#").repeated(4)};
        const Images ab{picture({"4#"}), picture({"2..", "..."})};
        QTest::newRow("at the threshold") << ramp << QSize(40, 1) << I << 100 << kept;
        QTest::newRow("1x1") << ab << QSize(1, 1) << U << 0 << QStringList{"4"};
        QTest::newRow("threshold 255") << Images{picture({"9#"})} << QSize(2, 1) << U << 255 << QStringList{".#"};
        QTest::newRow("above 255, intersection") << Images{picture({"##"})} << QSize(3, 1) << I << 256 << QStringList{"..#"};
        // Pixels no frame covers keep the start.
        QTest::newRow("uncovered") << Images{filled(2, 2, 0)} << QSize(4, 3) << I << 0 << QStringList{"..##", "..##", "####"};
        QTest::newRow("null frame") << Images{QImage()} << QSize(2, 2) << U << 0 << QStringList{"..", ".."};
        QTest::newRow("without alpha") << Images{picture({".."}).convertToFormat(QImage::Format_RGB32)} << QSize(3, 1) << U << 0
                                       << QStringList{"##."};
        QTest::newRow("single frame mode") << ab << QSize(3, 1) << AnimationTraceMode::SingleFrame << 0 << QStringList{};
        QTest::newRow("no width") << ab << QSize(0, 4) << U << 0 << QStringList{};
    }

    void composites()
    {
        QFETCH(Images, frames);
        QFETCH(QSize, size);
        QFETCH(AnimationTraceMode, mode);
        QFETCH(int, threshold);
        QFETCH(QStringList, expected);
        const QImage composite = FrameComposite::build(frames, size, mode, threshold);
        QCOMPARE(composite.convertToFormat(QImage::Format_Alpha8), picture(expected).convertToFormat(QImage::Format_Alpha8));
        QCOMPARE(composite, ReferenceTracer::frameComposite(frames, size, mode, threshold));
        for (AnimationTraceMode all : {I, U})
            for (int t = 0; t <= 255; ++t)
                QCOMPARE(inside(FrameComposite::build(frames, size, all, 0), t),
                         inside(ReferenceTracer::frameComposite(frames, size, all, t), t));
    }

    void equivalenceOnGeneratedImages()
    {
        // QImage::pixel warns about indexes beyond the colour table.
        const QtMessageHandler previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
        const auto restore = qScopeGuard([previous] { qInstallMessageHandler(previous); });
        // One pair of tracers per mode, as in the dialog: the kept contour and the start pixel carry over.
        std::mt19937 random(20240611);
        auto uniform = [&random](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
        const float odd[] = {-1.0f, Inf, NaN, std::numeric_limits<float>::denorm_min(), 1e30f};  // as in the reference too
        Twin twins[2];
        QList<QImage> recent;
        int walked = 0;
        for (int round = 0; round < 1500; ++round) {
            const QImage image = generated(random, round % 3, round % 100 == 99 ? 500 : round % 3 == 2 ? 96 : 40);
            const int threshold = uniform(0, 3) ? uniform(0, 255) : uniform(-1, 0);  // below 0 all is inside
            const float any = std::uniform_real_distribution<float>(0, 6)(random);
            const QList<float> tolerances{0.0f, float(uniform(1, 8)) * 0.25f, uniform(0, 9) ? any : odd[uniform(0, 4)]};
            for (int m = 0; m < 2; ++m) {
                const int pick = uniform(0, 4);  // none, one in or near the image, or the last one
                if (pick < 3)
                    twins[m].setStartPixel(pick ? uniform(-1, image.width()) : 0, pick ? uniform(-1, image.height()) : 0);
                const TraceMode mode = uniform(0, 19) ? TraceMode(m) : TraceMode(2);
                const QString failure = twins[m].trace(image, threshold, mode, tolerances);
                QVERIFY2(failure.isEmpty(), qPrintable(QStringLiteral("round %1: %2").arg(round).arg(failure)));
                walked += twins[m].fast.contourSize() > 0;
            }
            if (image.width() > 100)
                continue;
            recent << image;
            if (recent.size() > 4)
                recent.removeFirst();
            const QSize size = uniform(0, 2) ? recent.first().size() : QSize(uniform(1, 50), uniform(1, 50));
            const AnimationTraceMode mode = uniform(0, 1) ? I : U;
            const QImage composite = FrameComposite::build(recent, size, mode, threshold);
            QCOMPARE(composite, ReferenceTracer::frameComposite(recent, size, mode, threshold));
            QCOMPARE(inside(FrameComposite::build(recent, size, mode, 0), threshold), inside(composite, threshold));
        }
        QVERIFY(walked > 2000);  // most cases walked something
    }

    void largeImages()
    {
        // A spiral one pixel wide: a long outline, nothing collinear, too deep for a recursive Douglas-Peucker.
        QImage spiral = filled(401, 401, 0);
        QPolygon path;
        for (int low = 0, high = 400; low + 2 <= high; low += 2, high -= 2)
            path << QPoint(low, low) << QPoint(high, low) << QPoint(high, high) << QPoint(low, high) << QPoint(low, low + 2);
        QPainter(&spiral).drawPolyline(path);
        // Too large for AlphaSource to copy at once: a ragged shape across strips, a hole, an edge on a border.
        QImage strips(9000, 7500, QImage::Format_Indexed8);
        strips.setColorTable({qRgba(0, 0, 0, 0), qRgba(0, 0, 0, 255), qRgba(0, 0, 0, 100)});
        strips.fill(0);
        QVERIFY(AlphaSource(strips).readsInStrips());
        for (int y = 40; y < 400; ++y) {
            const int right = 700 - (y * 11) % 17 - (y > 200 && y < 240 ? 300 : 0);
            for (int x = 100 + (y * 37) % 23; x < right; ++x)
                strips.scanLine(y)[x] = y / 20 == 15 && x / 50 == 6 ? 0 : (x + y) % 97 == 0 ? 2 : 1;
        }
        for (TraceMode mode : {N, S}) {
            for (const QImage& line : {filled(200000, 1, 255), filled(1, 200000, 255)})
                QCOMPARE(Twin().trace(line, 0, mode, {0.0f, 0.5f}), QString());
            OutlineTracer tracer;
            QVERIFY(tracer.trace(spiral, 0, mode));
            QVERIFY(tracer.contourSize() > (mode == N ? 100000 : 500));
            QVERIFY(tracer.polygon(0.0f).size() >= 100 && !tracer.polygon(1e9f).isEmpty());
            Twin twin;
            QCOMPARE(twin.trace(strips, 0, mode, {0.0f, 1.0f, 3.0f}), QString());
            QCOMPARE(twin.trace(strips, 100, mode, {1.0f}), QString());
            QVERIFY(twin.fast.contourSize() > 100);
            twin.setStartPixel(500, 390);
            QCOMPARE(twin.trace(strips, 0, mode, {1.0f}), QString());
        }
    }

    // Every island on its own, in raster order of its first pixel, is the single-outline trace from that pixel,
    // bit for bit; the count, first pixels and areas are those of a plain flood fill; with holes kept, each island
    // joins the holes that the flood fill finds below its pixels.
    void islandsOnGeneratedImages()
    {
        std::mt19937 random(20240917);
        auto uniform = [&random](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
        int holes = 0, joined = 0, several = 0;
        for (int round = 0; round < 300; ++round) {
            QImage image = generated(random, 1 + round % 2, 60).convertToFormat(QImage::Format_ARGB32);
            {
                // Punched out: holes, islands within them, walls cut through.
                QPainter painter(&image);
                painter.setPen(Qt::NoPen);
                painter.setBrush(Qt::black);
                painter.setCompositionMode(QPainter::CompositionMode_Clear);
                for (int punch = uniform(0, 8); punch > 0; --punch)
                    painter.drawEllipse(QPointF(uniform(0, image.width()), uniform(0, image.height())), uniform(1, 8) * 0.5, uniform(1, 8) * 0.5);
            }
            IslandTracer::Options options{TraceMode(round % 2), float(uniform(0, 4)) * 0.5f, uniform(0, 200), uniform(0, 6), false};
            QVector<Region> expected = regions(image, options.alphaThreshold, true);
            expected.erase(std::remove_if(expected.begin(), expected.end(),
                                          [&](const Region& r) { return r.pixels.size() < options.minimumArea; }),
                           expected.end());
            const IslandTracer::Result plain = IslandTracer::trace(image, options);
            QVERIFY(plain.ok());
            QCOMPARE(plain.islands.size(), expected.size());
            several += expected.size() > 1;
            for (int i = 0; i < expected.size(); ++i) {
                const IslandTracer::Island& island = plain.islands[i];
                QCOMPARE(island.firstPixel, expected[i].pixels.first());
                QCOMPARE(island.area, qint64(expected[i].pixels.size()));
                OutlineTracer single;
                single.setStartPixel(island.firstPixel.x(), island.firstPixel.y());
                QVERIFY(single.trace(image, options.alphaThreshold, options.mode));
                COMPARE_POINTS(island.polygon, single.polygon(options.tolerance));
            }
            // The holes, each counted for the island above its first pixel.
            QVector<int> holesOf(expected.size(), 0);
            QVector<QVector<QPoint>> holePixels(expected.size());
            for (const Region& space : regions(image, options.alphaThreshold, false)) {
                const QPoint above = space.pixels.first() - QPoint(0, 1);
                const auto owner = std::find_if(expected.begin(), expected.end(),
                                                [&](const Region& r) { return r.pixels.contains(above); });
                if (!space.border && space.pixels.size() >= options.minimumArea && owner != expected.end()) {
                    ++holesOf[int(owner - expected.begin())];
                    holePixels[int(owner - expected.begin())] += space.pixels;
                }
            }
            options.keepHoles = true;
            const IslandTracer::Result kept = IslandTracer::trace(image, options);
            QCOMPARE(kept.islands.size(), expected.size());
            for (int i = 0; i < expected.size(); ++i) {
                // A hole that no straight channel reaches without cutting the island apart is filled.
                QVERIFY(kept.islands[i].holes <= holesOf[i]);
                joined += kept.islands[i].holes;
                if (!holesOf[i])
                    COMPARE_POINTS(kept.islands[i].polygon, plain.islands[i].polygon);
                // The corner walk's outline goes round every pixel of a hole it joins.
                if (options.mode == S && kept.islands[i].holes == holesOf[i]) {
                    for (const QPoint& p : qAsConst(holePixels[i]))
                        QVERIFY2(!kept.islands[i].polygon.containsPoint(QPointF(p.x() + 0.5, image.height() - p.y() - 0.5), Qt::OddEvenFill),
                                 qPrintable(QStringLiteral("round %1, pixel %2,%3").arg(round).arg(p.x()).arg(p.y())));
                }
                holes += holesOf[i];
            }
        }
        QVERIFY(holes > 50 && several > 100 && joined >= holes * 0.9);
    }

    // The pieces of every island's outline cover its pixels within 1 % and lie over no hole by more than 1 % of
    // the hole's area (sampled 16 times a pixel), at the default tolerance and below.
    void holes_data()
    {
        QTest::addColumn<QImage>("image");
        QTest::addColumn<QVector<int>>("holes");  // per island
        QTest::addColumn<bool>("sample");          // ours, held to the goals at the default tolerance too
        const QRectF disc(5, 5, 110, 110);
        const QString samples = QStringLiteral(HWT_SOURCE_DIR "/resources/samples/");
        for (const QString sample : {"ring.png", "gear/gear_1.png", "gear/gear_3.png", "crescent.png", "crate.png"})
            QTest::newRow(qPrintable(sample)) << QImage(samples + sample) << QVector<int>{sample.startsWith("gear") || sample == "ring.png"} << true;
        // From a real sprite: a hole whose channel runs on into a gap, the wall beyond it one long edge.
        const QImage gap = picture({
                                  ".................................",
                                  "...........####..####...#####....",
                                  "............####.#####.######....",
                                  "............####.############....",
                                  "............####.############....",
                                  "............####..##########.....",
                                  "............####..##########.....",
                                  "............################.....",
                                  ".............###############.....",
                                  ".............####.##########.....",
                                  ".............####.#########......",
                                  ".............####.#########......",
                                  ".............####.########.......",
                                  ".............####.########.......",
                                  ".............####.########.......",
                                  ".............############........",
                                  "............######.######........",
                                  "............#############........",
                                  "............############.........",
                                  "................................."});
        QTest::newRow("channel into a gap") << gap << QVector<int>{1} << false;
        QTest::newRow("two blobs") << drawn(120, {{{5, 5, 50, 70}}, {{60, 30, 55, 40}}}) << QVector<int>{0, 0} << false;
        QTest::newRow("two holes") << drawn(120, {{disc}, {{25, 30, 30, 60}, true}, {{65, 50, 35, 25}, true}})
                                   << QVector<int>{2} << false;
        QTest::newRow("hole, island, hole")
            << drawn(120, {{disc}, {{20, 20, 80, 80}, true}, {{35, 35, 50, 50}}, {{50, 50, 20, 20}, true}}) << QVector<int>{1, 1} << false;
        QTest::newRow("diagonal: one island")
            << drawn(120, {{{10, 10, 50, 50}, false, true}, {{60, 60, 50, 50}, false, true}, {{20, 20, 20, 20}, true, true}})
            << QVector<int>{1} << false;
        QTest::newRow("too small")
            << drawn(120, {{disc}, {{30, 30, 1, 1}, true, true}, {{60, 60, 1, 2}, true, true}, {{117, 2, 1, 1}, false, true}, {{2, 117, 2, 1}, false, true}})
            << QVector<int>{0} << false;
    }

    void holes()
    {
        QFETCH(QImage, image);
        QFETCH(QVector<int>, holes);
        QFETCH(bool, sample);
        QVERIFY(!image.isNull());
        qint64 opaque = 0;
        for (const Region& r : regions(image, 0, true))
            opaque += r.pixels.size() >= 4 ? r.pixels.size() : 0;
        QVector<Region> spaces = regions(image, 0, false);
        spaces.erase(std::remove_if(spaces.begin(), spaces.end(), [](const Region& r) { return r.border || r.pixels.size() < 4; }),
                     spaces.end());
        for (TraceMode mode : {N, S}) {
            // The midpoint walk puts pixel centres on whole coordinates.
            const QPointF shift = mode == N ? QPointF(-0.5, 0.5) : QPointF();
            // The midpoint walk cuts every stair corner of a hole's rim by an eighth of a pixel, as it cuts
            // the outline's own corners: its pieces may lie over twice as much, and over more of a hole
            // too small for its corners to be few.
            const double allowance = mode == N ? 0.02 : 0.01;
            for (float tolerance : mode == N ? QList<float>{0.0f} : sample ? QList<float>{0.0f, 0.5f, 1.0f} : QList<float>{0.0f, 0.5f}) {
                const IslandTracer::Result result = IslandTracer::trace(image, {mode, tolerance, 0, 4, true});
                QVERIFY(result.ok());
                QVector<int> joined;
                QVector<QPolygonF> pieces;
                double area = 0;
                for (const IslandTracer::Island& island : result.islands) {
                    joined << island.holes;
                    const QVector<QPolygonF> own = ConvexDecomposition::decompose(island.polygon);
                    double ownArea = 0;
                    for (const QPolygonF& piece : own)
                        ownArea += std::abs(signedArea(piece));
                    // An island with holes by itself as well; at a whole pixel of tolerance, an island
                    // without holes is simplified as the single outline is, which may miss more.
                    QVERIFY2(!island.holes || std::abs(ownArea - double(island.area)) <= 0.01 * double(island.area),
                             qPrintable(QStringLiteral("mode %1, tolerance %2: %3 of %4").arg(int(mode)).arg(tolerance).arg(ownArea).arg(island.area)));
                    pieces += own;
                    area += ownArea;
                }
                QCOMPARE(joined, holes);
                QVERIFY2(tolerance >= 1.0f || std::abs(area - double(opaque)) <= 0.01 * double(opaque),
                         qPrintable(QStringLiteral("mode %1, tolerance %2: %3 of %4").arg(int(mode)).arg(tolerance).arg(area).arg(opaque)));
                for (const Region& hole : spaces) {
                    if (mode == N && hole.pixels.size() < 64)
                        continue;
                    int over = 0;
                    for (const QPoint& p : hole.pixels)
                        for (int k = 0; k < 16; ++k) {
                            const QPointF sample = QPointF(p.x() + (k % 4 * 2 + 1) / 8.0, image.height() - p.y() - (k / 4 * 2 + 1) / 8.0) + shift;
                            over += std::any_of(pieces.begin(), pieces.end(), [&](const QPolygonF& piece) { return inConvex(piece, sample); });
                        }
                    QVERIFY2(over <= allowance * 16 * hole.pixels.size(), qPrintable(QStringLiteral("mode %1, tolerance %2: %3 of %4 samples")
                                                                                   .arg(int(mode)).arg(tolerance).arg(over).arg(16 * hole.pixels.size())));
                }
            }
        }
    }

    void traceFiles()
    {
        QTemporaryDir dir;
        const QString argb = dir.filePath("argb.png"), broken = dir.filePath("broken.png"), gray = dir.filePath("gray.png");
        const QImage sprite = picture({"........", "..####..", ".######.", "..#..##."});
        QVERIFY(sprite.save(argb) && sprite.convertToFormat(QImage::Format_Grayscale8).save(gray) && QFile::copy(argb, broken)
                && QFile::resize(broken, 40));
        const Options union_{S, 1, 0, {}, U};
        COMPARE_POINTS(OutlineTracer::traceFiles({argb}, {}).polygon, OutlineTracer::traceImages({sprite}, {}).polygon);
        COMPARE_POINTS(OutlineTracer::traceFiles({argb, gray}, union_).polygon, Points({{0, 0}, {0, 4}, {8, 4}, {8, 0}}));
        // A file that cannot be read fails the whole trace and is named.
        for (const QString& bad : {broken, dir.filePath("missing.png"), dir.path()}) {
            const OutlineTracer::Result result = OutlineTracer::traceFiles({argb, bad}, union_);
            const QString prefix = QStringLiteral("Can't read image %1: ").arg(bad);
            QVERIFY2(result.polygon.isEmpty() && result.error.startsWith(prefix) && result.error.size() > prefix.size(),
                     qPrintable(result.error));
        }
    }
};

int main(int argc, char** argv)
{
    TestSupport::isolateSettings();
    QGuiApplication app(argc, argv);
    TestOutlineTracer test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_outlinetracer.moc"
