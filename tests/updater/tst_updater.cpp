#include "autoupdater.h"
#include "downloaddialog.h"
#include "feedupdater.h"
#include "gsettings.h"
#include "loopbackserver.h"
#include "testsupport.h"
#include "updaterdialog.h"
#include "updateverification.h"

#include <QWebFrame>
#include <QWebView>
#include <QtTest>

#include <sodium.h>
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
    UpdateConfig config{QStringLiteral(":/resources/Icon.png"), server.base(),
                        {{"version", "1.0.9"}, {"lastExporter", "x < y & \"z\"\x07"}, {"crashCounter", 3}, {"empty", {}}}};
    config.allowLoopbackHttp = true;
    return config;
}

// An Ed25519 key pair of the test's own.
struct SigningKey
{
    SigningKey()
    {
        if (sodium_init() < 0)
            qFatal("libsodium does not start");
        publicKey.resize(crypto_sign_PUBLICKEYBYTES);
        secretKey.resize(crypto_sign_SECRETKEYBYTES);
        crypto_sign_keypair(reinterpret_cast<unsigned char*>(publicKey.data()),
                            reinterpret_cast<unsigned char*>(secretKey.data()));
    }
    // The base64 signature of `data`, as a feed's enclosure carries it.
    QString sign(const QByteArray& data) const
    {
        QByteArray signature(crypto_sign_BYTES, '\0');
        crypto_sign_detached(reinterpret_cast<unsigned char*>(signature.data()), nullptr,
                             reinterpret_cast<const unsigned char*>(data.constData()),
                             static_cast<unsigned long long>(data.size()),
                             reinterpret_cast<const unsigned char*>(secretKey.constData()));
        return QString::fromLatin1(signature.toBase64());
    }
    QByteArray publicKey, secretKey;
};

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

    // The feed comes over https only (the loopback server stands in for it only where the test allows), and a
    // background check offers an update but never downloads or opens anything by itself.
    void feedOverHttpsOnly()
    {
        bool redirectToHttp = false;
        LoopbackServer server([&](const HttpRequest&) {
            return redirectToHttp ? HttpResponse::redirect("http://example.invalid/feed.xml")
                                  : HttpResponse{200, feed({"1.1.0"}, server)};
        });
        RecordingReporter recorder;
        UpdateConfig plain = configFor(server);
        plain.allowLoopbackHttp = false;
        {
            FeedUpdater updater(plain);
            QVERIFY(runCheck(updater, true));
        }
        QVERIFY(server.requests.isEmpty());
        QVERIFY2(told(recorder).startsWith("Update check failed: Refused to fetch the update feed from http://127.0.0.1:")
                     && told(recorder).endsWith(": updates are only fetched over https"), qPrintable(told(recorder)));

        recorder.entries.clear();
        redirectToHttp = true;
        {
            FeedUpdater updater(configFor(server));
            QVERIFY(runCheck(updater, true));
        }
        QVERIFY2(told(recorder).endsWith(" to http://example.invalid/feed.xml: updates are only fetched over https"),
                 qPrintable(told(recorder)));

        recorder.entries.clear();
        redirectToHttp = false;
        bool opened = false;
        DownloadDialog::setOpener([&](const QString&) { return opened = true; });
        FeedUpdater updater(configFor(server));
        QSignalSpy offers(&updater, &FeedUpdater::updateOffered);
        QVERIFY(runCheck(updater, false));
        QCOMPARE(offers.size(), 1);
        QTest::qWait(200);
        QVERIFY(!opened && recorder.entries.isEmpty());
        const QWidgetList windows = QApplication::topLevelWidgets();
        QVERIFY(std::none_of(windows.begin(), windows.end(),
                             [](QWidget* widget) { return qobject_cast<DownloadDialog*>(widget); }));
        delete offers.first().first().value<UpdaterDialog*>();
    }

    // The release tool's signature and public key are what the program checks against.
    void releaseSigningTool()
    {
        if (QStandardPaths::findExecutable("openssl").isEmpty())
            QSKIP("openssl is not installed");
        QTemporaryDir dir;
        const QString key = dir.filePath("key.pem"), release = dir.filePath("hullwright.deb");
        QVERIFY(QProcess::execute("openssl", {"genpkey", "-algorithm", "ed25519", "-out", key}) == 0);
        const QByteArray contents = QByteArray("a release\n").repeated(1000);
        QFile file(release);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size());
        file.close();
        const auto run = [](const QStringList& arguments) {
            QProcess tool;
            tool.start(QStringLiteral(HWT_SOURCE_DIR "/scripts/sign-update.sh"), arguments);
            return tool.waitForFinished(30000) && tool.exitCode() == 0 ? tool.readAllStandardOutput().trimmed() : QByteArray();
        };
        const QByteArray publicKey = QByteArray::fromBase64(run({"--public-key", key}));
        const QRegularExpressionMatch attributes = QRegularExpression("^length=\"(\\d+)\" sparkle:edSignature=\"([^\"]+)\"$")
                                                       .match(QString::fromLatin1(run({release, key})));
        QVERIFY(attributes.hasMatch());
        QCOMPARE(attributes.captured(1).toLongLong(), qint64(contents.size()));
        QVERIFY(UpdateVerification::verify(contents, attributes.captured(2), contents.size(), publicKey));
        QVERIFY(!UpdateVerification::verify(contents + 'x', attributes.captured(2), -1, publicKey));
    }

    void allowedAddresses_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<bool>("loopbackAllowed");
        QTest::addColumn<bool>("allowed");
        QTest::newRow("https") << "https://downloads.example/x.deb" << false << true;
        QTest::newRow("http") << "http://downloads.example/x.deb" << true << false;
        QTest::newRow("loopback, in tests") << "http://127.0.0.1:8080/x.deb" << true << true;
        QTest::newRow("loopback, shipped") << "http://127.0.0.1:8080/x.deb" << false << false;
        QTest::newRow("file") << "file:///etc/passwd" << true << false;
        QTest::newRow("ftp") << "ftp://downloads.example/x.deb" << true << false;
    }

    void allowedAddresses()
    {
        QFETCH(QString, url);
        QFETCH(bool, loopbackAllowed);
        QFETCH(bool, allowed);
        QCOMPARE(UpdateVerification::isAllowedUrl(QUrl(url), loopbackAllowed), allowed);
    }

    void downloads_data()
    {
        // Where it goes, whether the installer starts, and "opened <path>" or "rejected" and what the user is told.
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("starts");
        QTest::addColumn<QString>("outcome");  // a pattern; %1: the temporary directory
        QTest::newRow("redirected") << "/dl/hullwright-1.1.0.tar.gz" << true << "opened %1/hullwright-1.1.0.tar.gz";
        // The file is saved, checked against the feed's signature and length, and deleted when it fails.
        const QString unverified = "rejected Download failed: The downloaded update could not be verified and was deleted.";
        for (const char* tag : {"flipped byte", "wrong key", "no signature", "wrong length", "garbled signature"})
            QTest::newRow(tag) << "/dl/hullwright-1.1.0.tar.gz" << true << unverified;
        QTest::newRow("no length given") << "/dl/hullwright-1.1.0.tar.gz" << true << "opened %1/hullwright-1.1.0.tar.gz";
        // https only, redirects included (the tests' loopback server stands in for an https one).
        QTest::newRow("redirect to plain http") << "/dl/downgrade.deb" << true
            << "rejected Download failed: Refused to follow a redirect from http://127.0.0.1:\\d+/dl/downgrade.deb to "
               "http://example.invalid/hullwright.deb: updates are only downloaded over https";
        QTest::newRow("plain http address") << "http://example.invalid/hullwright.deb" << true
            << "rejected Download failed: Refused http://example.invalid/hullwright.deb: updates are only downloaded over https";
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
        QByteArray served = installer;
        if (tag == "flipped byte")
            served[12345] = 'y';
        const SigningKey key, otherKey;
        const QString signature = tag == "no signature"        ? QString()
                                  : tag == "wrong key"         ? otherKey.sign(installer)
                                  : tag == "garbled signature" ? QStringLiteral("not base64 at all!")
                                                               : key.sign(installer);
        const qint64 length = tag == "wrong length" ? installer.size() + 1 : tag == "no length given" ? -1 : installer.size();
        const QString saved = tmp + QStringLiteral("/hullwright-1.1.0.tar.gz");
        bool savedBeforeTheEnd = false;
        LoopbackServer server([&](const HttpRequest& request) {
            if (request.path.contains("downgrade"))
                return HttpResponse::redirect("http://example.invalid/hullwright.deb");
            if (request.path.contains("1.1.0") || request.path.contains("loop"))
                return HttpResponse::redirect(request.path.contains("loop") ? request.path : "/cdn/blob?id=1");
            savedBeforeTheEnd = QFile::exists(saved);
            return request.path.contains("hang") ? HttpResponse::silent()
                                                 : HttpResponse{request.path.contains("missing") ? 404 : 200, served};
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
        UpdateConfig config = configFor(server);
        config.publicKey = key.publicKey;
        DownloadDialog dialog(config, path.startsWith(QLatin1Char('/')) ? server.url(path) : QUrl(path), signature, length);
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
        const bool opened = result.startsWith(QLatin1String("opened"));
        QCOMPARE(file.open(QIODevice::ReadOnly) ? file.readAll() : "", opened ? installer : "");
        QCOMPARE(other.isVisible(), starts && !opened);
        QCOMPARE(QDir(tmp).entryList(QDir::Files), opened  ? QStringList{"hullwright-1.1.0.tar.gz"}
                                                   : starts ? QStringList()
                                                            : QStringList{"fine.deb"});
        // Told once.
        QVERIFY(recorder.entries.size() <= 1);
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
