#include "autoupdater.h"
#include "crashhandler.h"
#include "feedbackdialog.h"
#include "feedupdater.h"
#include "gaction.h"
#include "gmainwindow.h"
#include "gsettings.h"
#include "hullwrightapplication.h"
#include "loopbackserver.h"
#include "startup.h"
#include "testsupport.h"
#include "updaterdialog.h"

#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {
// Whether the web engine's library is mapped into this process.
bool webEngineLoaded()
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("libQt5WebKit");
}
}

class TestUpdateStartup : public QObject
{
    Q_OBJECT

private slots:
    void init() { TestSupport::clearSettings(); }
    void crashCheckOffersLogsOfEarlierRuns()
    {
        const QString directory = CrashHandler::defaultDirectory();
        QVERIFY(QDir().mkpath(directory));
        const QStringList logs{QStringLiteral("Hullwright 1.0.9 crashed\nSignal: 6 (SIGABRT)\n"),
                               QStringLiteral("Hullwright 1.0.9 crashed\nSignal: 11 (SIGSEGV)\n")};
        for (int i = 0; i < logs.size(); ++i) {
            QFile file(directory + QStringLiteral("/crash-%1-1.log").arg(i));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(logs.at(i).toUtf8());
            file.flush();
            file.setFileTime(QDateTime::currentDateTime().addSecs(i - 10), QFileDevice::FileModificationTime);
        }

        // The crash report shows the newest log and carries all of them, while the editor knows it handles a crash.
        int shown = 0;
        const auto count = [&](QWidget*) { ++shown; };
        TestSupport::ModalHandler handler({[&](QWidget* modal) {
            auto* dialog = qobject_cast<FeedbackDialog*>(modal);
            QCOMPARE(dialog->currentPage(), FeedbackDialog::CrashPage);
            QVERIFY(GApplicationAddons::instance()->isHandlingCrash());
            QCOMPARE(dialog->findChild<QPlainTextEdit*>(QStringLiteral("crashLog"))->toPlainText(), logs.last());
            for (int i = 0; i < logs.size(); ++i) {
                const QString entry = QStringLiteral("<key>log-%1</key>\n\t\t<value>%2</value>").arg(i + 1).arg(logs.at(i));
                QVERIFY(dialog->feedbackDocument().contains(entry.toUtf8()));
            }
            ++shown;
        }, count});
        Startup::runCrashReportCheck();
        QVERIFY(!GApplicationAddons::instance()->isHandlingCrash());
        // The next start has nothing new to offer.
        Startup::runCrashReportCheck();
        QCoreApplication::processEvents();
        QCOMPARE(shown, 1);
    }

    void sendFeedbackCommand()
    {
        GSettings().setValue(QStringLiteral("lastExporter"), QStringLiteral("box2d"));
        GMainWindow* window = GApplication::instance()->newFile();
        QWidget* parent = nullptr;
        QByteArray document;
        TestSupport::ModalHandler handler([&](QWidget* modal) {
            parent = modal->parentWidget();
            document = qobject_cast<FeedbackDialog*>(modal)->feedbackDocument();
        });
        window->feedbackAction()->trigger();
        QVERIFY(handler.handled());
        QCOMPARE(parent, window);
        QVERIFY(document.contains("\t<additional>\n\t\t<key>lastExporter</key>\n\t\t<value>box2d</value>\n"
                                  "\t\t<key>version</key>\n\t\t<value>1.0.9</value>\n\t</additional>\n\t<type>question"));
        window->close();
    }

    void updateCheckerAtStartupAndOnRequest()
    {
        LoopbackServer server([](const HttpRequest&) {
            HttpResponse response;
            response.body = "<rss><channel><item><enclosure url=\"https://example.invalid/hw.deb\" "
                            "sparkle:version=\"1.1.0\"/></item></channel></rss>";
            return response;
        });
        qputenv("HULLWRIGHT_UPDATE_BASE_URL", (server.base() + QStringLiteral("/")).toUtf8());
        UpdateConfig config = Startup::prepareUpdateConfig();
        qunsetenv("HULLWRIGHT_UPDATE_BASE_URL");
        QCOMPARE(config.baseUrl, server.base());
        Startup::ensureInstallationId();
        config.statistics = Startup::collectStatistics();
        // Offered only when asked for.
        GSettings().setValue(QStringLiteral("updater/skippedversions"), QStringList{QStringLiteral("1.1.0")});

        RecordingReporter recorder;
        Startup::startUpdateChecker(config);
        auto* updater = dynamic_cast<FeedUpdater*>(AutoUpdater::instance());
        QVERIFY(updater);
        QSignalSpy finished(updater, &FeedUpdater::checkFinished);
        QSignalSpy offered(updater, &FeedUpdater::updateOffered);
        QVERIFY(finished.wait(Startup::backgroundCheckDelayMs + 10000));
        QCOMPARE(server.requests.size(), 1);
        QCOMPARE(server.requests.first().path, QByteArray("/hullwright/hullwright-release-linux.xml"));
        QCOMPARE(server.requests.first().body, AutoUpdater::statisticsDocument(config.statistics));
        QVERIFY(server.requests.first().body.contains(GSettings().value(QStringLiteral("uuid")).toString().toUtf8()));
        QCOMPARE(offered.size(), 0);

        // The web engine is loaded only with the first update dialog, not with the editor.
        QVERIFY(!webEngineLoaded());
        GMainWindow* window = GApplication::instance()->newFile();
        window->updateCheckAction()->trigger();
        QVERIFY(finished.wait(10000));
        QCOMPARE(offered.size(), 1);
        auto* dialog = offered.first().first().value<UpdaterDialog*>();
        QCOMPARE(dialog->version(), QStringLiteral("1.1.0"));
        QVERIFY(recorder.entries.isEmpty());
        QVERIFY(webEngineLoaded());
        QCOMPARE(dialog->findChild<QWidget*>(QStringLiteral("releaseNotes"))->metaObject()->className(), "QWebView");
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
    // Crash logs live in the user's data directory; keep ours apart.
    QTemporaryDir data;
    qputenv("XDG_DATA_HOME", data.path().toLocal8Bit());
    HullwrightApplication app(argc, argv);
    prepareNetworkTestApplication(app, false);
    TestUpdateStartup test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_updatestartup.moc"
