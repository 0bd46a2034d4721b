// The body list, the image details, the exporter selector and the preferences,
// each driven through its widgets.
#include "element.h"
#include "elementlist.h"
#include "elementlistmodel.h"
#include "exportsettings.h"
#include "globalsettings.h"
#include "imagedetails.h"
#include "preferences.h"
#include "testsupport.h"
#include "uitestsupport.h"
#include "updateoptions.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QListView>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUndoStack>
#include <QtTest>

using UiTest::ExporterSpec;

class PanelsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qRegisterMetaType<Exporter*>(); }
    void init();
    void cleanup();

    void filterMatchesWholeNamesWithWildcards_data();
    void filterMatchesWholeNamesWithWildcards();
    void listIsSortedCaseInsensitively();
    void settingTheDocumentSelectsTheFirstBodyShown();
    void cloneAndDeleteThroughTheButtons();
    void addingSpritesRemembersTheLastImport();
    void cancellingTheSpriteDialogAddsNothing();

    void anchorPointFollowsTheExporterYAxis();
    void anchorSpinBoxRanges();
    void finishedAnchorEditIsOneUndoableStep();
    void selectingABodyNeverChangesIt();
    void panelIsDisabledWithoutABody();
    void anchorGroupFollowsTheExporter();

    void exportersAreListedByNameShowingDisplayNames();
    void newDocumentGetsTheCurrentExporter();
    void documentWithAnUninstalledExporterIsReported();
    void activatingAnExporterGivesItToTheDocument();
    void noExporterInstalledAnnouncesNone();

    void preferencesStoreEveryChange();
    void cancelledDirectoryChooserChangesNothing();

private:
    QStringList shownNames(ElementList& list) const;
    Element* addBody(ElementListModel& document, const QString& name, int width = 20, int height = 10);

    std::unique_ptr<QTemporaryDir> m_dir;
    Exporter* m_up = nullptr;
    Exporter* m_down = nullptr;
};

void PanelsTest::init()
{
    TestSupport::clearSettings();
    m_dir = std::make_unique<QTemporaryDir>();
    ExporterRegistry::instance().clear();
    ExporterSpec up;
    up.name = QStringLiteral("up");
    m_up = UiTest::registerExporter(QDir(m_dir->path()), up);
    ExporterSpec down;
    down.name = QStringLiteral("down");
    down.yAxis = QStringLiteral("down");
    m_down = UiTest::registerExporter(QDir(m_dir->path()), down);
}

void PanelsTest::cleanup()
{
    ExporterRegistry::instance().clear();
    m_dir.reset();
}

QStringList PanelsTest::shownNames(ElementList& list) const
{
    auto* view = list.findChild<QListView*>(QStringLiteral("elementList"));
    QStringList names;
    for (int row = 0; row < view->model()->rowCount(); ++row)
        names << view->model()->index(row, 0).data().toString();
    return names;
}

Element* PanelsTest::addBody(ElementListModel& document, const QString& name, int width, int height)
{
    const QString image = UiTest::makeImage(QDir(m_dir->path()), name + QStringLiteral(".png"), width, height);
    return document.addFile(image);
}

void PanelsTest::filterMatchesWholeNamesWithWildcards_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QStringList>("shown");
    QTest::newRow("empty shows all") << QString() << QStringList{"boat", "ship", "Ship2", "shipyard"};
    QTest::newRow("plain name is exact") << "ship" << QStringList{"ship"};
    QTest::newRow("case is ignored") << "SHIP" << QStringList{"ship"};
    QTest::newRow("star") << "ship*" << QStringList{"ship", "Ship2", "shipyard"};
    QTest::newRow("question mark") << "?oat" << QStringList{"boat"};
    QTest::newRow("bracket set") << "[bs]*" << QStringList{"boat", "ship", "Ship2", "shipyard"};
    QTest::newRow("negated set") << "[!s]*" << QStringList{"boat"};
    QTest::newRow("escaped star is literal") << "ship\\*" << QStringList{};
    QTest::newRow("no match") << "car" << QStringList{};
    QTest::newRow("regex characters are literal") << "ship.*" << QStringList{};
}

