#include "element.h"
#include "elementlistmodel.h"
#include "fixturecircle.h"
#include "fixturepolygon.h"
#include "imagecache.h"
#include "modeltestsupport.h"
#include "testsupport.h"

#include <QAction>
#include <QApplication>
#include <QMimeData>
#include <QPointer>
#include <QTemporaryDir>
#include <QUndoStack>
#include <QUrl>
#include <QtTest>

class TestModel : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void splitName_data();
    void splitName();
    void uniqueNamesWhenAddingAndCloning();
    void cloneCopiesValuesAndFixtures();
    void cloneOfInvalidIndexFails();

    void valuesFallBackToTheExporterDefaults();
    void valuesWithoutExporterAreInvalid();
    void settingAValuePushesOnlyRealChanges();
    void undoOfAValueChangeStoresTheOldValueExplicitly();
    void undoActionsNameTheCommand();

    void bodyItemRolesAndFlags();
    void renamingInTheListIsUndoable();
    void imagesOfABody();
    void anImageIsDecodedOnceForAllItsBodies();
    void missingImageShowsInRed();
    void droppingFiles();

    void addAndDeleteBodiesUndoToTheEnd();
    void fixtureListChangesUndo();
    void polygonAndCircleChangesUndo();
    void anchorPointMovesUndo();
    void displayPointsFollowTheExporterYAxis();
    void exporterReachesBodiesAndFixtures();

    void commandsFreeWhatOnlyTheyHold();

private:
    ElementListModel* doc = nullptr;
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<Exporter> upExporter;
    std::unique_ptr<Exporter> downExporter;
    QString shipPng;
};

void TestModel::initTestCase()
{
    qRegisterMetaType<Element*>();
    dir = std::make_unique<QTemporaryDir>();
    QDir d(dir->path());
    upExporter = ModelTest::makeExporter(d, QStringLiteral("up"), QStringLiteral("UP"));
    downExporter = ModelTest::makeExporter(d, QStringLiteral("down"), QStringLiteral("down"), QStringLiteral("chipmunk"));
    shipPng = ModelTest::makeImage(d, QStringLiteral("art/ship.png"), 40, 20);
}

void TestModel::init()
{
    doc = new ElementListModel;
    doc->setExporter(upExporter.get());
}

void TestModel::cleanup()
{
    delete doc;
    doc = nullptr;
}

void TestModel::splitName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("base");
    QTest::addColumn<int>("number");
    QTest::newRow("plain") << "ship" << "ship" << 1;
    QTest::newRow("numbered") << "ship (2)" << "ship" << 2;
    QTest::newRow("big") << "ship (123)" << "ship" << 123;
    QTest::newRow("not a number") << "tank (x)" << "tank (x)" << 1;
    QTest::newRow("no blank") << "ship(2)" << "ship(2)" << 1;
    QTest::newRow("trailing text") << "ship (2) b" << "ship (2) b" << 1;
    QTest::newRow("nested") << "a (2) (3)" << "a (2)" << 3;
    QTest::newRow("too large") << "a (99999999999)" << "a (99999999999)" << 1;
}

void TestModel::splitName()
{
    QFETCH(QString, name);
    QFETCH(QString, base);
    QFETCH(int, number);
    const QPair<QString, int> split = ElementListModel::splitName(name);
    QCOMPARE(split.first, base);
    QCOMPARE(split.second, number);
}

void TestModel::uniqueNamesWhenAddingAndCloning()
{
    Element* first = doc->addFile(shipPng);
    QCOMPARE(first->name(), QStringLiteral("ship"));
    Element* second = doc->addFile(shipPng);
    QCOMPARE(second->name(), QStringLiteral("ship (2)"));
    QVERIFY(doc->cloneElement(doc->indexFromItem(second)));
    QCOMPARE(doc->element(2)->name(), QStringLiteral("ship (3)"));
    QCOMPARE(doc->undoStack()->text(doc->undoStack()->count() - 1), QStringLiteral("clone body"));

    first->setName(QStringLiteral("tank (x)"));
    QVERIFY(doc->cloneElement(doc->indexFromItem(first)));
    QCOMPARE(doc->element(3)->name(), QStringLiteral("tank (x) (2)"));
    QCOMPARE(doc->uniqueName(QStringLiteral("  ship  ")), QStringLiteral("ship (4)"));
    QCOMPARE(doc->uniqueName(QStringLiteral("boat")), QStringLiteral("boat"));
    QCOMPARE(doc->uniqueName(QStringLiteral("boat (7)")), QStringLiteral("boat (7)"));
}

