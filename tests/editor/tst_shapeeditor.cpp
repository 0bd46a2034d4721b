#include "anchorpoint.h"
#include "editortestsupport.h"
#include "fixturecircle.h"
#include "fixturepolygon.h"
#include "ggraphicsellipseitem.h"
#include "ggraphicspolygonitem.h"
#include "shapecircle.h"
#include "shapehandle.h"
#include "shapepolygon.h"
#include "testsupport.h"
#include "tracerdialog.h"
#include "zoomwidget.h"

#include <QDialogButtonBox>
#include <QGraphicsPixmapItem>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

using EditorTest::Mouse;
using EditorTest::undoTexts;

class TestShapeEditor : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void formButtons_data();
    void formButtons();
    void noBodyDisablesTheTools();
    void circleButtonFollowsTheExporter();
    void anchorPointFollowsTheExporter();
    void imageStandsUpright();
    void bodyWithoutFixturesHasNoCurrentShape();

    void draggingAVertexSnapsAndRecordsOneStep();
    void typedCoordinatesMoveLiveAndRecordWhenFinished();
    void selectingAVertexFillsTheFields();
    void doubleClickOnAVertex_data();
    void doubleClickOnAVertex();
    void doubleClickOnTheCanvasInsertsAVertex_data();
    void doubleClickOnTheCanvasInsertsAVertex();
    void doubleClickOnTheCanvasWithACircleDoesNothing();
    void contextMenuAddsAVertex();
    void flippingTwiceRestores_data();
    void flippingTwiceRestores();
    void draggingThePolygonMovesEveryVertexByWholePixels();

    void anchorPointDragIsOneStep();
    void anchorPointClickIsStillOneStep();
    void circleResizesThroughItsHandle();
    void pressingACircleMakesItCurrent();
    void addButtonsCreateCurrentFixtures();
    void deleteKeyRemovesTheCurrentShape();
    void deleteKeyInAFieldEditsTheField();

    void zoomSteps_data();
    void zoomSteps();
    void handlesAndOutlinesKeepTheirScreenSize();
    void spaceBarPansInsteadOfMovingShapes();

    void tracerButtonAddsTheTracedPolygon();
    void cancelledTracerAddsNothing();

private:
    void showBody(Element* body);
    FixturePolygon* addPolygon(const QVector<QPointF>& polygon);
    ShapePolygon* currentPolygonShape() const;
    QLineEdit* field(const char* name) const { return editor->findChild<QLineEdit*>(QLatin1String(name)); }
    void setZoom(float factor);

    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<Exporter> fullExporter;
    std::unique_ptr<Exporter> plainExporter;
    QString spritePath;
    QString bigSpritePath;

    std::unique_ptr<ElementListModel> document;
    std::unique_ptr<ShapeEditor> editor;
    Element* body = nullptr;
    GGraphicsView* view = nullptr;
};

void TestShapeEditor::initTestCase()
{
    qRegisterMetaType<LimbEditorScene*>();
    qRegisterMetaType<Shape*>();
    qRegisterMetaType<Fixture*>();
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    const QDir root(dir->path());
    fullExporter = EditorTest::makeExporter(root, QStringLiteral("full"), true, true);
    plainExporter = EditorTest::makeExporter(root, QStringLiteral("plain"), false, false);
    QVERIFY(fullExporter && plainExporter);
    spritePath = EditorTest::makeSprite(root, QStringLiteral("ship.png"), 200, 160);
    bigSpritePath = EditorTest::makeSprite(root, QStringLiteral("station.png"), 600, 500);
}

void TestShapeEditor::init()
{
    TestSupport::clearSettings();
    document = std::make_unique<ElementListModel>();
    document->setExporter(fullExporter.get());
    body = document->addFile(spritePath);
    document->undoStack()->clear();

    editor = std::make_unique<ShapeEditor>();
    editor->exporterChanged(fullExporter.get());
    // The document's change notification reaches the editor as the main window passes it on.
    connect(document.get(), &ElementListModel::redisplayElement, editor.get(), &ShapeEditor::setElement);
    view = editor->findChild<GGraphicsView*>(QStringLiteral("graphicsView"));
    QVERIFY(view);
    editor->resize(763, 520);
    editor->show();
    QVERIFY(QTest::qWaitForWindowExposed(editor.get()));
    showBody(body);
}

void TestShapeEditor::cleanup()
{
    editor.reset();
    document.reset();
}

void TestShapeEditor::showBody(Element* shown)
{
    editor->setElement(shown);
    // 200 %: every half pixel of the body is a whole pixel on screen.
    setZoom(2.0f);
}

void TestShapeEditor::setZoom(float factor)
{
    editor->findChild<ZoomWidget*>(QStringLiteral("zoomSlider"))->setZoom(factor);
    QCoreApplication::processEvents();
}

