#include "error.h"
#include "exporter.h"
#include "exporterregistry.h"
#include "genericparameter.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <sys/types.h>

#include <utility>

Q_DECLARE_METATYPE(Exporter::YAxisDirection)
Q_DECLARE_METATYPE(Exporter::OriginType)
Q_DECLARE_METATYPE(Exporter::PhysicsEngine)
Q_DECLARE_METATYPE(Exporter::PolygonOrientation)

namespace {

// A complete definition: every setting given, "collision" written before
// "fixture" and a repeated fixture parameter name.
const char fullDefinition[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<exporter>
  <name>box2d-generic</name>
  <displayName>Box2D generic (XML)</displayName>
  <description>Exporter for Box2D, XML format</description>
  <version>1.2.3</version>
  <yAxisDirection>Down</yAxisDirection>
  <physicsEngine>Box2D</physicsEngine>
  <template>box2d.xml</template>
  <fileExtension>xml</fileExtension>
  <anchorPoint>
    <enabled>No</enabled>
    <relX>0.25</relX>
    <relY>0.75</relY>
  </anchorPoint>
  <origin>
    <type>Fixed</type>
    <relX>0.125</relX>
    <relY>1.5</relY>
  </origin>
  <supportsCircles>false</supportsCircles>
  <polygonOrientation>CW</polygonOrientation>
  <global>
    <parameter>
      <name>scale</name>
      <displayName>Scale</displayName>
      <description>Pixels per metre</description>
      <shortDescription>PTM ratio</shortDescription>
      <type>float</type>
      <min>0.5</min>
      <max>1000</max>
      <default>32</default>
    </parameter>
    <parameter>
      <name>title</name>
      <type>string</type>
      <default>Level One</default>
    </parameter>
  </global>
  <body>
    <parameter><name>fixedRotation</name><type>bool</type><default>Yes</default></parameter>
    <parameter><name>bullet</name><type>bool</type></parameter>
    <parameter><name>gravityScale</name><type>int</type><min>-10</min><max>10</max><default>1</default></parameter>
  </body>
  <collision>
    <parameter>
      <name>categoryBits</name><type>uint16</type>
      <min>0</min><max>65535</max><default>70000</default><bitfield>TRUE</bitfield>
    </parameter>
    <parameter><name>groupIndex</name><type>int</type><default>-3</default></parameter>
    <parameter><name>layers</name><type>bitfield</type><size>16</size><min>1</min><default>7</default></parameter>
  </collision>
  <fixture>
    <parameter><name>density</name><type>float</type><default>2.5</default></parameter>
    <parameter>
      <name>mask</name><type>uint</type>
      <min>1</min><max>4294967295</max><default>65535</default><bitfield>0</bitfield>
    </parameter>
    <parameter><name>density</name><type>float</type><default>9</default></parameter>
  </fixture>
</exporter>
)";

// The smallest valid definition; tests change it by replacing one of its lines.
const char minimalDefinition[] = R"(<exporter>
  <name>minimal</name>
  <displayName>My Exporter</displayName>
  <yAxisDirection>up</yAxisDirection>
  <anchorPoint><enabled>true</enabled><relX>0.5</relX></anchorPoint>
  <supportsCircles>yes</supportsCircles>
  <origin><type>anchorpoint</type><relX>0.5</relX></origin>
  <physicsEngine>box2d</physicsEngine>
  <global></global>
  <collision></collision>
  <fixture></fixture>
  <polygonOrientation></polygonOrientation>
</exporter>
)";

using Replacements = QList<std::pair<QByteArray, QByteArray>>;

QByteArray minimalWith(const Replacements& replacements)
{
    QByteArray xml(minimalDefinition);
    for (const auto& replacement : replacements) {
        if (!xml.contains(replacement.first))
            qFatal("test definition has no line %s", replacement.first.constData());
        xml.replace(replacement.first, replacement.second);
    }
    return xml;
}

QByteArray minimalWith(const QByteArray& line, const QByteArray& replacement)
{
    return minimalWith(Replacements{{line, replacement}});
}

// The minimal definition with one parameter in the global list.
QByteArray withGlobalParameter(const QByteArray& parameterBody)
{
    return minimalWith(QByteArrayLiteral("<global></global>"),
                       "<global><parameter>" + parameterBody + "</parameter></global>");
}

const QByteArray yAxisUp = QByteArrayLiteral("<yAxisDirection>up</yAxisDirection>");
const QByteArray anchorLine = QByteArrayLiteral("<anchorPoint><enabled>true</enabled><relX>0.5</relX></anchorPoint>");
const QByteArray circlesLine = QByteArrayLiteral("<supportsCircles>yes</supportsCircles>");
const QByteArray originLine = QByteArrayLiteral("<origin><type>anchorpoint</type><relX>0.5</relX></origin>");
const QByteArray engineLine = QByteArrayLiteral("<physicsEngine>box2d</physicsEngine>");
const QByteArray globalLine = QByteArrayLiteral("<global></global>");
const QByteArray collisionLine = QByteArrayLiteral("<collision></collision>");
const QByteArray fixtureLine = QByteArrayLiteral("<fixture></fixture>");
const QByteArray orientationLine = QByteArrayLiteral("<polygonOrientation></polygonOrientation>");

QByteArray definitionNamed(const QByteArray& name, const QByteArray& displayName)
{
    return minimalWith(Replacements{{"<name>minimal</name>", "<name>" + name + "</name>"},
                                    {"<displayName>My Exporter</displayName>",
                                     "<displayName>" + displayName + "</displayName>"}});
}

bool writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size();
}

}

class TestExporterDefinitions : public QObject
{
    Q_OBJECT

private slots:
    void init();

    // A complete definition
    void fullDefinitionSettings();
    void fullDefinitionParameterOrder();
    void fullDefinitionParameters_data();
    void fullDefinitionParameters();
    void defaultLookUps_data();
    void defaultLookUps();
    void minimalDefinitionDefaults();

    // Keywords and values
    void yAxisDirections_data();
    void yAxisDirections();
    void originTypes_data();
    void originTypes();
    void engineOrientations_data();
    void engineOrientations();
    void fractions_data();
    void fractions();
    void fractionsIgnoreTheLocale();
    void parameterValues_data();
    void parameterValues();

    // Errors, their codes and which one is reported first
    void errors_data();
    void errors();
    void missingDirectory();
    void definitionThatIsNotARegularFile();

