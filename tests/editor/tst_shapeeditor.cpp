// The shape editor driven by real user input: every edit reaches the body's fixtures as one undoable step. Scenes,
// shapes and handles come and go with every change of the document; under AddressSanitizer these cases also prove
// that nothing is freed twice and no listener is left on a freed handle.
#include "anchorpoint.h"
#include "editortestsupport.h"
#include "fixturecircle.h"
#include "fixturepolygon.h"
#include "ggraphicsview.h"
#include "limbeditorscene.h"
#include "shapeeditor.h"
#include "shapehandle.h"
#include "shapepolygon.h"
#include "testsupport.h"
#include "uitestsupport.h"
#include "zoomwidget.h"

#include <QGraphicsPixmapItem>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScopeGuard>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QToolButton>
#include <QVBoxLayout>
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

    void shapesBesideTheCurrentOneStayInSight_data()
    {
        QTest::addColumn<bool>("circle");
        QTest::addColumn<QPointF>("centre");
        QTest::addColumn<float>("zoom");
        // The sprite's opaque block covers x 50 to 150, y 40 to 120.
        QTest::newRow("polygon over transparency at 100 %") << false << QPointF(30, 40) << 1.0f;
        QTest::newRow("polygon over the sprite at 400 %") << false << QPointF(90, 80) << 4.0f;
        QTest::newRow("circle over transparency at 200 %") << true << QPointF(30, 40) << 2.0f;
        QTest::newRow("circle over the sprite at 100 %") << true << QPointF(90, 80) << 1.0f;
    }

    void shapesBesideTheCurrentOneStayInSight()
    {
        QFETCH(bool, circle);
        QFETCH(QPointF, centre);
        QFETCH(float, zoom);
        // A shape 20 across at the centre, then a current triangle elsewhere.
        if (circle) {
            editor->scene()->addCircle();
            qobject_cast<FixtureCircle*>(body->fixtures().last())->setCircleDirect(centre, 10);
            editor->setElement(body);
        } else {
            addPolygon(polygonOf({{-10, -10}, {10, -10}, {10, 10}, {-10, 10}}).translated(centre));
        }
        addPolygon(polygonOf({{150, 10}, {190, 10}, {170, 30}}));
        QVERIFY(!editor->scene()->shapeOf(body->fixtures().first())->isCurrent());
        editor->zoom(zoom);
        view->setRenderHint(QPainter::Antialiasing, false);

        // The other shape's left edge shows, a screen pixel or two wide, and
        // lets what lies beneath show through.
        const QPointF edge = centre - QPointF(10, 0);
        view->centerOn(edge);
        QCoreApplication::processEvents();
        const EditorTest::Across other = EditorTest::across(view, edge, Qt::Horizontal);
        QVERIFY2(other.width >= 1 && other.width <= 2, qPrintable(QString::number(other.width)));
        QVERIFY2(other.darkest > other.background / 4,
                 qPrintable(QStringLiteral("%1 over %2").arg(other.darkest).arg(other.background)));

        // The current one's outline is as dark as ever.
        const QPointF bottom(170, 10);
        view->centerOn(bottom);
        QCoreApplication::processEvents();
        const EditorTest::Across mine = EditorTest::across(view, bottom, Qt::Vertical);
        QVERIFY2(mine.width >= 1 && mine.width <= 2, qPrintable(QString::number(mine.width)));
        QVERIFY2(mine.darkest < mine.background / 4,
                 qPrintable(QStringLiteral("%1 over %2").arg(mine.darkest).arg(mine.background)));
    }

    void doubleClickOnAnEdgeAddsAVertexOnIt_data()
    {
        QTest::addColumn<float>("zoom");
        // A shape, and maybe another after it, which is then current.
        QTest::addColumn<QPolygonF>("polygon");
        QTest::addColumn<QPolygonF>("other");
        QTest::addColumn<QPointF>("point");
        // Where the vertex goes: onto the edge from vertex edge - 1 to vertex edge,
        // at the click beside that edge, or nowhere; into the other shape or the
        // first. A vertex handle under the click takes it: then vertex edge goes.
        QTest::addColumn<QString>("where");
        QTest::addColumn<int>("edge");
        QTest::addColumn<bool>("intoOther");
        const QPolygonF none;
        const QPolygonF far = polygonOf({{150, 10}, {190, 10}, {170, 30}});
        const QPolygonF neighbour = polygonOf({{60, 20}, {100, 20}, {100, 60}, {60, 60}});
        // The square's edge 1 runs along y = 20; 1.5 units are 1.5 screen pixels at
        // 100 % and 6 at 400 %.
        QTest::newRow("inside, 3 px off at 100 %") << 1.0f << square << none << QPointF(40, 23) << "on" << 1 << false;
        QTest::newRow("outside, 3 px off at 100 %") << 1.0f << square << none << QPointF(40, 17) << "on" << 1 << false;
        QTest::newRow("inside, 1.5 units off at 100 %")
            << 1.0f << square << none << QPointF(40, 21.5) << "on" << 1 << false;
        QTest::newRow("inside, 1.5 units off at 400 %")
            << 4.0f << square << none << QPointF(40, 21.5) << "" << 1 << false;
        QTest::newRow("outside, 1.5 units off at 400 %")
            << 4.0f << square << none << QPointF(40, 18.5) << "beside" << 1 << false;
        QTest::newRow("slanted edge at 200 %") << 2.0f << triangle << none << QPointF(50, 35) << "on" << 2 << false;
        QTest::newRow("closing edge at 200 %") << 2.0f << square << none << QPointF(21, 43) << "on" << 0 << false;
        QTest::newRow("edge of a shape not current") << 2.0f << square << far << QPointF(40, 19) << "on" << 1 << false;
        QTest::newRow("edge shared with the current shape")
            << 2.0f << square << neighbour << QPointF(61, 40) << "on" << 0 << true;
        QTest::newRow("on a vertex handle, beside its vertex")
            << 2.0f << square << none << QPointF(58.5, 20) << "removed" << 1 << false;
    }

    void doubleClickOnAnEdgeAddsAVertexOnIt()
    {
        QFETCH(float, zoom);
        QFETCH(QPolygonF, polygon);
        QFETCH(QPolygonF, other);
        QFETCH(QPointF, point);
        QFETCH(QString, where);
        QFETCH(int, edge);
        QFETCH(bool, intoOther);
        FixturePolygon* first = addPolygon(polygon);
        FixturePolygon* second = other.isEmpty() ? nullptr : addPolygon(other);
        FixturePolygon* fixture = intoOther ? second : first;
        const QPolygonF before = fixture->polygon();
        editor->zoom(zoom);
        view->centerOn(point);
        QCoreApplication::processEvents();
        Mouse mouse(view);
        mouse.doubleClick(point);
        // A vertex goes only once its handle's event handler has returned.
        QTest::qWait(20);

        // Where the click really was, on a whole screen pixel, and its foot on the edge.
        const QPointF clicked = view->mapToScene(mouse.at(point));
        const QLineF line(before.at((edge + before.size() - 1) % before.size()), before.at(edge));
        QPointF foot;
        QVERIFY(line.normalVector().translated(clicked - line.p1()).intersects(line, &foot) != QLineF::NoIntersection);
        QPolygonF expected = before;
        if (where == "removed")
            expected.remove(edge);
        else if (!where.isEmpty())
            expected.insert(edge, where == "on" ? foot : clicked);
        const QPolygonF result = fixture->polygon();
        QCOMPARE(result.size(), expected.size());
        for (int i = 0; i < result.size(); ++i)
            QVERIFY2(QLineF(result.at(i), expected.at(i)).length() < 1e-6,
                     qPrintable(QStringLiteral("vertex %1 at (%2, %3)").arg(i).arg(result.at(i).x()).arg(result.at(i).y())));
        QCOMPARE(undoTexts(*document).join(','),
                 QString(where.isEmpty() ? "" : where == "removed" ? "delete vertex" : "add vertex"));
        // The shape that got the vertex is current, the other one unchanged.
        QCOMPARE(editor->scene()->currentShape()->fixture(), fixture);
        if (second)
            QCOMPARE((intoOther ? first : second)->polygon(), intoOther ? polygon : other);
        checkConsistent();
        document->undoStack()->undo();
        QCOMPARE(fixture->polygon(), before);
    }

    void deleteKeyRemovesTheSelectedVertices_data()
    {
        QTest::addColumn<QPolygonF>("polygon");
        QTest::addColumn<QList<int>>("selected");
        // Empty when the shape goes.
        QTest::addColumn<QPolygonF>("expected");
        QTest::addColumn<QString>("undo");
        const QPolygonF pentagon = polygonOf({{20, 20}, {60, 20}, {70, 45}, {40, 65}, {10, 45}});
        QTest::newRow("one of four") << square << QList<int>{1} << polygonOf({{20, 20}, {60, 60}, {20, 60}})
                                     << "delete vertex";
        QTest::newRow("two of five in one step") << pentagon << QList<int>{1, 3}
                                                 << polygonOf({{20, 20}, {70, 45}, {10, 45}}) << "delete vertex";
        QTest::newRow("one of three stays") << triangle << QList<int>{1} << triangle << "";
        QTest::newRow("two of four stay") << square << QList<int>{0, 2} << square << "";
        QTest::newRow("none selected: the shape goes") << square << QList<int>{} << QPolygonF() << "delete fixture";
    }

    void deleteKeyRemovesTheSelectedVertices()
    {
        QFETCH(QPolygonF, polygon);
        QFETCH(QList<int>, selected);
        QFETCH(QPolygonF, expected);
        QFETCH(QString, undo);
        FixturePolygon* fixture = addPolygon(polygon);
        Mouse mouse(view);
        // Inside, away from the vertices: the shape is current, no vertex selected.
        mouse.click(polygon.boundingRect().center());
        for (int i = 0; i < selected.size(); ++i)
            QTest::mouseClick(view->viewport(), Qt::LeftButton, i ? Qt::ControlModifier : Qt::NoModifier,
                              mouse.at(polygon.at(selected.at(i))));
        QCOMPARE(editor->selectedHandle() != nullptr, !selected.isEmpty());
        view->setFocus();
        QTest::keyClick(view, Qt::Key_Delete);
        QCOMPARE(undoTexts(*document).join(','), undo);
        QCOMPARE(body->fixtures().contains(fixture), !expected.isEmpty());
        if (!expected.isEmpty()) {
            QCOMPARE(fixture->polygon(), expected);
            QCOMPARE(currentPolygon()->handlePolygon(), expected);
            // Gone with its vertex: the coordinates it showed.
            QCOMPARE(field("vertexXLineEdit")->text().isEmpty(), expected != polygon);
        }
        checkConsistent();
        document->undoStack()->undo();
        QCOMPARE(body->fixtures().contains(fixture), true);
        QCOMPARE(fixture->polygon(), polygon);
    }

    void newPolygonKeepsItsVerticesWithinReach_data()
    {
        QTest::addColumn<QPointF>("anchor");
        QTest::addColumn<float>("zoom");
        // The image is 200 x 160.
        QTest::newRow("anchor at the centre, 200 %") << QPointF(100, 80) << 2.0f;
        QTest::newRow("anchor at the top middle, 200 %") << QPointF(100, 120) << 2.0f;
        QTest::newRow("anchor near the lower left, 100 %") << QPointF(63, 42) << 1.0f;
        QTest::newRow("anchor near the lower left, 25 %") << QPointF(62, 42) << 0.25f;
        QTest::newRow("anchor near the lower right, 50 %") << QPointF(141, 37) << 0.5f;
    }

    void newPolygonKeepsItsVerticesWithinReach()
    {
        QFETCH(QPointF, anchor);
        QFETCH(float, zoom);
        body->setAnchorPointAbsDirect(anchor);
        editor->zoom(zoom);
        click("addPolygonButton");
        QCOMPARE(undoTexts(*document), QStringList{"add fixture"});
        const QPolygonF polygon = qobject_cast<FixturePolygon*>(body->fixtures().last())->polygon();
        QCOMPARE(polygon.size(), 3);
        // A sizeable triangle within the image.
        const QLineF a(polygon.at(0), polygon.at(1));
        const QLineF b(polygon.at(0), polygon.at(2));
        QVERIFY(qAbs(a.dx() * b.dy() - a.dy() * b.dx()) / 2 > 1000);
        for (const QPointF& vertex : polygon)
            QVERIFY(QRectF(0, 0, 200, 160).contains(vertex));
        // Every vertex can be grabbed: a click on it selects its handle, not the anchor point.
        Mouse mouse(view);
        for (const QPointF& vertex : polygon) {
            view->centerOn(vertex);
            mouse.click(vertex);
            QVERIFY(editor->selectedHandle());
            QCOMPARE(editor->selectedHandle()->pos(), vertex);
        }
        QCOMPARE(body->anchorPointAbs(), anchor);
        QCOMPARE(undoTexts(*document), QStringList{"add fixture"});
    }

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
        // The square is current: the others are drawn lighter (shapesBesideTheCurrentOneStayInSight).
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
                // A vertex of the new triangle (60,40), (140,40), (100,120) stays
                // selected while a vertex is added beside an edge.
                [&] { mouse.click(QPointF(140, 40)), mouse.doubleClick(QPointF(100, 35)); },
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

    void wheelZoomsAroundThePointerOrScrolls_data()
    {
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<float>("start");
        QTest::addColumn<int>("angle");
        QTest::addColumn<QPoint>("pointer");
        QTest::addColumn<double>("expected");
        // Which way the middle of the view moves over the body, by sign; y points up.
        QTest::addColumn<QPoint>("scrolls");
        const int ctrl = Qt::ControlModifier;
        QTest::newRow("Ctrl: one notch in") << ctrl << 2.0f << 120 << QPoint(150, 100) << 2.5 << QPoint();
        QTest::newRow("Ctrl: two notches out near a corner")
            << ctrl << 2.0f << -240 << QPoint(640, 380) << 1.28 << QPoint();
        QTest::newRow("Ctrl: in, up to the bar's end") << ctrl << 40.0f << 360 << QPoint(200, 300) << 50.0 << QPoint();
        QTest::newRow("Ctrl: out, down to the bar's start")
            << ctrl << 0.12f << -360 << QPoint(600, 50) << 0.1 << QPoint();
        QTest::newRow("plain: up the body") << int(Qt::NoModifier) << 2.0f << 120 << QPoint(150, 100) << 2.0
                                            << QPoint(0, 1);
        QTest::newRow("plain: down the body") << int(Qt::NoModifier) << 2.0f << -120 << QPoint(150, 100) << 2.0
                                              << QPoint(0, -1);
        QTest::newRow("Shift: to the left") << int(Qt::ShiftModifier) << 2.0f << 120 << QPoint(150, 100) << 2.0
                                            << QPoint(-1, 0);
        QTest::newRow("Shift: to the right") << int(Qt::ShiftModifier) << 2.0f << -120 << QPoint(150, 100) << 2.0
                                             << QPoint(1, 0);
    }

    void wheelZoomsAroundThePointerOrScrolls()
    {
        QFETCH(int, modifiers);
        QFETCH(float, start);
        QFETCH(int, angle);
        QFETCH(QPoint, pointer);
        QFETCH(double, expected);
        QFETCH(QPoint, scrolls);
        editor->zoom(start);
        const QPointF under = view->mapToScene(pointer);
        const QPointF centre = middle();
        EditorTest::wheel(view, pointer, angle, Qt::KeyboardModifiers(modifiers));
        const qreal scale = view->transform().m11();
        QVERIFY2(qAbs(scale / expected - 1) < 1e-4, qPrintable(QString::number(scale)));
        QCOMPARE(view->transform().m22(), -scale);
        QVERIFY(zoomBarShows(scale));
        if (modifiers == Qt::ControlModifier) {
            // Within half a screen pixel each way: scrolling goes by whole pixels.
            const QPointF now = view->mapToScene(pointer);
            QVERIFY2(QLineF(now, under).length() <= 0.75 / scale,
                     qPrintable(QStringLiteral("%1,%2").arg(now.x()).arg(now.y())));
        } else {
            const QPointF moved = middle() - centre;
            const auto sign = [](qreal value) { return value > 0 ? 1 : value < 0 ? -1 : 0; };
            QCOMPARE(QPoint(sign(moved.x()), sign(moved.y())), scrolls);
        }
    }

    void zoomBarZoomsAboutTheMiddle_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<float>("start");
        QTest::addColumn<double>("expected");
        QTest::newRow("zoom in") << "zoomIn" << 2.0f << 3.0;
        QTest::newRow("zoom out") << "zoomOut" << 2.0f << 1.5;
        QTest::newRow("actual size") << "zoom100" << 7.0f << 1.0;
        QTest::newRow("zoom in at the end") << "zoomIn" << 50.0f << 50.0;
        // As the screenshots are taken: set from outside, beyond the bar's range.
        QTest::newRow("set to 8000 %") << QString() << 80.0f << 50.0;
        QTest::newRow("set to 1 %") << QString() << 0.01f << 0.1;
    }

    void zoomBarZoomsAboutTheMiddle()
    {
        QFETCH(QString, button);
        QFETCH(float, start);
        QFETCH(double, expected);
        // Left of and below the image, where the view's own centring is a pixel off.
        view->centerOn(QPointF(-5.3, -3.1));
        const QPointF kept = middle();
        if (button.isEmpty()) {
            zoomBar()->setZoom(start);
        } else {
            editor->zoom(start);
            QTest::mouseClick(zoomBar()->findChild<QToolButton*>(button), Qt::LeftButton);
        }
        const qreal scale = view->transform().m11();
        QVERIFY2(qAbs(scale / expected - 1) < 1e-6, qPrintable(QString::number(scale)));
        QVERIFY(zoomBarShows(expected));
        QVERIFY2(QLineF(middle(), kept).length() <= 0.75 / scale,
                 qPrintable(QStringLiteral("%1,%2").arg(middle().x()).arg(middle().y())));
    }

    void fittingShowsTheWholeImage_data()
    {
        QTest::addColumn<QString>("focus");
        QTest::addColumn<bool>("fits");
        QTest::newRow("Fit button") << QString() << true;
        QTest::newRow("Ctrl+0 in the view") << "graphicsView" << true;
        QTest::newRow("Ctrl+0 in the x field") << "vertexXLineEdit" << true;
        QTest::newRow("Ctrl+0 in the zoom field") << "zoomValue" << true;
        QTest::newRow("Ctrl+0 in a field beside the editor") << "beside" << false;
    }

    void fittingShowsTheWholeImage()
    {
        QFETCH(QString, focus);
        QFETCH(bool, fits);
        // The editor in a window, as in the main window, with a field of its own beside it.
        QWidget window;
        auto* layout = new QVBoxLayout(&window);
        auto* beside = new QLineEdit(&window);
        beside->setObjectName(QStringLiteral("beside"));
        layout->addWidget(beside);
        layout->addWidget(editor.get());
        const auto giveBack = qScopeGuard([this] { editor->setParent(nullptr); });
        window.resize(763, 560);
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        // A selected vertex, so that its fields take the focus.
        addPolygon(triangle);
        Mouse(view).click(QPointF(60, 20));
        editor->zoom(8.0f);
        view->centerOn(QPointF(0, 0));
        if (focus.isEmpty()) {
            click("fitButton");
        } else {
            auto* target = window.findChild<QWidget*>(focus);
            target->setFocus();
            QVERIFY(target->hasFocus());
            QTest::keyClick(target, Qt::Key_0, Qt::ControlModifier);
        }
        if (fits)
            QVERIFY2(unfitted(QRectF(0, 0, 200, 160)).isEmpty(), qPrintable(unfitted(QRectF(0, 0, 200, 160))));
        else
            QVERIFY(showsView(8.0, QPointF(0, 0)));
    }

    void eachBodyOpensFittedAndKeepsItsView()
    {
        const QRectF ship(0, 0, 200, 160);
        // The first body was fitted and then zoomed to 200 % around the middle.
        const QPointF firstMiddle = middle();
        QVERIFY(showsView(2.0, ship.center()));
        editor->setElement(second);
        QVERIFY2(unfitted(ship).isEmpty(), qPrintable(unfitted(ship)));
        editor->zoom(5.0f);
        view->centerOn(QPointF(30, 40));
        const QPointF secondMiddle = middle();
        editor->setElement(body);
        QVERIFY(showsView(2.0, firstMiddle));
        editor->setElement(second);
        QVERIFY(showsView(5.0, secondMiddle));

        // Nothing to fit while a body has no image; its image, once there, is fitted.
        Element* blank = document->addFile(dir.filePath(QStringLiteral("missing.png")));
        editor->setElement(blank);
        const qreal blankZoom = view->transform().m11();
        QVERIFY(qIsFinite(blankZoom) && blankZoom >= 0.1 && blankZoom <= 50);
        blank->addImageFileNameDirect(UiTest::makeSprite(QDir(dir.path()), QStringLiteral("late.png"), 120, 300));
        QVERIFY2(unfitted(QRectF(0, 0, 120, 300)).isEmpty(), qPrintable(unfitted(QRectF(0, 0, 120, 300))));

        // A body chosen while the editor is hidden is fitted to the size the view is shown at.
        editor->hide();
        const QString sprite = UiTest::makeSprite(QDir(dir.path()), QStringLiteral("third.png"), 200, 160);
        editor->setElement(document->addFile(sprite));
        editor->resize(500, 700);
        editor->show();
        QVERIFY(QTest::qWaitForWindowExposed(editor.get()));
        QVERIFY(view->viewport()->height() > view->viewport()->width());
        QVERIFY2(unfitted(ship).isEmpty(), qPrintable(unfitted(ship)));
    }

    void spaceBarPansOnceThePointerIsOverTheCanvas_data()
    {
        QTest::addColumn<QString>("focus");
        QTest::addColumn<bool>("pans");
        QTest::newRow("nothing focused") << QString() << true;
        QTest::newRow("a tool button focused") << "addCircleButton" << true;
        QTest::newRow("the x field focused") << "vertexXLineEdit" << false;
        QTest::newRow("the zoom field focused") << "zoomValue" << false;
        QTest::newRow("another window active") << "another window" << false;
    }

    void spaceBarPansOnceThePointerIsOverTheCanvas()
    {
        QFETCH(QString, focus);
        QFETCH(bool, pans);
        editor->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(editor.get()));
        FixturePolygon* fixture = addPolygon(triangle);
        Mouse(view).click(QPointF(60, 20));
        QPushButton another(QStringLiteral("Elsewhere"));
        if (focus.isEmpty()) {
            QApplication::focusWidget()->clearFocus();
        } else if (focus == QLatin1String("another window")) {
            // Coming back, the user finds the field they left.
            field("vertexXLineEdit")->setFocus();
            another.show();
            another.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&another));
            another.setFocus();
        } else {
            editor->findChild<QWidget*>(focus)->setFocus();
        }
        QWidget* focused = QApplication::focusWidget();
        QCOMPARE(focused == nullptr, focus.isEmpty());
        // The pointer comes from the tool row onto the canvas; nothing is clicked,
        // and nothing else, such as a repaint, takes the keyboard.
        QTest::mouseMove(editor.get(), QPoint(5, 5));
        view->viewport()->repaint();
        QVERIFY(!view->hasFocus());
        QTest::mouseMove(view->viewport(), QPoint(300, 200));
        QCOMPARE(view->hasFocus(), pans);
        QCOMPARE(editor->focusWidget() == view, pans);
        QWidget* typedInto = QApplication::focusWidget();
        QTest::keyPress(typedInto, Qt::Key_Space);
        auto* editorView = qobject_cast<GGraphicsView*>(view);
        QCOMPARE(editorView->isPanning(), pans);
        if (pans) {
            // A drag over the triangle moves the view, not the shape.
            const QPoint from = view->mapFromScene(QPointF(40, 30));
            const QPoint to = from + QPoint(40, 30);
            const QPointF grabbed = view->mapToScene(from);
            QTest::mousePress(view->viewport(), Qt::LeftButton, Qt::NoModifier, from);
            QMouseEvent move(QEvent::MouseMove, to, view->viewport()->mapToGlobal(to), Qt::NoButton, Qt::LeftButton,
                             Qt::NoModifier);
            QApplication::sendEvent(view->viewport(), &move);
            QTest::mouseRelease(view->viewport(), Qt::LeftButton, Qt::NoModifier, to);
            QVERIFY(QLineF(view->mapToScene(to), grabbed).length() <= 1);
            QCOMPARE(fixture->polygon(), triangle);
        } else {
            QCOMPARE(typedInto, focused);
            if (auto* line = qobject_cast<QLineEdit*>(typedInto))
                QVERIFY(line->text().contains(QLatin1Char(' ')));
        }
        QTest::keyRelease(typedInto, Qt::Key_Space);
        QVERIFY(!editorView->isPanning());
    }

    void radiusFieldFollowsTheCurrentCircle()
    {
        QLineEdit* radius = field("radiusLineEdit");
        QVERIFY(!radius->isEnabled());
        click("addCircleButton");
        auto* circle = qobject_cast<FixtureCircle*>(body->fixtures().last());
        QVERIFY(radius->isEnabled());
        QCOMPARE(radius->text(), QStringLiteral("20"));
        // Live while the handle is dragged; one step on the release.
        document->undoStack()->clear();
        Mouse mouse(view);
        mouse.press(QPointF(20, 0));
        mouse.dragTo(QPointF(6, 8));
        QCOMPARE(radius->text(), QStringLiteral("10"));
        QCOMPARE(circle->radius(), 20.0);
        mouse.release(QPointF(6, 8));
        QCOMPARE(circle->radius(), 10.0);
        QCOMPARE(undoTexts(*document), QStringList{"resize circle"});
        document->undoStack()->undo();
        QCOMPARE(radius->text(), QStringLiteral("20"));
        // A polygon has no radius; the circle gets it back when clicked again.
        addPolygon(triangle);
        QVERIFY(!radius->isEnabled() && radius->text().isEmpty());
        mouse.click(QPointF(-12, -12));
        QCOMPARE(editor->scene()->currentShape()->fixture(), circle);
        QVERIFY(radius->isEnabled());
        QCOMPARE(radius->text(), QStringLiteral("20"));
        editor->scene()->setCurrentShape(nullptr);
        QVERIFY(!radius->isEnabled() && radius->text().isEmpty());
    }

    void typingARadius_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("confirmed");
        QTest::addColumn<double>("expected");
        QTest::newRow("confirmed with Return") << "35" << true << 35.0;
        QTest::newRow("left for the canvas") << "12.5" << false << 12.5;
        QTest::newRow("the same radius") << "20" << true << 20.0;
        QTest::newRow("zero is refused") << "0" << true << 20.0;
        QTest::newRow("negative is refused") << "-4" << false << 20.0;
        QTest::newRow("no number is refused") << "wide" << true << 20.0;
        QTest::newRow("infinity is refused") << "inf" << true << 20.0;
    }

    void typingARadius()
    {
        QFETCH(QString, typed);
        QFETCH(bool, confirmed);
        QFETCH(double, expected);
        editor->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(editor.get()));
        click("addCircleButton");
        auto* circle = qobject_cast<FixtureCircle*>(body->fixtures().last());
        document->undoStack()->clear();
        QLineEdit* radius = field("radiusLineEdit");
        radius->setFocus();
        radius->selectAll();
        QTest::keyClicks(radius, typed);
        QCOMPARE(circle->radius(), 20.0);
        if (confirmed)
            QTest::keyClick(radius, Qt::Key_Return);
        else
            view->setFocus();
        QCOMPARE(circle->radius(), expected);
        QCOMPARE(circle->center(), QPointF(0, 0));
        const bool changed = expected != 20.0;
        QCOMPARE(undoTexts(*document), changed ? QStringList{"resize circle"} : QStringList());
        // Refused text gives way to the radius the circle has.
        QCOMPARE(radius->text(), QString::number(expected));
        if (changed) {
            document->undoStack()->undo();
            QCOMPARE(circle->radius(), 20.0);
            QCOMPARE(radius->text(), QStringLiteral("20"));
        }
    }

