// The shape editor driven by real user input: every edit reaches the body's fixtures as one undoable step. Scenes,
// shapes and handles come and go with every change of the document; under AddressSanitizer these cases also prove
// that nothing is freed twice and no listener is left on a freed handle.
#include "anchorpoint.h"
#include "editortestsupport.h"
#include "fixturepolygon.h"
#include "limbeditorscene.h"
#include "shapeeditor.h"
#include "shapehandle.h"
#include "shapepolygon.h"
#include "testsupport.h"
#include "uitestsupport.h"

#include <QGraphicsPixmapItem>
#include <QLineEdit>
#include <QPointer>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

using EditorTest::Mouse;
using EditorTest::undoTexts;

namespace {
QPolygonF polygonOf(std::initializer_list<QPointF> points) { return QVector<QPointF>(points); }
const QPolygonF triangle = polygonOf({{20, 20}, {60, 20}, {40, 50}});
const QPolygonF square = polygonOf({{20, 20}, {60, 20}, {60, 60}, {20, 60}});
}

class TestShapeEditor : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    std::unique_ptr<Exporter> exporter;
    std::unique_ptr<ElementListModel> document;
    std::unique_ptr<ShapeEditor> editor;
    Element* body = nullptr;
    Element* second = nullptr;
    QGraphicsView* view = nullptr;

    FixturePolygon* addPolygon(const QPolygonF& polygon)
    {
        editor->scene()->addPolygon(polygon);
        document->undoStack()->clear();
        QCoreApplication::processEvents();
        return qobject_cast<FixturePolygon*>(editor->element()->fixtures().last());
    }
    ShapePolygon* currentPolygon() const { return qobject_cast<ShapePolygon*>(editor->scene()->currentShape()); }
    QLineEdit* field(const char* name) const { return editor->findChild<QLineEdit*>(QLatin1String(name)); }
    void click(const char* button) const { QTest::mouseClick(editor->findChild<QToolButton*>(button), Qt::LeftButton); }

    // The scene shows exactly the body's fixtures, and the editor listens only
    // to the selected handle of the current shape.
    void checkConsistent() const
    {
        LimbEditorScene* scene = editor->scene();
        const QList<Fixture*> fixtures = editor->element()->fixtures();
        QCOMPARE(scene->shapes().size(), fixtures.size());
        for (int i = 0; i < fixtures.size(); ++i) {
            QCOMPARE(scene->shapes().at(i)->fixture(), fixtures.at(i));
            QCOMPARE(scene->shapes().at(i)->graphicsItem()->scene(), scene);
        }
        QVERIFY(!scene->currentShape() || scene->shapes().contains(scene->currentShape()));
        if (ShapeHandle* handle = editor->selectedHandle())
            QVERIFY(handle->isSelected() && scene->currentShape() && scene->currentShape()->handles().contains(handle));
        for (QGraphicsItem* item : scene->items()) {
            if (item->type() == ShapeHandle::Type)
                QCOMPARE(static_cast<ShapeHandle*>(item)->listener(),
                         item == editor->selectedHandle() ? editor.get() : nullptr);
        }
    }

