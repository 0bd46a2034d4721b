#include "documenttyperegistry.h"
#include "elementlistmodel.h"
#include "gaction.h"
#include "globalsettings.h"
#include "grecentfileprovider.h"
#include "hullwrightapplication.h"
#include "mainwindow.h"
#include "startup.h"
#include "testsupport.h"

#include <QMenuBar>
#include <QMessageBox>
#include <QProcess>
#include <QTextDocument>
#include <QRegularExpression>
#include <QToolBar>
#include <QUuid>
#include <QtTest>

class TestApp : public QObject
{
    Q_OBJECT

private slots:
    void init() { TestSupport::clearSettings(); }
    void cleanup();

    void applicationIdentity();
    void documentTypeIsRegistered();
    void installationIdIsCreatedOnce();
    void statistics_data();
    void statistics();
    void exporterDirectories();
    void updateConfig();
    void firstWindowHasFileEditAndHelpMenus();
    void loadFailureIsReportedAndWindowStays();
    void openingAProjectInstallsItsDocument();
    void aboutBox();
    void editorStartsAndKeepsItsInstallationId();
};

void TestApp::cleanup()
{
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget* window : windows)
        window->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void TestApp::applicationIdentity()
{
    auto* app = qobject_cast<HullwrightApplication*>(QCoreApplication::instance());
    QVERIFY(app);
    QCOMPARE(app->applicationName(), QStringLiteral("Hullwright"));
    QCOMPARE(app->applicationVersion(), QStringLiteral("1.0.9"));
    QCOMPARE(app->applicationId(), QStringLiteral("Hullwright"));
    QCOMPARE(app->organizationName(), QStringLiteral("hullwright.org"));
    QVERIFY(!app->windowIcon().isNull());
    QVERIFY(!QIcon(QStringLiteral(":/resources/Icon.png")).isNull());
    QVERIFY(GSettings().fileName().contains(QLatin1String("hullwright.org")));
}

void TestApp::documentTypeIsRegistered()
{
    const DocumentTypeRegistry& registry = DocumentTypeRegistry::instance();
    QCOMPARE(registry.count(), 1);
    const DocumentType* type = registry.defaultType();
    QCOMPARE(type->progId, QStringLiteral("Hullwright.SpriteSheet"));
    QCOMPARE(type->description, QStringLiteral("Hullwright Sheet"));
    QCOMPARE(type->extension, QStringLiteral(".hws"));
    QCOMPARE(type->iconName, QStringLiteral("HWS.ico"));
    QVERIFY(type->openable);
    QVERIFY(type->saveable);
    QCOMPARE(type->windowClass.className(), "MainWindow");
    QCOMPARE(registry.openFilter(), QStringLiteral("All known types (*.hws);;Hullwright Sheet (*.hws)"));
}

void TestApp::installationIdIsCreatedOnce()
{
    QVERIFY(!GSettings().contains(QStringLiteral("uuid")));
    const QString id = Startup::ensureInstallationId();
    QVERIFY(QRegularExpression(QStringLiteral("^\\{[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}\\}$"))
                .match(id)
                .hasMatch());
    QCOMPARE(GSettings().value(QStringLiteral("uuid")).toString(), id);
    QCOMPARE(Startup::ensureInstallationId(), id);
    QCOMPARE(Startup::collectStatistics().value(QStringLiteral("uuid")).toString(), id);
}

void TestApp::statistics_data()
{
    QTest::addColumn<QVariant>("storedCounter");
    QTest::addColumn<QVariant>("storedExporter");
    QTest::addColumn<QString>("crashCounter");
    QTest::addColumn<QString>("lastExporter");
    QTest::newRow("fresh") << QVariant() << QVariant() << "-1" << "";
    QTest::newRow("five") << QVariant(QStringLiteral("5")) << QVariant(QStringLiteral("box2d")) << "4" << "box2d";
    QTest::newRow("integer") << QVariant(1) << QVariant() << "0" << "";
    QTest::newRow("not a number") << QVariant(QStringLiteral("lots")) << QVariant() << "-1" << "";
}

