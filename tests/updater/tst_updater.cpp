#include "autoupdater.h"
#include "downloaddialog.h"
#include "feedupdater.h"
#include "gsettings.h"
#include "loopbackserver.h"
#include "testsupport.h"
#include "updaterdialog.h"

#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QWebFrame>
#include <QWebView>
#include <QtTest>

namespace {

const QByteArray feedPath = "/hullwright/hullwright-release-linux.xml";

// An app cast feed offering these versions; 1.1.0 comes with release notes.
QByteArray feed(const QStringList& versions, const LoopbackServer& server)
{
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<rss version=\"2.0\" "
                     "xmlns:sparkle=\"http://www.andymatuschak.org/xml-namespaces/sparkle\">\n<channel>\n";
    for (const QString& version : versions) {
        xml += "<item><title>Hullwright " + version.toUtf8() + "</title>";
        if (version == QLatin1String("1.1.0"))
            xml += "<sparkle:releaseNotesLink>" + server.url(QStringLiteral("/notes.html")).toEncoded()
                   + "</sparkle:releaseNotesLink>";
        xml += "<enclosure url=\"https://example.invalid/" + version.toUtf8() + ".deb\"";
        if (!version.isEmpty())
            xml += " sparkle:version=\"" + version.toUtf8() + "\"";
        xml += " length=\"10\" type=\"application/octet-stream\"/></item>\n";
    }
    return xml + "</channel></rss>\n";
}

UpdateConfig configFor(const LoopbackServer& server)
{
    UpdateConfig config;
    config.iconPath = QStringLiteral(":/resources/Icon.png");
    config.baseUrl = server.base();
    config.statistics.insert(QStringLiteral("version"), QStringLiteral("1.0.9"));
    config.statistics.insert(QStringLiteral("lastExporter"), QStringLiteral("x < y & \"z\"\x07"));
    config.statistics.insert(QStringLiteral("crashCounter"), 3);
    config.statistics.insert(QStringLiteral("empty"), QVariant());
    return config;
}

// Runs one check and waits for its answer.
bool check(FeedUpdater& updater, bool interactive)
{
    QSignalSpy finished(&updater, &FeedUpdater::checkFinished);
    if (interactive)
        updater.checkForUpdates();
    else
        updater.checkForUpdatesInBackground();
    return finished.wait(10000);
}

}

class TestUpdater : public QObject
{
    Q_OBJECT

private slots:
    void init() { TestSupport::clearSettings(); }
    void cleanup()
    {
        DownloadDialog::setOpener({});
        DownloadDialog::setTimeout(DownloadDialog::defaultTimeoutMs);
        qunsetenv("TMPDIR");
        const QWidgetList widgets = QApplication::topLevelWidgets();
        for (QWidget* widget : widgets)
            widget->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void compareVersions_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::addColumn<int>("result");
        QTest::newRow("older patch") << "1.0.9" << "1.0.8" << 1;
        QTest::newRow("newer minor") << "1.0.9" << "1.1.0" << -1;
        QTest::newRow("two digits") << "1.0.9" << "1.0.10" << -1;
        QTest::newRow("longer counts as older") << "1.0.9" << "1.0.9.1" << 1;
        QTest::newRow("beta of next major") << "1.0.9" << "2.0b1" << -1;
        QTest::newRow("release beats its beta") << "2.0" << "2.0b1" << 1;
        QTest::newRow("equal") << "1.0.9" << "1.0.9" << 0;
        QTest::newRow("only digits count") << "v1.0.9" << "1.0-9" << 0;
        QTest::newRow("no digits is older") << "" << "0.1" << -1;
        QTest::newRow("neither has digits") << "beta" << "" << 0;
        QTest::newRow("huge number") << "1.99999999999999999999999" << "1.5" << 1;
    }

    void compareVersions()
    {
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(int, result);
        QCOMPARE(AutoUpdater::compareVersions(first, second), result);
        QCOMPARE(AutoUpdater::compareVersions(second, first), -result);
    }