private slots:
    void init()
    {
        TestSupport::clearSettings();
        if (!exporter)
            exporter = std::make_unique<Exporter>(UiTest::writeExporter(QDir(dir.path()), {QStringLiteral("full")}));
        document = std::make_unique<ElementListModel>();
        document->setExporter(exporter.get());
        const QString sprite = UiTest::makeSprite(QDir(dir.path()), QStringLiteral("ship.png"), 200, 160);
        body = document->addFile(sprite);
        second = document->addFile(sprite);
        // Out of the way of the shapes.
        body->setAnchorPointAbsDirect(QPointF(150, 150));
        document->undoStack()->clear();
        editor = std::make_unique<ShapeEditor>();
        editor->exporterChanged(exporter.get());
        // The document's change notification reaches the editor as the main window passes it on.
        connect(document.get(), &ElementListModel::redisplayElement, editor.get(), &ShapeEditor::setElement);
        view = editor->findChild<QGraphicsView*>(QStringLiteral("graphicsView"));
        editor->resize(763, 520);
        editor->show();
        QVERIFY(QTest::qWaitForWindowExposed(editor.get()));
        editor->setElement(body);
        // 200 %: every half pixel of the body is a whole pixel on screen.
        editor->zoom(2.0f);
    }

    void cleanup() { editor.reset(); document.reset(); }

    void draggingVerticesAndShapesSnapsAndRecordsOneStep()
    {
        FixturePolygon* fixture = addPolygon(triangle);
        Mouse mouse(view);
        mouse.press(QPointF(60, 20));
        mouse.dragTo(QPointF(65, 10));
        mouse.dragTo(QPointF(70.5, -2.5));
        // Live: the handle has snapped to whole pixels, the fixture waits for the
        // release, and the outline for the event loop.
        QCOMPARE(editor->selectedHandle()->pos(), QPointF(71, -2));
        QCOMPARE(fixture->polygon(), triangle);
        auto* outline = static_cast<QGraphicsPolygonItem*>(currentPolygon()->graphicsItem());
        QCOMPARE(outline->polygon(), triangle);
        QCoreApplication::processEvents();
        const QPolygonF moved = polygonOf({{20, 20}, {71, -2}, {40, 50}});
        QCOMPARE(outline->polygon(), moved);
        mouse.release(QPointF(70.5, -2.5));
        QCOMPARE(fixture->polygon(), moved);
        QCOMPARE(undoTexts(*document), QStringList{"move vertex"});
        QCOMPARE(field("vertexYLineEdit")->text(), QStringLiteral("-2"));
        QCoreApplication::processEvents();
        QCOMPARE(currentPolygon()->handlePolygon(), moved);
        checkConsistent();
        // The vertex stays selected through the rebuild an undo causes, and the
        // editor listens to its successor.
        document->undoStack()->undo();
        QCoreApplication::processEvents();
        QCOMPARE(currentPolygon()->handlePolygon(), triangle);
        QCOMPARE(field("vertexXLineEdit")->text(), QStringLiteral("60"));
        checkConsistent();
        // Dragging the shape moves every vertex, the selected one not twice, by whole pixels.
        mouse.press(QPointF(40, 30));
        mouse.dragTo(QPointF(45.5, 27.5));
        mouse.release(QPointF(45.5, 27.5));
        QCOMPARE(fixture->polygon(), triangle.translated(6, -2));
        QCOMPARE(undoTexts(*document), QStringList{"move shape"});
        QCOMPARE(currentPolygon()->graphicsItem()->pos(), QPointF(0, 0));
    }

    void editingVertices_data()
    {
        QTest::addColumn<QString>("menu");
        QTest::addColumn<QPolygonF>("polygon");
        QTest::addColumn<QPointF>("point");
        QTest::addColumn<QPolygonF>("expected");
        const QPolygonF shorter = polygonOf({{20, 20}, {60, 60}, {20, 60}});
        QTest::newRow("a triangle keeps its vertices") << QString() << triangle << triangle.at(1) << triangle;
        QTest::newRow("double click removes") << QString() << square << square.at(1) << shorter;
        QTest::newRow("context menu removes") << "&Delete vertex" << square << square.at(1) << shorter;
        const auto add = [](const char* name, const QString& menu, const QPointF& point, int index) {
            QTest::newRow(name) << menu << square << point
                                << QPolygonF(square.mid(0, index) << point << square.mid(index));
        };
        // Into the nearest edge the point projects inside, else first.
        add("double click near an edge", QString(), QPointF(63, 40.5), 2);
        add("double click beyond every edge", QString(), QPointF(80, 80), 0);
        add("double click nearer of two edges", QString(), QPointF(30, 16), 1);
        add("context menu adds", "&Add vertex", QPointF(40, 63), 3);
    }

    void editingVertices()
    {
        QFETCH(QString, menu);
        QFETCH(QPolygonF, polygon);
        QFETCH(QPointF, point);
        QFETCH(QPolygonF, expected);
        FixturePolygon* fixture = addPolygon(polygon);
        if (menu.isEmpty())
            Mouse(view).doubleClick(point);
        else
            EditorTest::chooseFromContextMenu(view, view->mapFromScene(point), menu);
        const int change = expected.size() - polygon.size();
        // A removed vertex goes only after its handle's own event handler has returned.
        QCOMPARE(fixture->polygon(), change < 0 ? polygon : expected);
        QTest::qWait(20);
        QCOMPARE(fixture->polygon(), expected);
        QCOMPARE(undoTexts(*document).join(','), QString(change > 0 ? "add vertex" : change ? "delete vertex" : ""));
        QCOMPARE(currentPolygon()->handlePolygon(), expected);
        // A removed vertex takes its coordinates with it.
        QCOMPARE(field("vertexXLineEdit")->text().isEmpty(), change != 0);
        checkConsistent();
    }

    void flippingMirrorsInTheOutlinesBox()
    {
        FixturePolygon* fixture = addPolygon(polygonOf({{10, 10}, {71, 14}, {30, 45}, {12, 33}}));
        click("flipHorizontally");
        QCOMPARE(fixture->polygon(), polygonOf({{71, 10}, {10, 14}, {51, 45}, {69, 33}}));
        click("flipVertically");
        QCOMPARE(fixture->polygon(), polygonOf({{71, 45}, {10, 41}, {51, 10}, {69, 22}}));
        QCOMPARE(undoTexts(*document), (QStringList{"flip horizontally", "flip vertically"}));
    }

    void anchorPointMovesInOneStep()
    {
        body->setAnchorPointAbsDirect(QPointF(30, 30));
        Mouse mouse(view);
        // The body follows the drag at once and records on the release.
        mouse.press(QPointF(30, 30));
        mouse.dragTo(QPointF(40, 35));
        QCOMPARE(body->anchorPointAbs(), QPointF(40, 35));
        QCOMPARE(document->undoStack()->count(), 0);
        mouse.dragTo(QPointF(50.5, 42));
        mouse.release(QPointF(50.5, 42));
        QCOMPARE(undoTexts(*document), QStringList{"move anchorpoint"});
        document->undoStack()->undo();
        QCOMPARE(editor->scene()->anchorPoint()->pos(), QPointF(30, 30));
        document->undoStack()->redo();
        QCOMPARE(editor->scene()->anchorPoint()->pos(), QPointF(50.5, 42));
    }

    void outlinesKeepTheirScreenWidth()
    {
        // At 400 % the outline of the left edge, over the transparent part of the
        // image, is at most a pixel or two wide, not four.
        addPolygon(square);
        editor->zoom(4.0f);
        view->setRenderHint(QPainter::Antialiasing, false);
        editor->scene()->setCurrentShape(nullptr);
        view->centerOn(QPointF(20, 40));
        QCoreApplication::processEvents();
        const QImage shot = view->viewport()->grab().toImage();
        const QPoint across = view->mapFromScene(QPointF(20, 40));
        int dark = 0;
        for (int x = across.x() - 8; x <= across.x() + 8; ++x)
            dark += qGray(shot.pixel(x, across.y())) < 60;
        QVERIFY2(dark >= 1 && dark <= 2, qPrintable(QString::number(dark)));
    }

    void switchingBodiesReplacesTheScene()
    {
        editor->scene()->addPolygon(triangle);
        Mouse(view).click(QPointF(20, 20));
        QPointer<LimbEditorScene> old = editor->scene();
        auto* first = new FixturePolygon(second);
        auto* last = new FixturePolygon(second);
        first->setPolygonDirect(triangle);
        last->setPolygonDirect(square);
        second->setFixturesDirect({first, last});
        editor->setElement(second);
        QVERIFY(old.isNull());
        QCOMPARE(view->scene(), editor->scene());
        QVERIFY(!editor->selectedHandle() && !field("vertexXLineEdit")->isEnabled());
        // The new body's first fixture is current; its image stands upright, the
        // top-right pixel at the top of the body (y = height).
        QCOMPARE(editor->scene()->currentShape()->fixture(), first);
        QGraphicsPixmapItem* image = editor->scene()->imageItem();
        QCOMPARE(image->mapToScene(QPointF(200, 0)), QPointF(200, 160));
        QCOMPARE(image->mapToScene(QPointF(0, 160)), QPointF(0, 0));
        QCOMPARE(image->data(0).toString(), QString(QStringLiteral("Image: ") + second->currentImageName()));
        checkConsistent();
        // The same body again only rebuilds.
        old = editor->scene();
        editor->setElement(second);
        QCOMPARE(editor->scene(), old.data());
        // An undo for the other body shows that body again, as the body list does.
        document->undoStack()->undo();
        QCOMPARE(editor->element(), body);
        QVERIFY(body->fixtures().isEmpty());
        checkConsistent();
    }

    void addDeleteUndoAndSwitchInTurns()
    {
        Mouse mouse(view);
        QUndoStack* stack = document->undoStack();
        for (int round = 0; round < 6; ++round) {
            const QList<std::function<void()>> steps{
                [&] { click("addPolygonButton"); },
                // A vertex of the new triangle (0,0), (40,40), (0,40) stays selected
                // while a vertex is added.
                [&] { mouse.click(QPointF(40, 40)), mouse.doubleClick(QPointF(30, 45)); },
                [&] { click("flipHorizontally"); },
                [&] { click("addCircleButton"); },
                [&] { mouse.click(QPointF(20, 0)), view->setFocus(), QTest::keyClick(view, Qt::Key_Delete); },
                [&] { stack->undo(); },
                [&] { stack->undo(); },
                [&] { stack->redo(), QCoreApplication::processEvents(); },
                [&] { editor->setElement(round % 2 ? body : second); }};
            for (const auto& step : steps) {
                step();
                checkConsistent();
            }
        }
        // Every step is still there and undoes cleanly down to empty bodies.
        while (stack->canUndo()) {
            stack->undo();
            QCoreApplication::processEvents();
            checkConsistent();
        }
        QVERIFY(body->fixtures().isEmpty() && second->fixtures().isEmpty());
    }

    void deletedDocumentTakesTheSceneAlong()
    {
        addPolygon(triangle);
        Mouse(view).click(QPointF(60, 20));
        QVERIFY(editor->selectedHandle());
        document.reset();
        QVERIFY(!editor->scene() && !editor->element() && !editor->selectedHandle() && !view->scene());
        QVERIFY(!editor->findChild<QToolButton*>(QStringLiteral("addPolygonButton"))->isEnabled());
    }

    void editorGoesWithAHandleSelected()
    {
        addPolygon(triangle);
        Mouse(view).click(QPointF(60, 20));
        QVERIFY(editor->selectedHandle());
        editor.reset();
        // The body outlives the editor and can still be edited, also by a scene
        // that has no editor to pass the document's notifications on.
        auto* fixture = qobject_cast<FixturePolygon*>(body->fixtures().first());
        fixture->setPolygon(QStringLiteral("move vertex"), square);
        document->undoStack()->undo();
        QCOMPARE(fixture->polygon(), triangle);
        LimbEditorScene scene(exporter.get(), body);
        scene.addPolygon(square);
        QCOMPARE(scene.currentShape()->fixture(), body->fixtures().last());
        scene.addCircle();
        QCOMPARE(scene.currentShape()->fixture(), body->fixtures().last());
    }
};

int main(int argc, char** argv)
{
    TestSupport::isolateSettings();
    QApplication app(argc, argv);
    TestShapeEditor test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_shapeeditor.moc"