void PanelsTest::filterMatchesWholeNamesWithWildcards()
{
    QFETCH(QString, filter);
    QFETCH(QStringList, shown);
    ElementListModel document;
    document.setExporter(m_up);
    for (const char* name : {"ship", "Ship2", "shipyard", "boat"})
        addBody(document, QLatin1String(name));
    ElementList list;
    list.setModel(&document);
    auto* line = list.findChild<QLineEdit*>(QStringLiteral("filterLineEdit"));
    QTest::keyClicks(line, filter);
    QCOMPARE(shownNames(list), shown);
    line->clear();
    QCOMPARE(shownNames(list).size(), 4);
}

void PanelsTest::listIsSortedCaseInsensitively()
{
    ElementListModel document;
    document.setExporter(m_up);
    addBody(document, QStringLiteral("b"));
    addBody(document, QStringLiteral("a"));
    addBody(document, QStringLiteral("C"));
    ElementList list;
    list.setModel(&document);
    QCOMPARE(shownNames(list), (QStringList{"a", "b", "C"}));
    // A body renamed in place moves to its new place.
    document.element(0)->setName(QStringLiteral("z"));
    QCOMPARE(shownNames(list), (QStringList{"a", "C", "z"}));
}

void PanelsTest::settingTheDocumentSelectsTheFirstBodyShown()
{
    ElementListModel document;
    document.setExporter(m_up);
    addBody(document, QStringLiteral("b"));
    Element* a = addBody(document, QStringLiteral("a"));
    ElementList list;
    QSignalSpy selected(&list, &ElementList::didSelectElement);
    list.setModel(&document);
    QCOMPARE(selected.count(), 1);
    QCOMPARE(selected.first().first().value<Element*>(), a);
    QCOMPARE(list.currentElement(), a);

    ElementListModel empty;
    selected.clear();
    list.setModel(&empty);
    QCOMPARE(selected.count(), 1);
    QCOMPARE(selected.first().first().value<Element*>(), static_cast<Element*>(nullptr));
}

void PanelsTest::cloneAndDeleteThroughTheButtons()
{
    ElementListModel document;
    document.setExporter(m_up);
    addBody(document, QStringLiteral("tank"));
    ElementList list;
    list.setModel(&document);
    document.undoStack()->clear();

    QSignalSpy selected(&list, &ElementList::didSelectElement);
    QTest::mouseClick(list.findChild<QAbstractButton*>(QStringLiteral("cloneElement")), Qt::LeftButton);
    QCOMPARE(document.elementCount(), 2);
    QCOMPARE(document.undoStack()->count(), 1);
    QCOMPARE(document.undoStack()->text(0), QStringLiteral("clone body"));
    QCOMPARE(shownNames(list), (QStringList{"tank", "tank (2)"}));

    QTest::mouseClick(list.findChild<QAbstractButton*>(QStringLiteral("deleteElement")), Qt::LeftButton);
    QCOMPARE(document.elementCount(), 1);
    QCOMPARE(document.undoStack()->text(1), QStringLiteral("delete body"));
    // The list announces whichever body became current, and never a deleted one.
    QVERIFY(!selected.isEmpty());
    QCOMPARE(selected.last().first().value<Element*>(), document.element(0));

    QTest::mouseClick(list.findChild<QAbstractButton*>(QStringLiteral("deleteElement")), Qt::LeftButton);
    QCOMPARE(document.elementCount(), 0);
    QCOMPARE(selected.last().first().value<Element*>(), static_cast<Element*>(nullptr));
    // Nothing selected: the buttons do nothing.
    QTest::mouseClick(list.findChild<QAbstractButton*>(QStringLiteral("cloneElement")), Qt::LeftButton);
    QCOMPARE(document.undoStack()->count(), 3);

    document.undoStack()->undo();
    document.undoStack()->undo();
    QCOMPARE(shownNames(list), (QStringList{"tank", "tank (2)"}));
}

