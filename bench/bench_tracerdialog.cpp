// The tracer dialog's live preview on 2048 x 2048 sprites (a smooth blob and
// a jagged organic shape): from a change of a control to the repainted view.
// A tolerance change only simplifies the outline already walked; a threshold
// change walks it again. Beside them, the straightforward preview: the pixmap
// converted again, a fresh walk and one ellipse item per vertex. Then a body
// of 16 frames of 512 x 512 in the all-frames modes: a threshold change, and
// a frame-mode change, which combines the frames again (what every threshold
// change would cost if the composite were rebuilt for it). Before its loop
// every benchmark checks the dialog's polygon against the tracer's own.
// The goal is under 16 ms from a tolerance or threshold change to the
// updated preview.

#include "element.h"
#include "elementlistmodel.h"
#include "framecomposite.h"
#include "outlinetracer.h"
#include "sprites.h"
#include "tracerdialog.h"
#include "tracersettings.h"

#include <QApplication>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGraphicsEllipseItem>
#include <QGraphicsPixmapItem>
#include <QGraphicsPolygonItem>
#include <QGraphicsView>
#include <QSettings>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QtMath>

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

using BenchSprites::Shape;

constexpr int side = 2048;
constexpr int frameSide = 512;
constexpr int frameCount = 16;

QTemporaryDir& scratch()
{
    static QTemporaryDir dir;
    return dir;
}

ElementListModel& document()
{
    static ElementListModel model;
    return model;
}

// One body per sprite, its image written as PNG once.
Element* body(Shape shape)
{
    static std::map<int, std::unique_ptr<Element>> bodies;
    std::unique_ptr<Element>& entry = bodies[int(shape)];
    if (!entry) {
        const QString path = scratch().filePath(QString::fromLatin1(BenchSprites::name(shape)) + QStringLiteral(".png"));
        BenchSprites::draw(shape, side, 0, true).save(path, "PNG", 10);
        entry = std::make_unique<Element>(&document(), nullptr, QString::fromLatin1(BenchSprites::name(shape)), path);
    }
    return entry.get();
}

// A body of 16 frames: the blob turned and shifted a little from one to the next.
Element* animatedBody()
{
    static std::unique_ptr<Element> entry;
    if (!entry) {
        QStringList files;
        for (int i = 0; i < frameCount; ++i) {
            files << scratch().filePath(QStringLiteral("frame-%1.png").arg(i, 2, 10, QLatin1Char('0')));
            BenchSprites::draw(Shape::Blob, frameSide, i * 0.05, true).save(files.last(), "PNG", 10);
        }
        // The first frame added last, so that the body holds it, as it holds its current image.
        entry = std::make_unique<Element>(&document(), nullptr, QStringLiteral("animated"), files.last());
        for (int i = frameCount - 2; i >= 0; --i)
            entry->addImageFileNameDirect(files.at(i));
        entry->setValueDirect(QStringLiteral("currentImageName"), files.first());
    }
    return entry.get();
}

bool identical(const QPolygonF& a, const QPolygonF& b)
{
    return a.size() == b.size() && std::memcmp(a.constData(), b.constData(), sizeof(QPointF) * std::size_t(a.size())) == 0;
}

// The dialog as the user sees it: the whole sprite in view, one frame traced
// unless told otherwise.
std::unique_ptr<TracerDialog> openDialog(Element* body, TraceMode mode, float tolerance,
                                         AnimationTraceMode frames = AnimationTraceMode::SingleFrame, float zoom = 0.33f)
{
    TracerSettings traced;
    traced.mode = mode;
    traced.tolerance = tolerance;
    traced.frames = frames;
    traced.write();
    {
        // What only the dialog itself keeps.
        QSettings settings;
        settings.beginGroup(QStringLiteral("tracer"));
        settings.setValue(QStringLiteral("zoom"), zoom);
        settings.setValue(QStringLiteral("windowSize"), QSize(800, 760));
    }
    auto dialog = std::make_unique<TracerDialog>(body);
    dialog->show();
    QCoreApplication::processEvents();
    return dialog;
}

void repaint(QGraphicsView* view)
{
    QCoreApplication::processEvents();
    view->viewport()->repaint();
}

QPolygonF oracle(Shape shape, TraceMode mode, int threshold, float tolerance)
{
    OutlineTracer tracer;
    tracer.trace(body(shape)->pixmap().toImage(), threshold, mode);
    return tracer.polygon(tolerance);
}

// Times changes that alternate between two settings, each followed by the
// repainted preview; `set` makes the change (true and false in turn).
template<typename Set>
void alternate(benchmark::State& state, TracerDialog& dialog, Set set)
{
    auto* view = dialog.findChild<QGraphicsView*>(QStringLiteral("graphicsView"));
    int vertices = 0;
    bool flip = false;
    for (auto _ : state) {
        flip = !flip;
        set(flip);
        repaint(view);
        vertices = dialog.polygon().size();
    }
    state.counters["vertices"] = vertices;
}

