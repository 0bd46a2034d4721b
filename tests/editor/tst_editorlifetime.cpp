// Scenes, shapes and handles come and go with every change of the document;
// these cases run under AddressSanitizer to prove nothing is freed twice and
// no listener is left pointing at a freed handle.
#include "editortestsupport.h"
#include "fixturepolygon.h"
#include "shape.h"
#include "shapehandle.h"
#include "shapepolygon.h"
#include "testsupport.h"

#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

using EditorTest::Mouse;
using EditorTest::undoTexts;

class TestEditorLifetime : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void undoWhileAHandleIsSelected();
    void switchingBodiesReplacesTheScene();
    void addDeleteUndoAndSwitchInTurns();
    void deletedDocumentTakesTheSceneAlong();
    void editorGoesWithAHandleSelected();
    void redrawsWaitForTheEventLoop();
    void vertexDeletedFromItsMenuAfterTheEvent();

private:
    void checkConsistent() const;
    FixturePolygon* addPolygon(const QVector<QPointF>& polygon);
    QToolButton* button(const char* name) const { return editor->findChild<QToolButton*>(QLatin1String(name)); }

    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<Exporter> exporter;
    QString spritePath;
    std::unique_ptr<ElementListModel> document;
    std::unique_ptr<ShapeEditor> editor;
    Element* first = nullptr;
    Element* second = nullptr;
    GGraphicsView* view = nullptr;
};

void TestEditorLifetime::initTestCase()
{
    qRegisterMetaType<LimbEditorScene*>();
    qRegisterMetaType<Shape*>();
    qRegisterMetaType<Fixture*>();
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    exporter = EditorTest::makeExporter(QDir(dir->path()), QStringLiteral("full"), true, true);
    QVERIFY(exporter);
    spritePath = EditorTest::makeSprite(QDir(dir->path()), QStringLiteral("ship.png"), 200, 160);
}

void TestEditorLifetime::init()
{
    TestSupport::clearSettings();
    document = std::make_unique<ElementListModel>();
    document->setExporter(exporter.get());
    first = document->addFile(spritePath);
    second = document->addFile(spritePath);
    second->setAnchorPointAbsDirect(QPointF(150, 150));
    first->setAnchorPointAbsDirect(QPointF(150, 150));
    document->undoStack()->clear();
    editor = std::make_unique<ShapeEditor>();
    editor->exporterChanged(exporter.get());
    connect(document.get(), &ElementListModel::redisplayElement, editor.get(), &ShapeEditor::setElement);
    view = editor->findChild<GGraphicsView*>(QStringLiteral("graphicsView"));
    editor->resize(763, 520);
    editor->show();
    QVERIFY(QTest::qWaitForWindowExposed(editor.get()));
    editor->setElement(first);
    editor->zoom(2.0f);
}

void TestEditorLifetime::cleanup()
{
    editor.reset();
    document.reset();
}

FixturePolygon* TestEditorLifetime::addPolygon(const QVector<QPointF>& polygon)
{
    editor->scene()->addPolygon(polygon);
    QCoreApplication::processEvents();
    return qobject_cast<FixturePolygon*>(editor->element()->fixtures().last());
}

// The scene shows exactly the body's fixtures, and the editor listens only to
// a live handle of the current shape.
void TestEditorLifetime::checkConsistent() const
{
    LimbEditorScene* scene = editor->scene();
    QVERIFY(scene);
    const QList<Fixture*> fixtures = editor->element()->fixtures();
    QCOMPARE(scene->shapes().size(), fixtures.size());
    for (int i = 0; i < fixtures.size(); ++i) {
        QCOMPARE(scene->shapes().at(i)->fixture(), fixtures.at(i));
        QCOMPARE(scene->shapes().at(i)->graphicsItem()->scene(), scene);
    }
    if (scene->currentShape())
        QVERIFY(scene->shapes().contains(scene->currentShape()));
    if (ShapeHandle* handle = editor->selectedHandle()) {
        QVERIFY(scene->currentShape());
        QVERIFY(scene->currentShape()->handles().contains(handle));
        QCOMPARE(handle->listener(), editor.get());
        QVERIFY(handle->isSelected());
    }
    // Every handle in the scene but the selected one is silent.
    const QList<QGraphicsItem*> items = scene->items();
    for (QGraphicsItem* item : items) {
        if (item->type() == ShapeHandle::Type && item != editor->selectedHandle())
            QCOMPARE(static_cast<ShapeHandle*>(item)->listener(), nullptr);
    }
}

