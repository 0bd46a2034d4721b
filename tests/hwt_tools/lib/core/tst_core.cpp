#include "documenttyperegistry.h"
#include "gapplicationaddons.h"
#include "gapplicationaddonsimpl.h"
#include "globalsettings.h"
#include "gsettings.h"
#include "systeminquiry.h"
#include "testsupport.h"

#include <QtTest>

namespace {

// Two window classes whose names the registry compares.
class SheetWindow : public QObject { Q_OBJECT };
class PaletteWindow : public QObject { Q_OBJECT };

// Records what the registry asks the platform to register.
struct RecordingAddonsImpl final : GApplicationAddonsImpl
{
    explicit RecordingAddonsImpl(QStringList* log) : log(log) {}
    bool registerFileType(const QString& id, const QString& text, const QString& extension, const QString& icon,
                          int index, bool dde, int commands) override
    {
        *log << QStringLiteral("%1|%2|%3|%4|%5|%6|%7").arg(id, text, extension, icon).arg(index).arg(dde).arg(commands);
        return true;
    }
    QStringList* log;
};

// A type described by its own name, registered with the shell only if asked.
void add(DocumentTypeRegistry& registry, const char* id, const char* extension, const QMetaObject& window,
         bool openable = true, bool saveable = true, bool shell = false)
{
    registry.registerType(QLatin1String(id), QLatin1String(id), QLatin1String(extension), QStringLiteral("HWS.ico"),
                          openable, shell, saveable, window);
}

}

class TestCore : public QObject
{
    Q_OBJECT

private slots:
    void init() { TestSupport::clearSettings(); }

    void settingsAreSharedAndPersist()
    {
        GlobalSettings().setCustomExporterPath(QStringLiteral("/home/me/exporters"));
        // Read back by a fresh object, under the key name other readers use, from the isolated store.
        QCOMPARE(GlobalSettings().customExporterPath(), QStringLiteral("/home/me/exporters"));
        QCOMPARE(GSettings().value(QStringLiteral("customExporterPath")).toString(), QStringLiteral("/home/me/exporters"));
        QCOMPARE(GSettings().fileName(), QSettings().fileName());
        QVERIFY(GSettings().fileName().startsWith(QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME"))));
    }

    void typeForFile_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QString>("type");
        QTest::newRow("lower") << "/p/level.hws" << "Sheet";
        QTest::newRow("mixed case") << "C:/p/level.HwS" << "Sheet";
        QTest::newRow("second type") << "/p/colours.HWP" << "Palette";
        QTest::newRow("no extension") << "/p/level" << "";
        QTest::newRow("extension inside name") << "/p/level.hws.bak" << "";
        QTest::newRow("empty") << "" << "";
    }

    void typeForFile()
    {
        QFETCH(QString, fileName);
        QFETCH(QString, type);
        DocumentTypeRegistry registry;
        QVERIFY(!registry.defaultType() && !registry.typeOrDefault(fileName));
        add(registry, "Sheet", ".hws", SheetWindow::staticMetaObject);
        add(registry, "Palette", ".hwp", PaletteWindow::staticMetaObject);
        // A later type claiming a known extension does not take it over.
        add(registry, "Second", ".hws", PaletteWindow::staticMetaObject);
        const DocumentType* found = registry.typeForFile(fileName);
        QCOMPARE(found ? found->progId : QString(), type);
        // Without a match the default (first) type is used, and so is its window class.
        const bool palette = type == QLatin1String("Palette");
        QCOMPARE(registry.typeOrDefault(fileName)->progId, palette ? type : QStringLiteral("Sheet"));
        SheetWindow sheet;
        PaletteWindow paletteWindow;
        QCOMPARE(registry.canOpen(&sheet, fileName), !palette);
        QCOMPARE(registry.canOpen(&paletteWindow, fileName), palette);
        QVERIFY(!registry.canOpen(nullptr, fileName));
    }

    void filtersAndShellRegistration()
    {
        QStringList log;
        GApplicationAddons addons(std::make_unique<RecordingAddonsImpl>(&log));
        DocumentTypeRegistry registry;
        add(registry, "Sheet", ".hws", SheetWindow::staticMetaObject, true, true, true);
        add(registry, "Palette", ".hwp", PaletteWindow::staticMetaObject);
        add(registry, "Old", ".hwo", SheetWindow::staticMetaObject, true, false);
        add(registry, "Export", ".hwx", SheetWindow::staticMetaObject, false, true);
        SheetWindow sheet;
        PaletteWindow palette;
        QCOMPARE(registry.openFilter(),
                 QStringLiteral("All known types (*.hws *.hwp *.hwo);;Sheet (*.hws);;Palette (*.hwp);;Old (*.hwo)"));
        QCOMPARE(registry.saveFilter(&sheet),
                 QStringLiteral("All known types (*.hws *.hwx);;Sheet (*.hws);;Export (*.hwx)"));
        QCOMPARE(registry.saveFilter(&palette), QStringLiteral("All known types (*.hwp);;Palette (*.hwp)"));
        // Only the type that asks for it is registered with the shell.
        QCOMPARE(log, QStringList{QStringLiteral("Sheet|Sheet|.hws|HWS.ico|0|1|1")});
    }

    void osReleasePrettyName_data()
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

    void osReleasePrettyName()
    {
        QFETCH(QByteArray, contents);
        QFETCH(QString, name);
        QCOMPARE(SystemInquiry::prettyNameFromOsRelease(contents), name);
    }
};

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
