#include "testsupport.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// One user's session for real editor processes: their own settings, data and
// runtime directories, so they find each other and nothing else.
struct Session
{
    QTemporaryDir root;

    QString path(const char* name) const { return root.filePath(QString::fromLatin1(name)); }

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), path("config"));
        env.insert(QStringLiteral("XDG_DATA_HOME"), path("data"));
        env.insert(QStringLiteral("XDG_CACHE_HOME"), path("cache"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), path("runtime"));
        // No update check reaches the network from a test.
        env.insert(QStringLiteral("HULLWRIGHT_UPDATE_BASE_URL"), QStringLiteral("http://127.0.0.1:9"));
        env.remove(QStringLiteral("HULLWRIGHT_STARTUP_PROBE"));
        return env;
    }

    bool prepare() const
    {
        return root.isValid() && QDir().mkpath(path("runtime"))
               && QFile::setPermissions(path("runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    QString socket() const { return path("runtime") + QStringLiteral("/hullwright-shell"); }

    // Read from the file itself: this process's settings cache would not see the editor's writes.
    QStringList recentFiles() const
    {
        QFile stored(path("config") + QStringLiteral("/hullwright.org/Hullwright.conf"));
        if (!stored.open(QIODevice::ReadOnly))
            return {};
        const QList<QByteArray> lines = stored.readAll().split('\n');
        for (const QByteArray& line : lines) {
            if (line.startsWith("recentFileList="))
                return QString::fromUtf8(line.mid(15)).split(QStringLiteral(", "));
        }
        return {};
    }

    void start(QProcess& editor, const QStringList& arguments, const QString& workingDirectory = QString()) const
    {
        editor.setProcessEnvironment(environment());
        editor.setWorkingDirectory(workingDirectory.isEmpty() ? root.path() : workingDirectory);
        editor.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        editor.start(QStringLiteral(HULLWRIGHT_BINARY), arguments);
    }
};

// Ends an editor that is still running when a test leaves.
struct Reaper
{
    QProcess& process;
    ~Reaper()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(10000);
        }
    }
};

QString writeProject(const QString& directory, const QString& name)
{
    const QString project = directory + QLatin1Char('/') + name;
    const QString image = directory + QStringLiteral("/crate.png");
    if (!QFileInfo::exists(image) && !QFile::copy(QStringLiteral(HWT_SOURCE_DIR "/resources/samples/crate.png"), image))
        return QString();
    // A project with a shipped exporter, so that the editor opens it without asking anything.
    QProcess cli;
    cli.start(QStringLiteral(HULLWRIGHT_CLI), {QStringLiteral("create"), project, QStringLiteral("--exporter"),
                                               QStringLiteral("box2d-json"), image});
    if (!cli.waitForFinished(60000) || cli.exitCode() != 0)
        return QString();
    return QFileInfo::exists(project) ? project : QString();
}

}

class TestShellInstance : public QObject
{
    Q_OBJECT

private slots:
    void secondLaunchHandsItsFileToTheRunningEditor();
    void firstLaunchOpensItsOwnFiles();
};

void TestShellInstance::secondLaunchHandsItsFileToTheRunningEditor()
{
    Session session;
    QVERIFY(session.prepare());
    QTemporaryDir work;
    const QString project = writeProject(work.path(), QStringLiteral("level one.hws"));
    QVERIFY(!project.isEmpty());

    QProcess first;
    Reaper firstReaper{first};
    session.start(first, {});
    QVERIFY(first.waitForStarted(10000));
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(session.socket()), 60000);
    QVERIFY(first.state() == QProcess::Running);
    QVERIFY(session.recentFiles().isEmpty());

    // The desktop starts the editor again with the file, named relative to its directory.
    QProcess second;
    Reaper secondReaper{second};
    session.start(second, {QStringLiteral("level one.hws")}, work.path());
    QVERIFY(second.waitForFinished(60000));
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);

    QTRY_COMPARE_WITH_TIMEOUT(session.recentFiles(), QStringList{project}, 60000);
    QVERIFY(first.state() == QProcess::Running);
}

void TestShellInstance::firstLaunchOpensItsOwnFiles()
{
    Session session;
    QVERIFY(session.prepare());
    QTemporaryDir work;
    const QString project = writeProject(work.path(), QStringLiteral("level.hws"));
    QVERIFY(!project.isEmpty());

    QProcess editor;
    Reaper reaper{editor};
    session.start(editor, {project});
    QVERIFY(editor.waitForStarted(10000));
    QTRY_COMPARE_WITH_TIMEOUT(session.recentFiles(), QStringList{project}, 60000);
    // It is the editor now: it keeps running and serves later launches.
    QVERIFY(editor.state() == QProcess::Running);
    QVERIFY(QFileInfo::exists(session.socket()));
}

int main(int argc, char** argv)
{
    TestSupport::isolateSettings();
    QApplication app(argc, argv);
    TestShellInstance test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_shellinstance.moc"
