#include "element.h"
#include "elementlistmodel.h"
#include "exporter.h"
#include "fixturepolygon.h"
#include "genericbitfield.h"
#include "genericparameter.h"
#include "genericparameterhelper.h"
#include "genericsettingsfield.h"
#include "testsupport.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QUndoStack>
#include <QtTest>

#include <memory>

namespace {

// An exporter with one parameter of every kind the panels edit.
const char* const definition = R"(<exporter>
  <name>panels</name><displayName>Panels</displayName>
  <yAxisDirection>up</yAxisDirection>
  <physicsEngine>box2d</physicsEngine>
  <origin><type>anchorpoint</type></origin>
  <global>
    <parameter><name>ptm</name><displayName>Pixels per meter</displayName><type>float</type>
      <description>Scale of the world</description><shortDescription>Scale</shortDescription><default>32</default></parameter>
    <parameter><name>title</name><displayName>Title</displayName><type>string</type><default>level</default></parameter>
  </global>
  <body>
    <parameter><name>isDynamic</name><displayName>Is dynamic</displayName><type>bool</type><default>true</default></parameter>
    <parameter><name>gravityScale</name><displayName>Gravity scale</displayName><type>float</type>
      <description>How much gravity pulls</description><shortDescription>Gravity factor</shortDescription>
      <min>0</min><max>1</max><default>0.5</default></parameter>
  </body>
  <fixture>
    <parameter><name>stray</name><displayName>Stray</displayName><type>int</type><bitfield>true</bitfield><default>3</default></parameter>
    <parameter><name>density</name><displayName>Density</displayName><type>float</type><default>2</default></parameter>
    <parameter><name>count</name><displayName>Count</displayName><type>int</type>
      <description>How many</description><shortDescription>Number</shortDescription><default>3</default></parameter>
    <parameter><name>mask</name><displayName>Mask</displayName><type>uint</type><default>7</default></parameter>
    <parameter><name>isSensor</name><displayName>Is Sensor</displayName><type>bool</type><default>false</default></parameter>
    <parameter><name>userData</name><displayName>User data</displayName><type>string</type><default>none</default></parameter>
    <parameter><name>filter</name><displayName>Filter</displayName><type>bitfield</type><size>16</size></parameter>
    <parameter><name>categoryBits</name><displayName>Category</displayName><type>uint16</type><bitfield>true</bitfield><default>1</default></parameter>
    <parameter><name>maskBits</name><displayName>Mask bits</displayName><type>uint16</type><bitfield>true</bitfield><default>65535</default></parameter>
    <parameter><name>groupIndex</name><displayName>Group</displayName><type>int</type><default>0</default></parameter>
  </fixture>
</exporter>
)";

}

class TestParameterPanel : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void rowsFollowTheParameterList();
    void tooltipsAndStatusTips_data();
    void tooltipsAndStatusTips();
    void rebuildingReplacesTheEditors();
    void changingTheProviderKeepsTheWidgets();

    void withoutProviderEverythingIsDisabled();
    void loadingPushesNothingAndChangesNothing();
    void loadingShowsStoredValuesAndDefaults();
    void checkBoxClickIsOneUndoableChange();
    void floatAcceptsValuesBeyondItsMaximum();
    void uintIsWrittenAsInt();
    void equalValuesPushNothing();
    void lineEditWritesWhenFocusLeaves();
    void documentPanelEditsGlobalValues();

    void bitFieldRowsLoadAndWrite();
    void bitFieldAllWritesAllBits();
    void bitNamesAreSharedThroughTheDocument();
    void bitFieldBeforeAnyBitFieldIsSkipped();

