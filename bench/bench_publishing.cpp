// Publishing a large document through the shipped Box2D exporter.
#include "element.h"
#include "elementlistmodel.h"
#include "exporter.h"
#include "fixturecircle.h"
#include "fixturepolygon.h"
#include "publisher.h"
#include "reporter.h"
#include "templatelookups.h"

#include <QGuiApplication>
#include <QImage>
#include <QTemporaryDir>
#include <QtMath>

#include <benchmark/benchmark.h>

namespace {

constexpr int bodyCount = 1000;

// A concave outline like a traced sprite: a wobbly blob with a bite taken out.
QPolygonF tracedOutline(int seed)
{
    QPolygonF outline;
    constexpr int points = 40;
    for (int i = 0; i < points; ++i) {
        const double angle = -2 * M_PI * i / points;  // clockwise, as traced
        double radius = 30 + 4 * qSin(5 * angle + seed);
        if (i > 8 && i < 14)
            radius *= 0.5;
        outline << QPointF(qRound(32 + radius * qCos(angle)), qRound(32 + radius * qSin(angle)));
    }
    return outline;
}

class QuietReporter final : public Reporter
{
public:
    void report(Severity, const QString&, const QString&, QObject*) override {}
};

void BM_PublishBox2d(benchmark::State& state)
{
    QTemporaryDir dir;
    QImage image(64, 64, QImage::Format_ARGB32);
    image.fill(Qt::darkCyan);
    const QString png = dir.filePath(QStringLiteral("sprite.png"));
    image.save(png);
    Exporter exporter(QStringLiteral(HWT_SOURCE_DIR "/exporters/box2d-json"));

    ElementListModel document;
    document.setExporter(&exporter);
    document.setUndoEnabled(false);
    for (int b = 0; b < bodyCount; ++b) {
        auto* body = new Element(&document, &exporter, QStringLiteral("body %1").arg(b), png);
        body->setAnchorPointAbsDirect(QPointF(32, 32));
        auto* blob = new FixturePolygon(body);
        blob->setPolygonDirect(tracedOutline(b));
        auto* box = new FixturePolygon(body);
        box->setPolygonDirect(QPolygonF({{0, 0}, {0, 10}, {64, 10}, {64, 0}}));
        auto* circle = new FixtureCircle(body);
        circle->setCircleDirect(QPointF(32, 48), 6);
        body->setFixturesDirect({blob, box, circle});
        document.appendElement(body);
    }
    const QString output = dir.filePath(QStringLiteral("out.json"));
    for (auto _ : state) {
        if (!Publisher::publish(document, output).written)
            state.SkipWithError("publish failed");
    }
    state.counters["KB"] = double(QFileInfo(output).size()) / 1024;
}

}

BENCHMARK(BM_PublishBox2d)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QuietReporter quiet;
    Reporter::install(&quiet);
    registerTemplateLookups();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
