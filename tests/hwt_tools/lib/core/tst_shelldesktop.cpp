#include "gapplicationaddons.h"
#include "private/gapplicationaddonsimplxdg.h"
#include "testsupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>

namespace {

// The desktop registration with the shared MIME database and the desktop's
// refresh replaced, so that tests decide who owns an extension and see when
// the databases would be rebuilt.
struct TestedXdg final : GApplicationAddonsImplXdg
{
    TestedXdg()
    {
        setApplicationFilePath(QStringLiteral("/opt/Hull Wright $1/hullwright"));
        setIconSource(QFile::decodeName(qgetenv("XDG_RUNTIME_DIR")) + QStringLiteral("/icon.png"));
    }
    QStringList mimeTypesForExtension(const QString&) const override { return owners; }
    void refreshDatabases(bool mime, bool desktopEntry) override { refreshes << QPair<bool, bool>(mime, desktopEntry); }
    bool registerType(const char* progId = "Hullwright.SpriteSheet", const char* extension = ".hws")
    {
        return registerFileType(QLatin1String(progId), QStringLiteral("Sheet"), QLatin1String(extension), QString(), 0,
                                true, GApplicationAddons::OpenCommand);
    }
    QStringList owners;
    QList<QPair<bool, bool>> refreshes;
};

// Listens for shell requests and records the files they open.
struct RecordingAddons final : GApplicationAddons
{
    RecordingAddons() : GApplicationAddons(std::make_unique<GApplicationAddonsImplXdg>()) { enableDde(); }
    GApplicationAddonsImplXdg* xdg() const { return static_cast<GApplicationAddonsImplXdg*>(impl()); }
    void openShellFile(const QString& fileName) override { opened << fileName; }
    QStringList opened;
};

QString data(const char* path)
{
    return QFile::decodeName(qgetenv("XDG_DATA_HOME")) + QLatin1Char('/') + QLatin1String(path);
}

QByteArray readFile(const char* path)
{
    QFile file(data(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The line of a desktop entry or MIME package that holds `text`.
QByteArray lineWith(const char* path, const QByteArray& text)
{
    const QList<QByteArray> lines = readFile(path).split('\n');
    for (const QByteArray& line : lines) {
        if (line.contains(text))
            return line.trimmed();
    }
    return "<missing>";
}

const char entry[] = "applications/hullwright.desktop";
const char package[] = "mime/packages/hullwright.spritesheet.xml";

// Runs this program as another editor process while the test's own event loop keeps serving the channel.
int runChild(const QStringList& arguments, const QString& workingDirectory = QString())
{
    QProcess child;
    child.setWorkingDirectory(workingDirectory);
    child.start(QCoreApplication::applicationFilePath(), arguments);
    QElapsedTimer timer;
    timer.start();
    while (child.state() != QProcess::NotRunning && timer.elapsed() < 30000)
        QTest::qWait(20);
    return child.state() == QProcess::NotRunning && child.exitStatus() == QProcess::NormalExit ? child.exitCode() : -1;
}

}

class TestShellDesktop : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_data;
    std::unique_ptr<QTemporaryDir> m_runtime;

private slots:
    void init()
    {
        m_data = std::make_unique<QTemporaryDir>();
        m_runtime = std::make_unique<QTemporaryDir>();
        QFile::setPermissions(m_runtime->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_data->path()));
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_runtime->path()));
        QFile icon(m_runtime->filePath(QStringLiteral("icon.png")));
        QVERIFY(icon.open(QIODevice::WriteOnly) && icon.write("\x89PNG pretend picture") > 0);
    }

    void registrationWritesPackageEntryAndIcons()
    {
        TestedXdg xdg;
        RecordingReporter reporter;
        QVERIFY(xdg.registerType());
        QVERIFY(reporter.entries.isEmpty());
        QCOMPARE(lineWith(package, "<mime-type"), QByteArray("<mime-type type=\"application/x-hullwright-spritesheet\">"));
        QCOMPARE(lineWith(package, "<glob"), QByteArray("<glob pattern=\"*.hws\"/>"));
        QCOMPARE(lineWith(entry, "Exec="), QByteArray("Exec=\"/opt/Hull Wright \\\\$1/hullwright\" %F"));
        QCOMPARE(lineWith(entry, "MimeType="), QByteArray("MimeType=application/x-hullwright-spritesheet;"));
        QCOMPARE(readFile("icons/hicolor/256x256/apps/hullwright.png"), QByteArray("\x89PNG pretend picture"));
        QCOMPARE(readFile("icons/hicolor/256x256/mimetypes/application-x-hullwright-spritesheet.png"),
                 QByteArray("\x89PNG pretend picture"));
        QCOMPARE(xdg.refreshes, (QList<QPair<bool, bool>>{{true, true}}));
        // A second type joins the same desktop entry.
        QVERIFY(xdg.registerType("Hullwright.Palette", ".hwp"));
        QCOMPARE(lineWith(entry, "MimeType="),
                 QByteArray("MimeType=application/x-hullwright-spritesheet;application/x-hullwright-palette;"));
        QCOMPARE(lineWith("mime/packages/hullwright.palette.xml", "<glob"), QByteArray("<glob pattern=\"*.hwp\"/>"));
    }

    void registrationIsIdempotent()
    {
        QVERIFY(TestedXdg().registerType());
        const QStringList files{data(package), data(entry), data("icons/hicolor/256x256/apps/hullwright.png")};
        const QDateTime backdated(QDate(2001, 2, 3), QTime(4, 5, 6));
        for (const QString& file : files) {
            QFile handle(file);
            QVERIFY(handle.open(QIODevice::ReadWrite) && handle.setFileTime(backdated, QFileDevice::FileModificationTime));
        }
        // The next start registers again and finds everything in place.
        TestedXdg second;
        second.owners = QStringList{QStringLiteral("application/x-hullwright-spritesheet")};
        QVERIFY(second.registerType());
        QVERIFY(second.refreshes.isEmpty());
        for (const QString& file : files)
            QCOMPARE(QFileInfo(file).lastModified(), backdated);
        // A moved program rewrites only the desktop entry.
        second.setApplicationFilePath(QStringLiteral("/usr/bin/hullwright"));
        QVERIFY(second.registerType());
        QCOMPARE(second.refreshes, (QList<QPair<bool, bool>>{{false, true}}));
        QCOMPARE(lineWith(entry, "Exec="), QByteArray("Exec=\"/usr/bin/hullwright\" %F"));
        QCOMPARE(QFileInfo(files.first()).lastModified(), backdated);
    }

    void extensionOfAnotherTypeIsLeftAlone()
    {
        TestedXdg xdg;
        xdg.owners = QStringList{QStringLiteral("application/x-hullwright-spritesheet"), QStringLiteral("image/x-other")};
        QVERIFY(xdg.registerType());
        QCOMPARE(lineWith(package, "<glob"), QByteArray("<missing>"));
        // The editor still offers itself for its own type; once the other type is gone, the extension is taken.
        QCOMPARE(lineWith(entry, "MimeType="), QByteArray("MimeType=application/x-hullwright-spritesheet;"));
        xdg.owners.clear();
        QVERIFY(xdg.registerType());
        QCOMPARE(lineWith(package, "<glob"), QByteArray("<glob pattern=\"*.hws\"/>"));
        QCOMPARE(xdg.refreshes.last(), qMakePair(true, false));
    }

    void failedWriteIsReported()
    {
        // The applications directory cannot be created: a file stands in its way.
        QFile blocker(data("applications"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        TestedXdg xdg;
        RecordingReporter reporter;
        QVERIFY(!xdg.registerType());
        QCOMPARE(reporter.entries.size(), 1);
        QVERIFY(reporter.entries.first().text.contains(data(entry)));
        // What was written before the failure is made known to the desktop.
        QCOMPARE(xdg.refreshes, (QList<QPair<bool, bool>>{{true, false}}));
    }

    void execArgument_data()
    {
        // The file text of the Exec argument: quoted, with the quoting escapes
        // and then the backslashes of the string value doubled.
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("text");
        QTest::newRow("blanks") << "/opt/my apps/hw" << "\"/opt/my apps/hw\"";
        QTest::newRow("quote") << "/a\"b" << "\"/a\\\\\"b\"";
        QTest::newRow("backslash") << "/a\\b" << "\"/a\\\\\\\\b\"";
        QTest::newRow("backtick and dollar") << "/a`b$c" << "\"/a\\\\`b\\\\$c\"";
        QTest::newRow("percent") << "/100%/hw" << "\"/100%%/hw\"";
        QTest::newRow("line break") << "/a\nb" << "\"/a\\nb\"";
    }

    void execArgument()
    {
        QFETCH(QString, path);
        QFETCH(QString, text);
        QCOMPARE(GApplicationAddonsImplXdg::desktopExecArgument(path), text);
    }

    void secondProcessForwardsItsFiles()
    {
        // Without a listener there is nobody to forward to, and nothing is left behind.
        QCOMPARE(runChild({"--forward", "/abs/one.hws"}), 3);
        QVERIFY(QDir(m_runtime->path()).entryList(QDir::System | QDir::Files).filter(QStringLiteral("-shell")).isEmpty());

        RecordingAddons first;
        QCOMPARE(QFileInfo(first.xdg()->serverName()).path(), m_runtime->path());
        QTemporaryDir work;
        QCOMPARE(runChild({"--forward", "level one.hws", "/abs/two.hws", "--", "-three.hws"}, work.path()), 0);
        QTRY_COMPARE(first.opened, (QStringList{work.filePath(QStringLiteral("level one.hws")), "/abs/two.hws",
                                               work.filePath(QStringLiteral("-three.hws"))}));
    }

    void requestsAreFramedByLines()
    {
        RecordingAddons first;
        QLocalSocket client;
        client.connectToServer(first.xdg()->serverName());
        QVERIFY(client.waitForConnected(5000));
        client.write("[print(\"/a.hws\")]\n[OPEN(\"/b c.hws\")]\nnot a request\n[open(\"/\xc3\xa9.hws\")]\n");
        QTRY_COMPARE(client.bytesAvailable(), qint64(4 * 3));
        QCOMPARE(client.readAll(), QByteArray("ok\nok\nok\nok\n"));
        // A request split across writes is run once it is complete.
        client.write("[open(\"/e");
        QTest::qWait(50);
        QCOMPARE(first.opened, (QStringList{"/b c.hws", QString::fromUtf8("/\xc3\xa9.hws")}));
        client.write(".hws\")]\n");
        QTRY_COMPARE(first.opened.size(), 3);

        // An overlong request ends its connection; the next client is served as before.
        client.write("[open(\"/" + QByteArray(64 * 1024, 'x') + "\")]\n");
        QTRY_COMPARE(client.state(), QLocalSocket::UnconnectedState);
        QLocalSocket next;
        next.connectToServer(first.xdg()->serverName());
        QVERIFY(next.waitForConnected(5000));
        next.write("[open(\"/f.hws\")]\n");
        QTRY_COMPARE(first.opened, (QStringList{"/b c.hws", QString::fromUtf8("/\xc3\xa9.hws"), "/e.hws", "/f.hws"}));
    }

    void socketOfAnEndedEditorIsReplaced()
    {
        // An editor that is killed leaves its socket behind.
        QProcess ended;
        ended.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--listen")});
        QTRY_VERIFY_WITH_TIMEOUT(ended.canReadLine() || ended.waitForReadyRead(100), 30000);
        QCOMPARE(ended.readLine(), QByteArray("listening\n"));
        ended.kill();
        QVERIFY(ended.waitForFinished(10000));
        QVERIFY(QFileInfo::exists(GApplicationAddonsImplXdg().serverName()));

        RecordingAddons next;
        QVERIFY(next.xdg()->isListening());
        QCOMPARE(runChild({"--forward", "/g.hws"}), 0);
        QTRY_COMPARE(next.opened, QStringList{QStringLiteral("/g.hws")});
    }
};

// The test program is also the other editor process of the channel tests.
int childMain(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList arguments = QCoreApplication::arguments();
    const QString mode = arguments.takeAt(1);
    GApplicationAddons addons;
    if (mode == QLatin1String("--forward"))
        return addons.forwardOpenRequests(GApplicationAddons::filesFromArguments(arguments)) ? 0 : 3;
    addons.enableDde();
    std::printf("%s\n", static_cast<GApplicationAddonsImplXdg*>(addons.impl())->isListening() ? "listening" : "refused");
    std::fflush(stdout);
    return app.exec();
}

int main(int argc, char** argv)
{
    if (argc > 1 && (qstrcmp(argv[1], "--forward") == 0 || qstrcmp(argv[1], "--listen") == 0))
        return childMain(argc, argv);
    TestSupport::isolateSettings();
    QCoreApplication app(argc, argv);
    TestShellDesktop test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_shelldesktop.moc"
