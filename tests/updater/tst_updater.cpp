#include "autoupdater.h"
#include "downloaddialog.h"
#include "feedupdater.h"
#include "gsettings.h"
#include "loopbackserver.h"
#include "testsupport.h"
#include "updaterdialog.h"
#include "xmldocumentwriter.h"

#include <QDomDocument>
#include <QLabel>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QWebFrame>
#include <QWebView>
#include <QtTest>

#include <memory>

namespace {
struct FeedItem
{
    QString version;
    QString url;
    QString notes;
};

QByteArray feed(const QList<FeedItem>& items)
{
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                     "<rss version=\"2.0\" xmlns:sparkle=\"http://www.andymatuschak.org/xml-namespaces/sparkle\">\n"
                     "<channel><title>Hullwright</title><link>https://hullwright.org</link>\n";
    for (const FeedItem& item : items) {
        xml += "<item><title>Hullwright " + item.version.toUtf8() + "</title>";
        if (!item.notes.isEmpty())
            xml += "<sparkle:releaseNotesLink>" + item.notes.toUtf8() + "</sparkle:releaseNotesLink>";
        xml += "<enclosure url=\"" + item.url.toUtf8() + "\"";
        if (!item.version.isNull())
            xml += " sparkle:version=\"" + item.version.toUtf8() + "\"";
        xml += " length=\"10\" type=\"application/octet-stream\"/></item>\n";
    }
    xml += "</channel></rss>\n";
    return xml;
}

UpdateConfig configFor(const LoopbackServer& server)
{
    UpdateConfig config;
    config.iconPath = QStringLiteral(":/resources/Icon.png");
    config.baseUrl = server.base();
    config.statistics.insert(QStringLiteral("version"), QStringLiteral("1.0.9"));
    config.statistics.insert(QStringLiteral("uuid"), QStringLiteral("{00000000-0000-0000-0000-000000000001}"));
    config.statistics.insert(QStringLiteral("crashCounter"), QStringLiteral("-1"));
    return config;
}

QList<UpdaterDialog*> updaterDialogs()
{
    QList<UpdaterDialog*> dialogs;
    const QWidgetList widgets = QApplication::topLevelWidgets();
    for (QWidget* widget : widgets) {
        if (auto* dialog = qobject_cast<UpdaterDialog*>(widget); dialog && dialog->isVisible())
            dialogs << dialog;
    }
    return dialogs;
}

const char feedPath[] = "/hullwright/hullwright-release-linux.xml";
}

class TestUpdater : public QObject
{
    Q_OBJECT

private slots:
    void init() { TestSupport::clearSettings(); }
    void cleanup();

    void compareVersions_data();
    void compareVersions();
    void feedUrl();
    void optionsShareTheirSettings();
    void singleInstance();
    void secondInstanceEndsTheProcess();

    void statisticsDocumentBytes();
    void writerValues();
    void writerFinishesOnce();

    void requestCarriesStatistics_data();
    void requestCarriesStatistics();
    void feedFailures_data();
    void feedFailures();
    void newestVersionIsOffered();
    void nothingNewer_data();
    void nothingNewer();
    void skippedVersions();
    void skipTwiceKeepsOneEntry();
    void remindMeLaterStoresNothing();
    void feedRedirectIsFollowed();
    void endlessRedirectsFail();
    void silentServerTimesOut();

    void downloadFollowsRedirectAndOpens();
    void downloadFailures_data();
    void downloadFailures();
    void downloadCannotBeSaved();
    void downloadAbort();
    void installUpdateStartsDownload();

private:
    // Runs one check and waits for its answer.
    bool check(FeedUpdater& updater, bool interactive);
};

