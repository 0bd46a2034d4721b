#include "documenttyperegistry.h"
#include "gaction.h"
#include "gapplication.h"
#include "gmainwindow.h"
#include "grecentfileprovider.h"
#include "gsettings.h"
#include "gslider.h"
#include "gspinbox.h"
#include "testsupport.h"

#include <QFileDialog>
#include <QFileOpenEvent>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTextDocument>
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
};
Script script;

class SheetWindow : public GMainWindow
{
    Q_OBJECT
public:
    Q_INVOKABLE SheetWindow() : GMainWindow(NewAction | OpenAction | SaveAction) {}

    bool loadFile(const QString& fileName) override
    {
        script.loaded << fileName;
        if (script.loadSucceeds)
            loadedDocument = fileName;
        return script.loadSucceeds;
    }
    bool saveFile(const QString& fileName) override
    {
        script.saved << fileName;
        if (script.saveSucceeds)
            modified = false;
        return script.saveSucceeds;
    }
    bool isModified() override { return modified; }

    bool modified = false;
    QString loadedDocument;
    int customSaves = 0;
    int customRestores = 0;

protected:
    void saveCustomSettings(QSettings& settings) override
    {
        ++customSaves;
        settings.setValue(QStringLiteral("custom"), loadedDocument);
    }
    void restoreCustomSettings(QSettings&) override { ++customRestores; }
};

// A second window class, for files of another type.
class PaletteWindow : public SheetWindow
{
    Q_OBJECT
public:
    Q_INVOKABLE PaletteWindow() = default;
};

// An object whose event handler throws, as a faulty slot or handler might.
class Thrower : public QObject
{
public:
    int handled = 0;
    bool event(QEvent* e) override
    {
        if (e->type() == QEvent::User)
            throw std::runtime_error("boom");
        if (e->type() == QEvent::User + 1) {
            ++handled;
            return true;
        }
        return QObject::event(e);
    }
};

QList<GMainWindow*> documentWindows()
{
    QList<GMainWindow*> windows;
    const QWidgetList topLevels = QApplication::topLevelWidgets();
    for (QWidget* widget : topLevels) {
        auto* window = qobject_cast<GMainWindow*>(widget);
        if (window && window->isVisible())
            windows << window;
    }
    return windows;
}

SheetWindow* newSheet()
{
    return qobject_cast<SheetWindow*>(GApplication::instance()->newFile());
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

}

class TestWindowFramework : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void actions_data();
    void actions();
    void actionFlagsSelectGroups();
    void gActionConnectsToParentSlot();
    void companionWidgets();

    void setFileNameUpdatesTitleRecentAndLastFile();
    void recentFilesKeepFiveNewestFirst();
    void recentMenusOfAllWindowsFollow();
    void recentActionOpensTheFile();

    void windowSettingsKey_data();
    void windowSettingsKey();
    void windowGeometryIsRememberedPerDocument();

    void openFileRaisesAlreadyOpenWindow();
    void openFileReusesUntitledUnmodifiedWindow();
    void openFileCreatesWindowWhenCandidateIsUsed_data();
    void openFileCreatesWindowWhenCandidateIsUsed();
    void failedLoadLeavesNewWindowOpenAndEmpty();
    void unknownExtensionOpensInDefaultWindowClass();
    void targetOfAnotherClassIsDropped();
    void openCommandAsksForAFile();
    void fileOpenEventOpensTheFile();

    void saveUntitledRunsSaveAsAndCancelWritesNothing();
    void saveAsAdoptsTheChosenName();
    void saveWithNameWritesDirectly();

    void closingUnmodifiedWindowClosesIt();
    void closeQuestion_data();
    void closeQuestion();
    void closeSaveOnUntitledThenCancelKeepsWindow();
    void closeAllWindowsAndQuitClosesEveryWindow();

    void exceptionInEventHandlerIsReportedAndProgramCarriesOn();
};

void TestWindowFramework::init()
{
    TestSupport::clearSettings();
    script = Script();
}

