// The shape editor under load: one vertex of a 1,000-vertex polygon dragged
// with the mouse, and the shapes of a 50-fixture body rebuilt after an undo.
#include "element.h"
#include "elementlistmodel.h"
#include "fixturepolygon.h"
#include "ggraphicsview.h"
#include "limbeditorscene.h"
#include "shapeeditor.h"
#include "shapehandle.h"

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTest>
#include <QUndoStack>
#include <QtMath>

#include <benchmark/benchmark.h>

namespace {

struct EditorRig
{
    QTemporaryDir dir;
    std::unique_ptr<ElementListModel> document;
    std::unique_ptr<ShapeEditor> editor;
    Element* body = nullptr;
    GGraphicsView* view = nullptr;

    EditorRig()
    {
        QImage image(512, 512, QImage::Format_ARGB32);
        image.fill(QColor(90, 120, 200, 255));
        const QString png = dir.filePath(QStringLiteral("sprite.png"));
        image.save(png);
        document = std::make_unique<ElementListModel>();
        body = document->addFile(png);
        body->setAnchorPointAbsDirect(QPointF(500, 500));
        editor = std::make_unique<ShapeEditor>();
        QObject::connect(document.get(), &ElementListModel::redisplayElement, editor.get(), &ShapeEditor::setElement);
        editor->resize(900, 700);
        editor->show();
        if (!QTest::qWaitForWindowExposed(editor.get()))
            qWarning("the editor window was not exposed; repaints are not measured");
        editor->setElement(body);
        view = editor->findChild<GGraphicsView*>(QStringLiteral("graphicsView"));
    }

    void mouse(QEvent::Type type, const QPointF& scenePoint, Qt::MouseButton button, Qt::MouseButtons held)
    {
        const QPoint local = view->mapFromScene(scenePoint);
        QMouseEvent event(type, local, view->viewport()->mapToGlobal(local), button, held, Qt::NoModifier);
        QApplication::sendEvent(view->viewport(), &event);
    }
};

void BM_DragVertexOf1000(benchmark::State& state)
{
    EditorRig rig;
    QPolygonF outline;
    for (int i = 0; i < 1000; ++i) {
        const double angle = 2 * M_PI * i / 1000;
        outline << QPointF(qRound(256 + 200 * qCos(angle)), qRound(256 + 200 * qSin(angle)));
    }
    rig.editor->scene()->addPolygon(outline);
    QCoreApplication::processEvents();

    const QPointF start = outline.at(250);
    rig.mouse(QEvent::MouseButtonPress, start, Qt::LeftButton, Qt::LeftButton);
    if (!rig.editor->selectedHandle()) {
        state.SkipWithError("no vertex under the mouse");
        return;
    }
    int step = 0;
    for (auto _ : state) {
        // Back and forth, so every move really moves the handle.
        const QPointF to = start + QPointF((step % 2) ? 3 : 7, 0);
        ++step;
        rig.mouse(QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
        // The merged redraw of the shape and the repaint of the view.
        QCoreApplication::processEvents();
    }
    rig.mouse(QEvent::MouseButtonRelease, start, Qt::LeftButton, Qt::NoButton);
    state.counters["per_move"] = benchmark::Counter(double(state.iterations()),
                                                    benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_RebuildAfterUndo50Fixtures(benchmark::State& state)
{
    EditorRig rig;
    for (int f = 0; f < 50; ++f) {
        QPolygonF outline;
        for (int p = 0; p < 16; ++p) {
            const double angle = 2 * M_PI * p / 16;
            outline << QPointF(qRound(40 + (f % 10) * 45 + 18 * qCos(angle)),
                               qRound(40 + (f / 10) * 45 + 18 * qSin(angle)));
        }
        rig.editor->scene()->addPolygon(outline);
    }
    auto* fixture = qobject_cast<FixturePolygon*>(rig.body->fixtures().first());
    QPolygonF moved = fixture->polygon();
    moved[0] += QPointF(1, 1);
    fixture->setPolygon(QStringLiteral("move vertex"), moved);
    QCoreApplication::processEvents();

    QUndoStack* stack = rig.document->undoStack();
    for (auto _ : state) {
        stack->undo();
        stack->redo();
        // Retired shapes are deleted when control is back in the event loop.
        QCoreApplication::processEvents();
    }
    if (rig.editor->scene()->shapes().size() != 50)
        state.SkipWithError("shapes do not match the fixtures");
    // Each iteration rebuilds twice: after the undo and after the redo.
    state.counters["per_rebuild"] = benchmark::Counter(double(state.iterations()) * 2,
                                                       benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

}

BENCHMARK(BM_DragVertexOf1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RebuildAfterUndo50Fixtures)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