private:
    QWidget* editor(const QString& name) const { return m_panel->findChild<QWidget*>(name); }
    QLabel* label(const QString& name) const { return m_panel->findChild<QLabel*>(name + QLatin1String("Label")); }
    template<typename T>
    T* editorAs(const QString& name) const
    {
        auto* widget = m_panel->findChild<T*>(name);
        if (!widget)
            qWarning("no editor %s", qPrintable(name));
        return widget;
    }
    void showPanel(const QList<const GenericParameter*>& parameters, GenericDataProvider* provider);
    GenericBitField* bitField() const { return m_panel->findChild<GenericBitField*>(QStringLiteral("filter")); }

    QTemporaryDir m_dir;
    std::unique_ptr<Exporter> m_exporter;
    std::unique_ptr<ElementListModel> m_document;
    Element* m_body = nullptr;
    FixturePolygon* m_fixture = nullptr;
    FixturePolygon* m_otherFixture = nullptr;
    std::unique_ptr<GenericSettingsField> m_panel;
};

void TestParameterPanel::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QDir(m_dir.path()).mkpath(QStringLiteral("panels"));
    QFile file(m_dir.filePath(QStringLiteral("panels/exporter.xml")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(definition);
    file.close();
    m_exporter = std::make_unique<Exporter>(m_dir.filePath(QStringLiteral("panels")));
    QCOMPARE(m_exporter->fixtureParameters().size(), 10);
}

void TestParameterPanel::init()
{
    TestSupport::clearSettings();
    m_document = std::make_unique<ElementListModel>();
    m_document->setExporter(m_exporter.get());
    m_body = new Element(m_document.get(), m_exporter.get());
    m_document->appendElement(m_body);
    m_fixture = new FixturePolygon(m_body);
    m_otherFixture = new FixturePolygon(m_body);
    m_body->setFixturesDirect({m_fixture, m_otherFixture});
    m_panel = std::make_unique<GenericSettingsField>();
}

void TestParameterPanel::cleanup()
{
    m_panel.reset();
    m_document.reset();
}

void TestParameterPanel::showPanel(const QList<const GenericParameter*>& parameters, GenericDataProvider* provider)
{
    m_panel->setParameters(parameters);
    m_panel->setGenericDataProvider(provider);
    m_panel->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_panel.get()));
}