void TestEditorLifetime::undoWhileAHandleIsSelected()
{
    FixturePolygon* fixture = addPolygon({QPointF(20, 20), QPointF(60, 20), QPointF(40, 50)});
    document->undoStack()->clear();
    Mouse mouse(view);
    mouse.drag(QPointF(60, 20), QPointF(70, 10));
    QCOMPARE(fixture->polygon().at(1), QPointF(70, 10));
    QCOMPARE(editor->selectedHandle()->pos(), QPointF(70, 10));
    checkConsistent();

    // The editor listens to the selected handle while undo rebuilds every shape.
    document->undoStack()->undo();
    QCoreApplication::processEvents();
    checkConsistent();
    QVERIFY(editor->selectedHandle());
    QCOMPARE(editor->selectedHandle()->pos(), QPointF(60, 20));
    auto* x = editor->findChild<QLineEdit*>(QStringLiteral("vertexXLineEdit"));
    QCOMPARE(x->text(), QStringLiteral("60"));

    // The fields drive the new handle.
    x->setText(QString());
    QTest::keyClicks(x, QStringLiteral("33"));
    QCOMPARE(editor->selectedHandle()->pos(), QPointF(33, 20));
    QTest::keyClick(x, Qt::Key_Return);
    QCOMPARE(fixture->polygon().at(1), QPointF(33, 20));
    QCOMPARE(undoTexts(*document), QStringList{"move vertex"});
    checkConsistent();

    document->undoStack()->undo();
    document->undoStack()->redo();
    QCoreApplication::processEvents();
    checkConsistent();
}

void TestEditorLifetime::switchingBodiesReplacesTheScene()
{
    addPolygon({QPointF(20, 20), QPointF(60, 20), QPointF(40, 50)});
    Mouse mouse(view);
    mouse.click(QPointF(20, 20));
    QVERIFY(editor->selectedHandle());
    QPointer<LimbEditorScene> old = editor->scene();

    QSignalSpy scenes(editor.get(), &ShapeEditor::sceneChanged);
    editor->setElement(second);
    QCOMPARE(scenes.count(), 1);
    QCOMPARE(scenes.first().first().value<LimbEditorScene*>(), editor->scene());
    QVERIFY(old.isNull());
    QVERIFY(!editor->selectedHandle());
    QVERIFY(!editor->findChild<QLineEdit*>(QStringLiteral("vertexXLineEdit"))->isEnabled());
    QCOMPARE(view->scene(), editor->scene());

    // The same body again only rebuilds.
    QPointer<LimbEditorScene> kept = editor->scene();
    editor->setElement(second);
    QCOMPARE(scenes.count(), 1);
    QCOMPARE(editor->scene(), kept.data());

    // An undo for the other body shows that body again, as the body list does.
    document->undoStack()->undo();
    QCOMPARE(editor->element(), first);
    QVERIFY(first->fixtures().isEmpty());
    checkConsistent();
}

void TestEditorLifetime::addDeleteUndoAndSwitchInTurns()
{
    Mouse mouse(view);
    for (int round = 0; round < 6; ++round) {
        QTest::mouseClick(button("addPolygonButton"), Qt::LeftButton);
        checkConsistent();
        // Select a vertex of the new triangle (0,0), (40,40), (0,40) and keep it selected.
        mouse.click(QPointF(40, 40));
        QVERIFY(editor->selectedHandle());
        mouse.doubleClick(QPointF(30, 45));
        checkConsistent();
        QTest::mouseClick(button("flipHorizontally"), Qt::LeftButton);
        checkConsistent();
        QTest::mouseClick(button("addCircleButton"), Qt::LeftButton);
        checkConsistent();
        mouse.click(QPointF(20, 0));
        view->setFocus();
        QTest::keyClick(view, Qt::Key_Delete);
        checkConsistent();
        document->undoStack()->undo();
        checkConsistent();
        document->undoStack()->undo();
        checkConsistent();
        document->undoStack()->redo();
        QCoreApplication::processEvents();
        checkConsistent();
        editor->setElement(round % 2 ? first : second);
        checkConsistent();
    }
    // Every step is still there and undoes cleanly down to empty bodies.
    while (document->undoStack()->canUndo()) {
        document->undoStack()->undo();
        QCoreApplication::processEvents();
        checkConsistent();
    }
    QVERIFY(first->fixtures().isEmpty());
    QVERIFY(second->fixtures().isEmpty());
}

