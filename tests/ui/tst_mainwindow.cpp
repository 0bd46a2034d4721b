// The document window and its panels (body list, image details, exporter
// selector), driven through their widgets.
#include "element.h"
#include "elementlist.h"
#include "elementlistmodel.h"
#include "exporterregistry.h"
#include "fixturecircle.h"
#include "fixturepolygon.h"
#include "gaction.h"
#include "globalsettings.h"
#include "gsettings.h"
#include "imagecache.h"
#include "imagedetails.h"
#include "mainwindow.h"
#include "outlinetracer.h"
#include "shapeeditor.h"
#include "templatelookups.h"
#include "testsupport.h"
#include "uitestsupport.h"
#include "physicsworld.h"
#include "previewview.h"
#include "previewwindow.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QStatusBar>
#include <QListView>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QUndoStack>
#include <QtTest>

// Cancels a progress dialog as soon as it reports the given value.
class CancelAt final : public QObject
{
public:
    explicit CancelAt(int value) : m_value(value) { qApp->installEventFilter(this); }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* progress = qobject_cast<QProgressDialog*>(watched);
        if (progress && event->type() == QEvent::Show && m_value >= 0) {
            connect(progress->findChild<QProgressBar*>(), &QProgressBar::valueChanged, progress,
                    [this, progress](int value) {
                        if (value == m_value)
                            progress->cancel();
                    });
        }
        return false;
    }

private:
    int m_value;
};

class MainWindowTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    Exporter* m_plain = nullptr;

    std::unique_ptr<MainWindow> makeWindow()
    {
        auto window = std::make_unique<MainWindow>();
        window->setAttribute(Qt::WA_DeleteOnClose, false);
        window->show();
        // Let the exporter selector's deferred first selection run.
        QTest::qWait(5);
        return window;
    }
    Element* addBody(ElementListModel& document, const QString& name)
    {
        return document.addFile(UiTest::makeSprite(QDir(m_dir->path()), name + QStringLiteral(".png")));
    }
    template<typename T = QWidget>
    static T* child(QWidget* parent, const char* name) { return parent->findChild<T*>(QLatin1String(name)); }