    // The registry
    void scanRegistersEveryDirectory();
    void scanWritesDebugLines();
    void scanReportsUnreadableAndContinues();
    void scanUsesAbsolutePaths();
    void scanOfMissingDirectoryFindsNothing();
    void laterScanReplacesSameName();
    void namesAreSortedCaseSensitively();
    void addingTwiceKeepsOneEntry();
    void findKnownExporter();
    void findUnknownExporterReportsAndFallsBack();
    void findWithEmptyRegistry();
    void clearForgetsEntries();

private:
    // A new directory holding `xml` as its exporter.xml.
    QString exporterDirectory(const QByteArray& xml);
    QString newDirectory(const QString& parent = QString());

    QTemporaryDir m_temp;
    int m_directoryCount = 0;
};

void TestExporterDefinitions::init()
{
    QVERIFY(m_temp.isValid());
    ExporterRegistry::instance().clear();
}

QString TestExporterDefinitions::newDirectory(const QString& parent)
{
    const QString directory = (parent.isEmpty() ? m_temp.path() : parent) + QStringLiteral("/exporter")
        + QString::number(++m_directoryCount);
    if (!QDir().mkpath(directory))
        qFatal("cannot create %s", qPrintable(directory));
    return directory;
}

QString TestExporterDefinitions::exporterDirectory(const QByteArray& xml)
{
    const QString directory = newDirectory();
    if (!writeFile(directory + QStringLiteral("/exporter.xml"), xml))
        qFatal("cannot write into %s", qPrintable(directory));
    return directory;
}

// ---------------------------------------------------------------------------
// A complete definition

void TestExporterDefinitions::fullDefinitionSettings()
{
    const QString directory = exporterDirectory(fullDefinition);
    const Exporter exporter(directory);
    QCOMPARE(exporter.directory(), directory);
    QCOMPARE(exporter.name(), QStringLiteral("box2d-generic"));
    QCOMPARE(exporter.displayName(), QStringLiteral("Box2D generic (XML)"));
    QCOMPARE(exporter.description(), QStringLiteral("Exporter for Box2D, XML format"));
    QCOMPARE(exporter.version(), QStringLiteral("1.2.3"));
    QCOMPARE(exporter.yAxisDirection(), Exporter::Down);
    QCOMPARE(exporter.anchorPointEnabled(), false);
    QCOMPARE(exporter.anchorPointRelX(), 0.25);
    QCOMPARE(exporter.anchorPointRelY(), 0.75);
    QCOMPARE(exporter.supportsCircles(), false);
    QCOMPARE(exporter.originType(), Exporter::Fixed);
    QCOMPARE(exporter.originRelX(), 0.125);
    QCOMPARE(exporter.originRelY(), 1.5);
    QCOMPARE(exporter.templateFile(), QStringLiteral("box2d.xml"));
    QCOMPARE(exporter.fileExtension(), QStringLiteral("xml"));
    QCOMPARE(exporter.engine(), Exporter::Box2D);
    QCOMPARE(exporter.physicsEngineName(), QStringLiteral("box2d"));
    // Written explicitly, so it overrides the engine's counter-clockwise.
    QCOMPARE(exporter.polygonOrientation(), Exporter::Clockwise);

    const GenericParameter* scale = exporter.globalParameters().value(0);
    QVERIFY(scale);
    QCOMPARE(scale->displayName(), QStringLiteral("Scale"));
    QCOMPARE(scale->description(), QStringLiteral("Pixels per metre"));
    QCOMPARE(scale->shortDescription(), QStringLiteral("PTM ratio"));
}

void TestExporterDefinitions::fullDefinitionParameterOrder()
{
    const Exporter exporter(exporterDirectory(fullDefinition));
    const auto names = [](const QList<const GenericParameter*>& parameters) {
        QStringList result;
        for (const GenericParameter* parameter : parameters)
            result << parameter->name();
        return result;
    };
    QCOMPARE(names(exporter.globalParameters()), (QStringList{"scale", "title"}));
    QCOMPARE(names(exporter.bodyParameters()), (QStringList{"fixedRotation", "bullet", "gravityScale"}));
    // The collision parameters follow the fixture ones wherever they stand in the file.
    QCOMPARE(names(exporter.fixtureParameters()),
             (QStringList{"density", "mask", "density", "categoryBits", "groupIndex", "layers"}));
}

void TestExporterDefinitions::fullDefinitionParameters_data()
{
    QTest::addColumn<QString>("list");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QVariant>("minimum");
    QTest::addColumn<QVariant>("maximum");
    QTest::addColumn<QVariant>("defaultValue");
    QTest::addColumn<bool>("isBitfield");
    QTest::addColumn<int>("bitCount");

    const QVariant none;
    QTest::newRow("float") << "global" << 0 << "scale" << "float" << QVariant(0.5f) << QVariant(1000.0f)
                           << QVariant(32.0f) << false << 0;
    QTest::newRow("string") << "global" << 1 << "title" << "string" << none << none
                            << QVariant(QStringLiteral("Level One")) << false << 0;
    QTest::newRow("bool yes") << "body" << 0 << "fixedRotation" << "bool" << none << none << QVariant(true)
                              << false << 0;
    QTest::newRow("bool without default") << "body" << 1 << "bullet" << "bool" << none << none << QVariant(false)
                                          << false << 0;
    QTest::newRow("int") << "body" << 2 << "gravityScale" << "int" << QVariant(-10) << QVariant(10) << QVariant(1)
                         << false << 0;
    QTest::newRow("float without limits") << "fixture" << 0 << "density" << "float" << none << none
                                          << QVariant(2.5f) << false << 0;
    QTest::newRow("uint") << "fixture" << 1 << "mask" << "uint" << QVariant(1u) << QVariant(4294967295u)
                          << QVariant(65535u) << false << 0;
    QTest::newRow("repeated name") << "fixture" << 2 << "density" << "float" << none << none << QVariant(9.0f)
                                   << false << 0;
    QTest::newRow("uint16 bitfield") << "fixture" << 3 << "categoryBits" << "uint16" << QVariant(0)
                                     << QVariant(65535) << QVariant(4464) << true << 0;
    QTest::newRow("int without limits") << "fixture" << 4 << "groupIndex" << "int" << QVariant(0) << QVariant(0)
                                        << QVariant(-3) << false << 0;
    QTest::newRow("bitfield") << "fixture" << 5 << "layers" << "bitfield" << none << none << none << true << 16;
}

