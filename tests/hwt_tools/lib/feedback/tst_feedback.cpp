#include "crashhandler.h"
#include "crashreportcheck.h"
#include "feedbackdialog.h"
#include "gcrashlogcollectorimpl.h"
#include "gsettings.h"
#include "loopbackserver.h"
#include "systeminquiry.h"
#include "testsupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDomDocument>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <cstdlib>
#include <sys/mman.h>

namespace {
QByteArray head(const QString& mail, const QByteArray& additional)
{
    const SystemInquiry& system = SystemInquiry::instance();
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<feedback version=\"1.0\">\n"
           "\t<os>"
           + (system.osName() + QLatin1Char(' ') + system.osVersion()).toUtf8() + "</os>\n"
           + "\t<mail>" + mail.toUtf8() + "</mail>\n"
           + "\t<appName>Hullwright</appName>\n"
             "\t<appVersion>1.0.9</appVersion>\n"
           + additional;
}

void type(QWidget* dialog, const char* objectName, const QString& text)
{
    QWidget* field = dialog->findChild<QWidget*>(QLatin1String(objectName));
    QVERIFY2(field, objectName);
    QTest::keyClicks(field, text);
}

QString writeLog(const QString& directory, const QString& name, const QByteArray& text, const QDateTime& time)
{
    QFile file(directory + QLatin1Char('/') + name);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    file.write(text);
    file.flush();
    file.setFileTime(time, QFileDevice::FileModificationTime);
    return file.fileName();
}
}

class TestFeedback : public QObject
{
    Q_OBJECT

private slots:
    void init() { TestSupport::clearSettings(); }

    void pages();
    void documentPerPage_data();
    void documentPerPage();
    void additionalData();
    void uncheckedMailStaysHome();
    void crashVariant();

    void serviceUrl();
    void answers_data();
    void answers();
    void okButtonPostsAndClosesOnSuccess();
    void redirectPostsAgain();
    void silentServerTimesOut();

    void crashCheckAdvancesWithoutLogs();
    void crashCheckReturnsNewLogsOnly();
    void crashLogKeys();
    void collectorBoundsWhatItReads();
    void crashingChildLeavesALog_data();
    void crashingChildLeavesALog();
};

void TestFeedback::pages()
{
    FeedbackDialog dialog(nullptr);
    auto* tabs = dialog.findChild<QTabWidget*>(QStringLiteral("tabWidget"));
    QVERIFY(tabs);
    QCOMPARE(tabs->count(), 3);
    QCOMPARE(tabs->tabText(0), QStringLiteral("Support Question"));
    QCOMPARE(tabs->tabText(1), QStringLiteral("Feature Request"));
    QCOMPARE(tabs->tabText(2), QStringLiteral("Bug Report"));
    QVERIFY(!dialog.findChild<QWidget*>(QStringLiteral("crashPage")));
    auto* urgency = dialog.findChild<QComboBox*>(QStringLiteral("featureUrgency"));
    QCOMPARE(urgency->count(), 3);
    QCOMPARE(urgency->itemText(0), QStringLiteral("Nice to have"));
    QCOMPARE(urgency->itemText(1), QStringLiteral("Very important"));
    QCOMPARE(urgency->itemText(2), QStringLiteral("Deal breaker"));
    auto* include = dialog.findChild<QCheckBox*>(QStringLiteral("includeEmail"));
    QCOMPARE(include->text(), QStringLiteral("Include my email address"));
    QVERIFY(include->isChecked());
    auto* mail = dialog.findChild<QComboBox*>(QStringLiteral("email"));
    QVERIFY(mail->isEditable());
    QCOMPARE(mail->count(), SystemInquiry::instance().mailAddresses().size());
}

