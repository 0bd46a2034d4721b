// The shape editor driven by real user input: every edit reaches the body's fixtures as one undoable step. Scenes,
// shapes and handles come and go with every change of the document; under AddressSanitizer these cases also prove
// that nothing is freed twice and no listener is left on a freed handle.
#include "anchorpoint.h"
#include "convexdecomposition.h"
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

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGraphicsPixmapItem>
#include <QPainter>
#include <QPushButton>
#include <QLineEdit>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>
#include <QtTest>

using EditorTest::Mouse;
using EditorTest::undoTexts;

static QPolygonF polygonOf(std::initializer_list<QPointF> points) { return QVector<QPointF>(points); }
static const QPolygonF triangle = polygonOf({{20, 20}, {60, 20}, {40, 50}});
static const QPolygonF square = polygonOf({{20, 20}, {60, 20}, {60, 60}, {20, 60}});

// At a zoom, a double click at a point of a shape, the context menu's entry there, or ("Delete") a click there, the
// vertices selected and Delete. A vertex goes "on" the edge from vertex edge - 1 to edge, "beside" it at the click, or
// nowhere (they stay selected); or they are "removed", the shape "gone". A current other shape, edited if intoOther.
struct VertexEdit
{
    float zoom; QPolygonF polygon; QPointF point; QString where; int edge;
    QList<int> vertices = {}; QString menu = {}; QPolygonF other = {}; bool intoOther = false;
};
Q_DECLARE_METATYPE(VertexEdit)

// From the zoom start, a turn of the wheel in eighths of a degree at a viewport point with the modifiers held; else
// the zoom bar's button clicked or, as the screenshots are taken, the bar set to start. The zoom expected and, where
// the wheel scrolls instead, which way the middle of the view moves over the body, by sign (y points up).
struct ZoomInput
{
    float start; double expected; QString button = {};
    int angle = 0; int modifiers = Qt::NoModifier; QPoint pointer = {}; QPoint scrolls = {};
};
Q_DECLARE_METATYPE(ZoomInput)