    void oneUpdaterPerProcess()
    {
        QCOMPARE(AutoUpdater::instance(), nullptr);
        {
            FeedUpdater updater{UpdateConfig()};
            QCOMPARE(AutoUpdater::instance(), static_cast<AutoUpdater*>(&updater));
        }
        QCOMPARE(AutoUpdater::instance(), nullptr);
        // A second one ends the process.
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--second-updater")});
        QVERIFY(child.waitForFinished(60000));
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), AutoUpdater::alreadyInitialisedExitCode);
        QVERIFY(!child.readAllStandardError().contains("second updater survived"));
    }

    void requestFollowsOptions()
    {
        // The statistics go along as a document, with the text escaped and values of other types noted.
        LoopbackServer server([&server](const HttpRequest&) {
            HttpResponse response;
            response.body = feed({QStringLiteral("1.0.9")}, server);
            return response;
        });
        FeedUpdater updater(configFor(server));
        QVERIFY(updater.autoUpdatesEnabled() && !updater.betaUpdatesEnabled() && updater.sendStatisticsEnabled());
        QVERIFY(check(updater, false));
        updater.setSendStatisticsEnabled(false);
        updater.setBetaUpdatesEnabled(true);
        QVERIFY(check(updater, false));
        QCOMPARE(server.requests.size(), 2);
        QCOMPARE(server.requests.at(0).path, feedPath);
        QCOMPARE(server.requests.at(0).body,
                 QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<stat version=\"1.0\">\n"
                            "\t<crashCounter>\n\t\t<!--unknown value type-->\n\t\t<!--3-->\n\t</crashCounter>\n"
                            "\t<empty>\n\t\t<!--invalid data-->\n\t</empty>\n"
                            "\t<lastExporter>x &lt; y &amp; &quot;z&quot;</lastExporter>\n"
                            "\t<version>1.0.9</version>\n</stat>\n"));
        QCOMPARE(server.requests.at(1).path, QByteArray("/hullwright/hullwright-beta-linux.xml"));
        QVERIFY(server.requests.at(1).body.isEmpty());
        // The options live in the shared settings.
        QCOMPARE(GSettings().value(QStringLiteral("sendStatisticsEnabled")), QVariant(false));
    }

    void checks_data()
    {
        // What the server answers: a feed of these versions, or the raw body, with
        // this status (0: never answers; 301: moves the feed; 302: redirects forever).
        QTest::addColumn<QStringList>("versions");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("interactive");
        QTest::addColumn<QStringList>("skipped");
        QTest::addColumn<QString>("offered");
        QTest::addColumn<QString>("report");
        const QStringList several{"1.0.8", "1.1.0", "1.0.10", ""};
        const QStringList none;
        const QByteArray generated;  // the body is the feed of `versions`
        const QString noXml = QStringLiteral("Update check failed: Can't read app cast feed. (No XML)");
        const QString nothing = QStringLiteral("No new updates available: There are no new updates available for Hullwright");
        QTest::newRow("newest of several") << several << generated << 200 << false << none << "1.1.0" << "";
        QTest::newRow("nothing newer") << QStringList{"1.0.9.1", ""} << generated << 200 << true << none << "" << nothing;
        QTest::newRow("nothing newer, background") << QStringList{"1.0.9"} << generated << 200 << false << none << "" << "";
        QTest::newRow("skipped") << several << generated << 200 << false << QStringList{"1.0.10", "1.1.0"} << "" << "";
        QTest::newRow("skipped, asked for") << several << generated << 200 << true << QStringList{"1.1.0"} << "1.1.0" << "";
        // Skipping is case-sensitive: another spelling of the version is offered.
        QTest::newRow("skipped another spelling") << several << generated << 200 << false << QStringList{"1.1.0 "} << "1.1.0" << "";
        QTest::newRow("not xml") << none << QByteArray("<html><body>oops") << 200 << true << none << "" << noXml;
        QTest::newRow("not xml, background") << none << QByteArray("oops") << 200 << false << none << "" << "";
        QTest::newRow("empty") << none << QByteArray() << 200 << true << none << "" << noXml;
        QTest::newRow("server error") << several << generated << 500 << true << none << "" << noXml;
        QTest::newRow("not rss") << none << QByteArray("<feed><channel/></feed>") << 200 << true << none << ""
                                 << "Update check failed: Can't read app cast feed. (Not RSS)";
        QTest::newRow("no channel") << none << QByteArray("<rss><item/></rss>") << 200 << true << none << ""
                                    << "Update check failed: Can't read app cast feed. (No channel found)";
        QTest::newRow("moved feed") << several << generated << 301 << true << none << "1.1.0" << "";
        QTest::newRow("endless redirects") << several << generated << 302 << true << none << "" << noXml;
        QTest::newRow("silent server") << several << generated << 0 << true << none << "" << noXml;
    }

    void checks()
    {
        QFETCH(QStringList, versions);
        QFETCH(QByteArray, body);
        QFETCH(int, status);
        QFETCH(bool, interactive);
        QFETCH(QStringList, skipped);
        QFETCH(QString, offered);
        QFETCH(QString, report);
        LoopbackServer server;
        server.setHandler([&](const HttpRequest& request) {
            if (status == 302 || (status == 301 && request.path == feedPath))
                return HttpResponse::redirect(status == 302 ? "/again" : "/mirror/feed.xml", status);
            HttpResponse response = status ? HttpResponse() : HttpResponse::silent();
            response.status = status == 301 ? 200 : status;
            response.body = request.path == "/notes.html" ? QByteArray("<html><body><h1>What is new</h1></body></html>")
                            : versions.isEmpty()         ? body
                                                         : feed(versions, server);
            return response;
        });
        if (!skipped.isEmpty())
            GSettings().setValue(QStringLiteral("updater/skippedversions"), skipped);
        RecordingReporter recorder;
        const UpdateConfig config = configFor(server);
        FeedUpdater updater(config);
        if (!status)
            updater.setTimeout(300);
        QSignalSpy offers(&updater, &FeedUpdater::updateOffered);
        QVERIFY(check(updater, interactive));
        QTest::qWait(20);

        QStringList reports;
        for (const RecordingReporter::Entry& entry : qAsConst(recorder.entries))
            reports << entry.title + QStringLiteral(": ") + entry.text;
        QCOMPARE(reports.join(QLatin1Char('\n')), report);
        QCOMPARE(offers.size(), int(!offered.isEmpty()));
        // Every request for the feed, redirected ones too, posts the statistics.
        int posts = 0;
        for (const HttpRequest& request : qAsConst(server.requests)) {
            posts += request.method == "POST" && request.body == AutoUpdater::statisticsDocument(config.statistics);
        }
        QCOMPARE(posts, status == 302 ? FeedUpdater::maximumRedirects + 1 : status == 301 ? 2 : 1);
        if (offered.isEmpty())
            return;
        UpdaterDialog* dialog = offers.first().first().value<UpdaterDialog*>();
        QVERIFY(dialog->isVisible() && !dialog->isModal());
        QCOMPARE(dialog->version(), offered);
        QCOMPARE(dialog->downloadUrl(), QStringLiteral("https://example.invalid/%1.deb").arg(offered));
        auto* notes = dialog->findChild<QWebView*>();
        QVERIFY(notes);
        QTRY_VERIFY_WITH_TIMEOUT(notes->page()->mainFrame()->toPlainText().contains(QLatin1String("What is new")), 10000);
    }

    void dialogButtons()
    {
        GSettings().setValue(QStringLiteral("updater/skippedversions"), QStringList{"1.0.10"});
        const auto press = [](UpdaterDialog& dialog, const char* button) {
            dialog.show();
            QSignalSpy finished(&dialog, &QDialog::finished);
            QTest::mouseClick(dialog.findChild<QPushButton*>(QLatin1String(button)), Qt::LeftButton);
            return finished.size() == 1 && !dialog.isVisible() ? finished.first().first().toInt() : -1;
        };
        UpdaterDialog first(QStringLiteral("1.2.0"), QString(), QString(), UpdateConfig());
        QCOMPARE(press(first, "remindMeLaterButton"), 0);
        QCOMPARE(GSettings().value(QStringLiteral("updater/skippedversions")).toStringList(), QStringList{"1.0.10"});
        // Skipping twice keeps one entry.
        QCOMPARE(press(first, "skipVersionButton"), 0);
        QCOMPARE(press(first, "skipVersionButton"), 0);
        QCOMPARE(GSettings().value(QStringLiteral("updater/skippedversions")).toStringList(),
                 (QStringList{"1.0.10", "1.2.0"}));

        // Installing starts the download in a dialog of its own.
        LoopbackServer server([](const HttpRequest&) { return HttpResponse::silent(); });
        const QString url = server.url(QStringLiteral("/dl/app.deb")).toString();
        UpdaterDialog dialog(QStringLiteral("1.1.0"), url, QString(), UpdateConfig());
        QSignalSpy started(&dialog, &UpdaterDialog::downloadStarted);
        QCOMPARE(press(dialog, "installUpdateButton"), 1);
        QCOMPARE(started.size(), 1);
        auto* downloading = qobject_cast<DownloadDialog*>(started.first().first().value<QDialog*>());
        QVERIFY(downloading && downloading->isVisible() && downloading->isModal());
        QTRY_COMPARE(server.requests.size(), 1);
        QCOMPARE(server.requests.first().method, QByteArray("GET"));
        QCOMPARE(server.requests.first().path, QByteArray("/dl/app.deb"));
        downloading->close();
    }

    void downloads_data()
    {
        // Where the download goes, whether the installer starts, and the outcome
        // it leads to: "opened <path>", or "rejected" and what the user is told.
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("starts");
        QTest::addColumn<QString>("outcome");  // a pattern; %1: the temporary directory
        QTest::newRow("redirected") << "/dl/hullwright-1.1.0.tar.gz" << true << "opened %1/hullwright-1.1.0.tar.gz";
        QTest::newRow("not found") << "/dl/missing.deb" << true << "rejected Download failed: .+";
        QTest::newRow("silent server") << "/dl/hang.deb" << true << "rejected Download failed: .+";
        QTest::newRow("aborted") << "/dl/hang.deb" << true << "rejected ";
        QTest::newRow("endless redirects") << "/dl/loop.deb" << true << "rejected Download failed: Too many redirects .+";
        QTest::newRow("not a web address") << "file:///etc/hostname" << true << "rejected Download failed: Unsupported .+";
        QTest::newRow("cannot start") << "/dl/fine.deb" << false
                                      << "rejected Failed to start update: Failed to start: %1/fine.deb";
        // A file where the temporary directory should be: nothing can be saved in it.
        QTest::newRow("cannot save") << "/dl/fine.deb" << true
                                     << "rejected Failed to save update: Failed to write update to %1/fine.deb";
    }

    void downloads()
    {
        QFETCH(QString, path);
        QFETCH(bool, starts);
        QFETCH(QString, outcome);
        const QString tag = QString::fromLatin1(QTest::currentDataTag());
        QTemporaryDir temp;
        QTemporaryDir elsewhere;
        const QString tmp = tag == QLatin1String("cannot save") ? elsewhere.filePath(QStringLiteral("file")) : temp.path();
        QFile(elsewhere.filePath(QStringLiteral("file"))).open(QIODevice::WriteOnly);
        qputenv("TMPDIR", tmp.toLocal8Bit());
        const QByteArray installer(200000, 'x');
        bool savedBeforeTheEnd = false;
        LoopbackServer server([&](const HttpRequest& request) {
            if (request.path.contains("1.1.0") || request.path.contains("loop"))
                return HttpResponse::redirect(request.path.contains("loop") ? request.path : "/cdn/blob?id=1");
            savedBeforeTheEnd = QFile::exists(temp.filePath(QStringLiteral("hullwright-1.1.0.tar.gz")));
            HttpResponse response = request.path.contains("hang") ? HttpResponse::silent() : HttpResponse();
            response.status = request.path.contains("missing") ? 404 : 200;
            response.body = installer;
            return response;
        });
        QString result = QStringLiteral("rejected ");
        DownloadDialog::setOpener([&](const QString& path) {
            result = QStringLiteral("opened ") + path;
            return starts;
        });
        DownloadDialog::setTimeout(300);
        RecordingReporter recorder;
        QWidget other;
        other.show();
        DownloadDialog dialog(UpdateConfig(), path.startsWith(QLatin1Char('/')) ? server.url(path) : QUrl(path));
        dialog.show();
        QVERIFY(dialog.isModal());
        QSignalSpy finished(&dialog, &QDialog::finished);
        if (tag == QLatin1String("aborted")) {
            QTRY_COMPARE(server.requests.size(), 1);
            QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("abortButton")), Qt::LeftButton);
        } else {
            QVERIFY(finished.wait(10000));
        }
        // Nothing arrives later.
        QTest::qWait(100);
        QCOMPARE(finished.size(), 1);
        QVERIFY(recorder.entries.size() <= 1);
        for (const RecordingReporter::Entry& entry : qAsConst(recorder.entries))
            result = QStringLiteral("rejected ") + entry.title + QStringLiteral(": ") + entry.text;
        QCOMPARE(finished.first().first().toInt() == QDialog::Accepted, result.startsWith(QLatin1String("opened")));
        const QString pattern = QStringLiteral("^%1$").arg(outcome.arg(QRegularExpression::escape(tmp)));
        QVERIFY2(QRegularExpression(pattern).match(result).hasMatch(), qPrintable(result));
        QVERIFY(!savedBeforeTheEnd);
        if (starts && result.startsWith(QLatin1String("opened"))) {
            QFile file(temp.filePath(QStringLiteral("hullwright-1.1.0.tar.gz")));
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), installer);
            // The other windows make way for the installer.
            QVERIFY(!other.isVisible());
        } else {
            // Only a download that could not be started stays where it was saved.
            QCOMPARE(QDir(temp.path()).entryList(QDir::Files), starts ? QStringList() : QStringList{"fine.deb"});
        }
    }
};

// QtWebKit keeps a few allocations of its own until exit.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libQt5WebKit.so\n";
}

int main(int argc, char** argv)
{
    if (argc > 1 && qstrcmp(argv[1], "--second-updater") == 0) {
        QCoreApplication app(argc, argv);
        FeedUpdater first{UpdateConfig()};
        FeedUpdater second{UpdateConfig()};
        qWarning("second updater survived");
        return 0;
    }
    TestSupport::isolateSettings();
    QApplication app(argc, argv);
    prepareNetworkTestApplication(app);
    TestUpdater test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_updater.moc"
