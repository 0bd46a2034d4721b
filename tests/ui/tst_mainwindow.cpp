// The document window: its form, the section headers, the Edit menu across
// documents, publishing and the wiring of body, fixture and exporter.
#include "element.h"
#include "elementlist.h"
#include "elementlistmodel.h"
#include "exportsettings.h"
#include "fixture.h"
#include "gaction.h"
#include "genericsettingsfield.h"
#include "globalsettings.h"
#include "imagedetails.h"
#include "limbeditorscene.h"
#include "mainwindow.h"
#include "shapeeditor.h"
#include "templatelookups.h"
#include "testsupport.h"
#include "uitestsupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDockWidget>
#include <QFile>
#include <QFileDialog>
#include <QLayout>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QUndoStack>
#include <QtTest>

using UiTest::ExporterSpec;

namespace {
const QStringList sectionHeaders{"exportButton", "globalButton", "imageButton", "bodyButton", "fixtureButton"};
const QStringList sectionPanels{"exportParameters", "globalParameters", "imageDetails", "bodyParameters",
                                "fixtureParameters"};

QStringList actionTexts(const QList<QAction*>& actions)
{
    QStringList texts;
    for (QAction* action : actions)
        texts << (action->isSeparator() ? QStringLiteral("|") : action->text());
    return texts;
}

QMenu* menuTitled(QMainWindow& window, const QString& title)
{
    const QList<QAction*> actions = window.menuBar()->actions();
    for (QAction* action : actions) {
        if (action->menu() && action->menu()->title() == title)
            return action->menu();
    }
    return nullptr;
}
}

class MainWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void formHasEveryNamedWidget();
    void menusAndToolBarsInTheirOrder();
    void sectionHeadersShowAndHideTheirPanels();
    void closedSectionStaysClosedAcrossExporterChanges();
    void exporterWithoutFixtureParametersHidesTheSection();
    void editMenuKeepsOneUndoRedoPair();
    void selectingABodyReachesEveryPanel();
    void currentFixtureBindsTheFixturePanel();
    void publishAsksForAFileWhenThereIsNoName();
    void publishAsksAgainForAWrongCaseExtension();
    void publishWritesAMatchingNameDirectly();
    void windowWorksWithoutAnyExporter();
    void unreadableDocumentLeavesTheWindowAsItWas();
    void loadingInstallsTheDocument();

private:
    std::unique_ptr<MainWindow> makeWindow();
    Element* addBody(ElementListModel& document, const QString& name);
    QString writeProject(const QString& name, int bodies);

    std::unique_ptr<QTemporaryDir> m_dir;
    Exporter* m_box = nullptr;
    Exporter* m_plain = nullptr;
};

void MainWindowTest::initTestCase()
{
    registerTemplateLookups();
}

void MainWindowTest::init()
{
    TestSupport::clearSettings();
    m_dir = std::make_unique<QTemporaryDir>();
    ExporterRegistry::instance().clear();
    ExporterSpec box;
    box.name = QStringLiteral("box");
    box.displayName = QStringLiteral("Box Engine");
    box.extension = QStringLiteral("json");
    box.globalXml = UiTest::floatParameter(QStringLiteral("ptm"), 32);
    box.bodyXml = UiTest::floatParameter(QStringLiteral("damping"), 0.5);
    box.fixtureXml = UiTest::floatParameter(QStringLiteral("density"), 2);
    m_box = UiTest::registerExporter(QDir(m_dir->path()), box);
    ExporterSpec plain;
    plain.name = QStringLiteral("plain");
    plain.extension = QStringLiteral("txt");
    plain.bodyXml = UiTest::floatParameter(QStringLiteral("mass"));
    m_plain = UiTest::registerExporter(QDir(m_dir->path()), plain);
}

void MainWindowTest::cleanup()
{
    ExporterRegistry::instance().clear();
    m_dir.reset();
}

std::unique_ptr<MainWindow> MainWindowTest::makeWindow()
{
    auto window = std::make_unique<MainWindow>();
    window->setAttribute(Qt::WA_DeleteOnClose, false);
    window->show();
    // Let the exporter selector's deferred first selection run.
    QTest::qWait(5);
    QCoreApplication::processEvents();
    return window;
}

Element* MainWindowTest::addBody(ElementListModel& document, const QString& name)
{
    return document.addFile(UiTest::makeImage(QDir(m_dir->path()), name + QStringLiteral(".png")));
}