void TestExporterDefinitions::fullDefinitionParameters()
{
    QFETCH(QString, list);
    QFETCH(int, index);
    QFETCH(QString, name);
    QFETCH(QString, type);
    QFETCH(QVariant, minimum);
    QFETCH(QVariant, maximum);
    QFETCH(QVariant, defaultValue);
    QFETCH(bool, isBitfield);
    QFETCH(int, bitCount);

    const Exporter exporter(exporterDirectory(fullDefinition));
    const QList<const GenericParameter*> parameters = list == QLatin1String("global") ? exporter.globalParameters()
        : list == QLatin1String("body")                                               ? exporter.bodyParameters()
                                                                                      : exporter.fixtureParameters();
    QVERIFY(index < parameters.size());
    const GenericParameter* parameter = parameters.at(index);
    QCOMPARE(parameter->name(), name);
    QCOMPARE(parameter->type(), type);
    QCOMPARE(parameter->minimum().isValid(), minimum.isValid());
    QCOMPARE(parameter->minimum().userType(), minimum.userType());
    QCOMPARE(parameter->minimum(), minimum);
    QCOMPARE(parameter->maximum().isValid(), maximum.isValid());
    QCOMPARE(parameter->maximum().userType(), maximum.userType());
    QCOMPARE(parameter->maximum(), maximum);
    QCOMPARE(parameter->defaultValue().isValid(), defaultValue.isValid());
    QCOMPARE(parameter->defaultValue().userType(), defaultValue.userType());
    QCOMPARE(parameter->defaultValue(), defaultValue);
    QCOMPARE(parameter->isBitfield(), isBitfield);
    QCOMPARE(parameter->bitCount(), bitCount);
}

void TestExporterDefinitions::defaultLookUps_data()
{
    QTest::addColumn<QString>("list");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QVariant>("expected");

    QTest::newRow("global") << "global" << "scale" << QVariant(32.0f);
    QTest::newRow("global string") << "global" << "title" << QVariant(QStringLiteral("Level One"));
    QTest::newRow("body") << "body" << "gravityScale" << QVariant(1);
    QTest::newRow("fixture") << "fixture" << "mask" << QVariant(65535u);
    QTest::newRow("collision through fixture") << "fixture" << "categoryBits" << QVariant(4464);
    QTest::newRow("first of two same names") << "fixture" << "density" << QVariant(2.5f);
    QTest::newRow("bitfield has none") << "fixture" << "layers" << QVariant();
    QTest::newRow("unknown") << "fixture" << "friction" << QVariant();
    QTest::newRow("other list") << "body" << "scale" << QVariant();
    QTest::newRow("exact case") << "global" << "Scale" << QVariant();
}

void TestExporterDefinitions::defaultLookUps()
{
    QFETCH(QString, list);
    QFETCH(QString, name);
    QFETCH(QVariant, expected);

    const Exporter exporter(exporterDirectory(fullDefinition));
    const QVariant actual = list == QLatin1String("global") ? exporter.globalDefault(name)
        : list == QLatin1String("body")                     ? exporter.bodyDefault(name)
                                                            : exporter.fixtureDefault(name);
    QCOMPARE(actual.isValid(), expected.isValid());
    QCOMPARE(actual.userType(), expected.userType());
    QCOMPARE(actual, expected);
}

void TestExporterDefinitions::minimalDefinitionDefaults()
{
    // Only what has no default is given.
    const QString directory = exporterDirectory(
        "<exporter><yAxisDirection>up</yAxisDirection><origin><type>anchorPoint</type></origin>"
        "<physicsEngine>generic</physicsEngine></exporter>");
    const Exporter exporter(directory);
    QCOMPARE(exporter.name(), QString());
    QCOMPARE(exporter.displayName(), QString());
    QCOMPARE(exporter.description(), QString());
    QCOMPARE(exporter.version(), QString());
    QCOMPARE(exporter.templateFile(), QString());
    QCOMPARE(exporter.fileExtension(), QString());
    QCOMPARE(exporter.yAxisDirection(), Exporter::Up);
    QCOMPARE(exporter.anchorPointEnabled(), true);
    QCOMPARE(exporter.anchorPointRelX(), 0.0);
    QCOMPARE(exporter.anchorPointRelY(), 0.0);
    QCOMPARE(exporter.supportsCircles(), true);
    QCOMPARE(exporter.originType(), Exporter::AnchorPoint);
    QCOMPARE(exporter.originRelX(), 0.0);
    QCOMPARE(exporter.originRelY(), 0.0);
    QCOMPARE(exporter.engine(), Exporter::Generic);
    QCOMPARE(exporter.physicsEngineName(), QStringLiteral("generic"));
    QCOMPARE(exporter.polygonOrientation(), Exporter::Unspecified);
    QVERIFY(exporter.globalParameters().isEmpty());
    QVERIFY(exporter.bodyParameters().isEmpty());
    QVERIFY(exporter.fixtureParameters().isEmpty());
    QVERIFY(!exporter.fixtureDefault(QStringLiteral("density")).isValid());
}

// ---------------------------------------------------------------------------
// Keywords and values

void TestExporterDefinitions::yAxisDirections_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<Exporter::YAxisDirection>("expected");
    QTest::newRow("up") << QByteArray("up") << Exporter::Up;
    QTest::newRow("UP") << QByteArray("UP") << Exporter::Up;
    QTest::newRow("down") << QByteArray("down") << Exporter::Down;
    QTest::newRow("Down") << QByteArray("Down") << Exporter::Down;
}

void TestExporterDefinitions::yAxisDirections()
{
    QFETCH(QByteArray, text);
    QFETCH(Exporter::YAxisDirection, expected);
    const Exporter exporter(exporterDirectory(minimalWith(yAxisUp, "<yAxisDirection>" + text + "</yAxisDirection>")));
    QCOMPARE(exporter.yAxisDirection(), expected);
}

void TestExporterDefinitions::originTypes_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<Exporter::OriginType>("expected");
    QTest::newRow("anchorpoint") << QByteArray("anchorpoint") << Exporter::AnchorPoint;
    QTest::newRow("AnchorPoint") << QByteArray("AnchorPoint") << Exporter::AnchorPoint;
    QTest::newRow("fixed") << QByteArray("fixed") << Exporter::Fixed;
    QTest::newRow("FIXED") << QByteArray("FIXED") << Exporter::Fixed;
}

void TestExporterDefinitions::originTypes()
{
    QFETCH(QByteArray, text);
    QFETCH(Exporter::OriginType, expected);
    const Exporter exporter(
        exporterDirectory(minimalWith(originLine, "<origin><type>" + text + "</type><relY>0.5</relY></origin>")));
    QCOMPARE(exporter.originType(), expected);
    QCOMPARE(exporter.originRelX(), 0.0);
    QCOMPARE(exporter.originRelY(), 0.5);
}