void TestUpdater::cleanup()
{
    DownloadDialog::setOpener({});
    DownloadDialog::setTimeout(DownloadDialog::defaultTimeoutMs);
    const QWidgetList widgets = QApplication::topLevelWidgets();
    for (QWidget* widget : widgets)
        widget->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

bool TestUpdater::check(FeedUpdater& updater, bool interactive)
{
    QSignalSpy finished(&updater, &FeedUpdater::checkFinished);
    if (interactive)
        updater.checkForUpdates();
    else
        updater.checkForUpdatesInBackground();
    return finished.wait(10000);
}

void TestUpdater::compareVersions_data()
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

void TestUpdater::compareVersions()
{
    QFETCH(QString, first);
    QFETCH(QString, second);
    QFETCH(int, result);
    QCOMPARE(AutoUpdater::compareVersions(first, second), result);
    QCOMPARE(AutoUpdater::compareVersions(second, first), -result);
}

void TestUpdater::feedUrl()
{
    LoopbackServer server;
    FeedUpdater updater(configFor(server));
    QCOMPARE(updater.feedUrl(), server.url(QString::fromLatin1(feedPath)));
    updater.setBetaUpdatesEnabled(true);
    QCOMPARE(updater.feedUrl(), server.url(QStringLiteral("/hullwright/hullwright-beta-linux.xml")));
}

void TestUpdater::optionsShareTheirSettings()
{
    LoopbackServer server;
    FeedUpdater updater(configFor(server));
    QVERIFY(updater.autoUpdatesEnabled());
    QVERIFY(!updater.betaUpdatesEnabled());
    QVERIFY(updater.sendStatisticsEnabled());
    updater.setAutoUpdatesEnabled(false);
    updater.setBetaUpdatesEnabled(true);
    updater.setSendStatisticsEnabled(false);
    GSettings settings;
    QCOMPARE(settings.value(QStringLiteral("autoUpdatesEnabled")), QVariant(false));
    QCOMPARE(settings.value(QStringLiteral("enableBetaUpdates")), QVariant(true));
    QCOMPARE(settings.value(QStringLiteral("sendStatisticsEnabled")), QVariant(false));
    // Nothing is cached: a change made elsewhere is seen at once.
    settings.setValue(QStringLiteral("autoUpdatesEnabled"), true);
    QVERIFY(updater.autoUpdatesEnabled());
}

void TestUpdater::singleInstance()
{
    QCOMPARE(AutoUpdater::instance(), nullptr);
    {
        LoopbackServer server;
        FeedUpdater updater(configFor(server));
        QCOMPARE(AutoUpdater::instance(), static_cast<AutoUpdater*>(&updater));
    }
    QCOMPARE(AutoUpdater::instance(), nullptr);
}

void TestUpdater::secondInstanceEndsTheProcess()
{
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--second-updater")});
    QVERIFY(child.waitForFinished(60000));
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), AutoUpdater::alreadyInitialisedExitCode);
    const QString output = QString::fromUtf8(child.readAllStandardError());
    QVERIFY2(output.contains(QLatin1String("AutoUpdater already initialised")), qPrintable(output));
    QVERIFY2(!output.contains(QLatin1String("second updater survived")), qPrintable(output));
}

void TestUpdater::statisticsDocumentBytes()
{
    QVariantMap statistics;
    statistics.insert(QStringLiteral("version"), QStringLiteral("1.0.9"));
    statistics.insert(QStringLiteral("osName"), QStringLiteral("Linux"));
    statistics.insert(QStringLiteral("osVersion"), QStringLiteral("Debian GNU/Linux 12 (bookworm) (64)"));
    statistics.insert(QStringLiteral("uuid"), QStringLiteral("{6f1c2a4e-0000-4000-8000-000000000000}"));
    statistics.insert(QStringLiteral("lastExporter"), QString());
    statistics.insert(QStringLiteral("crashCounter"), QStringLiteral("-1"));
    const QByteArray expected = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                "<stat version=\"1.0\">\n"
                                "\t<crashCounter>-1</crashCounter>\n"
                                "\t<lastExporter></lastExporter>\n"
                                "\t<osName>Linux</osName>\n"
                                "\t<osVersion>Debian GNU/Linux 12 (bookworm) (64)</osVersion>\n"
                                "\t<uuid>{6f1c2a4e-0000-4000-8000-000000000000}</uuid>\n"
                                "\t<version>1.0.9</version>\n"
                                "</stat>\n";
    QCOMPARE(AutoUpdater::statisticsDocument(statistics), expected);
}