void MainWindowTest::formHasEveryNamedWidget()
{
    auto window = makeWindow();
    QCOMPARE(window->windowTitle().contains(QStringLiteral("Hullwright")), true);
    QVERIFY(qobject_cast<ShapeEditor*>(window->centralWidget()->findChild<QWidget*>(QStringLiteral("shapeEditor"))));
    QCOMPARE(window->centralWidget()->objectName(), QStringLiteral("centralWidget"));
    auto* shapes = window->findChild<QDockWidget*>(QStringLiteral("dockWidget"));
    auto* parameters = window->findChild<QDockWidget*>(QStringLiteral("parameterDock"));
    QCOMPARE(shapes->windowTitle(), QStringLiteral("Shapes"));
    QCOMPARE(parameters->windowTitle(), QStringLiteral("Parameters"));
    QCOMPARE(window->dockWidgetArea(shapes), Qt::LeftDockWidgetArea);
    QCOMPARE(window->dockWidgetArea(parameters), Qt::RightDockWidgetArea);
    QVERIFY(qobject_cast<ElementList*>(shapes->findChild<QWidget*>(QStringLiteral("elementsList"))));

    auto* contents = parameters->findChild<QWidget*>(QStringLiteral("scrollAreaWidgetContents"));
    QVERIFY(contents);
    QStringList order;
    for (int i = 0; i < contents->layout()->count(); ++i) {
        if (QWidget* widget = contents->layout()->itemAt(i)->widget())
            order << widget->objectName();
    }
    QStringList expected;
    for (int i = 0; i < sectionHeaders.size(); ++i)
        expected << sectionHeaders[i] << sectionPanels[i];
    QCOMPARE(order, expected);

    const QStringList texts{"Exporter", "Global parameters", "Image parameters", "Body parameters",
                            "Fixture parameters"};
    for (int i = 0; i < sectionHeaders.size(); ++i) {
        auto* header = contents->findChild<QPushButton*>(sectionHeaders[i]);
        QCOMPARE(header->text(), texts[i]);
        QVERIFY(header->isFlat());
        QVERIFY(header->isCheckable());
        QVERIFY(header->isChecked());
        QVERIFY(header->styleSheet().startsWith(QStringLiteral("background-color: qlineargradient(")));
        QVERIFY(header->styleSheet().endsWith(QStringLiteral("padding-left: 8px;\nimage: url(branch-closed.png);")));
        QVERIFY(!header->icon().isNull());
    }
}

