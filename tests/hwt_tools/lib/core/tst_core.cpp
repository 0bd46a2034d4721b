#include "documenttyperegistry.h"
#include "gapplicationaddons.h"
#include "gapplicationaddonsimpl.h"
#include "globalsettings.h"
#include "gsettings.h"
#include "reporter.h"
#include "systeminquiry.h"
#include "testsupport.h"

#include <QTimer>
#include <QtTest>

namespace {

// Two window classes whose names the registry compares.
class SheetWindow : public QObject
{
    Q_OBJECT
};

class PaletteWindow : public QObject
{
    Q_OBJECT
};

struct Registration
{
    QString progId, description, extension, iconName;
    int iconIndex;
    bool useDde;
    int shellCommands;
};

class RecordingAddonsImpl final : public GApplicationAddonsImpl
{
public:
    explicit RecordingAddonsImpl(QList<Registration>* log) : m_log(log) {}
    bool registerFileType(const QString& progId, const QString& description, const QString& extension,
                          const QString& iconName, int iconIndex, bool useDde, int shellCommands) override
    {
        m_log->append({progId, description, extension, iconName, iconIndex, useDde, shellCommands});
        return true;
    }

private:
    QList<Registration>* m_log;
};

void registerSheet(DocumentTypeRegistry& registry, bool shell = false)
{
    registry.registerType(QStringLiteral("Hullwright.SpriteSheet"), QStringLiteral("Hullwright Sheet"),
                          QStringLiteral(".hws"), QStringLiteral("HWS.ico"), true, shell, true,
                          SheetWindow::staticMetaObject);
}

}

class TestCore : public QObject
{
    Q_OBJECT

private slots:
    void init() { TestSupport::clearSettings(); }

    void settingsWritesAreSharedAndPersist();
    void settingsFirstRunDefaults();
    void globalSettingsAccessors();

    void typeForFile_data();
    void typeForFile();
    void defaultTypeIsFirstRegistered();
    void canOpenComparesWindowClass();
    void filtersWithOneType();
    void filtersFollowFlagsAndWindowClass();
    void registerWithShellAsksTheAddons();

    void osReleasePrettyName_data();
    void osReleasePrettyName();
    void systemInquiryNamesLinux();

    void reporterFallsBackToStandardError();
};

void TestCore::settingsWritesAreSharedAndPersist()
{
    {
        GSettings writer;
        writer.setValue(QStringLiteral("main/lastFileName"), QStringLiteral("/tmp/a.hws"));
        GSettings reader;
        QCOMPARE(reader.value(QStringLiteral("main/lastFileName")).toString(), QStringLiteral("/tmp/a.hws"));
    }
    // A settings object made after the writer is gone reads the stored value.
    QCOMPARE(GSettings().value(QStringLiteral("main/lastFileName")).toString(), QStringLiteral("/tmp/a.hws"));
    QCOMPARE(GSettings().fileName(), QSettings().fileName());
}

void TestCore::settingsFirstRunDefaults()
{
    GSettings settings;
    QVERIFY(settings.allKeys().isEmpty());
    QCOMPARE(settings.value(QStringLiteral("recentFileList")).toStringList(), QStringList());
    QCOMPARE(settings.value(QStringLiteral("lastExporter")).toString(), QString());
    QCOMPARE(settings.value(QStringLiteral("crashCounter")).toInt(), 0);
    QCOMPARE(settings.value(QStringLiteral("autoUpdatesEnabled"), true).toBool(), true);
    QCOMPARE(settings.value(QStringLiteral("enableBetaUpdates"), false).toBool(), false);
    settings.setValue(QStringLiteral("crashCounter"), QStringLiteral("many"));
    QCOMPARE(settings.value(QStringLiteral("crashCounter")).toInt(), 0);
}

void TestCore::globalSettingsAccessors()
{
    GlobalSettings settings;
    QCOMPARE(settings.customExporterPath(), QString());
    QCOMPARE(settings.lastExportName(), QString());

    settings.setCustomExporterPath(QStringLiteral("/home/me/exporters"));
    settings.setLastExportName(QStringLiteral("/home/me/out.json"));
    GlobalSettings other;
    QCOMPARE(other.customExporterPath(), QStringLiteral("/home/me/exporters"));
    QCOMPARE(other.lastExportName(), QStringLiteral("/home/me/out.json"));
    // Stored under the shared key names that other readers use.
    QCOMPARE(GSettings().value(QStringLiteral("customExporterPath")).toString(), QStringLiteral("/home/me/exporters"));
    QCOMPARE(GSettings().value(QStringLiteral("lastExportName")).toString(), QStringLiteral("/home/me/out.json"));
}