void TestApp::statistics()
{
    QFETCH(QVariant, storedCounter);
    QFETCH(QVariant, storedExporter);
    QFETCH(QString, crashCounter);
    QFETCH(QString, lastExporter);
    {
        GSettings settings;
        if (storedCounter.isValid())
            settings.setValue(QStringLiteral("crashCounter"), storedCounter);
        if (storedExporter.isValid())
            settings.setValue(QStringLiteral("lastExporter"), storedExporter);
    }
    Startup::ensureInstallationId();
    const QVariantMap statistics = Startup::collectStatistics();
    QCOMPARE(statistics.keys(),
             (QStringList{"crashCounter", "lastExporter", "osName", "osVersion", "uuid", "version"}));
    QCOMPARE(statistics.value(QStringLiteral("crashCounter")).toString(), crashCounter);
    QCOMPARE(statistics.value(QStringLiteral("lastExporter")).toString(), lastExporter);
    QCOMPARE(statistics.value(QStringLiteral("version")).toString(), QStringLiteral("1.0.9"));
    QCOMPARE(statistics.value(QStringLiteral("osName")).toString(), QStringLiteral("Linux"));
    QVERIFY(!statistics.value(QStringLiteral("osVersion")).toString().isEmpty());
    for (const QVariant& value : statistics)
        QCOMPARE(value.userType(), int(QMetaType::QString));
    // Reading the statistics never writes the counters.
    QCOMPARE(GSettings().value(QStringLiteral("crashCounter")), storedCounter);
}

void TestApp::exporterDirectories()
{
    QCOMPARE(Startup::exporterDirectories(QStringLiteral("/opt/hw")), QStringList{QStringLiteral("/opt/hw/exporters")});
    GlobalSettings().setCustomExporterPath(QString());
    QCOMPARE(Startup::exporterDirectories(QStringLiteral("/opt/hw")), QStringList{QStringLiteral("/opt/hw/exporters")});
    GlobalSettings().setCustomExporterPath(QStringLiteral("/home/me/my exporters"));
    QCOMPARE(Startup::exporterDirectories(QStringLiteral("/opt/hw")),
             (QStringList{"/opt/hw/exporters", "/home/me/my exporters"}));
}

void TestApp::updateConfig()
{
    const UpdateConfig config = Startup::prepareUpdateConfig();
    QCOMPARE(config.iconPath, QStringLiteral(":/resources/Icon.png"));
    QVERIFY(config.baseUrl.startsWith(QLatin1String("https://")));
    QVERIFY(!config.baseUrl.endsWith(QLatin1Char('/')));
    QVERIFY(QUrl(config.baseUrl).isValid());
}