void TestFeedback::documentPerPage_data()
{
    QTest::addColumn<int>("page");
    QTest::addColumn<QByteArray>("tail");
    QTest::newRow("question") << 0
                              << QByteArray("\t<type>question</type>\n\t<support>\n"
                                            "\t\t<question>How do I\nexport &amp; publish?</question>\n"
                                            "\t\t<topic>Publishing</topic>\n\t</support>\n</feedback>\n");
    QTest::newRow("feature") << 1
                             << QByteArray("\t<type>feature</type>\n\t<feature>\n"
                                           "\t\t<request>Layers &lt;please&gt;</request>\n"
                                           "\t\t<urgency>Deal breaker</urgency>\n"
                                           "\t\t<topic>Layers</topic>\n\t</feature>\n</feedback>\n");
    QTest::newRow("bug") << 2
                         << QByteArray("\t<type>bug</type>\n\t<bug>\n"
                                       "\t\t<expected>A circle</expected>\n"
                                       "\t\t<reproduce>Click twice</reproduce>\n"
                                       "\t\t<critical>yes</critical>\n"
                                       "\t\t<topic>Circles</topic>\n\t</bug>\n</feedback>\n");
}

void TestFeedback::documentPerPage()
{
    QFETCH(int, page);
    QFETCH(QByteArray, tail);
    FeedbackDialog dialog(nullptr);
    dialog.show();
    // Fill every page; only the shown one is sent.
    type(&dialog, "supportTopic", QStringLiteral("Publishing"));
    dialog.findChild<QPlainTextEdit*>(QStringLiteral("supportQuestion"))->setPlainText(QStringLiteral("How do I\nexport & publish?"));
    type(&dialog, "featureTopic", QStringLiteral("Layers"));
    type(&dialog, "featureRequest", QStringLiteral("Layers <please>"));
    dialog.findChild<QComboBox*>(QStringLiteral("featureUrgency"))->setCurrentIndex(2);
    type(&dialog, "bugTopic", QStringLiteral("Circles"));
    type(&dialog, "bugExpected", QStringLiteral("A circle"));
    type(&dialog, "bugReproduce", QStringLiteral("Click twice"));
    QTest::mouseClick(dialog.findChild<QCheckBox*>(QStringLiteral("bugCritical")), Qt::LeftButton);
    type(&dialog, "email", QStringLiteral("me@example.org"));
    dialog.findChild<QTabWidget*>(QStringLiteral("tabWidget"))->setCurrentIndex(page);
    QCOMPARE(int(dialog.currentPage()), page);

    QCOMPARE(dialog.feedbackDocument(), head(QStringLiteral("me@example.org"), "\t<additional/>\n") + tail);
}

void TestFeedback::additionalData()
{
    QVariantMap data;
    data.insert(QStringLiteral("version"), QStringLiteral("1.0.9"));
    data.insert(QStringLiteral("lastExporter"), QString());
    data.insert(QStringLiteral("count"), 3);
    FeedbackDialog dialog(nullptr, data);
    const QByteArray expected = head(QString(),
                                     "\t<additional>\n"
                                     "\t\t<key>count</key>\n"
                                     "\t\t<value>\n"
                                     "\t\t\t<!--unknown value type-->\n"
                                     "\t\t\t<!--3-->\n"
                                     "\t\t</value>\n"
                                     "\t\t<key>lastExporter</key>\n"
                                     "\t\t<value></value>\n"
                                     "\t\t<key>version</key>\n"
                                     "\t\t<value>1.0.9</value>\n"
                                     "\t</additional>\n")
                                + "\t<type>question</type>\n\t<support>\n\t\t<question></question>\n"
                                  "\t\t<topic></topic>\n\t</support>\n</feedback>\n";
    QCOMPARE(dialog.feedbackDocument(), expected);
}

void TestFeedback::uncheckedMailStaysHome()
{
    FeedbackDialog dialog(nullptr);
    dialog.show();
    type(&dialog, "email", QStringLiteral("me@example.org"));
    auto* include = dialog.findChild<QCheckBox*>(QStringLiteral("includeEmail"));
    QTest::mouseClick(include, Qt::LeftButton);
    QVERIFY(!include->isChecked());
    QVERIFY(!dialog.findChild<QComboBox*>(QStringLiteral("email"))->isEnabled());
    QDomDocument document;
    QVERIFY(document.setContent(dialog.feedbackDocument()));
    const QDomElement mail = document.documentElement().firstChildElement(QStringLiteral("mail"));
    QVERIFY(!mail.isNull());
    QCOMPARE(mail.text(), QString());
}

