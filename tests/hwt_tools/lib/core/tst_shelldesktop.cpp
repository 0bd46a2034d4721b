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
#include <QXmlStreamReader>
#include <QtTest>

#include <cstdio>

namespace {

// The desktop registration with the shared MIME database and the desktop's
// refresh replaced, so that tests decide who owns an extension and see when
// the databases would be rebuilt.
class TestedXdg final : public GApplicationAddonsImplXdg
{
public:
    QStringList owners;
    QList<QPair<bool, bool>> refreshes;

protected:
    QStringList mimeTypesForExtension(const QString&) const override { return owners; }
    void refreshDatabases(bool mimeChanged, bool desktopEntryChanged) override
    {
        refreshes.append({mimeChanged, desktopEntryChanged});
    }
};

// Records the files that shell requests open.
class RecordingAddons final : public GApplicationAddons
{
public:
    explicit RecordingAddons(std::unique_ptr<GApplicationAddonsImpl> impl)
        : GApplicationAddons(std::move(impl))
    {
    }
    void openShellFile(const QString& fileName) override { opened << fileName; }
    QStringList opened;
};

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Key=value lines of a desktop entry's main group, in order.
QList<QPair<QString, QString>> desktopEntry(const QString& path)
{
    QList<QPair<QString, QString>> entries;
    const QList<QByteArray> lines = readFile(path).split('\n');
    for (const QByteArray& line : lines) {
        const int equals = line.indexOf('=');
        if (equals > 0)
            entries.append({QString::fromUtf8(line.left(equals)), QString::fromUtf8(line.mid(equals + 1))});
    }
    return entries;
}

QString entryValue(const QList<QPair<QString, QString>>& entries, const QString& key)
{
    for (const auto& entry : entries) {
        if (entry.first == key)
            return entry.second;
    }
    return QStringLiteral("<missing>");
}

struct MimePackage
{
    QString type, comment, icon;
    QStringList globs;
    bool valid = false;
};

MimePackage readMimePackage(const QString& path)
{
    MimePackage package;
    QXmlStreamReader xml(readFile(path));
    const QString ns = QStringLiteral("http://www.freedesktop.org/standards/shared-mime-info");
    int types = 0;
    while (xml.readNextStartElement()) {
        if (xml.name() == QLatin1String("mime-info") && xml.namespaceUri() == ns)
            continue;
        if (xml.name() == QLatin1String("mime-type") && xml.namespaceUri() == ns) {
            ++types;
            package.type = xml.attributes().value(QLatin1String("type")).toString();
            while (xml.readNextStartElement()) {
                if (xml.name() == QLatin1String("comment"))
                    package.comment = xml.readElementText();
                else if (xml.name() == QLatin1String("glob")) {
                    package.globs << xml.attributes().value(QLatin1String("pattern")).toString();
                    xml.skipCurrentElement();
                } else if (xml.name() == QLatin1String("icon")) {
                    package.icon = xml.attributes().value(QLatin1String("name")).toString();
                    xml.skipCurrentElement();
                } else {
                    xml.skipCurrentElement();
                }
            }
        } else {
            xml.skipCurrentElement();
        }
    }
    package.valid = !xml.hasError() && types == 1;
    return package;
}

bool registerSheet(GApplicationAddonsImpl& impl)
{
    return impl.registerFileType(QStringLiteral("Hullwright.SpriteSheet"), QStringLiteral("Hullwright Sheet"),
                                 QStringLiteral(".hws"), QStringLiteral("HWS.ico"), 0, true,
                                 GApplicationAddons::OpenCommand);
}

int runChild(QProcess& child, const QStringList& arguments, const QString& workingDirectory = QString())
{
    child.setWorkingDirectory(workingDirectory);
    child.start(QCoreApplication::applicationFilePath(), arguments);
    if (!child.waitForStarted(10000))
        return -1;
    // The test's own event loop keeps serving the channel meanwhile.
    QElapsedTimer timer;
    timer.start();
    while (child.state() != QProcess::NotRunning && timer.elapsed() < 30000)
        QTest::qWait(20);
    if (child.state() != QProcess::NotRunning) {
        child.kill();
        child.waitForFinished();
        return -1;
    }
    return child.exitStatus() == QProcess::NormalExit ? child.exitCode() : -1;
}

}

