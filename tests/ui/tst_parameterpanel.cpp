// The parameter panels: one editor per parameter of the exporter, each writing
// to the current body, fixture or document as one undoable step.
#include "genericbitfield.h"
#include "genericparameter.h"
#include "genericsettingsfield.h"
#include "modeltestsupport.h"
#include "publisher.h"
#include "templatelookups.h"
#include "uitestsupport.h"

#include <QtTest>
#include <QtWidgets>

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
    std::unique_ptr<Exporter> m_shipped;

    template<typename T = QWidget>
    T* editor(const QString& name) const { return m_panel->findChild<T*>(name); }
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
    // A document of one body with two square fixtures, nothing to undo.
    void open(Exporter* exporter)
    {
        m_document = std::make_unique<ElementListModel>();
        m_document->setExporter(exporter);
        m_body = m_document->addFile(UiTest::makeSprite(QDir(m_dir.path()), QStringLiteral("sprite.png"), 40, 20));
        m_fixture = new FixturePolygon(m_body);
        m_other = new FixturePolygon(m_body);
        for (FixturePolygon* fixture : {m_fixture, m_other})
            fixture->setPolygonDirect(QPolygonF({{5, 5}, {15, 5}, {15, 15}, {5, 15}}));
        m_body->setFixturesDirect({m_fixture, m_other});
        undo()->clear();
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
        open(m_exporter.get());
        m_panel = std::make_unique<GenericSettingsField>();
    }

    void cleanup() { m_panel.reset(); m_document.reset(); m_shipped.reset(); }
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
        QCOMPARE(editor<GenericBitField>("filter")->rowDefinitions().size(), 2);

        // Editors and labels are usable only with something to edit; without, they write nowhere.
        const auto enabled = [this] {
            const QList<QWidget*> widgets = m_panel->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
            return int(std::count_if(widgets.begin(), widgets.end(), [](QWidget* w) { return w->isEnabled(); }));
        };
        QCOMPARE(enabled(), 0);
        // Showing a fixture's values writes nothing (no rounding to a spin box's decimals, no defaults).
        m_fixture->setValueDirect(QStringLiteral("density"), 0.123);
        const QHash<QString, QVariant> before = m_fixture->values();
        m_panel->setGenericDataProvider(m_fixture);
        QCOMPARE(enabled(), 13);
        QCOMPARE(m_fixture->values(), before);
        QCOMPARE(editor<QLineEdit>("userData")->text(), QStringLiteral("none"));
        m_panel->setGenericDataProvider(nullptr);
        QCOMPARE(enabled(), 0);
        editor<QCheckBox>("isSensor")->setChecked(true);
        editor<GenericBitField>("filter")->allButtonPressed(0);
        QVERIFY(!m_fixture->hasValue(QStringLiteral("isSensor")) && undo()->count() == 0);

        // Setting a list again replaces every editor and label.
        const QPointer<QWidget> oldEditor = editor("density"), oldLabel = editor("densityLabel");
        m_panel->setParameters(m_exporter->bodyParameters());
        QVERIFY(!oldEditor && !oldLabel && m_panel->layout()->count() == 2);

        // Editors and labels show the same tips.
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
            QTest::mouseClick(editor<QPushButton>("all_0"), Qt::LeftButton);
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
        GenericBitField* field = editor<GenericBitField>("filter");
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

    void shippedExporters_data()
    {
        // Clicks on the row of one parameter (the check box or button of that name, %1 standing for the row),
        // and the number the first fixture's "filter" then holds under the row's key; no row: only the panels.
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("row");
        QTest::addColumn<QStringList>("clicks");
        QTest::addColumn<double>("expected");
        const auto row = [](const QString& name, const char* row = "", const QStringList& clicks = {},
                            double expected = 0) {
            QTest::newRow(qPrintable(QStringLiteral("%1 %2 %3").arg(name, row, clicks.join(", "))))
                << name << row << clicks << expected;
        };
        for (const QString& name : QDir(HWT_SOURCE_DIR "/exporters").entryList(QDir::Dirs | QDir::NoDotAndDotDot))
            row(name);
        row("box2d-json", "filter_categoryBits", {"bit_%1_3", "bit_%1_0"}, 8);
        row("box2d-json", "filter_maskBits", {"bit_%1_15"}, 32767);
        // Whole-row buttons keep to the field's 16 bits.
        row("box2d-json", "filter_maskBits", {"none_%1", "all_%1"}, 65535);
        row("box2d-json", "filter_categoryBits", {"inverse_%1"}, 65534);
        row("chipmunk-json", "categories", {"bit_%1_31"}, 2147483647);
        row("chipmunk-json", "mask", {"none_%1", "bit_%1_5"}, 32);
        row("chipmunk-json", "mask", {"bit_%1_0", "inverse_%1"}, 1);
    }

    void shippedExporters()
    {
        QFETCH(QString, name);
        QFETCH(QString, row);
        QFETCH(QStringList, clicks);
        QFETCH(double, expected);
        m_shipped = std::make_unique<Exporter>(QStringLiteral(HWT_SOURCE_DIR "/exporters/") + name);
        open(m_shipped.get());
        // Each panel edits every parameter of its level once: with an editor, or as a row of its bit editor.
        for (QList<const GenericParameter*> declared :
             {m_shipped->globalParameters(), m_shipped->bodyParameters(), m_shipped->fixtureParameters()}) {
            m_panel->setParameters(declared);
            QList<const GenericParameter*> shown;
            for (GenericParameterHelper* helper : m_panel->editors()) {
                shown << helper->parameter();
                QVERIFY(m_panel->isAncestorOf(m_panel->findChild<QWidget*>(helper->parameter()->name())));
                if (auto* field = dynamic_cast<GenericBitField*>(helper)) {
                    shown << field->rowDefinitions();
                    QCOMPARE(field->rowCount(), field->rowDefinitions().size());
                }
            }
            std::sort(shown.begin(), shown.end());
            std::sort(declared.begin(), declared.end());
            QCOMPARE(shown, declared);
        }
        if (row.isEmpty())
            return;

        // Bit names that a project file brings along, under the name older projects use.
        m_document->setSharedStringList(QStringLiteral("filter_bitfield"), {QStringLiteral("wall"), QStringLiteral("floor")});
        showPanel(m_shipped->fixtureParameters(), m_fixture);
        auto* field = m_panel->findChild<GenericBitField*>();
        QVERIFY(field);
        const QList<const GenericParameter*> rows = field->rowDefinitions();
        const int index = std::find_if(rows.begin(), rows.end(), [&](auto* p) { return p->name() == row; })
                          - rows.begin();
        QVERIFY(index < rows.size());
        QCOMPARE(field->labels().mid(0, 3), (QStringList{"wall", "floor", "bit_2"}));
        for (const QString& click : clicks) {
            if (auto* box = field->findChild<QCheckBox*>(click.arg(index)))
                TestSupport::clickCheckBox(box);
            else
                QTest::mouseClick(field->findChild<QPushButton*>(click.arg(index)), Qt::LeftButton);
        }
        QCOMPARE(double(field->value(index)), expected);

        // Published through the shipped template: the first fixture has the bits, the second its default.
        registerTemplateLookups();
        const QString file = m_dir.filePath(name + QStringLiteral(".json"));
        RecordingReporter reporter;
        QVERIFY(Publisher::publish(*m_document, file).written && reporter.entries.isEmpty());
        const QJsonValue fixtures = QJsonDocument::fromJson(ModelTest::readFile(file))["bodies"][0]["fixtures"];
        const QString key = row.section(QLatin1Char('_'), -1);
        QCOMPARE(fixtures[0]["filter"][key].toDouble(-1), expected);
        QCOMPARE(fixtures[1]["filter"][key].toDouble(-1), m_shipped->fixtureDefault(row).toDouble());
    }
};

MODEL_TEST_MAIN(TestParameterPanel)

#include "tst_parameterpanel.moc"
