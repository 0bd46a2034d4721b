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
#include <QPushButton>
#include <QPlainTextEdit>
#include <QProcess>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <cstdlib>
#include <sys/mman.h>

namespace {

void type(QWidget* dialog, const char* objectName, const QString& text)
{
    QWidget* field = dialog->findChild<QWidget*>(QLatin1String(objectName));
    QVERIFY2(field, objectName);
    if (auto* edit = qobject_cast<QPlainTextEdit*>(field))
        edit->setPlainText(text);
    else
        QTest::keyClicks(field, text);
}

void writeLog(const QString& directory, const QString& name, const QByteArray& text, const QDateTime& time)
{
    QFile file(directory + QLatin1Char('/') + name);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(text) == text.size() && file.flush());
    QVERIFY(file.setFileTime(time, QFileDevice::FileModificationTime));
}

const QString crashLog = QStringLiteral("Hullwright 1.0.9 crashed\nSignal: 11 (SIGSEGV)\n#0 <here>\n");

}

class TestFeedback : public QObject
{
    Q_OBJECT

private slots:
    void init() { TestSupport::clearSettings(); }

    void document_data()
    {
        // The page shown, whether the address goes along, and the end of the document sent.
        QTest::addColumn<int>("page");
        QTest::addColumn<bool>("mail");
        QTest::addColumn<QByteArray>("tail");
        const QByteArray escapedLog = crashLog.toUtf8().replace("<here>", "&lt;here&gt;");
        QTest::newRow("feature, address withheld")
            << 1 << false
            << QByteArray("\t<additional/>\n\t<type>feature</type>\n\t<feature>\n\t\t<request>Layers &lt;please&gt;</request>\n"
                          "\t\t<urgency>Deal breaker</urgency>\n\t\t<topic>Layers</topic>\n\t</feature>\n</feedback>\n");
        QTest::newRow("bug") << 2 << true
                             << QByteArray("\t<additional/>\n\t<type>bug</type>\n\t<bug>\n"
                                           "\t\t<expected>A circle\n&amp; a line</expected>\n"
                                           "\t\t<reproduce>Click twice</reproduce>\n\t\t<critical>yes</critical>\n"
                                           "\t\t<topic>Circles</topic>\n\t</bug>\n</feedback>\n");
        QTest::newRow("crash") << 3 << true
                               << "\t<additional>\n\t\t<key>log-1</key>\n\t\t<value>old log</value>\n\t\t<key>log-2</key>\n"
                                      "\t\t<value>" + escapedLog + "</value>\n\t</additional>\n\t<type>crash</type>\n\t<crash>\n"
                                      "\t\t<description>Traced a sprite</description>\n\t\t<reproduce>Trace twice</reproduce>\n"
                                      "\t\t<log>" + escapedLog + "</log>\n\t</crash>\n</feedback>\n";
    }

    void document()
    {
        QFETCH(int, page);
        QFETCH(bool, mail);
        QFETCH(QByteArray, tail);
        const bool crash = page == FeedbackDialog::CrashPage;
        // A crash report carries the logs of the earlier runs and shows the newest.
        const QVariantMap logs = CrashReportCheck::additionalData({QStringLiteral("old log"), crashLog});
        FeedbackDialog dialog(nullptr, crash ? logs : QVariantMap(), crash ? crashLog : QString());
        dialog.show();
        QCOMPARE(dialog.findChild<QTabWidget*>() == nullptr, crash);
        if (crash) {
            QCOMPARE(dialog.findChild<QPlainTextEdit*>(QStringLiteral("crashLog"))->toPlainText(), crashLog);
            type(&dialog, "crashDescription", QStringLiteral("Traced a sprite"));
            type(&dialog, "crashReproduce", QStringLiteral("Trace twice"));
        } else {
            // Fill every page; only the shown one is sent.
            type(&dialog, "supportTopic", QStringLiteral("Publishing"));
            type(&dialog, "featureTopic", QStringLiteral("Layers"));
            type(&dialog, "featureRequest", QStringLiteral("Layers <please>"));
            dialog.findChild<QComboBox*>(QStringLiteral("featureUrgency"))->setCurrentIndex(2);
            type(&dialog, "bugTopic", QStringLiteral("Circles"));
            type(&dialog, "bugExpected", QStringLiteral("A circle\n& a line"));
            type(&dialog, "bugReproduce", QStringLiteral("Click twice"));
            QTest::mouseClick(dialog.findChild<QCheckBox*>(QStringLiteral("bugCritical")), Qt::LeftButton);
            dialog.findChild<QTabWidget*>()->setCurrentIndex(page);
        }
        QCOMPARE(int(dialog.currentPage()), page);
        type(&dialog, "email", QStringLiteral("me@example.org"));
        if (!mail) {
            QTest::mouseClick(dialog.findChild<QCheckBox*>(QStringLiteral("includeEmail")), Qt::LeftButton);
            QVERIFY(!dialog.findChild<QComboBox*>(QStringLiteral("email"))->isEnabled());
        }
        const SystemInquiry& system = SystemInquiry::instance();
        const QByteArray head = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<feedback version=\"1.0\">\n\t<os>"
                                + (system.osName() + QLatin1Char(' ') + system.osVersion()).toUtf8() + "</os>\n\t<mail>"
                                + (mail ? "me@example.org" : "") + "</mail>\n"
                                + "\t<appName>Hullwright</appName>\n\t<appVersion>1.0.9</appVersion>\n";
        QCOMPARE(dialog.feedbackDocument(), head + tail);
    }