class TestShellDesktop : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void registrationWritesPackageEntryAndIcons();
    void registrationIsIdempotent();
    void extensionOfAnotherTypeIsLeftAlone();
    void failedWriteIsReported();
    void execArgument_data();
    void execArgument();

    void secondProcessForwardsItsFiles();
    void nothingIsForwardedWithoutAListener();
    void requestsGoThroughTheGrammar();
    void overlongRequestEndsTheConnection();
    void oneListenerPerUser();
    void socketOfAnEndedEditorIsReplaced();

private:
    QString dataHome() const { return m_data->path(); }
    QString desktopFile() const { return dataHome() + QStringLiteral("/applications/hullwright.desktop"); }
    QString mimeFile() const { return dataHome() + QStringLiteral("/mime/packages/hullwright.spritesheet.xml"); }
    std::unique_ptr<TestedXdg> tested();

    std::unique_ptr<QTemporaryDir> m_data;
    std::unique_ptr<QTemporaryDir> m_runtime;
    QString m_icon;
};

void TestShellDesktop::init()
{
    m_data = std::make_unique<QTemporaryDir>();
    m_runtime = std::make_unique<QTemporaryDir>();
    QVERIFY(m_data->isValid() && m_runtime->isValid());
    QFile::setPermissions(m_runtime->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome()));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_runtime->path()));
    m_icon = m_runtime->filePath(QStringLiteral("icon.png"));
    QFile icon(m_icon);
    QVERIFY(icon.open(QIODevice::WriteOnly));
    icon.write(QByteArrayLiteral("\x89PNG pretend picture"));
}

void TestShellDesktop::cleanup()
{
    m_data.reset();
    m_runtime.reset();
}

std::unique_ptr<TestedXdg> TestShellDesktop::tested()
{
    auto xdg = std::make_unique<TestedXdg>();
    xdg->setApplicationFilePath(QStringLiteral("/opt/Hull Wright $1/hullwright"));
    xdg->setIconSource(m_icon);
    return xdg;
}

void TestShellDesktop::registrationWritesPackageEntryAndIcons()
{
    QCoreApplication::setApplicationName(QStringLiteral("Hullwright"));
    std::unique_ptr<TestedXdg> xdg = tested();
    RecordingReporter reporter;
    QVERIFY(registerSheet(*xdg));
    QVERIFY(reporter.entries.isEmpty());

    const MimePackage package = readMimePackage(mimeFile());
    QVERIFY(package.valid);
    QCOMPARE(package.type, QStringLiteral("application/x-hullwright-spritesheet"));
    QCOMPARE(package.comment, QStringLiteral("Hullwright Sheet"));
    QCOMPARE(package.globs, QStringList{QStringLiteral("*.hws")});
    QCOMPARE(package.icon, QStringLiteral("application-x-hullwright-spritesheet"));

    const auto entry = desktopEntry(desktopFile());
    QCOMPARE(readFile(desktopFile()).left(16), QByteArrayLiteral("[Desktop Entry]\n"));
    QCOMPARE(entryValue(entry, QStringLiteral("Type")), QStringLiteral("Application"));
    QCOMPARE(entryValue(entry, QStringLiteral("Name")), QStringLiteral("Hullwright"));
    QCOMPARE(entryValue(entry, QStringLiteral("Exec")), QStringLiteral("\"/opt/Hull Wright \\\\$1/hullwright\" %F"));
    QCOMPARE(entryValue(entry, QStringLiteral("Icon")), QStringLiteral("hullwright"));
    QCOMPARE(entryValue(entry, QStringLiteral("MimeType")), QStringLiteral("application/x-hullwright-spritesheet;"));

    const QByteArray picture = readFile(m_icon);
    QCOMPARE(readFile(dataHome() + QStringLiteral("/icons/hicolor/256x256/apps/hullwright.png")), picture);
    QCOMPARE(readFile(dataHome() + QStringLiteral("/icons/hicolor/256x256/mimetypes/"
                                                  "application-x-hullwright-spritesheet.png")),
             picture);
    QCOMPARE(xdg->refreshes, (QList<QPair<bool, bool>>{{true, true}}));

    // A second type joins the same desktop entry.
    QVERIFY(xdg->registerFileType(QStringLiteral("Hullwright.Palette"), QStringLiteral("Palette"),
                                  QStringLiteral(".hwp"), QString(), 0, true, GApplicationAddons::OpenCommand));
    QCOMPARE(entryValue(desktopEntry(desktopFile()), QStringLiteral("MimeType")),
             QStringLiteral("application/x-hullwright-spritesheet;application/x-hullwright-palette;"));
    QCOMPARE(readMimePackage(dataHome() + QStringLiteral("/mime/packages/hullwright.palette.xml")).globs,
             QStringList{QStringLiteral("*.hwp")});
    QCOMPARE(readMimePackage(mimeFile()).globs, QStringList{QStringLiteral("*.hws")});
}