void PanelsTest::addingSpritesRemembersTheLastImport()
{
    const QString image = UiTest::makeImage(QDir(m_dir->path()), QStringLiteral("sprites/hero.png"));
    ElementListModel document;
    document.setExporter(m_up);
    ElementList list;
    list.setModel(&document);
    QString title;
    TestSupport::ModalHandler handler([&](QWidget* dialog) {
        title = dialog->windowTitle();
        TestSupport::chooseFile(dialog, image);
    });
    QTest::mouseClick(list.findChild<QAbstractButton*>(QStringLiteral("openSprite")), Qt::LeftButton);
    QVERIFY(handler.handled());
    QCOMPARE(title, QStringLiteral("Open Image"));
    QCOMPARE(shownNames(list), QStringList{"hero"});
    QCOMPARE(document.undoStack()->text(0), QStringLiteral("Add file"));
    QCOMPARE(GSettings().value(QStringLiteral("main/lastImportFileName")).toString(), image);
}

void PanelsTest::cancellingTheSpriteDialogAddsNothing()
{
    ElementListModel document;
    document.setExporter(m_up);
    ElementList list;
    list.setModel(&document);
    TestSupport::ModalHandler handler([](QWidget* dialog) { static_cast<QDialog*>(dialog)->reject(); });
    QTest::mouseClick(list.findChild<QAbstractButton*>(QStringLiteral("openSprite")), Qt::LeftButton);
    QVERIFY(handler.handled());
    QCOMPARE(document.elementCount(), 0);
    QVERIFY(!GSettings().contains(QStringLiteral("main/lastImportFileName")));
}

namespace {
struct AnchorFields
{
    explicit AnchorFields(QWidget& panel)
        : absX(panel.findChild<QDoubleSpinBox*>(QStringLiteral("anchorAbsX"))),
          absY(panel.findChild<QDoubleSpinBox*>(QStringLiteral("anchorAbsY"))),
          relX(panel.findChild<QDoubleSpinBox*>(QStringLiteral("anchorRelX"))),
          relY(panel.findChild<QDoubleSpinBox*>(QStringLiteral("anchorRelY")))
    {
    }
    QPointF pixels() const { return {absX->value(), absY->value()}; }
    QPointF relative() const { return {relX->value(), relY->value()}; }
    QDoubleSpinBox* absX;
    QDoubleSpinBox* absY;
    QDoubleSpinBox* relX;
    QDoubleSpinBox* relY;
};
}

void PanelsTest::anchorPointFollowsTheExporterYAxis()
{
    ElementListModel document;
    document.setExporter(m_down);
    Element* body = addBody(document, QStringLiteral("crate"), 100, 50);
    body->setAnchorPointAbsDirect(QPointF(0, 0));  // bottom-left in body coordinates
    ImageDetails panel;
    panel.setElement(body);
    panel.exporterChanged(m_down);
    AnchorFields fields(panel);
    QCOMPARE(fields.pixels(), QPointF(0, 50));
    QCOMPARE(fields.relative(), QPointF(0, 1));

    document.setExporter(m_up);
    panel.exporterChanged(m_up);
    QCOMPARE(fields.pixels(), QPointF(0, 0));
    QCOMPARE(fields.relative(), QPointF(0, 0));

    // The fields follow the body when it moves its anchor point.
    body->setAnchorPointAbsDirect(QPointF(25, 10));
    QCOMPARE(fields.pixels(), QPointF(25, 10));
    QCOMPARE(fields.relative(), QPointF(0.25, 0.2));
    QCOMPARE(panel.findChild<QLineEdit*>(QStringLiteral("width"))->text(), QStringLiteral("100"));
    QCOMPARE(panel.findChild<QLineEdit*>(QStringLiteral("height"))->text(), QStringLiteral("50"));
}