void TestWindowFramework::cleanup()
{
    const QList<GMainWindow*> windows = documentWindows();
    for (GMainWindow* window : windows) {
        static_cast<SheetWindow*>(window)->modified = false;
        window->close();
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(documentWindows().isEmpty());
}

void TestWindowFramework::actions_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("hasIcon");
    QTest::addColumn<QKeySequence>("shortcut");
    QTest::addColumn<QString>("statusTip");
    QTest::newRow("new") << "new" << "&New" << true << QKeySequence(QKeySequence::New) << "Create a new file";
    QTest::newRow("open") << "open" << "&Open..." << true << QKeySequence(QKeySequence::Open)
                          << "Open an existing file";
    QTest::newRow("save") << "save" << "&Save" << true << QKeySequence(QKeySequence::Save)
                          << "Save the document to disk";
    QTest::newRow("saveAs") << "saveAs" << "Save &As..." << false << QKeySequence(QKeySequence::SaveAs)
                            << "Save the document under a new name";
    QTest::newRow("close") << "close" << "Close" << false << QKeySequence(QKeySequence::Close)
                           << "Close sprite sheet";
    QTest::newRow("exit") << "exit" << "E&xit" << false << QKeySequence(QKeySequence::Quit)
                          << "Exit the application";
    QTest::newRow("about") << "about" << "&About" << false << QKeySequence() << "Show the application's About box";
    QTest::newRow("updates") << "updates" << "Check for updates ..." << false << QKeySequence()
                             << "Check for updates";
    QTest::newRow("preferences") << "preferences" << "Preferences ..." << false << QKeySequence() << "Preferences";
    QTest::newRow("feedback") << "feedback" << "Send feedback ..." << false << QKeySequence()
                              << "Send feedback, feature requests, bug reports";
}

void TestWindowFramework::actions()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(bool, hasIcon);
    QFETCH(QKeySequence, shortcut);
    QFETCH(QString, statusTip);

    SheetWindow* window = newSheet();
    const QHash<QString, GAction*> byName{
        {QStringLiteral("new"), window->newAction()},
        {QStringLiteral("open"), window->openAction()},
        {QStringLiteral("save"), window->saveAction()},
        {QStringLiteral("saveAs"), window->saveAsAction()},
        {QStringLiteral("close"), window->closeAction()},
        {QStringLiteral("exit"), window->exitAction()},
        {QStringLiteral("about"), window->aboutAction()},
        {QStringLiteral("updates"), window->updateCheckAction()},
        {QStringLiteral("preferences"), window->preferencesAction()},
        {QStringLiteral("feedback"), window->feedbackAction()},
    };
    GAction* action = byName.value(name);
    QVERIFY(action);
    QCOMPARE(action->parent(), window);
    QCOMPARE(action->text(), text);
    QCOMPARE(!action->icon().isNull(), hasIcon);
    if (hasIcon)
        QVERIFY(!action->icon().pixmap(32, 32).isNull());
    QCOMPARE(action->shortcut(), shortcut);
    QCOMPARE(action->statusTip(), statusTip);
    QCOMPARE(action->menuRole(),
             name == QLatin1String("updates") ? QAction::ApplicationSpecificRole : QAction::TextHeuristicRole);

    QVERIFY(window->separatorAction()->isSeparator());
}

void TestWindowFramework::actionFlagsSelectGroups()
{
    class NewOnly : public GMainWindow
    {
    public:
        NewOnly() : GMainWindow(NewAction) {}
        bool loadFile(const QString&) override { return false; }
        bool saveFile(const QString&) override { return false; }
        bool isModified() override { return false; }
        void saveCustomSettings(QSettings&) override {}
        void restoreCustomSettings(QSettings&) override {}
    };
    auto* window = new NewOnly;
    QVERIFY(window->newAction());
    QVERIFY(!window->openAction());
    QVERIFY(!window->saveAction());
    QVERIFY(!window->saveAsAction());
    QVERIFY(window->closeAction());
    QVERIFY(window->exitAction());
    QVERIFY(window->aboutAction());
    QVERIFY(window->preferencesAction());
    QVERIFY(window->updateCheckAction());
    QVERIFY(window->feedbackAction());
    QVERIFY(window->separatorAction());
    QVERIFY(window->testAttribute(Qt::WA_DeleteOnClose));
    QPointer<NewOnly> guard(window);
    window->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(guard.isNull());
}

