#include "alphasource.h"
#include "framecomposite.h"
#include "outlinetracer.h"
#include "referencetracer.h"
#include "testsupport.h"
#include "tracertestsupport.h"

#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <numeric>
#include <random>

Q_DECLARE_METATYPE(TraceMode)
Q_DECLARE_METATYPE(AnimationTraceMode)
Q_DECLARE_METATYPE(QImage::Format)
Q_DECLARE_METATYPE(OutlineTracer::Options)

using TracerTestSupport::picture;
using TracerTestSupport::traced;
using Points = QVector<QPointF>;

namespace {

const TraceMode N = TraceMode::Natural;
const TraceMode S = TraceMode::Straight;
const AnimationTraceMode I = AnimationTraceMode::AllFramesIntersection;
const AnimationTraceMode U = AnimationTraceMode::AllFramesUnion;
const QList<float> someTolerances{0.0f, 0.5f, 0.7f, 1.0f, 1.5f, 2.0f, 3.3f, 10.0f};

QImage filled(int width, int height, int alpha)
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(qRgba(0, 0, 0, alpha));
    return image;
}

QImage alphaRow(const QVector<int>& alphas)
{
    QImage image = filled(alphas.size(), 1, 0);
    for (int x = 0; x < alphas.size(); ++x)
        image.setPixel(x, 0, qRgba(9, 9, 9, alphas.at(x)));
    return image;
}

// The shipped tracer and the reference on the same input: empty when whether
// they walk, the contour and every polygon agree bit for bit.
struct Twin
{
    OutlineTracer fast;
    ReferenceTracer reference;

    void setStartPixel(int x, int y) { fast.setStartPixel(x, y); reference.setStartPixel(x, y); }

