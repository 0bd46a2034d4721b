// The parameter panels: one editor per parameter of the exporter, each writing
// to the current body, fixture or document as one undoable step.
#include "element.h"
#include "elementlistmodel.h"
#include "fixturepolygon.h"
#include "genericbitfield.h"
#include "genericparameter.h"
#include "genericparameterhelper.h"
#include "genericsettingsfield.h"
#include "testsupport.h"
#include "uitestsupport.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QUndoStack>
#include <QtTest>

using UiTest::parameter;

class TestParameterPanel : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<Exporter> m_exporter;
    std::unique_ptr<ElementListModel> m_document;
    Element* m_body = nullptr;
    FixturePolygon* m_fixture = nullptr;
    FixturePolygon* m_other = nullptr;
    std::unique_ptr<GenericSettingsField> m_panel;

    template<typename T = QWidget>
    T* editor(const QString& name) const { return m_panel->findChild<T*>(name); }
    GenericBitField* bitField() const { return editor<GenericBitField>(QStringLiteral("filter")); }
    QUndoStack* undo() const { return m_document->undoStack(); }
    void showPanel(const QList<const GenericParameter*>& parameters, GenericDataProvider* provider)
    {
        m_panel->setParameters(parameters);
        m_panel->setGenericDataProvider(provider);
        m_panel->show();
        m_panel->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_panel.get()));
    }
    static void typeInto(QWidget* widget, const QString& text)
    {
        widget->setFocus();
        QMetaObject::invokeMethod(widget, "selectAll");
        QTest::keyClicks(widget, text);
    }
    // A stored value with its type.
    static QString stored(GenericDataProvider* provider, const char* name)
    {
        return QLatin1String(provider->value(QLatin1String(name)).typeName()) + QLatin1Char(' ')
               + provider->value(QLatin1String(name)).toString();
    }