void TestWindowFramework::gActionConnectsToParentSlot()
{
    QTimer parent;
    parent.setSingleShot(true);
    parent.setInterval(100000);
    auto* action = new GAction(QStringLiteral("Start"), &parent, SLOT(start()));
    action->trigger();
    QVERIFY(parent.isActive());
    parent.stop();

    auto* withIcon = new GAction(QIcon(QStringLiteral(":/32x32/New.png")), QStringLiteral("Go"), &parent,
                                 SLOT(start()));
    QVERIFY(!withIcon->icon().isNull());
    withIcon->trigger();
    QVERIFY(parent.isActive());
    parent.stop();

    auto* plain = new GAction(QStringLiteral("Nothing"), &parent, nullptr);
    plain->trigger();
    QVERIFY(!parent.isActive());
}

void TestWindowFramework::companionWidgets()
{
    GSpinBox spin;
    QCOMPARE(spin.minimum(), -2147483647 - 1);
    QCOMPARE(spin.maximum(), 2147483647);
    spin.setValue(-2000000000);
    QCOMPARE(spin.value(), -2000000000);
    GSlider slider;
    QCOMPARE(slider.minimum(), QSlider().minimum());
    QCOMPARE(slider.maximum(), QSlider().maximum());
}

void TestWindowFramework::setFileNameUpdatesTitleRecentAndLastFile()
{
    SheetWindow* window = newSheet();
    QVERIFY(!window->isUsed());
    window->setFileName(QStringLiteral("/work/levels/castle.hws"));
    QCOMPARE(window->fileName(), QStringLiteral("/work/levels/castle.hws"));
    QCOMPARE(window->windowFilePath(), QStringLiteral("castle.hws"));
    QVERIFY(window->isUsed());
    QCOMPARE(GRecentFileProvider::recentFiles(), QStringList{QStringLiteral("/work/levels/castle.hws")});
    QCOMPARE(GSettings().value(QStringLiteral("main/lastFileName")).toString(),
             QStringLiteral("/work/levels/castle.hws"));
}

void TestWindowFramework::recentFilesKeepFiveNewestFirst()
{
    GRecentFileProvider provider;
    for (int i = 1; i <= 6; ++i)
        provider.addFile(QStringLiteral("/d/%1.hws").arg(i));
    QCOMPARE(GRecentFileProvider::recentFiles(),
             (QStringList{"/d/6.hws", "/d/5.hws", "/d/4.hws", "/d/3.hws", "/d/2.hws"}));

    provider.addFile(QStringLiteral("/d/3.hws"));
    QCOMPARE(GRecentFileProvider::recentFiles(),
             (QStringList{"/d/3.hws", "/d/6.hws", "/d/5.hws", "/d/4.hws", "/d/2.hws"}));

    const QList<GAction*> actions = provider.actions();
    QCOMPARE(actions.size(), 5);
    QCOMPARE(actions[0]->text(), QStringLiteral("&1 3.hws"));
    QCOMPARE(actions[0]->data().toString(), QStringLiteral("/d/3.hws"));
    QCOMPARE(actions[4]->text(), QStringLiteral("&5 2.hws"));
    QCOMPARE(actions[4]->data().toString(), QStringLiteral("/d/2.hws"));
    for (GAction* action : actions)
        QVERIFY(action->isVisible());

    // Paths differing only in case are different files.
    provider.addFile(QStringLiteral("/D/3.hws"));
    QCOMPARE(GRecentFileProvider::recentFiles().mid(0, 2), (QStringList{"/D/3.hws", "/d/3.hws"}));

    // Fewer entries leave the remaining slots hidden.
    GSettings().setValue(QStringLiteral("recentFileList"), QStringList{QStringLiteral("/x/a.hws")});
    provider.updateActions();
    QCOMPARE(actions[0]->text(), QStringLiteral("&1 a.hws"));
    QVERIFY(actions[0]->isVisible());
    for (int i = 1; i < 5; ++i)
        QVERIFY(!actions[i]->isVisible());
}