FixturePolygon* TestShapeEditor::addPolygon(const QVector<QPointF>& polygon)
{
    editor->scene()->addPolygon(polygon);
    document->undoStack()->clear();
    QCoreApplication::processEvents();
    return qobject_cast<FixturePolygon*>(body->fixtures().last());
}

ShapePolygon* TestShapeEditor::currentPolygonShape() const
{
    return qobject_cast<ShapePolygon*>(editor->scene()->currentShape());
}

void TestShapeEditor::formButtons_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("tip");
    QTest::newRow("circle") << "addCircleButton" << "Add circle";
    QTest::newRow("polygon") << "addPolygonButton" << "Add polygon";
    QTest::newRow("tracer") << "tracerButton" << "Shape tracer";
    QTest::newRow("flip h") << "flipHorizontally" << "Flip horizontaly";
    QTest::newRow("flip v") << "flipVertically" << "Flip vertically";
    QTest::newRow("delete") << "deletePolygonButton" << "Delete polygon";
}

void TestShapeEditor::formButtons()
{
    QFETCH(QString, name);
    QFETCH(QString, tip);
    QCOMPARE(editor->objectName(), QStringLiteral("ShapeEditor"));
    auto* button = editor->findChild<QToolButton*>(name);
    QVERIFY(button);
    QCOMPARE(button->toolTip(), tip);
    QCOMPARE(button->statusTip(), tip);
    QVERIFY(!button->icon().isNull());
    QVERIFY(!button->icon().pixmap(16, 16).isNull());
}

void TestShapeEditor::noBodyDisablesTheTools()
{
    const QStringList tools{"addCircleButton", "addPolygonButton", "tracerButton",
                            "flipHorizontally", "flipVertically", "deletePolygonButton"};
    for (const QString& name : tools)
        QVERIFY2(editor->findChild<QToolButton*>(name)->isEnabled(), qPrintable(name));
    QCOMPARE(view->scene(), editor->scene());

    editor->setElement(nullptr);
    for (const QString& name : tools)
        QVERIFY2(!editor->findChild<QToolButton*>(name)->isEnabled(), qPrintable(name));
    QVERIFY(!view->scene());
    QVERIFY(!editor->scene());
    QVERIFY(editor->findChild<ZoomWidget*>(QStringLiteral("zoomSlider"))->isEnabled());

    // Clicking a disabled tool does nothing, and nothing is recorded.
    QTest::mouseClick(editor->findChild<QToolButton*>(QStringLiteral("addPolygonButton")), Qt::LeftButton);
    QCOMPARE(document->undoStack()->count(), 0);
    QVERIFY(body->fixtures().isEmpty());
}

void TestShapeEditor::circleButtonFollowsTheExporter()
{
    auto* circleButton = editor->findChild<QToolButton*>(QStringLiteral("addCircleButton"));
    QVERIFY(circleButton->isVisibleTo(editor.get()));
    editor->exporterChanged(plainExporter.get());
    QVERIFY(!circleButton->isVisibleTo(editor.get()));
    // Without an exporter the button keeps its last visibility.
    editor->exporterChanged(nullptr);
    QVERIFY(!circleButton->isVisibleTo(editor.get()));
    editor->exporterChanged(fullExporter.get());
    QVERIFY(circleButton->isVisibleTo(editor.get()));

    // Also when the exporter arrives before any body.
    editor->setElement(nullptr);
    editor->exporterChanged(plainExporter.get());
    editor->setElement(body);
    QVERIFY(!circleButton->isVisibleTo(editor.get()));
}

void TestShapeEditor::anchorPointFollowsTheExporter()
{
    AnchorPoint* anchor = editor->scene()->anchorPoint();
    QVERIFY(anchor->isVisible());
    QCOMPARE(anchor->data(0).toString(), QStringLiteral("Anchorpoint"));
    QCOMPARE(anchor->zValue(), 50000.0);
    editor->exporterChanged(plainExporter.get());
    QVERIFY(!anchor->isVisible());
    editor->exporterChanged(fullExporter.get());
    QVERIFY(anchor->isVisible());

    // A new scene starts with the exporter's choice.
    editor->exporterChanged(plainExporter.get());
    editor->setElement(nullptr);
    editor->setElement(body);
    QVERIFY(!editor->scene()->anchorPoint()->isVisible());
}

