#include "autoupdater.h"
#include "crashhandler.h"
#include "elementlistmodel.h"
#include "feedbackdialog.h"
#include "feedupdater.h"
#include "gaction.h"
#include "gsettings.h"
#include "hullwrightapplication.h"
#include "loopbackserver.h"
#include "mainwindow.h"
#include "modeltestsupport.h"
#include "recoverystore.h"
#include "startup.h"
#include "systeminquiry.h"
#include "testsupport.h"
#include "updaterdialog.h"

#include <QtTest>
#include <QtWidgets>

Q_DECLARE_METATYPE(Startup::RecoveryAnswer)

namespace {

// A saved project of one body for `image`, loaded again and changed: a document with unsaved work.
std::unique_ptr<ElementListModel> changedProject(const QDir& dir, const QString& image, int width)
{
    const QString project = dir.filePath(image + QStringLiteral(".hws"));
    {
        ElementListModel document;
        ModelTest::addBody(document, ModelTest::makeImage(dir, image + QStringLiteral(".png"), width, 4));
        if (!document.save(project))
            return nullptr;
    }
    auto document = std::make_unique<ElementListModel>();
    if (!document->load(project))
        return nullptr;
    document->element(0)->setValue(QStringLiteral("name"), QString(QStringLiteral("renamed ") + image));
    return document;
}

// Whether the web engine's library is mapped into this process.
bool webEngineLoaded()
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("libQt5WebKit");
}

}

class TestApp : public QObject
{
    Q_OBJECT

private slots:
    void init() { TestSupport::clearSettings(); }

    void saveAsAndFailedSave()
    {
        // Save As writes the document under the new name; a write that fails is reported.
        QTemporaryDir dir;
        ElementListModel reread;
        RecordingReporter recorder;
        auto* window = qobject_cast<MainWindow*>(GApplication::instance()->newFile());
        window->model()->addFile(dir.filePath(QStringLiteral("crate.png")));
        QVERIFY(window->saveFile(dir.filePath("copy.hws")) && reread.load(dir.filePath("copy.hws")));
        QCOMPARE(reread.rowCount(), 1);
        recorder.entries.clear();  // the copy names no exporter known here
        QVERIFY(!window->saveFile(dir.filePath(QStringLiteral("missing/dir/x.hws"))));
        QCOMPARE(recorder.entries.size(), 1);
        QCOMPARE(recorder.entries.last().title, QStringLiteral("Error writing file"));
        window->close();
    }