    void answers_data()
    {
        // The service's status and answer, after any redirect to `location`; 0: it never answers.
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QByteArray>("location");
        QTest::addColumn<bool>("success");
        QTest::newRow("OK") << 200 << QByteArray("OK") << QByteArray() << true;
        QTest::newRow("OK with spaces") << 200 << QByteArray("  OK \r\n") << QByteArray() << true;
        QTest::newRow("lower case") << 200 << QByteArray("ok") << QByteArray() << false;
        QTest::newRow("more words") << 200 << QByteArray("OK then") << QByteArray() << false;
        QTest::newRow("empty") << 200 << QByteArray() << QByteArray() << false;
        QTest::newRow("server error") << 500 << QByteArray("OK") << QByteArray() << false;
        QTest::newRow("silent server") << 0 << QByteArray() << QByteArray() << false;
        QTest::newRow("redirect") << 200 << QByteArray("OK\n") << QByteArray("/v2/feedback.php") << true;
        QTest::newRow("endless redirects") << 200 << QByteArray("OK") << QByteArray("/helper/feedback.php") << false;
    }

    void answers()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, answer);
        QFETCH(QByteArray, location);
        QFETCH(bool, success);
        LoopbackServer server([&](const HttpRequest& request) {
            if (!location.isEmpty() && request.path == "/helper/feedback.php")
                return HttpResponse::redirect(location, 307);
            HttpResponse response = status ? HttpResponse() : HttpResponse::silent();
            response.status = status;
            response.body = answer;
            return response;
        });
        RecordingReporter recorder;
        FeedbackDialog dialog(nullptr);
        dialog.setTimeout(300);
        dialog.show();
        QSignalSpy finished(&dialog, &FeedbackDialog::sendingFinished);
        // OK posts the form to the service.
        dialog.setServiceUrl(server.url(QStringLiteral("/helper/feedback.php")));
        dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        QVERIFY(finished.wait(10000));
        QTest::qWait(50);
        QCOMPARE(finished.size(), 1);
        QCOMPARE(finished.first().first().toBool(), success);
        QCOMPARE(recorder.entries.size(), 1);
        QCOMPARE(recorder.entries.first().severity, success ? Reporter::Information : Reporter::Critical);
        QCOMPARE(recorder.entries.first().title,
                 success ? QStringLiteral("Feedback successfully sent") : QStringLiteral("Sending message failed"));
        QVERIFY(!recorder.entries.first().text.isEmpty());
        QCOMPARE(dialog.isVisible(), !success);
        // Every request, redirected ones too, posts the same document.
        QCOMPARE(server.requests.size(), location.isEmpty() ? 1 : success ? 2 : FeedbackDialog::maximumRedirects + 1);
        for (const HttpRequest& request : qAsConst(server.requests)) {
            QCOMPARE(request.method, QByteArray("POST"));
            QCOMPARE(request.headers.value("content-type"), QByteArray("text/xml"));
            QCOMPARE(request.body, dialog.feedbackDocument());
        }
        QCOMPARE(server.requests.last().path, location.isEmpty() ? QByteArray("/helper/feedback.php") : location);
    }

    void crashCheckReturnsNewLogsOnly()
    {
        // Without logs the check time still advances.
        GCrashLogCollectorImplDummy dummy;
        QVERIFY(CrashReportCheck::logsSinceLastCheck(dummy).isEmpty());
        const QDateTime first = GSettings().value(QStringLiteral("crashlogger-last-check")).toDateTime();
        QVERIFY(first.isValid());
        QTest::qWait(20);
        QVERIFY(CrashReportCheck::logsSinceLastCheck(dummy).isEmpty());
        QVERIFY(GSettings().value(QStringLiteral("crashlogger-last-check")).toDateTime() > first);

        TestSupport::clearSettings();
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

    void collectorBoundsWhatItReads()
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

    void crashingChildLeavesALog_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("signal");
        QTest::addColumn<QString>("name");
        QTest::newRow("bad memory access") << "segv" << int(SIGSEGV) << "SIGSEGV";
        QTest::newRow("abort") << "abort" << int(SIGABRT) << "SIGABRT";
    }

    void crashingChildLeavesALog()
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
        QVERIFY2(backtrace > 0 && lines.size() > backtrace + 2, qPrintable(log));
        const QRegularExpressionMatch time = QRegularExpression(QStringLiteral("\nTime: (\\d+) ")).match(log);
        QVERIFY(qAbs(time.captured(1).toLongLong() - QDateTime::currentSecsSinceEpoch()) < 120);
        // Nothing new is offered once this log has been seen.
        QVERIFY(GCrashLogCollectorImplFile(logs).crashLogs(QDateTime::currentDateTime().addSecs(1)).isEmpty());
    }

};

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
