#include "gapplicationaddons.h"
#include "globalsettings.h"
#include "gsettings.h"
#include "private/ddeshellintegration.h"
#include "testsupport.h"

#include <QtTest>

// The desktop registration and the request channel of free desktops.
#if defined(__unix__) && !defined(__APPLE__)
#define FREE_DESKTOP
#include "private/gapplicationaddonsimplxdg.h"
#include <QLocalSocket>
#endif

namespace {

// The shell's platform, logging its calls in order; a registry write is kept as "key|value name|value".
struct FakePlatform final : DdeShellPlatform
{
    explicit FakePlatform(QStringList* log) : log(log) {}

    QString applicationFilePath() const override { return QStringLiteral("C:/Program Files/Hullwright/Hullwright.exe"); }
    QString lastErrorText() const override { return QStringLiteral("Access is denied."); }
    bool writeClassesValue(const QString& key, const QString& name, const QString& value) override
    {
        const bool ok = failAt != writes.size();
        *log << (ok ? "write " : "failed write ") + key;
        if (ok)
            writes << key + QLatin1Char('|') + name + QLatin1Char('|') + value;
        return ok;
    }
    bool readClassesRootDefault(const QString& key, QString* value) const override
    {
        *log << QStringLiteral("read ") + key;
        *value = owner;
        return !owner.isNull();
    }
    quint16 addAtom(const QString&) override { return 1; }
    QString atomName(quint16) const override { return {}; }
    void deleteAtom(quint16) override {}
    void sendInitiateAck(quintptr, quint16, quint16) override {}
    QString executeCommandText(quintptr lParam, quintptr* handle) override { *handle = lParam + 1; return command; }
    void postExecuteAck(quintptr client, quintptr lParam, quintptr handle) override
    {
        *log << QStringLiteral("ack %1: %2 %3").arg(client).arg(lParam).arg(handle);
    }
    void postTerminate(quintptr, quintptr) override {}