// Alternates the tolerance between `tolerance` and a little more.
void toleranceChange(benchmark::State& state, Shape shape, TraceMode mode, float tolerance)
{
    auto dialog = openDialog(body(shape), mode, tolerance);
    auto* spin = dialog->findChild<QDoubleSpinBox*>(QStringLiteral("toleranceSpinBox"));
    spin->setValue(tolerance + 0.5);
    if (!identical(dialog->polygon(), oracle(shape, mode, 0, tolerance + 0.5f)))
        state.SkipWithError("the polygon differs from the tracer's");
    alternate(state, *dialog, [&](bool flip) { spin->setValue(flip ? double(tolerance) : double(tolerance) + 0.5); });
}

// Alternates the threshold between 0 and 1: every change walks again.
void thresholdChange(benchmark::State& state, Shape shape, TraceMode mode, float tolerance)
{
    auto dialog = openDialog(body(shape), mode, tolerance);
    auto* spin = dialog->findChild<QSpinBox*>(QStringLiteral("alphaThresholdSpinBox"));
    spin->setValue(1);
    if (!identical(dialog->polygon(), oracle(shape, mode, 1, tolerance)))
        state.SkipWithError("the polygon differs from the tracer's");
    alternate(state, *dialog, [spin](bool flip) { spin->setValue(flip ? 0 : 1); });
}

// The outline of all frames combined as first defined: every frame's alpha
// below the threshold counted as 0, then the least or greatest per pixel.
QPolygonF compositeOracle(AnimationTraceMode frames, int threshold, float tolerance)
{
    FrameComposite composite(QSize(frameSide, frameSide), frames, threshold);
    for (const QString& file : animatedBody()->imageFileNames())
        composite.addFrame(QImage(file));
    OutlineTracer tracer;
    tracer.trace(composite.image(), threshold, TraceMode::Straight);
    return tracer.polygon(tolerance);
}

// Alternates the threshold between 64 and 192 (either side of the blob's
// soft edge) with all frames combined.
void compositeThresholdChange(benchmark::State& state, AnimationTraceMode frames)
{
    auto dialog = openDialog(animatedBody(), TraceMode::Straight, 1.0f, frames, 1.0f);
    auto* spin = dialog->findChild<QSpinBox*>(QStringLiteral("alphaThresholdSpinBox"));
    spin->setValue(192);
    const QPolygonF high = dialog->polygon();
    spin->setValue(64);
    if (!identical(high, compositeOracle(frames, 192, 1.0f)) || !identical(dialog->polygon(), compositeOracle(frames, 64, 1.0f))
        || identical(high, dialog->polygon()))
        state.SkipWithError("the polygon differs from the tracer's");
    alternate(state, *dialog, [spin](bool flip) { spin->setValue(flip ? 192 : 64); });
}

// Alternates between intersection and union: every change combines the frames again.
void frameModeChange(benchmark::State& state)
{
    auto dialog = openDialog(animatedBody(), TraceMode::Straight, 1.0f, AnimationTraceMode::AllFramesUnion, 1.0f);
    auto* combo = dialog->findChild<QComboBox*>(QStringLiteral("animationTraceMode"));
    combo->setCurrentIndex(int(AnimationTraceMode::AllFramesIntersection));
    if (!identical(dialog->polygon(), compositeOracle(AnimationTraceMode::AllFramesIntersection, 0, 1.0f)))
        state.SkipWithError("the polygon differs from the tracer's");
    alternate(state, *dialog, [combo](bool flip) {
        combo->setCurrentIndex(int(flip ? AnimationTraceMode::AllFramesUnion : AnimationTraceMode::AllFramesIntersection));
    });
}

// The preview done the plain way on every tolerance change: convert, walk,
// simplify, one ellipse item per vertex, repaint.
void straightforwardPreview(benchmark::State& state, Shape shape, TraceMode mode, float tolerance)
{
    const QPixmap pixmap = body(shape)->pixmap();
    QGraphicsScene scene;
    auto* picture = scene.addPixmap(pixmap);
    picture->setTransform(QTransform::fromScale(1, -1));
    picture->setPos(0, pixmap.height());
    auto* outline = scene.addPolygon(QPolygonF(), QPen(QColor(255, 0, 0, 255)), QBrush(QColor(0, 255, 0, 128)));
    QList<QGraphicsEllipseItem*> markers;
    QGraphicsView view(&scene);
    view.resize(780, 640);
    view.scale(0.33, -0.33);
    view.show();
    QCoreApplication::processEvents();
    OutlineTracer tracer;
    int vertices = 0;
    bool flip = false;
    for (auto _ : state) {
        flip = !flip;
        tracer.trace(pixmap.toImage(), 0, mode);
        const QPolygonF polygon = tracer.polygon(flip ? tolerance : tolerance + 0.5f);
        outline->setPolygon(polygon);
        qDeleteAll(markers);
        markers.clear();
        for (const QPointF& p : polygon)
            markers << scene.addEllipse(p.x() - 0.2, p.y() - 0.2, 0.4, 0.4, QPen(QColor(255, 0, 0, 255)),
                                        QBrush(QColor(255, 0, 0, 128)));
        repaint(&view);
        vertices = polygon.size();
    }
    qDeleteAll(markers);
    state.counters["vertices"] = vertices;
}