void PanelsTest::anchorSpinBoxRanges()
{
    ImageDetails panel;
    AnchorFields fields(panel);
    fields.absX->setValue(5e9);
    QCOMPARE(fields.absX->value(), 999999.0);
    fields.absY->setValue(5e9);
    QCOMPARE(fields.absY->value(), 1e9);
    fields.absY->setValue(-5e9);
    QCOMPARE(fields.absY->value(), -1e9);
    QCOMPARE(fields.absX->decimals(), 2);
    QCOMPARE(fields.relX->decimals(), 8);
    QCOMPARE(fields.relY->maximum(), 1e9);
}

void PanelsTest::finishedAnchorEditIsOneUndoableStep()
{
    ElementListModel document;
    document.setExporter(m_up);
    Element* body = addBody(document, QStringLiteral("crate"), 100, 50);
    body->setAnchorPointAbsDirect(QPointF(10, 20));
    document.undoStack()->clear();
    ImageDetails panel;
    panel.setElement(body);
    panel.exporterChanged(m_up);
    panel.show();
    AnchorFields fields(panel);

    fields.absX->setFocus();
    fields.absX->selectAll();
    QTest::keyClicks(fields.absX, QStringLiteral("42"));
    // The body follows every keystroke without recording anything.
    QCOMPARE(body->anchorPointAbs(), QPointF(42, 20));
    QCOMPARE(document.undoStack()->count(), 0);
    QTest::keyClick(fields.absX, Qt::Key_Return);
    QCOMPARE(document.undoStack()->count(), 1);
    QCOMPARE(document.undoStack()->text(0), QStringLiteral("move anchorpoint"));

    document.undoStack()->undo();
    QCOMPARE(body->anchorPointAbs(), QPointF(10, 20));
    QCOMPARE(fields.pixels(), QPointF(10, 20));
    document.undoStack()->redo();
    QCOMPARE(body->anchorPointAbs(), QPointF(42, 20));

    // A relative edit is scaled by the image size.
    fields.relY->setFocus();
    fields.relY->selectAll();
    QTest::keyClicks(fields.relY, QStringLiteral("0.5"));
    QTest::keyClick(fields.relY, Qt::Key_Return);
    QCOMPARE(body->anchorPointAbs(), QPointF(42, 25));
    QCOMPARE(document.undoStack()->count(), 2);
    // Finishing without a change records nothing.
    QTest::keyClick(fields.relY, Qt::Key_Return);
    QCOMPARE(document.undoStack()->count(), 2);
}

void PanelsTest::selectingABodyNeverChangesIt()
{
    ElementListModel document;
    document.setExporter(m_up);
    Element* body = addBody(document, QStringLiteral("walk_1"));
    body->addImageFileName(UiTest::makeImage(QDir(m_dir->path()), QStringLiteral("walk_2.png")));
    body->setCurrentImage(body->imageFileNames().last());
    Element* other = addBody(document, QStringLiteral("other"));
    document.undoStack()->clear();
    document.setModified(false);
    const QString shown = body->currentImageName();

    ImageDetails panel;
    panel.setElement(body);
    panel.setElement(other);
    panel.setElement(body);
    auto* combo = panel.findChild<QComboBox*>(QStringLiteral("imageFileNameComboBox"));
    QCOMPARE(combo->count(), 2);
    QCOMPARE(combo->currentText(), shown);
    QCOMPARE(body->currentImageName(), shown);
    QCOMPARE(document.undoStack()->count(), 0);
    QVERIFY(!document.isModified());

    // Choosing another file is an edit.
    combo->setCurrentIndex(0);
    QCOMPARE(body->currentImageName(), body->imageFileNames().first());
    QCOMPARE(document.undoStack()->count(), 1);
}

void PanelsTest::panelIsDisabledWithoutABody()
{
    ElementListModel document;
    document.setExporter(m_up);
    Element* body = addBody(document, QStringLiteral("crate"));
    ImageDetails panel;
    panel.setElement(nullptr);
    QVERIFY(!panel.isEnabled());
    panel.setElement(body);
    QVERIFY(panel.isEnabled());
    panel.setElement(nullptr);
    QVERIFY(!panel.isEnabled());
}