void TestExporterDefinitions::engineOrientations_data()
{
    QTest::addColumn<QByteArray>("engineText");
    QTest::addColumn<QByteArray>("orientationText");
    QTest::addColumn<Exporter::PhysicsEngine>("engine");
    QTest::addColumn<QString>("engineName");
    QTest::addColumn<Exporter::PolygonOrientation>("orientation");

    QTest::newRow("box2d default") << QByteArray("box2d") << QByteArray() << Exporter::Box2D << "box2d"
                                   << Exporter::CounterClockwise;
    QTest::newRow("chipmunk default") << QByteArray("Chipmunk") << QByteArray() << Exporter::Chipmunk
                                      << "chipmunk" << Exporter::Clockwise;
    QTest::newRow("generic default") << QByteArray("GENERIC") << QByteArray() << Exporter::Generic << "generic"
                                     << Exporter::Unspecified;
    QTest::newRow("box2d cw") << QByteArray("box2d") << QByteArray("cw") << Exporter::Box2D << "box2d"
                              << Exporter::Clockwise;
    QTest::newRow("chipmunk CCW") << QByteArray("chipmunk") << QByteArray("CCW") << Exporter::Chipmunk
                                  << "chipmunk" << Exporter::CounterClockwise;
    QTest::newRow("generic Cw") << QByteArray("generic") << QByteArray("Cw") << Exporter::Generic << "generic"
                                << Exporter::Clockwise;
}

void TestExporterDefinitions::engineOrientations()
{
    QFETCH(QByteArray, engineText);
    QFETCH(QByteArray, orientationText);
    QFETCH(Exporter::PhysicsEngine, engine);
    QFETCH(QString, engineName);
    QFETCH(Exporter::PolygonOrientation, orientation);

    const Exporter exporter(exporterDirectory(minimalWith(Replacements{
        {engineLine, "<physicsEngine>" + engineText + "</physicsEngine>"},
        {orientationLine, "<polygonOrientation>" + orientationText + "</polygonOrientation>"}})));
    QCOMPARE(exporter.engine(), engine);
    QCOMPARE(exporter.physicsEngineName(), engineName);
    QCOMPARE(exporter.polygonOrientation(), orientation);
}

void TestExporterDefinitions::fractions_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<double>("expected");
    QTest::newRow("decimal") << QByteArray("0.375") << 0.375;
    QTest::newRow("negative") << QByteArray("-1.25") << -1.25;
    QTest::newRow("exponent") << QByteArray("2.5e-1") << 0.25;
    QTest::newRow("empty") << QByteArray() << 0.0;
    QTest::newRow("not a number") << QByteArray("centre") << 0.0;
    QTest::newRow("comma separator") << QByteArray("0,5") << 0.0;
    QTest::newRow("nan") << QByteArray("nan") << 0.0;
    QTest::newRow("infinity") << QByteArray("inf") << 0.0;
    QTest::newRow("overflow") << QByteArray("1e999") << 0.0;
}

void TestExporterDefinitions::fractions()
{
    QFETCH(QByteArray, text);
    QFETCH(double, expected);
    const Exporter exporter(exporterDirectory(minimalWith(Replacements{
        {anchorLine, "<anchorPoint><relX>" + text + "</relX><relY>" + text + "</relY></anchorPoint>"},
        {originLine, "<origin><type>fixed</type><relX>" + text + "</relX><relY>" + text + "</relY></origin>"}})));
    QCOMPARE(exporter.anchorPointRelX(), expected);
    QCOMPARE(exporter.anchorPointRelY(), expected);
    QCOMPARE(exporter.originRelX(), expected);
    QCOMPARE(exporter.originRelY(), expected);
}

void TestExporterDefinitions::fractionsIgnoreTheLocale()
{
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const QString directory = exporterDirectory(minimalWith(Replacements{
        {anchorLine, "<anchorPoint><relX>0.5</relX><relY>1,5</relY></anchorPoint>"},
        {globalLine, "<global><parameter><name>f</name><type>float</type><default>0.25</default></parameter></global>"}}));
    try {
        const Exporter exporter(directory);
        QLocale::setDefault(previous);
        QCOMPARE(exporter.anchorPointRelX(), 0.5);
        QCOMPARE(exporter.anchorPointRelY(), 0.0);
        QCOMPARE(exporter.globalDefault(QStringLiteral("f")), QVariant(0.25f));
    } catch (const Error& error) {
        QLocale::setDefault(previous);
        QFAIL(qPrintable(error.message()));
    }
}

void TestExporterDefinitions::parameterValues_data()
{
    QTest::addColumn<QByteArray>("parameter");
    QTest::addColumn<QVariant>("minimum");
    QTest::addColumn<QVariant>("maximum");
    QTest::addColumn<QVariant>("defaultValue");
    QTest::addColumn<bool>("isBitfield");
    QTest::addColumn<int>("bitCount");

    const QVariant none;
    QTest::newRow("float empty gives no value")
        << QByteArray("<type>float</type><min></min><default>1.5</default>") << none << none << QVariant(1.5f)
        << false << 0;
    QTest::newRow("float not a number gives 0")
        << QByteArray("<type>float</type><min>low</min><max>1e60</max><default>nan</default>") << QVariant(0.0f)
        << QVariant(0.0f) << QVariant(0.0f) << false << 0;
    QTest::newRow("float negative") << QByteArray("<type>float</type><min>-0.5</min>") << QVariant(-0.5f) << none
                                    << none << false << 0;
    QTest::newRow("int absent gives 0") << QByteArray("<type>int</type>") << QVariant(0) << QVariant(0)
                                        << QVariant(0) << false << 0;
    QTest::newRow("int malformed gives 0")
        << QByteArray("<type>int</type><min>0x10</min><max>12abc</max><default>99999999999</default>")
        << QVariant(0) << QVariant(0) << QVariant(0) << false << 0;
    QTest::newRow("int bitfield yes") << QByteArray("<type>int</type><default>-7</default><bitfield>Yes</bitfield>")
                                      << QVariant(0) << QVariant(0) << QVariant(-7) << true << 0;
    QTest::newRow("uint negative gives 0") << QByteArray("<type>uint</type><min>-1</min><max>4000000000</max>")
                                           << QVariant(0u) << QVariant(4000000000u) << QVariant(0u) << false << 0;
    QTest::newRow("uint bitfield 1") << QByteArray("<type>uint</type><bitfield>1</bitfield>") << QVariant(0u)
                                     << QVariant(0u) << QVariant(0u) << true << 0;
    QTest::newRow("uint16 keeps low bits")
        << QByteArray("<type>uint16</type><min>65536</min><max>4294967295</max><default>70000</default>")
        << QVariant(0) << QVariant(65535) << QVariant(4464) << false << 0;
    QTest::newRow("uint16 malformed gives 0")
        << QByteArray("<type>uint16</type><min>-1</min><max>4294967296</max><default>ff</default>"
                      "<bitfield>no</bitfield>")
        << QVariant(0) << QVariant(0) << QVariant(0) << false << 0;
    QTest::newRow("bool TRUE") << QByteArray("<type>bool</type><min>1</min><default>TRUE</default>") << none << none
                               << QVariant(true) << false << 0;
    QTest::newRow("bool no") << QByteArray("<type>bool</type><default>no</default>") << none << none
                             << QVariant(false) << false << 0;
    QTest::newRow("bool 1") << QByteArray("<type>bool</type><default>1</default>") << none << none << QVariant(true)
                            << false << 0;
    QTest::newRow("string as written") << QByteArray("<type>string</type><min>a</min><default>Hello, World</default>")
                                       << none << none << QVariant(QStringLiteral("Hello, World")) << false << 0;
    QTest::newRow("string absent is empty text") << QByteArray("<type>string</type>") << none << none
                                                 << QVariant(QString()) << false << 0;
    QTest::newRow("bitfield size") << QByteArray("<type>bitfield</type><size>32</size><default>3</default>")
                                   << none << none << none << true << 32;
    QTest::newRow("bitfield without size") << QByteArray("<type>bitfield</type>") << none << none << none << true
                                           << 0;
    QTest::newRow("bitfield negative size") << QByteArray("<type>bitfield</type><size>-5</size>") << none << none
                                            << none << true << 0;
    QTest::newRow("bitfield huge size") << QByteArray("<type>bitfield</type><size>2147483647</size>") << none
                                        << none << none << true << 64;
    QTest::newRow("bitfield malformed size") << QByteArray("<type>bitfield</type><size>eight</size>") << none
                                             << none << none << true << 0;
}

