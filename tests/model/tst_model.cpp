#include "modeltestsupport.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QMimeData>
#include <QPointer>
#include <QTemporaryDir>
#include <QUndoStack>
#include <QtTest>

struct Scene { ElementListModel* doc; Element* body; FixturePolygon* polygon; FixtureCircle* circle; QString image; };
using Edit = std::function<void(const Scene&)>;
Q_DECLARE_METATYPE(Edit)

class TestModel : public QObject
{
    Q_OBJECT

    ElementListModel* doc = nullptr;
    QTemporaryDir dir;
    Exporter upExporter{ModelTest::writeExporter(dir.path(), "up", "up", "UP")};
    Exporter downExporter{ModelTest::writeExporter(dir.path(), "down", "down", "down", "chipmunk")};
    QString shipPng = ModelTest::makeImage(dir.path(), "art/ship.png", 40, 20);

private slots:
    void init()
    {
        doc = new ElementListModel;
        doc->setExporter(&upExporter);
        new QAbstractItemModelTester(doc, QAbstractItemModelTester::FailureReportingMode::QtTest, doc);
    }

    void cleanup() { delete doc; }

    void namesAndClones()
    {
        QStringList split;
        for (const char* name : {"ship", "ship (123)", "tank (x)", "ship(2)", "ship (2) b", "a (2) (3)",
                                 "a (99999999999)", "a (2147483647)"}) {
            const QPair<QString, int> parts = ElementListModel::splitName(name);
            split << parts.first + '#' + QString::number(parts.second);
        }
        QCOMPARE(split, (QStringList{"ship#1", "ship#123", "tank (x)#1", "ship(2)#1", "ship (2) b#1", "a (2)#3",
                                     "a (99999999999)#1", "a (2147483647)#1"}));

        // A clone is a deep copy under the next free name.
        Element* first = ModelTest::addBody(*doc, shipPng);
        first->setName("tank (x)");
        first->setCurrentImage(shipPng);
        const QString before = ModelTest::describe(*doc);
        QVERIFY(doc->cloneElement(doc->index(0, 0)) && !doc->cloneElement(QModelIndex()));
        QCOMPARE(ModelTest::describe(*doc), before + '\n' + before.section('\n', 1).replace("(x)", "(x) (2)"));
        QCOMPARE(doc->element(1)->fixtures().first()->body(), doc->element(1));

        QCOMPARE(QStringList({doc->addFile(shipPng)->name(), doc->addFile(shipPng)->name(), doc->uniqueName(" ship ")}),
                 QStringList({"ship", "ship (2)", "ship (3)"}));
    }

    void valuesAndItems()
    {
        Element* body = ModelTest::addBody(*doc, shipPng);
        Fixture* fixture = body->fixtures().first();
        QCOMPARE((QVariantList{doc->value("ptm"), body->value("isDynamic"), fixture->value("density")}),
                 (QVariantList{32.0f, true, 2.0f}));
        // Equal to the default but not stored is a change; equal to the stored value is none.
        const int commands = doc->undoStack()->count();
        qRegisterMetaType<Element*>();
        QSignalSpy redisplay(doc, &ElementListModel::redisplayElement);
        QSignalSpy global(doc, &ElementListModel::globalValueChanged);
        fixture->setValue("density", 2.0f);
        fixture->setValue("density", 2.0f);
        doc->setValue("ptm", 64.0f);
        QCOMPARE(doc->undoStack()->count(), commands + 2);
        QVERIFY(redisplay.count() == 1 && redisplay[0][0].value<Element*>() == body && global.count() == 1);
        // The named bits live in the document, whoever sets them.
        fixture->setSharedStringList("filter_bitfield", {"wall", "floor"});
        QCOMPARE(doc->sharedStringList("filter_bitfield"), (QStringList{"wall", "floor"}));
        doc->setExporter(&downExporter);
        QVERIFY(body->exporter() == &downExporter && fixture->exporter() == &downExporter);
        QCOMPARE(body->toDisplayPoint(QPointF(3, 4)), QPointF(3, 16));

        // Bodies whose image is missing show in red; a directory is not an image, nor is a device.
        doc->addFile(dir.filePath("gone.png"));
        const auto colour = [this](int row) { return doc->index(row, 0).data(Qt::ForegroundRole).value<QColor>(); };
        QCOMPARE(QStringList({doc->headerData(0, Qt::Horizontal).toString(), doc->index(0, 0).data().toString(),
                              colour(0).name(), colour(1).name()}),
                 QStringList({"Bodies", "ship", "#000000", "#ff0000"}));
        QVERIFY(!doc->addFile(dir.path())->isImageValid() && !doc->addFile("/dev/zero")->isImageValid());
        QCOMPARE(doc->createRedoAction(doc)->shortcut(), QKeySequence(QKeySequence::Redo));

        // At most 32 files at once; only local files become bodies.
        QList<QUrl> urls{QUrl("https://example.org/a.png")};
        for (int i = 0; i < 40; ++i)
            urls << QUrl::fromLocalFile(QStringLiteral("/sprites/s%1.png").arg(i));
        QMimeData files, text;
        files.setUrls(urls);
        text.setText("/sprites/a.png");
        QCOMPARE((QList<bool>{doc->dropMimeData(&files, Qt::IgnoreAction, -1, 0, {}),
                              doc->dropMimeData(&files, Qt::CopyAction, -1, 1, {}),
                              doc->dropMimeData(&text, Qt::CopyAction, -1, 0, {}),
                              doc->dropMimeData(&files, Qt::CopyAction, -1, 0, {})}),
                 (QList<bool>{true, false, false, true}));
        QCOMPARE(doc->rowCount(), 4 + 31);
        QCOMPARE(doc->element(4 + 30)->name(), QStringLiteral("s30"));
    }