void TestWindowFramework::recentMenusOfAllWindowsFollow()
{
    SheetWindow* first = newSheet();
    SheetWindow* second = newSheet();
    QMenu menu;
    first->createRecentFileMenu(&menu);
    QCOMPARE(menu.actions().size(), 1);
    QMenu* recent = menu.actions().first()->menu();
    QVERIFY(recent);
    QCOMPARE(recent->title(), QStringLiteral("Open recent"));
    QCOMPARE(recent->actions().size(), 5);

    second->setFileName(QStringLiteral("/home/u/ship.hws"));
    QCOMPARE(visibleRecentTexts(first), QStringList{QStringLiteral("&1 ship.hws")});
    QCOMPARE(visibleRecentTexts(second), QStringList{QStringLiteral("&1 ship.hws")});
    QCOMPARE(recent->actions().first()->data().toString(), QStringLiteral("/home/u/ship.hws"));

    first->setFileName(QStringLiteral("/home/u/tank.hws"));
    QCOMPARE(visibleRecentTexts(second), (QStringList{"&1 tank.hws", "&2 ship.hws"}));

    // A window that opens later starts from the stored list.
    SheetWindow* third = newSheet();
    QMenu thirdMenu;
    third->createRecentFileMenu(&thirdMenu);
    QCOMPARE(visibleRecentTexts(third), (QStringList{"&1 tank.hws", "&2 ship.hws"}));
}

void TestWindowFramework::recentActionOpensTheFile()
{
    SheetWindow* window = newSheet();
    window->recentFileProvider()->addFile(QStringLiteral("/levels/one.hws"));
    window->recentFileProvider()->actions().first()->trigger();
    QCOMPARE(script.loaded, QStringList{QStringLiteral("/levels/one.hws")});
    // The untitled window itself took the document.
    QCOMPARE(window->fileName(), QStringLiteral("/levels/one.hws"));
    QCOMPARE(documentWindows().size(), 1);

    // The application's own provider routes through openFile too.
    GApplication::instance()->recentFileProvider()->updateActions();
    GApplication::instance()->recentFileProvider()->actions().first()->trigger();
    QCOMPARE(script.loaded.size(), 1);  // already open: not loaded again
}

void TestWindowFramework::windowSettingsKey_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("key");
    QTest::newRow("untitled") << "" << "";
    QTest::newRow("unix") << "/home/me/my-level_2.hws" << "homememylevel2hws";
    QTest::newRow("windows") << "C:\\Games\\Space Ship.hws" << "CGamesSpaceShiphws";
    QTest::newRow("non-ascii") << "/tmp/niveau-été.hws" << "tmpniveauthws";
}

void TestWindowFramework::windowSettingsKey()
{
    QFETCH(QString, fileName);
    QFETCH(QString, key);
    QCOMPARE(GMainWindow::windowSettingsKey(fileName), key);
}

void TestWindowFramework::windowGeometryIsRememberedPerDocument()
{
    SheetWindow* window = newSheet();
    window->setFileName(QStringLiteral("/p/my-ship.hws"));
    window->setGeometry(40, 50, 640, 480);
    window->saveWindowSettings();
    QCOMPARE(window->customSaves, 1);
    {
        GSettings settings;
        QVERIFY(!settings.value(QStringLiteral("windowSettings/pmyshiphws/geometry")).toByteArray().isEmpty());
        QVERIFY(!settings.value(QStringLiteral("windowSettings/pmyshiphws/windowState")).toByteArray().isEmpty());
        QVERIFY(settings.contains(QStringLiteral("windowSettings/pmyshiphws/custom")));
    }

    // A path that differs only in punctuation shares the entry.
    SheetWindow* other = newSheet();
    other->setFileName(QStringLiteral("/p/myship.hws"));
    other->setGeometry(10, 10, 300, 200);
    other->restoreWindowSettings();
    QCOMPARE(other->customRestores, 1);
    QCOMPARE(other->size(), QSize(640, 480));

    // Nothing stored: nothing restored.
    SheetWindow* fresh = newSheet();
    fresh->setFileName(QStringLiteral("/p/unknown.hws"));
    fresh->resize(333, 222);
    fresh->restoreWindowSettings();
    QCOMPARE(fresh->size(), QSize(333, 222));
}

void TestWindowFramework::openFileRaisesAlreadyOpenWindow()
{
    GApplication* app = GApplication::instance();
    app->openFile(QStringLiteral("/p/a.hws"));
    QCOMPARE(script.loaded.size(), 1);
    SheetWindow* other = newSheet();
    other->modified = true;

    app->openFile(QStringLiteral("/p/a.hws"), other);
    QCOMPARE(script.loaded.size(), 1);
    QCOMPARE(documentWindows().size(), 2);

    // Only the exact same path string counts as already open.
    app->openFile(QStringLiteral("/P/a.hws"));
    QCOMPARE(script.loaded.size(), 2);
    QCOMPARE(documentWindows().size(), 3);
}