void MainWindowTest::menusAndToolBarsInTheirOrder()
{
    auto window = makeWindow();
    QMenu* file = menuTitled(*window, QStringLiteral("&File"));
    QVERIFY(file);
    QStringList fileTexts = actionTexts(file->actions());
    QCOMPARE(fileTexts.mid(fileTexts.indexOf(QStringLiteral("|"))),
             (QStringList{"|", window->closeAction()->text(), window->saveAction()->text(),
                          window->saveAsAction()->text(), "|", "&Publish", "Publish As", "|",
                          window->exitAction()->text()}));
    QCOMPARE(fileTexts.first(), window->newAction()->text());

    QMenu* edit = menuTitled(*window, QStringLiteral("&Edit"));
    QVERIFY(edit);
    QCOMPARE(edit->actions().first()->text(), QStringLiteral("Add Sprites"));
    QVERIFY(menuTitled(*window, QStringLiteral("&Help")));

    QCOMPARE(window->publishAction()->shortcut(), QKeySequence(QStringLiteral("Ctrl+P")));
    QCOMPARE(window->publishAsAction()->shortcut(), QKeySequence(QStringLiteral("Ctrl+Shift+P")));
    QCOMPARE(window->publishAction()->statusTip(), QStringLiteral("Publish shapes"));
    QCOMPARE(window->addSpritesAction()->statusTip(), QStringLiteral("Add a new sprite"));

    const QList<QToolBar*> bars = window->findChildren<QToolBar*>();
    QStringList titles;
    for (QToolBar* bar : bars) {
        titles << bar->windowTitle();
        QCOMPARE(bar->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
    }
    QVERIFY(titles.contains(QStringLiteral("File")));
    QVERIFY(titles.contains(QStringLiteral("Tools")));
    for (QToolBar* bar : bars) {
        if (bar->windowTitle() == QLatin1String("File"))
            QCOMPARE(bar->actions().mid(3), (QList<QAction*>{window->publishAction(), window->publishAsAction()}));
        else
            QCOMPARE(bar->actions(), QList<QAction*>{window->addSpritesAction()});
    }
}

void MainWindowTest::sectionHeadersShowAndHideTheirPanels()
{
    auto window = makeWindow();
    for (int i = 0; i < sectionHeaders.size(); ++i) {
        auto* header = window->findChild<QPushButton*>(sectionHeaders[i]);
        QWidget* panel = window->findChild<QWidget*>(sectionPanels[i]);
        QVERIFY2(panel->isVisible(), qPrintable(sectionPanels[i]));
        QTest::mouseClick(header, Qt::LeftButton);
        QVERIFY(!header->isChecked());
        QVERIFY(!panel->isVisible());
        QTest::mouseClick(header, Qt::LeftButton);
        QVERIFY(panel->isVisible());
    }
}

void MainWindowTest::closedSectionStaysClosedAcrossExporterChanges()
{
    auto window = makeWindow();
    auto* bodyHeader = window->findChild<QPushButton*>(QStringLiteral("bodyButton"));
    auto* bodyPanel = window->findChild<QWidget*>(QStringLiteral("bodyParameters"));
    QTest::mouseClick(bodyHeader, Qt::LeftButton);
    QVERIFY(!bodyPanel->isVisible());
    window->exporterChanged(m_plain);
    QVERIFY(bodyHeader->isVisible());
    QVERIFY(!bodyPanel->isVisible());
    window->exporterChanged(m_box);
    QVERIFY(!bodyPanel->isVisible());
    QTest::mouseClick(bodyHeader, Qt::LeftButton);
    QVERIFY(bodyPanel->isVisible());
}

void MainWindowTest::exporterWithoutFixtureParametersHidesTheSection()
{
    auto window = makeWindow();
    auto* combo = window->findChild<QComboBox*>(QStringLiteral("expoterComboBox"));
    QCOMPARE(combo->currentData().toString(), QStringLiteral("box"));
    auto* fixtureHeader = window->findChild<QPushButton*>(QStringLiteral("fixtureButton"));
    auto* globalHeader = window->findChild<QPushButton*>(QStringLiteral("globalButton"));
    QVERIFY(fixtureHeader->isVisible());

    combo->setFocus();
    QTest::keyClick(combo, Qt::Key_Down);  // the user activates "plain"
    QCOMPARE(window->exporter(), m_plain);
    QCOMPARE(window->model()->exporter(), m_plain);
    QVERIFY(!fixtureHeader->isVisible());
    QVERIFY(!window->findChild<QWidget*>(QStringLiteral("fixtureParameters"))->isVisible());
    QVERIFY(!globalHeader->isVisible());
    QVERIFY(window->findChild<QWidget*>(QStringLiteral("bodyButton"))->isVisible());

    QTest::keyClick(combo, Qt::Key_Up);
    QVERIFY(fixtureHeader->isVisible());
    QVERIFY(window->findChild<QWidget*>(QStringLiteral("fixtureParameters"))->isVisible());
}

void MainWindowTest::editMenuKeepsOneUndoRedoPair()
{
    auto window = makeWindow();
    QMenu* edit = menuTitled(*window, QStringLiteral("&Edit"));
    for (int i = 0; i < 3; ++i)
        window->setModel(new ElementListModel);
    QCOMPARE(edit->actions().size(), 3);
    QAction* undo = edit->actions().at(1);
    QAction* redo = edit->actions().at(2);
    QCOMPARE(undo->shortcut(), QKeySequence(QKeySequence::Undo));
    QCOMPARE(redo->shortcut(), QKeySequence(QKeySequence::Redo));
    // The remaining pair belongs to the current document.
    addBody(*window->model(), QStringLiteral("crate"));
    QVERIFY(undo->isEnabled());
    undo->trigger();
    QCOMPARE(window->model()->elementCount(), 0);
}

void MainWindowTest::selectingABodyReachesEveryPanel()
{
    auto window = makeWindow();
    ElementListModel* document = window->model();
    Element* first = addBody(*document, QStringLiteral("alpha"));
    Element* second = addBody(*document, QStringLiteral("beta"));
    auto* view = window->findChild<QListView*>(QStringLiteral("elementList"));
    auto* editor = window->findChild<ShapeEditor*>(QStringLiteral("shapeEditor"));
    auto* image = window->findChild<ImageDetails*>(QStringLiteral("imageDetails"));

    const QRect secondRow = view->visualRect(view->model()->index(1, 0));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, secondRow.center());
    QCOMPARE(window->currentElement(), second);
    QCOMPARE(editor->element(), second);
    QCOMPARE(image->element(), second);
    QVERIFY(editor->scene());

    const QRect firstRow = view->visualRect(view->model()->index(0, 0));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, firstRow.center());
    QCOMPARE(window->currentElement(), first);
    QCOMPARE(editor->element(), first);

    // The body panel edits the current body.
    auto* bodies = window->findChild<GenericSettingsField*>(QStringLiteral("bodyParameters"));
    QWidget* damping = bodies->findChild<QWidget*>(QStringLiteral("damping"));
    QVERIFY(damping);
    QVERIFY(damping->isEnabled());

    // Selecting bodies records nothing.
    QCOMPARE(document->undoStack()->count(), 2);
}