void TestFeedback::crashVariant()
{
    const QString log = QStringLiteral("Hullwright 1.0.9 crashed\nSignal: 11 (SIGSEGV)\nBacktrace:\n#0 <here>\n");
    QVariantMap data = CrashReportCheck::additionalData({QStringLiteral("old log"), log});
    FeedbackDialog dialog(nullptr, data, log);
    dialog.show();
    QVERIFY(!dialog.findChild<QTabWidget*>(QStringLiteral("tabWidget")));
    QVERIFY(dialog.findChild<QWidget*>(QStringLiteral("crashPage")));
    QCOMPARE(dialog.currentPage(), FeedbackDialog::CrashPage);
    QCOMPARE(dialog.findChild<QPlainTextEdit*>(QStringLiteral("crashLog"))->toPlainText(), log);
    QStringList texts;
    const QList<QLabel*> labels = dialog.findChildren<QLabel*>();
    for (QLabel* label : labels)
        texts << label->text();
    QVERIFY(texts.contains(
        QStringLiteral("Seems like Hullwright crashed. Please describe what you did just before the crash.")));
    QVERIFY(texts.contains(QStringLiteral("What steps will reproduce the problem? (optional)")));
    QVERIFY(texts.contains(QStringLiteral("The text below is application's crash log, please leave it unchanged to "
                                          "help us determine possible cause!")));
    type(&dialog, "crashDescription", QStringLiteral("Traced a sprite"));
    type(&dialog, "crashReproduce", QStringLiteral("Trace twice"));
    type(&dialog, "email", QStringLiteral("me@example.org"));

    const QByteArray expected = head(QStringLiteral("me@example.org"),
                                     "\t<additional>\n"
                                     "\t\t<key>log-1</key>\n"
                                     "\t\t<value>old log</value>\n"
                                     "\t\t<key>log-2</key>\n"
                                     "\t\t<value>" + log.toUtf8().replace("<here>", "&lt;here&gt;") + "</value>\n"
                                     "\t</additional>\n")
                                + "\t<type>crash</type>\n\t<crash>\n"
                                  "\t\t<description>Traced a sprite</description>\n"
                                  "\t\t<reproduce>Trace twice</reproduce>\n"
                                  "\t\t<log>" + log.toUtf8().replace("<here>", "&lt;here&gt;") + "</log>\n"
                                  "\t</crash>\n</feedback>\n";
    QCOMPARE(dialog.feedbackDocument(), expected);
}

void TestFeedback::serviceUrl()
{
    const QUrl url = FeedbackDialog::defaultServiceUrl();
    QCOMPARE(url.scheme(), QStringLiteral("https"));
    QCOMPARE(url.path(), QStringLiteral("/helper/feedback.php"));
    QVERIFY(url.host().endsWith(QLatin1String("hullwright.org")));
    QCOMPARE(FeedbackDialog(nullptr).serviceUrl(), url);
}

void TestFeedback::answers_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<bool>("success");
    QTest::newRow("OK") << 200 << QByteArray("OK") << true;
    QTest::newRow("OK with spaces") << 200 << QByteArray("  OK \r\n") << true;
    QTest::newRow("lower case") << 200 << QByteArray("ok") << false;
    QTest::newRow("more words") << 200 << QByteArray("OK then") << false;
    QTest::newRow("empty") << 200 << QByteArray() << false;
    QTest::newRow("server error") << 500 << QByteArray("OK") << false;
}

