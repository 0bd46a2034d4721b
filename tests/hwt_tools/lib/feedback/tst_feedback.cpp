#include "crashhandler.h"
#include "crashreportcheck.h"
#include "feedbackdialog.h"
#include "gcrashlogcollectorimpl.h"
#include "loopbackserver.h"
#include "testsupport.h"

#include <QtTest>
#include <QtWidgets>

#include <csignal>
#include <cstdlib>
#include <sys/mman.h>

namespace {

void writeLog(const QString& path, const QByteArray& text, const QDateTime& time)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(text) == text.size() && file.flush());
    QVERIFY(file.setFileTime(time, QFileDevice::FileModificationTime));
}

}

class TestFeedback : public QObject
{
    Q_OBJECT

private slots:
    void init() { TestSupport::clearSettings(); }

    void answers_data()
    {
        // The service's status (0: it never answers) and answer, after any redirect to `location`.
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QByteArray>("location");
        QTest::addColumn<bool>("success");
        QTest::newRow("OK") << 200 << QByteArray("  OK \r\n") << QByteArray() << true;
        QTest::newRow("lower case, more words") << 200 << QByteArray("ok then") << QByteArray() << false;
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
            return status ? HttpResponse{status, answer} : HttpResponse::silent();
        });
        RecordingReporter recorder;
        FeedbackDialog dialog(nullptr);
        dialog.setTimeout(300);
        dialog.setServiceUrl(server.url(QStringLiteral("/helper/feedback.php")));
        dialog.show();
        QSignalSpy finished(&dialog, &FeedbackDialog::sendingFinished);
        // OK posts the form; the dialog stays open until the service confirms, and the user is told once.
        dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        QVERIFY(finished.wait(10000));
        QTest::qWait(50);
        QVERIFY(finished.size() == 1 && finished.first().first().toBool() == success && dialog.isVisible() != success);
        QCOMPARE(recorder.entries.size(), 1);
        QCOMPARE(recorder.entries.first().severity, success ? Reporter::Information : Reporter::Critical);
        QCOMPARE(recorder.entries.first().title + ": " + (success ? recorder.entries.first().text : QString()),
                 success ? QStringLiteral("Feedback successfully sent: Thanks for sending feedback!")
                         : QStringLiteral("Sending message failed: "));
        // Every request, redirected ones too, posts the same document.
        QCOMPARE(server.requests.size(), location.isEmpty() ? 1 : success ? 2 : FeedbackDialog::maximumRedirects + 1);
        for (const HttpRequest& request : qAsConst(server.requests)) {
            QCOMPARE(request.method + ' ' + request.headers.value("content-type"), QByteArray("POST text/xml"));
            QCOMPARE(request.body, dialog.feedbackDocument());
        }
        QCOMPARE(server.requests.last().path, location.isEmpty() ? QByteArray("/helper/feedback.php") : location);
    }

    void crashCheckReturnsNewLogsOnly()
    {
        QTemporaryDir dir;
        const QDateTime now = QDateTime::currentDateTime();
        writeLog(dir.filePath(QStringLiteral("crash-1-1.log")), "long ago", now.addDays(-3));
        GCrashLogCollectorImplFile collector(dir.path());
        // A first start offers every log there is.
        QCOMPARE(CrashReportCheck::logsSinceLastCheck(collector), QStringList{QStringLiteral("long ago")});
        QVERIFY(CrashReportCheck::logsSinceLastCheck(collector).isEmpty());
        writeLog(dir.filePath(QStringLiteral("crash-3-3.log")), "newest", now.addSecs(120));
        writeLog(dir.filePath(QStringLiteral("crash-2-2.log")), "newer", now.addSecs(60));
        writeLog(dir.filePath(QStringLiteral("notes.txt")), "not a log", now.addSecs(60));
        // A log too big to read whole is cut short.
        const int most = int(GCrashLogCollectorImplFile::maximumLogSize);
        writeLog(dir.filePath(QStringLiteral("crash-4-4.log")), QByteArray(most + 9, 'x'), now.addSecs(180));
        QCOMPARE(CrashReportCheck::logsSinceLastCheck(collector),
                 (QStringList{"newer", "newest", QString(most, 'x')}));
    }

    void crashingChildLeavesALog_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("signal");
        QTest::newRow("bad memory access") << "segv" << int(SIGSEGV);
        QTest::newRow("abort") << "abort" << int(SIGABRT);
    }

    void crashingChildLeavesALog()
    {
        QFETCH(QString, how);
        QFETCH(int, signal);
        QVERIFY(CrashHandler::isSupported());
        QTemporaryDir dir;
        const QString logs = dir.filePath(QStringLiteral("crashlogs"));
        const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
        QProcess child;
        // The sanitizers would otherwise take the signal before our handler.
        qputenv("ASAN_OPTIONS", "handle_segv=0:handle_abort=0:allow_user_segv_handler=1");
        qputenv("UBSAN_OPTIONS", "handle_segv=0:handle_abort=0");
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--crash"), logs, how});
        QVERIFY(child.waitForStarted());
        const qint64 pid = child.processId();
        QVERIFY(child.waitForFinished(60000));
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);
        QCOMPARE(child.exitCode(), signal);
        // One log: program and version, signal (and address), time, process and a backtrace of two frames or more.
        const QStringList collected = GCrashLogCollectorImplFile(logs).crashLogs(before);
        QCOMPARE(collected.size(), 1);
        const QString log = collected.first();
        const QRegularExpressionMatch match = QRegularExpression(
            QStringLiteral("^Hullwright 1.0.9 crashed\nSignal: %1 \\(%2\\)\n(Address: .*\n)?Time: (\\d+) .*\n"
                           "Process: %3\nBacktrace:\n.+\n.+\n")
                .arg(signal).arg(signal == SIGSEGV ? "SIGSEGV" : "SIGABRT").arg(pid)).match(log);
        QVERIFY2(match.hasMatch(), qPrintable(log));
        QVERIFY(qAbs(match.captured(2).toLongLong() - QDateTime::currentSecsSinceEpoch()) < 120);
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
