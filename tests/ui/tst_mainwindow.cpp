// The document window and its panels (body list, image details, exporter
// selector), driven through their widgets.
#include "element.h"
#include "elementlist.h"
#include "elementlistmodel.h"
#include "exporterregistry.h"
#include "gaction.h"
#include "globalsettings.h"
#include "imagedetails.h"
#include "mainwindow.h"
#include "shapeeditor.h"
#include "templatelookups.h"
#include "testsupport.h"
#include "uitestsupport.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QStatusBar>
#include <QListView>
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
        QVERIFY(window->model()->elementCount() == 3 && !window->isModified()
                && window->model()->undoStack()->count() == 0);
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