void TestExporterDefinitions::parameterValues()
{
    QFETCH(QByteArray, parameter);
    QFETCH(QVariant, minimum);
    QFETCH(QVariant, maximum);
    QFETCH(QVariant, defaultValue);
    QFETCH(bool, isBitfield);
    QFETCH(int, bitCount);

    const Exporter exporter(exporterDirectory(withGlobalParameter("<name>value</name>" + parameter)));
    QCOMPARE(exporter.globalParameters().size(), 1);
    const GenericParameter* read = exporter.globalParameters().first();
    QCOMPARE(read->minimum().userType(), minimum.userType());
    QCOMPARE(read->minimum(), minimum);
    QCOMPARE(read->maximum().userType(), maximum.userType());
    QCOMPARE(read->maximum(), maximum);
    QCOMPARE(read->defaultValue().userType(), defaultValue.userType());
    QCOMPARE(read->defaultValue(), defaultValue);
    QCOMPARE(read->isBitfield(), isBitfield);
    QCOMPARE(read->bitCount(), bitCount);
}

// ---------------------------------------------------------------------------
// Errors

void TestExporterDefinitions::errors_data()
{
    QTest::addColumn<QByteArray>("xml");
    QTest::addColumn<int>("code");
    // "%FILE%" stands for the definition's path.
    QTest::addColumn<QString>("message");

    const QString yAxisMessage =
        QStringLiteral("yAxisDirection: %1. Supported directions are: up, down. EngineFile: %FILE%");
    const QString booleanMessage = QStringLiteral("Exporter My Exporter: Value for %1 (%2) must be true/false");
    const QString originMessage =
        QStringLiteral("origin type: %1. Supported types are: anchorpoint, fixed. EngineFile: %FILE%");
    const QString engineMessage = QStringLiteral(
        "Phsics engine not supported: %1. Supported engines are: box2d, chipmunk, generic. EngineFile: %FILE%");
    const QString orientationMessage =
        QStringLiteral("polygonOrientation: %1. Supported directions are: cw, ccw. EngineFile: %FILE%");
    const QString typeMessage = QStringLiteral("Exporter My Exporter: Unsupported custom value type %1 for %2");
    const QString badParameter = QStringLiteral("<parameter><name>%1</name><type>Float</type></parameter>");

    // Reading and parsing
    QTest::newRow("no file") << QByteArray() << 45 << "Can't read %FILE%";
    QTest::newRow("tag mismatch") << QByteArray("<exporter>\n<name>x</nam>\n</exporter>") << 45
                                  << "Can't read %FILE%: (2,13) Opening and ending tag mismatch.";
    QTest::newRow("empty file") << QByteArray("") << 45 << "Can't read %FILE%: (1,0) Premature end of document.";
    QTest::newRow("unclosed root") << QByteArray("<exporter>\n  <name>x</name>\n") << 45
                                   << "Can't read %FILE%: (3,0) Premature end of document.";
    QTest::newRow("undeclared entity") << QByteArray("<exporter><name>&nbsp;</name></exporter>") << 45
                                       << "Can't read %FILE%: (1,22) Entity 'nbsp' not declared.";

    // Step by step
    QTest::newRow("no root element") << QByteArray("<definition><yAxisDirection>up</yAxisDirection></definition>")
                                     << 46 << yAxisMessage.arg(QString());
    QTest::newRow("y axis missing") << minimalWith(yAxisUp, QByteArray()) << 46 << yAxisMessage.arg(QString());
    QTest::newRow("y axis empty") << minimalWith(yAxisUp, "<yAxisDirection></yAxisDirection>") << 46
                                  << yAxisMessage.arg(QString());
    QTest::newRow("y axis invalid") << minimalWith(yAxisUp, "<yAxisDirection>Sideways</yAxisDirection>") << 46
                                    << yAxisMessage.arg(QStringLiteral("sideways"));
    QTest::newRow("y axis padded") << minimalWith(yAxisUp, "<yAxisDirection> up</yAxisDirection>") << 46
                                   << yAxisMessage.arg(QStringLiteral(" up"));
    QTest::newRow("anchor enabled") << minimalWith(anchorLine, "<anchorPoint><enabled>Maybe</enabled></anchorPoint>")
                                    << 46 << booleanMessage.arg(QStringLiteral("enabled"), QStringLiteral("maybe"));
    QTest::newRow("supportsCircles") << minimalWith(circlesLine, "<supportsCircles>Often</supportsCircles>") << 46
                                     << booleanMessage.arg(QStringLiteral("supportsCircles"), QStringLiteral("often"));
    QTest::newRow("origin missing") << minimalWith(originLine, QByteArray()) << 46 << originMessage.arg(QString());
    QTest::newRow("origin type invalid") << minimalWith(originLine, "<origin><type>Centre</type></origin>") << 46
                                         << originMessage.arg(QStringLiteral("centre"));
    QTest::newRow("engine missing") << minimalWith(engineLine, QByteArray()) << 46 << engineMessage.arg(QString());
    QTest::newRow("engine invalid") << minimalWith(engineLine, "<physicsEngine>Box2D-3</physicsEngine>") << 46
                                    << engineMessage.arg(QStringLiteral("box2d-3"));
    QTest::newRow("type capitalised") << withGlobalParameter("<name>friction</name><type>Float</type>") << 46
                                      << typeMessage.arg(QStringLiteral("Float"), QStringLiteral("friction"));
    QTest::newRow("type missing") << withGlobalParameter("<name>friction</name>") << 46
                                  << typeMessage.arg(QString(), QStringLiteral("friction"));
    QTest::newRow("bool default") << withGlobalParameter("<name>b</name><type>bool</type><default>Sure</default>")
                                  << 46 << booleanMessage.arg(QStringLiteral("default"), QStringLiteral("sure"));
    QTest::newRow("bitfield flag") << withGlobalParameter("<name>i</name><type>uint16</type><bitfield>Perhaps</bitfield>")
                                   << 46 << booleanMessage.arg(QStringLiteral("bitfield"), QStringLiteral("perhaps"));
    QTest::newRow("collision parameter")
        << minimalWith(collisionLine, "<collision>" + badParameter.arg(QStringLiteral("mask")).toUtf8() + "</collision>")
        << 46 << typeMessage.arg(QStringLiteral("Float"), QStringLiteral("mask"));
    QTest::newRow("orientation invalid")
        << minimalWith(orientationLine, "<polygonOrientation>Clockwise</polygonOrientation>") << 46
        << orientationMessage.arg(QStringLiteral("clockwise"));

    // Two problems: the earlier step is reported, wherever the elements stand in the file.
    QTest::newRow("parse before content") << QByteArray("<exporter><physicsEngine>x</physicsEngine><oops></exporter>")
                                          << 45 << "Can't read %FILE%: (1,59) Opening and ending tag mismatch.";
    QTest::newRow("y axis before anchor")
        << minimalWith(Replacements{{yAxisUp, "<yAxisDirection>left</yAxisDirection>"},
                                    {anchorLine, "<anchorPoint><enabled>maybe</enabled></anchorPoint>"}})
        << 46 << yAxisMessage.arg(QStringLiteral("left"));
    QTest::newRow("anchor before circles")
        << minimalWith(Replacements{{anchorLine, "<anchorPoint><enabled>x</enabled></anchorPoint>"},
                                    {circlesLine, "<supportsCircles>y</supportsCircles>"}})
        << 46 << booleanMessage.arg(QStringLiteral("enabled"), QStringLiteral("x"));
    QTest::newRow("circles before origin")
        << minimalWith(Replacements{{circlesLine, "<supportsCircles>y</supportsCircles>"}, {originLine, ""}}) << 46
        << booleanMessage.arg(QStringLiteral("supportsCircles"), QStringLiteral("y"));
    QTest::newRow("origin before engine")
        << minimalWith(Replacements{{originLine, "<origin><type>top</type></origin>"}, {engineLine, ""}}) << 46
        << originMessage.arg(QStringLiteral("top"));
    QTest::newRow("engine before parameters")
        << minimalWith(Replacements{{engineLine, "<physicsEngine>ode</physicsEngine>"},
                                    {globalLine, "<global>" + badParameter.arg(QStringLiteral("g")).toUtf8() + "</global>"}})
        << 46 << engineMessage.arg(QStringLiteral("ode"));
    QTest::newRow("global before body")
        << minimalWith(Replacements{
               {globalLine, "<body>" + badParameter.arg(QStringLiteral("b")).toUtf8() + "</body><global>"
                    + badParameter.arg(QStringLiteral("g")).toUtf8() + "</global>"}})
        << 46 << typeMessage.arg(QStringLiteral("Float"), QStringLiteral("g"));
    QTest::newRow("fixture before collision")
        << minimalWith(Replacements{
               {collisionLine, "<collision>" + badParameter.arg(QStringLiteral("c")).toUtf8() + "</collision>"},
               {fixtureLine, "<fixture>" + badParameter.arg(QStringLiteral("f")).toUtf8() + "</fixture>"}})
        << 46 << typeMessage.arg(QStringLiteral("Float"), QStringLiteral("f"));
    QTest::newRow("first parameter of a list")
        << minimalWith(globalLine, "<global>" + badParameter.arg(QStringLiteral("one")).toUtf8()
                                       + badParameter.arg(QStringLiteral("two")).toUtf8() + "</global>")
        << 46 << typeMessage.arg(QStringLiteral("Float"), QStringLiteral("one"));
    QTest::newRow("collision before orientation")
        << minimalWith(Replacements{
               {orientationLine, "<polygonOrientation>none</polygonOrientation>"},
               {collisionLine, "<collision>" + badParameter.arg(QStringLiteral("c")).toUtf8() + "</collision>"}})
        << 46 << typeMessage.arg(QStringLiteral("Float"), QStringLiteral("c"));
    QTest::newRow("parameters before orientation")
        << minimalWith(Replacements{{orientationLine, ""},
                                    {"<exporter>", "<exporter><polygonOrientation>up</polygonOrientation>"},
                                    {fixtureLine, "<fixture>" + badParameter.arg(QStringLiteral("f")).toUtf8() + "</fixture>"}})
        << 46 << typeMessage.arg(QStringLiteral("Float"), QStringLiteral("f"));

    // Hostile files
    QTest::newRow("too large") << minimalWith("<name>minimal</name>",
                                              "<name>minimal</name><!--" + QByteArray(1024 * 1024, 'x') + "-->")
                               << 45 << "Can't read %FILE%: larger than 1048576 bytes";
    QByteArray deep = "<exporter>" + QByteArray("<a>").repeated(300) + QByteArray("</a>").repeated(300) + "</exporter>";
    QTest::newRow("deep nesting") << deep << 45
                                  << "Can't read %FILE%: (1,778) elements nested deeper than 256 levels";
    QTest::newRow("deep unclosed nesting") << QByteArray("<a>").repeated(100000) << 45
                                           << "Can't read %FILE%: (1,771) elements nested deeper than 256 levels";
    QTest::newRow("entity declaration")
        << QByteArray("<!DOCTYPE exporter [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;\">]>\n"
                      "<exporter><name>&b;</name></exporter>")
        << 45 << "Can't read %FILE%: (1,72) entity declarations are not supported";
    QTest::newRow("parameter entity")
        << QByteArray("<!DOCTYPE exporter [<!ENTITY % p \"<!ENTITY a 'aaaa'>\"> %p;]>\n"
                      "<exporter><name>&a;</name></exporter>")
        << 45 << "Can't read %FILE%: (1,60) entity declarations are not supported";
}