void TestShapeEditor::imageStandsUpright()
{
    LimbEditorScene* scene = editor->scene();
    QGraphicsPixmapItem* image = scene->imageItem();
    QVERIFY(image);
    QCOMPARE(scene->sceneRect(), QRectF(0, 0, 200, 160));
    QCOMPARE(image->data(0).toString(), QString(QStringLiteral("Image: ") + body->currentImageName()));
    QCOMPARE(image->zValue(), -10000.0);
    QCOMPARE(scene->imageFrameItem()->zValue(), -100.0);
    QCOMPARE(scene->imageFrameItem()->rect(), QRectF(0, 0, 200, 160));
    // The image's top-left pixel is at the top of the body (y = height), the
    // bottom-left one at the origin.
    QCOMPARE(image->mapToScene(QPointF(0, 0)), QPointF(0, 160));
    QCOMPARE(image->mapToScene(QPointF(0, 160)), QPointF(0, 0));

    // On screen: the opaque block fills the middle, transparent above it.
    const QImage shot = view->viewport()->grab().toImage();
    const QPoint middle = view->mapFromScene(QPointF(100, 80));
    const QPoint top = view->mapFromScene(QPointF(100, 150));
    QCOMPARE(shot.pixelColor(middle), QColor(40, 160, 60));
    QVERIFY(shot.pixelColor(top) != QColor(40, 160, 60));
}

void TestShapeEditor::bodyWithoutFixturesHasNoCurrentShape()
{
    LimbEditorScene* scene = editor->scene();
    QSignalSpy shapes(scene, &LimbEditorScene::currentShapeChanged);
    QSignalSpy fixtures(scene, &LimbEditorScene::currentFixtureChanged);
    scene->selectFirstFixture();
    QCOMPARE(shapes.count(), 1);
    QCOMPARE(shapes.first().first().value<Shape*>(), nullptr);
    QCOMPARE(fixtures.count(), 1);
    QCOMPARE(fixtures.first().first().value<Fixture*>(), nullptr);
    QVERIFY(scene->shapes().isEmpty());
}

void TestShapeEditor::draggingAVertexSnapsAndRecordsOneStep()
{
    FixturePolygon* fixture = addPolygon({QPointF(20, 20), QPointF(60, 20), QPointF(40, 50)});
    const QPointF target(10.5, -2.5);
    Mouse mouse(view);
    QCOMPARE(mouse.sceneAt(mouse.at(target)), target);

    mouse.press(QPointF(20, 20));
    QVERIFY(editor->selectedHandle());
    mouse.dragTo(QPointF(15, 10));
    mouse.dragTo(target);
    // Live: the handle has snapped, the fixture is untouched until the release.
    QCOMPARE(editor->selectedHandle()->pos(), QPointF(11, -2));
    QCOMPARE(fixture->polygon().first(), QPointF(20, 20));
    QCOMPARE(document->undoStack()->count(), 0);
    mouse.release(target);

    const QPolygonF expected(QVector<QPointF>{QPointF(11, -2), QPointF(60, 20), QPointF(40, 50)});
    QCOMPARE(fixture->polygon(), expected);
    QCOMPARE(undoTexts(*document), QStringList{"move vertex"});
    // The vertex stays selected through the rebuild the change caused.
    QCOMPARE(field("vertexXLineEdit")->text(), QStringLiteral("11"));
    QCOMPARE(field("vertexYLineEdit")->text(), QStringLiteral("-2"));
    QCoreApplication::processEvents();
    QCOMPARE(currentPolygonShape()->handlePolygon(), expected);

    document->undoStack()->undo();
    QCoreApplication::processEvents();
    QCOMPARE(fixture->polygon().first(), QPointF(20, 20));
    QCOMPARE(currentPolygonShape()->handlePolygon().first(), QPointF(20, 20));
}

void TestShapeEditor::typedCoordinatesMoveLiveAndRecordWhenFinished()
{
    FixturePolygon* fixture = addPolygon({QPointF(20, 20), QPointF(60, 20), QPointF(40, 50)});
    editor->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(editor.get()));
    Mouse mouse(view);
    mouse.click(QPointF(60, 20));
    QLineEdit* x = field("vertexXLineEdit");
    QLineEdit* y = field("vertexYLineEdit");
    QCOMPARE(x->text(), QStringLiteral("60"));

    x->setFocus();
    x->selectAll();
    QTest::keyClicks(x, QStringLiteral("7.4"));
    QCOMPARE(editor->selectedHandle()->pos(), QPointF(7, 20));
    // What is typed stays as typed while typing.
    QCOMPARE(x->text(), QStringLiteral("7.4"));
    QCOMPARE(fixture->polygon().at(1), QPointF(60, 20));
    QCOMPARE(document->undoStack()->count(), 0);

    QTest::keyClick(x, Qt::Key_Return);
    QCOMPARE(fixture->polygon().at(1), QPointF(7, 20));
    QCOMPARE(undoTexts(*document), QStringList{"move vertex"});
    QCOMPARE(x->text(), QStringLiteral("7"));

    // A negative value can be typed from its sign on; leaving the field records it.
    y->setFocus();
    y->selectAll();
    QTest::keyClicks(y, QStringLiteral("-5"));
    QCOMPARE(y->text(), QStringLiteral("-5"));
    QCOMPARE(editor->selectedHandle()->pos(), QPointF(7, -5));
    x->setFocus();
    QCOMPARE(fixture->polygon().at(1), QPointF(7, -5));
    QCOMPARE(undoTexts(*document), (QStringList{"move vertex", "move vertex"}));
    QVERIFY(y->isEnabled());

    // Leaving a field without a change records nothing.
    y->setFocus();
    x->setFocus();
    QCOMPARE(document->undoStack()->count(), 2);

    // Text that is no number reads as 0.
    x->selectAll();
    QTest::keyClicks(x, QStringLiteral("abc"));
    QTest::keyClick(x, Qt::Key_Return);
    QCOMPARE(fixture->polygon().at(1), QPointF(0, -5));
}