void MainWindowTest::currentFixtureBindsTheFixturePanel()
{
    auto window = makeWindow();
    Element* body = addBody(*window->model(), QStringLiteral("crate"));
    window->elementChanged(body);
    auto* editor = window->findChild<ShapeEditor*>(QStringLiteral("shapeEditor"));
    QTest::mouseClick(editor->findChild<QAbstractButton*>(QStringLiteral("addPolygonButton")), Qt::LeftButton);
    QCOMPARE(body->fixtures().size(), 1);
    QCOMPARE(window->currentFixture(), body->fixtures().first());

    QTest::mouseClick(editor->findChild<QAbstractButton*>(QStringLiteral("deletePolygonButton")), Qt::LeftButton);
    QCOMPARE(body->fixtures().size(), 0);
    QCOMPARE(window->currentFixture(), static_cast<Fixture*>(nullptr));

    // Switching to another document forgets the body and fixture of the old one.
    window->setModel(new ElementListModel);
    QCOMPARE(window->currentElement(), static_cast<Element*>(nullptr));
    QCOMPARE(window->currentFixture(), static_cast<Fixture*>(nullptr));
}

void MainWindowTest::publishAsksForAFileWhenThereIsNoName()
{
    QDir(m_dir->path()).mkpath(QStringLiteral("earlier"));
    GlobalSettings().setLastExportName(m_dir->filePath(QStringLiteral("earlier/out.json")));
    auto window = makeWindow();
    addBody(*window->model(), QStringLiteral("crate"));
    const QString target = m_dir->filePath(QStringLiteral("bodies.json"));
    QString caption, startPath, filter;
    TestSupport::ModalHandler handler([&](QWidget* dialog) {
        auto* chooser = qobject_cast<QFileDialog*>(dialog);
        caption = chooser->windowTitle();
        startPath = chooser->selectedFiles().value(0);
        filter = chooser->nameFilters().join(QLatin1Char(';'));
        TestSupport::chooseFile(dialog, target);
    });
    window->publishAction()->trigger();
    QVERIFY(handler.handled());
    QCOMPARE(caption, QStringLiteral("Publish file"));
    QCOMPARE(startPath, m_dir->filePath(QStringLiteral("earlier/out.json")));
    QCOMPARE(filter, QStringLiteral("Box Engine File (*.json)"));
    QCOMPARE(window->model()->exportFileName(), target);
    QCOMPARE(GlobalSettings().lastExportName(), target);
    QFile published(target);
    QVERIFY(published.open(QIODevice::ReadOnly));
    QCOMPARE(published.readAll(), QByteArray("crate\n"));
}

void MainWindowTest::publishAsksAgainForAWrongCaseExtension()
{
    auto window = makeWindow();
    addBody(*window->model(), QStringLiteral("crate"));
    const QString wrong = m_dir->filePath(QStringLiteral("bodies.JSON"));
    const QString right = m_dir->filePath(QStringLiteral("bodies.json"));
    TestSupport::ModalHandler handler(QList<TestSupport::ModalHandler::Handler>{
        [&](QWidget* dialog) { TestSupport::chooseFile(dialog, wrong); },
        [&](QWidget* dialog) { TestSupport::chooseFile(dialog, right); }});
    window->publishAction()->trigger();
    QVERIFY(handler.handled());
    QVERIFY(!QFile::exists(wrong));
    QVERIFY(QFile::exists(right));
}