void TestExporterDefinitions::errors()
{
    QFETCH(QByteArray, xml);
    QFETCH(int, code);
    QFETCH(QString, message);

    const QString directory = xml.isNull() ? newDirectory() : exporterDirectory(xml);
    const QString file = directory + QStringLiteral("/exporter.xml");
    try {
        const Exporter exporter(directory);
        QFAIL("the definition was accepted");
    } catch (const Error& error) {
        QCOMPARE(error.message(), QString(message).replace(QLatin1String("%FILE%"), file));
        QCOMPARE(error.code(), code);
    }
}

void TestExporterDefinitions::missingDirectory()
{
    const QString directory = m_temp.path() + QStringLiteral("/does-not-exist");
    try {
        const Exporter exporter(directory);
        QFAIL("a missing directory was accepted");
    } catch (const Error& error) {
        QCOMPARE(error.code(), int(Error::ExporterFile));
        QCOMPARE(error.message(), QStringLiteral("Can't read ") + directory + QStringLiteral("/exporter.xml"));
    }
}

void TestExporterDefinitions::definitionThatIsNotARegularFile()
{
    // A directory or a FIFO named exporter.xml: refused without blocking.
    const QString withDirectory = newDirectory();
    QVERIFY(QDir(withDirectory).mkdir(QStringLiteral("exporter.xml")));
    const QString withFifo = newDirectory();
    QCOMPARE(::mkfifo(QFile::encodeName(withFifo + QStringLiteral("/exporter.xml")).constData(), 0600), 0);

    for (const QString& directory : {withDirectory, withFifo}) {
        try {
            const Exporter exporter(directory);
            QFAIL("a definition that is no file was accepted");
        } catch (const Error& error) {
            QCOMPARE(error.code(), int(Error::ExporterFile));
            QCOMPARE(error.message(), QStringLiteral("Can't read ") + directory + QStringLiteral("/exporter.xml"));
        }
    }
}