void TestEditorLifetime::deletedDocumentTakesTheSceneAlong()
{
    addPolygon({QPointF(20, 20), QPointF(60, 20), QPointF(40, 50)});
    Mouse mouse(view);
    mouse.click(QPointF(60, 20));
    QVERIFY(editor->selectedHandle());
    document.reset();
    QVERIFY(!editor->scene());
    QVERIFY(!editor->element());
    QVERIFY(!editor->selectedHandle());
    QVERIFY(!view->scene());
    QVERIFY(!button("addPolygonButton")->isEnabled());
}

void TestEditorLifetime::editorGoesWithAHandleSelected()
{
    addPolygon({QPointF(20, 20), QPointF(60, 20), QPointF(40, 50)});
    Mouse mouse(view);
    mouse.click(QPointF(60, 20));
    QVERIFY(editor->selectedHandle());
    editor.reset();
    // The body outlives the editor and can still be edited.
    auto* fixture = qobject_cast<FixturePolygon*>(first->fixtures().first());
    fixture->setPolygon(QStringLiteral("move vertex"), QVector<QPointF>{QPointF(1, 1), QPointF(9, 1), QPointF(5, 7)});
    document->undoStack()->undo();
    QCOMPARE(fixture->polygon().size(), 3);
}

void TestEditorLifetime::redrawsWaitForTheEventLoop()
{
    addPolygon({QPointF(20, 20), QPointF(60, 20), QPointF(40, 50)});
    auto* shape = qobject_cast<ShapePolygon*>(editor->scene()->currentShape());
    auto* item = static_cast<QGraphicsPolygonItem*>(shape->graphicsItem());
    QSignalSpy scheduled(shape, &Shape::signalScheduleUpdateShape);
    shape->handles().at(0)->setPos(10, 10);
    shape->handles().at(1)->setPos(70, 10);
    QCOMPARE(scheduled.count(), 2);
    // Nothing is redrawn inside the event that moved the handles ...
    QCOMPARE(item->polygon().first(), QPointF(20, 20));
    QCoreApplication::processEvents();
    // ... and everything once control is back in the event loop.
    QCOMPARE(item->polygon(), (QPolygonF(QVector<QPointF>{QPointF(10, 10), QPointF(70, 10), QPointF(40, 50)})));
}

void TestEditorLifetime::vertexDeletedFromItsMenuAfterTheEvent()
{
    const QPolygonF quad(QVector<QPointF>{QPointF(20, 20), QPointF(60, 20), QPointF(60, 60), QPointF(20, 60)});
    FixturePolygon* fixture = addPolygon(quad);
    document->undoStack()->clear();
    const QPoint local = view->mapFromScene(QPointF(60, 60));
    QCOMPARE(EditorTest::chooseFromContextMenu(view, local, QStringLiteral("&Delete vertex")), QStringLiteral("&Delete vertex"));
    // Not inside the handle's own event handler: the removal runs afterwards.
    QCOMPARE(fixture->polygon(), quad);
    QTRY_COMPARE(fixture->polygon(), (QPolygonF(QVector<QPointF>{QPointF(20, 20), QPointF(60, 20), QPointF(20, 60)})));
    QCOMPARE(undoTexts(*document), QStringList{"delete vertex"});
    checkConsistent();
}

int main(int argc, char** argv)
{
    TestSupport::isolateSettings();
    QApplication app(argc, argv);
    app.setOrganizationName(QStringLiteral("hullwright.org"));
    app.setApplicationName(QStringLiteral("tst_editorlifetime"));
    TestEditorLifetime test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_editorlifetime.moc"
