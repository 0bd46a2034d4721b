#include "private/gapplicationaddonsimplxdg.h"
#include "testsupport.h"

#include <QtCore>
#include <QtTest>

#include <unistd.h>

namespace {

// Runs a program to its end: its exit code (-1 when it crashed or hung), output and errors.
std::tuple<int, QByteArray, QByteArray> run(const QString& program, const QStringList& arguments,
                                            const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(QDir::rootPath());
    QByteArray err;
    // dpkg refuses to run while another dpkg or apt holds its lock; wait a little.
    for (int attempt = 0; attempt < 30; ++attempt) {
        process.start(program, arguments);
        if (!process.waitForFinished(600000))
            process.kill();
        process.waitForFinished();
        err = process.readAllStandardError();
        if (program != QLatin1String("dpkg") || process.exitCode() == 0 || !err.contains("lock"))
            break;
        QThread::sleep(2);
    }
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, process.readAllStandardOutput(), err};
}

bool isInstalled()
{
    return std::get<1>(run("dpkg-query", {"-W", "-f=${Status}", "hullwright"})).contains("install ok installed");
}

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}

class TestPackage : public QObject
{
    Q_OBJECT

private slots:
    void debianPackageInstallsRunsAndRemoves()
    {
        if (geteuid() != 0 || QStandardPaths::findExecutable(QStringLiteral("dpkg-shlibdeps")).isEmpty())
            QSKIP("installing a package needs root and dpkg");
        if (isInstalled())
            QSKIP("a hullwright package is installed already; it is left alone");

        // Build the package from this build tree.
        QTemporaryDir packages;
        auto [status, out, err] = run(HWT_CPACK, {"--config", HWT_BUILD_DIR "/CPackConfig.cmake", "-G", "DEB", "-B",
                                                  packages.path(), "-D", "CPACK_OUTPUT_FILE_PREFIX=" + packages.path()});
        QVERIFY2(status == 0, out.constData());
        const QStringList debs = QDir(packages.path()).entryList({QStringLiteral("*.deb")}, QDir::Files);
        QCOMPARE(debs.size(), 1);
        const QString deb = packages.filePath(debs.first());

        // The libraries found by dpkg-shlibdeps, the web engine of the release notes' module among them.
        const QByteArray depends = std::get<1>(run(QStringLiteral("dpkg-deb"), {"-f", deb, "Depends"}));
        for (const char* library : {"libqt5widgets5", "libqt5network5", "libqt5xml5", "libgrantlee-templates5",
                                    "libqt5webkit5"})
            QVERIFY2(depends.contains(library), depends.constData());

        // Its contents, all below /usr: programs, the module, the exporters, desktop entry, MIME type and icons.
        QTemporaryDir unpacked;
        QCOMPARE(std::get<0>(run(QStringLiteral("dpkg-deb"), {"-x", deb, unpacked.path()})), 0);
        QCOMPARE(QDir(unpacked.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList{"usr"});
        QStringList expected{"bin/hullwright", "bin/hullwright-cli", "lib/hullwright/hwt_releasenotes.so",
                             "share/applications/hullwright.desktop", "share/mime/packages/hullwright.spritesheet.xml",
                             "share/icons/hicolor/scalable/apps/hullwright.svg",
                             "share/icons/hicolor/256x256/mimetypes/application-x-hullwright-spritesheet.png"};
        QStringList exporters;  // the directories of the source tree's exporters, each holding an exporter.xml
        for (const QFileInfo& dir : QDir(HWT_SOURCE_DIR "/exporters").entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            if (QFileInfo::exists(dir.filePath() + QStringLiteral("/exporter.xml")))
                exporters << dir.fileName();
        }
        QVERIFY(!exporters.isEmpty());
        for (const QString& exporter : exporters)
            expected << QStringLiteral("share/hullwright/exporters/%1/exporter.xml").arg(exporter);
        for (const QString& file : qAsConst(expected))
            QVERIFY2(QFileInfo::exists(unpacked.filePath("usr/" + file)), qPrintable(file + " is not in the package"));
        // The packaged MIME type is the one the editor registers for its users.
        const QByteArray type = GApplicationAddonsImplXdg::mimeTypeForProgId("Hullwright.SpriteSheet").toUtf8();
        const QByteArray entry = contents(unpacked.filePath(QStringLiteral("usr/share/applications/hullwright.desktop")));
        QVERIFY(entry.contains("\nExec=hullwright %F\n") && entry.contains("\nMimeType=" + type + ";\n"));
        QVERIFY(contents(unpacked.filePath(QStringLiteral("usr/share/mime/packages/hullwright.spritesheet.xml")))
                    .contains("type=\"" + type + '"'));

        // Install it, and use it from the installed paths.
        const auto uninstall = qScopeGuard([] {
            if (isInstalled())
                run(QStringLiteral("dpkg"), {"-r", "hullwright"});
        });
        std::tie(status, out, err) = run(QStringLiteral("dpkg"), {"-i", deb});
        QVERIFY2(status == 0, err.constData());
        std::tie(status, out, err) = run(QStringLiteral("/usr/bin/hullwright-cli"), {"exporters"});
        QStringList names;
        for (const QJsonValue& exporter : QJsonDocument::fromJson(out).array())
            names << exporter.toObject().value(QStringLiteral("name")).toString();
        names.sort();
        QVERIFY2(status == 0 && names == exporters, err.constData());

        // The installed editor finds the same exporters and registers itself for the user (in this test's directories).
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("HULLWRIGHT_UPDATE_BASE_URL"), QStringLiteral("http://127.0.0.1:9"));
        env.insert("HULLWRIGHT_STARTUP_PROBE", QString::number(QDateTime::currentMSecsSinceEpoch() * 1000000));
        std::tie(status, out, err) = run(QStringLiteral("/usr/bin/hullwright"), {}, env);
        QVERIFY2(status == 0 && out.startsWith("startup-ms ")
                     && err.contains("Scanning for exporters in /usr/share/hullwright/exporters"),
                 err.constData());
        QVERIFY(contents(QFile::decodeName(qgetenv("XDG_DATA_HOME")) + QStringLiteral("/applications/hullwright.desktop"))
                    .contains("\nExec=\"/usr/bin/hullwright\" %F\n"));

        // Remove it again: nothing of it is left.
        std::tie(status, out, err) = run(QStringLiteral("dpkg"), {"-r", "hullwright"});
        QVERIFY2(status == 0 && !isInstalled(), err.constData());
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