    QString trace(const QImage& image, int threshold, TraceMode mode, const QList<float>& tolerances = someTolerances)
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

// Random pictures, small enough for the reference unless `side` is large:
// noise of any alpha, thin diagonal strokes touching at corners, or
// overlapping translucent, soft-edged ellipses.
QImage generated(std::mt19937& random, int kind, int side = 40)
{
    auto uniform = [&random](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    QImage image = filled(uniform(1, side), uniform(1, side), 0);
    const int w = image.width();
    const int h = image.height();
    const int density = uniform(1, 99);
    for (int y = 0; kind == 0 && y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, qRgba(1, 2, 3, uniform(0, 99) < density ? uniform(0, 255) : 0));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, kind == 2);
    for (int shape = kind ? uniform(1, 6) : 0; shape > 0; --shape) {
        painter.setPen(kind == 1 ? QPen(Qt::black, 0) : QPen(Qt::NoPen));
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

}

class TestOutlineTracer : public QObject
{
    Q_OBJECT

private slots:
    // Hand-checked walks; an empty contour means nothing is walked.
    void walks_data()
    {
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QPoint>("start");
        QTest::addColumn<int>("threshold");
        QTest::addColumn<TraceMode>("mode");
        QTest::addColumn<Points>("contour");
        const QStringList falling{"#.", ".#"};
        const QStringList column{"......", "..#...", "..###.", "..###.", "......"};
        const QStringList islands{"......", "....##", "....##", "##....", "##...."};
        const QStringList faint{"456"};  // alphas 100, 125, 150
        QTest::newRow("1x1") << QStringList{"#"} << QPoint() << 0 << S << Points{{1, 0}, {1, 1}, {0, 1}, {0, 0}};
        QTest::newRow("below an empty row") << QStringList{"...", "..#"} << QPoint() << 0 << S
                                            << Points{{3, 1}, {3, 2}, {2, 2}, {2, 1}};
        QTest::newRow("diagonal, straight") << falling << QPoint() << 0 << S
                                            << Points{{1, 0}, {1, 1}, {2, 1}, {2, 2}, {1, 2}, {1, 1}, {0, 1}, {0, 0}};
        // From (1, 1) the corner walk is back at its start corner after one
        // pixel; the midpoint walk passes that corner and goes round both.
        QTest::newRow("corner walk ends at the start") << falling << QPoint(1, 1) << 0 << S << Points{{2, 1}, {2, 2}, {1, 2}, {1, 1}};
        QTest::newRow("midpoint walk goes on") << falling << QPoint(1, 1) << 0 << N
                                               << Points{{1.5, 1}, {1, 1.5}, {0.5, 1}, {0, 0.5}, {-0.5, 0}, {0, -0.5}, {0.5, 0}, {1, 0.5}};
        // The run above (2, 4) ends at the hole, whose rim is followed.
        QTest::newRow("hole rim") << QStringList{"#####", "#####", "##.##", "#####", "#####"} << QPoint(2, 4) << 0 << N
                                  << Points{{2.5, 2}, {2, 1.5}, {1.5, 2}, {2, 2.5}};
        QTest::newRow("holes ignored") << QStringList{"#####", "#..##", "#.#.#", "#####"} << QPoint() << 0 << S
                                       << Points{{5, 0}, {5, 4}, {0, 4}, {0, 0}};
        QTest::newRow("(0, 0) is no start pixel") << column << QPoint(0, 0) << 0 << S
                                                  << Points{{3, 1}, {3, 2}, {5, 2}, {5, 4}, {2, 4}, {2, 1}};
        QTest::newRow("up the column") << column << QPoint(4, 3) << 0 << S << Points{{5, 2}, {5, 4}, {2, 4}, {2, 1}, {3, 1}, {3, 2}};
        QTest::newRow("first island only") << islands << QPoint() << 0 << S << Points{{6, 1}, {6, 3}, {4, 3}, {4, 1}};
        QTest::newRow("pressed island") << islands << QPoint(0, 4) << 0 << S << Points{{2, 3}, {2, 5}, {0, 5}, {0, 3}};
        QTest::newRow("pressed beside") << islands << QPoint(3, 4) << 0 << S << Points{};
        QTest::newRow("threshold 100") << faint << QPoint() << 100 << S << Points{{3, 0}, {3, 1}, {1, 1}, {1, 0}};
        QTest::newRow("threshold 125") << faint << QPoint() << 125 << S << Points{{3, 0}, {3, 1}, {2, 1}, {2, 0}};
        QTest::newRow("threshold 150") << faint << QPoint() << 150 << N << Points{};
        QTest::newRow("threshold 255") << QStringList{"##"} << QPoint() << 255 << S << Points{};
        QTest::newRow("below 0 all inside") << QStringList{"..", ".."} << QPoint() << -1 << S << Points{{2, 0}, {2, 2}, {0, 2}, {0, 0}};
        QTest::newRow("empty") << QStringList{} << QPoint() << 0 << N << Points{};
    }

    void walks()
    {
        QFETCH(QStringList, rows);
        QFETCH(QPoint, start);
        QFETCH(int, threshold);
        QFETCH(TraceMode, mode);
        QFETCH(Points, contour);
        OutlineTracer tracer;
        tracer.setStartPixel(start.x(), start.y());
        const bool walked = tracer.trace(picture(rows), threshold, mode);
        COMPARE_POINTS(tracer.contour(), contour);
        QCOMPARE(walked, !contour.isEmpty());
    }

    // From contour to polygon in body coordinates (y up), clockwise, turned so
    // that the first longest edge closes it, at the edges of the tolerance.
    void polygons_data()
    {
        QTest::addColumn<QImage>("image");
        QTest::addColumn<TraceMode>("mode");
        QTest::addColumn<float>("tolerance");
        QTest::addColumn<Points>("expected");
        const QImage dot = picture({"...", ".#.", "..."});
        QTest::newRow("body coordinates") << picture({"....", ".#..", "...."}) << S << 0.0f << Points{{2, 1}, {1, 1}, {1, 2}, {2, 2}};
        QTest::newRow("equal edges: the first closes") << dot << N << 0.0f << Points{{1, 1.5}, {0.5, 2}, {1, 2.5}, {1.5, 2}};
        QTest::newRow("wide") << filled(4, 3, 255) << S << 0.0f << Points{{0, 0}, {0, 3}, {4, 3}, {4, 0}};
        QTest::newRow("tall") << filled(3, 4, 255) << S << 0.0f << Points{{3, 0}, {0, 0}, {0, 4}, {3, 4}};
        // (2, 0.5) lies exactly 1 from (2, 1.5) and stays; (1, 0.5) is then measured from it.
        QTest::newRow("radial pass keeps the tolerance") << filled(3, 1, 255) << N << 1.0f << Points{{2, 1.5}, {0, 0.5}, {1, 1.5}};
        // Douglas-Peucker drops points exactly at the tolerance from the chord.
        QTest::newRow("column at the tolerance") << filled(1, 3, 255) << S << 1.0f << Points{{1, 0}, {1, 3}};
        QTest::newRow("pixel at the tolerance") << dot << N << 0.5f << Points{{1, 1.5}, {0.5, 2}, {1.5, 2}};
        QTest::newRow("pixel just below") << dot << N << 0.4999f << Points{{1, 1.5}, {0.5, 2}, {1, 2.5}, {1.5, 2}};
        // Two points sqrt(0.5) from the chord: the first is kept; 0.71 squared
        // in single precision (0.5041) drops both.
        QTest::newRow("first farthest kept") << dot << N << 0.7f << Points{{1, 1.5}, {0.5, 2}, {1.5, 2}};
        QTest::newRow("squared in floats") << dot << N << 0.71f << Points{{1, 1.5}, {1.5, 2}};
    }

    void polygons()
    {
        QFETCH(QImage, image);
        QFETCH(TraceMode, mode);
        QFETCH(float, tolerance);
        QFETCH(Points, expected);
        COMPARE_POINTS(traced(image, 0, mode, tolerance), expected);
    }

    // Composites as alphas, row after row; none for a null composite.
    void composites_data()
    {
        QTest::addColumn<QList<QImage>>("frames");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<AnimationTraceMode>("mode");
        QTest::addColumn<int>("threshold");
        QTest::addColumn<QVector<int>>("alphas");
        const QList<QImage> ab{alphaRow({10, 100, 200}), alphaRow({50, 50, 255})};
        // Wide enough for every path; alpha 60 at x = 20 is kept by a threshold of 60.
        QVector<int> ramp(40);
        std::iota(ramp.begin(), ramp.end(), 40);
        QVector<int> kept = ramp;
        std::replace_if(kept.begin(), kept.end(), [](int alpha) { return alpha < 60; }, 0);
        QTest::newRow("at the threshold, intersection") << QList<QImage>{alphaRow(ramp)} << QSize(40, 1) << I << 60 << kept;
        QTest::newRow("at the threshold, union") << QList<QImage>{alphaRow(ramp)} << QSize(40, 1) << U << 60 << kept;
        QTest::newRow("1x1") << ab << QSize(1, 1) << U << 0 << QVector<int>{50};
        QTest::newRow("threshold 255") << QList<QImage>{alphaRow({254, 255})} << QSize(2, 1) << U << 255 << QVector<int>{0, 255};
        QTest::newRow("above 255, intersection") << QList<QImage>{alphaRow({255, 255})} << QSize(3, 1) << I << 256
                                                 << QVector<int>{0, 0, 255};
        QTest::newRow("above 255, union") << QList<QImage>{alphaRow({255, 255})} << QSize(3, 1) << U << 300 << QVector<int>{0, 0, 0};
        // Pixels no frame covers keep the start; pixels outside the size are skipped.
        QTest::newRow("small frame") << QList<QImage>{filled(2, 2, 0)} << QSize(4, 3) << I << 0
                                     << QVector<int>{0, 0, 255, 255, 0, 0, 255, 255, 255, 255, 255, 255};
        QTest::newRow("large frame") << QList<QImage>{filled(5, 3, 255)} << QSize(4, 2) << U << 0 << QVector<int>(8, 255);
        QTest::newRow("no frame") << QList<QImage>{} << QSize(2, 2) << I << 0 << QVector<int>(4, 255);
        QTest::newRow("null frame") << QList<QImage>{QImage()} << QSize(2, 2) << U << 0 << QVector<int>(4, 0);
        QTest::newRow("single frame mode") << ab << QSize(3, 1) << AnimationTraceMode::SingleFrame << 0 << QVector<int>{};
        QTest::newRow("no width") << ab << QSize(0, 4) << U << 0 << QVector<int>{};
    }

    void composites()
    {
        QFETCH(QList<QImage>, frames);
        QFETCH(QSize, size);
        QFETCH(AnimationTraceMode, mode);
        QFETCH(int, threshold);
        QFETCH(QVector<int>, alphas);
        const QImage composite = FrameComposite::build(frames, size, mode, threshold);
        QCOMPARE(composite.isNull(), alphas.isEmpty());
        QVector<int> actual;
        for (int y = 0; y < composite.height(); ++y)
            for (int x = 0; x < composite.width(); ++x)
                actual << qAlpha(composite.pixel(x, y));
        QCOMPARE(actual, alphas);
        QCOMPARE(composite, ReferenceTracer::frameComposite(frames, size, mode, threshold));
    }

    void formats_data()
    {
        QTest::addColumn<QImage::Format>("format");
        for (int f = QImage::Format_Mono; f < QImage::NImageFormats; ++f)
            QTest::addRow("%d", f) << QImage::Format(f);
    }

    // Arbitrary bytes in every format, indexed ones with colour tables of none,
    // one or some colours: alpha is what QImage::pixel reads, also in strips.
    void formats()
    {
        QFETCH(QImage::Format, format);
        // QImage::pixel warns about indexes beyond the colour table.
        const QtMessageHandler previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
        const auto restore = qScopeGuard([previous] { qInstallMessageHandler(previous); });
        std::mt19937 random{uint(format)};
        for (int round = 0; round < 4; ++round) {
            QImage noise(round < 3 ? 13 : 70000, 9, format);
            for (int y = 0; y < noise.height(); ++y)
                for (int i = 0; i < noise.bytesPerLine(); ++i)
                    noise.scanLine(y)[i] = uchar(random());
            if (format <= QImage::Format_Indexed8) {
                QVector<QRgb> table(format != QImage::Format_Indexed8 ? 2 : round < 2 ? round : 2 + int(random() % 250));
                for (QRgb& colour : table)
                    colour = QRgb(random());
                noise.setColorTable(table);
            }
            if (round == 3) {  // wide enough for strips of a few rows, read in an order that keeps switching
                const AlphaSource strips(noise, 0);
                QCOMPARE(strips.readsInStrips(), format != QImage::Format_ARGB32 && format != QImage::Format_RGB32
                                                     && format != QImage::Format_ARGB32_Premultiplied);
                int mismatches = 0;
                for (int y : {0, 8, 1, 2, 1, 2, 3, 4, 3, 4, 7, 0, 5, 6, 5, 8})
                    for (int x : {0, 1, 31, 32, 34999, 69999, int(random() % 70000)})
                        mismatches += strips.alpha(x, y) != qAlpha(noise.pixel(x, y));
                QCOMPARE(mismatches, 0);
                break;
            }
            for (int threshold : {0, 1, 100, 254})
                for (TraceMode mode : {N, S})
                    QCOMPARE(Twin().trace(noise, threshold, mode), QString());
        }
    }

    void equivalenceOnGeneratedImages()
    {
        // One pair of tracers per mode for all images, as in the dialog: the
        // kept contour, its height and the start pixel carry over. The last
        // few images are combined into composites as well.
        std::mt19937 random(20240611);
        auto uniform = [&random](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
        const QImage::Format formats[] = {QImage::Format_ARGB32_Premultiplied, QImage::Format_RGB32, QImage::Format_RGBA8888,
                                          QImage::Format_ARGB4444_Premultiplied, QImage::Format_Indexed8, QImage::Format_Alpha8};
        Twin twins[2];
        QList<QImage> recent;
        int walked = 0;
        for (int round = 0; round < 1500; ++round) {
            QImage image = generated(random, round % 3, round % 100 == 99 ? 500 : round % 3 == 2 ? 96 : 40);
            if (round % 5 == 4)
                image = image.convertToFormat(formats[uniform(0, 5)]);
            const int threshold = uniform(0, 3) ? uniform(0, 255) : 0;
            const QList<float> tolerances{0.0f, float(uniform(1, 8)) * 0.25f, std::uniform_real_distribution<float>(0, 6)(random)};
            for (int m = 0; m < 2; ++m) {
                const int pick = uniform(0, 4);  // none, one in or near the image, or the last one
                if (pick < 3)
                    twins[m].setStartPixel(pick ? uniform(-1, image.width()) : 0, pick ? uniform(-1, image.height()) : 0);
                const QString failure = twins[m].trace(image, threshold, uniform(0, 19) ? TraceMode(m) : TraceMode(2), tolerances);
                if (!failure.isEmpty())
                    QFAIL(qPrintable(QStringLiteral("round %1, %2x%3: %4").arg(round).arg(image.width()).arg(image.height()).arg(failure)));
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
            QCOMPARE(Twin().trace(composite, threshold, TraceMode(round % 2), {0.0f, 1.0f}), QString());
        }
        QVERIFY(walked > 2000);  // most cases walked something
    }

    void largeImages()
    {
        for (const QImage& line : {filled(200000, 1, 255), filled(1, 200000, 255)})
            for (TraceMode mode : {N, S})
                QCOMPARE(Twin().trace(line, 0, mode, {0.0f, 0.5f}), QString());
        // A square spiral one pixel wide: a long outline with nothing collinear
        // at tolerance 0, too deep for a recursive Douglas-Peucker.
        QImage spiral = filled(401, 401, 0);
        QPolygon path;
        for (int low = 0, high = 400; low + 2 <= high; low += 2, high -= 2)
            path << QPoint(low, low) << QPoint(high, low) << QPoint(high, high) << QPoint(low, high) << QPoint(low, low + 2);
        QPainter(&spiral).drawPolyline(path);
        for (TraceMode mode : {N, S}) {
            OutlineTracer tracer;
            QVERIFY(tracer.trace(spiral, 0, mode));
            QVERIFY(tracer.contourSize() > (mode == N ? 100000 : 500));
            QVERIFY(tracer.polygon(0.0f).size() >= 100);
            QVERIFY(!tracer.polygon(1e9f).isEmpty());
        }
        // Strange tolerances behave as in the reference.
        std::mt19937 random(5);
        const QList<float> odd{-1.0f, std::numeric_limits<float>::infinity(), std::numeric_limits<float>::quiet_NaN(),
                               std::numeric_limits<float>::denorm_min(), 1e30f};
        QCOMPARE(Twin().trace(generated(random, 2), 100, N, odd), QString());

        // One byte a pixel, but more than AlphaSource copies at once as 32 bits:
        // a ragged shape across many strips, a hole, and an edge along a strip border.
        QImage image(9000, 7500, QImage::Format_Indexed8);
        image.setColorTable({qRgba(0, 0, 0, 0), qRgba(0, 0, 0, 255), qRgba(0, 0, 0, 100)});
        image.fill(0);
        QVERIFY(AlphaSource(image).readsInStrips());
        for (int y = 40; y < 400; ++y) {
            const int right = 700 - (y * 11) % 17 - (y > 200 && y < 240 ? 300 : 0);
            for (int x = 100 + (y * 37) % 23; x < right; ++x)
                image.scanLine(y)[x] = (x + y) % 97 == 0 ? 2 : 1;
        }
        for (int y = 300; y < 320; ++y)
            std::memset(image.scanLine(y) + 300, 0, 50);
        for (TraceMode mode : {N, S}) {
            Twin twin;
            QCOMPARE(twin.trace(image, 0, mode, {0.0f, 1.0f, 3.0f}), QString());
            QCOMPARE(twin.trace(image, 100, mode, {1.0f}), QString());
            QVERIFY(twin.fast.contourSize() > 100);
            twin.setStartPixel(500, 390);
            QCOMPARE(twin.trace(image, 0, mode, {1.0f}), QString());
        }
    }

    // The command line's trace; an empty error means success.
    void traceImages_data()
    {
        QTest::addColumn<QList<QImage>>("images");
        QTest::addColumn<OutlineTracer::Options>("options");
        QTest::addColumn<Points>("expected");
        QTest::addColumn<QString>("error");
        auto options = [](TraceMode mode, float tolerance, int threshold = 0,
                          AnimationTraceMode frames = AnimationTraceMode::SingleFrame, QPoint start = {}) {
            return OutlineTracer::Options{mode, tolerance, threshold, start, frames};
        };
        const QImage first = picture({"....", ".##.", ".#.."});
        const QImage a = picture({"###.", "###.", "...."});
        const QImage b = picture({".###", ".###", ".###"});
        const QImage c = picture({"#.....", "######"});
        const QList<QImage> one{filled(2, 2, 255)};
        QTest::newRow("defaults") << QList<QImage>{first, b} << OutlineTracer::Options{} << Points(traced(first, 0, S, 1)) << "";
        QTest::newRow("pressed") << QList<QImage>{first} << options(N, 0, 10, AnimationTraceMode::SingleFrame, {1, 2})
                                 << Points(traced(first, 10, N, 0, {1, 2})) << "";
        QTest::newRow("intersection") << QList<QImage>{a, b} << options(S, 0, 0, I) << Points{{3, 1}, {1, 1}, {1, 3}, {3, 3}} << "";
        QTest::newRow("union") << QList<QImage>{a, b} << options(S, 0, 0, U)
                               << Points{{4, 3}, {4, 0}, {1, 0}, {1, 1}, {0, 1}, {0, 3}} << "";
        QTest::newRow("sized as the first") << QList<QImage>{c, a} << options(S, 0, 0, U)
                                            << Points{{0, 0}, {0, 2}, {3, 2}, {3, 1}, {6, 1}, {6, 0}} << "";
        QTest::newRow("threshold 255") << one << options(S, 0, 255) << Points{} << "";
        QTest::newRow("no image") << QList<QImage>{} << options(S, 1) << Points{} << "No image";
        QTest::newRow("null image") << QList<QImage>{one[0], QImage()} << options(S, 1) << Points{} << "2 of 2";
        QTest::newRow("mode") << one << options(TraceMode(2), 1) << Points{} << "mode 2";
        QTest::newRow("frame mode") << one << options(S, 1, 0, AnimationTraceMode(3)) << Points{} << "mode 3";
        QTest::newRow("threshold 256") << one << options(S, 1, 256) << Points{} << "256";
        QTest::newRow("threshold -1") << one << options(S, 1, -1) << Points{} << "-1";
        QTest::newRow("tolerance -0.5") << one << options(S, -0.5f) << Points{} << "-0.5";
        QTest::newRow("tolerance NaN") << one << options(S, std::numeric_limits<float>::quiet_NaN()) << Points{} << "nan";
        QTest::newRow("tolerance inf") << one << options(S, std::numeric_limits<float>::infinity()) << Points{} << "inf";
    }

    void traceImages()
    {
        QFETCH(QList<QImage>, images);
        QFETCH(OutlineTracer::Options, options);
        QFETCH(Points, expected);
        QFETCH(QString, error);
        const OutlineTracer::Result result = OutlineTracer::traceImages(images, options);
        QCOMPARE(result.ok(), error.isEmpty());
        QVERIFY2(result.error.contains(error), qPrintable(result.error));
        COMPARE_POINTS(result.polygon, expected);
    }

    void traceFiles()
    {
        QTemporaryDir dir;
        const QImage sprite = picture({"........", "..####..", ".######.", "..#..##."});
        QFile garbage(dir.filePath("garbage.png"));
        QVERIFY(sprite.save(dir.filePath("argb.png")) && sprite.convertToFormat(QImage::Format_Grayscale8).save(dir.filePath("gray.png"))
                && garbage.open(QIODevice::WriteOnly) && garbage.write("\x89PNG\r\n\x1a\n this is not an image") > 0);
        garbage.close();
        OutlineTracer::Options union_;
        union_.frames = U;
        const QPolygonF opaque = traced(filled(8, 4, 255), 0, S, 1);
        COMPARE_POINTS(OutlineTracer::traceFiles({dir.filePath("argb.png")}, {}).polygon, traced(sprite, 0, S, 1));
        COMPARE_POINTS(OutlineTracer::traceFiles({dir.filePath("gray.png")}, {}).polygon, opaque);
        COMPARE_POINTS(OutlineTracer::traceFiles({dir.filePath("argb.png"), dir.filePath("gray.png")}, union_).polygon, opaque);
        // A file that cannot be read fails the whole trace and is named.
        for (const QString& bad : {garbage.fileName(), dir.filePath("missing.png"), dir.path()}) {
            for (const OutlineTracer::Options& options : {OutlineTracer::Options{}, union_}) {
                const OutlineTracer::Result result = OutlineTracer::traceFiles({dir.filePath("argb.png"), bad}, options);
                const QString prefix = QStringLiteral("Can't read image %1: ").arg(bad);
                QVERIFY2(result.polygon.isEmpty() && result.error.startsWith(prefix) && result.error.size() > prefix.size(),
                         qPrintable(result.error));
            }
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