void TestShapeEditor::selectingAVertexFillsTheFields()
{
    addPolygon({QPointF(20, 20), QPointF(60, 20), QPointF(40, 50)});
    QLineEdit* x = field("vertexXLineEdit");
    QLineEdit* y = field("vertexYLineEdit");
    QVERIFY(!x->isEnabled() && !y->isEnabled());
    QVERIFY(x->text().isEmpty());

    Mouse mouse(view);
    mouse.click(QPointF(40, 50));
    QVERIFY(x->isEnabled() && y->isEnabled());
    QCOMPARE(x->text(), QStringLiteral("40"));
    QCOMPARE(y->text(), QStringLiteral("50"));

    // Another vertex takes over the fields; the previous one no longer reports.
    mouse.click(QPointF(20, 20));
    QCOMPARE(x->text(), QStringLiteral("20"));
    ShapeHandle* first = currentPolygonShape()->handles().at(0);
    ShapeHandle* third = currentPolygonShape()->handles().at(2);
    QCOMPARE(first->listener(), editor.get());
    QCOMPARE(third->listener(), nullptr);

    // Clicking empty canvas deselects: the fields empty and are disabled.
    mouse.click(QPointF(150, 120));
    QVERIFY(!editor->selectedHandle());
    QVERIFY(!x->isEnabled() && !y->isEnabled());
    QVERIFY(x->text().isEmpty() && y->text().isEmpty());
}

void TestShapeEditor::doubleClickOnAVertex_data()
{
    QTest::addColumn<QPolygonF>("polygon");
    QTest::addColumn<QPolygonF>("expected");
    QTest::addColumn<QStringList>("steps");
    const QPolygonF triangle(QVector<QPointF>{QPointF(20, 20), QPointF(60, 20), QPointF(40, 50)});
    const QPolygonF quad(QVector<QPointF>{QPointF(20, 20), QPointF(60, 20), QPointF(60, 60), QPointF(20, 60)});
    QTest::newRow("triangle stays") << triangle << triangle << QStringList();
    QTest::newRow("quadrilateral loses it") << quad << QPolygonF(QVector<QPointF>{QPointF(20, 20), QPointF(60, 60), QPointF(20, 60)})
                                            << QStringList{"delete vertex"};
}

void TestShapeEditor::doubleClickOnAVertex()
{
    QFETCH(QPolygonF, polygon);
    QFETCH(QPolygonF, expected);
    QFETCH(QStringList, steps);
    FixturePolygon* fixture = addPolygon(polygon);
    Mouse mouse(view);
    mouse.doubleClick(polygon.at(1));
    // The removal is queued; let it run.
    QTest::qWait(20);
    QCOMPARE(fixture->polygon(), expected);
    QCOMPARE(undoTexts(*document), steps);
    QCOMPARE(currentPolygonShape()->handles().size(), expected.size());
    if (!steps.isEmpty()) {
        // The selected vertex is gone: its coordinates with it.
        QVERIFY(!editor->selectedHandle());
        QVERIFY(!field("vertexXLineEdit")->isEnabled());
        QVERIFY(field("vertexXLineEdit")->text().isEmpty());
        QVERIFY(field("vertexYLineEdit")->text().isEmpty());
    } else {
        QCOMPARE(field("vertexXLineEdit")->text(), QStringLiteral("60"));
    }
}

void TestShapeEditor::doubleClickOnTheCanvasInsertsAVertex_data()
{
    QTest::addColumn<QPointF>("point");
    QTest::addColumn<int>("index");
    // Just outside the right edge, from (60, 20) to (60, 60), near its middle.
    QTest::newRow("near an edge") << QPointF(63, 40.5) << 2;
    // Past the ends of every edge: first in the list.
    QTest::newRow("beyond every edge") << QPointF(80, 80) << 0;
    // Two edges project it inside; the nearer one wins.
    QTest::newRow("nearest of two") << QPointF(30, 16) << 1;
}