private slots:
    void initTestCase() { registerTemplateLookups(); }

    void init()
    {
        TestSupport::clearSettings();
        m_dir = std::make_unique<QTemporaryDir>();
        UiTest::ExporterSpec box{QStringLiteral("box"), QStringLiteral("Box Engine")};
        box.bodyXml = UiTest::parameter("damping", "float");
        box.fixtureXml = UiTest::parameter("density", "float");
        UiTest::ExporterSpec plain{QStringLiteral("plain"), QStringLiteral("Plain"), QStringLiteral("down")};
        plain.extension = QStringLiteral("txt");
        m_plain = new Exporter(UiTest::writeExporter(QDir(m_dir->path()), plain));
        // The registry keeps them.
        ExporterRegistry::instance().add(new Exporter(UiTest::writeExporter(QDir(m_dir->path()), box)));
        ExporterRegistry::instance().add(m_plain);
    }

    void cleanup() { ExporterRegistry::instance().clear(); }

    void currentBodyAndFixtureReachEveryPanel()
    {
        auto window = makeWindow();
        addBody(*window->model(), QStringLiteral("alpha"));
        Element* second = addBody(*window->model(), QStringLiteral("beta"));
        auto* view = child<QListView>(window.get(), "elementList");
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(view->model()->index(1, 0)).center());
        auto* editor = child<ShapeEditor>(window.get(), "shapeEditor");
        QVERIFY(window->currentElement() == second && editor->element() == second);
        QCOMPARE(child<ImageDetails>(window.get(), "imageDetails")->element(), second);
        QVERIFY(child(child(window.get(), "bodyParameters"), "damping")->isEnabled());
        // Selecting a body records nothing.
        QCOMPARE(window->model()->undoStack()->count(), 2);

        QTest::mouseClick(child<QAbstractButton>(editor, "addPolygonButton"), Qt::LeftButton);
        QCOMPARE(window->currentFixture(), second->fixtures().first());
        QVERIFY(child(child(window.get(), "fixtureParameters"), "density")->isEnabled());
        QTest::mouseClick(child<QAbstractButton>(editor, "deletePolygonButton"), Qt::LeftButton);
        QCOMPARE(window->currentFixture(), nullptr);
        // Another document forgets the body and fixture of the old one.
        QTest::mouseClick(child<QAbstractButton>(editor, "addPolygonButton"), Qt::LeftButton);
        window->setModel(new ElementListModel);
        QVERIFY(!window->currentElement() && !window->currentFixture());
    }

    // F5 opens the physics preview on the current body; it runs, steps, pulls and throws, follows
    // the document's edits and its replacement, and changes nothing in it.
    void previewRunsTheDocumentAndLeavesItAlone()
    {
        auto window = makeWindow();
        ElementListModel& document = *window->model();
        Element* alpha = addBody(document, QStringLiteral("alpha"));
        Element* beta = addBody(document, QStringLiteral("beta"));
        alpha->addFixtures(FixturePolygon::create(alpha, {QPolygonF({{5, 2}, {15, 2}, {15, 8}, {5, 8}})}), "add");
        window->elementChanged(alpha);
        const int edits = document.undoStack()->count();

        QTest::keyClick(window.get(), Qt::Key_F5);
        PreviewWindow* preview = window->preview();
        QVERIFY(preview && preview->isVisible() && preview->isRunning());
        QCOMPARE(preview->world()->bodyCount(), 1);
        child<QComboBox>(preview, "bodiesChoice")->setCurrentIndex(1);
        QCOMPARE(preview->world()->bodyCount(), 2);

        QTest::mouseClick(child<QPushButton>(preview, "runButton"), Qt::LeftButton);
        QVERIFY(!preview->isRunning());
        QTest::mouseClick(child<QPushButton>(preview, "stepButton"), Qt::LeftButton);
        QCOMPARE(preview->world()->stepCount(), 1);
        QTest::mouseClick(child<QPushButton>(preview, "runButton"), Qt::LeftButton);
        QTRY_VERIFY(preview->world()->stepCount() > 10);
        QVERIFY(child<QLabel>(preview, "status")->text().contains(QStringLiteral("2 bodies")));
        QTest::mouseClick(child<QPushButton>(preview, "runButton"), Qt::LeftButton);

        // Pressing on a body takes hold of it; pressing on empty space throws a ball.
        PreviewView* view = preview->view();
        PhysicsWorld* world = preview->world();
        const QTransform toView = view->worldTransform(view->rect());
        QTest::mousePress(view, Qt::LeftButton, {}, toView.map(world->position(0)).toPoint());
        QVERIFY(world->isDragging());
        QTest::mouseRelease(view, Qt::LeftButton, {}, toView.map(world->position(0)).toPoint());
        QVERIFY(!world->isDragging());
        QTest::mouseClick(view, Qt::LeftButton, {}, toView.map(world->arena().center()).toPoint());
        QCOMPARE(world->ballCount(), 1);
        QCOMPARE(preview->world()->shapes(1).size(), 0);

        // An edit rebuilds the world a moment later; closing changes nothing.
        beta->addFixtures(FixturePolygon::create(beta, {QPolygonF({{5, 2}, {15, 2}, {15, 8}})}), "add");
        QTRY_COMPARE(preview->world()->shapes(1).size(), 1);
        QCOMPARE(preview->world()->ballCount(), 0);
        preview->close();
        QCOMPARE(document.undoStack()->count(), edits + 1);

        // Closed, it builds nothing until it is opened again.
        const PhysicsWorld* closed = preview->world();
        alpha->addFixtures(FixturePolygon::create(alpha, {QPolygonF({{0, 0}, {4, 0}, {4, 4}})}), "add");
        QTest::qWait(400);
        QCOMPARE(preview->world(), closed);
        window->previewAction()->trigger();
        QVERIFY(preview->isVisible());
        QCOMPARE(preview->world()->shapes(0).size(), 2);

        // Another document: the preview lets go of the old one.
        window->setModel(new ElementListModel);
        QCOMPARE(preview->world()->bodyCount(), 0);
        QTest::qWait(50);
    }

    void publishAsksForAFileWithTheExportersExtension()
    {
        GlobalSettings().setLastExportName(m_dir->filePath(QStringLiteral("out.json")));
        auto window = makeWindow();
        addBody(*window->model(), QStringLiteral("crate"));
        const QString target = m_dir->filePath(QStringLiteral("bodies.json"));
        QStringList asked;
        // A name whose extension differs in case is asked for again; the third dialog is refused.
        TestSupport::ModalHandler handler(QList<TestSupport::ModalHandler::Handler>{
            [&](QWidget* dialog) {
                auto* chooser = qobject_cast<QFileDialog*>(dialog);
                asked << chooser->windowTitle() << chooser->selectedFiles() << chooser->nameFilters();
                TestSupport::chooseFile(dialog, m_dir->filePath(QStringLiteral("bodies.JSON")));
            },
            [&](QWidget* dialog) { TestSupport::chooseFile(dialog, target); },
            [](QWidget* dialog) { static_cast<QDialog*>(dialog)->reject(); }});
        window->publishAction()->trigger();
        QCOMPARE(asked, (QStringList{"Publish file", m_dir->filePath(QStringLiteral("out.json")), "Box Engine File (*.json)"}));
        QFile published(target);
        QVERIFY(published.open(QIODevice::ReadOnly));
        QCOMPARE(published.readAll(), QByteArray("crate\n"));
        QVERIFY(!QFile::exists(m_dir->filePath(QStringLiteral("bodies.JSON"))));
        QCOMPARE(GlobalSettings().lastExportName(), target);

        // With a matching name no dialog opens; once the user picks an exporter
        // with another extension, Publish asks.
        QVERIFY(published.remove());
        window->publishAction()->trigger();
        QVERIFY(!handler.handled() && QFile::exists(target));
        auto* exporters = child<QComboBox>(window.get(), "expoterComboBox");
        exporters->setFocus();
        QTest::keyClick(exporters, Qt::Key_Down);
        QCOMPARE(window->model()->exporter(), m_plain);
        window->publishAction()->trigger();
        QVERIFY(handler.handled());
    }

    void loadingReplacesTheDocumentOnlyWhenReadable()
    {
        const QString path = m_dir->filePath(QStringLiteral("three.hws"));
        ElementListModel saved;
        saved.setExporter(m_plain);
        for (const char* name : {"b", "a", "c"})
            addBody(saved, QLatin1String(name));
        QVERIFY(saved.save(path));
        auto window = makeWindow();
        ImageCache::clear();
        const int decodes = ImageCache::decodeCount();
        QVERIFY(window->loadFile(path));
        QVERIFY(window->model()->elementCount() == 3 && !window->isModified()
                && window->model()->undoStack()->count() == 0);
        // The first body in name order is shown, with the document's exporter; its image is the one decoded.
        QCOMPARE(window->currentElement()->name(), QStringLiteral("a"));
        QCOMPARE(window->exporter(), m_plain);
        QCOMPARE(ImageCache::decodeCount(), decodes + 1);
        // The list's icons arrive from the background as they are made.
        for (const Element* body : window->model()->elements())
            QTRY_VERIFY(!body->icon().isNull());
        QCOMPARE(ImageCache::decodeCount(), decodes + 1);

        QFile broken(m_dir->filePath(QStringLiteral("broken.hws")));
        QVERIFY(broken.open(QIODevice::WriteOnly) && broken.write("this is not a project") > 0);
        broken.close();
        ElementListModel* before = window->model();
        const QString title = window->windowTitle();
        RecordingReporter reporter;
        QVERIFY(!window->loadFile(broken.fileName()));
        QCOMPARE(reporter.entries.size(), 1);
        QCOMPARE(reporter.entries[0].text, broken.fileName() + QStringLiteral(" is not a Hullwright project"));
        QVERIFY(window->model() == before && window->windowTitle() == title && before->elementCount() == 3);
    }

    void titleFileFieldAndStatusFollowTheDocument()
    {
        auto window = makeWindow();
        const auto title = [&window]() {
            return window->windowTitle().replace(QLatin1String("[*]"), window->isWindowModified() ? "*" : "");
        };
        QCOMPARE(title(), QStringLiteral("Untitled - Hullwright"));
        Element* body = addBody(*window->model(), QStringLiteral("crate"));
        QCOMPARE(title(), QStringLiteral("Untitled* - Hullwright"));
        // The new body shows its file at once.
        auto* view = child<QListView>(window.get(), "elementList");
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(view->model()->index(0, 0)).center());
        QCOMPARE(child<QComboBox>(window.get(), "imageFileNameComboBox")->currentText(), body->imageFileNames().value(0));

        const QString project = m_dir->filePath(QStringLiteral("crates.hws"));
        window->setFileName(project);
        window->saveAction()->trigger();
        QCOMPARE(title(), QStringLiteral("crates.hws - Hullwright"));
        // Undo changes the document as much as an edit does.
        window->model()->undoStack()->undo();
        QCOMPARE(title(), QStringLiteral("crates.hws* - Hullwright"));
        window->model()->undoStack()->redo();

        const QString target = m_dir->filePath(QStringLiteral("crates.json"));
        window->model()->setExportFileName(target);
        window->publishAction()->trigger();
        QVERIFY(QFile::exists(target));
        QVERIFY(window->statusBar()->currentMessage().contains(QDir::toNativeSeparators(target)));
    }

    // "Trace all bodies…" traces the chosen bodies with the tracer's stored settings; a body's outline replaces
    // its fixtures. A cancel keeps what was traced before it. It is one undo step, which brings every body back.
    void traceAllBodiesIsOneStep_data()
    {
        QTest::addColumn<QString>("choice");
        QTest::addColumn<QVariantMap>("settings");
        QTest::addColumn<int>("cancelAt");  // the progress value at which Cancel is pressed; -1: never
        QTest::addColumn<QList<bool>>("traced");  // alpha, beta (which has a circle), gamma
        const QVariantMap none;
        QTest::newRow("all") << "All bodies" << none << -1 << QList<bool>{true, true, true};
        QTest::newRow("without fixtures") << "Only bodies without fixtures" << none << -1 << QList<bool>{true, false, true};
        QTest::newRow("cancelled after one") << "All bodies" << none << 1 << QList<bool>{true, false, false};
        QTest::newRow("cancelled at once") << "All bodies" << none << 0 << QList<bool>{false, false, false};
        QTest::newRow("islands too small") << "All bodies" << QVariantMap{{"allIslands", true}, {"minimumArea", 1000}} << -1
                                           << QList<bool>{false, false, false};
        QTest::newRow("small enough") << "All bodies" << QVariantMap{{"allIslands", true}, {"minimumArea", 50}} << -1
                                      << QList<bool>{true, true, true};
    }

    void traceAllBodiesIsOneStep()
    {
        QFETCH(QString, choice);
        QFETCH(QVariantMap, settings);
        QFETCH(int, cancelAt);
        QFETCH(QList<bool>, traced);
        for (auto it = settings.cbegin(); it != settings.cend(); ++it)
            GSettings().setValue(QStringLiteral("tracer/") + it.key(), it.value());
        auto window = makeWindow();
        ElementListModel& document = *window->model();
        const QList<Element*> bodies{addBody(document, "alpha"), addBody(document, "beta"), addBody(document, "gamma")};
        auto* circle = new FixtureCircle(bodies[1]);
        bodies[1]->addFixture(circle);
        document.undoStack()->clear();
        // The sprite's block (50 pixels) as the tracer outlines it by default.
        OutlineTracer tracer;
        tracer.trace(bodies[0]->pixmap().toImage(), 0, TraceMode::Straight);
        const QPolygonF outline = tracer.polygon(1.0f);

        CancelAt cancel(cancelAt);
        TestSupport::ModalHandler handler([&](QWidget* modal) {
            for (QRadioButton* button : modal->findChildren<QRadioButton*>())
                if (button->text() == choice)
                    button->click();
            QTest::mouseClick(modal->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok), Qt::LeftButton);
        });
        window->traceAllBodiesAction()->trigger();
        QVERIFY(handler.handled());

        for (int i = 0; i < bodies.size(); ++i) {
            const QList<Fixture*> fixtures = bodies[i]->fixtures();
            if (traced[i]) {
                QCOMPARE(fixtures.size(), 1);
                auto* polygon = qobject_cast<FixturePolygon*>(fixtures.first());
                QVERIFY(polygon);
                QCOMPARE(polygon->polygon(), outline);
            } else {
                QCOMPARE(fixtures, i == 1 ? QList<Fixture*>{circle} : QList<Fixture*>{});
            }
        }
        const bool any = traced.contains(true);
        QCOMPARE(document.undoStack()->count(), int(any));
        if (!any)
            return;
        QCOMPARE(document.undoStack()->text(0), QStringLiteral("trace all bodies"));
        document.undoStack()->undo();
        QCOMPARE(QList<int>({bodies[0]->fixtures().size(), bodies[2]->fixtures().size()}), QList<int>({0, 0}));
        QCOMPARE(bodies[1]->fixtures(), QList<Fixture*>{circle});
    }

    // "Add Sprites" with numbered files asks whether each sequence is one animated body (its frames in the order of
    // their numbers, showing the first) or every file a body of its own; without a sequence it does not ask.
    void addSpritesAsksAboutSequences_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("answer");  // empty: no question expected
        QTest::addColumn<QStringList>("bodies");  // name: frames, the first the one shown
        const QStringList walk{"walk_2.png", "hero.png", "walk_10.png", "walk_1.png"};
        QTest::newRow("one animated body") << walk << "One animated body"
                                           << QStringList{"walk: walk_1 walk_2 walk_10", "hero: hero"};
        QTest::newRow("separate bodies") << walk << "Separate bodies"
                                         << QStringList{"walk_2: walk_2", "hero: hero", "walk_10: walk_10", "walk_1: walk_1"};
        QTest::newRow("no sequence") << QStringList{"hero.png", "walk_1.png"} << ""
                                     << QStringList{"hero: hero", "walk_1: walk_1"};
    }

    void addSpritesAsksAboutSequences()
    {
        QFETCH(QStringList, files);
        QFETCH(QString, answer);
        QFETCH(QStringList, bodies);
        QString typed;
        for (const QString& file : files)
            typed += QStringLiteral("\"%1\" ").arg(QFileInfo(UiTest::makeSprite(QDir(m_dir->path()), file)).fileName());
        GSettings().setValue(QStringLiteral("main/lastImportFileName"), m_dir->filePath(files.first()));
        auto window = makeWindow();
        bool asked = false;
        TestSupport::ModalHandler handler(
            {[&](QWidget* dialog) { TestSupport::chooseFile(dialog, typed.trimmed()); },
             [&](QWidget* box) {
                 asked = true;
                 for (QAbstractButton* button : box->findChildren<QAbstractButton*>())
                     if (button->text() == answer)
                         button->click();
             }});
        window->addSpritesAction()->trigger();
        QCOMPARE(asked, !answer.isEmpty());
        QStringList made;
        for (Element* body : window->model()->elements()) {
            QStringList frames;
            for (const QString& frame : body->imageFileNames())
                frames << QFileInfo(frame).baseName();
            if (frames.size() > 1)
                QCOMPARE(body->currentImageName(), body->imageFileNames().first());
            made << body->name() + ": " + frames.join(' ');
        }
        QCOMPARE(made, bodies);
    }

    void filterMatchesWholeNamesWithWildcards()
    {
        ElementListModel document;
        for (const char* name : {"ship", "Ship2", "shipyard", "boat"})
            addBody(document, QLatin1String(name));
        ElementList list;
        list.setModel(&document);
        QAbstractItemModel* rows = child<QListView>(&list, "elementList")->model();
        // Sorted without regard to case; a backslash and the characters of regular expressions are literal.
        const QList<QStringList> cases{{"", "boat ship Ship2 shipyard"}, {"SHIP", "ship"},
                                       {"ship*", "ship Ship2 shipyard"}, {"[!s]?at", "boat"},
                                       {"ship\\*", ""}, {"ship.*", ""}};
        for (const QStringList& filterAndShown : cases) {
            child<QLineEdit>(&list, "filterLineEdit")->setText(filterAndShown[0]);
            QStringList names;
            for (int row = 0; row < rows->rowCount(); ++row)
                names << rows->index(row, 0).data().toString();
            QCOMPARE(names.join(' '), filterAndShown[1]);
        }
        // Let the clear button's fade finish: an animation still running when
        // the line edit goes is never freed.
        QTest::qWait(300);
    }
};

int main(int argc, char** argv)
{
    TestSupport::isolateSettings();
    QApplication app(argc, argv);
    MainWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_mainwindow.moc"