void TestCore::typeForFile_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("progId");
    QTest::newRow("lower") << "/p/level.hws" << "Hullwright.SpriteSheet";
    QTest::newRow("upper extension") << "/p/LEVEL.HWS" << "Hullwright.SpriteSheet";
    QTest::newRow("mixed") << "C:/p/level.HwS" << "Hullwright.SpriteSheet";
    QTest::newRow("second type") << "/p/colours.hwp" << "Hullwright.Palette";
    QTest::newRow("no extension") << "/p/level" << "";
    QTest::newRow("extension inside name") << "/p/level.hws.bak" << "";
    QTest::newRow("empty") << "" << "";
}

void TestCore::typeForFile()
{
    QFETCH(QString, fileName);
    QFETCH(QString, progId);
    DocumentTypeRegistry registry;
    registerSheet(registry);
    registry.registerType(QStringLiteral("Hullwright.Palette"), QStringLiteral("Palette"), QStringLiteral(".hwp"),
                          QString(), true, false, true, PaletteWindow::staticMetaObject);
    const DocumentType* type = registry.typeForFile(fileName);
    QCOMPARE(type ? type->progId : QString(), progId);
    // Without a match the default (first) type is used.
    QCOMPARE(registry.typeOrDefault(fileName)->progId,
             progId.isEmpty() ? QStringLiteral("Hullwright.SpriteSheet") : progId);
}

void TestCore::defaultTypeIsFirstRegistered()
{
    DocumentTypeRegistry registry;
    QVERIFY(!registry.defaultType());
    QVERIFY(!registry.typeOrDefault(QStringLiteral("a.hws")));
    registerSheet(registry);
    registry.registerType(QStringLiteral("Second"), QStringLiteral("Second"), QStringLiteral(".hws"), QString(),
                          true, false, true, PaletteWindow::staticMetaObject);
    QCOMPARE(registry.count(), 2);
    QCOMPARE(registry.defaultType()->progId, QStringLiteral("Hullwright.SpriteSheet"));
    // The first registered type wins when two claim an extension.
    QCOMPARE(registry.typeForFile(QStringLiteral("a.hws"))->progId, QStringLiteral("Hullwright.SpriteSheet"));
    const DocumentType* type = registry.defaultType();
    QCOMPARE(type->description, QStringLiteral("Hullwright Sheet"));
    QCOMPARE(type->extension, QStringLiteral(".hws"));
    QCOMPARE(type->iconName, QStringLiteral("HWS.ico"));
    QVERIFY(type->openable);
    QVERIFY(type->saveable);
    QCOMPARE(type->windowClass.className(), "SheetWindow");
}

void TestCore::canOpenComparesWindowClass()
{
    DocumentTypeRegistry registry;
    registerSheet(registry);
    registry.registerType(QStringLiteral("Hullwright.Palette"), QStringLiteral("Palette"), QStringLiteral(".hwp"),
                          QString(), true, false, true, PaletteWindow::staticMetaObject);
    SheetWindow sheet;
    PaletteWindow palette;
    QVERIFY(registry.canOpen(&sheet, QStringLiteral("a.hws")));
    QVERIFY(!registry.canOpen(&palette, QStringLiteral("a.hws")));
    QVERIFY(registry.canOpen(&palette, QStringLiteral("a.HWP")));
    // An unknown extension counts as the default type.
    QVERIFY(registry.canOpen(&sheet, QStringLiteral("a.png")));
    QVERIFY(!registry.canOpen(&palette, QStringLiteral("a.png")));
    QVERIFY(!registry.canOpen(nullptr, QStringLiteral("a.hws")));
}

void TestCore::filtersWithOneType()
{
    DocumentTypeRegistry registry;
    registerSheet(registry);
    SheetWindow sheet;
    const QString expected = QStringLiteral("All known types (*.hws);;Hullwright Sheet (*.hws)");
    QCOMPARE(registry.openFilter(), expected);
    QCOMPARE(registry.saveFilter(&sheet), expected);
}