void TestShellDesktop::registrationIsIdempotent()
{
    {
        std::unique_ptr<TestedXdg> first = tested();
        QVERIFY(registerSheet(*first));
    }
    const QStringList files{mimeFile(), desktopFile(),
                            dataHome() + QStringLiteral("/icons/hicolor/256x256/apps/hullwright.png")};
    QList<QByteArray> contents;
    QList<QDateTime> times;
    for (const QString& file : files) {
        contents << readFile(file);
        times << QFileInfo(file).lastModified();
        // Backdate, so that any rewrite would show.
        QFile handle(file);
        QVERIFY(handle.open(QIODevice::ReadWrite));
        QVERIFY(handle.setFileTime(QDateTime(QDate(2001, 2, 3), QTime(4, 5, 6)), QFileDevice::FileModificationTime));
    }

    // The next start registers again and finds everything in place.
    std::unique_ptr<TestedXdg> second = tested();
    second->owners = QStringList{QStringLiteral("application/x-hullwright-spritesheet")};
    QVERIFY(registerSheet(*second));
    QVERIFY(second->refreshes.isEmpty());
    for (int i = 0; i < files.size(); ++i) {
        QCOMPARE(readFile(files.at(i)), contents.at(i));
        QCOMPARE(QFileInfo(files.at(i)).lastModified(), QDateTime(QDate(2001, 2, 3), QTime(4, 5, 6)));
    }

    // A moved program rewrites only the desktop entry.
    second->setApplicationFilePath(QStringLiteral("/usr/bin/hullwright"));
    QVERIFY(registerSheet(*second));
    QCOMPARE(second->refreshes, (QList<QPair<bool, bool>>{{false, true}}));
    QCOMPARE(entryValue(desktopEntry(desktopFile()), QStringLiteral("Exec")),
             QStringLiteral("\"/usr/bin/hullwright\" %F"));
    QCOMPARE(readFile(mimeFile()), contents.first());
}

void TestShellDesktop::extensionOfAnotherTypeIsLeftAlone()
{
    std::unique_ptr<TestedXdg> xdg = tested();
    xdg->owners = QStringList{QStringLiteral("application/x-hullwright-spritesheet"),
                              QStringLiteral("application/x-hexwise-sheet")};
    QVERIFY(registerSheet(*xdg));
    MimePackage package = readMimePackage(mimeFile());
    QVERIFY(package.valid);
    QCOMPARE(package.type, QStringLiteral("application/x-hullwright-spritesheet"));
    QVERIFY(package.globs.isEmpty());
    // The editor still offers itself for its own type.
    QCOMPARE(entryValue(desktopEntry(desktopFile()), QStringLiteral("MimeType")),
             QStringLiteral("application/x-hullwright-spritesheet;"));

    // Once the other type is gone, the extension is taken.
    xdg->owners.clear();
    QVERIFY(registerSheet(*xdg));
    QCOMPARE(readMimePackage(mimeFile()).globs, QStringList{QStringLiteral("*.hws")});
    QCOMPARE(xdg->refreshes.last(), qMakePair(true, false));
}