void TestFeedback::answers()
{
    QFETCH(int, status);
    QFETCH(QByteArray, answer);
    QFETCH(bool, success);
    LoopbackServer server([&](const HttpRequest&) {
        HttpResponse response;
        response.status = status;
        response.body = answer;
        return response;
    });
    RecordingReporter recorder;
    FeedbackDialog dialog(nullptr);
    dialog.show();
    QSignalSpy finished(&dialog, &FeedbackDialog::sendingFinished);
    dialog.sendFeedback(server.url(QStringLiteral("/helper/feedback.php")));
    QVERIFY(finished.wait(10000));
    QTest::qWait(50);
    QCOMPARE(finished.size(), 1);
    QCOMPARE(finished.first().first().toBool(), success);
    QCOMPARE(recorder.entries.size(), 1);
    if (success) {
        QCOMPARE(recorder.entries.first().severity, Reporter::Information);
        QCOMPARE(recorder.entries.first().title, QStringLiteral("Feedback successfully sent"));
        QCOMPARE(recorder.entries.first().text, QStringLiteral("Thanks for sending feedback!"));
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QVERIFY(!dialog.isVisible());
    } else {
        QCOMPARE(recorder.entries.first().severity, Reporter::Critical);
        QCOMPARE(recorder.entries.first().title, QStringLiteral("Sending message failed"));
        QVERIFY(!recorder.entries.first().text.isEmpty());
        QVERIFY(dialog.isVisible());
    }
    const HttpRequest& request = server.requests.first();
    QCOMPARE(request.method, QByteArray("POST"));
    QCOMPARE(request.path, QByteArray("/helper/feedback.php"));
    QCOMPARE(request.headers.value("content-type"), QByteArray("text/xml"));
    QCOMPARE(request.body, dialog.feedbackDocument());
}

void TestFeedback::okButtonPostsAndClosesOnSuccess()
{
    bool answerNow = false;
    LoopbackServer server([&](const HttpRequest&) {
        HttpResponse response;
        response.body = answerNow ? "OK" : "busy";
        return response;
    });
    RecordingReporter recorder;
    FeedbackDialog dialog(nullptr);
    dialog.setServiceUrl(server.url(QStringLiteral("/helper/feedback.php")));
    dialog.show();
    type(&dialog, "supportTopic", QStringLiteral("Hello"));
    QPushButton* ok = dialog.findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"))->button(QDialogButtonBox::Ok);
    QSignalSpy finished(&dialog, &FeedbackDialog::sendingFinished);

    QTest::mouseClick(ok, Qt::LeftButton);
    QVERIFY(dialog.isVisible());
    QVERIFY(!ok->isEnabled());
    QVERIFY(finished.wait(10000));
    // A refusal keeps the dialog and what the user wrote.
    QVERIFY(dialog.isVisible());
    QVERIFY(ok->isEnabled());
    QCOMPARE(dialog.findChild<QLineEdit*>(QStringLiteral("supportTopic"))->text(), QStringLiteral("Hello"));
    QCOMPARE(recorder.entries.size(), 1);
    QCOMPARE(recorder.entries.first().title, QStringLiteral("Sending message failed"));

    answerNow = true;
    QTest::mouseClick(ok, Qt::LeftButton);
    QVERIFY(finished.wait(10000));
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(recorder.entries.size(), 2);
    QCOMPARE(recorder.entries.last().title, QStringLiteral("Feedback successfully sent"));
    QCOMPARE(server.requests.size(), 2);
    QVERIFY(server.requests.last().body.contains("<topic>Hello</topic>"));
}

void TestFeedback::redirectPostsAgain()
{
    LoopbackServer server([](const HttpRequest& request) {
        if (request.path == "/helper/feedback.php")
            return HttpResponse::redirect("/v2/feedback.php", 307);
        HttpResponse response;
        response.body = "OK\n";
        return response;
    });
    RecordingReporter recorder;
    FeedbackDialog dialog(nullptr);
    dialog.show();
    QSignalSpy finished(&dialog, &FeedbackDialog::sendingFinished);
    dialog.sendFeedback(server.url(QStringLiteral("/helper/feedback.php")));
    QVERIFY(finished.wait(10000));
    QCOMPARE(finished.first().first().toBool(), true);
    QCOMPARE(server.requests.size(), 2);
    QCOMPARE(server.requests.at(1).path, QByteArray("/v2/feedback.php"));
    QCOMPARE(server.requests.at(1).method, QByteArray("POST"));
    QCOMPARE(server.requests.at(1).headers.value("content-type"), QByteArray("text/xml"));
    QCOMPARE(server.requests.at(1).body, server.requests.at(0).body);
    QCOMPARE(recorder.entries.size(), 1);
    QCOMPARE(recorder.entries.first().title, QStringLiteral("Feedback successfully sent"));
}

