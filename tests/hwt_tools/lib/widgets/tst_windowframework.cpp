#include "documenttyperegistry.h"
#include "gaction.h"
#include "gapplication.h"
#include "gmainwindow.h"
#include "grecentfileprovider.h"
#include "gsettings.h"
#include "testsupport.h"

#include <QFileDialog>
#include <QFileOpenEvent>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QtTest>

#include <stdexcept>

namespace {

// What the document windows of this test do, set by each test case.
struct Script
{
    bool loadSucceeds = true;
    bool saveSucceeds = true;
    QStringList loaded;
    QStringList saved;
} script;

class SheetWindow : public GMainWindow
{
    Q_OBJECT
public:
    Q_INVOKABLE SheetWindow() : GMainWindow(NewAction | OpenAction | SaveAction) {}
    bool loadFile(const QString& fileName) override
    {
        script.loaded << fileName;
        return script.loadSucceeds;
    }
    bool saveFile(const QString& fileName) override
    {
        script.saved << fileName;
        modified = modified && !script.saveSucceeds;
        return script.saveSucceeds;
    }
    bool isModified() override { return modified; }
    bool modified = false;
    int restores = 0;

protected:
    void saveCustomSettings(QSettings&) override {}
    void restoreCustomSettings(QSettings&) override { ++restores; }
};

// A second window class, for files of another type.
class PaletteWindow : public SheetWindow
{
    Q_OBJECT
public:
    Q_INVOKABLE PaletteWindow() = default;
};

QList<GMainWindow*> documentWindows()
{
    QList<GMainWindow*> windows;
    const QWidgetList topLevels = QApplication::topLevelWidgets();
    for (QWidget* widget : topLevels) {
        if (auto* window = qobject_cast<GMainWindow*>(widget); window && window->isVisible())
            windows << window;
    }
    return windows;
}

SheetWindow* newSheet(const QString& fileName = QString())
{
    return qobject_cast<SheetWindow*>(GApplication::instance()->newFile(fileName));
}

QStringList visibleRecentTexts(GMainWindow* window)
{
    QStringList texts;
    const QList<GAction*> actions = window->recentFileProvider()->actions();
    for (GAction* action : actions) {
        if (action->isVisible())
            texts << action->text();
    }
    return texts;
}

// Whether a window's place and size are stored for this document.
bool inSettings(const QString& fileName)
{
    return GSettings().contains(QStringLiteral("windowSettings/%1/geometry").arg(GMainWindow::windowSettingsKey(fileName)));
}

}