void TestWindowFramework::openFileReusesUntitledUnmodifiedWindow()
{
    SheetWindow* window = newSheet();
    GApplication::instance()->openFile(QStringLiteral("/p/b.hws"));
    QCOMPARE(documentWindows(), QList<GMainWindow*>{window});
    QCOMPARE(window->loadedDocument, QStringLiteral("/p/b.hws"));
    QCOMPARE(window->fileName(), QStringLiteral("/p/b.hws"));
    QCOMPARE(GRecentFileProvider::recentFiles().first(), QStringLiteral("/p/b.hws"));
    QCOMPARE(GSettings().value(QStringLiteral("main/lastFileName")).toString(), QStringLiteral("/p/b.hws"));
    QCOMPARE(window->customRestores, 1);
}

void TestWindowFramework::openFileCreatesWindowWhenCandidateIsUsed_data()
{
    QTest::addColumn<bool>("hasFile");
    QTest::addColumn<bool>("modified");
    QTest::addColumn<bool>("asTarget");
    QTest::newRow("has a file") << true << false << false;
    QTest::newRow("modified") << false << true << false;
    QTest::newRow("modified target") << false << true << true;
    QTest::newRow("target with a file") << true << false << true;
}

void TestWindowFramework::openFileCreatesWindowWhenCandidateIsUsed()
{
    QFETCH(bool, hasFile);
    QFETCH(bool, modified);
    QFETCH(bool, asTarget);
    SheetWindow* window = newSheet();
    if (hasFile)
        window->setFileName(QStringLiteral("/p/existing.hws"));
    window->modified = modified;

    GApplication::instance()->openFile(QStringLiteral("/p/c.hws"), asTarget ? window : nullptr);
    const QList<GMainWindow*> windows = documentWindows();
    QCOMPARE(windows.size(), 2);
    auto* created = static_cast<SheetWindow*>(windows.first() == window ? windows.last() : windows.first());
    QCOMPARE(created->loadedDocument, QStringLiteral("/p/c.hws"));
    QCOMPARE(created->fileName(), QStringLiteral("/p/c.hws"));
    QCOMPARE(window->loadedDocument, QString());
}

void TestWindowFramework::failedLoadLeavesNewWindowOpenAndEmpty()
{
    SheetWindow* window = newSheet();
    window->setFileName(QStringLiteral("/p/kept.hws"));
    script.loadSucceeds = false;
    GApplication::instance()->openFile(QStringLiteral("/p/broken.hws"));
    QCOMPARE(script.loaded, QStringList{QStringLiteral("/p/broken.hws")});
    const QList<GMainWindow*> windows = documentWindows();
    QCOMPARE(windows.size(), 2);
    auto* created = windows.first() == window ? windows.last() : windows.first();
    QVERIFY(created->isVisible());
    QCOMPARE(created->fileName(), QString());
    QCOMPARE(GRecentFileProvider::recentFiles(), QStringList{QStringLiteral("/p/kept.hws")});

    // A failed load into the reused untitled window leaves it untitled.
    GApplication::instance()->openFile(QStringLiteral("/p/broken2.hws"));
    QCOMPARE(documentWindows().size(), 2);
    QCOMPARE(created->fileName(), QString());
}

void TestWindowFramework::unknownExtensionOpensInDefaultWindowClass()
{
    GApplication::instance()->openFile(QStringLiteral("/p/picture.png"));
    const QList<GMainWindow*> windows = documentWindows();
    QCOMPARE(windows.size(), 1);
    QCOMPARE(windows.first()->metaObject()->className(), "SheetWindow");

    GApplication::instance()->openFile(QStringLiteral("/p/colours.HWP"));
    bool foundPalette = false;
    const QList<GMainWindow*> after = documentWindows();
    for (GMainWindow* window : after)
        foundPalette |= qstrcmp(window->metaObject()->className(), "PaletteWindow") == 0;
    QVERIFY(foundPalette);
}

void TestWindowFramework::targetOfAnotherClassIsDropped()
{
    auto* palette = qobject_cast<SheetWindow*>(GApplication::instance()->newFile(QStringLiteral("x.hwp")));
    QCOMPARE(palette->metaObject()->className(), "PaletteWindow");
    GApplication::instance()->openFile(QStringLiteral("/p/d.hws"), palette);
    QCOMPARE(palette->loadedDocument, QString());
    QCOMPARE(documentWindows().size(), 2);
}

