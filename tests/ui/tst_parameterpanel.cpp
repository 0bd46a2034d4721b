// The parameter panels: one editor per parameter of the exporter, each writing
// to the current body, fixture or document as one undoable step.
#include "element.h"
#include "elementlistmodel.h"
#include "fixturepolygon.h"
#include "genericbitfield.h"
#include "genericparameter.h"
#include "genericparameterhelper.h"
#include "genericsettingsfield.h"
#include "publisher.h"
#include "templatelookups.h"
#include "testsupport.h"
#include "uitestsupport.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QUndoStack>
#include <QtTest>

using UiTest::parameter;

namespace {

const QString shippedExporters = QStringLiteral(HWT_SOURCE_DIR "/exporters");

void addShippedExporterRows()
{
    QTest::addColumn<QString>("name");
    for (const QString& name : QDir(shippedExporters).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name))
        QTest::newRow(qPrintable(name)) << name;
}

}

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

    void cleanup() { m_panel.reset(); m_document.reset(); m_shipped.reset(); }

    // A document of a shipped exporter: one body with two square fixtures.
    void openShipped(const QString& name)
    {
        m_shipped = std::make_unique<Exporter>(shippedExporters + QLatin1Char('/') + name);
        m_document = std::make_unique<ElementListModel>();
        m_document->setExporter(m_shipped.get());
        m_body = m_document->addFile(UiTest::makeSprite(QDir(m_dir.path()), QStringLiteral("sprite.png"), 40, 20));
        m_fixture = new FixturePolygon(m_body);
        m_other = new FixturePolygon(m_body);
        for (FixturePolygon* fixture : {m_fixture, m_other}) {
            fixture->setPolygonDirect(QPolygonF({{5, 5}, {15, 5}, {15, 15}, {5, 15}}));
            m_body->addFixture(fixture);
        }
    }
    // The bit editor holding the row parameter of that name, and the row.
    std::pair<GenericBitField*, int> bitRow(const QString& name) const
    {
        for (GenericBitField* field : m_panel->findChildren<GenericBitField*>()) {
            const QList<const GenericParameter*> rows = field->rowDefinitions();
            for (int row = 0; row < rows.size(); ++row) {
                if (rows.at(row)->name() == name)
                    return {field, row};
            }
        }
        return {nullptr, -1};
    }

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

    void shippedExportersShowEveryParameter_data() { addShippedExporterRows(); }

    void shippedExportersShowEveryParameter()
    {
        // Each panel edits every parameter of its level once: with an editor of its own, or as a
        // row of the bit editor it belongs to.
        QFETCH(QString, name);
        openShipped(name);
        const QList<QList<const GenericParameter*>> levels{
            m_shipped->globalParameters(), m_shipped->bodyParameters(), m_shipped->fixtureParameters()};
        for (const QList<const GenericParameter*>& parameters : levels) {
            m_panel->setParameters(parameters);
            QStringList declared, shown;
            for (const GenericParameter* p : parameters)
                declared << p->name() + QLatin1Char(' ') + p->type();
            for (GenericParameterHelper* helper : m_panel->editors()) {
                shown << helper->parameter()->name() + QLatin1Char(' ') + helper->parameter()->type();
                QVERIFY(m_panel->isAncestorOf(m_panel->findChild<QWidget*>(helper->parameter()->name())));
                if (auto* field = dynamic_cast<GenericBitField*>(helper)) {
                    for (const GenericParameter* row : field->rowDefinitions())
                        shown << row->name() + QLatin1Char(' ') + row->type();
                    QCOMPARE(field->rowCount(), field->rowDefinitions().size());
                }
            }
            declared.sort();
            shown.sort();
            QCOMPARE(shown, declared);
        }
    }

    void shippedBitsReachThePublishedFile_data()
    {
        // Clicks on the row of one parameter ("bit n", or the row's "all", "none" and "inverse"
        // buttons), and the number the first fixture's "filter" then holds under the key.
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("row");
        QTest::addColumn<QStringList>("clicks");
        QTest::addColumn<QString>("key");
        QTest::addColumn<double>("expected");
        const auto box2d = [](const char* tag, const char* row, const QStringList& clicks, const char* key,
                              double expected) {
            QTest::newRow(tag) << "box2d-json" << row << clicks << key << expected;
        };
        const auto chipmunk = [](const char* tag, const char* row, const QStringList& clicks, const char* key,
                                 double expected) {
            QTest::newRow(tag) << "chipmunk-json" << row << clicks << key << expected;
        };
        box2d("box2d category bit 3 on", "filter_categoryBits", {"bit 3"}, "categoryBits", 9);
        box2d("box2d category bit 0 off", "filter_categoryBits", {"bit 0"}, "categoryBits", 0);
        box2d("box2d mask bit 15 off", "filter_maskBits", {"bit 15"}, "maskBits", 32767);
        // Whole-row buttons keep to the field's 16 bits.
        box2d("box2d mask none then all", "filter_maskBits", {"none", "all"}, "maskBits", 65535);
        box2d("box2d category inverted", "filter_categoryBits", {"inverse"}, "categoryBits", 65534);
        chipmunk("chipmunk categories bit 31 off", "categories", {"bit 31"}, "categories", 2147483647);
        chipmunk("chipmunk mask none then bit 5", "mask", {"none", "bit 5"}, "mask", 32);
        chipmunk("chipmunk mask inverted", "mask", {"bit 0", "inverse"}, "mask", 1);
    }

    void shippedBitsReachThePublishedFile()
    {
        QFETCH(QString, name);
        QFETCH(QString, row);
        QFETCH(QStringList, clicks);
        QFETCH(QString, key);
        QFETCH(double, expected);
        openShipped(name);
        // Bit names that a project file brings along, under the name older projects use.
        m_document->setSharedStringList(QStringLiteral("filter_bitfield"), {QStringLiteral("wall"), QStringLiteral("floor")});
        showPanel(m_shipped->fixtureParameters(), m_fixture);
        const auto [field, index] = bitRow(row);
        QVERIFY(field);
        QCOMPARE(field->labels().mid(0, 3), (QStringList{"wall", "floor", "bit_2"}));
        for (const QString& click : clicks) {
            const QStringList words = click.split(QLatin1Char(' '));
            if (words.first() == QLatin1String("bit")) {
                TestSupport::clickCheckBox(
                    field->findChild<QCheckBox*>(QStringLiteral("bit_%1_%2").arg(index).arg(words.last())));
            } else {
                QTest::mouseClick(field->findChild<QPushButton*>(QStringLiteral("%1_%2").arg(click).arg(index)),
                                  Qt::LeftButton);
            }
        }
        QCOMPARE(double(field->value(index)), expected);

        // Published through the shipped template: the first fixture has the bits, the second its default.
        registerTemplateLookups();
        const QString file = m_dir.filePath(name + QStringLiteral(".json"));
        RecordingReporter reporter;
        QVERIFY(Publisher::publish(*m_document, file).written);
        QVERIFY(reporter.entries.isEmpty());
        QFile published(file);
        QVERIFY(published.open(QIODevice::ReadOnly));
        const QJsonArray fixtures = QJsonDocument::fromJson(published.readAll())["bodies"][0]["fixtures"].toArray();
        QCOMPARE(fixtures.size(), 2);
        QCOMPARE(fixtures[0]["filter"][key].toDouble(-1), expected);
        QCOMPARE(fixtures[1]["filter"][key].toDouble(-1), m_shipped->fixtureDefault(row).toDouble());
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
