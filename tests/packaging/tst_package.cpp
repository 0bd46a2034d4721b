#include "private/gapplicationaddonsimplxdg.h"
#include "testsupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <unistd.h>

namespace {

struct Result
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Result run(const QString& program, const QStringList& arguments,
           const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(QDir::rootPath());
    process.start(program, arguments);
    Result result;
    if (!process.waitForFinished(600000)) {
        process.kill();
        process.waitForFinished();
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

// dpkg refuses to run while another dpkg or apt holds its lock; wait a little.
Result runDpkg(const QStringList& arguments)
{
    Result result;
    for (int attempt = 0; attempt < 30; ++attempt) {
        result = run(QStringLiteral("dpkg"), arguments);
        if (result.exitCode == 0 || !result.err.contains("lock"))
            break;
        QThread::sleep(2);
    }
    return result;
}

bool isInstalled()
{
    return run(QStringLiteral("dpkg-query"), {"-W", "-f=${Status}", "hullwright"}).out.contains("install ok installed");
}

// Removes the package if the test leaves with it still installed.
struct Uninstaller
{
    ~Uninstaller()
    {
        if (isInstalled())
            runDpkg({"-r", "hullwright"});
    }
};

}

class TestPackage : public QObject
{
    Q_OBJECT

private slots:
    void debianPackageInstallsRunsAndRemoves()
    {
        if (geteuid() != 0)
            QSKIP("installing a package needs root");
        for (const char* tool : {"dpkg", "dpkg-deb", "dpkg-query", "dpkg-shlibdeps"}) {
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
                QSKIP(qPrintable(QStringLiteral("%1 is missing").arg(QLatin1String(tool))));
        }
        if (isInstalled())
            QSKIP("a hullwright package is installed already; it is left alone");

        // Build the package from this build tree.
        QTemporaryDir packages;
        const Result cpack = run(QStringLiteral(HWT_CPACK), {"--config", HWT_BUILD_DIR "/CPackConfig.cmake", "-G", "DEB", "-B",
                                                             packages.path(), "-D",
                                                             "CPACK_OUTPUT_FILE_PREFIX=" + packages.path()});
        QVERIFY2(cpack.exitCode == 0, cpack.out.constData());
        const QStringList debs = QDir(packages.path()).entryList({QStringLiteral("*.deb")}, QDir::Files);
        QCOMPARE(debs.size(), 1);
        const QString deb = packages.filePath(debs.first());

        // The libraries found by dpkg-shlibdeps, the web engine of the release notes' module among them.
        const QString depends = QString::fromUtf8(run(QStringLiteral("dpkg-deb"), {"-f", deb, "Depends"}).out);
        for (const char* library : {"libqt5widgets5", "libqt5network5", "libqt5xml5", "libgrantlee-templates5", "libqt5webkit5"})
            QVERIFY2(depends.contains(QLatin1String(library)), qPrintable(library + QStringLiteral(" in ") + depends));

        // Its contents: programs, the module, exporters, desktop entry, MIME type and icons, all below /usr.
        QTemporaryDir unpacked;
        QCOMPARE(run(QStringLiteral("dpkg-deb"), {"-x", deb, unpacked.path()}).exitCode, 0);
        QCOMPARE(QDir(unpacked.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList{"usr"});
        QStringList expected{"bin/hullwright", "bin/hullwright-cli", "lib/hullwright/hwt_releasenotes.so",
                             "share/applications/hullwright.desktop", "share/mime/packages/hullwright.spritesheet.xml",
                             "share/icons/hicolor/scalable/apps/hullwright.svg",
                             "share/icons/hicolor/256x256/mimetypes/application-x-hullwright-spritesheet.png"};
        // The exporters the source tree ships: each directory holding an exporter.xml.
        QStringList exporters;
        const QDir source(QStringLiteral(HWT_SOURCE_DIR "/exporters"));
        for (const QString& name : source.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
            if (QFileInfo::exists(source.filePath(name + QStringLiteral("/exporter.xml"))))
                exporters << name;
        }
        QVERIFY(!exporters.isEmpty());
        for (const QString& exporter : qAsConst(exporters))
            expected << QStringLiteral("share/hullwright/exporters/%1/exporter.xml").arg(exporter);
        for (const QString& file : qAsConst(expected))
            QVERIFY2(QFileInfo::exists(unpacked.filePath("usr/" + file)), qPrintable(file + " is not in the package"));

        // The packaged MIME type is the one the editor registers for its users.
        QFile desktop(unpacked.filePath(QStringLiteral("usr/share/applications/hullwright.desktop")));
        QVERIFY(desktop.open(QIODevice::ReadOnly));
        const QByteArray entry = desktop.readAll();
        QVERIFY(entry.contains("\nExec=hullwright %F\n"));
        const QString type = GApplicationAddonsImplXdg::mimeTypeForProgId(QStringLiteral("Hullwright.SpriteSheet"));
        QVERIFY(entry.contains("\nMimeType=" + type.toUtf8() + ";\n"));
        QFile mime(unpacked.filePath(QStringLiteral("usr/share/mime/packages/hullwright.spritesheet.xml")));
        QVERIFY(mime.open(QIODevice::ReadOnly) && mime.readAll().contains("type=\"" + type.toUtf8() + '"'));

        // Install it, and use it from the installed paths.
        Uninstaller uninstaller;
        const Result install = runDpkg({"-i", deb});
        QVERIFY2(install.exitCode == 0, install.err.constData());
        const Result listed = run(QStringLiteral("/usr/bin/hullwright-cli"), {"exporters"});
        QVERIFY2(listed.exitCode == 0, listed.err.constData());
        QStringList names;
        const QJsonArray found = QJsonDocument::fromJson(listed.out).array();
        for (const QJsonValue& exporter : found)
            names << exporter.toObject().value(QStringLiteral("name")).toString();
        names.sort();
        QCOMPARE(names, exporters);

        // The installed editor finds the same exporters in the data directory and registers itself for the user.
        QTemporaryDir home;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.path());
        env.insert(QStringLiteral("HULLWRIGHT_UPDATE_BASE_URL"), QStringLiteral("http://127.0.0.1:9"));
        env.insert(QStringLiteral("HULLWRIGHT_STARTUP_PROBE"), QString::number(QDateTime::currentMSecsSinceEpoch() * 1000000));
        const Result editor = run(QStringLiteral("/usr/bin/hullwright"), {}, env);
        QVERIFY2(editor.exitCode == 0 && editor.out.startsWith("startup-ms "), editor.err.constData());
        QVERIFY2(editor.err.contains("Scanning for exporters in /usr/share/hullwright/exporters"), editor.err.constData());
        QFile registered(home.filePath(QStringLiteral("data/applications/hullwright.desktop")));
        QVERIFY(registered.open(QIODevice::ReadOnly) && registered.readAll().contains("\nExec=\"/usr/bin/hullwright\" %F\n"));

        // Remove it again: nothing of it is left.
        const Result remove = runDpkg({"-r", "hullwright"});
        QVERIFY2(remove.exitCode == 0, remove.err.constData());
        QVERIFY(!isInstalled());
        for (const char* path : {"/usr/bin/hullwright", "/usr/bin/hullwright-cli", "/usr/share/hullwright",
                                 "/usr/share/mime/packages/hullwright.spritesheet.xml"})
            QVERIFY2(!QFileInfo::exists(QLatin1String(path)), path);
    }

};

int main(int argc, char** argv)
{
    TestSupport::isolateSettings();
    QCoreApplication app(argc, argv);
    TestPackage test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_package.moc"