void TestModel::cloneCopiesValuesAndFixtures()
{
    Element* body = doc->addFile(shipPng);
    body->setValue(QStringLiteral("isDynamic"), false);
    body->setAnchorPointAbsDirect(QPointF(3.5, 4.25));
    auto* polygon = new FixturePolygon(body);
    polygon->setPolygonDirect(QPolygonF({{0, 0}, {10, 0}, {5, 8}}));
    polygon->setValueDirect(QStringLiteral("density"), 7.5);
    body->addFixture(polygon);
    auto* circle = new FixtureCircle(body);
    circle->setCircleDirect(QPointF(1, 2), 3);
    body->addFixture(circle);

    QVERIFY(doc->cloneElement(doc->indexFromItem(body)));
    Element* copy = doc->element(1);
    QVERIFY(copy != body);
    QCOMPARE(copy->name(), QStringLiteral("ship (2)"));
    QCOMPARE(copy->value(QStringLiteral("isDynamic")), QVariant(false));
    QCOMPARE(copy->anchorPointAbs(), QPointF(3.5, 4.25));
    QCOMPARE(copy->imageFileNames(), QStringList{shipPng});
    QVERIFY(copy->isImageValid());
    QCOMPARE(copy->fixtures().size(), 2);
    auto* copiedPolygon = qobject_cast<FixturePolygon*>(copy->fixtures().at(0));
    QVERIFY(copiedPolygon && copiedPolygon != polygon);
    QCOMPARE(copiedPolygon->polygon(), polygon->polygon());
    QCOMPARE(copiedPolygon->value(QStringLiteral("density")), QVariant(7.5));
    QCOMPARE(copiedPolygon->body(), copy);
    auto* copiedCircle = qobject_cast<FixtureCircle*>(copy->fixtures().at(1));
    QVERIFY(copiedCircle);
    QCOMPARE(copiedCircle->center(), QPointF(1, 2));
    QCOMPARE(copiedCircle->radius(), 3.0);
}

void TestModel::cloneOfInvalidIndexFails()
{
    QVERIFY(!doc->cloneElement(QModelIndex()));
    auto* plain = new QStandardItem(QStringLiteral("not a body"));
    doc->appendRow(plain);
    QVERIFY(!doc->cloneElement(doc->indexFromItem(plain)));
    QCOMPARE(doc->undoStack()->count(), 0);
}

void TestModel::valuesFallBackToTheExporterDefaults()
{
    Element* body = doc->addFile(shipPng);
    auto* fixture = new FixturePolygon(body);
    body->addFixture(fixture);
    QCOMPARE(doc->value(QStringLiteral("ptm")), QVariant(32.0f));
    QCOMPARE(body->value(QStringLiteral("isDynamic")), QVariant(true));
    QCOMPARE(fixture->value(QStringLiteral("density")), QVariant(2.0f));
    QVERIFY(!fixture->value(QStringLiteral("isDynamic")).isValid());
    QVERIFY(!fixture->hasValue(QStringLiteral("density")));
    QCOMPARE(fixture->value(QStringLiteral("type")), QVariant(QStringLiteral("POLYGON")));

    fixture->setValueDirect(QStringLiteral("density"), 5.0f);
    doc->setExporter(downExporter.get());
    QCOMPARE(fixture->value(QStringLiteral("density")), QVariant(5.0f));
}