void PanelsTest::anchorGroupFollowsTheExporter()
{
    ExporterSpec fixed;
    fixed.name = QStringLiteral("fixed");
    fixed.anchorPointEnabled = false;
    Exporter* noAnchor = UiTest::registerExporter(QDir(m_dir->path()), fixed);
    ImageDetails panel;
    panel.show();
    auto* group = panel.findChild<QGroupBox*>(QStringLiteral("anchorPointsGroup"));
    panel.exporterChanged(noAnchor);
    QVERIFY(!group->isVisible());
    panel.exporterChanged(m_up);
    QVERIFY(group->isVisible());
    panel.exporterChanged(nullptr);
    QVERIFY(!group->isVisible());
}

void PanelsTest::exportersAreListedByNameShowingDisplayNames()
{
    ExporterSpec zeta;
    zeta.name = QStringLiteral("Zeta");
    zeta.displayName = QStringLiteral("a Zeta engine");
    UiTest::registerExporter(QDir(m_dir->path()), zeta);
    ExporterSpec alpha;
    alpha.name = QStringLiteral("alpha");
    alpha.displayName = QStringLiteral("Z alpha engine");
    UiTest::registerExporter(QDir(m_dir->path()), alpha);

    ExportSettings settings;
    auto* combo = settings.findChild<QComboBox*>(QStringLiteral("expoterComboBox"));
    QStringList names, texts;
    for (int i = 0; i < combo->count(); ++i) {
        names << combo->itemData(i).toString();
        texts << combo->itemText(i);
    }
    QCOMPARE(names, (QStringList{"Zeta", "alpha", "down", "up"}));
    QCOMPARE(texts, (QStringList{"a Zeta engine", "Z alpha engine", "down display", "up display"}));
}

void PanelsTest::newDocumentGetsTheCurrentExporter()
{
    ExportSettings settings;
    QSignalSpy announced(&settings, &ExportSettings::exporterChanged);
    ElementListModel document;
    settings.setModel(&document);
    QCOMPARE(document.exporter(), m_down);  // "down" sorts first
    QVERIFY(!announced.isEmpty());
    QCOMPARE(announced.last().first().value<Exporter*>(), m_down);

    // The deferred first selection announces the same exporter again.
    announced.clear();
    QTRY_COMPARE(announced.count(), 1);
    QCOMPARE(announced.first().first().value<Exporter*>(), m_down);
}

void PanelsTest::documentWithAnUninstalledExporterIsReported()
{
    ExporterSpec gone;
    gone.name = QStringLiteral("gone");
    gone.displayName = QStringLiteral("Gone Engine");
    QTemporaryDir elsewhere;
    // Read once, then no longer installed.
    Exporter* uninstalled = UiTest::registerExporter(QDir(elsewhere.path()), gone);
    ExporterRegistry::instance().clear();
    ExporterRegistry::instance().add(m_up);
    ExporterRegistry::instance().add(m_down);

    RecordingReporter reporter;
    ElementListModel document;
    document.setExporter(uninstalled);
    ExportSettings settings;
    QSignalSpy announced(&settings, &ExportSettings::exporterChanged);
    settings.setModel(&document);
    QCOMPARE(reporter.entries.size(), 1);
    QCOMPARE(reporter.entries.first().severity, Reporter::Warning);
    QCOMPARE(reporter.entries.first().title, QStringLiteral("Unknown exporter"));
    QCOMPARE(reporter.entries.first().text,
             QStringLiteral("The exporter this file was created with gone (Gone Engine) is not available on this system!"));
    QCOMPARE(document.exporter(), uninstalled);
    QVERIFY(announced.isEmpty());
}