    // Files whose paths differ only in the number before the extension are one sequence, in the order of the
    // numbers; sequences and single files in the order of their first file.
    void frameSequences_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QList<QStringList>>("groups");
        QTest::newRow("none") << QStringList{} << QList<QStringList>{};
        QTest::newRow("by number") << QStringList{"walk_2.png", "walk_10.png", "walk_01.png"}
                                   << QList<QStringList>{{"walk_01.png", "walk_2.png", "walk_10.png"}};
        QTest::newRow("interleaved") << QStringList{"run1.png", "hero.png", "walk1.png", "run2.png", "walk0.png"}
                                     << QList<QStringList>{{"run1.png", "run2.png"}, {"hero.png"}, {"walk0.png", "walk1.png"}};
        QTest::newRow("other folder or type") << QStringList{"a/w1.png", "b/w2.png", "a/w3.jpg", "a/w4.png"}
                                              << QList<QStringList>{{"a/w1.png", "a/w4.png"}, {"b/w2.png"}, {"a/w3.jpg"}};
        QTest::newRow("number not last") << QStringList{"w1_a.png", "w2_a.png", "w.png", "w1.png"}
                                         << QList<QStringList>{{"w1_a.png"}, {"w2_a.png"}, {"w.png"}, {"w1.png"}};
        QTest::newRow("beyond 64 bits") << QStringList{"f100000000000000000000.png", "f99999999999999999999.png"}
                                        << QList<QStringList>{{"f99999999999999999999.png", "f100000000000000000000.png"}};
        QTest::newRow("numbered folders") << QStringList{"2/a.png", "1/a.png"} << QList<QStringList>{{"2/a.png"}, {"1/a.png"}};
    }

    void frameSequences()
    {
        QFETCH(QStringList, files);
        QFETCH(QList<QStringList>, groups);
        QCOMPARE(ElementListModel::frameSequences(files), groups);
    }

    // A body keeps its frames in the order of the numbers in their names, numbers compared by value.
    void framesInTheOrderOfTheirNumbers_data()
    {
        QTest::addColumn<QStringList>("added");
        QTest::addColumn<QStringList>("frames");
        QTest::newRow("numbers") << QStringList{"w10.png", "w2.png", "w1.png"} << QStringList{"w1.png", "w2.png", "w10.png"};
        QTest::newRow("padded") << QStringList{"w02.png", "w10.png", "w01.png"} << QStringList{"w01.png", "w02.png", "w10.png"};
        QTest::newRow("same value") << QStringList{"w1.png", "w01.png", "w000.png", "w0.png"}
                                    << QStringList{"w0.png", "w000.png", "w01.png", "w1.png"};
        QTest::newRow("letters") << QStringList{"b.png", "a1.png", "a.png", "ab.png"}
                                 << QStringList{"a.png", "a1.png", "ab.png", "b.png"};
        QTest::newRow("two numbers") << QStringList{"s10_f1.png", "s2_f10.png", "s2_f9.png"}
                                     << QStringList{"s2_f9.png", "s2_f10.png", "s10_f1.png"};
        QTest::newRow("one ends first") << QStringList{"w1x", "w1", "w2", "w"} << QStringList{"w", "w1", "w1x", "w2"};
        QTest::newRow("huge") << QStringList{"f100000000000000000000", "f99999999999999999999"}
                              << QStringList{"f99999999999999999999", "f100000000000000000000"};
    }

    void framesInTheOrderOfTheirNumbers()
    {
        QFETCH(QStringList, added);
        QFETCH(QStringList, frames);
        Element body(doc, &upExporter, QStringLiteral("frames"), dir.filePath(added.first()));
        for (const QString& file : added.mid(1))
            body.addImageFileNameDirect(dir.filePath(file));
        QStringList names;
        for (const QString& file : body.imageFileNames())
            names << QFileInfo(file).fileName();
        QCOMPARE(names, frames);
    }

    // A sequence becomes one body in one step, its frames in the order of their numbers, showing the first.
    void addFramesMakesOneAnimatedBody()
    {
        QStringList frames;
        for (int i : {1, 2, 10})
            frames << ModelTest::makeImage(dir.path(), QStringLiteral("seq/walk_%1.png").arg(i), 4 + i, 3);
        Element* body = doc->addFrames(frames);
        QCOMPARE(QVariantList({body->name(), body->imageFileNames(), body->currentImageName(), body->size(),
                               doc->undoStack()->count()}),
                 QVariantList({"walk", frames, frames.first(), QSize(5, 3), 1}));
        doc->undoStack()->undo();
        QCOMPARE(doc->rowCount(), 0);
    }

    void newBodyAnchor_data()
    {
        // The exporter's declared anchor point, as fractions of the image, and where a new body's anchor lands.
        QTest::addColumn<QString>("anchor");
        QTest::addColumn<QString>("image");
        QTest::addColumn<QPointF>("expected");
        QTest::newRow("declared") << "<relX>0.25</relX><relY>0.75</relY>" << "art/ship.png" << QPointF(10, 15);
        QTest::newRow("centre") << "<relX>0.5</relX><relY>0.5</relY>" << "art/ship.png" << QPointF(20, 10);
        QTest::newRow("not declared") << "" << "art/ship.png" << QPointF(0, 0);
        QTest::newRow("image missing") << "<relX>0.5</relX><relY>0.5</relY>" << "gone.png" << QPointF(0, 0);
    }

    void newBodyAnchor()
    {
        QFETCH(QString, anchor);
        QFETCH(QString, image);
        QFETCH(QPointF, expected);
        Exporter exporter(ModelTest::writeExporter(dir.path(), "anchored", "anchored", "up", "box2d",
                                                   "<anchorPoint>" + anchor + "</anchorPoint>"));
        doc->setExporter(&exporter);
        Element* body = doc->addFile(dir.filePath(image));
        QCOMPARE(body->anchorPointAbs(), expected);
        // Undo takes the body away whole; redo brings it back where it was.
        doc->undoStack()->undo();
        doc->undoStack()->redo();
        QCOMPARE(doc->element(0)->anchorPointAbs(), expected);
        doc->setExporter(&upExporter);
    }

    void imagesOfABody()
    {
        const QString frameB = ModelTest::makeImage(dir.path(), "frames/b.png", 8, 6);
        const QString frameA = ModelTest::makeImage(dir.path(), "frames/a.png", 4, 2);
        Element* body = doc->addFile(frameB);
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
        // A file named for high-resolution screens is shown at its size in pixels, like any other:
        // its pixels are the body's coordinates.
        Element* sharp = doc->addFile(ModelTest::makeImage(dir.path(), "frames/sharp@2x.png", 8, 6));
        QCOMPARE(sharp->pixmap().devicePixelRatio(), 1.0);
        QCOMPARE(sharp->icon().devicePixelRatio(), 1.0);
        QCOMPARE(sharp->size(), QSize(8, 6));
    }

    void undoRedo_data()
    {
        QTest::addColumn<Edit>("edit");
        QTest::addColumn<QString>("text");  // the command's name; empty for an edit that changes nothing
        const auto row = [](const char* name, const QString& text, const Edit& edit) {
            QTest::newRow(name) << edit << text;
        };
        row("add file", "Add file", [](const Scene& s) { s.doc->addFile(s.image); });
        row("delete body", "delete body", [](const Scene& s) { s.doc->deleteElement(s.body); });
        row("clone body", "clone body", [](const Scene& s) { s.doc->cloneElement(s.doc->index(1, 0)); });
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
        doc->addFile(shipPng);
        Element* body = ModelTest::addBody(*doc, shipPng);
        const Scene scene{doc, body, qobject_cast<FixturePolygon*>(body->fixtures()[0]),
                          qobject_cast<FixtureCircle*>(body->fixtures()[1]), shipPng};
        // Values stored before the edit: undoing the first change of a value stores the default.
        doc->setValueDirect("ptm", 16.0f);
        body->setValueDirect("isDynamic", true);
        scene.polygon->setValueDirect("density", 1.5f);
        doc->undoStack()->clear();
        doc->setModified(false);
        const QString before = ModelTest::describe(*doc);

        edit(scene);
        QCOMPARE(doc->undoStack()->count(), text.isEmpty() ? 0 : 1);
        QCOMPARE(doc->undoStack()->undoText(), text);
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
        // Undone additions go when a new command replaces them; deleted ones go with the document.
        QPointer<Element> added = ModelTest::addBody(*doc, shipPng);
        QPointer<Fixture> fixture = added->fixtures().first();
        doc->undoStack()->setIndex(0);
        doc->setValue("ptm", 1.0f);
        QPointer<Element> deleted = ModelTest::addBody(*doc, shipPng);
        QPointer<Fixture> removed = deleted->fixtures().first();
        deleted->deleteFixture(removed);
        doc->deleteElement(deleted);
        QVERIFY(fixture.isNull() && added.isNull() && !deleted.isNull() && !removed.isNull());
        cleanup();
        QVERIFY(deleted.isNull() && removed.isNull());
        init();
    }
};

MODEL_TEST_MAIN(TestModel)
#include "tst_model.moc"
