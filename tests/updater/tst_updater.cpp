#include "autoupdater.h"
#include "downloaddialog.h"
#include "feedupdater.h"
#include "gsettings.h"
#include "loopbackserver.h"
#include "testsupport.h"
#include "updaterdialog.h"

#include <QWebFrame>
#include <QWebView>
#include <QtTest>
#include <QtWidgets>

namespace {

// The statistics of configFor(), as every check posts them: text escaped, values of other types noted.
const QByteArray statistics = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<stat version=\"1.0\">\n"
                              "\t<crashCounter>\n\t\t<!--unknown value type-->\n\t\t<!--3-->\n\t</crashCounter>\n"
                              "\t<empty>\n\t\t<!--invalid data-->\n\t</empty>\n"
                              "\t<lastExporter>x &lt; y &amp; &quot;z&quot;</lastExporter>\n"
                              "\t<version>1.0.9</version>\n</stat>\n";

// An app cast feed offering these versions; 1.1.0 comes with release notes.
QByteArray feed(const QStringList& versions, const LoopbackServer& server)
{
    QString xml = R"(<?xml version="1.0" encoding="utf-8"?>
<rss version="2.0" xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle"><channel>)";
    for (const QString& v : versions) {
        const QString notes = "<sparkle:releaseNotesLink>" + server.base() + "/notes.html</sparkle:releaseNotesLink>";
        const QString item = R"(<item><title>Hullwright %1</title>%2<enclosure url="https://example.invalid/%1.deb"%3 )"
                             R"(length="10" type="application/octet-stream"/></item>)";
        xml += item.arg(v, v == QLatin1String("1.1.0") ? notes : QString(),
                        v.isEmpty() ? QString() : QStringLiteral(" sparkle:version=\"%1\"").arg(v));
    }
    return (xml + QStringLiteral("</channel></rss>\n")).toUtf8();
}

UpdateConfig configFor(const LoopbackServer& server)
{
    return {QStringLiteral(":/resources/Icon.png"), server.base(),
            {{"version", "1.0.9"}, {"lastExporter", "x < y & \"z\"\x07"}, {"crashCounter", 3}, {"empty", {}}}};
}

// Runs one check and waits for its answer.
bool runCheck(FeedUpdater& updater, bool interactive)
{
    QSignalSpy finished(&updater, &FeedUpdater::checkFinished);
    interactive ? updater.checkForUpdates() : updater.checkForUpdatesInBackground();
    return finished.wait(10000);
}

// What the user was told, one "title: text" per line.
QString told(const RecordingReporter& recorder)
{
    QString text;
    for (const RecordingReporter::Entry& entry : recorder.entries)
        text += (text.isEmpty() ? "" : "\n") + entry.title + QStringLiteral(": ") + entry.text;
    return text;
}

}