void MainWindowTest::publishWritesAMatchingNameDirectly()
{
    auto window = makeWindow();
    addBody(*window->model(), QStringLiteral("crate"));
    const QString target = m_dir->filePath(QStringLiteral("direct.json"));
    window->model()->setExportFileName(target);
    // No dialog may open: one that did would be closed and leave no file.
    TestSupport::ModalHandler handler([](QWidget* dialog) { static_cast<QDialog*>(dialog)->reject(); });
    window->publishAction()->trigger();
    QVERIFY(!handler.handled());
    QVERIFY(QFile::exists(target));

    // After switching to an exporter with another extension, Publish asks.
    window->exporterChanged(m_plain);
    window->publishAction()->trigger();
    QVERIFY(handler.handled());
}

void MainWindowTest::windowWorksWithoutAnyExporter()
{
    ExporterRegistry::instance().clear();
    RecordingReporter reporter;
    auto window = makeWindow();
    QCOMPARE(window->exporter(), static_cast<Exporter*>(nullptr));
    QVERIFY(!window->publishAction()->isEnabled());
    QVERIFY(!window->publishAsAction()->isEnabled());
    auto* hint = window->statusBar()->findChild<QLabel*>(QStringLiteral("noExporterHint"));
    QVERIFY(hint && hint->isVisible() && !hint->text().isEmpty());
    for (const char* name : {"globalButton", "bodyButton", "fixtureButton"})
        QVERIFY(!window->findChild<QWidget*>(QLatin1String(name))->isVisible());
    QCOMPARE(window->findChild<QComboBox*>(QStringLiteral("expoterComboBox"))->count(), 0);

    // Bodies can still be added and edited.
    Element* body = addBody(*window->model(), QStringLiteral("crate"));
    window->elementChanged(body);
    auto* editor = window->findChild<ShapeEditor*>(QStringLiteral("shapeEditor"));
    QTest::mouseClick(editor->findChild<QAbstractButton*>(QStringLiteral("addPolygonButton")), Qt::LeftButton);
    QCOMPARE(body->fixtures().size(), 1);
    window->publishAction()->trigger();
    QVERIFY(reporter.entries.isEmpty());
}

QString MainWindowTest::writeProject(const QString& name, int bodies)
{
    ElementListModel document;
    document.setExporter(m_box);
    for (int i = 0; i < bodies; ++i)
        addBody(document, QStringLiteral("body%1").arg(i));
    const QString path = m_dir->filePath(name);
    if (!document.save(path))
        return {};
    return path;
}

void MainWindowTest::unreadableDocumentLeavesTheWindowAsItWas()
{
    auto window = makeWindow();
    addBody(*window->model(), QStringLiteral("crate"));
    ElementListModel* before = window->model();
    const QString title = window->windowTitle();
    const int history = before->undoStack()->count();

    const QString broken = m_dir->filePath(QStringLiteral("broken.hws"));
    QFile file(broken);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("this is not a project");
    file.close();

    RecordingReporter reporter;
    QVERIFY(!window->loadFile(broken));
    QCOMPARE(reporter.entries.size(), 1);
    QCOMPARE(reporter.entries.first().severity, Reporter::Warning);
    QCOMPARE(reporter.entries.first().title, QStringLiteral("Error"));
    QCOMPARE(window->model(), before);
    QCOMPARE(window->windowTitle(), title);
    QCOMPARE(before->undoStack()->count(), history);
    QCOMPARE(before->elementCount(), 1);
}

void MainWindowTest::loadingInstallsTheDocument()
{
    const QString path = writeProject(QStringLiteral("three.hws"), 3);
    QVERIFY(!path.isEmpty());
    auto window = makeWindow();
    QVERIFY(window->loadFile(path));
    QCOMPARE(window->model()->elementCount(), 3);
    QVERIFY(!window->isModified());
    // The first body in name order is shown.
    QCOMPARE(window->currentElement()->name(), QStringLiteral("body0"));
    QCOMPARE(window->findChild<QComboBox*>(QStringLiteral("expoterComboBox"))->currentData().toString(),
             QStringLiteral("box"));
    QCOMPARE(window->model()->undoStack()->count(), 0);
}

int main(int argc, char** argv)
{
    TestSupport::isolateSettings();
    QApplication app(argc, argv);
    MainWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_mainwindow.moc"
