#include "private/gapplicationaddonsimplxdg.h"
#include "testsupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QXmlStreamReader>
#include <QtTest>

#include <unistd.h>

namespace {

const QString packageName = QStringLiteral("hullwright");

struct Result
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Result run(const QString& program, const QStringList& arguments, int timeoutMs = 120000,
           const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(QDir::rootPath());
    process.start(program, arguments);
    Result result;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        result.err = "timed out or failed to start: " + QFile::encodeName(program);
        return result;
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
    const Result status = run(QStringLiteral("dpkg-query"), {"-W", "-f=${Status}", packageName});
    return status.exitCode == 0 && status.out.contains("install ok installed");
}

// Removes the package if the test leaves with it still installed.
struct Uninstaller
{
    bool armed = false;
    ~Uninstaller()
    {
        if (armed && isInstalled())
            runDpkg({"-r", packageName});
    }
};

// The exporters the source tree ships: each directory holding an exporter.xml.
QStringList shippedExporters()
{
    QStringList names;
    const QDir source(QStringLiteral(HWT_SOURCE_DIR "/exporters"));
    const QStringList directories = source.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& directory : directories) {
        if (QFileInfo::exists(source.filePath(directory + QStringLiteral("/exporter.xml"))))
            names << directory;
    }
    return names;
}

QString mimeTypeOf(const QString& packageFile)
{
    QFile file(packageFile);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    QXmlStreamReader xml(&file);
    while (xml.readNextStartElement()) {
        if (xml.name() == QLatin1String("mime-type"))
            return xml.attributes().value(QLatin1String("type")).toString();
    }
    return QString();
}

}

class TestPackage : public QObject
{
    Q_OBJECT

private slots:
    void debianPackageInstallsRunsAndRemoves();
};