void TestUpdater::writerValues()
{
    QVariantMap inner;
    inner.insert(QStringLiteral("b"), QStringLiteral("x < y & \"z\""));
    inner.insert(QStringLiteral("a"), QVariant());
    QByteArray document;
    {
        XmlDocumentWriter writer(&document, QStringLiteral("root"),
                                 {{QStringLiteral("z"), QStringLiteral("1")}, {QStringLiteral("a"), QStringLiteral("2")}});
        writer.writeValue(QStringLiteral("map"), inner);
        writer.writeValue(QStringLiteral("number"), 42);
        writer.startElement(QStringLiteral("group"), {{QStringLiteral("id"), QStringLiteral("7")}});
        writer.textElement(QStringLiteral("text"), QStringLiteral("bell\x07 and tab\t"));
        writer.endElement();
    }
    const QByteArray expected = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                "<root z=\"1\" a=\"2\">\n"
                                "\t<map>\n"
                                "\t\t<a>\n"
                                "\t\t\t<!--invalid data-->\n"
                                "\t\t</a>\n"
                                "\t\t<b>x &lt; y &amp; &quot;z&quot;</b>\n"
                                "\t</map>\n"
                                "\t<number>\n"
                                "\t\t<!--unknown value type-->\n"
                                "\t\t<!--42-->\n"
                                "\t</number>\n"
                                "\t<group id=\"7\">\n"
                                "\t\t<text>bell and tab\t</text>\n"
                                "\t</group>\n"
                                "</root>\n";
    QCOMPARE(document, expected);
    QDomDocument parsed;
    QVERIFY(parsed.setContent(document));
}

void TestUpdater::writerFinishesOnce()
{
    QByteArray document;
    {
        XmlDocumentWriter writer(&document, QStringLiteral("empty"));
        writer.finish();
        writer.finish();
    }
    QCOMPARE(document, QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<empty/>\n"));
}

void TestUpdater::requestCarriesStatistics_data()
{
    QTest::addColumn<bool>("statisticsEnabled");
    QTest::addColumn<bool>("beta");
    QTest::newRow("statistics on") << true << false;
    QTest::newRow("statistics off") << false << false;
    QTest::newRow("beta channel") << true << true;
}

void TestUpdater::requestCarriesStatistics()
{
    QFETCH(bool, statisticsEnabled);
    QFETCH(bool, beta);
    RecordingReporter recorder;
    LoopbackServer server([](const HttpRequest&) {
        HttpResponse response;
        response.body = feed({{QStringLiteral("1.0.9"), QString(), QString()}});
        return response;
    });
    const UpdateConfig config = configFor(server);
    FeedUpdater updater(config);
    updater.setSendStatisticsEnabled(statisticsEnabled);
    updater.setBetaUpdatesEnabled(beta);
    QVERIFY(check(updater, false));
    QCOMPARE(server.requests.size(), 1);
    const HttpRequest& request = server.requests.first();
    QCOMPARE(request.method, QByteArray("POST"));
    QCOMPARE(request.path, beta ? QByteArray("/hullwright/hullwright-beta-linux.xml") : QByteArray(feedPath));
    if (statisticsEnabled) {
        QCOMPARE(request.body, AutoUpdater::statisticsDocument(config.statistics));
        QDomDocument parsed;
        QVERIFY(parsed.setContent(request.body));
        QCOMPARE(parsed.documentElement().tagName(), QStringLiteral("stat"));
        QCOMPARE(parsed.documentElement().attribute(QStringLiteral("version")), QStringLiteral("1.0"));
        QCOMPARE(parsed.documentElement().firstChildElement(QStringLiteral("uuid")).text(),
                 config.statistics.value(QStringLiteral("uuid")).toString());
    } else {
        QVERIFY(request.body.isEmpty());
    }
    QVERIFY(recorder.entries.isEmpty());
}

void TestUpdater::feedFailures_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("message");
    QTest::newRow("not xml") << 200 << QByteArray("<html><body>oops") << "Can't read app cast feed. (No XML)";
    QTest::newRow("empty") << 200 << QByteArray() << "Can't read app cast feed. (No XML)";
    QTest::newRow("server error") << 500 << feed({{QStringLiteral("9.0"), QString(), QString()}})
                                  << "Can't read app cast feed. (No XML)";
    QTest::newRow("not rss") << 200 << QByteArray("<feed><channel/></feed>") << "Can't read app cast feed. (Not RSS)";
    QTest::newRow("no channel") << 200 << QByteArray("<rss><item/></rss>")
                                << "Can't read app cast feed. (No channel found)";
}

void TestUpdater::feedFailures()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(QString, message);
    LoopbackServer server([&](const HttpRequest&) {
        HttpResponse response;
        response.status = status;
        response.body = body;
        return response;
    });
    FeedUpdater updater(configFor(server));
    for (bool interactive : {false, true}) {
        RecordingReporter recorder;
        QVERIFY(check(updater, interactive));
        if (!interactive) {
            QVERIFY(recorder.entries.isEmpty());
            continue;
        }
        QCOMPARE(recorder.entries.size(), 1);
        QCOMPARE(recorder.entries.first().severity, Reporter::Critical);
        QCOMPARE(recorder.entries.first().title, QStringLiteral("Update check failed"));
        QCOMPARE(recorder.entries.first().text, message);
    }
    QVERIFY(updaterDialogs().isEmpty());
}

