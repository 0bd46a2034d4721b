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
#include <QPlainTextEdit>
#include <QFile>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

class TestUpdateStartup : public QObject
{
    Q_OBJECT

private slots:
    void init() { TestSupport::clearSettings(); }
    void cleanup();

    void crashCheckOffersLogsOfEarlierRuns();
    void sendFeedbackCommand();
    void updateCheckerAtStartupAndOnRequest();
};

void TestUpdateStartup::cleanup()
{
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget* window : windows)
        window->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void TestUpdateStartup::crashCheckOffersLogsOfEarlierRuns()
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

    bool crashVariant = false;
    bool handlingCrash = false;
    QString shownLog;
    QByteArray document;
    TestSupport::ModalHandler handler([&](QWidget* modal) {
        auto* dialog = qobject_cast<FeedbackDialog*>(modal);
        QVERIFY(dialog);
        crashVariant = dialog->currentPage() == FeedbackDialog::CrashPage
                       && !dialog->findChild<QTabWidget*>(QStringLiteral("tabWidget"));
        handlingCrash = GApplicationAddons::instance()->isHandlingCrash();
        shownLog = dialog->findChild<QPlainTextEdit*>(QStringLiteral("crashLog"))->toPlainText();
        document = dialog->feedbackDocument();
        dialog->reject();
    });
    Startup::runCrashReportCheck();
    QVERIFY(handler.handled());
    QVERIFY(crashVariant);
    QVERIFY(handlingCrash);
    QVERIFY(!GApplicationAddons::instance()->isHandlingCrash());
    QCOMPARE(shownLog, logs.last());
    QVERIFY(document.contains("<key>log-1</key>\n\t\t<value>Hullwright 1.0.9 crashed\nSignal: 6 (SIGABRT)\n</value>"));
    QVERIFY(document.contains("<key>log-2</key>\n\t\t<value>Hullwright 1.0.9 crashed\nSignal: 11 (SIGSEGV)\n</value>"));
    QVERIFY(GSettings().value(QStringLiteral("crashlogger-last-check")).toDateTime().isValid());

    // The next start has nothing new to offer.
    int shown = 0;
    TestSupport::ModalHandler none([&](QWidget*) { ++shown; });
    Startup::runCrashReportCheck();
    QCoreApplication::processEvents();
    QCOMPARE(shown, 0);
}

void TestUpdateStartup::sendFeedbackCommand()
{
    GSettings().setValue(QStringLiteral("lastExporter"), QStringLiteral("box2d"));
    GMainWindow* window = GApplication::instance()->newFile();
    QWidget* parent = nullptr;
    QByteArray document;
    bool tabs = false;
    TestSupport::ModalHandler handler([&](QWidget* modal) {
        auto* dialog = qobject_cast<FeedbackDialog*>(modal);
        QVERIFY(dialog);
        parent = dialog->parentWidget();
        tabs = dialog->findChild<QTabWidget*>(QStringLiteral("tabWidget")) != nullptr;
        document = dialog->feedbackDocument();
        dialog->reject();
    });
    QCOMPARE(window->feedbackAction()->text(), QStringLiteral("Send feedback ..."));
    window->feedbackAction()->trigger();
    QVERIFY(handler.handled());
    QCOMPARE(parent, window);
    QVERIFY(tabs);
    QVERIFY(document.contains("\t<additional>\n"
                              "\t\t<key>lastExporter</key>\n\t\t<value>box2d</value>\n"
                              "\t\t<key>version</key>\n\t\t<value>1.0.9</value>\n"
                              "\t</additional>\n"));
}

namespace {
// Whether the web engine's library is mapped into this process.
bool webEngineLoaded()
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("libQt5WebKit");
}
}

void TestUpdateStartup::updateCheckerAtStartupAndOnRequest()
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
    QCOMPARE(AutoUpdater::instance(), nullptr);
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
    QVERIFY(recorder.entries.isEmpty());

    // The web engine is loaded only with the first update dialog, not with the editor.
    QVERIFY(!webEngineLoaded());
    GMainWindow* window = GApplication::instance()->newFile();
    QCOMPARE(window->updateCheckAction()->text(), QStringLiteral("Check for updates ..."));
    window->updateCheckAction()->trigger();
    QVERIFY(finished.wait(10000));
    QCOMPARE(server.requests.size(), 2);
    QCOMPARE(offered.size(), 1);
    auto* dialog = qvariant_cast<UpdaterDialog*>(offered.first().first());
    QVERIFY(dialog->isVisible());
    QCOMPARE(dialog->version(), QStringLiteral("1.1.0"));
    QVERIFY(recorder.entries.isEmpty());
    QVERIFY(webEngineLoaded());
    QCOMPARE(dialog->findChild<QWidget*>(QStringLiteral("releaseNotes"))->metaObject()->className(), "QWebView");
}

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
