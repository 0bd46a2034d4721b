// Writing the recovery copy of a 1,000-body document, as autosave does on the GUI thread.
#include "element.h"
#include "elementlistmodel.h"
#include "fixturepolygon.h"
#include "recoverystore.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QTemporaryDir>
#include <QtMath>

#include <benchmark/benchmark.h>

namespace {

constexpr int bodyCount = 1000;
constexpr int fixturesPerBody = 8;

struct Document
{
    QTemporaryDir dir;
    std::unique_ptr<ElementListModel> model;

    explicit Document(int pointsPerFixture)
    {
        QImage image(16, 16, QImage::Format_ARGB32);
        image.fill(Qt::darkGreen);
        const QString png = dir.filePath(QStringLiteral("sprite.png"));
        image.save(png);
        model = std::make_unique<ElementListModel>();
        model->setUndoEnabled(false);
        for (int b = 0; b < bodyCount; ++b) {
            auto* body = new Element(model.get(), nullptr, QStringLiteral("body %1").arg(b), png);
            body->setUndoEnabled(false);
            body->setValue(QStringLiteral("isDynamic"), b % 2 == 0);
            body->setValue(QStringLiteral("label"), QStringLiteral("enemy"));
            for (int f = 0; f < fixturesPerBody; ++f) {
                auto* fixture = new FixturePolygon(body);
                QPolygonF outline;
                for (int p = 0; p < pointsPerFixture; ++p) {
                    const double angle = 2 * M_PI * p / pointsPerFixture;
                    outline << QPointF(8 + 7 * qCos(angle) + f, 8 + 7 * qSin(angle) - f * 0.5);
                }
                fixture->setPolygonDirect(outline);
                body->setFixturesDirect(body->fixtures() + QList<Fixture*>{fixture});
            }
            model->appendElement(body);
        }
        model->setModified(true);
    }
};

void BM_WriteRecoveryCopy(benchmark::State& state)
{
    // The argument is the number of points of each of a body's fixtures.
    Document document(int(state.range(0)));
    RecoveryStore store(document.dir.filePath(QStringLiteral("recovery")));
    const QString original = document.dir.filePath(QStringLiteral("level.hws"));
    for (auto _ : state) {
        // What the editor waits for: the copy taken on its thread. The disk is
        // written on the store's own thread, outside the timing.
        if (!store.write(*document.model, original))
            state.SkipWithError("write failed");
        state.PauseTiming();
        store.flush();
        state.ResumeTiming();
    }
    state.counters["MB"] = double(QFileInfo(store.projectFile()).size()) / 1e6;
    store.remove();
}
BENCHMARK(BM_WriteRecoveryCopy)->Arg(8)->Arg(32)->Unit(benchmark::kMillisecond);

// The whole write, the disk included.
void BM_WriteRecoveryCopyToDisk(benchmark::State& state)
{
    Document document(int(state.range(0)));
    RecoveryStore store(document.dir.filePath(QStringLiteral("recovery")));
    const QString original = document.dir.filePath(QStringLiteral("level.hws"));
    for (auto _ : state) {
        if (!store.write(*document.model, original))
            state.SkipWithError("write failed");
        store.flush();
    }
    store.remove();
}
BENCHMARK(BM_WriteRecoveryCopyToDisk)->Arg(8)->Arg(32)->Unit(benchmark::kMillisecond);

}

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