void TestShapeEditor::doubleClickOnTheCanvasInsertsAVertex()
{
    QFETCH(QPointF, point);
    QFETCH(int, index);
    const QPolygonF square(QVector<QPointF>{QPointF(20, 20), QPointF(60, 20), QPointF(60, 60), QPointF(20, 60)});
    FixturePolygon* fixture = addPolygon(square);
    Mouse mouse(view);
    QCOMPARE(mouse.sceneAt(mouse.at(point)), point);
    mouse.doubleClick(point);
    QPolygonF expected = square;
    expected.insert(index, point);
    QCOMPARE(fixture->polygon(), expected);
    QCOMPARE(undoTexts(*document), QStringList{"add vertex"});
    QCoreApplication::processEvents();
    QCOMPARE(currentPolygonShape()->handlePolygon(), expected);
}

void TestShapeEditor::doubleClickOnTheCanvasWithACircleDoesNothing()
{
    editor->scene()->addCircle();
    document->undoStack()->clear();
    QVERIFY(qobject_cast<ShapeCircle*>(editor->scene()->currentShape()));
    Mouse mouse(view);
    mouse.doubleClick(QPointF(120, 100));
    QCOMPARE(document->undoStack()->count(), 0);
    QCOMPARE(body->fixtures().size(), 1);
}

void TestShapeEditor::contextMenuAddsAVertex()
{
    const QPolygonF square(QVector<QPointF>{QPointF(20, 20), QPointF(60, 20), QPointF(60, 60), QPointF(20, 60)});
    FixturePolygon* fixture = addPolygon(square);
    const QPointF point(40, 63);
    const QPoint local = view->mapFromScene(point);
    QCOMPARE(EditorTest::chooseFromContextMenu(view, local, QStringLiteral("&Add vertex")), QStringLiteral("&Add vertex"));
    QPolygonF expected = square;
    expected.insert(3, point);
    QCOMPARE(fixture->polygon(), expected);
    QCOMPARE(undoTexts(*document), QStringList{"add vertex"});
}

void TestShapeEditor::flippingTwiceRestores_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("horizontal");
    QTest::newRow("horizontally") << "flipHorizontally" << "flip horizontally" << true;
    QTest::newRow("vertically") << "flipVertically" << "flip vertically" << false;
}

void TestShapeEditor::flippingTwiceRestores()
{
    QFETCH(QString, button);
    QFETCH(QString, text);
    QFETCH(bool, horizontal);
    const QPolygonF outline(QVector<QPointF>{QPointF(10, 10), QPointF(71, 14), QPointF(30, 45), QPointF(12, 33)});
    FixturePolygon* fixture = addPolygon(outline);
    auto* flip = editor->findChild<QToolButton*>(button);

    QTest::mouseClick(flip, Qt::LeftButton);
    const QRectF box = outline.boundingRect();
    QPolygonF mirrored;
    for (const QPointF& p : outline) {
        mirrored << (horizontal ? QPointF(box.left() + box.right() - p.x(), p.y())
                                : QPointF(p.x(), box.top() + box.bottom() - p.y()));
    }
    QCOMPARE(fixture->polygon(), mirrored);
    QCOMPARE(fixture->polygon().boundingRect(), box);

    QTest::mouseClick(flip, Qt::LeftButton);
    QCOMPARE(fixture->polygon(), outline);
    QCOMPARE(undoTexts(*document), (QStringList{text, text}));

    // A circle is not flipped.
    editor->scene()->addCircle();
    document->undoStack()->clear();
    QTest::mouseClick(flip, Qt::LeftButton);
    QCOMPARE(document->undoStack()->count(), 0);
}

void TestShapeEditor::draggingThePolygonMovesEveryVertexByWholePixels()
{
    const QPolygonF outline(QVector<QPointF>{QPointF(20, 20), QPointF(60, 20), QPointF(40, 50)});
    FixturePolygon* fixture = addPolygon(outline);
    Mouse mouse(view);
    // A selected vertex moves with the others, not twice.
    mouse.click(QPointF(60, 20));
    QVERIFY(editor->selectedHandle());
    mouse.drag(QPointF(40, 30), QPointF(45.5, 27.5));
    QCOMPARE(fixture->polygon(), outline.translated(6, -2));
    QCOMPARE(undoTexts(*document), QStringList{"move shape"});
    QCOMPARE(currentPolygonShape()->graphicsItem()->pos(), QPointF(0, 0));
}