void TestWindowFramework::openCommandAsksForAFile()
{
    QTemporaryDir dir;
    const QString chosen = dir.filePath(QStringLiteral("chosen.hws"));
    QFile(chosen).open(QIODevice::WriteOnly);
    SheetWindow* window = newSheet();
    QString caption, filter;
    TestSupport::ModalHandler handler([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        QVERIFY(dialog);
        caption = dialog->windowTitle();
        filter = dialog->nameFilters().join(QStringLiteral(";;"));
        QCOMPARE(dialog->directory().absolutePath(), QDir::currentPath());
        TestSupport::chooseFile(dialog, chosen);
    });
    window->openAction()->trigger();
    QVERIFY(handler.handled());
    QCOMPARE(caption, QStringLiteral("Open file"));
    QCOMPARE(filter, QStringLiteral("All known types (*.hws *.hwp);;Sheet (*.hws);;Palette (*.hwp)"));
    QCOMPARE(window->loadedDocument, chosen);
}

void TestWindowFramework::fileOpenEventOpensTheFile()
{
    QFileOpenEvent event(QStringLiteral("/p/from-desktop.hws"));
    QVERIFY(QCoreApplication::sendEvent(GApplication::instance(), &event));
    QCOMPARE(script.loaded, QStringList{QStringLiteral("/p/from-desktop.hws")});
    QCOMPARE(documentWindows().size(), 1);
}

void TestWindowFramework::saveUntitledRunsSaveAsAndCancelWritesNothing()
{
    GSettings().setValue(QStringLiteral("main/lastFileName"), QStringLiteral("/somewhere/last.hws"));
    SheetWindow* window = newSheet();
    QString caption, selected;
    TestSupport::ModalHandler handler([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        QVERIFY(dialog);
        caption = dialog->windowTitle();
        QCOMPARE(dialog->acceptMode(), QFileDialog::AcceptSave);
        QCOMPARE(dialog->nameFilters().join(QStringLiteral(";;")),
                 QStringLiteral("All known types (*.hws);;Sheet (*.hws)"));
        dialog->reject();
    });
    window->saveAction()->trigger();
    QVERIFY(handler.handled());
    QCOMPARE(caption, QStringLiteral("Save document"));
    QVERIFY(script.saved.isEmpty());
    QCOMPARE(window->fileName(), QString());
    // The untitled window's settings are still written under the empty key.
    QVERIFY(GSettings().contains(QStringLiteral("windowSettings/geometry")));
}

void TestWindowFramework::saveAsAdoptsTheChosenName()
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("new-name.hws"));
    SheetWindow* window = newSheet();
    SheetWindow* other = newSheet();
    QMenu menu;
    other->createRecentFileMenu(&menu);
    window->modified = true;
    TestSupport::ModalHandler handler([&](QWidget* modal) {
        TestSupport::chooseFile(modal, target);
    });
    window->saveAsAction()->trigger();
    QVERIFY(handler.handled());
    QCOMPARE(script.saved, QStringList{target});
    QCOMPARE(window->fileName(), target);
    QCOMPARE(window->windowFilePath(), QStringLiteral("new-name.hws"));
    QCOMPARE(visibleRecentTexts(other), QStringList{QStringLiteral("&1 new-name.hws")});
    QCOMPARE(GSettings().value(QStringLiteral("main/lastFileName")).toString(), target);
    QVERIFY(!window->isModified());
    GSettings settings;
    QVERIFY(settings.contains(QStringLiteral("windowSettings/%1/geometry")
                                  .arg(GMainWindow::windowSettingsKey(target))));
}

void TestWindowFramework::saveWithNameWritesDirectly()
{
    SheetWindow* window = newSheet();
    window->setFileName(QStringLiteral("/p/direct.hws"));
    window->modified = true;
    window->saveAction()->trigger();
    QCOMPARE(script.saved, QStringList{QStringLiteral("/p/direct.hws")});
    QVERIFY(GSettings().contains(QStringLiteral("windowSettings/pdirecthws/geometry")));
}

void TestWindowFramework::closingUnmodifiedWindowClosesIt()
{
    QPointer<SheetWindow> window = newSheet();
    window->setFileName(QStringLiteral("/p/plain.hws"));
    window->closeAction()->trigger();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(window.isNull());
    QVERIFY(GSettings().contains(QStringLiteral("windowSettings/pplainhws/geometry")));
}

