#include "imagecache.h"
#include "modeltestsupport.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QMimeData>
#include <QPointer>
#include <QTemporaryDir>
#include <QUndoStack>
#include <QtTest>

// What an edit of the undo table works on.
struct Scene { ElementListModel* doc; Element* body; FixturePolygon* polygon; FixtureCircle* circle; QString image; };
using Edit = std::function<void(const Scene&)>;
Q_DECLARE_METATYPE(Edit)

class TestModel : public QObject
{
    Q_OBJECT

    ElementListModel* doc = nullptr;
    std::unique_ptr<QAbstractItemModelTester> tester;
    QTemporaryDir dir;
    Exporter upExporter{ModelTest::writeExporter(dir.path(), "up", "up", "UP")};
    Exporter downExporter{ModelTest::writeExporter(dir.path(), "down", "down", "down", "chipmunk")};
    QString shipPng = ModelTest::makeImage(dir.path(), "art/ship.png", 40, 20);

private slots:
    void init()
    {
        qRegisterMetaType<Element*>();
        doc = new ElementListModel;
        doc->setExporter(&upExporter);
        using Mode = QAbstractItemModelTester::FailureReportingMode;
        tester = std::make_unique<QAbstractItemModelTester>(doc, Mode::QtTest);
    }

    void cleanup()
    {
        tester.reset();
        delete doc;
    }