void TestParameterPanel::rowsFollowTheParameterList()
{
    m_panel->setParameters(m_exporter->fixtureParameters());
    auto* grid = qobject_cast<QGridLayout*>(m_panel->layout());
    QVERIFY(grid);

    // Every parameter except the bit field's rows (and the stray one) has a row, in list order.
    const QStringList rows = {QStringLiteral("density"), QStringLiteral("count"),    QStringLiteral("mask"),
                              QStringLiteral("isSensor"), QStringLiteral("userData"), QStringLiteral("filter"),
                              QStringLiteral("groupIndex")};
    QCOMPARE(m_panel->editors().size(), rows.size());
    for (int row = 0; row < rows.size(); ++row) {
        const QString name = rows.at(row);
        QCOMPARE(m_panel->editors().at(row)->parameter()->name(), name);
        QWidget* widget = editor(name);
        QVERIFY2(widget, qPrintable(name));
        int r, column, rowSpan, columnSpan;
        grid->getItemPosition(grid->indexOf(widget), &r, &column, &rowSpan, &columnSpan);
        QCOMPARE(r, row);
        if (name == QLatin1String("filter")) {
            QCOMPARE(column, 0);
            QCOMPARE(columnSpan, 2);
            QVERIFY(!label(name));
            continue;
        }
        QCOMPARE(column, 1);
        QLabel* rowLabel = label(name);
        QVERIFY(rowLabel);
        QCOMPARE(rowLabel->text(), m_panel->editors().at(row)->parameter()->displayName());
        QVERIFY(!rowLabel->text().isEmpty());
        QCOMPARE(rowLabel->buddy(), widget);
        QCOMPARE(grid->itemAtPosition(row, 0)->widget(), rowLabel);
        QCOMPARE(rowLabel->sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
        QCOMPARE(rowLabel->sizePolicy().verticalPolicy(), QSizePolicy::Fixed);
        QCOMPARE(widget->sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
        QCOMPARE(widget->sizePolicy().verticalPolicy(), QSizePolicy::Fixed);
    }
    QCOMPARE(m_panel->labels().size(), rows.size() - 1);

    // One editor per type.
    QVERIFY(qobject_cast<QDoubleSpinBox*>(editor(QStringLiteral("density"))));
    QVERIFY(qobject_cast<QSpinBox*>(editor(QStringLiteral("count"))));
    QVERIFY(qobject_cast<QSpinBox*>(editor(QStringLiteral("mask"))));
    QVERIFY(qobject_cast<QCheckBox*>(editor(QStringLiteral("isSensor"))));
    QVERIFY(qobject_cast<QLineEdit*>(editor(QStringLiteral("userData"))));
    QCOMPARE(bitField()->rowCount(), 2);
    QCOMPARE(bitField()->bitCount(), 16);
    QCOMPARE(bitField()->rowName(0), QStringLiteral("Category"));
    QCOMPARE(bitField()->rowName(1), QStringLiteral("Mask bits"));
    // Until a provider is set, the rows show the defaults.
    QCOMPARE(bitField()->value(0), quint32(1));
    QCOMPARE(bitField()->value(1), quint32(0xffff));
}

void TestParameterPanel::tooltipsAndStatusTips_data()
{
    QTest::addColumn<QString>("level");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("toolTip");
    QTest::addColumn<QString>("statusTip");
    QTest::newRow("float with min and max")
        << "body" << "gravityScale"
        << "<h2>Gravity scale</h2>How much gravity pulls<br/><br/>Default: 0.5 Min: 0 Max: 1"
        << "Gravity factor";
    QTest::newRow("int without min and max")
        << "fixture" << "count" << "<h2>Count</h2>How many<br/><br/>Default: 3 Min: 0 Max: 0" << "Number";
    QTest::newRow("float without min and max")
        << "global" << "ptm" << "<h2>Pixels per meter</h2>Scale of the world<br/><br/>Default: 32" << "Scale";
    QTest::newRow("bool") << "fixture" << "isSensor" << "<h2>Is Sensor</h2><br/><br/>Default: false" << "";
    QTest::newRow("string") << "global" << "title" << "<h2>Title</h2><br/><br/>Default: level" << "";
}

void TestParameterPanel::tooltipsAndStatusTips()
{
    QFETCH(QString, level);
    QFETCH(QString, name);
    QFETCH(QString, toolTip);
    QFETCH(QString, statusTip);
    m_panel->setParameters(level == QLatin1String("global") ? m_exporter->globalParameters()
                           : level == QLatin1String("body") ? m_exporter->bodyParameters()
                                                            : m_exporter->fixtureParameters());
    QWidget* widget = editor(name);
    QVERIFY(widget);
    QCOMPARE(widget->toolTip(), toolTip);
    QCOMPARE(label(name)->toolTip(), toolTip);
    QCOMPARE(widget->statusTip(), statusTip);
    QCOMPARE(label(name)->statusTip(), statusTip);
}

void TestParameterPanel::rebuildingReplacesTheEditors()
{
    m_panel->setParameters(m_exporter->fixtureParameters());
    m_panel->setGenericDataProvider(m_fixture);
    const QPointer<QWidget> oldEditor = editor(QStringLiteral("density"));
    const QPointer<QLabel> oldLabel = label(QStringLiteral("density"));
    QVERIFY(oldEditor && oldLabel);

    // The same list again rebuilds too; new editors start disabled.
    m_panel->setParameters(m_exporter->fixtureParameters());
    QVERIFY(!oldEditor);
    QVERIFY(!oldLabel);
    QVERIFY(editor(QStringLiteral("density")));
    QVERIFY(!editor(QStringLiteral("density"))->isEnabled());
    QCOMPARE(m_panel->findChildren<GenericBitField*>().size(), 1);
    QCOMPARE(m_panel->findChildren<QLabel*>(QRegularExpression(QStringLiteral("Label$"))).size(), 6);

    m_panel->setParameters(m_exporter->bodyParameters());
    QCOMPARE(m_panel->editors().size(), 2);
    QVERIFY(!editor(QStringLiteral("density")));
    QVERIFY(!bitField());
    QCOMPARE(m_panel->layout()->count(), 4);

    m_panel->setParameters({});
    QCOMPARE(m_panel->editors().size(), 0);
    QCOMPARE(m_panel->layout()->count(), 0);
    m_panel->setGenericDataProvider(m_fixture);
    m_panel->refreshData();
}

void TestParameterPanel::changingTheProviderKeepsTheWidgets()
{
    m_panel->setParameters(m_exporter->fixtureParameters());
    const QList<QWidget*> before = m_panel->findChildren<QWidget*>();
    QList<QPointer<QWidget>> watched;
    for (QWidget* widget : before)
        watched.append(widget);

    m_panel->setGenericDataProvider(m_fixture);
    m_panel->setGenericDataProvider(m_otherFixture);
    m_panel->setGenericDataProvider(nullptr);
    m_panel->setGenericDataProvider(m_fixture);
    for (const QPointer<QWidget>& widget : qAsConst(watched))
        QVERIFY(widget);
    QCOMPARE(m_panel->findChildren<QWidget*>().size(), before.size());
}

void TestParameterPanel::withoutProviderEverythingIsDisabled()
{
    m_panel->setParameters(m_exporter->fixtureParameters());
    const auto allEnabled = [this](bool enabled) {
        for (GenericParameterHelper* helper : m_panel->editors()) {
            auto* widget = dynamic_cast<QWidget*>(helper);
            if (!widget || widget->isEnabled() != enabled)
                return false;
            if (helper->label() && helper->label()->isEnabled() != enabled)
                return false;
        }
        for (QLabel* rowLabel : m_panel->labels()) {
            if (rowLabel->isEnabled() != enabled)
                return false;
        }
        return true;
    };
    QVERIFY(allEnabled(false));
    m_panel->setGenericDataProvider(m_fixture);
    QVERIFY(allEnabled(true));
    QCOMPARE(m_panel->genericDataProvider(), m_fixture);
    m_panel->setGenericDataProvider(nullptr);
    QVERIFY(allEnabled(false));

    // Without a provider the editors write nowhere.
    auto* check = editorAs<QCheckBox>(QStringLiteral("isSensor"));
    check->setChecked(true);
    editorAs<QDoubleSpinBox>(QStringLiteral("density"))->setValue(9);
    bitField()->allButtonPressed(0);
    QCOMPARE(m_document->undoStack()->count(), 0);
    QVERIFY(!m_fixture->hasValue(QStringLiteral("isSensor")));
    QVERIFY(!m_fixture->hasValue(QStringLiteral("density")));
}

void TestParameterPanel::loadingPushesNothingAndChangesNothing()
{
    m_fixture->setValueDirect(QStringLiteral("density"), 0.123);
    m_fixture->setValueDirect(QStringLiteral("count"), 11);
    const QHash<QString, QVariant> stored = m_fixture->values();
    const QHash<QString, QVariant> otherStored = m_otherFixture->values();
    m_panel->setParameters(m_exporter->fixtureParameters());
    m_panel->setGenericDataProvider(m_fixture);
    m_panel->setGenericDataProvider(m_otherFixture);
    m_panel->setGenericDataProvider(m_fixture);
    m_panel->refreshData();

    QCOMPARE(m_document->undoStack()->count(), 0);
    QVERIFY(!m_document->isModified());
    QVERIFY(m_fixture->isUndoEnabled());
    QVERIFY(m_otherFixture->isUndoEnabled());
    // Showing a value neither rounds it to the spin box's decimals nor stores defaults.
    QCOMPARE(m_fixture->values(), stored);
    QCOMPARE(m_fixture->value(QStringLiteral("density")).toDouble(), 0.123);
    QCOMPARE(m_otherFixture->values(), otherStored);
    QVERIFY(!m_otherFixture->hasValue(QStringLiteral("density")));
    QVERIFY(!m_document->hasValue(QStringLiteral("filter")));

    // A provider whose recording was off (a document being read) keeps it off.
    m_otherFixture->setUndoEnabled(false);
    m_panel->setGenericDataProvider(m_otherFixture);
    QVERIFY(!m_otherFixture->isUndoEnabled());
}

void TestParameterPanel::loadingShowsStoredValuesAndDefaults()
{
    m_fixture->setValueDirect(QStringLiteral("density"), 4.25);
    m_fixture->setValueDirect(QStringLiteral("isSensor"), true);
    m_fixture->setValueDirect(QStringLiteral("userData"), QStringLiteral("crate"));
    m_fixture->setValueDirect(QStringLiteral("mask"), 12u);
    m_panel->setParameters(m_exporter->fixtureParameters());
    m_panel->setGenericDataProvider(m_fixture);
    QCOMPARE(editorAs<QDoubleSpinBox>(QStringLiteral("density"))->value(), 4.25);
    QVERIFY(editorAs<QCheckBox>(QStringLiteral("isSensor"))->isChecked());
    QCOMPARE(editorAs<QLineEdit>(QStringLiteral("userData"))->text(), QStringLiteral("crate"));
    QCOMPARE(editorAs<QSpinBox>(QStringLiteral("mask"))->value(), 12);
    QCOMPARE(editorAs<QSpinBox>(QStringLiteral("count"))->value(), 3);

    // The other fixture has nothing stored: the exporter's defaults.
    m_panel->setGenericDataProvider(m_otherFixture);
    QCOMPARE(editorAs<QDoubleSpinBox>(QStringLiteral("density"))->value(), 2.0);
    QVERIFY(!editorAs<QCheckBox>(QStringLiteral("isSensor"))->isChecked());
    QCOMPARE(editorAs<QLineEdit>(QStringLiteral("userData"))->text(), QStringLiteral("none"));
    QCOMPARE(editorAs<QSpinBox>(QStringLiteral("mask"))->value(), 7);
}

void TestParameterPanel::checkBoxClickIsOneUndoableChange()
{
    showPanel(m_exporter->fixtureParameters(), m_fixture);
    auto* check = editorAs<QCheckBox>(QStringLiteral("isSensor"));
    TestSupport::clickCheckBox(check);
    QVERIFY(check->isChecked());

    QUndoStack* stack = m_document->undoStack();
    QCOMPARE(stack->count(), 1);
    QCOMPARE(stack->text(0), QStringLiteral("value change (isSensor)"));
    QVERIFY(m_document->isModified());
    QCOMPARE(m_fixture->value(QStringLiteral("isSensor")), QVariant(true));
    QVERIFY(!m_otherFixture->hasValue(QStringLiteral("isSensor")));

    // Undo restores the value; refreshing the panel shows it.
    stack->undo();
    QCOMPARE(m_fixture->value(QStringLiteral("isSensor")), QVariant(false));
    QVERIFY(check->isChecked());
    m_panel->refreshData();
    QVERIFY(!check->isChecked());
    QCOMPARE(stack->count(), 1);
    QCOMPARE(stack->index(), 0);

    stack->redo();
    m_panel->refreshData();
    QVERIFY(check->isChecked());
    QCOMPARE(stack->count(), 1);
}

void TestParameterPanel::floatAcceptsValuesBeyondItsMaximum()
{
    showPanel(m_exporter->bodyParameters(), m_body);
    auto* spin = editorAs<QDoubleSpinBox>(QStringLiteral("gravityScale"));
    QCOMPARE(spin->value(), 0.5);
    spin->setFocus();
    spin->selectAll();
    QTest::keyClicks(spin, QStringLiteral("5"));
    QTest::keyClick(spin, Qt::Key_Return);
    QCOMPARE(spin->value(), 5.0);
    QCOMPARE(m_body->value(QStringLiteral("gravityScale")).toDouble(), 5.0);
    QCOMPARE(m_body->value(QStringLiteral("gravityScale")).userType(), int(QMetaType::Double));
    QCOMPARE(m_document->undoStack()->text(m_document->undoStack()->count() - 1),
             QStringLiteral("value change (gravityScale)"));
}

void TestParameterPanel::uintIsWrittenAsInt()
{
    showPanel(m_exporter->fixtureParameters(), m_fixture);
    auto* spin = editorAs<QSpinBox>(QStringLiteral("mask"));
    QCOMPARE(spin->minimum(), std::numeric_limits<int>::min());
    spin->setFocus();
    spin->selectAll();
    QTest::keyClicks(spin, QStringLiteral("42"));
    QCOMPARE(m_fixture->value(QStringLiteral("mask")).toInt(), 42);
    QCOMPARE(m_fixture->value(QStringLiteral("mask")).userType(), int(QMetaType::Int));
    // The signed spin box lets a "uint" go negative; it is stored as it is shown.
    QTest::keyClick(spin, Qt::Key_Home);
    QTest::keyClicks(spin, QStringLiteral("-"));
    QCOMPARE(m_fixture->value(QStringLiteral("mask")).toInt(), -42);
}

void TestParameterPanel::equalValuesPushNothing()
{
    m_fixture->setValueDirect(QStringLiteral("density"), 3.5);
    showPanel(m_exporter->fixtureParameters(), m_fixture);
    QUndoStack* stack = m_document->undoStack();

    // Stepping away and back is two changes; the value is then equal and a
    // further write of it is not a change.
    auto* spin = editorAs<QDoubleSpinBox>(QStringLiteral("density"));
    spin->setFocus();
    QTest::keyClick(spin, Qt::Key_Up);
    QTest::keyClick(spin, Qt::Key_Down);
    QCOMPARE(stack->count(), 2);
    QCOMPARE(m_fixture->value(QStringLiteral("density")).toDouble(), 3.5);

    // "All" twice in a 16-bit field reports all bits twice; the second is equal.
    QPushButton* all = bitField()->findChild<QPushButton*>(QStringLiteral("all_0"));
    QTest::mouseClick(all, Qt::LeftButton);
    QCOMPARE(stack->count(), 3);
    QTest::mouseClick(all, Qt::LeftButton);
    QCOMPARE(stack->count(), 3);

    // Clicking the check box and back, then reloading: two steps, no more.
    auto* check = editorAs<QCheckBox>(QStringLiteral("isSensor"));
    TestSupport::clickCheckBox(check);
    TestSupport::clickCheckBox(check);
    m_panel->refreshData();
    QCOMPARE(stack->count(), 5);
}

void TestParameterPanel::lineEditWritesWhenFocusLeaves()
{
    showPanel(m_exporter->fixtureParameters(), m_fixture);
    QUndoStack* stack = m_document->undoStack();
    auto* edit = editorAs<QLineEdit>(QStringLiteral("userData"));
    auto* other = editorAs<QSpinBox>(QStringLiteral("count"));
    QCOMPARE(edit->text(), QStringLiteral("none"));

    // Passing through the field without a change is no edit, not even of a default.
    edit->setFocus();
    QVERIFY(QTest::qWaitFor([edit] { return edit->hasFocus(); }));
    other->setFocus();
    QVERIFY(QTest::qWaitFor([other] { return other->hasFocus(); }));
    QCOMPARE(stack->count(), 0);
    QVERIFY(!m_fixture->hasValue(QStringLiteral("userData")));

    edit->setFocus();
    QVERIFY(QTest::qWaitFor([edit] { return edit->hasFocus(); }));
    edit->selectAll();
    QTest::keyClicks(edit, QStringLiteral("crate"));
    QCOMPARE(stack->count(), 0);
    QTest::keyClick(edit, Qt::Key_Tab);
    QVERIFY(!edit->hasFocus());
    QCOMPARE(stack->count(), 1);
    QCOMPARE(stack->text(0), QStringLiteral("value change (userData)"));
    QCOMPARE(m_fixture->value(QStringLiteral("userData")).toString(), QStringLiteral("crate"));
}

void TestParameterPanel::documentPanelEditsGlobalValues()
{
    showPanel(m_exporter->globalParameters(), m_document.get());
    QSignalSpy changed(m_document.get(), &ElementListModel::globalValueChanged);
    connect(m_document.get(), &ElementListModel::globalValueChanged, m_panel.get(), &GenericSettingsField::refreshData);
    auto* spin = editorAs<QDoubleSpinBox>(QStringLiteral("ptm"));
    QCOMPARE(spin->value(), 32.0);
    spin->setFocus();
    QTest::keyClick(spin, Qt::Key_Up);
    QCOMPARE(m_document->value(QStringLiteral("ptm")).toDouble(), 32.1);
    QCOMPARE(changed.size(), 1);

    // Undo notifies the document, whose signal reloads the panel.
    m_document->undoStack()->undo();
    QCOMPARE(spin->value(), 32.0);
    QCOMPARE(m_document->undoStack()->count(), 1);
}

void TestParameterPanel::bitFieldRowsLoadAndWrite()
{
    m_fixture->setValueDirect(QStringLiteral("categoryBits"), 0x12);
    m_fixture->setValueDirect(QStringLiteral("maskBits"), 0xff00);
    showPanel(m_exporter->fixtureParameters(), m_fixture);
    GenericBitField* field = bitField();
    QCOMPARE(field->value(0), quint32(0x12));
    QCOMPARE(field->value(1), quint32(0xff00));
    QCOMPARE(field->findChild<QLineEdit*>(QStringLiteral("hex_1"))->text(), QStringLiteral("ff00"));
    QCOMPARE(m_document->undoStack()->count(), 0);

    // A click on bit 0 of the mask row writes that row's parameter, unsigned.
    TestSupport::clickCheckBox(field->findChild<QCheckBox*>(QStringLiteral("bit_1_0")));
    QCOMPARE(m_document->undoStack()->count(), 1);
    QCOMPARE(m_document->undoStack()->text(0), QStringLiteral("value change (maskBits)"));
    QCOMPARE(m_fixture->value(QStringLiteral("maskBits")).toUInt(), 0xff01u);
    QCOMPARE(m_fixture->value(QStringLiteral("maskBits")).userType(), int(QMetaType::UInt));
    QCOMPARE(m_fixture->value(QStringLiteral("categoryBits")).toInt(), 0x12);

    // Typed hex goes the same way.
    QLineEdit* hex = field->findChild<QLineEdit*>(QStringLiteral("hex_0"));
    hex->selectAll();
    QTest::keyClicks(hex, QStringLiteral("8"));
    QCOMPARE(m_fixture->value(QStringLiteral("categoryBits")).toUInt(), 8u);

    // The other fixture shows its own (default) values.
    m_panel->setGenericDataProvider(m_otherFixture);
    QCOMPARE(field->value(0), quint32(1));
    QCOMPARE(field->value(1), quint32(0xffff));
    m_panel->setGenericDataProvider(m_fixture);
    QCOMPARE(field->value(0), quint32(8));
    QCOMPARE(field->value(1), quint32(0xff01));
}

void TestParameterPanel::bitFieldAllWritesAllBits()
{
    showPanel(m_exporter->fixtureParameters(), m_fixture);
    GenericBitField* field = bitField();
    QTest::mouseClick(field->findChild<QPushButton*>(QStringLiteral("none_1")), Qt::LeftButton);
    QCOMPARE(m_fixture->value(QStringLiteral("maskBits")).toUInt(), 0u);
    QTest::mouseClick(field->findChild<QPushButton*>(QStringLiteral("all_1")), Qt::LeftButton);
    QCOMPARE(field->findChild<QLineEdit*>(QStringLiteral("hex_1"))->text(), QStringLiteral("ffffffff"));
    QCOMPARE(m_fixture->value(QStringLiteral("maskBits")).toUInt(), 4294967295u);
    QCOMPARE(m_document->undoStack()->count(), 2);

    // Reloading the stored value shows it again without writing anything.
    m_panel->setGenericDataProvider(m_otherFixture);
    m_panel->setGenericDataProvider(m_fixture);
    QCOMPARE(field->findChild<QLineEdit*>(QStringLiteral("hex_1"))->text(), QStringLiteral("ffffffff"));
    QCOMPARE(field->value(1), quint32(0xffff));
    QCOMPARE(m_document->undoStack()->count(), 2);
}

void TestParameterPanel::bitNamesAreSharedThroughTheDocument()
{
    m_document->setSharedStringList(QStringLiteral("filter"), {QStringLiteral("ground")});
    m_document->undoStack()->clear();
    showPanel(m_exporter->fixtureParameters(), m_fixture);
    GenericBitField* field = bitField();
    QCOMPARE(field->labels().size(), 16);
    QCOMPARE(field->labels().at(0), QStringLiteral("ground"));
    QCOMPARE(field->labels().at(1), QStringLiteral("bit_1"));
    QCOMPARE(field->labels().at(2), QStringLiteral("bit_2"));
    QCOMPARE(field->labels().at(15), QStringLiteral("bit_15"));

    QLineEdit* name = field->findChild<QLineEdit*>(QStringLiteral("bitName_2"));
    name->setFocus();
    QVERIFY(QTest::qWaitFor([name] { return name->hasFocus(); }));
    name->selectAll();
    QTest::keyClicks(name, QStringLiteral("enemy"));
    QTest::keyClick(name, Qt::Key_Return);

    QUndoStack* stack = m_document->undoStack();
    QCOMPARE(stack->count(), 1);
    QCOMPARE(stack->text(0), QStringLiteral("value change (filter)"));
    const QStringList stored = m_document->sharedStringList(QStringLiteral("filter"));
    QCOMPARE(stored.size(), 16);
    QCOMPARE(stored.at(0), QStringLiteral("ground"));
    QCOMPARE(stored.at(2), QStringLiteral("enemy"));
    QVERIFY(!m_fixture->hasValue(QStringLiteral("filter")));

    // Another fixture sees the same names.
    m_panel->setGenericDataProvider(m_otherFixture);
    QCOMPARE(field->labels().at(2), QStringLiteral("enemy"));

    // Undo brings the old names back on the next refresh.
    stack->undo();
    m_panel->refreshData();
    QCOMPARE(field->labels().at(2), QStringLiteral("bit_2"));
    QCOMPARE(field->labels().at(0), QStringLiteral("ground"));
}

void TestParameterPanel::bitFieldBeforeAnyBitFieldIsSkipped()
{
    m_panel->setParameters(m_exporter->fixtureParameters());
    QVERIFY(!editor(QStringLiteral("stray")));
    QVERIFY(!label(QStringLiteral("stray")));
    for (GenericParameterHelper* helper : m_panel->editors())
        QVERIFY(helper->parameter()->name() != QLatin1String("stray"));
    const QList<const GenericParameter*> rows = bitField()->rowDefinitions();
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows.at(0)->name(), QStringLiteral("categoryBits"));
    QCOMPARE(rows.at(1)->name(), QStringLiteral("maskBits"));
    m_panel->setGenericDataProvider(m_fixture);
    QVERIFY(!m_fixture->hasValue(QStringLiteral("stray")));

    // Only the flagged parameters: every one of them is skipped.
    QList<const GenericParameter*> strays;
    strays << m_exporter->fixtureParameters().first() << m_exporter->fixtureParameters().first();
    m_panel->setParameters(strays);
    QCOMPARE(m_panel->editors().size(), 0);
    m_panel->setGenericDataProvider(m_fixture);
    QCOMPARE(m_document->undoStack()->count(), 0);
}

int main(int argc, char** argv)
{
    TestSupport::isolateSettings();
    QApplication app(argc, argv);
    TestParameterPanel test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_parameterpanel.moc"