// One check: the feed's versions and those skipped (with no versions, a raw body); the status (0: never answers, 301:
// moves the feed, 302: redirects forever); whether the user asked; the version offered and what the user is told.
struct Check
{
    QStringList versions, skipped;
    QByteArray body;
    int status;
    bool interactive;
    QString offered, report;
};
Q_DECLARE_METATYPE(Check)

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
        QApplication::closeAllWindows();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void compareVersions_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::addColumn<int>("result");
        QTest::newRow("newer minor") << "1.0.9" << "1.1.0" << -1;
        QTest::newRow("two digits") << "1.0.9" << "1.0.10" << -1;
        QTest::newRow("longer counts as older") << "1.0.9" << "1.0.9.1" << 1;
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

    void oneUpdaterPerProcessAndItsOptions()
    {
        LoopbackServer server([&server](const HttpRequest&) { return HttpResponse{200, feed({"1.0.9"}, server)}; });
        {
            FeedUpdater updater(configFor(server));
            QCOMPARE(AutoUpdater::instance(), static_cast<AutoUpdater*>(&updater));
            QVERIFY(updater.autoUpdatesEnabled() && !updater.betaUpdatesEnabled() && updater.sendStatisticsEnabled());
            updater.setSendStatisticsEnabled(false);
            updater.setBetaUpdatesEnabled(true);
            QVERIFY(runCheck(updater, false));
        }
        // The options live in the shared settings.
        QVERIFY(!AutoUpdater::instance() && GSettings().value(QStringLiteral("sendStatisticsEnabled")) == QVariant(false));
        QCOMPARE(server.requests.size(), 1);
        QCOMPARE(server.requests[0].path + server.requests[0].body, QByteArray("/hullwright/hullwright-beta-linux.xml"));
        // A second updater ends the process.
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--second-updater")});
        QVERIFY(child.waitForFinished(60000));
        QVERIFY(child.exitStatus() == QProcess::NormalExit && child.exitCode() == AutoUpdater::alreadyInitialisedExitCode);
    }

    void checks_data()
    {
        QTest::addColumn<Check>("check");
        const QStringList several{"1.0.8", "1.1.0", "1.0.10", ""}, none;
        const QString noXml = QStringLiteral("Update check failed: Can't read app cast feed. (No XML)");
        const QString nothing = "No new updates available: There are no new updates available for Hullwright";
        QTest::newRow("newest of several") << Check{several, none, {}, 200, false, "1.1.0", ""};
        QTest::newRow("nothing newer") << Check{{"1.0.9.1", ""}, none, {}, 200, true, "", nothing};
        QTest::newRow("nothing newer, background") << Check{{"1.0.9"}, none, {}, 200, false, "", ""};
        QTest::newRow("skipped") << Check{several, {"1.0.10", "1.1.0"}, {}, 200, false, "", ""};
        QTest::newRow("skipped, asked for") << Check{several, {"1.1.0"}, {}, 200, true, "1.1.0", ""};
        QTest::newRow("not xml") << Check{none, none, "<html><body>oops", 200, true, "", noXml};
        QTest::newRow("empty, background") << Check{none, none, {}, 200, false, "", ""};
        QTest::newRow("server error") << Check{several, none, {}, 500, true, "", noXml};
        QTest::newRow("not rss") << Check{none, none, "<feed><channel/></feed>", 200, true, "",
                                          "Update check failed: Can't read app cast feed. (Not RSS)"};
        QTest::newRow("no channel") << Check{none, none, "<rss><item/></rss>", 200, true, "",
                                             "Update check failed: Can't read app cast feed. (No channel found)"};
        QTest::newRow("moved feed") << Check{several, none, {}, 301, true, "1.1.0", ""};
        QTest::newRow("endless redirects") << Check{several, none, {}, 302, true, "", noXml};
        QTest::newRow("silent server") << Check{several, none, {}, 0, true, "", noXml};
    }

    void checks()
    {
        QFETCH(Check, check);
        const int status = check.status;
        LoopbackServer server([&](const HttpRequest& request) {
            if (status == 302 || (status == 301 && request.path == "/hullwright/hullwright-release-linux.xml"))
                return HttpResponse::redirect(status == 302 ? "/again" : "/mirror/feed.xml", status);
            if (request.path == "/notes.html")
                return HttpResponse{200, "<html><body><h1>What is new</h1></body></html>"};
            const QByteArray body = check.versions.isEmpty() ? check.body : feed(check.versions, server);
            return status ? HttpResponse{status == 301 ? 200 : status, body} : HttpResponse::silent();
        });
        GSettings().setValue(QStringLiteral("updater/skippedversions"), check.skipped);
        RecordingReporter recorder;
        FeedUpdater updater(configFor(server));
        updater.setTimeout(status ? FeedUpdater::defaultTimeoutMs : 300);
        QSignalSpy offers(&updater, &FeedUpdater::updateOffered);
        QVERIFY(runCheck(updater, check.interactive));
        QTest::qWait(20);
        QCOMPARE(told(recorder), check.report);
        QCOMPARE(offers.size(), int(!check.offered.isEmpty()));
        // Every request for the feed, redirected ones too, posts the statistics.
        int posts = 0;
        for (const HttpRequest& request : qAsConst(server.requests))
            posts += request.method == "POST" && request.body == statistics;
        QCOMPARE(posts, status == 302 ? FeedUpdater::maximumRedirects + 1 : status == 301 ? 2 : 1);
        if (offers.isEmpty())
            return;
        auto* dialog = offers.first().first().value<UpdaterDialog*>();
        QVERIFY(dialog->isVisible() && !dialog->isModal());
        QCOMPARE(dialog->version() + ' ' + dialog->downloadUrl(), check.offered + " https://example.invalid/" + check.offered
                                                                      + ".deb");
        const auto* notes = dialog->findChild<QWebView*>();
        QTRY_VERIFY_WITH_TIMEOUT(notes && notes->page()->mainFrame()->toPlainText() == QLatin1String("What is new"), 10000);
        // Skipping the offered version stores it, once.
        QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("skipVersionButton")), Qt::LeftButton);
        const QStringList skipped = check.skipped + QStringList{check.offered};
        QCOMPARE(AutoUpdater::skippedVersions(), check.skipped.contains(check.offered) ? check.skipped : skipped);
    }

    void downloads_data()
    {
        // Where it goes, whether the installer starts, and "opened <path>" or "rejected" and what the user is told.
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
        QFile(temp.filePath(QStringLiteral("file"))).open(QIODevice::WriteOnly);
        const QString tmp = temp.filePath(tag == "cannot save" ? "file" : "tmp");
        QVERIFY(QDir(temp.path()).mkdir(QStringLiteral("tmp")));
        qputenv("TMPDIR", tmp.toLocal8Bit());
        const QByteArray installer(200000, 'x');
        const QString saved = tmp + QStringLiteral("/hullwright-1.1.0.tar.gz");
        bool savedBeforeTheEnd = false;
        LoopbackServer server([&](const HttpRequest& request) {
            if (request.path.contains("1.1.0") || request.path.contains("loop"))
                return HttpResponse::redirect(request.path.contains("loop") ? request.path : "/cdn/blob?id=1");
            savedBeforeTheEnd = QFile::exists(saved);
            return request.path.contains("hang") ? HttpResponse::silent()
                                                 : HttpResponse{request.path.contains("missing") ? 404 : 200, installer};
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
        QSignalSpy finished(&dialog, &QDialog::finished);
        if (tag == QLatin1String("aborted")) {
            QTRY_COMPARE(server.requests.size(), 1);
            QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("abortButton")), Qt::LeftButton);
        }
        // It ends once, and nothing arrives later.
        QVERIFY(finished.size() || finished.wait(10000));
        QTest::qWait(100);
        QCOMPARE(finished.size(), 1);
        if (!recorder.entries.isEmpty())
            result = QStringLiteral("rejected ") + told(recorder);
        QCOMPARE(finished.first().first().toInt() == QDialog::Accepted, result.startsWith(QLatin1String("opened")));
        const QRegularExpression pattern("^" + outcome.arg(QRegularExpression::escape(tmp)) + "$");
        QVERIFY2(pattern.match(result).hasMatch(), qPrintable(result));
        // The installer is saved whole, once complete; other windows make way. Only an installer that did not start stays.
        QVERIFY(!savedBeforeTheEnd);
        QFile file(saved);
        QCOMPARE(file.open(QIODevice::ReadOnly) ? file.readAll() : "", tag == "redirected" ? installer : "");
        QCOMPARE(other.isVisible(), starts && tag != "redirected");
        QCOMPARE(QDir(tmp).entryList(QDir::Files), tag == "redirected" ? QStringList{"hullwright-1.1.0.tar.gz"}
                                                   : starts                ? QStringList()
                                                                           : QStringList{"fine.deb"});
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
        return 0;
    }
    TestSupport::isolateSettings();
    QApplication app(argc, argv);
    prepareNetworkTestApplication(app);
    TestUpdater test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_updater.moc"
