// The document window: from a selection in the body list to refilled panels and
// an editor showing the body, and opening a large project into the window.
#include "element.h"
#include "elementlistmodel.h"
#include "exporter.h"
#include "exporterregistry.h"
#include "fixturepolygon.h"
#include "imagecache.h"
#include "mainwindow.h"

#include <QApplication>
#include <QColor>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QItemSelectionModel>
#include <QListView>
#include <QTemporaryDir>
#include <QtMath>

#include <benchmark/benchmark.h>

namespace {

// `count` parameters of mixed types, ending with a 16-bit field of two rows.
QString parameters(const QString& prefix, int count)
{
    static const char* const types[] = {"float", "int", "bool", "string", "uint"};
    QString xml;
    for (int i = 0; i < count - 3; ++i) {
        xml += QStringLiteral("<parameter><name>%1%2</name><displayName>%1 %2</displayName><type>%3</type>"
                              "<description>d</description><min>0</min><max>10</max><default>1</default></parameter>")
                   .arg(prefix)
                   .arg(i)
                   .arg(QLatin1String(types[i % 5]));
    }
    xml += QStringLiteral("<parameter><name>%1bits</name><type>bitfield</type><size>16</size></parameter>"
                          "<parameter><name>%1cat</name><type>uint16</type><bitfield>true</bitfield><default>1</default></parameter>"
                          "<parameter><name>%1mask</name><type>uint16</type><bitfield>true</bitfield><default>65535</default></parameter>")
               .arg(prefix);
    return xml;
}

Exporter* registerExporter(const QDir& dir)
{
    dir.mkpath(QStringLiteral("wide"));
    QFile file(dir.filePath(QStringLiteral("wide/exporter.xml")));
    file.open(QIODevice::WriteOnly);
    file.write(QStringLiteral("<exporter><name>wide</name><yAxisDirection>up</yAxisDirection>"
                              "<physicsEngine>box2d</physicsEngine><origin><type>anchorpoint</type></origin>"
                              "<global>%1</global><body>%2</body><fixture>%3</fixture></exporter>")
                   .arg(parameters(QStringLiteral("g"), 30), parameters(QStringLiteral("b"), 30),
                        parameters(QStringLiteral("f"), 30))
                   .toUtf8());
    file.close();
    auto* exporter = new Exporter(dir.filePath(QStringLiteral("wide")));
    ExporterRegistry::instance().add(exporter);
    return exporter;
}

QString sprite(const QDir& dir, int index)
{
    QImage image(128, 96, QImage::Format_ARGB32);
    image.fill(QColor(40 + index % 200, 90, 160, 255));
    const QString path = dir.filePath(QStringLiteral("sprite%1.png").arg(index));
    image.save(path, "PNG");
    return path;
}

// A ring of `points` vertices around (cx, cy).
QPolygonF ring(double cx, double cy, double radius, int points)
{
    QPolygonF polygon;
    for (int i = 0; i < points; ++i) {
        const double angle = 2 * M_PI * i / points;
        polygon << QPointF(cx + radius * qCos(angle), cy + radius * qSin(angle));
    }
    return polygon;
}

void addFixtures(Element* body, int count)
{
    QList<Fixture*> fixtures;
    for (int f = 0; f < count; ++f) {
        auto* fixture = new FixturePolygon(body);
        fixture->setPolygonDirect(ring(20 + 4 * f, 40, 10, 12));
        fixtures.append(fixture);
    }
    body->setFixturesDirect(fixtures);
}

void BM_SelectBody(benchmark::State& state)
{
    QTemporaryDir dir;
    registerExporter(QDir(dir.path()));
    MainWindow window;
    window.show();
    for (int b = 0; b < 2; ++b)
        addFixtures(window.model()->addFile(sprite(QDir(dir.path()), b)), 20);
    QApplication::processEvents();
    auto* list = window.findChild<QListView*>(QStringLiteral("elementList"));
    int row = 0;
    for (auto _ : state) {
        row = 1 - row;
        list->selectionModel()->setCurrentIndex(list->model()->index(row, 0), QItemSelectionModel::ClearAndSelect);
        QApplication::processEvents();
    }
    if (!window.currentElement() || window.currentElement()->fixtures().size() != 20)
        state.SkipWithError("the window did not follow the selection");
}
BENCHMARK(BM_SelectBody)->Unit(benchmark::kMillisecond);

// Selecting a body whose 2048 x 2048 image is not decoded yet: the decode, the editor and the panels.
void BM_SelectUndecodedBody2048(benchmark::State& state)
{
    QTemporaryDir dir;
    registerExporter(QDir(dir.path()));
    MainWindow window;
    window.show();
    // A photograph-like image compresses as little as most large sprites.
    QImage image(2048, 2048, QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            line[x] = qRgba((x * 7 + y * 3) & 255, (x ^ y) & 255, (x * y) & 255, (x + y) % 511 > 100 ? 255 : 0);
    }
    for (int b = 0; b < 2; ++b) {
        const QString path = QDir(dir.path()).filePath(QStringLiteral("big%1.png").arg(b));
        image.save(path, "PNG");
        addFixtures(window.model()->addFile(path), 3);
    }
    QApplication::processEvents();
    auto* list = window.findChild<QListView*>(QStringLiteral("elementList"));
    int row = 0;
    for (auto _ : state) {
        state.PauseTiming();
        ImageCache::clear();
        row = 1 - row;
        state.ResumeTiming();
        list->selectionModel()->setCurrentIndex(list->model()->index(row, 0), QItemSelectionModel::ClearAndSelect);
        QApplication::processEvents();
    }
    if (window.currentElement() != window.model()->element(row))
        state.SkipWithError("the window did not follow the selection");
}
BENCHMARK(BM_SelectUndecodedBody2048)->Unit(benchmark::kMillisecond);

QString writeProject(const QDir& dir, int bodies)
{
    ElementListModel document;
    document.setExporter(ExporterRegistry::instance().exporter(QStringLiteral("wide")));
    for (int b = 0; b < bodies; ++b) {
        Element* body = document.addFile(sprite(dir, b % 50));
        body->setName(QStringLiteral("body %1").arg(b));
        addFixtures(body, 3);
    }
    const QString path = dir.filePath(QStringLiteral("large.hws"));
    document.save(path);
    return path;
}

// Reading the file alone, for comparison with opening it into a window.
void BM_ReadProject1000(benchmark::State& state)
{
    QTemporaryDir dir;
    registerExporter(QDir(dir.path()));
    const QString path = writeProject(QDir(dir.path()), 1000);
    for (auto _ : state) {
        ElementListModel document;
        benchmark::DoNotOptimize(document.load(path));
    }
}
BENCHMARK(BM_ReadProject1000)->Unit(benchmark::kMillisecond);

void BM_OpenProject1000(benchmark::State& state)
{
    QTemporaryDir dir;
    registerExporter(QDir(dir.path()));
    const QString path = writeProject(QDir(dir.path()), 1000);
    MainWindow window;
    window.show();
    QApplication::processEvents();
    for (auto _ : state) {
        window.loadFile(path);
        QApplication::processEvents();
    }
    if (window.model()->elementCount() != 1000)
        state.SkipWithError("the project was not opened");
}
BENCHMARK(BM_OpenProject1000)->Unit(benchmark::kMillisecond);

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
