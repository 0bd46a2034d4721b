// Saving and loading a large document, beside a raw stream pass over the same values, and writing the
// recovery copy of a 1,000-body document as autosave does.
#include "element.h"
#include "elementlistmodel.h"
#include "fixturepolygon.h"
#include "imagecache.h"
#include "recoverystore.h"
#include "reporter.h"

#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QTemporaryDir>
#include <QtMath>

#include <benchmark/benchmark.h>

namespace {

constexpr int bodyCount = 10000;
constexpr int fixturesPerBody = 8;
constexpr int pointsPerFixture = 32;

struct BigDocument
{
    QTemporaryDir dir;
    QString project;
    QString raw;
    std::unique_ptr<ElementListModel> document;

    explicit BigDocument(int bodies = bodyCount, int points = pointsPerFixture)
    {
        QImage image(16, 16, QImage::Format_ARGB32);
        image.fill(Qt::darkGreen);
        const QString png = dir.filePath(QStringLiteral("sprite.png"));
        image.save(png);
        project = dir.filePath(QStringLiteral("big.hws"));
        raw = dir.filePath(QStringLiteral("raw.bin"));

        document = std::make_unique<ElementListModel>();
        document->setUndoEnabled(false);
        for (int b = 0; b < bodies; ++b) {
            auto* body = new Element(document.get(), nullptr, QStringLiteral("body %1").arg(b), png);
            body->setUndoEnabled(false);
            body->setValue(QStringLiteral("isDynamic"), b % 2 == 0);
            body->setValue(QStringLiteral("linearDamping"), 0.25f);
            body->setValue(QStringLiteral("angularDamping"), 0.5f);
            body->setValue(QStringLiteral("fixedRotation"), false);
            body->setValue(QStringLiteral("label"), QStringLiteral("enemy"));
            body->setValue(QStringLiteral("group"), b % 7);
            for (int f = 0; f < fixturesPerBody; ++f) {
                auto* fixture = new FixturePolygon(body);
                QPolygonF outline;
                for (int p = 0; p < points; ++p) {
                    const double angle = 2 * M_PI * p / points;
                    outline << QPointF(8 + 7 * qCos(angle) + f, 8 + 7 * qSin(angle) - f * 0.5);
                }
                fixture->setPolygonDirect(outline);
                body->setFixturesDirect(body->fixtures() + QList<Fixture*>{fixture});
            }
            document->appendElement(body);
        }
    }
};

BigDocument& shared()
{
    static BigDocument document;
    return document;
}

void BM_Save(benchmark::State& state)
{
    BigDocument& f = shared();
    for (auto _ : state) {
        if (!f.document->save(f.project))
            state.SkipWithError("save failed");
    }
    state.counters["MB"] = double(QFileInfo(f.project).size()) / 1e6;
}

void BM_Load(benchmark::State& state)
{
    BigDocument& f = shared();
    f.document->save(f.project);
    ImageCache::clear();
    const int decodesBefore = ImageCache::decodeCount();
    for (auto _ : state) {
        ElementListModel document;
        if (!document.load(f.project) || document.rowCount() != bodyCount)
            state.SkipWithError("load failed");
    }
    state.counters["image_decodes"] = ImageCache::decodeCount() - decodesBefore;
}

// The same values written with the stream operators alone: no objects, no checks.
void BM_RawWrite(benchmark::State& state)
{
    BigDocument& f = shared();
    const QList<Element*> bodies = f.document->elements();
    for (auto _ : state) {
        QFile file(f.raw);
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        QDataStream out(&file);
        out.setVersion(12);
        out << qint32(bodies.size());
        for (const Element* body : bodies) {
            out << body->values() << qint32(body->fixtures().size());
            for (const Fixture* fixture : body->fixtures())
                out << fixture->values() << static_cast<const FixturePolygon*>(fixture)->polygon();
        }
    }
}

void BM_RawRead(benchmark::State& state)
{
    BigDocument& f = shared();
    for (auto _ : state) {
        QFile file(f.raw);
        file.open(QIODevice::ReadOnly);
        QDataStream in(&file);
        in.setVersion(12);
        qint32 count = 0;
        in >> count;
        for (qint32 b = 0; b < count; ++b) {
            QHash<QString, QVariant> values;
            qint32 fixtures = 0;
            in >> values >> fixtures;
            for (qint32 i = 0; i < fixtures; ++i) {
                QHash<QString, QVariant> fixtureValues;
                QPolygonF polygon;
                in >> fixtureValues >> polygon;
                benchmark::DoNotOptimize(polygon);
            }
        }
    }
}

}

BENCHMARK(BM_RawWrite)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Save)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RawRead)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Load)->Unit(benchmark::kMillisecond);

namespace {

// Arguments: the number of points of each of a body's fixtures, and 1 to time
// the disk write too (it runs on the store's own thread).
void BM_WriteRecoveryCopy(benchmark::State& state)
{
    BigDocument document(1000, int(state.range(0)));
    const bool toDisk = state.range(1) != 0;
    RecoveryStore store(document.dir.filePath(QStringLiteral("recovery")));
    const QString original = document.dir.filePath(QStringLiteral("level.hws"));
    for (auto _ : state) {
        // Without the disk: what the editor waits for, the copy taken on its thread.
        if (!store.write(*document.document, original))
            state.SkipWithError("write failed");
        if (!toDisk)
            state.PauseTiming();
        store.flush();
        if (!toDisk)
            state.ResumeTiming();
    }
    state.counters["MB"] = double(QFileInfo(store.projectFile()).size()) / 1e6;
    store.remove();
}

}

BENCHMARK(BM_WriteRecoveryCopy)->ArgsProduct({{8, 32}, {0, 1}})->Unit(benchmark::kMillisecond);

// The benchmark document has no exporter; that is not worth a message per load.
class QuietReporter final : public Reporter
{
public:
    void report(Severity, const QString&, const QString&, QObject*) override {}
};

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QuietReporter quiet;
    Reporter::install(&quiet);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