void TestModel::valuesWithoutExporterAreInvalid()
{
    ElementListModel bare;
    Element* body = bare.addFile(shipPng);
    auto* fixture = new FixtureCircle(body);
    body->addFixture(fixture);
    QVERIFY(!bare.value(QStringLiteral("ptm")).isValid());
    QVERIFY(!body->value(QStringLiteral("isDynamic")).isValid());
    QVERIFY(!fixture->value(QStringLiteral("density")).isValid());
    QCOMPARE(body->toDisplayPoint(QPointF(1, 2)), QPointF(1, 2));
    QVERIFY(bare.exporterName().isEmpty());
    QVERIFY(bare.sharedStringList(QStringLiteral("filter_bitfield")).isEmpty());
    fixture->setValue(QStringLiteral("density"), 1.0);
    QCOMPARE(fixture->value(QStringLiteral("density")), QVariant(1.0));
}

void TestModel::settingAValuePushesOnlyRealChanges()
{
    Element* body = doc->addFile(shipPng);
    QUndoStack* stack = doc->undoStack();
    doc->setModified(false);
    const int before = stack->count();

    // Equal to the default but not stored: a change.
    body->setValue(QStringLiteral("isDynamic"), true);
    QCOMPARE(stack->count(), before + 1);
    QVERIFY(doc->isModified());
    // Equal to the stored value: nothing.
    body->setValue(QStringLiteral("isDynamic"), true);
    QCOMPARE(stack->count(), before + 1);
    body->setValue(QStringLiteral("isDynamic"), false);
    body->setValue(QStringLiteral("isDynamic"), true);
    QCOMPARE(stack->count(), before + 3);
    QCOMPARE(stack->text(before), QStringLiteral("value change (isDynamic)"));

    QSignalSpy global(doc, &ElementListModel::globalValueChanged);
    doc->setValue(QStringLiteral("ptm"), 64.0f);
    QCOMPARE(global.count(), 1);
    doc->setUndoEnabled(false);
    doc->setValue(QStringLiteral("ptm"), 16.0f);
    QCOMPARE(doc->value(QStringLiteral("ptm")), QVariant(16.0f));
    QCOMPARE(stack->count(), before + 4);
    QCOMPARE(global.count(), 1);
}

void TestModel::undoOfAValueChangeStoresTheOldValueExplicitly()
{
    Element* body = doc->addFile(shipPng);
    auto* fixture = new FixturePolygon(body);
    body->addFixture(fixture);
    QSignalSpy redisplay(doc, &ElementListModel::redisplayElement);
    fixture->setValue(QStringLiteral("density"), 9.0f);
    QCOMPARE(redisplay.count(), 1);
    QCOMPARE(redisplay.first().first().value<Element*>(), body);
    doc->undoStack()->undo();
    QVERIFY(fixture->hasValue(QStringLiteral("density")));
    QCOMPARE(fixture->value(QStringLiteral("density")), QVariant(2.0f));
    // The stored default no longer follows the exporter.
    doc->setExporter(downExporter.get());
    QCOMPARE(fixture->value(QStringLiteral("density")), QVariant(2.0f));
    doc->undoStack()->redo();
    QCOMPARE(fixture->value(QStringLiteral("density")), QVariant(9.0f));
}

void TestModel::undoActionsNameTheCommand()
{
    QObject owner;
    QAction* undo = doc->createUndoAction(&owner);
    QAction* redo = doc->createRedoAction(&owner);
    QCOMPARE(undo->parent(), &owner);
    QCOMPARE(undo->shortcut(), QKeySequence(QKeySequence::Undo));
    QCOMPARE(redo->shortcut(), QKeySequence(QKeySequence::Redo));
    QVERIFY(!undo->isEnabled());
    doc->setValue(QStringLiteral("density"), 1.0);
    QVERIFY(undo->isEnabled());
    QCOMPARE(undo->text(), QStringLiteral("Undo value change (density)"));
    undo->trigger();
    QCOMPARE(redo->text(), QStringLiteral("Redo value change (density)"));
}