void TestShapeEditor::anchorPointDragIsOneStep()
{
    body->setAnchorPointAbsDirect(QPointF(30, 30));
    QCOMPARE(editor->scene()->anchorPoint()->pos(), QPointF(30, 30));
    Mouse mouse(view);
    mouse.press(QPointF(30, 30));
    mouse.dragTo(QPointF(40, 35));
    // The body follows at once, without a step.
    QCOMPARE(body->anchorPointAbs(), QPointF(40, 35));
    QCOMPARE(document->undoStack()->count(), 0);
    mouse.dragTo(QPointF(50.5, 42));
    mouse.release(QPointF(50.5, 42));
    QCOMPARE(body->anchorPointAbs(), QPointF(50.5, 42));
    QCOMPARE(undoTexts(*document), QStringList{"move anchorpoint"});

    document->undoStack()->undo();
    QCOMPARE(body->anchorPointAbs(), QPointF(30, 30));
    QCOMPARE(editor->scene()->anchorPoint()->pos(), QPointF(30, 30));
    document->undoStack()->redo();
    QCOMPARE(editor->scene()->anchorPoint()->pos(), QPointF(50.5, 42));
}

void TestShapeEditor::anchorPointClickIsStillOneStep()
{
    body->setAnchorPointAbsDirect(QPointF(30, 30));
    Mouse mouse(view);
    mouse.click(QPointF(30, 30));
    QCOMPARE(body->anchorPointAbs(), QPointF(30, 30));
    QCOMPARE(undoTexts(*document), QStringList{"move anchorpoint"});
}

void TestShapeEditor::circleResizesThroughItsHandle()
{
    body->setAnchorPointAbsDirect(QPointF(150, 150));
    QTest::mouseClick(editor->findChild<QToolButton*>(QStringLiteral("addCircleButton")), Qt::LeftButton);
    QCOMPARE(undoTexts(*document), QStringList{"add fixture"});
    auto* fixture = qobject_cast<FixtureCircle*>(body->fixtures().last());
    QVERIFY(fixture);
    QCOMPARE(fixture->center(), QPointF(0, 0));
    QCOMPARE(fixture->radius(), 20.0);
    auto* shape = qobject_cast<ShapeCircle*>(editor->scene()->currentShape());
    QVERIFY(shape);
    QCOMPARE(shape->fixture(), fixture);

    Mouse mouse(view);
    mouse.press(QPointF(20, 0));
    mouse.dragTo(QPointF(26, 0));
    mouse.dragTo(QPointF(30.5, 4));
    QCoreApplication::processEvents();
    // The disc follows the handle live.
    auto* disc = static_cast<GGraphicsEllipseItem*>(shape->graphicsItem());
    const double live = QLineF(QPointF(0, 0), QPointF(31, 4)).length();
    QCOMPARE(disc->rect(), QRectF(-live, -live, 2 * live, 2 * live));
    mouse.release(QPointF(30.5, 4));
    QCOMPARE(fixture->radius(), live);
    QCOMPARE(fixture->center(), QPointF(0, 0));
    QCOMPARE(undoTexts(*document), (QStringList{"add fixture", "resize circle"}));

    // Dragging the disc moves the centre, and the radius handle, selected
    // until then, moves with the disc, not on top of it.
    QVERIFY(editor->selectedHandle());
    mouse.drag(QPointF(-10, -10), QPointF(5, -4));
    QVERIFY(!editor->selectedHandle());
    QCOMPARE(fixture->center(), QPointF(15, 6));
    QCOMPARE(fixture->radius(), live);
    QCOMPARE(undoTexts(*document), (QStringList{"add fixture", "resize circle", "move shape"}));
}

void TestShapeEditor::pressingACircleMakesItCurrent()
{
    body->setAnchorPointAbsDirect(QPointF(150, 150));
    editor->scene()->addCircle();
    addPolygon({QPointF(60, 60), QPointF(100, 60), QPointF(80, 90)});
    LimbEditorScene* scene = editor->scene();
    QVERIFY(qobject_cast<ShapePolygon*>(scene->currentShape()));
    QSignalSpy fixtures(scene, &LimbEditorScene::currentFixtureChanged);
    Mouse mouse(view);
    mouse.click(QPointF(-5, -5));
    QVERIFY(qobject_cast<ShapeCircle*>(scene->currentShape()));
    QVERIFY(!fixtures.isEmpty());
    QCOMPARE(fixtures.last().first().value<Fixture*>(), body->fixtures().first());
    QCOMPARE(scene->currentShape()->graphicsItem()->zValue(), 100.0);
    QCOMPARE(scene->shapes().last()->graphicsItem()->zValue(), 0.0);
    QCOMPARE(document->undoStack()->count(), 0);
}