private slots:
    void initTestCase()
    {
        // One parameter of every kind the panels edit; "stray" is flagged for a bit field ahead of any.
        UiTest::ExporterSpec spec{QStringLiteral("panels")};
        spec.globalXml = parameter("ptm", "float", "<default>32</default>");
        spec.bodyXml = parameter("gravity", "float",
                                 "<description>How much gravity pulls</description><shortDescription>Gravity factor"
                                 "</shortDescription><min>0</min><max>1</max><default>0.5</default>");
        const QString flagged = QStringLiteral("<bitfield>true</bitfield><default>1</default>");
        spec.fixtureXml = parameter("stray", "int", flagged) + parameter("density", "float", "<default>2</default>")
                          + parameter("count", "int", "<description>How many</description><default>3</default>")
                          + parameter("mask", "uint") + parameter("isSensor", "bool")
                          + parameter("userData", "string", "<default>none</default>")
                          + parameter("filter", "bitfield", "<size>16</size>") + parameter("categoryBits", "uint16", flagged)
                          + parameter("maskBits", "uint16", flagged) + parameter("groupIndex", "int");
        m_exporter = std::make_unique<Exporter>(UiTest::writeExporter(QDir(m_dir.path()), spec));
    }

    void init()
    {
        TestSupport::clearSettings();
        m_document = std::make_unique<ElementListModel>();
        m_document->setExporter(m_exporter.get());
        m_body = new Element(m_document.get(), m_exporter.get());
        m_document->appendElement(m_body);
        m_fixture = new FixturePolygon(m_body);
        m_other = new FixturePolygon(m_body);
        m_body->setFixturesDirect({m_fixture, m_other});
        m_panel = std::make_unique<GenericSettingsField>();
    }

    void cleanup() { m_panel.reset(); m_document.reset(); }

    void oneEditorPerParameterBesideItsLabel()
    {
        m_panel->setParameters(m_exporter->fixtureParameters());
        // The bit field spans both columns and takes the flagged rows after it.
        const QStringList rows{"density", "count", "mask", "isSensor", "userData", "filter", "groupIndex"};
        auto* grid = qobject_cast<QGridLayout*>(m_panel->layout());
        QCOMPARE(m_panel->editors().size(), rows.size());
        for (int row = 0; row < rows.size(); ++row) {
            QCOMPARE(m_panel->editors().at(row)->parameter()->name(), rows[row]);
            const int column = rows[row] == QLatin1String("filter") ? 0 : 1;
            QCOMPARE(grid->itemAtPosition(row, column)->widget(), editor(rows[row]));
            QVERIFY(!column || editor<QLabel>(rows[row] + QStringLiteral("Label"))->buddy() == editor(rows[row]));
        }
        QCOMPARE(bitField()->rowDefinitions().size(), 2);

        // Editors and labels are usable only with something to edit; without, they write nowhere.
        const auto enabled = [this] {
            QVector<bool> states;
            for (QWidget* widget : m_panel->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
                states << widget->isEnabled();
            return states;
        };
        QCOMPARE(enabled(), QVector<bool>(13, false));
        // Showing a fixture's values writes nothing: neither rounded to a spin
        // box's decimals nor the defaults of the rest, and records nothing.
        m_fixture->setValueDirect(QStringLiteral("density"), 0.123);
        const QHash<QString, QVariant> before = m_fixture->values();
        m_panel->setGenericDataProvider(m_fixture);
        QCOMPARE(enabled(), QVector<bool>(13, true));
        QCOMPARE(m_fixture->values(), before);
        QCOMPARE(editor<QLineEdit>("userData")->text(), QStringLiteral("none"));
        m_panel->setGenericDataProvider(nullptr);
        QCOMPARE(enabled(), QVector<bool>(13, false));
        editor<QCheckBox>("isSensor")->setChecked(true);
        bitField()->allButtonPressed(0);
        QVERIFY(!m_fixture->hasValue(QStringLiteral("isSensor")) && undo()->count() == 0);

        // Setting a list again replaces every editor and label.
        const QPointer<QWidget> oldEditor = editor("density");
        const QPointer<QWidget> oldLabel = editor("densityLabel");
        m_panel->setParameters(m_exporter->bodyParameters());
        QVERIFY(!oldEditor && !oldLabel && m_panel->layout()->count() == 2);
    }

    void tips()
    {
        const QList<QStringList> expected{
            {"gravity", "<h2>gravity</h2>How much gravity pulls<br/><br/>Default: 0.5 Min: 0 Max: 1", "Gravity factor"},
            {"count", "<h2>count</h2>How many<br/><br/>Default: 3 Min: 0 Max: 0", ""},
            {"isSensor", "<h2>isSensor</h2><br/><br/>Default: false", ""}};
        m_panel->setParameters(m_exporter->bodyParameters() + m_exporter->fixtureParameters());
        for (const QStringList& tip : expected)
            for (QWidget* widget : {editor(tip[0]), editor(tip[0] + QStringLiteral("Label"))})
                QCOMPARE((QStringList{tip[0], widget->toolTip(), widget->statusTip()}), tip);
    }

    void everyChangeIsOneUndoableStep()
    {
        showPanel(m_exporter->fixtureParameters(), m_fixture);
        auto* check = editor<QCheckBox>("isSensor");
        TestSupport::clickCheckBox(check);
        QCOMPARE(stored(m_fixture, "isSensor"), QStringLiteral("bool true"));
        QCOMPARE(undo()->text(0), QStringLiteral("value change (isSensor)"));
        undo()->undo();
        m_panel->refreshData();
        QVERIFY(!check->isChecked());

        // A "uint" is stored as the signed int its spin box shows.
        auto* mask = editor<QSpinBox>("mask");
        typeInto(mask, QStringLiteral("42"));
        QTest::keyClick(mask, Qt::Key_Home);
        QTest::keyClicks(mask, QStringLiteral("-"));
        QCOMPARE(stored(m_fixture, "mask"), QStringLiteral("int -42"));

        // Stepping away and back is two changes; writing an equal value is none.
        undo()->clear();
        auto* density = editor<QDoubleSpinBox>("density");
        QTest::keyClick(density, Qt::Key_Up);
        QTest::keyClick(density, Qt::Key_Down);
        for (int i = 0; i < 2; ++i)
            QTest::mouseClick(bitField()->findChild<QPushButton*>(QStringLiteral("all_0")), Qt::LeftButton);
        QCOMPARE(undo()->count(), 3);
        QCOMPARE(stored(m_fixture, "density"), QStringLiteral("double 2"));

        // Text is written when the focus leaves, and only when it changed.
        auto* text = editor<QLineEdit>("userData");
        text->setFocus();
        density->setFocus();
        typeInto(text, QStringLiteral("crate"));
        QCOMPARE(undo()->count(), 3);
        QTest::keyClick(text, Qt::Key_Tab);
        QCOMPARE(undo()->text(3), QStringLiteral("value change (userData)"));
        QCOMPARE(stored(m_fixture, "userData"), QStringLiteral("QString crate"));
    }

    void bodyAndDocumentPanelsWriteTheirOwnValues()
    {
        // A float takes values beyond its maximum.
        showPanel(m_exporter->bodyParameters(), m_body);
        typeInto(editor("gravity"), QStringLiteral("5"));
        QCOMPARE(stored(m_body, "gravity"), QStringLiteral("double 5"));
        QCOMPARE(undo()->text(0), QStringLiteral("value change (gravity)"));
        m_panel->setParameters(m_exporter->globalParameters());
        m_panel->setGenericDataProvider(m_document.get());
        connect(m_document.get(), &ElementListModel::globalValueChanged, m_panel.get(), &GenericSettingsField::refreshData);
        QTest::keyClick(editor("ptm"), Qt::Key_Up);
        QCOMPARE(stored(m_document.get(), "ptm"), QStringLiteral("double 32.1"));
        // Undo notifies the document, whose signal reloads the panel.
        undo()->undo();
        QCOMPARE(editor<QDoubleSpinBox>("ptm")->value(), 32.0);
    }

    void bitFieldRowsAndNamesAreValuesToo()
    {
        m_fixture->setValueDirect(QStringLiteral("maskBits"), 0xff00);
        m_document->setSharedStringList(QStringLiteral("filter"), {QStringLiteral("ground")});
        showPanel(m_exporter->fixtureParameters(), m_fixture);
        GenericBitField* field = bitField();
        // A click on bit 0 of the mask row writes that row's parameter, unsigned.
        TestSupport::clickCheckBox(field->findChild<QCheckBox*>(QStringLiteral("bit_1_0")));
        QCOMPARE(stored(m_fixture, "maskBits"), QStringLiteral("uint 65281"));
        typeInto(field->findChild<QLineEdit*>(QStringLiteral("hex_0")), QStringLiteral("8"));
        QCOMPARE(stored(m_fixture, "categoryBits"), QStringLiteral("uint 8"));

        // The bits' names belong to the document, shared by every fixture.
        QCOMPARE(field->labels().mid(0, 3), (QStringList{"ground", "bit_1", "bit_2"}));
        auto* name = field->findChild<QLineEdit*>(QStringLiteral("bitName_2"));
        typeInto(name, QStringLiteral("enemy"));
        QTest::keyClick(name, Qt::Key_Return);
        QCOMPARE(m_document->sharedStringList(QStringLiteral("filter")).mid(0, 3), (QStringList{"ground", "bit_1", "enemy"}));
        QVERIFY(!m_fixture->hasValue(QStringLiteral("filter")));
        // A fixture shown while its recording is paused (a document being read) stays paused.
        m_other->setUndoEnabled(false);
        m_panel->setGenericDataProvider(m_other);
        QVERIFY(!m_other->isUndoEnabled());
        QCOMPARE(field->labels().at(2), QStringLiteral("enemy"));
        QCOMPARE(undo()->count(), 4);
        undo()->undo();
        m_panel->refreshData();
        QCOMPARE(field->labels().at(2), QStringLiteral("bit_2"));
    }
};

int main(int argc, char** argv)
{
    TestSupport::isolateSettings();
    QApplication app(argc, argv);
    TestParameterPanel test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_parameterpanel.moc"