void TestWindowFramework::closeQuestion_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("saveSucceeds");
    QTest::addColumn<bool>("closes");
    QTest::addColumn<int>("saves");
    QTest::newRow("save") << int(QMessageBox::Save) << true << true << 1;
    QTest::newRow("save fails") << int(QMessageBox::Save) << false << false << 1;
    QTest::newRow("discard") << int(QMessageBox::Discard) << true << true << 0;
    QTest::newRow("cancel") << int(QMessageBox::Cancel) << true << false << 0;
}

void TestWindowFramework::closeQuestion()
{
    QFETCH(int, answer);
    QFETCH(bool, saveSucceeds);
    QFETCH(bool, closes);
    QFETCH(int, saves);
    script.saveSucceeds = saveSucceeds;
    QPointer<SheetWindow> window = newSheet();
    window->setFileName(QStringLiteral("/p/edited.hws"));
    window->modified = true;

    QString text, informative;
    int defaultButton = 0;
    TestSupport::ModalHandler handler([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        QVERIFY(box);
        text = box->text();
        informative = box->informativeText();
        QCOMPARE(box->standardButtons(), QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
        defaultButton = box->standardButton(box->defaultButton());
        box->button(QMessageBox::StandardButton(answer))->click();
    });
    window->close();
    QVERIFY(handler.handled());
    QCOMPARE(text, QStringLiteral("The document has been modified."));
    QCOMPARE(informative, QStringLiteral("Do you want to save your changes?"));
    QCOMPARE(defaultButton, int(QMessageBox::Save));
    QCOMPARE(script.saved.size(), saves);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(window.isNull(), closes);
    if (!closes)
        QVERIFY(window->isModified());
}

void TestWindowFramework::closeSaveOnUntitledThenCancelKeepsWindow()
{
    QPointer<SheetWindow> window = newSheet();
    window->modified = true;
    TestSupport::ModalHandler question({
        [](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            QVERIFY(box);
            box->button(QMessageBox::Save)->click();
        },
        // Answering Save opens the Save As dialog; cancel it.
        [](QWidget* modal) {
            QVERIFY(qobject_cast<QFileDialog*>(modal));
            qobject_cast<QDialog*>(modal)->reject();
        },
    });
    window->close();
    QVERIFY(question.handled());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!window.isNull());
    QVERIFY(window->isModified());
    QVERIFY(script.saved.isEmpty());
}

void TestWindowFramework::closeAllWindowsAndQuitClosesEveryWindow()
{
    newSheet();
    newSheet();
    QCOMPARE(documentWindows().size(), 2);
    GApplication::instance()->setQuitOnLastWindowClosed(false);
    QSignalSpy lastClosed(GApplication::instance(), &QGuiApplication::lastWindowClosed);
    GApplication::instance()->closeAllWindowsAndQuit();
    QVERIFY(GApplication::instance()->quitOnLastWindowClosed());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(documentWindows().isEmpty());
    // Keep the test's own event loop alive.
    GApplication::instance()->setQuitOnLastWindowClosed(false);
}

void TestWindowFramework::exceptionInEventHandlerIsReportedAndProgramCarriesOn()
{
    RecordingReporter recorder;
    Thrower thrower;
    QEvent faulty(QEvent::User);
    QCOMPARE(QCoreApplication::sendEvent(&thrower, &faulty), false);
    QCOMPARE(recorder.entries.size(), 1);
    QCOMPARE(recorder.entries.first().severity, Reporter::Critical);
    QCOMPARE(recorder.entries.first().title, QStringLiteral("Critial Error"));
    QCOMPARE(recorder.entries.first().text,
             QStringLiteral("Caught unhandled exception<br/>Please report to "
                            "<a href=\"mailto:support@hullwright.org\">support@hullwright.org</a>"));
    QVERIFY(Qt::mightBeRichText(recorder.entries.first().text));

    // Posted events thrown from inside the event loop are caught as well.
    QCoreApplication::postEvent(&thrower, new QEvent(QEvent::User));
    QCoreApplication::postEvent(&thrower, new QEvent(QEvent::Type(QEvent::User + 1)));
    QCoreApplication::sendPostedEvents(&thrower);
    QCOMPARE(recorder.entries.size(), 2);
    QCOMPARE(thrower.handled, 1);
}

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