void TestShapeEditor::addButtonsCreateCurrentFixtures()
{
    QTest::mouseClick(editor->findChild<QToolButton*>(QStringLiteral("addPolygonButton")), Qt::LeftButton);
    QCOMPARE(body->fixtures().size(), 1);
    auto* polygon = qobject_cast<FixturePolygon*>(body->fixtures().first());
    QVERIFY(polygon);
    QCOMPARE(polygon->polygon(), (QPolygonF(QVector<QPointF>{QPointF(0, 0), QPointF(40, 40), QPointF(0, 40)})));
    QCOMPARE(editor->scene()->currentShape()->fixture(), polygon);
    QCOMPARE(undoTexts(*document), QStringList{"add fixture"});

    document->undoStack()->undo();
    QVERIFY(body->fixtures().isEmpty());
    QVERIFY(editor->scene()->shapes().isEmpty());
    QVERIFY(!editor->scene()->currentShape());
    document->undoStack()->redo();
    QCOMPARE(editor->scene()->shapes().size(), 1);
}

void TestShapeEditor::deleteKeyRemovesTheCurrentShape()
{
    FixturePolygon* kept = addPolygon({QPointF(20, 20), QPointF(60, 20), QPointF(40, 50)});
    FixturePolygon* removed = addPolygon({QPointF(100, 100), QPointF(140, 100), QPointF(120, 130)});
    QCOMPARE(editor->scene()->currentShape()->fixture(), removed);
    view->setFocus();
    QTest::keyClick(view, Qt::Key_Delete);
    QCOMPARE(body->fixtures(), QList<Fixture*>{kept});
    QCOMPARE(undoTexts(*document), QStringList{"delete fixture"});
    QVERIFY(!editor->scene()->currentShape());
    QCOMPARE(editor->scene()->shapes().size(), 1);

    // With nothing current, Delete does nothing.
    QTest::keyClick(view, Qt::Key_Delete);
    QCOMPARE(body->fixtures().size(), 1);

    document->undoStack()->undo();
    QCOMPARE(body->fixtures().size(), 2);
    QCOMPARE(editor->scene()->shapes().size(), 2);
}

void TestShapeEditor::deleteKeyInAFieldEditsTheField()
{
    FixturePolygon* fixture = addPolygon({QPointF(20, 20), QPointF(60, 20), QPointF(40, 50)});
    editor->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(editor.get()));
    Mouse mouse(view);
    mouse.click(QPointF(60, 20));
    QLineEdit* x = field("vertexXLineEdit");
    x->setFocus();
    x->setCursorPosition(0);
    QTest::keyClick(x, Qt::Key_Delete);
    QCOMPARE(x->text(), QStringLiteral("0"));
    QCOMPARE(body->fixtures(), QList<Fixture*>{fixture});
    QVERIFY(editor->scene()->currentShape());
}

void TestShapeEditor::zoomSteps_data()
{
    QTest::addColumn<int>("startPercent");
    QTest::addColumn<QString>("button");
    QTest::addColumn<float>("factor");
    QTest::newRow("in from 100") << 100 << "zoomIn" << 1.5f;
    QTest::newRow("in from 5000") << 5000 << "zoomIn" << 50.0f;
    QTest::newRow("out from 100") << 100 << "zoomOut" << 0.75f;
    QTest::newRow("out from 10") << 10 << "zoomOut" << 0.1f;
}

void TestShapeEditor::zoomSteps()
{
    QFETCH(int, startPercent);
    QFETCH(QString, button);
    QFETCH(float, factor);
    auto* zoom = editor->findChild<ZoomWidget*>(QStringLiteral("zoomSlider"));
    zoom->setZoom(startPercent);
    QTest::mouseClick(zoom->findChild<QToolButton*>(button), Qt::LeftButton);
    QCOMPARE(zoom->zoom(), factor);
    // The view is scaled with y pointing up.
    QCOMPARE(view->transform().m11(), qreal(factor));
    QCOMPARE(view->transform().m22(), -qreal(factor));
}

void TestShapeEditor::handlesAndOutlinesKeepTheirScreenSize()
{
    body->setAnchorPointAbsDirect(QPointF(150, 150));
    addPolygon({QPointF(20, 20), QPointF(60, 20), QPointF(60, 50), QPointF(20, 50)});
    ShapeHandle* handle = currentPolygonShape()->handles().first();
    AnchorPoint* anchor = editor->scene()->anchorPoint();
    for (float factor : {1.0f, 4.0f}) {
        setZoom(factor);
        const QRectF onScreen = handle->deviceTransform(view->viewportTransform()).mapRect(handle->boundingRect());
        QCOMPARE(onScreen.size(), QSizeF(8, 8));
        QCOMPARE(anchor->deviceTransform(view->viewportTransform()).mapRect(anchor->boundingRect()).size(),
                 QSizeF(12, 12));
    }

    // At 400 % the outline of the left edge, over the transparent part of the
    // image, is at most a pixel or two wide, not four.
    view->setRenderHint(QPainter::Antialiasing, false);
    editor->scene()->setCurrentShape(nullptr);
    view->centerOn(QPointF(20, 35));
    QCoreApplication::processEvents();
    const QImage shot = view->viewport()->grab().toImage();
    const QPoint across = view->mapFromScene(QPointF(20, 35));
    int dark = 0;
    for (int x = across.x() - 8; x <= across.x() + 8; ++x) {
        if (qGray(shot.pixel(x, across.y())) < 60)
            ++dark;
    }
    QVERIFY2(dark >= 1 && dark <= 2, qPrintable(QString::number(dark)));
}