    QStringList* log;
    QStringList writes;
    int failAt = -1;
    QString owner;  // of the extension; null: no such key
    QString command;
};

struct RecordingIntegration final : DdeShellIntegration
{
    RecordingIntegration(QStringList* log) : DdeShellIntegration(std::make_unique<FakePlatform>(log)) {}
    FakePlatform& fake() const { return static_cast<FakePlatform&>(platform()); }
    void unknownCommand(const QString& command, const QString& argument) override
    {
        *fake().log << QStringLiteral("unknown %1 %2").arg(command, argument);
    }
};

// The application's side: records the files the shell asks to open.
struct RecordingAddons final : GApplicationAddons
{
    RecordingAddons(QStringList* log) : GApplicationAddons(std::make_unique<RecordingIntegration>(log)), log(log) {}
    RecordingIntegration& integration() const { return *static_cast<RecordingIntegration*>(impl()); }
    FakePlatform& platform() const { return integration().fake(); }
    void openShellFile(const QString& fileName) override { *log << QStringLiteral("open ") + fileName; }
    QStringList* log;
};

const QString progId = QStringLiteral("Hullwright.SpriteSheet");

// What registering the sprite sheet writes below the user's classes.
QStringList layout(const QStringList& verbs, bool dde = true, bool extension = true)
{
    QStringList writes{"Hullwright.SpriteSheet||Hullwright Sheet",
                       "Hullwright.SpriteSheet\\DefaultIcon||\"C:\\Program Files\\Hullwright\\HWS.ico\",0"};
    for (const QString& verb : verbs) {
        const QString key = progId + QStringLiteral("\\shell\\") + verb;
        const QString option = verb == QLatin1String("Open") ? QString() : QStringLiteral(" -") + verb.toLower();
        writes << key + "\\command||\"C:\\Program Files\\Hullwright\\Hullwright.exe\"" + option + " \"%1\"";
        if (dde)
            writes << key + "\\ddeexec||[" + verb.toLower() + "(\"%1\")]" << key + "\\ddeexec\\application||Hullwright"
                   << key + "\\ddeexec\\topic||system";
    }
    if (extension)
        writes << ".hws||Hullwright.SpriteSheet" << ".hws\\ShellNew|NullFile|";
    return writes;
}

#ifdef FREE_DESKTOP
using Refreshes = QList<QPair<bool, bool>>;

// Desktop registration where the test decides who owns an extension and sees when databases would be rebuilt.
struct TestedXdg final : GApplicationAddonsImplXdg
{
    TestedXdg()
    {
        // Quotes, escapes and field codes of the Exec key in the path, and a line break.
        setApplicationFilePath(QStringLiteral("/opt/Hull \"Wright\" `$1\\ 100%/a\nb/hullwright"));
        setIconSource(QFile::decodeName(qgetenv("XDG_RUNTIME_DIR")) + QStringLiteral("/icon.png"));
    }
    QStringList mimeTypesForExtension(const QString&) const override { return owners; }
    void refreshDatabases(bool mime, bool desktopEntry) override { refreshes << qMakePair(mime, desktopEntry); }
    bool registerType()
    {
        return registerFileType(QStringLiteral("Hullwright.SpriteSheet"), QStringLiteral("Sheet"), QStringLiteral(".hws"),
                                QString(), 0, true, GApplicationAddons::OpenCommand);
    }
    QStringList owners;
    Refreshes refreshes;
};

// Listens for shell requests and records the files they open.
struct ListeningAddons final : GApplicationAddons
{
    ListeningAddons() : GApplicationAddons(std::make_unique<GApplicationAddonsImplXdg>()) { enableDde(); }
    QString serverName() const { return static_cast<GApplicationAddonsImplXdg*>(impl())->serverName(); }
    void openShellFile(const QString& fileName) override { opened << fileName; }
    QStringList opened;
};

QString data(const char* path)
{
    return QFile::decodeName(qgetenv("XDG_DATA_HOME")) + QLatin1Char('/') + QLatin1String(path);
}

// The line of a file below the data directory that holds `text`.
QByteArray read(const char* path, const QByteArray& text)
{
    QFile file(data(path));
    const QList<QByteArray> lines = file.open(QIODevice::ReadOnly) ? file.readAll().split('\n') : QList<QByteArray>();
    for (const QByteArray& line : lines) {
        if (line.contains(text))
            return line.trimmed();
    }
    return "<missing>";
}

const char entry[] = "applications/hullwright.desktop";
const char package[] = "mime/packages/hullwright.spritesheet.xml";
const char icon[] = "icons/hicolor/256x256/mimetypes/application-x-hullwright-spritesheet.png";

// Runs this program as another editor process while the test's own event loop keeps serving the channel.
int runChild(const QStringList& arguments, const QString& workingDirectory = QString())
{
    QProcess child;
    child.setWorkingDirectory(workingDirectory);
    child.start(QCoreApplication::applicationFilePath(), arguments);
    for (int waited = 0; child.state() != QProcess::NotRunning && waited < 30000; waited += 20)
        QTest::qWait(20);
    return child.state() == QProcess::NotRunning && child.exitStatus() == QProcess::NormalExit ? child.exitCode() : -1;
}
#endif

}

class TestCore : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_data, m_runtime;