void TestModel::bodyItemRolesAndFlags()
{
    QCOMPARE(doc->columnCount(), 1);
    QCOMPARE(doc->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Bodies"));
    Element* body = doc->addFile(shipPng);
    QCOMPARE(body->type(), QStandardItem::UserType + 1);
    const QModelIndex index = doc->index(0, 0);
    QCOMPARE(index.data(Qt::DisplayRole).toString(), QStringLiteral("ship"));
    QCOMPARE(index.data(Qt::EditRole).toString(), QStringLiteral("ship"));
    QCOMPARE(index.data(Qt::ForegroundRole).value<QColor>(), QColor(0, 0, 0, 255));
    const QPixmap icon = index.data(Qt::DecorationRole).value<QPixmap>();
    QCOMPARE(icon.size(), QSize(32, 32));
    QVERIFY(!index.data(Qt::ToolTipRole).isValid());
    QVERIFY(!index.data(Qt::UserRole).isValid());
    QCOMPARE(int(doc->flags(index)), 35);
    QCOMPARE(int(doc->flags(QModelIndex())), 8);
    QCOMPARE(int(doc->supportedDropActions()), 7);
    QCOMPARE(doc->mimeTypes(), QStringList{QStringLiteral("text/uri-list")});
}

void TestModel::renamingInTheListIsUndoable()
{
    doc->addFile(shipPng);
    const QModelIndex index = doc->index(0, 0);
    QVERIFY(doc->setData(index, QStringLiteral("hero"), Qt::EditRole));
    QCOMPARE(index.data().toString(), QStringLiteral("hero"));
    QCOMPARE(doc->undoStack()->undoText(), QStringLiteral("value change (name)"));
    doc->setData(index, QStringLiteral("ignored"), Qt::ToolTipRole);
    QCOMPARE(index.data().toString(), QStringLiteral("hero"));
    doc->undoStack()->undo();
    QCOMPARE(index.data().toString(), QStringLiteral("ship"));
}

void TestModel::imagesOfABody()
{
    QDir d(dir->path());
    const QString frameB = ModelTest::makeImage(d, QStringLiteral("frames/b.png"), 8, 6);
    const QString frameA = ModelTest::makeImage(d, QStringLiteral("frames/a.png"), 4, 2);
    Element* body = doc->addFile(frameB);
    QCOMPARE(body->size(), QSize(8, 6));
    QSignalSpy pixmapChanged(body, &Element::pixmapChanged);
    const int commands = doc->undoStack()->count();

    body->addImageFileName(frameB);
    QCOMPARE(doc->undoStack()->count(), commands);
    QCOMPARE(pixmapChanged.count(), 0);

    body->addImageFileName(frameA);
    QCOMPARE(body->imageFileNames(), (QStringList{frameA, frameB}));
    QCOMPARE(body->size(), QSize(4, 2));
    QCOMPARE(pixmapChanged.count(), 1);
    QCOMPARE(doc->undoStack()->count(), commands + 1);

    body->showImage(99);
    QCOMPARE(body->size(), QSize(8, 6));
    body->showImage(-5);
    QCOMPARE(body->size(), QSize(4, 2));
    QVERIFY(!body->hasValue(QStringLiteral("currentImageName")));

    body->setCurrentImage(frameB);
    QCOMPARE(body->currentImageName(), frameB);
    QCOMPARE(body->size(), QSize(8, 6));

    // Showing another frame and then the current one again brings its picture back.
    body->showImage(0);
    QCOMPARE(body->pixmap().size(), QSize(4, 2));
    body->showImage(1);
    QCOMPARE(body->pixmap().size(), QSize(8, 6));
    body->showImage(0);
    body->setCurrentImage(frameB);
    QCOMPARE(body->pixmap().size(), QSize(8, 6));

    body->removeImageFileName(QStringLiteral("/not/there.png"));
    QCOMPARE(body->imageFileNames().size(), 2);
    body->removeImageFileName(frameB);
    QCOMPARE(body->imageFileNames(), QStringList{frameA});
    QCOMPARE(body->size(), QSize(4, 2));
}

void TestModel::anImageIsDecodedOnceForAllItsBodies()
{
    const QString image = ModelTest::makeImage(QDir(dir->path()), QStringLiteral("shared.png"), 9, 9);
    const int before = ImageCache::decodeCount();
    for (int i = 0; i < 5; ++i)
        QCOMPARE(doc->addFile(image)->size(), QSize(9, 9));
    QCOMPARE(ImageCache::decodeCount(), before + 1);
    // A changed file is read again.
    QTest::qWait(20);
    ModelTest::makeImage(QDir(dir->path()), QStringLiteral("shared.png"), 7, 3);
    QFile(image).setFileTime(QDateTime::currentDateTime().addSecs(5), QFileDevice::FileModificationTime);
    QCOMPARE(doc->addFile(image)->size(), QSize(7, 3));
    QCOMPARE(ImageCache::decodeCount(), before + 2);
}

void TestModel::missingImageShowsInRed()
{
    Element* body = doc->addFile(QDir(dir->path()).filePath(QStringLiteral("gone.png")));
    QVERIFY(!body->isImageValid());
    QCOMPARE(body->name(), QStringLiteral("gone"));
    QCOMPARE(body->data(Qt::ForegroundRole).value<QColor>(), QColor(255, 0, 0, 255));
    QVERIFY(!body->icon().isNull());
    QVERIFY(body->pixmap().isNull());
    // A directory is not an image either, nor is a device.
    Element* folder = doc->addFile(dir->path());
    QVERIFY(!folder->isImageValid());
    Element* device = doc->addFile(QStringLiteral("/dev/zero"));
    QVERIFY(!device->isImageValid());
}

void TestModel::droppingFiles()
{
    QList<QUrl> urls;
    for (int i = 0; i < 40; ++i)
        urls << QUrl::fromLocalFile(QStringLiteral("/sprites/s%1.png").arg(i));
    QMimeData data;
    data.setUrls(urls);
    QVERIFY(doc->dropMimeData(&data, Qt::IgnoreAction, -1, 0, QModelIndex()));
    QCOMPARE(doc->rowCount(), 0);
    QVERIFY(!doc->dropMimeData(&data, Qt::CopyAction, -1, 1, QModelIndex()));
    QMimeData text;
    text.setText(QStringLiteral("/sprites/a.png"));
    QVERIFY(!doc->dropMimeData(&text, Qt::CopyAction, -1, 0, QModelIndex()));
    QCOMPARE(doc->rowCount(), 0);

    QVERIFY(doc->dropMimeData(&data, Qt::CopyAction, -1, 0, QModelIndex()));
    QCOMPARE(doc->rowCount(), 32);
    QCOMPARE(doc->element(0)->name(), QStringLiteral("s0"));
    QCOMPARE(doc->element(31)->name(), QStringLiteral("s31"));
    QCOMPARE(doc->undoStack()->text(0), QStringLiteral("Add file"));

    QMimeData remote;
    remote.setUrls({QUrl(QStringLiteral("https://example.org/a.png")), QUrl::fromLocalFile(shipPng)});
    QVERIFY(doc->dropMimeData(&remote, Qt::MoveAction, -1, -1, QModelIndex()));
    QCOMPARE(doc->rowCount(), 33);
}

void TestModel::addAndDeleteBodiesUndoToTheEnd()
{
    Element* a = doc->addFile(shipPng);
    Element* b = doc->addFile(shipPng);
    Element* c = doc->addFile(shipPng);
    QSignalSpy redisplay(doc, &ElementListModel::redisplayElement);
    doc->deleteElement(a);
    QCOMPARE(doc->elements(), (QList<Element*>{b, c}));
    QCOMPARE(doc->undoStack()->undoText(), QStringLiteral("delete body"));
    doc->undoStack()->undo();
    QCOMPARE(doc->elements(), (QList<Element*>{b, c, a}));
    QCOMPARE(redisplay.count(), 1);
    doc->undoStack()->redo();
    QCOMPARE(doc->elements(), (QList<Element*>{b, c}));

    // Undo the delete, then undo adding c and redo it: c comes back last.
    doc->undoStack()->undo();
    doc->undoStack()->undo();
    QCOMPARE(doc->elements(), (QList<Element*>{b, a}));
    doc->undoStack()->redo();
    QCOMPARE(doc->elements(), (QList<Element*>{b, a, c}));
    QCOMPARE(a->name(), QStringLiteral("ship"));
}

void TestModel::fixtureListChangesUndo()
{
    Element* body = doc->addFile(shipPng);
    auto* first = new FixturePolygon(body);
    auto* second = new FixtureCircle(body);
    body->addFixture(first);
    body->addFixture(second);
    const int commands = doc->undoStack()->count();
    body->addFixture(first);
    QCOMPARE(doc->undoStack()->count(), commands);
    QCOMPARE(doc->undoStack()->undoText(), QStringLiteral("add fixture"));

    body->deleteFixture(first);
    QCOMPARE(body->fixtures(), QList<Fixture*>{second});
    QCOMPARE(doc->undoStack()->undoText(), QStringLiteral("delete fixture"));
    doc->undoStack()->undo();
    QCOMPARE(body->fixtures(), (QList<Fixture*>{first, second}));
    doc->undoStack()->undo();
    QCOMPARE(body->fixtures(), QList<Fixture*>{first});
    doc->undoStack()->redo();
    doc->undoStack()->redo();
    QCOMPARE(body->fixtures(), QList<Fixture*>{second});
}

void TestModel::polygonAndCircleChangesUndo()
{
    Element* body = doc->addFile(shipPng);
    auto* polygon = new FixturePolygon(body);
    body->addFixture(polygon);
    const QPolygonF shape({{0.5, 0.25}, {10, 0}, {10.125, 7.75}, {0, 8}});
    polygon->setPolygon(QStringLiteral("move vertex"), shape);
    QCOMPARE(doc->undoStack()->undoText(), QStringLiteral("move vertex"));
    const int commands = doc->undoStack()->count();
    // Differences below Qt's fuzzy point comparison are no change.
    QPolygonF almost = shape;
    almost[0] += QPointF(1e-14, 0);
    polygon->setPolygon(QStringLiteral("move shape"), almost);
    QCOMPARE(doc->undoStack()->count(), commands);
    polygon->setPolygon(QStringLiteral("add vertex"), QPolygonF({{1, 1}, {2, 2}, {3, 1}}));
    doc->undoStack()->undo();
    QCOMPARE(polygon->polygon().size(), 4);
    for (int i = 0; i < shape.size(); ++i) {
        QCOMPARE(polygon->polygon().at(i).x(), shape.at(i).x());
        QCOMPARE(polygon->polygon().at(i).y(), shape.at(i).y());
    }
    doc->undoStack()->undo();
    QVERIFY(polygon->polygon().isEmpty());

    auto* circle = new FixtureCircle(body);
    body->addFixture(circle);
    QCOMPARE(circle->center(), QPointF(0, 0));
    QCOMPARE(circle->radius(), 1.0);
    const int before = doc->undoStack()->count();
    circle->setCircle(QStringLiteral("resize circle"), QPointF(0, 0), 1.0);
    QCOMPARE(doc->undoStack()->count(), before);
    circle->setCircle(QStringLiteral("resize circle"), QPointF(0, 0), 2.5);
    QCOMPARE(doc->undoStack()->undoText(), QStringLiteral("resize circle"));
    circle->setCircle(QStringLiteral("move shape"), QPointF(4, 5), 2.5);
    doc->undoStack()->undo();
    QCOMPARE(circle->center(), QPointF(0, 0));
    QCOMPARE(circle->radius(), 2.5);
    doc->undoStack()->undo();
    QCOMPARE(circle->radius(), 1.0);
    QCOMPARE(circle->lookup(QStringLiteral("radius")), QVariant(1.0));
    QCOMPARE(circle->lookup(QStringLiteral("type")), QVariant(QStringLiteral("CIRCLE")));
    QCOMPARE(circle->lookup(QStringLiteral("isCircle")), QVariant(true));
    QCOMPARE(polygon->lookup(QStringLiteral("isCircle")), QVariant(false));
    QCOMPARE(polygon->lookup(QStringLiteral("density")), QVariant(2.0f));
}

void TestModel::anchorPointMovesUndo()
{
    Element* body = doc->addFile(shipPng);
    QSignalSpy moved(body, &Element::anchorPointChanged);
    body->moveAnchorPoint(QPointF(0, 0), QPointF(10, 5));
    QCOMPARE(doc->undoStack()->undoText(), QStringLiteral("move anchorpoint"));
    QCOMPARE(body->anchorPointAbs(), QPointF(10, 5));
    QCOMPARE(body->anchorPointRel(), QPointF(0.25, 0.25));
    QCOMPARE(body->anchorPointFromRel(QPointF(0.5, 1)), QPointF(20, 20));
    doc->undoStack()->undo();
    QCOMPARE(body->anchorPointAbs(), QPointF(0, 0));
    QCOMPARE(moved.count(), 2);
    body->setAnchorPointAbsDirect(QPointF(1, 1));
    QCOMPARE(moved.count(), 3);
    QCOMPARE(doc->undoStack()->undoText(), QStringLiteral("Add file"));
}

void TestModel::displayPointsFollowTheExporterYAxis()
{
    Element* body = doc->addFile(shipPng);
    QCOMPARE(body->toDisplayPoint(QPointF(3, 4)), QPointF(3, 4));
    doc->setExporter(downExporter.get());
    QCOMPARE(body->toDisplayPoint(QPointF(3, 4)), QPointF(3, 16));
    QCOMPARE(body->toDisplayPoint(body->toDisplayPoint(QPointF(3, 4))), QPointF(3, 4));
}

void TestModel::exporterReachesBodiesAndFixtures()
{
    Element* body = doc->addFile(shipPng);
    auto* fixture = new FixturePolygon(body);
    QCOMPARE(fixture->exporter(), upExporter.get());
    body->addFixture(fixture);
    doc->setExporter(downExporter.get());
    QCOMPARE(doc->exporter(), downExporter.get());
    QCOMPARE(body->exporter(), downExporter.get());
    QCOMPARE(fixture->exporter(), downExporter.get());
    QCOMPARE(doc->exporterName(), QStringLiteral("down"));
    QCOMPARE(doc->exporterDisplayName(), QStringLiteral("down display"));
    QCOMPARE(body->value(QStringLiteral("size")).toSize(), QSize(40, 20));
}

void TestModel::commandsFreeWhatOnlyTheyHold()
{
    // Undone additions are freed when a new command replaces them on the stack.
    QPointer<Element> added = doc->addFile(shipPng);
    QPointer<Fixture> fixture = new FixturePolygon(added);
    added->addFixture(fixture);
    doc->undoStack()->undo();
    QVERIFY(!fixture.isNull());
    doc->setValue(QStringLiteral("ptm"), 1.0f);
    QVERIFY(fixture.isNull());
    QVERIFY(!added.isNull());
    doc->undoStack()->undo();
    doc->undoStack()->undo();
    QCOMPARE(doc->rowCount(), 0);
    QVERIFY(!added.isNull());
    doc->setValue(QStringLiteral("ptm"), 2.0f);
    QVERIFY(added.isNull());

    // Deleted bodies and fixtures held by done commands go with the document.
    QPointer<Element> deleted = doc->addFile(shipPng);
    QPointer<Element> kept = doc->addFile(shipPng);
    QPointer<Fixture> removed = new FixtureCircle(kept);
    kept->addFixture(removed);
    kept->deleteFixture(removed);
    doc->deleteElement(deleted);
    QVERIFY(!deleted.isNull());
    QVERIFY(!removed.isNull());
    delete doc;
    doc = nullptr;
    QVERIFY(deleted.isNull());
    QVERIFY(kept.isNull());
    QVERIFY(removed.isNull());
}

int main(int argc, char** argv)
{
    TestSupport::isolateSettings();
    QApplication app(argc, argv);
    TestModel test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_model.moc"