void TestShapeEditor::spaceBarPansInsteadOfMovingShapes()
{
    Element* big = document->addFile(bigSpritePath);
    document->undoStack()->clear();
    body = big;
    showBody(big);
    setZoom(4.0f);
    FixturePolygon* fixture = addPolygon({QPointF(200, 200), QPointF(320, 200), QPointF(260, 300)});
    view->centerOn(QPointF(260, 230));
    QCoreApplication::processEvents();
    QScrollBar* horizontal = view->horizontalScrollBar();
    QVERIFY(horizontal->maximum() > 0);
    const int scrolledBefore = horizontal->value();
    QGraphicsItem* item = currentPolygonShape()->graphicsItem();

    QTest::keyPress(view, Qt::Key_Space);
    QVERIFY(view->isPanning());
    QVERIFY(editor->scene()->isPanning());
    const QPoint from = view->mapFromScene(QPointF(260, 230));
    QTest::mousePress(view->viewport(), Qt::LeftButton, Qt::NoModifier, from);
    const QPoint to = from + QPoint(-60, 0);
    QMouseEvent move(QEvent::MouseMove, to, view->viewport()->mapToGlobal(to), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(view->viewport(), &move);
    QTest::mouseRelease(view->viewport(), Qt::LeftButton, Qt::NoModifier, to);
    QTest::keyRelease(view, Qt::Key_Space);

    QCOMPARE(horizontal->value(), scrolledBefore + 60);
    QCOMPARE(item->pos(), QPointF(0, 0));
    QCOMPARE(fixture->polygon().first(), QPointF(200, 200));
    QCOMPARE(document->undoStack()->count(), 0);
    QVERIFY(!view->isPanning());
    QVERIFY(!editor->scene()->isPanning());

    // Without the space bar the same drag moves the shape.
    Mouse mouse(view);
    mouse.drag(QPointF(260, 230), QPointF(265, 230));
    QCOMPARE(fixture->polygon().first(), QPointF(205, 200));
}

void TestShapeEditor::tracerButtonAddsTheTracedPolygon()
{
    addPolygon({QPointF(20, 20), QPointF(60, 20), QPointF(40, 50)});
    bool sawTracer = false;
    TestSupport::ModalHandler handler([&sawTracer](QWidget* modal) {
        sawTracer = qobject_cast<TracerDialog*>(modal) != nullptr;
        auto* buttons = modal->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
        QVERIFY(buttons);
        QVERIFY(buttons->button(QDialogButtonBox::Ok)->isEnabled());
        buttons->button(QDialogButtonBox::Ok)->click();
    });
    QTest::mouseClick(editor->findChild<QToolButton*>(QStringLiteral("tracerButton")), Qt::LeftButton);
    QVERIFY(handler.handled());
    QVERIFY(sawTracer);
    QCOMPARE(body->fixtures().size(), 2);
    auto* traced = qobject_cast<FixturePolygon*>(body->fixtures().last());
    QVERIFY(traced);
    QVERIFY(traced->polygon().size() >= 3);
    // The outline of the opaque block in the middle of the 200 x 160 sprite.
    const QRectF box = traced->polygon().boundingRect();
    QVERIFY2(QRectF(45, 35, 110, 90).contains(box) && box.width() > 90 && box.height() > 70,
             qPrintable(QStringLiteral("%1 %2 %3 %4").arg(box.x()).arg(box.y()).arg(box.width()).arg(box.height())));
    QCOMPARE(editor->scene()->currentShape()->fixture(), traced);
    QCOMPARE(undoTexts(*document), QStringList{"add fixture"});
}

void TestShapeEditor::cancelledTracerAddsNothing()
{
    TestSupport::ModalHandler handler([](QWidget* modal) {
        auto* buttons = modal->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
        QVERIFY(buttons);
        buttons->button(QDialogButtonBox::Cancel)->click();
    });
    QTest::mouseClick(editor->findChild<QToolButton*>(QStringLiteral("tracerButton")), Qt::LeftButton);
    QVERIFY(handler.handled());
    QVERIFY(body->fixtures().isEmpty());
    QCOMPARE(document->undoStack()->count(), 0);
}

int main(int argc, char** argv)
{
    TestSupport::isolateSettings();
    QApplication app(argc, argv);
    app.setOrganizationName(QStringLiteral("hullwright.org"));
    app.setApplicationName(QStringLiteral("tst_shapeeditor"));
    TestShapeEditor test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_shapeeditor.moc"