// ---------------------------------------------------------------------------
// The registry

void TestExporterDefinitions::scanRegistersEveryDirectory()
{
    RecordingReporter reporter;
    const QString root = newDirectory();
    const QString zeta = newDirectory(root);
    QVERIFY(writeFile(zeta + QStringLiteral("/exporter.xml"), definitionNamed("zeta", "Zeta")));
    const QString alpha = newDirectory(root);
    QVERIFY(writeFile(alpha + QStringLiteral("/exporter.xml"), definitionNamed("alpha", "Alpha")));
    // A plain file, even one that looks like a definition, is no exporter.
    QVERIFY(writeFile(root + QStringLiteral("/exporter.xml"), definitionNamed("file", "File")));
    QVERIFY(writeFile(root + QStringLiteral("/notes.txt"), "not an exporter"));

    ExporterRegistry& registry = ExporterRegistry::instance();
    registry.scanExporters(QDir(root).path());

    QVERIFY(reporter.entries.isEmpty());
    QCOMPARE(registry.names(), (QStringList{"alpha", "zeta"}));
    const QList<Exporter*> exporters = registry.exporters();
    QCOMPARE(exporters.size(), 2);
    QCOMPARE(exporters.at(0)->displayName(), QStringLiteral("Alpha"));
    QCOMPARE(exporters.at(1)->displayName(), QStringLiteral("Zeta"));
    QCOMPARE(registry.exporter(QStringLiteral("alpha")), exporters.at(0));
    QCOMPARE(registry.exporter(QStringLiteral("alpha"))->directory(), QFileInfo(alpha).absoluteFilePath());
    QVERIFY(!registry.exporter(QStringLiteral("file")));
    QVERIFY(!registry.isEmpty());
}

void TestExporterDefinitions::scanWritesDebugLines()
{
    const QString root = newDirectory();
    QVERIFY(writeFile(newDirectory(root) + QStringLiteral("/exporter.xml"), definitionNamed("one", "The One")));
    QTest::ignoreMessage(QtDebugMsg, qPrintable(QStringLiteral("Scanning for exporters in  \"%1\"").arg(root)));
    QTest::ignoreMessage(QtDebugMsg, "Adding exporter: The One");
    ExporterRegistry::instance().scanExporters(root);
    QCOMPARE(ExporterRegistry::instance().names(), QStringList{"one"});
}

void TestExporterDefinitions::scanReportsUnreadableAndContinues()
{
    RecordingReporter reporter;
    const QString root = newDirectory();
    QVERIFY(writeFile(newDirectory(root) + QStringLiteral("/exporter.xml"), definitionNamed("first", "First")));
    const QString empty = newDirectory(root);
    const QString invalid = newDirectory(root);
    QVERIFY(writeFile(invalid + QStringLiteral("/exporter.xml"),
                      minimalWith(engineLine, "<physicsEngine>none</physicsEngine>")));
    QVERIFY(writeFile(newDirectory(root) + QStringLiteral("/exporter.xml"), definitionNamed("last", "Last")));

    ExporterRegistry& registry = ExporterRegistry::instance();
    registry.scanExporters(root);

    QCOMPARE(registry.names(), (QStringList{"first", "last"}));
    QCOMPARE(reporter.entries.size(), 2);
    QStringList texts;
    for (const RecordingReporter::Entry& entry : std::as_const(reporter.entries)) {
        QCOMPARE(entry.severity, Reporter::Critical);
        QCOMPARE(entry.title, QStringLiteral("Failed to open exporter"));
        texts << entry.text;
    }
    texts.sort();
    const QString emptyFile = QFileInfo(empty).absoluteFilePath() + QStringLiteral("/exporter.xml");
    const QString invalidFile = QFileInfo(invalid).absoluteFilePath() + QStringLiteral("/exporter.xml");
    QCOMPARE(texts, (QStringList{QStringLiteral("Can't read ") + emptyFile,
                                 QStringLiteral("Phsics engine not supported: none. Supported engines are: box2d, "
                                                "chipmunk, generic. EngineFile: ")
                                     + invalidFile}));
}