void TestPackage::debianPackageInstallsRunsAndRemoves()
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
    QVERIFY(packages.isValid());
    const Result cpack = run(QStringLiteral(HWT_CPACK),
                             {"--config", QStringLiteral(HWT_BUILD_DIR "/CPackConfig.cmake"), "-G", "DEB", "-B",
                              packages.path(), "-D", QStringLiteral("CPACK_OUTPUT_FILE_PREFIX=") + packages.path()},
                             600000);
    QVERIFY2(cpack.exitCode == 0, cpack.out.constData());
    const QStringList debs = QDir(packages.path()).entryList({QStringLiteral("*.deb")}, QDir::Files);
    QCOMPARE(debs.size(), 1);
    const QString deb = packages.filePath(debs.first());
    QVERIFY2(debs.first().startsWith(QLatin1String("hullwright_1.0.9_")), qPrintable(debs.first()));

    // Its control fields, with the libraries found by dpkg-shlibdeps.
    const Result fields = run(QStringLiteral("dpkg-deb"), {"-f", deb, "Package", "Version", "Depends"});
    QCOMPARE(fields.exitCode, 0);
    const QString control = QString::fromUtf8(fields.out);
    QVERIFY2(control.contains(QLatin1String("Package: hullwright\n")), qPrintable(control));
    QVERIFY2(control.contains(QLatin1String("Version: 1.0.9\n")), qPrintable(control));
    for (const char* library : {"libqt5core5a", "libqt5gui5", "libqt5widgets5", "libqt5network5", "libqt5xml5",
                                "libgrantlee-templates5", "libqt5webkit5", "libc6"})
        QVERIFY2(control.contains(QLatin1String(library)), qPrintable(library + QStringLiteral(" in ") + control));

    // Its contents: programs, exporters, desktop entry, MIME type and icons, all below /usr.
    const Result listing = run(QStringLiteral("dpkg-deb"), {"-c", deb});
    QCOMPARE(listing.exitCode, 0);
    QSet<QString> files;
    const QList<QByteArray> lines = listing.out.split('\n');
    for (const QByteArray& line : lines) {
        const int path = line.indexOf(" ./");
        if (path < 0)
            continue;
        const QString name = QString::fromUtf8(line.mid(path + 3));
        QVERIFY2(name.isEmpty() || name.startsWith(QLatin1String("usr/")), qPrintable(name));
        if (!line.startsWith('d'))
            files.insert(name);
    }
    QStringList expected{"usr/bin/hullwright",
                         "usr/bin/hullwright-cli",
                         "usr/lib/hullwright/hwt_releasenotes.so",
                         "usr/share/applications/hullwright.desktop",
                         "usr/share/mime/packages/hullwright.spritesheet.xml",
                         "usr/share/icons/hicolor/scalable/apps/hullwright.svg",
                         "usr/share/icons/hicolor/scalable/mimetypes/application-x-hullwright-spritesheet.svg",
                         "usr/share/icons/hicolor/256x256/apps/hullwright.png",
                         "usr/share/icons/hicolor/256x256/mimetypes/application-x-hullwright-spritesheet.png"};
    const QStringList exporters = shippedExporters();
    QVERIFY(!exporters.isEmpty());
    for (const QString& exporter : exporters)
        expected << QStringLiteral("usr/share/hullwright/exporters/%1/exporter.xml").arg(exporter);
    for (const QString& file : expected)
        QVERIFY2(files.contains(file), qPrintable(file + QStringLiteral(" is not in the package")));

    // The packaged MIME type is the one the editor registers for its users.
    QTemporaryDir unpacked;
    QCOMPARE(run(QStringLiteral("dpkg-deb"), {"-x", deb, unpacked.path()}).exitCode, 0);
    const QString packagedType = mimeTypeOf(unpacked.filePath(QStringLiteral("usr/share/mime/packages/hullwright.spritesheet.xml")));
    QCOMPARE(packagedType, GApplicationAddonsImplXdg::mimeTypeForProgId(QStringLiteral("Hullwright.SpriteSheet")));
    QFile desktop(unpacked.filePath(QStringLiteral("usr/share/applications/hullwright.desktop")));
    QVERIFY(desktop.open(QIODevice::ReadOnly));
    const QByteArray entry = desktop.readAll();
    QVERIFY(entry.contains("\nExec=hullwright %F\n"));
    QVERIFY(entry.contains("\nMimeType=" + packagedType.toUtf8() + ";\n"));

    // Install it, and use it from the installed paths.
    Uninstaller uninstaller;
    uninstaller.armed = true;
    const Result install = runDpkg({"-i", deb});
    QVERIFY2(install.exitCode == 0, install.err.constData());
    QVERIFY(isInstalled());

    const Result listed = run(QStringLiteral("/usr/bin/hullwright-cli"), {"exporters"});
    QVERIFY2(listed.exitCode == 0, listed.err.constData());
    const QJsonArray found = QJsonDocument::fromJson(listed.out).array();
    QStringList names;
    for (const QJsonValue& exporter : found)
        names << exporter.toObject().value(QStringLiteral("name")).toString();
    names.sort();
    QCOMPARE(names, exporters);

    // The installed editor finds the same exporters in the data directory.
    QTemporaryDir home;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.path());
    env.insert(QStringLiteral("HULLWRIGHT_UPDATE_BASE_URL"), QStringLiteral("http://127.0.0.1:9"));
    env.insert(QStringLiteral("HULLWRIGHT_STARTUP_PROBE"),
               QString::number(QDateTime::currentMSecsSinceEpoch() * 1000000));
    const Result editor = run(QStringLiteral("/usr/bin/hullwright"), {}, 120000, env);
    QVERIFY2(editor.exitCode == 0, editor.err.constData());
    QVERIFY2(editor.out.startsWith("startup-ms "), editor.out.constData());
    QVERIFY2(editor.err.contains("Scanning for exporters in /usr/share/hullwright/exporters"), editor.err.constData());
    // Its first start registered the installed program for the user.
    QFile registered(home.filePath(QStringLiteral("data/applications/hullwright.desktop")));
    QVERIFY(registered.open(QIODevice::ReadOnly));
    QVERIFY(registered.readAll().contains("\nExec=\"/usr/bin/hullwright\" %F\n"));

    // Remove it again: nothing of it is left.
    const Result remove = runDpkg({"-r", packageName});
    QVERIFY2(remove.exitCode == 0, remove.err.constData());
    QVERIFY(!isInstalled());
    QVERIFY(!QFileInfo::exists(QStringLiteral("/usr/bin/hullwright")));
    QVERIFY(!QFileInfo::exists(QStringLiteral("/usr/bin/hullwright-cli")));
    QVERIFY(!QFileInfo::exists(QStringLiteral("/usr/share/hullwright")));
    QVERIFY(!QFileInfo::exists(QStringLiteral("/usr/share/mime/packages/hullwright.spritesheet.xml")));
}

int main(int argc, char** argv)
{
    TestSupport::isolateSettings();
    QCoreApplication app(argc, argv);
    TestPackage test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_package.moc"