void TestUpdater::newestVersionIsOffered()
{
    RecordingReporter recorder;
    LoopbackServer server;
    server.setHandler([&server](const HttpRequest& request) {
        HttpResponse response;
        if (request.path == "/notes/1.1.0.html") {
            response.body = "<html><body><h1>What is new</h1></body></html>";
            response.headers.append(qMakePair(QByteArray("Content-Type"), QByteArray("text/html")));
            return response;
        }
        response.body = feed({{QStringLiteral("1.0.8"), QStringLiteral("https://example.invalid/1.0.8.deb"), QString()},
                              {QStringLiteral("1.1.0"), QStringLiteral("https://example.invalid/1.1.0.deb"),
                               server.url(QStringLiteral("/notes/1.1.0.html")).toString()},
                              {QStringLiteral("1.0.10"), QStringLiteral("https://example.invalid/1.0.10.deb"), QString()},
                              {QString(), QStringLiteral("https://example.invalid/none.deb"), QString()}});
        return response;
    });
    FeedUpdater updater(configFor(server));
    QSignalSpy offered(&updater, &FeedUpdater::updateOffered);
    QVERIFY(check(updater, false));
    QCOMPARE(offered.size(), 1);
    QVERIFY(recorder.entries.isEmpty());

    const QList<UpdaterDialog*> dialogs = updaterDialogs();
    QCOMPARE(dialogs.size(), 1);
    UpdaterDialog* dialog = dialogs.first();
    QCOMPARE(dialog->version(), QStringLiteral("1.1.0"));
    QCOMPARE(dialog->downloadUrl(), QStringLiteral("https://example.invalid/1.1.0.deb"));
    QCOMPARE(dialog->windowTitle(), QStringLiteral("New version available"));
    QVERIFY(!dialog->isModal());
    QCOMPARE(dialog->findChild<QLabel*>(QStringLiteral("headerLabel"))->text(),
             QStringLiteral("A newer version of Hullwright is available!"));
    QCOMPARE(dialog->findChild<QLabel*>(QStringLiteral("textLabel"))->text(),
             QStringLiteral("Hullwright 1.1.0 is now available - you have 1.0.9. Would you like to download it now?"));
    QCOMPARE(dialog->findChild<QLabel*>(QStringLiteral("releaseNotesLabel"))->text(), QStringLiteral("Release Notes:"));
    const QPixmap icon = dialog->findChild<QLabel*>(QStringLiteral("iconLabel"))->pixmap(Qt::ReturnByValue);
    QCOMPARE(icon.size(), QSize(64, 64));

    auto* notes = dialog->findChild<QWebView*>(QStringLiteral("releaseNotes"));
    QVERIFY(notes);
    QTRY_VERIFY_WITH_TIMEOUT(notes->page()->mainFrame()->toPlainText().contains(QLatin1String("What is new")), 10000);
    QCOMPARE(server.requests.last().path, QByteArray("/notes/1.1.0.html"));
}

void TestUpdater::nothingNewer_data()
{
    QTest::addColumn<QStringList>("versions");
    QTest::newRow("same version") << QStringList{"1.0.9"};
    QTest::newRow("more components") << QStringList{"1.0.9.1"};
    QTest::newRow("older and unnumbered") << QStringList{"1.0.8", QString()};
}

void TestUpdater::nothingNewer()
{
    QFETCH(QStringList, versions);
    LoopbackServer server([&](const HttpRequest&) {
        QList<FeedItem> items;
        for (const QString& version : versions)
            items.append(FeedItem{version, QStringLiteral("https://example.invalid/x.deb"), QString()});
        HttpResponse response;
        response.body = feed(items);
        return response;
    });
    FeedUpdater updater(configFor(server));
    QSignalSpy offered(&updater, &FeedUpdater::updateOffered);
    {
        RecordingReporter recorder;
        QVERIFY(check(updater, false));
        QVERIFY(recorder.entries.isEmpty());
    }
    RecordingReporter recorder;
    QVERIFY(check(updater, true));
    QCOMPARE(recorder.entries.size(), 1);
    QCOMPARE(recorder.entries.first().severity, Reporter::Information);
    QCOMPARE(recorder.entries.first().title, QStringLiteral("No new updates available"));
    QCOMPARE(recorder.entries.first().text, QStringLiteral("There are no new updates available for Hullwright"));
    QCOMPARE(offered.size(), 0);
    QVERIFY(updaterDialogs().isEmpty());
}