void TestFeedback::silentServerTimesOut()
{
    LoopbackServer server([](const HttpRequest&) { return HttpResponse::silent(); });
    RecordingReporter recorder;
    FeedbackDialog dialog(nullptr);
    dialog.setTimeout(300);
    dialog.show();
    QSignalSpy finished(&dialog, &FeedbackDialog::sendingFinished);
    dialog.sendFeedback(server.url(QStringLiteral("/helper/feedback.php")));
    QVERIFY(finished.wait(10000));
    QCOMPARE(finished.first().first().toBool(), false);
    QCOMPARE(recorder.entries.size(), 1);
    QCOMPARE(recorder.entries.first().title, QStringLiteral("Sending message failed"));
    QVERIFY(dialog.isVisible());
}

void TestFeedback::crashCheckAdvancesWithoutLogs()
{
    const QString key = QStringLiteral("crashlogger-last-check");
    QVERIFY(!GSettings().contains(key));
    const QDateTime before = QDateTime::currentDateTime();
    GCrashLogCollectorImplDummy dummy;
    QVERIFY(CrashReportCheck::logsSinceLastCheck(dummy).isEmpty());
    const QDateTime first = GSettings().value(key).toDateTime();
    QVERIFY(first.isValid());
    QVERIFY(first >= before);
    QTest::qWait(20);
    QVERIFY(CrashReportCheck::logsSinceLastCheck(dummy).isEmpty());
    QVERIFY(GSettings().value(key).toDateTime() > first);
}

void TestFeedback::crashCheckReturnsNewLogsOnly()
{
    QTemporaryDir dir;
    const QDateTime now = QDateTime::currentDateTime();
    writeLog(dir.path(), QStringLiteral("crash-1-1.log"), "long ago", now.addDays(-3));
    GCrashLogCollectorImplFile collector(dir.path());
    // A first start offers every log there is.
    QCOMPARE(CrashReportCheck::logsSinceLastCheck(collector), QStringList{QStringLiteral("long ago")});
    QVERIFY(CrashReportCheck::logsSinceLastCheck(collector).isEmpty());

    writeLog(dir.path(), QStringLiteral("crash-3-3.log"), "newest", now.addSecs(120));
    writeLog(dir.path(), QStringLiteral("crash-2-2.log"), "newer", now.addSecs(60));
    writeLog(dir.path(), QStringLiteral("notes.txt"), "not a log", now.addSecs(60));
    QCOMPARE(CrashReportCheck::logsSinceLastCheck(collector), (QStringList{"newer", "newest"}));
}

void TestFeedback::crashLogKeys()
{
    const QVariantMap data = CrashReportCheck::additionalData({"a", "b", "c"});
    QCOMPARE(data.keys(), (QStringList{"log-1", "log-2", "log-3"}));
    QCOMPARE(data.value(QStringLiteral("log-1")).toString(), QStringLiteral("a"));
    QCOMPARE(data.value(QStringLiteral("log-3")).toString(), QStringLiteral("c"));
    QVERIFY(CrashReportCheck::additionalData({}).isEmpty());
}

