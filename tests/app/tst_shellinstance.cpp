#include "testsupport.h"

#include <QApplication>
#include <QDir>
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
    QTemporaryDir work;
    QString project;
    std::vector<std::unique_ptr<QProcess>> editors;

    QString path(const char* name) const { return root.filePath(QLatin1String(name)); }

    // Makes a project with a shipped exporter, so that the editor opens it without asking anything.
    bool prepare(const char* projectName)
    {
        project = work.filePath(QLatin1String(projectName));
        const QString image = work.filePath(QStringLiteral("crate.png"));
        if (!QDir().mkpath(path("runtime"))
            || !QFile::setPermissions(path("runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner)
            || !QFile::copy(QStringLiteral(HWT_SOURCE_DIR "/resources/samples/crate.png"), image))
            return false;
        QProcess cli;
        cli.start(QStringLiteral(HULLWRIGHT_CLI), {"create", project, "--exporter", "box2d-json", image});
        return cli.waitForFinished(60000) && cli.exitCode() == 0 && QFileInfo::exists(project);
    }

    QProcess& start(const QStringList& arguments, const QString& workingDirectory)
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
        editors.push_back(std::make_unique<QProcess>());
        QProcess& editor = *editors.back();
        editor.setProcessEnvironment(env);
        editor.setWorkingDirectory(workingDirectory);
        editor.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        editor.start(QStringLiteral(HULLWRIGHT_BINARY), arguments);
        return editor;
    }

    QString socket() const { return path("runtime") + QStringLiteral("/hullwright-shell"); }

    // Read from the file itself: this process's settings cache would not see the editor's writes.
    QStringList recentFiles() const
    {
        QFile stored(path("config") + QStringLiteral("/hullwright.org/Hullwright.conf"));
        const QList<QByteArray> lines = stored.open(QIODevice::ReadOnly) ? stored.readAll().split('\n') : QList<QByteArray>();
        for (const QByteArray& line : lines) {
            if (line.startsWith("recentFileList="))
                return QString::fromUtf8(line.mid(15)).split(QStringLiteral(", "));
        }
        return {};
    }

    // Ends the editors still running when a test leaves.
    ~Session()
    {
        for (const auto& editor : editors) {
            editor->kill();
            editor->waitForFinished(10000);
        }
    }
};

}

class TestShellInstance : public QObject
{
    Q_OBJECT

private slots:
    void secondLaunchHandsItsFileToTheRunningEditor()
    {
        Session session;
        QVERIFY(session.prepare("level one.hws"));
        QProcess& first = session.start({}, session.root.path());
        QVERIFY(first.waitForStarted(10000));
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(session.socket()), 60000);
        QVERIFY(session.recentFiles().isEmpty());

        // The desktop starts the editor again with the file, named relative to its directory.
        QProcess& second = session.start({QStringLiteral("level one.hws")}, session.work.path());
        QVERIFY(second.waitForFinished(60000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(session.recentFiles(), QStringList{session.project}, 60000);
        QVERIFY(first.state() == QProcess::Running);
    }

    void firstLaunchOpensItsOwnFiles()
    {
        Session session;
        QVERIFY(session.prepare("level.hws"));
        QProcess& editor = session.start({session.project}, session.root.path());
        QVERIFY(editor.waitForStarted(10000));
        QTRY_COMPARE_WITH_TIMEOUT(session.recentFiles(), QStringList{session.project}, 60000);
        // It is the editor now: it keeps running and serves later launches.
        QVERIFY(editor.state() == QProcess::Running);
        QVERIFY(QFileInfo::exists(session.socket()));
    }

};

int main(int argc, char** argv)
{
    TestSupport::isolateSettings();
    QApplication app(argc, argv);
    TestShellInstance test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_shellinstance.moc"