void TestApp::firstWindowHasFileEditAndHelpMenus()
{
    GMainWindow* window = GApplication::instance()->newFile();
    QVERIFY(qobject_cast<MainWindow*>(window));
    QVERIFY(window->isVisible());
    QVERIFY(!window->isUsed());

    QStringList menus;
    const QList<QAction*> menuActions = window->menuBar()->actions();
    for (QAction* action : menuActions) {
        if (action->menu())
            menus << action->menu()->title();
    }
    QCOMPARE(menus, (QStringList{"&File", "&Edit", "&Help"}));

    QMenu* file = menuActions.first()->menu();
    QStringList fileItems;
    const QList<QAction*> fileActions = file->actions();
    for (QAction* action : fileActions)
        fileItems << (action->isSeparator() ? QStringLiteral("-") : action->text());
    QCOMPARE(fileItems, (QStringList{"&New", "&Open...", "Open recent", "-", "Close", "&Save", "Save &As...", "-",
                                     "&Publish", "Publish As", "-", "E&xit"}));

    QMenu* help = menuActions.last()->menu();
    QStringList helpItems;
    const QList<QAction*> helpActions = help->actions();
    for (QAction* action : helpActions)
        helpItems << action->text();
    QCOMPARE(helpItems, (QStringList{"&About", "Preferences ...", "Check for updates ...", "Send feedback ..."}));

    auto* toolBar = window->findChild<QToolBar*>(QStringLiteral("fileToolBar"));
    QVERIFY(toolBar);
    QCOMPARE(toolBar->actions().size(), 5);
    QCOMPARE(toolBar->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
}

void TestApp::loadFailureIsReportedAndWindowStays()
{
    RecordingReporter recorder;
    GApplication::instance()->openFile(QStringLiteral("/nowhere/level.hws"));
    QCOMPARE(recorder.entries.size(), 1);
    QCOMPARE(recorder.entries.first().severity, Reporter::Warning);
    QCOMPARE(recorder.entries.first().title, QStringLiteral("Error"));
    QVERIFY(recorder.entries.first().text.contains(QLatin1String("/nowhere/level.hws")));
    auto* window = qobject_cast<MainWindow*>(recorder.entries.first().context);
    QVERIFY(window);
    QVERIFY(window->isVisible());
    QCOMPARE(window->fileName(), QString());
    QVERIFY(GRecentFileProvider::recentFiles().isEmpty());
}

void TestApp::openingAProjectInstallsItsDocument()
{
    QTemporaryDir dir;
    const QString project = dir.filePath(QStringLiteral("level.hws"));
    {
        ElementListModel document;
        document.addFile(dir.filePath(QStringLiteral("crate.png")));
        document.addFile(dir.filePath(QStringLiteral("barrel.png")));
        QVERIFY(document.save(project));
    }
    GApplication::instance()->openFile(project);
    auto* window = qobject_cast<MainWindow*>(QApplication::activeWindow() ? QApplication::activeWindow() : nullptr);
    if (!window) {
        const QWidgetList all = QApplication::topLevelWidgets();
        for (QWidget* widget : all) {
            auto* candidate = qobject_cast<MainWindow*>(widget);
            if (candidate && candidate->fileName() == project)
                window = candidate;
        }
    }
    QVERIFY(window);
    QCOMPARE(window->fileName(), project);
    QCOMPARE(window->model()->rowCount(), 2);
    QVERIFY(!window->isModified());

    // Save As writes the document under the new name; the old file stays.
    const QString copy = dir.filePath(QStringLiteral("copy.hws"));
    QVERIFY(window->saveFile(copy));
    ElementListModel reread;
    QVERIFY(reread.load(copy));
    QCOMPARE(reread.rowCount(), 2);

    RecordingReporter recorder;
    QVERIFY(!window->saveFile(dir.filePath(QStringLiteral("missing/dir/x.hws"))));
    QCOMPARE(recorder.entries.size(), 1);
    QCOMPARE(recorder.entries.first().title, QStringLiteral("Error writing file"));
}

void TestApp::aboutBox()
{
    GMainWindow* window = GApplication::instance()->newFile();
    QString title, text;
    QWidget* parent = nullptr;
    TestSupport::ModalHandler handler([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        QVERIFY(box);
        title = box->windowTitle();
        text = box->text();
        parent = box->parentWidget();
        box->accept();
    });
    window->aboutAction()->trigger();
    QVERIFY(handler.handled());
    QCOMPARE(parent, window);
    QCOMPARE(title, QStringLiteral("About Hullwright"));
    QVERIFY(text.startsWith(QLatin1String("<b>Hullwright 1.0.9</b><br/><br/>")));
    QVERIFY(text.contains(QLatin1String("Corona SDK")));
    QVERIFY(text.contains(QLatin1String("Icons: ")));
    QVERIFY(Qt::mightBeRichText(text));
}

void TestApp::editorStartsAndKeepsItsInstallationId()
{
    QTemporaryDir config;
    auto start = [&config]() {
        QProcess editor;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        const qint64 nowNs = QDateTime::currentMSecsSinceEpoch() * 1000000;
        env.insert(QStringLiteral("HULLWRIGHT_STARTUP_PROBE"), QString::number(nowNs));
        editor.setProcessEnvironment(env);
        editor.start(QStringLiteral(HULLWRIGHT_BINARY), {QStringLiteral("/ignored/on/the/command/line.hws")});
        if (!editor.waitForFinished(60000)) {
            editor.kill();
            editor.waitForFinished();
        }
        return std::make_pair(editor.exitCode(), QString::fromUtf8(editor.readAllStandardOutput()));
    };
    const auto first = start();
    QCOMPARE(first.first, 0);
    QVERIFY2(first.second.startsWith(QLatin1String("startup-ms ")), qPrintable(first.second));

    QSettings stored(config.filePath(QStringLiteral("hullwright.org/Hullwright.conf")), QSettings::IniFormat);
    const QString id = stored.value(QStringLiteral("uuid")).toString();
    QVERIFY(!QUuid::fromString(id).isNull());
    // The command line is not read: nothing was opened or remembered.
    QVERIFY(!stored.contains(QStringLiteral("recentFileList")));

    QCOMPARE(start().first, 0);
    stored.sync();
    QCOMPARE(stored.value(QStringLiteral("uuid")).toString(), id);
}

int main(int argc, char** argv)
{
    TestSupport::isolateSettings();
    HullwrightApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    TestApp test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_app.moc"
