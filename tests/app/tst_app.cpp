#include "elementlistmodel.h"
#include "globalsettings.h"
#include "gsettings.h"
#include "grecentfileprovider.h"
#include "hullwrightapplication.h"
#include "mainwindow.h"
#include "startup.h"
#include "testsupport.h"

#include <QProcess>
#include <QUuid>
#include <QtTest>

class TestApp : public QObject
{
    Q_OBJECT

private slots:
    void init() { TestSupport::clearSettings(); }

    void statistics_data()
    {
        QTest::addColumn<QVariant>("storedCounter");
        QTest::addColumn<QVariant>("storedExporter");
        QTest::addColumn<QString>("crashCounter");
        QTest::addColumn<QString>("lastExporter");
        QTest::newRow("fresh") << QVariant() << QVariant() << "-1" << "";
        QTest::newRow("five") << QVariant(QStringLiteral("5")) << QVariant(QStringLiteral("box2d")) << "4" << "box2d";
        QTest::newRow("integer") << QVariant(1) << QVariant() << "0" << "";
        QTest::newRow("not a number") << QVariant(QStringLiteral("lots")) << QVariant() << "-1" << "";
    }

    void statistics()
    {
        QFETCH(QVariant, storedCounter);
        QFETCH(QVariant, storedExporter);
        QFETCH(QString, crashCounter);
        QFETCH(QString, lastExporter);
        if (storedCounter.isValid())
            GSettings().setValue(QStringLiteral("crashCounter"), storedCounter);
        if (storedExporter.isValid())
            GSettings().setValue(QStringLiteral("lastExporter"), storedExporter);
        // The installation identifier is made once.
        const QString id = Startup::ensureInstallationId();
        QVERIFY(!QUuid::fromString(id).isNull());
        QCOMPARE(Startup::ensureInstallationId(), id);
        const QVariantMap statistics = Startup::collectStatistics();
        QCOMPARE(statistics.keys(), (QStringList{"crashCounter", "lastExporter", "osName", "osVersion", "uuid", "version"}));
        QCOMPARE(statistics.value(QStringLiteral("crashCounter")).toString(), crashCounter);
        QCOMPARE(statistics.value(QStringLiteral("lastExporter")).toString(), lastExporter);
        QCOMPARE(statistics.value(QStringLiteral("uuid")).toString(), id);
        for (const QVariant& value : statistics)
            QCOMPARE(value.userType(), int(QMetaType::QString));
        // Reading the statistics never writes the counters.
        QCOMPARE(GSettings().value(QStringLiteral("crashCounter")), storedCounter);
    }

    void exporterDirectories()
    {
        QCOMPARE(Startup::exporterDirectories(QStringLiteral("/opt/hw")), QStringList{QStringLiteral("/opt/hw/exporters")});
        GlobalSettings().setCustomExporterPath(QStringLiteral("/home/me/my exporters"));
        QCOMPARE(Startup::exporterDirectories(QStringLiteral("/opt/hw")),
                 (QStringList{"/opt/hw/exporters", "/home/me/my exporters"}));
    }

    void projectsOpenAndSave()
    {
        // A file that cannot be read is reported; its window stays, untitled.
        MainWindow* window = nullptr;
        {
            RecordingReporter recorder;
            GApplication::instance()->openFile(QStringLiteral("/nowhere/level.hws"));
            QCOMPARE(recorder.entries.size(), 1);
            QVERIFY(recorder.entries.first().text.contains(QLatin1String("/nowhere/level.hws")));
            window = qobject_cast<MainWindow*>(recorder.entries.first().context);
        }
        QVERIFY(window && window->isVisible());
        QCOMPARE(window->fileName(), QString());
        QVERIFY(GRecentFileProvider::recentFiles().isEmpty());

        QTemporaryDir dir;
        const QString project = dir.filePath(QStringLiteral("level.hws"));
        {
            ElementListModel document;
            document.addFile(dir.filePath(QStringLiteral("crate.png")));
            document.addFile(dir.filePath(QStringLiteral("barrel.png")));
            QVERIFY(document.save(project));
        }
        GApplication::instance()->openFile(project);
        QCOMPARE(window->fileName(), project);
        QCOMPARE(window->model()->rowCount(), 2);
        QVERIFY(!window->isModified());
        // Save As writes the document under the new name; a failed write is reported.
        QVERIFY(window->saveFile(dir.filePath(QStringLiteral("copy.hws"))));
        ElementListModel reread;
        QVERIFY(reread.load(dir.filePath(QStringLiteral("copy.hws"))));
        QCOMPARE(reread.rowCount(), 2);
        RecordingReporter recorder;
        QVERIFY(!window->saveFile(dir.filePath(QStringLiteral("missing/dir/x.hws"))));
        QCOMPARE(recorder.entries.size(), 1);
        QCOMPARE(recorder.entries.first().title, QStringLiteral("Error writing file"));
        window->close();
    }

    void editorStartsAndKeepsItsInstallationId()
    {
        QTemporaryDir config;
        auto start = [&config]() {
            QProcess editor;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
            const qint64 nowNs = QDateTime::currentMSecsSinceEpoch() * 1000000;
            env.insert(QStringLiteral("HULLWRIGHT_STARTUP_PROBE"), QString::number(nowNs));
            editor.setProcessEnvironment(env);
            editor.start(QStringLiteral(HULLWRIGHT_BINARY), {QStringLiteral("/ignored/on/the/command/line.hws")});
            if (!editor.waitForFinished(60000))
                editor.kill();
            editor.waitForFinished();
            return std::make_pair(editor.exitCode(), QString::fromUtf8(editor.readAllStandardOutput()));
        };
        const auto first = start();
        QCOMPARE(first.first, 0);
        QVERIFY2(first.second.startsWith(QLatin1String("startup-ms ")), qPrintable(first.second));

        // The settings go to the user's configuration directory.
        QSettings stored(config.filePath(QStringLiteral("hullwright.org/Hullwright.conf")), QSettings::IniFormat);
        const QString id = stored.value(QStringLiteral("uuid")).toString();
        QVERIFY(!QUuid::fromString(id).isNull());
        // The command line is not read: nothing was opened or remembered.
        QVERIFY(!stored.contains(QStringLiteral("recentFileList")));
        QCOMPARE(start().first, 0);
        stored.sync();
        QCOMPARE(stored.value(QStringLiteral("uuid")).toString(), id);
    }

};

int main(int argc, char** argv)
{
    TestSupport::isolateSettings();
    HullwrightApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    TestApp test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_app.moc"