void TestShellDesktop::failedWriteIsReported()
{
    // The applications directory cannot be created: a file stands in its way.
    QFile blocker(dataHome() + QStringLiteral("/applications"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    std::unique_ptr<TestedXdg> xdg = tested();
    RecordingReporter reporter;
    QVERIFY(!registerSheet(*xdg));
    QCOMPARE(reporter.entries.size(), 1);
    QCOMPARE(reporter.entries.first().severity, Reporter::Warning);
    QCOMPARE(reporter.entries.first().title, QStringLiteral("Error registering file type"));
    QVERIFY2(reporter.entries.first().text.contains(desktopFile()), qPrintable(reporter.entries.first().text));
    // What was written before the failure is made known to the desktop.
    QVERIFY(QFileInfo::exists(mimeFile()));
    QCOMPARE(xdg->refreshes, (QList<QPair<bool, bool>>{{true, false}}));
}

void TestShellDesktop::execArgument_data()
{
    // The file text of the Exec argument: quoted, with the quoting escapes
    // and then the backslashes of the string value doubled.
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("text");
    QTest::newRow("plain") << "/usr/bin/hullwright" << "\"/usr/bin/hullwright\"";
    QTest::newRow("blanks") << "/opt/my apps/hw" << "\"/opt/my apps/hw\"";
    QTest::newRow("quote") << "/a\"b" << "\"/a\\\\\"b\"";
    QTest::newRow("backslash") << "/a\\b" << "\"/a\\\\\\\\b\"";
    QTest::newRow("backtick and dollar") << "/a`b$c" << "\"/a\\\\`b\\\\$c\"";
    QTest::newRow("percent") << "/100%/hw" << "\"/100%%/hw\"";
    QTest::newRow("line break") << "/a\nb" << "\"/a\\nb\"";
}

void TestShellDesktop::execArgument()
{
    QFETCH(QString, path);
    QFETCH(QString, text);
    QCOMPARE(GApplicationAddonsImplXdg::desktopExecArgument(path), text);
}

void TestShellDesktop::secondProcessForwardsItsFiles()
{
    RecordingAddons first(std::make_unique<GApplicationAddonsImplXdg>());
    first.enableDde();
    QVERIFY(static_cast<GApplicationAddonsImplXdg*>(first.impl())->isListening());
    QVERIFY(QFileInfo(static_cast<GApplicationAddonsImplXdg*>(first.impl())->serverName()).path()
            == m_runtime->path());

    QTemporaryDir work;
    QProcess second;
    QCOMPARE(runChild(second, {"--forward", "level one.hws", "/abs/two.hws", "--", "-three.hws"}, work.path()), 0);
    QTRY_COMPARE(first.opened, (QStringList{work.filePath(QStringLiteral("level one.hws")),
                                           QStringLiteral("/abs/two.hws"),
                                           work.filePath(QStringLiteral("-three.hws"))}));
}

void TestShellDesktop::nothingIsForwardedWithoutAListener()
{
    QProcess second;
    QCOMPARE(runChild(second, {"--forward", "/abs/one.hws"}), 3);
    QVERIFY(QDir(m_runtime->path()).entryList(QDir::System | QDir::Files).filter(QStringLiteral("-shell")).isEmpty());
}

void TestShellDesktop::requestsGoThroughTheGrammar()
{
    RecordingAddons first(std::make_unique<GApplicationAddonsImplXdg>());
    first.enableDde();
    const QString name = static_cast<GApplicationAddonsImplXdg*>(first.impl())->serverName();

    QLocalSocket client;
    client.connectToServer(name);
    QVERIFY(client.waitForConnected(5000));
    client.write("[print(\"/a.hws\")]\n[OPEN(\"/b c.hws\")]\nnot a request\n[open(/d.hws)]\n[open(\"/\xc3\xa9.hws\")]\n");
    QTRY_COMPARE(client.bytesAvailable(), qint64(5 * 3));
    QCOMPARE(client.readAll(), QByteArray("ok\nok\nok\nok\nok\n"));
    QTRY_COMPARE(first.opened, (QStringList{QStringLiteral("/b c.hws"), QString::fromUtf8("/\xc3\xa9.hws")}));
    // A request split across writes is run once it is complete.
    client.write("[open(\"/e");
    QTest::qWait(50);
    QCOMPARE(first.opened.size(), 2);
    client.write(".hws\")]\n");
    QTRY_COMPARE(first.opened.size(), 3);
    QCOMPARE(first.opened.last(), QStringLiteral("/e.hws"));
}

void TestShellDesktop::overlongRequestEndsTheConnection()
{
    RecordingAddons first(std::make_unique<GApplicationAddonsImplXdg>());
    first.enableDde();
    QLocalSocket client;
    client.connectToServer(static_cast<GApplicationAddonsImplXdg*>(first.impl())->serverName());
    QVERIFY(client.waitForConnected(5000));
    client.write("[open(\"/" + QByteArray(64 * 1024, 'x') + "\")]\n");
    QTRY_COMPARE(client.state(), QLocalSocket::UnconnectedState);
    QTest::qWait(20);
    QVERIFY(first.opened.isEmpty());

    // The listener serves the next client as before.
    QLocalSocket next;
    next.connectToServer(static_cast<GApplicationAddonsImplXdg*>(first.impl())->serverName());
    QVERIFY(next.waitForConnected(5000));
    next.write("[open(\"/f.hws\")]\n");
    QTRY_COMPARE(first.opened, QStringList{QStringLiteral("/f.hws")});
}

void TestShellDesktop::oneListenerPerUser()
{
    auto first = std::make_unique<RecordingAddons>(std::make_unique<GApplicationAddonsImplXdg>());
    first->enableDde();
    RecordingAddons second(std::make_unique<GApplicationAddonsImplXdg>());
    second.enableDde();
    auto* secondImpl = static_cast<GApplicationAddonsImplXdg*>(second.impl());
    QVERIFY(static_cast<GApplicationAddonsImplXdg*>(first->impl())->isListening());
    QVERIFY(!secondImpl->isListening());
    // The listener does not forward to itself.
    QVERIFY(!first->forwardOpenRequests({QStringLiteral("/x.hws")}));

    // Another user's editor has its own runtime directory, hence its own socket.
    {
        QTemporaryDir otherUser;
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(otherUser.path()));
        RecordingAddons other(std::make_unique<GApplicationAddonsImplXdg>());
        other.enableDde();
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_runtime->path()));
        QVERIFY(static_cast<GApplicationAddonsImplXdg*>(other.impl())->isListening());
    }

    first.reset();
    RecordingAddons third(std::make_unique<GApplicationAddonsImplXdg>());
    third.enableDde();
    QVERIFY(static_cast<GApplicationAddonsImplXdg*>(third.impl())->isListening());
}

void TestShellDesktop::socketOfAnEndedEditorIsReplaced()
{
    // An editor that is killed leaves its socket behind.
    QProcess ended;
    ended.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--listen")});
    QVERIFY(ended.waitForStarted(10000));
    QTRY_VERIFY_WITH_TIMEOUT(ended.canReadLine() || ended.waitForReadyRead(100), 30000);
    QCOMPARE(ended.readLine(), QByteArray("listening\n"));
    ended.kill();
    QVERIFY(ended.waitForFinished(10000));

    RecordingAddons next(std::make_unique<GApplicationAddonsImplXdg>());
    auto* impl = static_cast<GApplicationAddonsImplXdg*>(next.impl());
    QVERIFY(QFileInfo::exists(impl->serverName()));
    next.enableDde();
    QVERIFY(impl->isListening());

    QProcess second;
    QCOMPARE(runChild(second, {"--forward", "/g.hws"}), 0);
    QTRY_COMPARE(next.opened, QStringList{QStringLiteral("/g.hws")});
}

// The test program is also the other editor process of the channel tests.
int childMain(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList arguments = QCoreApplication::arguments();
    const QString mode = arguments.value(1);
    arguments.removeAt(1);
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
