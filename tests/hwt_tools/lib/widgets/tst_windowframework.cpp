#include "documenttyperegistry.h"
#include "gaction.h"
#include "gapplication.h"
#include "gbiteditor.h"
#include "gmainwindow.h"
#include "grecentfileprovider.h"
#include "gsettings.h"
#include "testsupport.h"

#include <QtTest>
#include <QtWidgets>

namespace {

// What the document windows of this test do, set by each test case.
struct Script
{
    bool loadSucceeds = true, saveSucceeds = true;
    QStringList loaded, saved;
} script;

class SheetWindow : public GMainWindow
{
    Q_OBJECT
public:
    Q_INVOKABLE SheetWindow() : GMainWindow(NewAction | OpenAction | SaveAction) {}
    bool loadFile(const QString& fileName) override
    {
        script.loaded << fileName;
        return script.loadSucceeds;
    }
    bool saveFile(const QString& fileName) override
    {
        script.saved << fileName;
        modified = modified && !script.saveSucceeds;
        return script.saveSucceeds;
    }
    bool isModified() override { return modified; }
    bool modified = false;
    int restores = 0;

protected:
    void saveCustomSettings(QSettings&) override {}
    void restoreCustomSettings(QSettings&) override { ++restores; }
};

// A second window class, for files of another type.
class PaletteWindow : public SheetWindow
{
    Q_OBJECT
public:
    Q_INVOKABLE PaletteWindow() = default;
};

QList<SheetWindow*> documentWindows()
{
    QList<SheetWindow*> windows;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* window = qobject_cast<SheetWindow*>(widget); window && window->isVisible())
            windows << window;
    }
    return windows;
}

SheetWindow* newSheet(const QString& fileName = QString())
{
    return qobject_cast<SheetWindow*>(GApplication::instance()->newFile(fileName));
}

}