void PanelsTest::activatingAnExporterGivesItToTheDocument()
{
    ElementListModel document;
    document.setExporter(m_up);
    Element* body = addBody(document, QStringLiteral("crate"));
    ExportSettings settings;
    settings.setModel(&document);
    auto* combo = settings.findChild<QComboBox*>(QStringLiteral("expoterComboBox"));
    QCOMPARE(combo->currentData().toString(), QStringLiteral("up"));
    QSignalSpy announced(&settings, &ExportSettings::exporterChanged);
    settings.show();
    combo->setFocus();
    QTest::keyClick(combo, Qt::Key_Up);  // activates "down"
    QCOMPARE(document.exporter(), m_down);
    QCOMPARE(body->exporter(), m_down);
    QCOMPARE(announced.last().first().value<Exporter*>(), m_down);
}

void PanelsTest::noExporterInstalledAnnouncesNone()
{
    ExporterRegistry::instance().clear();
    RecordingReporter reporter;
    ExportSettings settings;
    QSignalSpy announced(&settings, &ExportSettings::exporterChanged);
    ElementListModel document;
    settings.setModel(&document);
    QTRY_VERIFY(announced.count() >= 2);
    for (const auto& call : announced)
        QCOMPARE(call.first().value<Exporter*>(), static_cast<Exporter*>(nullptr));
    QCOMPARE(document.exporter(), static_cast<Exporter*>(nullptr));
    QVERIFY(reporter.entries.isEmpty());
}

void PanelsTest::preferencesStoreEveryChange()
{
    GlobalSettings().setCustomExporterPath(QStringLiteral("/opt/ex"));
    UpdateOptions::setBetaUpdatesEnabled(true);
    Preferences dialog;
    auto* line = dialog.findChild<QLineEdit*>(QStringLiteral("customExporterLineEdit"));
    auto* automatic = dialog.findChild<QCheckBox*>(QStringLiteral("autoUpdatesCheckBox"));
    auto* beta = dialog.findChild<QCheckBox*>(QStringLiteral("includeBetaUpdatesCheckBox"));
    QCOMPARE(line->text(), QStringLiteral("/opt/ex"));
    QVERIFY(automatic->isChecked());
    QVERIFY(beta->isChecked());

    QTest::keyClicks(line, QStringLiteral("/a"));
    QCOMPARE(GlobalSettings().customExporterPath(), QStringLiteral("/opt/ex/a"));
    line->clear();
    QCOMPARE(GlobalSettings().customExporterPath(), QString());

    QTest::mouseClick(automatic, Qt::LeftButton);
    QVERIFY(!UpdateOptions::autoUpdatesEnabled());
    QTest::mouseClick(beta, Qt::LeftButton);
    QVERIFY(!UpdateOptions::betaUpdatesEnabled());
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Preferences"));
}

void PanelsTest::cancelledDirectoryChooserChangesNothing()
{
    GlobalSettings().setCustomExporterPath(QStringLiteral("/opt/ex"));
    Preferences dialog;
    QString title;
    TestSupport::ModalHandler handler([&](QWidget* chooser) {
        title = chooser->windowTitle();
        static_cast<QDialog*>(chooser)->reject();
    });
    QTest::mouseClick(dialog.findChild<QAbstractButton*>(QStringLiteral("customExporterButton")), Qt::LeftButton);
    QVERIFY(handler.handled());
    QCOMPARE(title, QStringLiteral("Select custom exporter base directory"));
    QCOMPARE(dialog.findChild<QLineEdit*>(QStringLiteral("customExporterLineEdit"))->text(), QStringLiteral("/opt/ex"));
    QCOMPARE(GlobalSettings().customExporterPath(), QStringLiteral("/opt/ex"));

    const QString chosen = m_dir->path();
    TestSupport::ModalHandler choose([&](QWidget* chooser) { TestSupport::chooseFile(chooser, chosen); });
    QTest::mouseClick(dialog.findChild<QAbstractButton*>(QStringLiteral("customExporterButton")), Qt::LeftButton);
    QVERIFY(choose.handled());
    QCOMPARE(GlobalSettings().customExporterPath(), chosen);
}

int main(int argc, char** argv)
{
    TestSupport::isolateSettings();
    QApplication app(argc, argv);
    PanelsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_panels.moc"
