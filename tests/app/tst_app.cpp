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
#include "startup.h"
#include "systeminquiry.h"
#include "testsupport.h"
#include "updaterdialog.h"

#include <QtTest>
#include <QtWidgets>

namespace {

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