class TestShapeEditor : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    std::unique_ptr<Exporter> exporter;
    std::unique_ptr<ElementListModel> document;
    std::unique_ptr<ShapeEditor> editor;
    Element* body = nullptr;
    Element* second = nullptr;
    GGraphicsView* view = nullptr;
    Mouse mouse = Mouse(nullptr);
    const QRectF ship = QRectF(0, 0, 200, 160);

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

    // The scene shows exactly the body's fixtures, and the editor listens only to the selected handle of the current shape.
    void checkConsistent() const
    {
        LimbEditorScene* scene = editor->scene();
        QList<Fixture*> shown;  // each in this scene
        for (Shape* shape : scene->shapes())
            shown << (shape->graphicsItem()->scene() == scene ? shape->fixture() : nullptr);
        QCOMPARE(shown, editor->element()->fixtures());
        QVERIFY(!scene->currentShape() || scene->shapes().contains(scene->currentShape()));
        if (ShapeHandle* handle = editor->selectedHandle())
            QVERIFY(handle->isSelected() && scene->currentShape() && scene->currentShape()->handles().contains(handle));
        for (QGraphicsItem* item : scene->items())
            if (item->type() == ShapeHandle::Type)
                QCOMPARE(static_cast<ShapeHandle*>(item)->listener(), item == editor->selectedHandle() ? editor.get() : nullptr);
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
        body->setAnchorPointAbsDirect(QPointF(150, 150));  // out of the way of the shapes
        document->undoStack()->clear();
        editor = std::make_unique<ShapeEditor>();
        editor->exporterChanged(exporter.get());
        connect(document.get(), &ElementListModel::redisplayElement, editor.get(), &ShapeEditor::setElement);
        view = editor->findChild<GGraphicsView*>();
        mouse = Mouse(view);
        editor->resize(763, 520);
        editor->show();
        editor->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(editor.get()));
        editor->setElement(body);
        editor->zoom(2.0f);  // every half pixel of the body a whole pixel on screen
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
        QTest::newRow("circle over the sprite at 100 %") << true << QPointF(90, 80) << 1.0f;
    }

    void shapesBesideTheCurrentOneStayInSight()
    {
        QFETCH(bool, circle);
        QFETCH(QPointF, centre);
        QFETCH(float, zoom);
        if (circle) {
            editor->scene()->addCircle();
            qobject_cast<FixtureCircle*>(body->fixtures().last())->setCircleDirect(centre, 10);
            editor->setElement(body);
        } else {
            addPolygon(polygonOf({{-10, -10}, {10, -10}, {10, 10}, {-10, 10}}).translated(centre));
        }
        addPolygon(polygonOf({{150, 10}, {190, 10}, {170, 30}}));
        editor->zoom(zoom);
        view->setRenderHint(QPainter::Antialiasing, false);
        const auto outline = [this](const QPointF& at, Qt::Orientation scan) -> QString {
            view->centerOn(at);
            const EditorTest::Across line = EditorTest::across(view, at, scan);
            return (line.width >= 1 && line.width <= 2 ? "thin" : QString::number(line.width))
                + (line.darkest < line.background / 4 ? ", dark" : ", light");
        };
        // Thin at any zoom; the other shape's outline lets what lies beneath show through, the current one's is dark.
        QCOMPARE(outline(centre - QPointF(10, 0), Qt::Horizontal), QStringLiteral("thin, light"));
        QCOMPARE(outline(QPointF(170, 10), Qt::Vertical), QStringLiteral("thin, dark"));
    }

    void editingVertices_data()
    {
        QTest::addColumn<VertexEdit>("edit");
        const QPolygonF far = polygonOf({{150, 10}, {190, 10}, {170, 30}});
        const QPolygonF neighbour = polygonOf({{60, 20}, {100, 20}, {100, 60}, {60, 60}});
        const QPolygonF pentagon = polygonOf({{20, 20}, {60, 20}, {70, 45}, {40, 65}, {10, 45}});
        // The square's edge 1 runs along y = 20: a click a few screen pixels off is on it at any zoom.
        QTest::newRow("inside, 3 px off at 100 %") << VertexEdit{1.0f, square, {40, 23}, "on", 1};
        QTest::newRow("inside, 1.5 units off at 400 %") << VertexEdit{4.0f, square, {40, 21.5}, "", 1};
        QTest::newRow("outside, 1.5 units off at 400 %") << VertexEdit{4.0f, square, {40, 18.5}, "beside", 1};
        QTest::newRow("slanted edge") << VertexEdit{2.0f, triangle, {50, 35}, "on", 2};
        QTest::newRow("closing edge") << VertexEdit{2.0f, square, {21, 43}, "on", 0};
        // Into the nearest edge the point projects inside, else first.
        QTest::newRow("beyond every edge") << VertexEdit{2.0f, square, {80, 80}, "beside", 0};
        QTest::newRow("edge of a shape not current") << VertexEdit{2.0f, square, {40, 19}, "on", 1, {}, {}, far};
        QTest::newRow("shared edge of the current shape") << VertexEdit{2.0f, square, {61, 40}, "on", 0, {}, {}, neighbour, true};
        QTest::newRow("on a vertex handle, beside its vertex") << VertexEdit{2.0f, square, {58.5, 20}, "removed", 0, {1}};
        QTest::newRow("a triangle keeps its vertices") << VertexEdit{2.0f, triangle, triangle.at(1), "", 0, {1}};
        QTest::newRow("context menu adds") << VertexEdit{2.0f, square, {40, 63}, "beside", 3, {}, "&Add vertex"};
        QTest::newRow("context menu removes") << VertexEdit{2.0f, square, square.at(1), "removed", 0, {1}, "&Delete vertex"};
        QTest::newRow("Delete: one of four") << VertexEdit{2.0f, square, {40, 40}, "removed", 0, {1}, "Delete"};
        QTest::newRow("Delete: two of five at once") << VertexEdit{2.0f, pentagon, {40, 42.5}, "removed", 0, {1, 3}, "Delete"};
        QTest::newRow("Delete: one of three stays") << VertexEdit{2.0f, triangle, {40, 35}, "", 0, {1}, "Delete"};
        QTest::newRow("Delete: two of four stay") << VertexEdit{2.0f, square, {40, 40}, "", 0, {0, 2}, "Delete"};
        QTest::newRow("Delete: none selected, the shape goes") << VertexEdit{2.0f, square, {40, 40}, "gone", 0, {}, "Delete"};
    }

    void editingVertices()
    {
        QFETCH(VertexEdit, edit);
        FixturePolygon* first = addPolygon(edit.polygon);
        FixturePolygon* other = edit.other.isEmpty() ? nullptr : addPolygon(edit.other);
        FixturePolygon* fixture = edit.intoOther ? other : first;
        const QPolygonF before = fixture->polygon();
        editor->zoom(edit.zoom);
        view->centerOn(edit.point);
        const bool key = edit.menu == "Delete";
        if (key) {
            mouse.click(edit.point);
            for (int i = 0; i < edit.vertices.size(); ++i)
                mouse.click(before.at(edit.vertices.at(i)), i ? Qt::ControlModifier : Qt::NoModifier);
            view->setFocus();
            QTest::keyClick(view, Qt::Key_Delete);
        } else if (edit.menu.isEmpty()) {
            mouse.doubleClick(edit.point);
        } else {
            EditorTest::chooseFromContextMenu(view, mouse.at(edit.point), edit.menu);
        }
        // Where the click really was, on a whole screen pixel, and its foot on the edge.
        const QPointF at = view->mapToScene(mouse.at(edit.point));
        const QLineF line(before.at((edit.edge + before.size() - 1) % before.size()), before.at(edit.edge));
        const QPointF foot = line.pointAt(QPointF::dotProduct(at - line.p1(), line.p2() - line.p1()) / qPow(line.length(), 2));
        const bool removed = edit.where == "removed", gone = edit.where == "gone";
        QPolygonF expected = gone ? QPolygonF() : before;
        for (int i = edit.vertices.size(); removed && i-- > 0;)
            expected.remove(edit.vertices.at(i));
        if (edit.where == "on" || edit.where == "beside")
            expected.insert(edit.edge, edit.where == "on" ? foot : at);
        // A vertex goes only once its handle's event handler has returned.
        if (!key)
            QCOMPARE(fixture->polygon(), removed ? before : expected);
        QTest::qWait(20);
        QCOMPARE(undoTexts(*document).join(','),
                 QString(gone ? "delete fixture" : expected == before ? "" : removed ? "delete vertex" : "add vertex"));
        QCOMPARE(body->fixtures().contains(fixture), !gone);
        if (!gone) {
            QCOMPARE(fixture->polygon(), expected);
            QCOMPARE(currentPolygon()->handlePolygon(), expected);
            QCOMPARE(editor->scene()->currentShape()->fixture(), fixture);
        }
        if (other)
            QCOMPARE((edit.intoOther ? first : other)->polygon(), edit.intoOther ? edit.polygon : edit.other);
        QCOMPARE(editor->selectedHandle() != nullptr, edit.where.isEmpty() && !edit.vertices.isEmpty());
        QCOMPARE(field("vertexXLineEdit")->text().isEmpty(), !editor->selectedHandle());
        checkConsistent();
        document->undoStack()->undo();
        QVERIFY(body->fixtures().contains(fixture));
        QCOMPARE(fixture->polygon(), before);
    }

    void newPolygonKeepsItsVerticesWithinReach_data()
    {
        QTest::addColumn<QPointF>("anchor");
        QTest::addColumn<float>("zoom");
        QTest::newRow("anchor at the centre, 200 %") << QPointF(100, 80) << 2.0f;
        QTest::newRow("anchor at the top middle, 200 %") << QPointF(100, 120) << 2.0f;
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
        // A sizeable triangle within the image, each vertex of which a click grabs by its handle, not the anchor point.
        const QPolygonF polygon = qobject_cast<FixturePolygon*>(body->fixtures().last())->polygon();
        QCOMPARE(polygon.size(), 3);
        const QLineF a(polygon.at(0), polygon.at(1)), b(polygon.at(0), polygon.at(2));
        QVERIFY(qAbs(a.dx() * b.dy() - a.dy() * b.dx()) / 2 > 1000);
        for (const QPointF& vertex : polygon) {
            QVERIFY(ship.contains(vertex));
            view->centerOn(vertex);
            mouse.click(vertex);
            QVERIFY(editor->selectedHandle() && editor->selectedHandle()->pos() == vertex);
        }
        QCOMPARE(undoTexts(*document), QStringList{"add fixture"});
    }

    // The tracer's "All islands" makes a fixture of every island as one step, which undoes as one; with "Keep
    // holes" the pieces an engine gets leave a hole free, without it they cover the hole.
    void tracingAllIslandsAddsThemAsOneStep_data()
    {
        QTest::addColumn<QList<QRect>>("blobs");  // opaque, in image coordinates of a 60 x 40 sprite
        QTest::addColumn<bool>("keepHoles");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<int>("fixtures");
        QTest::addColumn<bool>("holeFree");  // whether no piece covers the middle of the first blob
        const QList<QRect> ringAndBlock{QRect(5, 5, 20, 20), QRect(35, 5, 15, 15)};
        QTest::newRow("two blobs") << ringAndBlock << false << QStringList{"add fixtures"} << 2 << false;
        QTest::newRow("two blobs, holes kept") << ringAndBlock << true << QStringList{"add fixtures"} << 2 << true;
        QTest::newRow("one ring, holes kept") << QList<QRect>{QRect(5, 5, 20, 20)} << true
                                              << QStringList{"add fixture"} << 1 << true;
        QTest::newRow("one ring, filled") << QList<QRect>{QRect(5, 5, 20, 20)} << false
                                          << QStringList{"add fixture"} << 1 << false;
    }

    void tracingAllIslandsAddsThemAsOneStep()
    {
        QFETCH(QList<QRect>, blobs);
        QFETCH(bool, keepHoles);
        QFETCH(QStringList, steps);
        QFETCH(int, fixtures);
        QFETCH(bool, holeFree);
        // The first blob has a hole of 10 x 10 pixels in its middle.
        QImage image(60, 40, QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        for (const QRect& blob : blobs)
            painter.fillRect(blob, Qt::black);
        painter.setCompositionMode(QPainter::CompositionMode_Clear);
        painter.fillRect(blobs.first().adjusted(5, 5, -5, -5), Qt::transparent);
        painter.end();
        const QString path = dir.filePath(QStringLiteral("islands%1.png").arg(QTest::currentDataTag()));
        QVERIFY(image.save(path));
        Element* traced = document->addFile(path);
        document->undoStack()->clear();
        editor->setElement(traced);

        TestSupport::ModalHandler handler([&](QWidget* modal) {
            TestSupport::clickCheckBox(modal->findChild<QCheckBox*>(QStringLiteral("allIslandsCheckBox")));
            if (keepHoles)
                TestSupport::clickCheckBox(modal->findChild<QCheckBox*>(QStringLiteral("keepHolesCheckBox")));
            QTest::mouseClick(modal->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok), Qt::LeftButton);
        });
        click("tracerButton");
        QVERIFY(handler.handled());
        QCOMPARE(traced->fixtures().size(), fixtures);
        QCOMPARE(undoTexts(*document), steps);
        checkConsistent();

        const QPointF hole = QRectF(blobs.first()).center();
        const QPointF inHole(hole.x(), image.height() - hole.y());  // body coordinates, y up
        bool covered = false;
        for (Fixture* fixture : traced->fixtures())
            for (const QPolygonF& piece : ConvexDecomposition::decompose(qobject_cast<FixturePolygon*>(fixture)->polygon()))
                covered = covered || piece.containsPoint(inHole, Qt::OddEvenFill);
        QCOMPARE(covered, !holeFree);

        document->undoStack()->undo();
        QCoreApplication::processEvents();
        QVERIFY(traced->fixtures().isEmpty());
        checkConsistent();
    }

    void editingAShapeRecordsOneStepEach()
    {
        FixturePolygon* fixture = addPolygon(triangle);
        mouse.press(QPointF(60, 20));
        mouse.dragTo(QPointF(70.5, -2.5));
        // Live: the handle has snapped to whole pixels, the fixture waits for the release, the outline for events.
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
        QCOMPARE(currentPolygon()->handlePolygon(), moved);
        checkConsistent();
        // The vertex stays selected through the rebuild an undo causes, and the editor listens to its successor.
        document->undoStack()->undo();
        QCOMPARE(currentPolygon()->handlePolygon(), triangle);
        QCOMPARE(field("vertexXLineEdit")->text(), QStringLiteral("60"));
        checkConsistent();
        // A typed coordinate moves the vertex as typed and is recorded, snapped, when the field is confirmed.
        QLineEdit* typed = field("vertexYLineEdit");
        typed->selectAll();
        QTest::keyClicks(typed, QStringLiteral("33.4"));
        QCOMPARE(qRound(currentPolygon()->handlePolygon().at(1).y()), 33);
        QCOMPARE(fixture->polygon(), triangle);
        QTest::keyClick(typed, Qt::Key_Return);
        QCOMPARE(fixture->polygon().at(1), QPointF(60, 33));
        QCOMPARE(typed->text(), QStringLiteral("33"));
        QCOMPARE(document->undoStack()->undoText(), QStringLiteral("move vertex"));
        document->undoStack()->undo();
        QCOMPARE(fixture->polygon(), triangle);
        // Dragging the shape moves every vertex, the selected one not twice, by whole pixels.
        mouse.drag(QPointF(40, 30), QPointF(45.5, 27.5));
        QCOMPARE(fixture->polygon(), triangle.translated(6, -2));
        QCOMPARE(currentPolygon()->graphicsItem()->pos(), QPointF(0, 0));
        // The body follows the anchor point at once and records on the release.
        body->setAnchorPointAbsDirect(QPointF(30, 60));
        mouse.press(QPointF(30, 60));
        mouse.dragTo(QPointF(40, 65));
        QCOMPARE(body->anchorPointAbs(), QPointF(40, 65));
        QCOMPARE(undoTexts(*document), QStringList{"move shape"});
        mouse.dragTo(QPointF(50.5, 72));
        mouse.release(QPointF(50.5, 72));
        QCOMPARE(undoTexts(*document), (QStringList{"move shape", "move anchorpoint"}));
        document->undoStack()->undo();
        QCOMPARE(editor->scene()->anchorPoint()->pos(), QPointF(30, 60));
        document->undoStack()->redo();
        QCOMPARE(editor->scene()->anchorPoint()->pos(), QPointF(50.5, 72));
        // Flipping mirrors the shape in its outline's box.
        click("flipHorizontally");
        QCOMPARE(fixture->polygon(), polygonOf({{66, 18}, {26, 18}, {46, 48}}));
        click("flipVertically");
        QCOMPARE(fixture->polygon(), polygonOf({{66, 48}, {26, 48}, {46, 18}}));
        QCOMPARE(undoTexts(*document).mid(2), (QStringList{"flip horizontally", "flip vertically"}));
        // The body outlives the editor, gone with a vertex selected, and can still be edited, also by a scene with no
        // editor to pass notices on.
        mouse.click(QPointF(66, 48));
        editor.reset();
        fixture->setPolygon(QStringLiteral("move vertex"), square);
        document->undoStack()->undo();
        QCOMPARE(fixture->polygon(), polygonOf({{66, 48}, {26, 48}, {46, 18}}));
        LimbEditorScene scene(exporter.get(), body);
        scene.addPolygon(square);
        QCOMPARE(scene.currentShape()->fixture(), body->fixtures().last());
        scene.addCircle();
        QCOMPARE(scene.currentShape()->fixture(), body->fixtures().last());
    }

    void addDeleteUndoSwitchAndCloseInTurns()
    {
        QUndoStack* stack = document->undoStack();
        for (int round = 0; round < 6; ++round) {
            const QList<std::function<void()>> steps{
                [&] { click("addPolygonButton"); },
                // A vertex of the new triangle (60,40), (140,40), (100,120) stays selected as one is added.
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
        // The document goes with a vertex selected and takes the scene along.
        click("addPolygonButton");
        mouse.click(QPointF(140, 40));
        document.reset();
        QVERIFY(!editor->scene() && !editor->element() && !editor->selectedHandle() && !view->scene());
        QVERIFY(!editor->findChild<QToolButton*>(QStringLiteral("addPolygonButton"))->isEnabled());
    }

    void zoomingKeepsThePointUnderThePointer_data()
    {
        QTest::addColumn<ZoomInput>("input");
        QTest::newRow("Ctrl+wheel: a notch in") << ZoomInput{2.0f, 2.5, {}, 120, Qt::ControlModifier, {150, 100}};
        QTest::newRow("Ctrl+wheel: out near a corner") << ZoomInput{2.0f, 1.28, {}, -240, Qt::ControlModifier, {640, 380}};
        QTest::newRow("Ctrl+wheel: in to the bar's end") << ZoomInput{40.0f, 50.0, {}, 360, Qt::ControlModifier, {200, 300}};
        QTest::newRow("Ctrl+wheel: out to the bar's start") << ZoomInput{0.12f, 0.1, {}, -360, Qt::ControlModifier, {600, 50}};
        QTest::newRow("wheel: up the body") << ZoomInput{2.0f, 2.0, {}, 120, Qt::NoModifier, {150, 100}, {0, 1}};
        QTest::newRow("Shift+wheel: to the left") << ZoomInput{2.0f, 2.0, {}, 120, Qt::ShiftModifier, {150, 100}, {-1, 0}};
        QTest::newRow("zoom in") << ZoomInput{2.0f, 3.0, "zoomIn"};
        QTest::newRow("zoom out") << ZoomInput{2.0f, 1.5, "zoomOut"};
        QTest::newRow("actual size") << ZoomInput{7.0f, 1.0, "zoom100"};
        QTest::newRow("zoom in at the end") << ZoomInput{50.0f, 50.0, "zoomIn"};
        QTest::newRow("set to 8000 %") << ZoomInput{80.0f, 50.0};
        QTest::newRow("set to 1 %") << ZoomInput{0.01f, 0.1};
    }

    void zoomingKeepsThePointUnderThePointer()
    {
        QFETCH(ZoomInput, input);
        editor->zoom(input.start);
        // Left of and below the image, where the view's own centring is a pixel off.
        view->centerOn(QPointF(-5.3, -3.1));
        const QPointF at = input.angle ? QPointF(input.pointer) : QRectF(view->viewport()->rect()).center();  // bar: middle
        const QPointF under = sceneAt(at), centre = middle();
        if (input.angle)
            EditorTest::wheel(view, input.pointer, input.angle, Qt::KeyboardModifiers(input.modifiers));
        else if (input.button.isEmpty())
            zoomBar()->setZoom(input.start);
        else
            QTest::mouseClick(zoomBar()->findChild<QToolButton*>(input.button), Qt::LeftButton);
        const qreal scale = view->transform().m11();
        QVERIFY2(qAbs(scale / input.expected - 1) < 1e-4 && view->transform().m22() == -scale && zoomBarShows(scale),
                 qPrintable(QString::number(scale)));
        const QPointF moved = middle() - centre, scrolls = input.scrolls;
        if (scrolls.isNull())  // within half a screen pixel each way: scrolling goes by whole pixels
            QVERIFY(QLineF(sceneAt(at), under).length() <= 0.75 / scale);
        else  // that way only
            QVERIFY(QPointF::dotProduct(moved, scrolls) > 0 && moved.x() * scrolls.y() == moved.y() * scrolls.x());
    }

    void eachBodyHasItsOwnSceneAndView()
    {
        // A vertex selected on the first body, which was fitted and then zoomed to 200 % around the middle.
        editor->scene()->addPolygon(triangle);
        mouse.click(QPointF(20, 20));
        const QPointF firstMiddle = middle();
        QVERIFY(showsView(2.0, ship.center()));
        QPointer<LimbEditorScene> old = editor->scene();
        auto* first = new FixturePolygon(second);
        auto* last = new FixturePolygon(second);
        first->setPolygonDirect(triangle);
        last->setPolygonDirect(square);
        second->setFixturesDirect({first, last});
        // Another body opens fitted in a scene of its own, nothing selected, its first fixture current, its image
        // upright (the top-right pixel at y = height).
        editor->setElement(second);
        QVERIFY(old.isNull());
        QCOMPARE(view->scene(), editor->scene());
        QCOMPARE(unfitted(ship), QString());
        QVERIFY(!editor->selectedHandle() && !field("vertexXLineEdit")->isEnabled());
        QCOMPARE(editor->scene()->currentShape()->fixture(), first);
        QCOMPARE(editor->scene()->imageItem()->mapToScene(ship), polygonOf({{0, 160}, {200, 160}, {200, 0}, {0, 0}, {0, 160}}));
        // The same body again only rebuilds; each body keeps its view until fitted again.
        old = editor->scene();
        editor->setElement(second);
        QCOMPARE(editor->scene(), old.data());
        editor->zoom(5.0f);
        view->centerOn(QPointF(30, 40));
        const QPointF secondMiddle = middle();
        editor->setElement(body);
        QVERIFY(showsView(2.0, firstMiddle));
        editor->setElement(second);
        QVERIFY(showsView(5.0, secondMiddle));
        click("fitButton");
        QCOMPARE(unfitted(ship), QString());
        // An undo for the other body shows that body again, as the body list does.
        document->undoStack()->undo();
        QCOMPARE(editor->element(), body);

        // Nothing to fit while a body has no image; its image, once there, is fitted.
        Element* blank = document->addFile(dir.filePath(QStringLiteral("missing.png")));
        editor->setElement(blank);
        QVERIFY(zoomBarShows(view->transform().m11()));  // a zoom within the bar's range
        blank->addImageFileNameDirect(UiTest::makeSprite(QDir(dir.path()), QStringLiteral("late.png"), 120, 300));
        QCOMPARE(unfitted(QRectF(0, 0, 120, 300)), QString());
        // A body chosen while the editor is hidden is fitted to the size the view is shown at.
        editor->hide();
        editor->setElement(document->addFile(UiTest::makeSprite(QDir(dir.path()), QStringLiteral("third.png"), 200, 160)));
        editor->resize(500, 700);
        editor->show();
        QVERIFY(QTest::qWaitForWindowExposed(editor.get()));
        QCOMPARE(unfitted(ship), QString());
    }

    void spaceBarPansAndCtrl0FitsFromWhereTheFocusIs_data()
    {
        // Where the focus is as the pointer comes onto the canvas: space pans unless the focus is in a field or
        // another window; Ctrl+0 typed there fits the image unless the focus is outside the editor.
        QTest::addColumn<QString>("focus");
        QTest::newRow("nothing focused") << QString();
        QTest::newRow("a tool button focused") << "addCircleButton";
        QTest::newRow("the x field focused") << "vertexXLineEdit";
        QTest::newRow("the zoom field focused") << "zoomValue";
        QTest::newRow("a field beside the editor") << "beside";
        QTest::newRow("another window active") << "another window";
    }

    void spaceBarPansAndCtrl0FitsFromWhereTheFocusIs()
    {
        QFETCH(QString, focus);
        const bool pans = focus.isEmpty() || focus == "addCircleButton";
        // The editor in a window, as in the main window, with a field of its own beside it.
        QWidget window;
        auto* layout = new QVBoxLayout(&window);
        layout->addWidget(new QLineEdit(&window));
        layout->addWidget(editor.get());
        const auto giveBack = qScopeGuard([this] { editor->setParent(nullptr); });
        window.resize(763, 560);
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        // A selected vertex, so that its fields take the focus.
        FixturePolygon* fixture = addPolygon(triangle);
        mouse.click(QPointF(60, 20));
        editor->zoom(8.0f);
        view->centerOn(QPointF(40, 30));
        const QPointF kept = middle();
        QLineEdit another;
        if (focus.isEmpty()) {
            QApplication::focusWidget()->clearFocus();
        } else if (focus == QLatin1String("another window")) {
            // Coming back, the user finds the field they left.
            field("vertexXLineEdit")->setFocus();
            another.show();
            another.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&another));
        } else {
            (focus == "beside" ? window.findChild<QLineEdit*>() : editor->findChild<QWidget*>(focus))->setFocus();
        }
        QWidget *focused = QApplication::focusWidget(), *left = window.focusWidget();
        // The pointer comes from the tool row onto the canvas, unclicked; nothing else, such as a repaint, takes keys.
        QTest::mouseMove(editor.get(), QPoint(5, 5));
        view->viewport()->repaint();
        QVERIFY(!view->hasFocus());
        QTest::mouseMove(view->viewport(), QPoint(300, 200));
        QWidget* typedInto = QApplication::focusWidget();
        QCOMPARE(typedInto, pans ? view : focused);
        QCOMPARE(window.focusWidget(), pans ? view : left);
        QTest::keyPress(typedInto, Qt::Key_Space);
        QCOMPARE(view->isPanning(), pans);
        if (pans) {
            // A drag over the triangle moves the view, not the shape.
            const QPointF grabbed(40, 30);
            const QPoint to = mouse.at(grabbed) + QPoint(40, 30);
            mouse.drag(grabbed, view->mapToScene(to));
            QVERIFY(QLineF(view->mapToScene(to), grabbed).length() <= 0.25);
            QCOMPARE(fixture->polygon(), triangle);
        } else if (auto* line = qobject_cast<QLineEdit*>(typedInto)) {
            QVERIFY(line->text().contains(QLatin1Char(' ')));
        }
        QTest::keyRelease(typedInto, Qt::Key_Space);
        QVERIFY(!view->isPanning());
        QTest::keyClick(typedInto, Qt::Key_0, Qt::ControlModifier);
        if (focus != "beside" && focus != "another window")
            QCOMPARE(unfitted(ship), QString());
        else
            QVERIFY(showsView(8.0, kept));
    }

    void radiusFieldFollowsTheCurrentCircle_data()
    {
        // Typed into the field, then confirmed or left; else the circle's handle dragged.
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("confirmed");
        QTest::addColumn<double>("expected");
        QTest::newRow("handle dragged") << QString() << false << 10.0;
        QTest::newRow("confirmed with Return") << "35" << true << 35.0;
        QTest::newRow("left for the canvas") << "12.5" << false << 12.5;
        QTest::newRow("the same radius") << "20" << true << 20.0;
        QTest::newRow("zero is refused") << "0" << true << 20.0;
        QTest::newRow("no number is refused") << "wide" << true << 20.0;
        QTest::newRow("infinity is refused") << "inf" << false << 20.0;
    }

    void radiusFieldFollowsTheCurrentCircle()
    {
        QFETCH(QString, typed);
        QFETCH(bool, confirmed);
        QFETCH(double, expected);
        QLineEdit* radius = field("radiusLineEdit");
        const auto shown = [radius]() -> QString { return radius->isEnabled() ? radius->text() : "off" + radius->text(); };
        click("addCircleButton");
        auto* circle = qobject_cast<FixtureCircle*>(body->fixtures().last());
        document->undoStack()->clear();
        QCOMPARE(shown(), QStringLiteral("20"));
        if (typed.isEmpty()) {
            mouse.press(QPointF(20, 0));
            mouse.dragTo(QPointF(6, 8));
            QCOMPARE(shown(), QStringLiteral("10"));  // live while the handle is dragged; one step on the release
        } else {
            radius->setFocus();
            radius->selectAll();
            QTest::keyClicks(radius, typed);
        }
        QCOMPARE(circle->radius(), 20.0);
        if (typed.isEmpty())
            mouse.release(QPointF(6, 8));
        else if (confirmed)
            QTest::keyClick(radius, Qt::Key_Return);
        else
            view->setFocus();
        QCOMPARE(circle->radius(), expected);
        QCOMPARE(undoTexts(*document), expected != 20.0 ? QStringList{"resize circle"} : QStringList());
        QCOMPARE(shown(), QString::number(expected));  // refused text gives way to the circle's radius
        document->undoStack()->undo();
        QCOMPARE(circle->radius(), 20.0);
        QCOMPARE(shown(), QStringLiteral("20"));
        // A polygon has no radius; the circle gets it back when clicked again.
        addPolygon(triangle);
        QCOMPARE(shown(), QStringLiteral("off"));
        mouse.click(QPointF(-12, -12));
        QCOMPARE(shown(), QStringLiteral("20"));
        editor->scene()->setCurrentShape(nullptr);
        QCOMPARE(shown(), QStringLiteral("off"));
    }