private:
    ZoomWidget* zoomBar() const { return editor->findChild<ZoomWidget*>(); }
    // The bar's zoom, and the percentage it shows, are the view's.
    bool zoomBarShows(qreal scale) const
    {
        const int percent = zoomBar()->findChild<QSpinBox*>(QStringLiteral("zoomValue"))->value();
        return qAbs(zoomBar()->zoom() / scale - 1) < 1e-4 && qAbs(percent - scale * 100) <= 1;
    }
    // The scene point in the middle of the view, unrounded.
    QPointF middle() const
    {
        return view->viewportTransform().inverted().map(QRectF(view->viewport()->rect()).center());
    }
    // Within half a screen pixel each way of the middle: scrolling goes by whole pixels.
    bool showsView(qreal zoom, const QPointF& centre) const
    {
        return qFuzzyCompare(view->transform().m11(), zoom) && zoomBarShows(zoom)
            && QLineF(middle(), centre).length() <= 0.75 / zoom;
    }
    // What keeps the image from being fitted: wholly visible, in the middle, filling the view along one side.
    QString unfitted(const QRectF& image) const
    {
        const qreal scale = view->transform().m11();
        const QRectF visible = view->mapToScene(view->viewport()->rect()).boundingRect();
        const QString where = QStringLiteral(" (zoom %1, middle %2,%3)").arg(scale).arg(middle().x()).arg(middle().y());
        if (!visible.contains(image))
            return "not all visible" + where;
        if (!showsView(scale, image.center()))
            return "not in the middle" + where;
        if (qMax(scale * image.width() / view->viewport()->width(), scale * image.height() / view->viewport()->height())
            < 0.9)
            return "too small" + where;
        return QString();
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