class TestWindowFramework : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        TestSupport::clearSettings();
        script = Script();
    }

    void cleanup()
    {
        const QList<GMainWindow*> windows = documentWindows();
        for (GMainWindow* window : windows) {
            static_cast<SheetWindow*>(window)->modified = false;
            window->close();
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(documentWindows().isEmpty());
    }

    void recentFilesOfAllWindows()
    {
        SheetWindow* first = newSheet();
        QMenu menu;
        first->createRecentFileMenu(&menu);
        QMenu* recent = menu.actions().first()->menu();
        for (int i = 1; i <= 6; ++i)
            first->recentFileProvider()->addFile(QStringLiteral("/d/%1.hws").arg(i));
        // The five newest first; paths differing only in case are different files.
        SheetWindow* second = newSheet();
        second->setFileName(QStringLiteral("/d/3.hws"));
        second->setFileName(QStringLiteral("/D/3.hws"));
        QCOMPARE(second->windowFilePath(), QStringLiteral("3.hws"));
        QCOMPARE(GRecentFileProvider::recentFiles(), (QStringList{"/D/3.hws", "/d/3.hws", "/d/6.hws", "/d/5.hws", "/d/4.hws"}));
        QCOMPARE(recent->actions().size(), 5);
        QCOMPARE(recent->actions().at(4)->text(), QStringLiteral("&5 4.hws"));
        QCOMPARE(recent->actions().at(4)->data().toString(), QStringLiteral("/d/4.hws"));

        // A window that opens later starts from the stored list; fewer entries leave slots hidden.
        GSettings().setValue(QStringLiteral("recentFileList"), QStringList{"/D/3.hws", "/levels/one.hws"});
        SheetWindow* third = newSheet();
        QMenu thirdMenu;
        third->createRecentFileMenu(&thirdMenu);
        QCOMPARE(visibleRecentTexts(third), (QStringList{"&1 3.hws", "&2 one.hws"}));
        // Choosing an entry opens that file, in the untitled window itself.
        third->recentFileProvider()->actions().at(1)->trigger();
        QCOMPARE(third->fileName(), QStringLiteral("/levels/one.hws"));
        QCOMPARE(visibleRecentTexts(first), (QStringList{"&1 one.hws", "&2 3.hws"}));
    }

    void windowGeometryIsRememberedPerDocument()
    {
        SheetWindow* window = newSheet();
        window->setFileName(QStringLiteral("/p/my-ship.hws"));
        window->setGeometry(40, 50, 640, 480);
        window->saveWindowSettings();
        // A path that differs only in punctuation shares the entry; one without an entry keeps its size.
        window->setFileName(QStringLiteral("/p/myship.hws"));
        window->resize(300, 200);
        window->restoreWindowSettings();
        QCOMPARE(window->size(), QSize(640, 480));
        window->setFileName(QStringLiteral("/p/unknown.hws"));
        window->resize(333, 222);
        window->restoreWindowSettings();
        QCOMPARE(window->size(), QSize(333, 222));
        QCOMPARE(window->restores, 2);
    }

    void openFile_data()
    {
        // The window there before: none, an untitled one, one with a file, a
        // modified one or a palette window; it may be asked to take the file.
        QTest::addColumn<QString>("existing");
        QTest::addColumn<bool>("asTarget");
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("loads");
        QTest::addColumn<int>("windows");
        QTest::addColumn<QString>("taker");  // existing, new or none (already open)
        QTest::newRow("no window") << "" << false << "/p/c.hws" << true << 1 << "new";
        QTest::newRow("untitled window") << "untitled" << false << "/p/c.hws" << true << 1 << "existing";
        QTest::newRow("has a file") << "/p/a.hws" << false << "/p/c.hws" << true << 2 << "new";
        QTest::newRow("target with a file") << "/p/a.hws" << true << "/p/c.hws" << true << 2 << "new";
        QTest::newRow("modified") << "modified" << false << "/p/c.hws" << true << 2 << "new";
        QTest::newRow("modified target") << "modified" << true << "/p/c.hws" << true << 2 << "new";
        QTest::newRow("target of another class") << "palette" << true << "/p/c.hws" << true << 2 << "new";
        QTest::newRow("already open") << "/p/c.hws" << false << "/p/c.hws" << true << 1 << "none";
        QTest::newRow("open in other case") << "/P/c.hws" << false << "/p/c.hws" << true << 2 << "new";
        QTest::newRow("unknown extension") << "" << false << "/p/picture.png" << true << 1 << "new";
        QTest::newRow("second type") << "untitled" << false << "/p/colours.HWP" << true << 2 << "new";
        QTest::newRow("load fails") << "/p/a.hws" << false << "/p/c.hws" << false << 2 << "new";
        QTest::newRow("load fails in untitled") << "untitled" << false << "/p/c.hws" << false << 1 << "existing";
    }

    void openFile()
    {
        QFETCH(QString, existing);
        QFETCH(bool, asTarget);
        QFETCH(QString, file);
        QFETCH(bool, loads);
        QFETCH(int, windows);
        QFETCH(QString, taker);
        script.loadSucceeds = loads;
        SheetWindow* window = existing.isEmpty() ? nullptr : newSheet(existing == QLatin1String("palette") ? "x.hwp" : "");
        if (existing.startsWith(QLatin1Char('/')))
            window->setFileName(existing);
        if (window)
            window->modified = existing == QLatin1String("modified");
        const QStringList recentBefore = GRecentFileProvider::recentFiles();

        // The desktop hands files over as events.
        QFileOpenEvent event(file);
        if (asTarget)
            GApplication::instance()->openFile(file, window);
        else
            QVERIFY(QCoreApplication::sendEvent(GApplication::instance(), &event));
        const QList<GMainWindow*> after = documentWindows();
        QCOMPARE(after.size(), windows);
        QCOMPARE(script.loaded, taker == QLatin1String("none") ? QStringList() : QStringList{file});
        if (taker == QLatin1String("none"))
            return;
        auto* took = static_cast<SheetWindow*>(taker == QLatin1String("existing") ? window
                                                                                  : after.at(after.first() == window ? 1 : 0));
        QCOMPARE(took->metaObject()->className(), file.endsWith(QLatin1String(".HWP")) ? "PaletteWindow" : "SheetWindow");
        QCOMPARE(took->fileName(), loads ? file : QString());
        QCOMPARE(took->restores, 1);
        QCOMPARE(GRecentFileProvider::recentFiles(), loads ? QStringList{file} + recentBefore : recentBefore);
        if (window && took != window)
            QCOMPARE(window->fileName(), existing.startsWith(QLatin1Char('/')) ? existing : QString());
    }

    void saveUntitledRunsSaveAs()
    {
        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("new-name.hws"));
        SheetWindow* window = newSheet();
        window->modified = true;
        // Cancelled, nothing is written; then a name is chosen and adopted.
        {
            TestSupport::ModalHandler cancel([&](QWidget* modal) {
                QCOMPARE(qobject_cast<QFileDialog*>(modal)->acceptMode(), QFileDialog::AcceptSave);
            });
            window->saveAction()->trigger();
            QVERIFY(cancel.handled());
        }
        QVERIFY(script.saved.isEmpty());
        QCOMPARE(window->fileName(), QString());
        TestSupport::ModalHandler choose([&](QWidget* modal) { TestSupport::chooseFile(modal, target); });
        window->saveAction()->trigger();
        QVERIFY(choose.handled());
        QCOMPARE(window->fileName(), target);
        QCOMPARE(GRecentFileProvider::recentFiles(), QStringList{target});
        QVERIFY(!window->isModified());
        QVERIFY(inSettings(target));
        // With a name, Save writes directly.
        window->saveAction()->trigger();
        QCOMPARE(script.saved, (QStringList{target, target}));

        // Exit closes every window and lets the application quit.
        newSheet();
        window->exitAction()->trigger();
        QVERIFY(GApplication::instance()->quitOnLastWindowClosed());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(documentWindows().isEmpty());
        GApplication::instance()->setQuitOnLastWindowClosed(false);
    }

    void closeQuestion_data()
    {
        // How the question about unsaved changes is answered (an untitled
        // document's Save As is then cancelled), and what happens.
        QTest::addColumn<bool>("modified");
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("saveSucceeds");
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<bool>("closes");
        QTest::addColumn<int>("saves");
        QTest::newRow("unmodified") << false << 0 << true << "/p/plain.hws" << true << 0;
        QTest::newRow("save") << true << int(QMessageBox::Save) << true << "/p/edited.hws" << true << 1;
        QTest::newRow("save fails") << true << int(QMessageBox::Save) << false << "/p/edited.hws" << false << 1;
        QTest::newRow("discard") << true << int(QMessageBox::Discard) << true << "/p/edited.hws" << true << 0;
        QTest::newRow("cancel") << true << int(QMessageBox::Cancel) << true << "/p/edited.hws" << false << 0;
        QTest::newRow("save untitled, cancel") << true << int(QMessageBox::Save) << true << "" << false << 0;
    }

    void closeQuestion()
    {
        QFETCH(bool, modified);
        QFETCH(int, answer);
        QFETCH(bool, saveSucceeds);
        QFETCH(QString, fileName);
        QFETCH(bool, closes);
        QFETCH(int, saves);
        script.saveSucceeds = saveSucceeds;
        QPointer<SheetWindow> window = newSheet();
        if (!fileName.isEmpty())
            window->setFileName(fileName);
        window->modified = modified;
        int asked = 0;
        TestSupport::ModalHandler handler([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            QCOMPARE(box->standardButton(box->defaultButton()), QMessageBox::Save);
            ++asked;
            box->button(QMessageBox::StandardButton(answer))->click();
        });
        window->closeAction()->trigger();
        QCOMPARE(asked, int(modified));
        QCOMPARE(script.saved.size(), saves);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(window.isNull(), closes);
        QVERIFY(closes ? fileName.isEmpty() || inSettings(fileName) : window->isModified());
    }

    void exceptionInEventHandlerIsReportedAndProgramCarriesOn()
    {
        // An object whose event handler throws, as a faulty slot or handler might.
        struct Thrower : QObject
        {
            int handled = 0;
            bool event(QEvent* e) override
            {
                if (e->type() == QEvent::User)
                    throw std::runtime_error("boom");
                handled += e->type() == QEvent::User + 1;
                return QObject::event(e);
            }
        } thrower;
        RecordingReporter recorder;
        QEvent faulty(QEvent::User);
        QCOMPARE(QCoreApplication::sendEvent(&thrower, &faulty), false);
        QCOMPARE(recorder.entries.size(), 1);
        QCOMPARE(recorder.entries.first().severity, Reporter::Critical);
        QVERIFY(recorder.entries.first().text.contains(QLatin1String("mailto:support@hullwright.org")));
        // Posted events thrown from inside the event loop are caught as well.
        QCoreApplication::postEvent(&thrower, new QEvent(QEvent::User));
        QCoreApplication::postEvent(&thrower, new QEvent(QEvent::Type(QEvent::User + 1)));
        QCoreApplication::sendPostedEvents(&thrower);
        QCOMPARE(recorder.entries.size(), 2);
        QCOMPARE(thrower.handled, 1);
    }
};

int main(int argc, char** argv)
{
    TestSupport::isolateSettings();
    GApplication app(argc, argv);
    app.setOrganizationName(QStringLiteral("hullwright.org"));
    app.setApplicationName(QStringLiteral("tst_windowframework"));
    app.setQuitOnLastWindowClosed(false);
    DocumentTypeRegistry::instance().registerType(QStringLiteral("Test.Sheet"), QStringLiteral("Sheet"),
                                                  QStringLiteral(".hws"), QString(), true, false, true,
                                                  SheetWindow::staticMetaObject);
    DocumentTypeRegistry::instance().registerType(QStringLiteral("Test.Palette"), QStringLiteral("Palette"),
                                                  QStringLiteral(".hwp"), QString(), true, false, true,
                                                  PaletteWindow::staticMetaObject);
    TestWindowFramework test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_windowframework.moc"