    void crashCheckOffersLogsOfEarlierRuns()
    {
        const QString directory = CrashHandler::defaultDirectory();
        QVERIFY(QDir().mkpath(directory));
        const QStringList logs{QStringLiteral("Hullwright 1.0.9 crashed\nSignal: 6 (SIGABRT)\n"),
                               QStringLiteral("Hullwright 1.0.9 crashed\nSignal: 11 (SIGSEGV)\n#0 <here>\n")};
        for (int i = 0; i < logs.size(); ++i) {
            QFile file(directory + QStringLiteral("/crash-%1-1.log").arg(i));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(logs.at(i).toUtf8()) > 0 && file.flush());
            file.setFileTime(QDateTime::currentDateTime().addSecs(i - 10), QFileDevice::FileModificationTime);
        }
        // The crash report shows the newest log and sends all of them, while the editor knows it handles a crash.
        int shown = 0;
        TestSupport::ModalHandler handler({[&](QWidget* modal) {
            auto* dialog = qobject_cast<FeedbackDialog*>(modal);
            QCOMPARE(dialog->currentPage(), FeedbackDialog::CrashPage);
            QVERIFY(GApplicationAddons::instance()->isHandlingCrash());
            QCOMPARE(dialog->findChild<QPlainTextEdit*>(QStringLiteral("crashLog"))->toPlainText(), logs.last());
            dialog->findChild<QPlainTextEdit*>("crashDescription")->setPlainText("Traced & saved");
            const QByteArray document = dialog->feedbackDocument();
            const QByteArray newest = "Hullwright 1.0.9 crashed\nSignal: 11 (SIGSEGV)\n#0 &lt;here&gt;\n";
            QCOMPARE(document.mid(document.indexOf("\t<additional>")),
                     QByteArray("\t<additional>\n\t\t<key>log-1</key>\n\t\t<value>" + logs.first().toUtf8()
                                + "</value>\n\t\t<key>log-2</key>\n\t\t<value>" + newest
                                + "</value>\n\t</additional>\n\t<type>crash</type>\n\t<crash>\n\t\t<description>Traced "
                                  "&amp; saved</description>\n\t\t<reproduce></reproduce>\n\t\t<log>" + newest
                                + "</log>\n\t</crash>\n</feedback>\n"));
            ++shown;
        }, [&](QWidget*) { ++shown; }});
        Startup::runCrashReportCheck();
        QVERIFY(!GApplicationAddons::instance()->isHandlingCrash());
        // The next start has nothing new to offer.
        Startup::runCrashReportCheck();
        QCoreApplication::processEvents();
        QCOMPARE(shown, 1);
    }

    void recoveryAsksOncePerEntryOfAnEndedEditor()
    {
        QTemporaryDir dir;
        const QString recovery = dir.filePath(QStringLiteral("recovery"));
        const QDir images(dir.path());
        const std::unique_ptr<ElementListModel> untitled = changedProject(images, "a", 4);
        const std::unique_ptr<ElementListModel> discarded = changedProject(images, "b", 5);
        const std::unique_ptr<ElementListModel> kept = changedProject(images, "c", 6);
        QVERIFY(untitled && discarded && kept);
        // Three editors that ended without closing their documents, in this order.
        const QList<QPair<ElementListModel*, QString>> documents{
            {untitled.get(), QString()}, {discarded.get(), dir.filePath("b.hws")}, {kept.get(), dir.filePath("kept.hws")}};
        QStringList copies;
        for (const auto& [document, fileName] : documents) {
            RecoveryStore store(recovery);
            QVERIFY(store.write(*document, fileName));
            copies << store.projectFile();
            QTest::qWait(5);
        }
        // An editor still running keeps its entry to itself.
        RecoveryStore running(recovery);
        QVERIFY(running.write(*kept, dir.filePath("running.hws")));

        RecordingReporter recorder;  // the documents name no exporter known here
        QList<QDateTime> asked;
        QList<Startup::RecoveryAnswer> answers{Startup::RecoveryAnswer::Recover, Startup::RecoveryAnswer::Discard,
                                               Startup::RecoveryAnswer::Later};
        const auto ask = [&](const QDateTime& written) {
            asked << written;
            return answers.takeFirst();
        };
        QList<GMainWindow*> windows = Startup::runRecoveryCheck(ask, recovery);
        QCOMPARE(asked.size(), 3);
        QVERIFY(asked.at(0) < asked.at(1) && asked.at(1) < asked.at(2));
        QCOMPARE(windows.size(), 1);
        auto* window = qobject_cast<MainWindow*>(windows.first());
        QCOMPARE(ModelTest::describe(*window->model()), ModelTest::describe(*untitled));
        QVERIFY(window->isModified() && window->isWindowModified());
        QCOMPARE(window->fileName(), QString());
        // Recovered and discarded copies are gone; the one left for later comes back at the next start, alone.
        QVERIFY(!QFileInfo::exists(copies.at(0)) && !QFileInfo::exists(copies.at(1)));
        QVERIFY(QFileInfo::exists(copies.at(2)) && QFileInfo::exists(running.projectFile()));
        asked.clear();
        answers = {Startup::RecoveryAnswer::Recover};
        windows << Startup::runRecoveryCheck(ask, recovery);
        QCOMPARE(asked.size(), 1);
        QCOMPARE(windows.size(), 2);
        window = qobject_cast<MainWindow*>(windows.last());
        QCOMPARE(window->fileName(), dir.filePath("kept.hws"));
        QCOMPARE(ModelTest::describe(*window->model()), ModelTest::describe(*kept));
        QVERIFY(!QFileInfo::exists(copies.at(2)));
        for (GMainWindow* opened : windows) {
            static_cast<MainWindow*>(opened)->model()->setModified(false);
            opened->close();
        }
    }

    void recoveryQuestion_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<Startup::RecoveryAnswer>("answer");
        QTest::newRow("recover") << QStringLiteral("Recover") << Startup::RecoveryAnswer::Recover;
        QTest::newRow("discard") << QStringLiteral("Discard") << Startup::RecoveryAnswer::Discard;
        QTest::newRow("later") << QStringLiteral("Later") << Startup::RecoveryAnswer::Later;
        // Closing the question decides nothing.
        QTest::newRow("escape") << QString() << Startup::RecoveryAnswer::Later;
    }

    void recoveryQuestion()
    {
        QFETCH(QString, button);
        QFETCH(Startup::RecoveryAnswer, answer);
        QString title, text;
        TestSupport::ModalHandler handler([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            QVERIFY(box);
            title = box->windowTitle();
            text = box->text();
            if (button.isEmpty()) {
                QTest::keyClick(box, Qt::Key_Escape);
                return;
            }
            const QList<QAbstractButton*> buttons = box->buttons();
            for (QAbstractButton* candidate : buttons) {
                if (candidate->text() == button)
                    candidate->click();
            }
        });
        const QDateTime written(QDate(2031, 3, 5), QTime(14, 7, 9), Qt::UTC);
        QCOMPARE(Startup::askAboutRecovery(written), answer);
        QVERIFY(handler.handled());
        QCOMPARE(title, QStringLiteral("Recover Unsaved Work"));
        QVERIFY2(text.startsWith("Recover unsaved work from ") && text.endsWith('?') && text.contains("2031")
                     && text.contains(":07"),
                 qPrintable(text));
    }

    void killedEditorsWorkIsRecovered()
    {
        // The editor and this test share data and settings directories of their own.
        QTemporaryDir root;
        const QByteArray dataHome = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", root.filePath(QStringLiteral("data")).toLocal8Bit());
        const auto restore = qScopeGuard([&]() { qputenv("XDG_DATA_HOME", dataHome); });
        QVERIFY(QDir(root.path()).mkpath(QStringLiteral("runtime")));
        QFile::setPermissions(root.filePath("runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const QString project = root.filePath(QStringLiteral("level one.hws"));
        {
            ElementListModel document;
            ModelTest::addBody(document, ModelTest::makeImage(QDir(root.path()), "crate.png", 8, 6));
            QVERIFY(document.save(project));
        }
        const QByteArray saved = ModelTest::readFile(project);

        QProcess editor;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), root.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), root.filePath(QStringLiteral("runtime")));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        editor.setProcessEnvironment(env);
        editor.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        editor.start(QStringLiteral(HWT_AUTOSAVE_CHILD), {project, QStringLiteral("renamed crate")});
        // It prints its document once the copy is written.
        QByteArray output;
        QTRY_VERIFY_WITH_TIMEOUT((output += editor.readAllStandardOutput()).endsWith("\nend\n")
                                     || editor.state() == QProcess::NotRunning, 60000);
        QVERIFY2(output.startsWith("document\n") && output.endsWith("\nend\n"), output.constData());
        const QString before = QString::fromUtf8(output.mid(9, output.size() - 9 - 5));
        editor.kill();
        QVERIFY(editor.waitForFinished(10000));
        QCOMPARE(ModelTest::readFile(project), saved);

        // The copy names no exporter known here, which is reported.
        RecordingReporter recorder;
        QList<QDateTime> asked;
        const QList<GMainWindow*> windows = Startup::runRecoveryCheck([&](const QDateTime& written) {
            asked << written;
            return Startup::RecoveryAnswer::Recover;
        });
        QCOMPARE(asked.size(), 1);
        QVERIFY(qAbs(asked.first().secsTo(QDateTime::currentDateTimeUtc())) < 120);
        QCOMPARE(windows.size(), 1);
        auto* window = qobject_cast<MainWindow*>(windows.first());
        QCOMPARE(ModelTest::describe(*window->model()), before);
        QVERIFY(window->isModified() && window->isWindowModified());
        QCOMPARE(window->fileName(), project);
        QCOMPARE(QDir(RecoveryStore::defaultDirectory()).entryList(QDir::Files), QStringList());
        window->model()->setModified(false);
        window->close();
    }

    void updateCheckerAtStartupAndOnRequest()
    {
        LoopbackServer server([](const HttpRequest&) {
            return HttpResponse{200, "<rss><channel><item><enclosure url=\"https://example.invalid/hw.deb\" "
                                     "sparkle:version=\"1.1.0\"/></item></channel></rss>"};
        });
        qputenv("HULLWRIGHT_UPDATE_BASE_URL", (server.base() + QStringLiteral("/")).toUtf8());
        UpdateConfig config = Startup::prepareUpdateConfig();
        qunsetenv("HULLWRIGHT_UPDATE_BASE_URL");
        QCOMPARE(config.baseUrl, server.base());
        // The program fetches updates over https only; the loopback server is plain http.
        QVERIFY(!config.allowLoopbackHttp);
        config.allowLoopbackHttp = true;
        // The statistics: crash counter less this start, last exporter, installation identifier (made once); read only.
        GSettings().setValue(QStringLiteral("crashCounter"), QStringLiteral("5"));
        GSettings().setValue(QStringLiteral("lastExporter"), QStringLiteral("box2d"));
        const QString id = Startup::ensureInstallationId();
        QVERIFY(!QUuid::fromString(id).isNull() && Startup::ensureInstallationId() == id);
        config.statistics = Startup::collectStatistics();
        const SystemInquiry& system = SystemInquiry::instance();
        QCOMPARE(config.statistics, (QVariantMap{{"crashCounter", "4"}, {"lastExporter", "box2d"}, {"uuid", id},
                                                 {"osName", system.osName()}, {"osVersion", system.osVersion()},
                                                 {"version", QCoreApplication::applicationVersion()}}));
        QCOMPARE(GSettings().value(QStringLiteral("crashCounter")), QVariant(QStringLiteral("5")));
        // A skipped version is offered only when the user asks.
        GSettings().setValue(QStringLiteral("updater/skippedversions"), QStringList{QStringLiteral("1.1.0")});
        RecordingReporter recorder;
        Startup::startUpdateChecker(config);
        auto* updater = dynamic_cast<FeedUpdater*>(AutoUpdater::instance());
        QSignalSpy finished(updater, &FeedUpdater::checkFinished);
        QSignalSpy offered(updater, &FeedUpdater::updateOffered);
        QVERIFY(finished.wait(Startup::backgroundCheckDelayMs + 10000));
        QCOMPARE(server.requests.size(), 1);
        QCOMPARE(server.requests.first().path + server.requests.first().body,
                 "/hullwright/hullwright-release-linux.xml" + AutoUpdater::statisticsDocument(config.statistics));
        QCOMPARE(offered.size(), 0);
        // The web engine is loaded only with the first update dialog, not with the editor.
        QVERIFY(!webEngineLoaded());
        GMainWindow* window = GApplication::instance()->newFile();
        window->updateCheckAction()->trigger();
        QVERIFY(finished.wait(10000));
        QVERIFY(offered.size() == 1 && recorder.entries.isEmpty() && webEngineLoaded());
        auto* dialog = offered.first().first().value<UpdaterDialog*>();
        QCOMPARE(dialog->version(), QStringLiteral("1.1.0"));
        QCOMPARE(dialog->findChild<QWidget*>(QStringLiteral("releaseNotes"))->metaObject()->className(), "QWebView");
        window->close();
    }

    void launchesFromTheShellShareOneEditor()
    {
        // One user's session: their own settings, data and runtime directories, so editors find each other, nothing else.
        QTemporaryDir root, work;
        const auto path = [&](const char* name) { return root.filePath(QLatin1String(name)); };
        QVERIFY(QDir(root.path()).mkdir(QStringLiteral("RUNTIME_DIR")));
        QFile::setPermissions(path("RUNTIME_DIR"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QProcess probe, first, second;  // ended, when still running, as the test ends
        // `probing`: the editor reports its start-up time and ends. No update check reaches the network.
        const auto start = [&](QProcess& editor, const QStringList& arguments, const QString& directory, bool probing) {
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            for (const char* name : {"CONFIG_HOME", "DATA_HOME", "CACHE_HOME", "RUNTIME_DIR"})
                env.insert(QStringLiteral("XDG_") + QLatin1String(name), path(name));
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
            env.insert(QStringLiteral("HULLWRIGHT_UPDATE_BASE_URL"), QStringLiteral("http://127.0.0.1:9"));
            env.insert(QStringLiteral("HULLWRIGHT_STARTUP_PROBE"),
                       probing ? QString::number(QDateTime::currentMSecsSinceEpoch() * 1000000) : QString());
            editor.setProcessEnvironment(env);
            editor.setWorkingDirectory(directory);
            editor.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            editor.start(QStringLiteral(HULLWRIGHT_BINARY), arguments);
        };
        // A setting as the editors stored it, read from the file itself: this process's settings cache would not see it.
        const auto stored = [&](const QByteArray& key) {
            QFile file(path("CONFIG_HOME") + QStringLiteral("/hullwright.org/Hullwright.conf"));
            for (const QByteArray& line : file.open(QIODevice::ReadOnly) ? file.readAll().split('\n') : QByteArrayList()) {
                if (line.startsWith(key + '='))
                    return QString::fromUtf8(line.mid(key.size() + 1));
            }
            return QString();
        };
        // Two projects with a shipped exporter, which the editor opens without asking anything.
        const QString one = work.filePath("level one.hws"), two = work.filePath("level two.hws");
        const QString image = work.filePath(QStringLiteral("crate.png"));
        QVERIFY(QFile::copy(QStringLiteral(HWT_SOURCE_DIR "/resources/samples/crate.png"), image));
        QCOMPARE(QProcess::execute(QStringLiteral(HULLWRIGHT_CLI), {"create", one, "--exporter", "box2d-json", image}), 0);
        QVERIFY(QFile::copy(one, two));

        // Started to report its start-up time, the editor ends on its own, having made its installation identifier.
        start(probe, {QStringLiteral("/ignored/on/the/command/line.hws")}, root.path(), true);
        QVERIFY(probe.waitForFinished(60000) && probe.exitCode() == 0);
        QVERIFY(probe.readAllStandardOutput().startsWith("startup-ms "));
        const QString id = stored("uuid");
        QVERIFY(!QUuid::fromString(id).isNull());
        QCOMPARE(stored("recentFileList"), QString());
        // The first launch opens its own file and keeps running to serve later launches.
        start(first, {one}, root.path(), false);
        QTRY_COMPARE_WITH_TIMEOUT(stored("recentFileList"), one, 60000);
        QVERIFY(QFileInfo::exists(path("RUNTIME_DIR") + QStringLiteral("/hullwright-shell")));
        QCOMPARE(stored("uuid"), id);
        // The desktop starts the editor again with a file named relative to its directory: the first editor opens it.
        start(second, {QStringLiteral("level two.hws")}, work.path(), false);
        QVERIFY(second.waitForFinished(60000) && second.exitStatus() == QProcess::NormalExit && second.exitCode() == 0);
        QTRY_COMPARE_WITH_TIMEOUT(stored("recentFileList"), two + QStringLiteral(", ") + one, 60000);
        QCOMPARE(first.state(), QProcess::Running);
    }
};

// QtWebKit keeps a few allocations of its own until exit.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libQt5WebKit.so\n";
}

int main(int argc, char** argv)
{
    TestSupport::isolateSettings();
    HullwrightApplication app(argc, argv);
    prepareNetworkTestApplication(app, false);
    TestApp test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_app.moc"