private:
    ZoomWidget* zoomBar() const { return editor->findChild<ZoomWidget*>(); }
    // The bar's zoom, and the percentage it shows, are the view's.
    bool zoomBarShows(qreal scale) const
    {
        const int percent = zoomBar()->findChild<QSpinBox*>(QStringLiteral("zoomValue"))->value();
        return qAbs(zoomBar()->zoom() / scale - 1) < 1e-4 && qAbs(percent - scale * 100) <= 1;
    }
    QPointF sceneAt(const QPointF& point) const { return view->viewportTransform().inverted().map(point); }
    QPointF middle() const { return sceneAt(QRectF(view->viewport()->rect()).center()); }
    // Within half a screen pixel each way of the middle: scrolling goes by whole pixels.
    bool showsView(qreal zoom, const QPointF& centre) const
    {
        return qFuzzyCompare(view->transform().m11(), zoom) && zoomBarShows(zoom)
            && QLineF(middle(), centre).length() <= 0.75 / zoom;
    }
    // What keeps the image from being fitted: wholly visible, in the middle, filling the view along one side.
    QString unfitted(const QRectF& image) const
    {
        const QRectF visible = view->mapToScene(view->viewport()->rect()).boundingRect();
        if (!visible.contains(image))
            return "not all visible";
        if (!showsView(view->transform().m11(), image.center()))
            return "not in the middle";
        return qMax(image.width() / visible.width(), image.height() / visible.height()) < 0.9 ? "too small" : "";
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