void TestCore::filtersFollowFlagsAndWindowClass()
{
    DocumentTypeRegistry registry;
    registerSheet(registry);
    registry.registerType(QStringLiteral("Hullwright.Palette"), QStringLiteral("Palette"), QStringLiteral(".hwp"),
                          QString(), true, false, true, PaletteWindow::staticMetaObject);
    registry.registerType(QStringLiteral("Hullwright.Legacy"), QStringLiteral("Old sheet"), QStringLiteral(".hwo"),
                          QString(), true, false, false, SheetWindow::staticMetaObject);
    registry.registerType(QStringLiteral("Hullwright.Export"), QStringLiteral("Export only"), QStringLiteral(".hwx"),
                          QString(), false, false, true, SheetWindow::staticMetaObject);
    SheetWindow sheet;
    PaletteWindow palette;
    QCOMPARE(registry.openFilter(),
             QStringLiteral("All known types (*.hws *.hwp *.hwo);;Hullwright Sheet (*.hws);;Palette (*.hwp);;"
                            "Old sheet (*.hwo)"));
    QCOMPARE(registry.saveFilter(&sheet),
             QStringLiteral("All known types (*.hws *.hwx);;Hullwright Sheet (*.hws);;Export only (*.hwx)"));
    QCOMPARE(registry.saveFilter(&palette), QStringLiteral("All known types (*.hwp);;Palette (*.hwp)"));
}

void TestCore::registerWithShellAsksTheAddons()
{
    QList<Registration> log;
    {
        GApplicationAddons addons(std::make_unique<RecordingAddonsImpl>(&log));
        QCOMPARE(GApplicationAddons::instance(), &addons);
        DocumentTypeRegistry registry;
        registerSheet(registry, false);
        QVERIFY(log.isEmpty());
        registerSheet(registry, true);
    }
    QVERIFY(!GApplicationAddons::instance());
    QCOMPARE(log.size(), 1);
    const Registration& r = log.first();
    QCOMPARE(r.progId, QStringLiteral("Hullwright.SpriteSheet"));
    QCOMPARE(r.description, QStringLiteral("Hullwright Sheet"));
    QCOMPARE(r.extension, QStringLiteral(".hws"));
    QCOMPARE(r.iconName, QStringLiteral("HWS.ico"));
    QCOMPARE(r.iconIndex, 0);
    QCOMPARE(r.useDde, true);
    QCOMPARE(r.shellCommands, 1);

    // Without an application object there is nobody to register with.
    DocumentTypeRegistry registry;
    registerSheet(registry, true);
    QCOMPARE(log.size(), 1);
}

void TestCore::osReleasePrettyName_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QString>("name");
    QTest::newRow("debian") << QByteArray("PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nNAME=\"Debian\"\n")
                            << "Debian GNU/Linux 12 (bookworm)";
    QTest::newRow("unquoted") << QByteArray("ID=arch\nPRETTY_NAME=Arch Linux\n") << "Arch Linux";
    QTest::newRow("single quotes") << QByteArray("PRETTY_NAME='Fedora 40'") << "Fedora 40";
    QTest::newRow("escaped quote") << QByteArray("PRETTY_NAME=\"My \\\"Linux\\\"\"") << "My \"Linux\"";
    QTest::newRow("indented, CRLF") << QByteArray("  PRETTY_NAME=\"Mint 22\"\r\n") << "Mint 22";
    QTest::newRow("missing") << QByteArray("NAME=Debian\n") << "";
    QTest::newRow("lonely quote") << QByteArray("PRETTY_NAME=\"") << "\"";
    QTest::newRow("empty") << QByteArray() << "";
}

void TestCore::osReleasePrettyName()
{
    QFETCH(QByteArray, contents);
    QFETCH(QString, name);
    QCOMPARE(SystemInquiry::prettyNameFromOsRelease(contents), name);
}

void TestCore::systemInquiryNamesLinux()
{
    const SystemInquiry& inquiry = SystemInquiry::instance();
    QCOMPARE(&SystemInquiry::instance(), &inquiry);
    QCOMPARE(inquiry.osName(), QStringLiteral("Linux"));
    const QString version = inquiry.osVersion();
    QVERIFY2(version.endsWith(QLatin1String(" (64)")) || version.endsWith(QLatin1String(" (32)")), qPrintable(version));
    QVERIFY(version.size() > 5);
    QVERIFY(inquiry.mailAddresses().isEmpty());
}

void TestCore::reporterFallsBackToStandardError()
{
    QVERIFY(!Reporter::isInstalled());
    Reporter& fallback = Reporter::current();
    {
        RecordingReporter recorder;
        QVERIFY(Reporter::isInstalled());
        Reporter::current().report(Reporter::Warning, QStringLiteral("Error"), QStringLiteral("text"));
        QCOMPARE(recorder.entries.size(), 1);
        QCOMPARE(recorder.entries.first().title, QStringLiteral("Error"));
        QCOMPARE(recorder.entries.first().severity, Reporter::Warning);
    }
    QCOMPARE(&Reporter::current(), &fallback);
}

int main(int argc, char** argv)
{
    TestSupport::isolateSettings();
    QCoreApplication app(argc, argv);
    app.setOrganizationName(QStringLiteral("hullwright.org"));
    app.setApplicationName(QStringLiteral("tst_core"));
    TestCore test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_core.moc"