private slots:
    void init()
    {
        TestSupport::clearSettings();
        m_data = std::make_unique<QTemporaryDir>();
        m_runtime = std::make_unique<QTemporaryDir>();
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_data->path()));
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_runtime->path()));
        QFile picture(m_runtime->filePath(QStringLiteral("icon.png")));
        QVERIFY(picture.open(QIODevice::WriteOnly) && picture.write("\x89PNG pretend picture") > 0);
    }

    void settingsAreSharedAndPersist()
    {
        // Read back by a fresh object, under the key name other readers use, from the isolated store.
        GlobalSettings().setCustomExporterPath(QStringLiteral("/home/me/exporters"));
        QCOMPARE(GSettings().value(QStringLiteral("customExporterPath")).toString(), QStringLiteral("/home/me/exporters"));
        QVERIFY(GSettings().fileName() == QSettings().fileName()
                && GSettings().fileName().startsWith(QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME"))));
    }

    void registration_data()
    {
        QTest::addColumn<int>("commands");
        QTest::addColumn<bool>("dde");
        QTest::addColumn<QString>("owner");  // of the extension; null: no such key
        QTest::addColumn<QStringList>("writes");
        QTest::addColumn<int>("failAt");  // the write that fails, ending the registration
        const int open = GApplicationAddons::OpenCommand, print = GApplicationAddons::PrintCommand;
        QTest::newRow("open") << open << true << QString() << layout({"Open"}) << -1;
        QTest::newRow("without requests") << open << false << QString() << layout({"Open"}, false) << -1;
        QTest::newRow("every verb") << (open | GApplicationAddons::NewCommand | print) << true
                                    << QString() << layout({"Open", "New", "Print"}) << -1;
        // An empty owner is nobody; class names are registry keys, which ignore case.
        QTest::newRow("print only, empty owner") << print << true << "" << layout({"Print"}) << -1;
        QTest::newRow("ours in other case") << open << true << progId.toLower() << layout({"Open"}) << -1;
        QTest::newRow("another class") << open << true << "Paint.Picture" << layout({"Open"}, true, false) << -1;
        for (int i = 0; i < layout({"Open"}).size(); ++i)
            QTest::addRow("failed %s", qPrintable(layout({"Open"}).at(i).section(QLatin1Char('|'), 0, 1)))
                << open << true << QString() << layout({"Open"}) << i;
    }

    void registration()
    {
        QFETCH(int, commands);
        QFETCH(bool, dde);
        QFETCH(QString, owner);
        QFETCH(QStringList, writes);
        QFETCH(int, failAt);
        QStringList log;
        RecordingAddons addons(&log);
        addons.platform().owner = owner;
        addons.platform().failAt = failAt;
        RecordingReporter reporter;
        QCOMPARE(addons.registerFileType(progId, "Hullwright Sheet", ".hws", "HWS.ico", 0, dde, commands), failAt < 0);
        QCOMPARE(addons.platform().writes, failAt < 0 ? writes : writes.mid(0, failAt));
        QCOMPARE(reporter.entries.size(), int(failAt >= 0));
        if (failAt < 0) {
            QCOMPARE(addons.integration().useDde(), dde);
            // The owner of the extension is read after the verbs and before the extension is written.
            QCOMPARE(log.indexOf(QStringLiteral("read .hws")), writes.size() - (writes.last().startsWith(".hws") ? 2 : 0));
            return;
        }
        // The failed write is the last; the warning names the whole key and the system's reason.
        const QString text = reporter.entries.first().text;
        const QString key = "HKEY_CURRENT_USER\\Software\\Classes\\" + writes.at(failAt).section(QLatin1Char('|'), 0, 0);
        QVERIFY2(log.last().startsWith("failed write ") && reporter.entries.first().severity == Reporter::Warning
                     && (text.contains(key + '\n') || text.endsWith(key)) && text.contains("Access is denied."),
                 qPrintable(text));
    }

    void execute_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("effect");
        QTest::newRow("quoted path with blanks")
            << "[open(\"C:\\My Sheets\\level one.hws\")]" << "open C:\\My Sheets\\level one.hws";
        QTest::newRow("capitals, empty path") << "[OPEN(\"\")]" << "open ";
        QTest::newRow("unquoted path") << "[open(C:\\a.hws)]" << "unknown open C:\\a.hws";
        QTest::newRow("half quoted") << "[open(\"C:\\a.hws)]" << "unknown open \"C:\\a.hws";
        QTest::newRow("print") << "[PRINT(\"C:\\a.hws\")]" << "";
        QTest::newRow("print unquoted") << "[print(a.hws)]" << "unknown print a.hws";
        QTest::newRow("unknown") << "[frobnicate(\"x\")]" << "unknown frobnicate \"x\"";
        QTest::newRow("text before") << " [open(\"C:\\a.hws\")]" << "";
        QTest::newRow("text after") << "[open(\"C:\\a.hws\")]x" << "";
        QTest::newRow("no brackets") << "open(\"C:\\a.hws\")" << "";
    }

    void execute()
    {
        QFETCH(QString, command);
        QFETCH(QString, effect);
        QStringList log;
        RecordingAddons addons(&log);
        addons.platform().command = command;
        qintptr result = 42;
        QVERIFY(addons.onDdeExecute({88, 500}, &result) && result == 0);
        // Acknowledged first, positively, whatever the text; then the command runs.
        QCOMPARE(log.value(0), QStringLiteral("ack 88: 500 501"));
        QCOMPARE(log.mid(1).join(QString()), effect);
    }

#ifdef FREE_DESKTOP
    void registrationWritesPackageEntryAndIcons()
    {
        // A file where the applications directory belongs fails it; what was written is made known to the desktop.
        QFile blocker(data("applications"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        TestedXdg xdg;
        RecordingReporter reporter;
        QVERIFY(!xdg.registerType() && blocker.remove());
        QVERIFY(reporter.entries.size() == 1 && reporter.entries.first().text.contains(data(entry)));
        // While another type owns the extension, the editor offers itself for its own type but leaves the extension alone.
        xdg.owners = QStringList{QStringLiteral("application/x-hullwright-spritesheet"), QStringLiteral("image/x-other")};
        QVERIFY(xdg.registerType());
        QCOMPARE(read(package, "<glob"), QByteArray("<missing>"));
        xdg.owners.clear();
        QVERIFY(xdg.registerType() && reporter.entries.size() == 1);
        QCOMPARE(xdg.refreshes, (Refreshes{{true, false}, {true, true}, {true, false}}));
        // The Exec argument is quoted, with the quoting escapes and then the backslashes of the string value doubled.
        const QByteArray exec = R"(Exec="/opt/Hull \\"Wright\\" \\`\\$1\\\\ 100%%/a\nb/hullwright" %F)";
        QCOMPARE(QByteArrayList({read(package, "<mime-type"), read(package, "<glob"), read(entry, "Exec="),
                                 read(entry, "MimeType="), read("icons/hicolor/256x256/apps/hullwright.png", "PNG"),
                                 read(icon, "PNG")}),
                 QByteArrayList({"<mime-type type=\"application/x-hullwright-spritesheet\">", "<glob pattern=\"*.hws\"/>",
                                 exec, "MimeType=application/x-hullwright-spritesheet;",
                                 "\x89PNG pretend picture", "\x89PNG pretend picture"}));

        // A moved program rewrites only the desktop entry; the start after that writes nothing.
        const QDateTime backdated(QDate(2001, 2, 3), QTime(4, 5, 6));
        for (const char* file : {package, icon}) {
            QFile handle(data(file));
            QVERIFY(handle.open(QIODevice::ReadWrite) && handle.setFileTime(backdated, QFileDevice::FileModificationTime));
        }
        TestedXdg next;
        next.owners = QStringList{QStringLiteral("application/x-hullwright-spritesheet")};
        next.setApplicationFilePath(QStringLiteral("/usr/bin/hullwright"));
        QVERIFY(next.registerType() && next.registerType());
        QCOMPARE(next.refreshes, (Refreshes{{false, true}}));
        QCOMPARE(read(entry, "Exec="), QByteArray("Exec=\"/usr/bin/hullwright\" %F"));
        QVERIFY(QFileInfo(data(package)).lastModified() == backdated && QFileInfo(data(icon)).lastModified() == backdated);
    }

    void secondProcessForwardsItsFilesLineByLine()
    {
        // Without a listener there is nobody to forward to, and nothing is left behind.
        QCOMPARE(runChild({"--forward", "/abs/one.hws"}), 3);
        QVERIFY(QDir(m_runtime->path()).entryList(QDir::System | QDir::Files).filter(QStringLiteral("-shell")).isEmpty());
        // An editor that is killed leaves its socket behind; the next one takes its place.
        QProcess ended;
        ended.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--listen")});
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(GApplicationAddonsImplXdg().serverName()), 30000);
        ended.kill();
        QVERIFY(ended.waitForFinished(10000) && QFileInfo::exists(GApplicationAddonsImplXdg().serverName()));

        ListeningAddons first;
        QCOMPARE(QFileInfo(first.serverName()).path(), m_runtime->path());
        QTemporaryDir work;
        QCOMPARE(runChild({"--forward", "level one.hws", "/abs/two.hws", "--", "-three.hws"}, work.path()), 0);
        QTRY_COMPARE(first.opened, (QStringList{work.filePath(QStringLiteral("level one.hws")), "/abs/two.hws",
                                               work.filePath(QStringLiteral("-three.hws"))}));

        // Requests are framed by lines, each answered.
        first.opened.clear();
        QLocalSocket client;
        client.connectToServer(first.serverName());
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
        next.connectToServer(first.serverName());
        QVERIFY(next.waitForConnected(5000));
        next.write("[open(\"/f.hws\")]\n");
        QTRY_COMPARE(first.opened, (QStringList{"/b c.hws", QString::fromUtf8("/\xc3\xa9.hws"), "/e.hws", "/f.hws"}));
    }
#endif
};

// The test program is also the other editor process of the request channel tests.
int main(int argc, char** argv)
{
    const QByteArray mode = argc > 1 ? argv[1] : "";
    if (mode != "--forward" && mode != "--listen")
        TestSupport::isolateSettings();
    QCoreApplication app(argc, argv);
#ifdef FREE_DESKTOP
    if (mode == "--forward")
        return GApplicationAddons().forwardOpenRequests(GApplicationAddons::filesFromArguments(app.arguments())) ? 0 : 3;
    if (mode == "--listen") {
        GApplicationAddons addons;
        addons.enableDde();
        return app.exec();
    }
#endif
    TestCore test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_core.moc"
