// The document window and its panels (body list, image details, exporter
// selector), driven through their widgets.
#include "element.h"
#include "elementlist.h"
#include "elementlistmodel.h"
#include "globalsettings.h"
#include "imagedetails.h"
#include "mainwindow.h"
#include "shapeeditor.h"
#include "templatelookups.h"
#include "testsupport.h"
#include "uitestsupport.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QUndoStack>
#include <QtTest>

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
    Element* addBody(ElementListModel& document, const QString& name, int width = 20, int height = 10)
    {
        return document.addFile(UiTest::makeSprite(QDir(m_dir->path()), name + QStringLiteral(".png"), width, height));
    }
    template<typename T = QWidget>
    static T* child(QWidget* parent, const char* name)
    {
        return parent->findChild<T*>(QLatin1String(name));
    }

private slots:
    void initTestCase() { registerTemplateLookups(); }

    void init()
    {
        TestSupport::clearSettings();
        m_dir = std::make_unique<QTemporaryDir>();
        ExporterRegistry::instance().clear();
        UiTest::ExporterSpec box{QStringLiteral("box"), QStringLiteral("Box Engine")};
        box.bodyXml = UiTest::parameter("damping", "float");
        box.fixtureXml = UiTest::parameter("density", "float");
        UiTest::registerExporter(QDir(m_dir->path()), box);
        UiTest::ExporterSpec plain{QStringLiteral("plain"), QStringLiteral("Plain"), QStringLiteral("down")};
        plain.extension = QStringLiteral("txt");
        plain.bodyXml = UiTest::parameter("mass", "float");
        m_plain = UiTest::registerExporter(QDir(m_dir->path()), plain);
    }

    void cleanup() { ExporterRegistry::instance().clear(); }

    void editMenuKeepsOneUndoRedoPair()
    {
        auto window = makeWindow();
        QMenu* edit = nullptr;
        for (QAction* menu : window->menuBar()->actions())
            edit = menu->text() == QLatin1String("&Edit") ? menu->menu() : edit;
        for (int i = 0; i < 3; ++i)
            window->setModel(new ElementListModel);
        QCOMPARE(edit->actions().size(), 3);
        // The pair left belongs to the current document.
        addBody(*window->model(), QStringLiteral("crate"));
        edit->actions().at(1)->trigger();
        QCOMPARE(window->model()->elementCount(), 0);
    }

    void currentBodyAndFixtureReachEveryPanel()
    {
        auto window = makeWindow();
        Element* first = addBody(*window->model(), QStringLiteral("alpha"));
        Element* second = addBody(*window->model(), QStringLiteral("beta"));
        auto* view = child<QListView>(window.get(), "elementList");
        const auto select = [view](int row) {
            QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(view->model()->index(row, 0)).center());
        };
        auto* editor = child<ShapeEditor>(window.get(), "shapeEditor");
        select(1);
        QVERIFY(window->currentElement() == second && editor->element() == second);
        QCOMPARE(child<ImageDetails>(window.get(), "imageDetails")->element(), second);
        select(0);
        QCOMPARE(editor->element(), first);
        QVERIFY(child(child(window.get(), "bodyParameters"), "damping")->isEnabled());
        // Selecting bodies records nothing.
        QCOMPARE(window->model()->undoStack()->count(), 2);

        QTest::mouseClick(child<QAbstractButton>(editor, "addPolygonButton"), Qt::LeftButton);
        QCOMPARE(window->currentFixture(), first->fixtures().first());
        QVERIFY(child(child(window.get(), "fixtureParameters"), "density")->isEnabled());
        QTest::mouseClick(child<QAbstractButton>(editor, "deletePolygonButton"), Qt::LeftButton);
        QCOMPARE(window->currentFixture(), nullptr);
        // Another document forgets the body and fixture of the old one.
        QTest::mouseClick(child<QAbstractButton>(editor, "addPolygonButton"), Qt::LeftButton);
        window->setModel(new ElementListModel);
        QVERIFY(!window->currentElement() && !window->currentFixture());
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
        QVERIFY(window->loadFile(path));
        QVERIFY(window->model()->elementCount() == 3 && !window->isModified());
        QCOMPARE(window->model()->undoStack()->count(), 0);
        // The first body in name order is shown, with the document's exporter.
        QCOMPARE(window->currentElement()->name(), QStringLiteral("a"));
        QCOMPARE(window->exporter(), m_plain);

        QFile broken(m_dir->filePath(QStringLiteral("broken.hws")));
        QVERIFY(broken.open(QIODevice::WriteOnly) && broken.write("this is not a project") > 0);
        broken.close();
        ElementListModel* before = window->model();
        const QString title = window->windowTitle();
        RecordingReporter reporter;
        QVERIFY(!window->loadFile(broken.fileName()));
        QCOMPARE(reporter.entries.size(), 1);
        QVERIFY(window->model() == before && window->windowTitle() == title && before->elementCount() == 3);
    }

    void filterMatchesWholeNamesWithWildcards_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QStringList>("shown");
        // Sorted without regard to case.
        QTest::newRow("empty shows all") << QString() << QStringList{"boat", "ship", "Ship2", "shipyard"};
        QTest::newRow("plain name is exact, in any case") << "SHIP" << QStringList{"ship"};
        QTest::newRow("star") << "ship*" << QStringList{"ship", "Ship2", "shipyard"};
        QTest::newRow("question mark, negated set") << "[!s]?at" << QStringList{"boat"};
        QTest::newRow("escaped star is literal") << "ship\\*" << QStringList{};
        QTest::newRow("regex characters are literal") << "ship.*" << QStringList{};
    }

    void filterMatchesWholeNamesWithWildcards()
    {
        QFETCH(QString, filter);
        QFETCH(QStringList, shown);
        ElementListModel document;
        for (const char* name : {"ship", "Ship2", "shipyard", "boat"})
            addBody(document, QLatin1String(name));
        ElementList list;
        list.setModel(&document);
        QTest::keyClicks(child<QLineEdit>(&list, "filterLineEdit"), filter);
        QAbstractItemModel* rows = child<QListView>(&list, "elementList")->model();
        QStringList names;
        for (int row = 0; row < rows->rowCount(); ++row)
            names << rows->index(row, 0).data().toString();
        QCOMPARE(names, shown);
    }

    void finishedAnchorEditIsOneUndoableStep()
    {
        ElementListModel document;
        document.setExporter(m_plain);
        Element* body = addBody(document, QStringLiteral("crate"), 100, 50);
        body->setAnchorPointAbsDirect(QPointF(10, 20));
        document.undoStack()->clear();
        ImageDetails panel;
        panel.setElement(body);
        panel.exporterChanged(m_plain);
        // The exporter's y axis points down: pixels count from the top.
        auto* absY = child<QDoubleSpinBox>(&panel, "anchorAbsY");
        QCOMPARE(absY->value(), 30.0);
        absY->selectAll();
        QTest::keyClicks(absY, QStringLiteral("45"));
        // The body follows every keystroke without recording anything; finishing twice records once.
        QCOMPARE(body->anchorPointAbs(), QPointF(10, 5));
        QCOMPARE(document.undoStack()->count(), 0);
        QTest::keyClick(absY, Qt::Key_Return);
        QTest::keyClick(absY, Qt::Key_Return);
        QCOMPARE(document.undoStack()->count(), 1);
        document.undoStack()->undo();
        QCOMPARE(absY->value(), 30.0);
        // A relative edit is scaled by the image size.
        auto* relX = child<QDoubleSpinBox>(&panel, "anchorRelX");
        relX->selectAll();
        QTest::keyClicks(relX, QStringLiteral("0.5"));
        QCOMPARE(body->anchorPointAbs(), QPointF(50, 20));
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