void TestFeedback::collectorBoundsWhatItReads()
{
    QTemporaryDir dir;
    const QDateTime start = QDateTime::currentDateTime().addSecs(-1000);
    const int count = GCrashLogCollectorImplFile::maximumLogs + 5;
    for (int i = 0; i < count; ++i)
        writeLog(dir.path(), QStringLiteral("crash-%1-1.log").arg(i), QByteArray::number(i), start.addSecs(i));
    writeLog(dir.path(), QStringLiteral("crash-big-1.log"),
             QByteArray(int(GCrashLogCollectorImplFile::maximumLogSize) * 2, 'x'), start.addSecs(count));
    const QStringList logs = GCrashLogCollectorImplFile(dir.path()).crashLogs(QDateTime());
    QCOMPARE(logs.size(), GCrashLogCollectorImplFile::maximumLogs);
    // The newest ones, oldest first, the big one cut short.
    QCOMPARE(logs.first(), QString::number(count - GCrashLogCollectorImplFile::maximumLogs + 1));
    QCOMPARE(logs.at(logs.size() - 2), QString::number(count - 1));
    QCOMPARE(logs.last().size(), int(GCrashLogCollectorImplFile::maximumLogSize));
}

void TestFeedback::crashingChildLeavesALog_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("signal");
    QTest::addColumn<QString>("name");
    QTest::newRow("bad memory access") << "segv" << int(SIGSEGV) << "SIGSEGV";
    QTest::newRow("abort") << "abort" << int(SIGABRT) << "SIGABRT";
}

void TestFeedback::crashingChildLeavesALog()
{
    QFETCH(QString, how);
    QFETCH(int, signal);
    QFETCH(QString, name);
    QVERIFY(CrashHandler::isSupported());
    QTemporaryDir dir;
    const QString logs = dir.filePath(QStringLiteral("crashlogs"));
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);

    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // The sanitizers would otherwise take the signal before our handler.
    env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("handle_segv=0:handle_abort=0:allow_user_segv_handler=1"));
    env.insert(QStringLiteral("UBSAN_OPTIONS"), QStringLiteral("handle_segv=0:handle_abort=0"));
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--crash"), logs, how});
    QVERIFY(child.waitForStarted());
    const qint64 pid = child.processId();
    QVERIFY(child.waitForFinished(60000));
    QCOMPARE(child.exitStatus(), QProcess::CrashExit);
    QCOMPARE(child.exitCode(), signal);

    const QStringList collected = GCrashLogCollectorImplFile(logs).crashLogs(before);
    QCOMPARE(collected.size(), 1);
    const QString log = collected.first();
    QVERIFY2(log.startsWith(QLatin1String("Hullwright 1.0.9 crashed\n")), qPrintable(log));
    QVERIFY2(log.contains(QStringLiteral("Signal: %1 (%2)\n").arg(signal).arg(name)), qPrintable(log));
    QVERIFY(log.contains(QStringLiteral("Process: %1\n").arg(pid)));
    const QStringList lines = log.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    const int backtrace = lines.indexOf(QStringLiteral("Backtrace:"));
    QVERIFY(backtrace > 0);
    QVERIFY2(lines.size() > backtrace + 2, qPrintable(log));
    const QRegularExpression time(QStringLiteral("^Time: (\\d+) "));
    qint64 seconds = 0;
    for (const QString& line : lines) {
        const QRegularExpressionMatch match = time.match(line);
        if (match.hasMatch())
            seconds = match.captured(1).toLongLong();
    }
    QVERIFY(qAbs(seconds - QDateTime::currentSecsSinceEpoch()) < 120);
    // Nothing new is offered once this log has been seen.
    QVERIFY(GCrashLogCollectorImplFile(logs).crashLogs(QDateTime::currentDateTime().addSecs(1)).isEmpty());
}

int main(int argc, char** argv)
{
    if (argc == 4 && qstrcmp(argv[1], "--crash") == 0) {
        QCoreApplication app(argc, argv);
        app.setApplicationName(QStringLiteral("Hullwright"));
        app.setApplicationVersion(QStringLiteral("1.0.9"));
        if (!CrashHandler::install(QString::fromLocal8Bit(argv[2])))
            return 2;
        if (qstrcmp(argv[3], "abort") == 0)
            std::abort();
        // A real fault: a write to a page that may not be touched.
        void* page = mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        *static_cast<volatile int*>(page) = 1;
        return 3;
    }
    TestSupport::isolateSettings();
    QApplication app(argc, argv);
    prepareNetworkTestApplication(app);
    TestFeedback test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_feedback.moc"