void TestUpdater::skippedVersions()
{
    LoopbackServer server([](const HttpRequest&) {
        HttpResponse response;
        response.body = feed({{QStringLiteral("1.1.0"), QStringLiteral("https://example.invalid/1.1.0.deb"), QString()}});
        return response;
    });
    GSettings().setValue(QStringLiteral("updater/skippedversions"), QStringList{"1.0.10", "1.1.0"});
    RecordingReporter recorder;
    FeedUpdater updater(configFor(server));
    QSignalSpy offered(&updater, &FeedUpdater::updateOffered);
    QVERIFY(check(updater, false));
    QCOMPARE(offered.size(), 0);
    QVERIFY(updaterDialogs().isEmpty());

    QVERIFY(check(updater, true));
    QCOMPARE(offered.size(), 1);
    QCOMPARE(updaterDialogs().size(), 1);
    QCOMPARE(updaterDialogs().first()->version(), QStringLiteral("1.1.0"));
    QVERIFY(recorder.entries.isEmpty());

    // Skipping is case-sensitive: another spelling of the version is offered.
    GSettings().setValue(QStringLiteral("updater/skippedversions"), QStringList{"1.1.0 "});
    QVERIFY(check(updater, false));
    QCOMPARE(offered.size(), 2);
}

void TestUpdater::skipTwiceKeepsOneEntry()
{
    GSettings().setValue(QStringLiteral("updater/skippedversions"), QStringList{"1.0.10"});
    for (int round = 0; round < 2; ++round) {
        UpdaterDialog dialog(QStringLiteral("1.2.0"), QStringLiteral("https://example.invalid/1.2.0.deb"), QString(),
                             UpdateConfig());
        dialog.show();
        QSignalSpy finished(&dialog, &QDialog::finished);
        QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("skipVersionButton")), Qt::LeftButton);
        QCOMPARE(finished.size(), 1);
        QCOMPARE(finished.first().first().toInt(), 0);
        QVERIFY(!dialog.isVisible());
    }
    QCOMPARE(GSettings().value(QStringLiteral("updater/skippedversions")).toStringList(),
             (QStringList{"1.0.10", "1.2.0"}));
}

void TestUpdater::remindMeLaterStoresNothing()
{
    UpdaterDialog dialog(QStringLiteral("1.2.0"), QString(), QString(), UpdateConfig());
    dialog.show();
    QSignalSpy finished(&dialog, &QDialog::finished);
    QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("remindMeLaterButton")), Qt::LeftButton);
    QCOMPARE(finished.size(), 1);
    QCOMPARE(finished.first().first().toInt(), 0);
    QVERIFY(!dialog.isVisible());
    QVERIFY(!GSettings().contains(QStringLiteral("updater/skippedversions")));
}

void TestUpdater::feedRedirectIsFollowed()
{
    LoopbackServer server([](const HttpRequest& request) {
        if (request.path == feedPath)
            return HttpResponse::redirect("/mirror/feed.xml", 301);
        HttpResponse response;
        response.body = feed({{QStringLiteral("1.2.0"), QStringLiteral("https://example.invalid/1.2.0.deb"), QString()}});
        return response;
    });
    const UpdateConfig config = configFor(server);
    RecordingReporter recorder;
    FeedUpdater updater(config);
    QSignalSpy offered(&updater, &FeedUpdater::updateOffered);
    QVERIFY(check(updater, true));
    QCOMPARE(offered.size(), 1);
    QCOMPARE(server.requests.size(), 2);
    QCOMPARE(server.requests.at(1).path, QByteArray("/mirror/feed.xml"));
    QCOMPARE(server.requests.at(1).method, QByteArray("POST"));
    QCOMPARE(server.requests.at(1).body, AutoUpdater::statisticsDocument(config.statistics));
    QVERIFY(recorder.entries.isEmpty());
}