class TableReporter final : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred || run.run_type != Run::RT_Iteration)
                continue;
            const double factor = run.time_unit == benchmark::kMicrosecond ? 1e-3 : 1.0;
            times[run.run_name.str()] = {run.GetAdjustedRealTime() * factor, run.GetAdjustedCPUTime() * factor};
        }
    }
    // Wall and CPU milliseconds; on a busy machine the CPU time is the one to trust.
    std::map<std::string, std::pair<double, double>> times;
};

const Shape shapes[] = {Shape::Blob, Shape::Jagged};
const std::pair<TraceMode, const char*> walkers[] = {{TraceMode::Straight, "straight"}, {TraceMode::Natural, "natural"}};
const int tolerances[] = {0, 1};
const std::pair<AnimationTraceMode, const char*> allFrames[] = {{AnimationTraceMode::AllFramesUnion, "union"},
                                                                {AnimationTraceMode::AllFramesIntersection, "intersection"}};

std::string name(const char* kind, Shape shape, const char* walker, int tolerance)
{
    return std::string(kind) + "/" + BenchSprites::name(shape) + "/" + walker + "/t" + std::to_string(tolerance);
}

void registerAll()
{
    for (Shape shape : shapes) {
        for (const auto& walker : walkers) {
            for (int tolerance : tolerances) {
                benchmark::RegisterBenchmark(name("BM_ToleranceChange", shape, walker.second, tolerance).c_str(),
                                             toleranceChange, shape, walker.first, float(tolerance))
                    ->Unit(benchmark::kMillisecond);
                benchmark::RegisterBenchmark(name("BM_ThresholdChange", shape, walker.second, tolerance).c_str(),
                                             thresholdChange, shape, walker.first, float(tolerance))
                    ->Unit(benchmark::kMillisecond);
                benchmark::RegisterBenchmark(name("BM_StraightforwardPreview", shape, walker.second, tolerance).c_str(),
                                             straightforwardPreview, shape, walker.first, float(tolerance))
                    ->Unit(benchmark::kMillisecond);
            }
        }
    }
    for (const auto& frames : allFrames)
        benchmark::RegisterBenchmark(("BM_ThresholdChange/16x512/" + std::string(frames.second)).c_str(),
                                     compositeThresholdChange, frames.first)
            ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BM_FrameModeChange/16x512", frameModeChange)->Unit(benchmark::kMillisecond);
}

void printTable(const std::map<std::string, std::pair<double, double>>& times)
{
    std::printf("\nmilliseconds per change, wall / CPU\n%-7s %-9s %2s %17s %17s %17s  %s\n", "sprite", "walker", "t",
                "tolerance", "threshold", "straightforward", "goal (tolerance change < 16 ms)");
    auto cell = [&times](const std::string& key) {
        const auto it = times.find(key);
        char text[40] = "-";
        if (it != times.end())
            std::snprintf(text, sizeof text, "%7.2f / %6.2f", it->second.first, it->second.second);
        return std::string(text);
    };
    for (Shape shape : shapes) {
        for (const auto& walker : walkers) {
            for (int tolerance : tolerances) {
                const std::string key = name("BM_ToleranceChange", shape, walker.second, tolerance);
                const auto ours = times.find(key);
                if (ours == times.end())
                    continue;
                std::printf("%-7s %-9s %2d %17s %17s %17s  %s\n", BenchSprites::name(shape), walker.second, tolerance,
                            cell(key).c_str(), cell(name("BM_ThresholdChange", shape, walker.second, tolerance)).c_str(),
                            cell(name("BM_StraightforwardPreview", shape, walker.second, tolerance)).c_str(),
                            ours->second.first < 16.0 ? "met" : ours->second.second < 16.0 ? "met in CPU time" : "MISSED");
            }
        }
    }
    std::printf("\n16 frames of 512 x 512  %17s  %s\n", "change", "goal (threshold change < 16 ms)");
    for (const auto& frames : allFrames) {
        const std::string key = "BM_ThresholdChange/16x512/" + std::string(frames.second);
        const auto ours = times.find(key);
        if (ours == times.end())
            continue;
        std::printf("threshold, %-12s  %17s  %s\n", frames.second, cell(key).c_str(),
                    ours->second.first < 16.0 ? "met" : ours->second.second < 16.0 ? "met in CPU time" : "MISSED");
    }
    std::printf("frame mode              %17s\n", cell("BM_FrameModeChange/16x512").c_str());
}

}

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // The dialog keeps its settings; these runs must not touch the user's.
    QTemporaryDir settingsDir;
    qputenv("XDG_CONFIG_HOME", settingsDir.path().toLocal8Bit());
    for (QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat})
        QSettings::setPath(format, QSettings::UserScope, settingsDir.path());
    QApplication app(argc, argv);
    app.setOrganizationName(QStringLiteral("hullwright.org"));
    app.setApplicationName(QStringLiteral("bench_tracerdialog"));
    benchmark::Initialize(&argc, argv);
    registerAll();
    TableReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    printTable(reporter.times);
    benchmark::Shutdown();
    return 0;
}