class TestWindowFramework : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        TestSupport::clearSettings();
        script = Script();
    }

    void cleanup()
    {
        for (SheetWindow* window : documentWindows()) {
            window->modified = false;
            window->close();
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void openFile_data()
    {
        // The windows there before ("+" between two): none, an untitled, a modified or a palette one, or one
        // with a file; "*" asks the (last) one to take the file. "!" marks a file that fails to load. Then each window's class and file.
        QTest::addColumn<QString>("existing");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("outcome");
        QTest::newRow("no window") << "" << "/p/c.hws" << "Sheet /p/c.hws";
        QTest::newRow("untitled window") << "untitled" << "/p/c.hws" << "Sheet /p/c.hws";
        QTest::newRow("has a file") << "/p/a.hws" << "/p/c.hws" << "Sheet /p/a.hws, Sheet /p/c.hws";
        QTest::newRow("modified target") << "*modified" << "/p/c.hws" << "Sheet , Sheet /p/c.hws";
        QTest::newRow("target of another class") << "*palette" << "/p/c.hws" << "Palette , Sheet /p/c.hws";
        QTest::newRow("already open") << "/p/c.hws" << "/p/c.hws" << "Sheet /p/c.hws";
        QTest::newRow("already open beside an untitled one")
            << "untitled+/p/c.hws" << "/p/c.hws" << "Sheet , Sheet /p/c.hws";
        QTest::newRow("already open before an untitled one")
            << "/p/c.hws+untitled" << "/p/c.hws" << "Sheet , Sheet /p/c.hws";
        QTest::newRow("open in other case") << "/P/c.hws" << "/p/c.hws" << "Sheet /P/c.hws, Sheet /p/c.hws";
        QTest::newRow("unknown extension") << "" << "/p/picture.png" << "Sheet /p/picture.png";
        QTest::newRow("second type") << "untitled" << "/p/colours.HWP" << "Palette /p/colours.HWP, Sheet ";
        // The window made for a file that does not load is closed again.
        QTest::newRow("load fails") << "/p/a.hws" << "!/p/c.hws" << "Sheet /p/a.hws";
        QTest::newRow("load fails in untitled") << "untitled" << "!/p/c.hws" << "Sheet ";
    }

    void openFile()
    {
        QFETCH(QString, existing);
        QFETCH(QString, file);
        QFETCH(QString, outcome);
        script.loadSucceeds = !file.startsWith(QLatin1Char('!'));
        file.remove(QLatin1Char('!'));
        const bool asTarget = existing.startsWith(QLatin1Char('*'));
        existing.remove(QLatin1Char('*'));
        SheetWindow* window = nullptr;
        for (const QString& each : existing.split(QLatin1Char('+'), Qt::SkipEmptyParts)) {
            window = newSheet(each == QLatin1String("palette") ? "x.hwp" : "");
            if (each.startsWith(QLatin1Char('/')))
                window->setFileName(each);
            window->modified = each == QLatin1String("modified");
        }
        const QStringList recentBefore = GRecentFileProvider::recentFiles();
        // The desktop hands files over as events.
        QFileOpenEvent event(file);
        if (asTarget)
            GApplication::instance()->openFile(file, window);
        else
            QVERIFY(QCoreApplication::sendEvent(GApplication::instance(), &event));
        QStringList windows;
        int restores = 0;
        for (SheetWindow* each : documentWindows()) {
            windows << QString(each->metaObject()->className()).remove("Window") + ' ' + each->fileName();
            restores += each->restores;
        }
        windows.sort();
        QCOMPARE(windows.join(QLatin1String(", ")), outcome);
        // A file loads once, into a window whose settings are restored, and is remembered if it loaded.
        const bool loaded = !existing.split(QLatin1Char('+')).contains(file);
        QCOMPARE(script.loaded, loaded ? QStringList{file} : QStringList());
        QCOMPARE(restores, int(loaded && script.loadSucceeds));
        const QStringList remembered = loaded && script.loadSucceeds ? QStringList{file} : QStringList();
        QCOMPARE(GRecentFileProvider::recentFiles(), remembered + recentBefore);
    }

    void closeQuestion_data()
    {
        // The document's name, the answer to the question about unsaved changes (none: the document is
        // unmodified; an untitled document's Save As is then cancelled), and what happens.
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("outcome");
        QTest::newRow("unmodified") << "/p/plain.hws" << 0 << "closed, not asked, saved []";
        QTest::newRow("save") << "/p/edited.hws" << int(QMessageBox::Save) << "closed, asked, saved [/p/edited.hws]";
        QTest::newRow("save fails") << "/p/fails.hws" << int(QMessageBox::Save) << "open, asked, saved [/p/fails.hws]";
        QTest::newRow("discard") << "/p/edited.hws" << int(QMessageBox::Discard) << "closed, asked, saved []";
        QTest::newRow("cancel") << "/p/edited.hws" << int(QMessageBox::Cancel) << "open, asked, saved []";
        QTest::newRow("save untitled, cancel") << "" << int(QMessageBox::Save) << "open, asked, saved []";
    }

    void closeQuestion()
    {
        QFETCH(QString, fileName);
        QFETCH(int, answer);
        QFETCH(QString, outcome);
        script.saveSucceeds = !fileName.contains(QLatin1String("fails"));
        QPointer<SheetWindow> window = newSheet();
        if (!fileName.isEmpty())
            window->setFileName(fileName);
        window->modified = answer;
        bool asked = false;
        // Save is the default answer.
        TestSupport::ModalHandler handler([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            asked = box->standardButton(box->defaultButton()) == QMessageBox::Save;
            box->button(QMessageBox::StandardButton(answer))->click();
        });
        window->closeAction()->trigger();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(QStringLiteral("%1, %2, saved [%3]").arg(window ? "open" : "closed", asked ? "asked" : "not asked",
                                                           script.saved.join(QLatin1Char(' '))), outcome);
        // A window that stays keeps its changes; one that closes leaves its place and size behind.
        const QString geometry = QStringLiteral("windowSettings/%1/geometry").arg(GMainWindow::windowSettingsKey(fileName));
        QVERIFY(window ? window->isModified() : fileName.isEmpty() || GSettings().contains(geometry));
    }

    void bitEditorBoundsHostileInput_data()
    {
        QTest::addColumn<int>("requested");
        QTest::addColumn<int>("expected");
        QTest::newRow("negative") << -5 << 0;
        QTest::newRow("zero") << 0 << 0;
        QTest::newRow("thirty-two") << 32 << 32;
        QTest::newRow("huge") << 1000000 << 32;
    }

    void bitEditorBoundsHostileInput()
    {
        QFETCH(int, requested);
        QFETCH(int, expected);
        GBitEditor editor(requested);
        const int row = editor.addRow();
        QCOMPARE((QVector<int>{editor.bitCount(), editor.findChildren<QCheckBox*>().size(), editor.labels().size()}),
                 QVector<int>(3, expected));
        const quint32 all = expected == 32 ? 0xffffffffu : (quint32(1) << expected) - 1;
        editor.allButtonPressed(row);
        QCOMPARE(editor.value(row), all);
        editor.setValue(row, 5);
        editor.inverseButtonPressed(row);
        QCOMPARE(editor.value(row), ~quint32(5) & all);
        // A typed value reaches the row as far as the row is wide; what is not hex is 0.
        auto* hex = editor.findChild<QLineEdit*>(QStringLiteral("hex_0"));
        QList<quint32> typedValues;
        for (const char* typed : {"ffffffff", "8000000a", "zz"}) {
            QSignalSpy reported(&editor, &GBitEditor::valueChanged);
            hex->clear();
            QTest::keyClicks(hex, QLatin1String(typed));
            typedValues << reported.last().at(1).toUInt() << editor.value(row);
        }
        QCOMPARE(typedValues, (QList<quint32>{all, all, 0x8000000au & all, 0x8000000au & all, 0, 0}));
        // Bits beyond the width given from outside are neither shown nor kept.
        editor.setValue(row, 0xffffffffu);
        QCOMPARE(hex->text().toUInt(nullptr, 16), all);
        // Rows that do not exist are ignored.
        QSignalSpy spy(&editor, &GBitEditor::valueChanged);
        editor.setValue(1, 5);
        editor.setValue(-1, 5);
        editor.allButtonPressed(3);
        editor.inverseButtonPressed(-2);
        editor.bitChanged(1);
        editor.lineEditChanged(7);
        editor.setRowName(2, QStringLiteral("x"));
        QVERIFY(spy.isEmpty() && editor.value(1) == 0 && editor.rowName(2).isEmpty());
    }
};

int main(int argc, char** argv)
{
    TestSupport::isolateSettings();
    GApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    DocumentTypeRegistry::instance().registerType(QStringLiteral("Test.Sheet"), QStringLiteral("Sheet"),
                                                  QStringLiteral(".hws"), QString(), true, false, true,
                                                  SheetWindow::staticMetaObject);
    DocumentTypeRegistry::instance().registerType(QStringLiteral("Test.Palette"), QStringLiteral("Palette"),
                                                  QStringLiteral(".hwp"), QString(), true, false, true,
                                                  PaletteWindow::staticMetaObject);
    TestWindowFramework test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_windowframework.moc"