void TestUpdater::endlessRedirectsFail()
{
    LoopbackServer server([](const HttpRequest&) { return HttpResponse::redirect("/again"); });
    RecordingReporter recorder;
    FeedUpdater updater(configFor(server));
    QVERIFY(check(updater, true));
    QCOMPARE(server.requests.size(), FeedUpdater::maximumRedirects + 1);
    QCOMPARE(recorder.entries.size(), 1);
    QCOMPARE(recorder.entries.first().text, QStringLiteral("Can't read app cast feed. (No XML)"));
}

void TestUpdater::silentServerTimesOut()
{
    LoopbackServer server([](const HttpRequest&) { return HttpResponse::silent(); });
    RecordingReporter recorder;
    FeedUpdater updater(configFor(server));
    updater.setTimeout(300);
    QVERIFY(check(updater, true));
    QCOMPARE(recorder.entries.size(), 1);
    QCOMPARE(recorder.entries.first().title, QStringLiteral("Update check failed"));
}

void TestUpdater::downloadFollowsRedirectAndOpens()
{
    const QByteArray installer(200000, 'x');
    QTemporaryDir temp;
    qputenv("TMPDIR", temp.path().toLocal8Bit());
    const QString target = temp.filePath(QStringLiteral("hullwright-1.1.0.tar.gz"));
    bool fileExistedAtRedirect = true;
    LoopbackServer server([&](const HttpRequest& request) {
        if (request.path == "/dl/hullwright-1.1.0.tar.gz")
            return HttpResponse::redirect("/cdn/blob?id=1");
        fileExistedAtRedirect = QFile::exists(target);
        HttpResponse response;
        response.body = installer;
        return response;
    });
    QStringList opened;
    DownloadDialog::setOpener([&](const QString& path) {
        opened << path;
        return true;
    });
    RecordingReporter recorder;
    QWidget other;
    other.show();
    DownloadDialog dialog(UpdateConfig(), server.url(QStringLiteral("/dl/hullwright-1.1.0.tar.gz")));
    dialog.show();
    QVERIFY(dialog.isModal());
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Downloading Hullwright"));
    QSignalSpy finished(&dialog, &QDialog::finished);
    QVERIFY(finished.wait(10000));
    qunsetenv("TMPDIR");

    QCOMPARE(finished.first().first().toInt(), int(QDialog::Accepted));
    QVERIFY(recorder.entries.isEmpty());
    QCOMPARE(server.requests.size(), 2);
    QVERIFY(!fileExistedAtRedirect);
    QCOMPARE(opened, QStringList{target});
    QFile file(target);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), installer);
    auto* progress = dialog.findChild<QProgressBar*>(QStringLiteral("progressBar"));
    QCOMPARE(progress->maximum(), installer.size());
    QCOMPARE(progress->value(), installer.size());
    // The other windows make way for the installer.
    QVERIFY(!other.isVisible());
}

void TestUpdater::downloadFailures_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("openerSucceeds");
    QTest::addColumn<QString>("title");
    QTest::newRow("not found") << "/dl/missing.deb" << true << "Download failed";
    QTest::newRow("silent server") << "/dl/hang.deb" << true << "Download failed";
    QTest::newRow("not a web address") << "file:///etc/hostname" << true << "Download failed";
    QTest::newRow("cannot start") << "/dl/fine.deb" << false << "Failed to start update";
}

void TestUpdater::downloadFailures()
{
    QFETCH(QString, path);
    QFETCH(bool, openerSucceeds);
    QFETCH(QString, title);
    QTemporaryDir temp;
    qputenv("TMPDIR", temp.path().toLocal8Bit());
    LoopbackServer server([](const HttpRequest& request) {
        HttpResponse response;
        response.body = "data";
        if (request.path.contains("missing")) {
            response.status = 404;
            response.body = "no such file";
        }
        response.hang = request.path.contains("hang");
        return response;
    });
    int openerCalls = 0;
    DownloadDialog::setOpener([&](const QString&) {
        ++openerCalls;
        return openerSucceeds;
    });
    DownloadDialog::setTimeout(300);
    RecordingReporter recorder;
    const QUrl url = path.startsWith(QLatin1Char('/')) ? server.url(path) : QUrl(path);
    DownloadDialog dialog(UpdateConfig(), url);
    dialog.show();
    QSignalSpy finished(&dialog, &QDialog::finished);
    QVERIFY(finished.wait(10000));
    qunsetenv("TMPDIR");

    QCOMPARE(finished.first().first().toInt(), int(QDialog::Rejected));
    QCOMPARE(recorder.entries.size(), 1);
    QCOMPARE(recorder.entries.first().severity, Reporter::Critical);
    QCOMPARE(recorder.entries.first().title, title);
    QVERIFY(!recorder.entries.first().text.isEmpty());
    if (openerSucceeds) {
        QCOMPARE(openerCalls, 0);
        QVERIFY(QDir(temp.path()).entryList(QDir::Files).isEmpty());
    } else {
        QCOMPARE(openerCalls, 1);
        // The download stays where it was saved.
        QCOMPARE(recorder.entries.first().text, QStringLiteral("Failed to start: ") + temp.filePath("fine.deb"));
        QVERIFY(QFile::exists(temp.filePath(QStringLiteral("fine.deb"))));
    }
}