void TestExporterDefinitions::scanUsesAbsolutePaths()
{
    RecordingReporter reporter;
    const QString root = newDirectory();
    const QString valid = newDirectory(root);
    QVERIFY(writeFile(valid + QStringLiteral("/exporter.xml"), definitionNamed("relative", "Relative")));
    const QString broken = newDirectory(root);

    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_temp.path()));
    ExporterRegistry::instance().scanExporters(QDir(m_temp.path()).relativeFilePath(root));
    QVERIFY(QDir::setCurrent(previous));

    const Exporter* exporter = ExporterRegistry::instance().exporter(QStringLiteral("relative"));
    QVERIFY(exporter);
    QCOMPARE(exporter->directory(), QFileInfo(valid).absoluteFilePath());
    QCOMPARE(reporter.entries.size(), 1);
    QCOMPARE(reporter.entries.first().text,
             QStringLiteral("Can't read ") + QFileInfo(broken).absoluteFilePath() + QStringLiteral("/exporter.xml"));
}

void TestExporterDefinitions::scanOfMissingDirectoryFindsNothing()
{
    RecordingReporter reporter;
    ExporterRegistry& registry = ExporterRegistry::instance();
    registry.scanExporters(m_temp.path() + QStringLiteral("/nowhere"));
    const QString file = m_temp.path() + QStringLiteral("/plain-file");
    QVERIFY(writeFile(file, "x"));
    registry.scanExporters(file);
    registry.scanExporters(QString());
    QVERIFY(registry.isEmpty());
    QVERIFY(reporter.entries.isEmpty());
}

void TestExporterDefinitions::laterScanReplacesSameName()
{
    RecordingReporter reporter;
    const QString builtIn = newDirectory();
    QVERIFY(writeFile(newDirectory(builtIn) + QStringLiteral("/exporter.xml"), definitionNamed("shared", "Built-in")));
    const QString custom = newDirectory();
    QVERIFY(writeFile(newDirectory(custom) + QStringLiteral("/exporter.xml"), definitionNamed("shared", "Custom")));

    ExporterRegistry& registry = ExporterRegistry::instance();
    registry.scanExporters(builtIn);
    Exporter* replaced = registry.exporter(QStringLiteral("shared"));
    QVERIFY(replaced);
    registry.scanExporters(custom);

    QCOMPARE(registry.names(), QStringList{"shared"});
    QCOMPARE(registry.exporter(QStringLiteral("shared"))->displayName(), QStringLiteral("Custom"));
    // The replaced exporter stays alive for whoever still points at it.
    QCOMPARE(replaced->displayName(), QStringLiteral("Built-in"));
    QVERIFY(reporter.entries.isEmpty());
}

void TestExporterDefinitions::namesAreSortedCaseSensitively()
{
    ExporterRegistry& registry = ExporterRegistry::instance();
    for (const char* name : {"beta", "alpha", "Zeta"})
        registry.add(new Exporter(exporterDirectory(definitionNamed(name, name))));
    QCOMPARE(registry.names(), (QStringList{"Zeta", "alpha", "beta"}));
    const QList<Exporter*> exporters = registry.exporters();
    QCOMPARE(exporters.size(), 3);
    QCOMPARE(exporters.at(0)->name(), QStringLiteral("Zeta"));
    QCOMPARE(exporters.at(2)->name(), QStringLiteral("beta"));
}

void TestExporterDefinitions::addingTwiceKeepsOneEntry()
{
    ExporterRegistry& registry = ExporterRegistry::instance();
    auto* exporter = new Exporter(exporterDirectory(definitionNamed("twice", "Twice")));
    registry.add(exporter);
    registry.add(exporter);
    registry.add(nullptr);
    QCOMPARE(registry.exporters().size(), 1);
    QCOMPARE(registry.exporters().first(), exporter);
}

void TestExporterDefinitions::findKnownExporter()
{
    RecordingReporter reporter;
    ExporterRegistry& registry = ExporterRegistry::instance();
    registry.add(new Exporter(exporterDirectory(definitionNamed("a", "A"))));
    auto* wanted = new Exporter(exporterDirectory(definitionNamed("b", "B")));
    registry.add(wanted);
    QCOMPARE(registry.findExporter(QStringLiteral("b")), wanted);
    QVERIFY(reporter.entries.isEmpty());
}

void TestExporterDefinitions::findUnknownExporterReportsAndFallsBack()
{
    RecordingReporter reporter;
    ExporterRegistry& registry = ExporterRegistry::instance();
    registry.add(new Exporter(exporterDirectory(definitionNamed("spine", "Spine"))));
    auto* first = new Exporter(exporterDirectory(definitionNamed("cocos", "Cocos")));
    registry.add(first);

    QCOMPARE(registry.findExporter(QStringLiteral("%2 missing")), first);
    QCOMPARE(reporter.entries.size(), 1);
    const RecordingReporter::Entry entry = reporter.entries.first();
    QCOMPARE(entry.severity, Reporter::Critical);
    QCOMPARE(entry.title, QStringLiteral("Unkown exporter"));
    QCOMPARE(entry.text,
             QStringLiteral("File was created using unknown exporter %2 missing. Please intall this exporter."));
}

void TestExporterDefinitions::findWithEmptyRegistry()
{
    RecordingReporter reporter;
    QCOMPARE(ExporterRegistry::instance().findExporter(QStringLiteral("box2d")), static_cast<Exporter*>(nullptr));
    QCOMPARE(reporter.entries.size(), 1);
    QCOMPARE(reporter.entries.first().title, QStringLiteral("Unkown exporter"));
    QCOMPARE(reporter.entries.first().text,
             QStringLiteral("File was created using unknown exporter box2d. Please intall this exporter."));
}

void TestExporterDefinitions::clearForgetsEntries()
{
    ExporterRegistry& registry = ExporterRegistry::instance();
    auto* exporter = new Exporter(exporterDirectory(definitionNamed("kept", "Kept")));
    registry.add(exporter);
    registry.clear();
    QVERIFY(registry.isEmpty());
    QVERIFY(registry.names().isEmpty());
    QVERIFY(!registry.exporter(QStringLiteral("kept")));
    // Cleared entries are forgotten, not destroyed.
    QCOMPARE(exporter->name(), QStringLiteral("kept"));
}

int main(int argc, char** argv)
{
    TestSupport::isolateSettings();
    QCoreApplication app(argc, argv);
    app.setOrganizationName(QStringLiteral("hullwright.org"));
    app.setApplicationName(QStringLiteral("tst_exporterdefinitions"));
    TestExporterDefinitions test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_exporterdefinitions.moc"
