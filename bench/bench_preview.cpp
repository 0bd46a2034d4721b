// The physics preview with 200 bodies of 20 convex pieces each: building the
// world from the document, one step of the engine and one repaint of the view,
// measured apart.
#include "convexdecomposition.h"
#include "element.h"
#include "elementlistmodel.h"
#include "exporterregistry.h"
#include "fixturepolygon.h"
#include "physicsworld.h"
#include "previewview.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

constexpr int bodyCount = 200;
constexpr int piecesPerBody = 20;

// A comb: a back 96 pixels wide with teeth below it, each tooth a piece of its own.
QPolygonF comb(int teeth)
{
    QPolygonF outline;
    const double width = 96, toothWidth = width / (2 * teeth - 1);
    outline << QPointF(0, 64) << QPointF(0, 0);
    for (int i = 0; i < teeth; ++i) {
        const double left = 2 * i * toothWidth;
        if (i > 0)
            outline << QPointF(left, 40);
        outline << QPointF(left, 0) << QPointF(left + toothWidth, 0);
        if (i + 1 < teeth)
            outline << QPointF(left + toothWidth, 40);
    }
    outline << QPointF(width, 64);
    return outline;
}

// The most teeth whose comb is cut into no more than `pieces` pieces.
QPolygonF combOf(int pieces)
{
    int teeth = 1;
    while (ConvexDecomposition::decompose(comb(teeth + 1)).size() <= pieces)
        ++teeth;
    return comb(teeth);
}

struct Scene
{
    Scene()
    {
        ExporterRegistry::instance().scanExporters(QStringLiteral(HWT_SOURCE_DIR "/exporters"));
        document.setExporter(ExporterRegistry::instance().exporter(QStringLiteral("box2d-json")));
        QImage image(96, 64, QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        const QPolygonF outline = combOf(piecesPerBody);
        QPainter painter(&image);
        painter.setBrush(QColor(160, 120, 60));
        painter.setTransform(QTransform(1, 0, 0, -1, 0, 64));
        painter.drawPolygon(outline);
        painter.end();
        const QString file = QDir(dir.path()).filePath(QStringLiteral("comb.png"));
        image.save(file);
        for (int i = 0; i < bodyCount; ++i) {
            Element* body = document.addFile(file);
            body->setAnchorPointAbsDirect(QPointF(48, 32));
            body->addFixtures(FixturePolygon::create(body, {outline}), QStringLiteral("add"));
        }
        pieces = ConvexDecomposition::decompose(outline).size();
    }

    QTemporaryDir dir;
    ElementListModel document;
    int pieces = 0;
};

Scene& scene()
{
    static Scene scene;
    return scene;
}

void BM_BuildWorld200(benchmark::State& state)
{
    Scene& s = scene();
    for (auto _ : state) {
        PhysicsWorld world(PreviewBody::fromElements(s.document.elements()));
        benchmark::DoNotOptimize(world.bodyCount());
    }
    state.counters["bodies"] = bodyCount;
    state.counters["piecesPerBody"] = s.pieces;
}
BENCHMARK(BM_BuildWorld200)->Unit(benchmark::kMillisecond);

// The engine's step over the first ten seconds: the bodies fall, pile up and come to rest.
void BM_Step200(benchmark::State& state)
{
    const QVector<PreviewBody> bodies = PreviewBody::fromElements(scene().document.elements());
    auto world = std::make_unique<PhysicsWorld>(bodies);
    for (auto _ : state) {
        if (world->stepCount() == 600) {
            state.PauseTiming();
            world = std::make_unique<PhysicsWorld>(bodies);
            state.ResumeTiming();
        }
        world->step();
    }
}
BENCHMARK(BM_Step200)->Unit(benchmark::kMillisecond);

// One repaint of a 1280 x 800 view, as the window paints it, two seconds into the fall.
void BM_Repaint200(benchmark::State& state)
{
    const QVector<PreviewBody> bodies = PreviewBody::fromElements(scene().document.elements());
    PhysicsWorld world(bodies);
    for (int i = 0; i < 120; ++i)
        world.step();
    PreviewView view;
    view.setWorld(&world, bodies);
    QImage target(1280, 800, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        QPainter painter(&target);
        painter.setRenderHint(QPainter::Antialiasing);
        view.paint(painter, target.rect());
    }
}
BENCHMARK(BM_Repaint200)->Unit(benchmark::kMillisecond);

// The first repaint after the window changed size, when every body is drawn anew at the new scale.
void BM_RepaintResized200(benchmark::State& state)
{
    const QVector<PreviewBody> bodies = PreviewBody::fromElements(scene().document.elements());
    PhysicsWorld world(bodies);
    PreviewView view;
    view.setWorld(&world, bodies);
    QImage target(1280, 800, QImage::Format_ARGB32_Premultiplied);
    int width = 1280;
    for (auto _ : state) {
        width = width == 1280 ? 1279 : 1280;
        QPainter painter(&target);
        painter.setRenderHint(QPainter::Antialiasing);
        view.paint(painter, QRect(0, 0, width, 800));
    }
}
BENCHMARK(BM_RepaintResized200)->Unit(benchmark::kMillisecond);

}

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_LOGGING_RULES", "default.debug=false");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