void TestUpdater::downloadCannotBeSaved()
{
    // A file where the temporary directory should be: nothing can be saved
    // inside it, not even with every permission.
    QTemporaryDir temp;
    const QString notADirectory = temp.filePath(QStringLiteral("file"));
    QFile blocker(notADirectory);
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    qputenv("TMPDIR", notADirectory.toLocal8Bit());
    LoopbackServer server([](const HttpRequest&) {
        HttpResponse response;
        response.body = "data";
        return response;
    });
    int openerCalls = 0;
    DownloadDialog::setOpener([&](const QString&) {
        ++openerCalls;
        return true;
    });
    RecordingReporter recorder;
    DownloadDialog dialog(UpdateConfig(), server.url(QStringLiteral("/dl/app.deb")));
    QSignalSpy finished(&dialog, &QDialog::finished);
    QVERIFY(finished.wait(10000));
    qunsetenv("TMPDIR");
    QCOMPARE(finished.first().first().toInt(), int(QDialog::Rejected));
    QCOMPARE(recorder.entries.size(), 1);
    QCOMPARE(recorder.entries.first().title, QStringLiteral("Failed to save update"));
    QCOMPARE(recorder.entries.first().text,
             QStringLiteral("Failed to write update to ") + notADirectory + QStringLiteral("/app.deb"));
    QCOMPARE(openerCalls, 0);
}

void TestUpdater::downloadAbort()
{
    LoopbackServer server([](const HttpRequest&) { return HttpResponse::silent(); });
    int openerCalls = 0;
    DownloadDialog::setOpener([&](const QString&) {
        ++openerCalls;
        return true;
    });
    RecordingReporter recorder;
    DownloadDialog dialog(UpdateConfig(), server.url(QStringLiteral("/dl/app.deb")));
    dialog.show();
    QTRY_COMPARE(server.requests.size(), 1);
    QSignalSpy finished(&dialog, &QDialog::finished);
    QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("abortButton")), Qt::LeftButton);
    QCOMPARE(finished.size(), 1);
    QCOMPARE(finished.first().first().toInt(), int(QDialog::Rejected));
    // Nothing arrives later from the aborted download.
    QTest::qWait(200);
    QVERIFY(recorder.entries.isEmpty());
    QCOMPARE(openerCalls, 0);
    QCOMPARE(finished.size(), 1);
}

void TestUpdater::installUpdateStartsDownload()
{
    LoopbackServer server([](const HttpRequest&) { return HttpResponse::silent(); });
    UpdateConfig config = configFor(server);
    auto* dialog = new UpdaterDialog(QStringLiteral("1.1.0"), server.url(QStringLiteral("/dl/app.deb")).toString(),
                                     QString(), config);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
    QPointer<UpdaterDialog> guard(dialog);
    QSignalSpy started(dialog, &UpdaterDialog::downloadStarted);
    QSignalSpy finished(dialog, &QDialog::finished);
    QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("installUpdateButton")), Qt::LeftButton);
    QCOMPARE(finished.size(), 1);
    QCOMPARE(finished.first().first().toInt(), 1);
    QCOMPARE(started.size(), 1);
    auto* download = qvariant_cast<QDialog*>(started.first().first());
    QVERIFY(qobject_cast<DownloadDialog*>(download));
    QVERIFY(download->isVisible());
    QVERIFY(download->isModal());
    QTRY_COMPARE(server.requests.size(), 1);
    QCOMPARE(server.requests.first().method, QByteArray("GET"));
    QCOMPARE(server.requests.first().path, QByteArray("/dl/app.deb"));
    QTRY_VERIFY(!guard);
    download->close();
}

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