    void splitName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("base");
        QTest::addColumn<int>("number");
        QTest::newRow("plain") << "ship" << "ship" << 1;
        QTest::newRow("numbered") << "ship (123)" << "ship" << 123;
        QTest::newRow("not a number") << "tank (x)" << "tank (x)" << 1;
        QTest::newRow("no blank") << "ship(2)" << "ship(2)" << 1;
        QTest::newRow("trailing text") << "ship (2) b" << "ship (2) b" << 1;
        QTest::newRow("nested") << "a (2) (3)" << "a (2)" << 3;
        QTest::newRow("too large") << "a (99999999999)" << "a (99999999999)" << 1;
        QTest::newRow("no room to count on") << "a (2147483647)" << "a (2147483647)" << 1;
    }

    void splitName()
    {
        QFETCH(QString, name);
        QFETCH(QString, base);
        QFETCH(int, number);
        QCOMPARE(ElementListModel::splitName(name), qMakePair(base, number));
    }

    void namesAndClones()
    {
        // A clone is a deep copy under the next free name.
        Element* first = doc->addFile(shipPng);
        first->setName("tank (x)");
        first->setAnchorPointAbsDirect(QPointF(3.5, 4.25));
        first->setCurrentImage(shipPng);
        auto* polygon = new FixturePolygon(first);
        polygon->setPolygonDirect(QPolygonF({{0, 0}, {10, 0}, {5, 8}}));
        first->addFixture(polygon);
        first->addFixture(new FixtureCircle(first));
        const QString before = ModelTest::describe(*doc);
        QVERIFY(doc->cloneElement(doc->index(0, 0)) && !doc->cloneElement(QModelIndex()));
        QCOMPARE(ModelTest::describe(*doc), before + '\n' + before.section('\n', 1).replace("(x)", "(x) (2)"));
        QCOMPARE(doc->element(1)->fixtures().first()->body(), doc->element(1));

        doc->deleteElement(first);
        QCOMPARE(doc->addFile(shipPng)->name(), QStringLiteral("ship"));
        QCOMPARE(doc->addFile(shipPng)->name(), QStringLiteral("ship (2)"));
        QCOMPARE(doc->uniqueName("  ship  "), QStringLiteral("ship (3)"));
    }

    void valuesAndExporters()
    {
        Element* body = doc->addFile(shipPng);
        auto* fixture = new FixturePolygon(body);
        body->addFixture(fixture);
        QCOMPARE(doc->value("ptm"), QVariant(32.0f));
        QCOMPARE(body->value("isDynamic"), QVariant(true));
        QCOMPARE(fixture->value("density"), QVariant(2.0f));
        // Equal to the default but not stored is a change; equal to the stored value is none.
        const int commands = doc->undoStack()->count();
        QSignalSpy redisplay(doc, &ElementListModel::redisplayElement);
        fixture->setValue("density", 2.0f);
        fixture->setValue("density", 2.0f);
        QCOMPARE(doc->undoStack()->count(), commands + 1);
        QCOMPARE(redisplay.count(), 1);
        QCOMPARE(redisplay.first().first().value<Element*>(), body);
        // The named bits live in the document, whoever sets them.
        fixture->setSharedStringList("filter_bitfield", {"wall", "floor"});
        QCOMPARE(doc->sharedStringList("filter_bitfield"), (QStringList{"wall", "floor"}));
        QSignalSpy global(doc, &ElementListModel::globalValueChanged);
        doc->setValue("ptm", 64.0f);
        QCOMPARE(global.count(), 1);

        QCOMPARE(body->toDisplayPoint(QPointF(3, 4)), QPointF(3, 4));
        doc->setExporter(&downExporter);
        QVERIFY(body->exporter() == &downExporter && fixture->exporter() == &downExporter);
        // A y axis pointing down flips within the image; the flip is its own inverse.
        QCOMPARE(body->toDisplayPoint(body->toDisplayPoint(QPointF(3, 4))), QPointF(3, 4));
        QCOMPARE(body->toDisplayPoint(QPointF(3, 4)), QPointF(3, 16));
    }

    void itemModel()
    {
        QCOMPARE(doc->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Bodies"));
        doc->addFile(shipPng);
        doc->addFile(dir.filePath("gone.png"));
        QCOMPARE(doc->index(0, 0).data().toString(), QStringLiteral("ship"));
        QCOMPARE(doc->index(0, 0).data(Qt::ForegroundRole).value<QColor>(), QColor(Qt::black));
        QCOMPARE(doc->index(1, 0).data(Qt::ForegroundRole).value<QColor>(), QColor(Qt::red));
        QCOMPARE(doc->flags(doc->index(0, 0)), Qt::ItemIsSelectable | Qt::ItemIsEditable | Qt::ItemIsEnabled);
        QCOMPARE(doc->flags(QModelIndex()), Qt::ItemFlags(Qt::ItemIsDropEnabled));
        QObject owner;
        QCOMPARE(doc->createRedoAction(&owner)->shortcut(), QKeySequence(QKeySequence::Redo));
        // A directory is not an image, nor is a device.
        QVERIFY(!doc->addFile(dir.path())->isImageValid() && !doc->addFile("/dev/zero")->isImageValid());

        // At most 32 files at once; only local files become bodies.
        QList<QUrl> urls{QUrl("https://example.org/a.png")};
        for (int i = 0; i < 40; ++i)
            urls << QUrl::fromLocalFile(QStringLiteral("/sprites/s%1.png").arg(i));
        QMimeData files;
        files.setUrls(urls);
        QMimeData text;
        text.setText("/sprites/a.png");
        QVERIFY(doc->dropMimeData(&files, Qt::IgnoreAction, -1, 0, QModelIndex()));
        QVERIFY(!doc->dropMimeData(&files, Qt::CopyAction, -1, 1, QModelIndex()));
        QVERIFY(!doc->dropMimeData(&text, Qt::CopyAction, -1, 0, QModelIndex()));
        QVERIFY(doc->dropMimeData(&files, Qt::CopyAction, -1, 0, QModelIndex()));
        QCOMPARE(doc->rowCount(), 4 + 31);
        QCOMPARE(doc->element(4 + 30)->name(), QStringLiteral("s30"));
    }

    void imagesOfABody()
    {
        const QString frameB = ModelTest::makeImage(dir.path(), "frames/b.png", 8, 6);
        const QString frameA = ModelTest::makeImage(dir.path(), "frames/a.png", 4, 2);
        Element* body = doc->addFile(frameB);
        QCOMPARE(doc->undoStack()->count(), 1);
        body->addImageFileName(frameA);
        QCOMPARE(body->imageFileNames(), (QStringList{frameA, frameB}));
        QCOMPARE(body->size(), QSize(4, 2));
        // Showing another frame and then the current one again brings its picture back.
        body->setCurrentImage(frameB);
        body->showImage(0);
        QCOMPARE(body->currentImageName(), frameB);
        body->setCurrentImage(frameB);
        QCOMPARE(body->pixmap().size(), QSize(8, 6));
        body->removeImageFileName(frameA);
        QCOMPARE(body->imageFileNames(), QStringList{frameB});

        // An image is decoded once for all its bodies, and again once the file changed.
        const QString shared = ModelTest::makeImage(dir.path(), "shared.png", 9, 9);
        const int decoded = ImageCache::decodeCount();
        QCOMPARE(doc->addFile(shared)->size(), doc->addFile(shared)->size());
        QCOMPARE(ImageCache::decodeCount(), decoded + 1);
        ModelTest::makeImage(dir.path(), "shared.png", 7, 3);
        QFile(shared).setFileTime(QDateTime::currentDateTime().addSecs(5), QFileDevice::FileModificationTime);
        QCOMPARE(doc->addFile(shared)->size(), QSize(7, 3));
    }

    void undoRedo_data()
    {
        QTest::addColumn<Edit>("edit");
        QTest::addColumn<QString>("text");  // the command's name; empty for an edit that changes nothing
        const auto row = [](const char* name, const QString& text, const Edit& edit) {
            QTest::newRow(name) << edit << text;
        };
        row("add file", "Add file", [](const Scene& s) { s.doc->addFile(s.image); });
        row("delete body", "delete body", [](const Scene& s) { s.doc->deleteElement(s.doc->element(1)); });
        row("clone body", "clone body", [](const Scene& s) { s.doc->cloneElement(s.doc->index(0, 0)); });
        row("rename", "value change (name)", [](const Scene& s) { s.doc->setData(s.doc->index(0, 0), "hero"); });
        row("document value", "value change (ptm)", [](const Scene& s) { s.doc->setValue("ptm", 64.0f); });
        row("body value", "value change (isDynamic)", [](const Scene& s) { s.body->setValue("isDynamic", false); });
        row("fixture value", "value change (density)", [](const Scene& s) { s.polygon->setValue("density", 9.0f); });
        row("add image", "value change (imageFileNames)", [](const Scene& s) { s.body->addImageFileName("a.png"); });
        row("add fixture", "add fixture", [](const Scene& s) { s.body->addFixture(new FixtureCircle(s.body)); });
        row("delete fixture", "delete fixture", [](const Scene& s) { s.body->deleteFixture(s.polygon); });
        row("polygon", "move vertex", [](const Scene& s) { s.polygon->setPolygon("move vertex", QRectF(0, 1, 7, 7)); });
        row("circle", "resize circle", [](const Scene& s) { s.circle->setCircle("resize circle", {4, 5}, 2.5); });
        row("anchor point", "move anchorpoint", [](const Scene& s) { s.body->moveAnchorPoint({1, 1}, {10, 5}); });
        row("equal value", "", [](const Scene& s) { s.body->setValue("isDynamic", true); });
        row("other role", "", [](const Scene& s) { s.doc->setData(s.doc->index(0, 0), "x", Qt::ToolTipRole); });
        row("fixture already there", "", [](const Scene& s) { s.body->addFixture(s.polygon); });
        row("same circle", "", [](const Scene& s) { s.circle->setCircle("resize circle", {1, 2}, 3); });
        row("image already there", "", [](const Scene& s) { s.body->addImageFileName(s.image); });
        row("polygon within Qt's fuzz", "", [](const Scene& s) {
            s.polygon->setPolygon("move shape", s.polygon->polygon().translated(1e-14, 0));
        });
    }

    void undoRedo()
    {
        QFETCH(Edit, edit);
        QFETCH(QString, text);
        Element* body = doc->addFile(shipPng);
        Scene scene{doc, body, new FixturePolygon(body), new FixtureCircle(body), shipPng};
        doc->addFile(shipPng);
        doc->setValueDirect("ptm", 16.0f);
        body->setValueDirect("isDynamic", true);
        body->setAnchorPointAbsDirect({1, 1});
        scene.polygon->setPolygonDirect(QPolygonF({{1, 1}, {4, 0}, {4, 4}}));
        scene.polygon->setValueDirect("density", 1.5f);
        scene.circle->setCircleDirect({1, 2}, 3);
        body->addFixture(scene.polygon);
        body->addFixture(scene.circle);
        const int commands = doc->undoStack()->count();
        const QString before = ModelTest::describe(*doc);
        doc->setModified(false);

        edit(scene);
        QCOMPARE(doc->undoStack()->count(), commands + (text.isEmpty() ? 0 : 1));
        QCOMPARE(doc->undoStack()->undoText(), text.isEmpty() ? "add fixture" : text);
        QCOMPARE(doc->isModified(), !text.isEmpty());
        const QString after = ModelTest::describe(*doc);
        QCOMPARE(after == before, text.isEmpty());
        for (int i = 0; i < 2 && !text.isEmpty(); ++i) {
            doc->undoStack()->undo();
            QCOMPARE(ModelTest::describe(*doc), before);
            doc->undoStack()->redo();
            QCOMPARE(ModelTest::describe(*doc), after);
        }
    }

    void commandsFreeWhatOnlyTheyHold()
    {
        // Undone additions are freed when a new command replaces them on the stack.
        QPointer<Element> added = doc->addFile(shipPng);
        QPointer<Fixture> fixture = new FixturePolygon(added);
        added->addFixture(fixture);
        doc->undoStack()->setIndex(0);
        doc->setValue("ptm", 1.0f);
        QVERIFY(fixture.isNull() && added.isNull());
        // Deleted bodies and fixtures held by done commands go with the document.
        QPointer<Element> deleted = doc->addFile(shipPng);
        QPointer<Element> kept = doc->addFile(shipPng);
        QPointer<Fixture> removed = new FixtureCircle(kept);
        kept->addFixture(removed);
        kept->deleteFixture(removed);
        doc->deleteElement(deleted);
        QVERIFY(!deleted.isNull() && !removed.isNull());
        cleanup();
        QVERIFY(deleted.isNull() && kept.isNull() && removed.isNull());
        init();
    }
};

MODEL_TEST_MAIN(TestModel)
#include "tst_model.moc"
