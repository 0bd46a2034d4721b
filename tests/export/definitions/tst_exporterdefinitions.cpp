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

#include <algorithm>
#include <utility>

namespace {

// Every setting given, "collision" written before "fixture" and a repeated fixture parameter name.
const char fullDefinition[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<exporter>
  <name>box2d-generic</name><displayName>Box2D generic (XML)</displayName><version>1.2.3</version>
  <description>Exporter for Box2D, XML format</description><template>box2d.xml</template>
  <yAxisDirection>Down</yAxisDirection><physicsEngine>Box2D</physicsEngine><fileExtension>xml</fileExtension>
  <anchorPoint><enabled>No</enabled><relX>0.25</relX><relY>0.75</relY></anchorPoint>
  <origin><type>Fixed</type><relX>0.125</relX><relY>1.5</relY></origin>
  <supportsCircles>false</supportsCircles><polygonOrientation>CW</polygonOrientation>
  <global><parameter><name>scale</name><displayName>Scale</displayName><description>Pixels per metre</description>
      <shortDescription>PTM ratio</shortDescription><type>float</type><min>0.5</min><max>1000</max><default>32</default>
    </parameter><parameter><name>title</name><type>string</type><default>Level One</default></parameter></global>
  <body><parameter><name>fixedRotation</name><type>bool</type><default>Yes</default></parameter>
    <parameter><name>bullet</name><type>bool</type></parameter><parameter><name>gravityScale</name><type>int</type>
      <min>-10</min><max>10</max><default>1</default></parameter></body>
  <collision><parameter><name>categoryBits</name><type>uint16</type><min>0</min><max>65535</max><default>70000</default>
      <bitfield>TRUE</bitfield></parameter><parameter><name>groupIndex</name><type>int</type><default>-3</default>
    </parameter><parameter><name>layers</name><type>bitfield</type><size>16</size><min>1</min><default>7</default>
    </parameter></collision>
  <fixture><parameter><name>density</name><type>float</type><default>2.5</default></parameter>
    <parameter><name>mask</name><type>uint</type><min>1</min><max>4294967295</max><default>65535</default>
      <bitfield>0</bitfield></parameter><parameter><name>density</name><type>float</type><default>9</default>
    </parameter></fixture>
</exporter>
)";

using Elements = QList<std::pair<QByteArray, QByteArray>>;

// The smallest valid definition with some elements changed: a null content leaves one
// out, and elements it does not have are added at the end.
QByteArray minimal(const Elements& changes = {})
{
    Elements elements{{"name", "minimal"}, {"displayName", "My Exporter"}, {"yAxisDirection", "up"},
                      {"anchorPoint", "<enabled>true</enabled><relX>0.5</relX>"}, {"supportsCircles", "yes"},
                      {"origin", "<type>anchorpoint</type><relX>0.5</relX>"}, {"physicsEngine", "box2d"},
                      {"global", ""}, {"collision", ""}, {"fixture", ""}, {"polygonOrientation", ""}};
    for (const auto& change : changes) {
        const auto found = std::find_if(elements.begin(), elements.end(),
                                        [&](const auto& element) { return element.first == change.first; });
        if (found == elements.end())
            elements << change;
        else
            found->second = change.second;
    }
    QByteArray xml = "<exporter>";
    for (const auto& element : elements) {
        if (!element.second.isNull())
            xml += "<" + element.first + ">" + element.second + "</" + element.first + ">\n";
    }
    return xml + "</exporter>";
}

QByteArray withGlobalParameter(const QByteArray& parameter)
{
    return minimal({{"global", "<parameter>" + parameter + "</parameter>"}});
}

bool writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size();
}

// The scalar settings in one line, so that a table row states them all.
QString settings(const Exporter& e)
{
    static const char* const engines[] = {"generic", "box2d", "chipmunk"};
    static const char* const windings[] = {"any", "cw", "ccw"};
    return QStringLiteral("%1, anchor %2 %3 %4, circles %5, origin %6 %7 %8, %9")
        .arg(e.yAxisDirection() == Exporter::Up ? "up" : "down", e.anchorPointEnabled() ? "on" : "off")
        .arg(e.anchorPointRelX()).arg(e.anchorPointRelY())
        .arg(e.supportsCircles() ? "yes" : "no", e.originType() == Exporter::Fixed ? "fixed" : "anchor")
        .arg(e.originRelX()).arg(e.originRelY())
        .arg(QStringLiteral("%1/%2 %3").arg(engines[e.engine()], e.physicsEngineName(),
                                            windings[e.polygonOrientation()]));
}

QString value(const QVariant& v)
{
    return v.isValid() ? QStringLiteral("%1 %2").arg(QLatin1String(v.typeName()), v.toString()) : QStringLiteral("-");
}

QString describe(const GenericParameter* p)
{
    return QStringLiteral("%1 %2 [%3, %4] %5%6")
        .arg(p->name(), p->type(), value(p->minimum()), value(p->maximum()), value(p->defaultValue()),
             p->isBitfield() ? QStringLiteral(" bits %1").arg(p->bitCount()) : QString());
}

QStringList describe(const QList<const GenericParameter*>& parameters)
{
    QStringList result;
    for (const GenericParameter* parameter : parameters)
        result << describe(parameter);
    return result;
}

}

class TestExporterDefinitions : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void fullDefinition();
    void read_data();
    void read();
    void registry();

private:
    // A new directory holding `xml` as its exporter.xml; null: no exporter.xml.
    QString exporterDirectory(const QByteArray& xml, const QString& parent = QString());

    QTemporaryDir m_temp;
    int m_directoryCount = 0;
};

void TestExporterDefinitions::initTestCase()
{
    // Definitions are C-locale files wherever they are read; a decimal comma must not sneak in.
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
}

void TestExporterDefinitions::init()
{
    QVERIFY(m_temp.isValid());
    ExporterRegistry::instance().clear();
}

QString TestExporterDefinitions::exporterDirectory(const QByteArray& xml, const QString& parent)
{
    const QString directory = (parent.isEmpty() ? m_temp.path() : parent) + QStringLiteral("/exporter")
        + QString::number(++m_directoryCount);
    if (!QDir().mkpath(directory) || (!xml.isNull() && !writeFile(directory + QStringLiteral("/exporter.xml"), xml)))
        qFatal("cannot write into %s", qPrintable(directory));
    return directory;
}

void TestExporterDefinitions::fullDefinition()
{
    const QString directory = exporterDirectory(::fullDefinition);
    const Exporter e(directory);
    QCOMPARE(e.directory(), directory);
    QCOMPARE((QStringList{e.name(), e.displayName(), e.description(), e.version(), e.templateFile(),
                          e.fileExtension()}),
             (QStringList{"box2d-generic", "Box2D generic (XML)", "Exporter for Box2D, XML format", "1.2.3",
                          "box2d.xml", "xml"}));
    // The written orientation overrides the engine's counter-clockwise.
    QCOMPARE(::settings(e), "down, anchor off 0.25 0.75, circles no, origin fixed 0.125 1.5, box2d/box2d cw");

    const GenericParameter* scale = e.globalParameters().value(0);
    QVERIFY(scale);
    QCOMPARE((QStringList{scale->displayName(), scale->description(), scale->shortDescription()}),
             (QStringList{"Scale", "Pixels per metre", "PTM ratio"}));
    QCOMPARE(describe(e.globalParameters()),
             (QStringList{"scale float [float 0.5, float 1000] float 32", "title string [-, -] QString Level One"}));
    QCOMPARE(describe(e.bodyParameters()), (QStringList{"fixedRotation bool [-, -] bool true",
                                                        "bullet bool [-, -] bool false",
                                                        "gravityScale int [int -10, int 10] int 1"}));
    // The collision parameters follow the fixture ones wherever they stand in the file.
    QCOMPARE(describe(e.fixtureParameters()),
             (QStringList{"density float [-, -] float 2.5", "mask uint [uint 1, uint 4294967295] uint 65535",
                          "density float [-, -] float 9", "categoryBits uint16 [int 0, int 65535] int 4464 bits 0",
                          "groupIndex int [int 0, int 0] int -3", "layers bitfield [-, -] - bits 16"}));

    // Defaults by name: the first of two same names, none for a bitfield, exact case, own list only.
    QCOMPARE((QStringList{value(e.globalDefault("scale")), value(e.globalDefault("title")),
                          value(e.bodyDefault("gravityScale")), value(e.fixtureDefault("categoryBits")),
                          value(e.fixtureDefault("density")), value(e.fixtureDefault("layers")),
                          value(e.fixtureDefault("friction")), value(e.bodyDefault("scale")),
                          value(e.globalDefault("Scale"))}),
             (QStringList{"float 32", "QString Level One", "int 1", "int 4464", "float 2.5", "-", "-", "-", "-"}));
}

void TestExporterDefinitions::read_data()
{
    // What a definition reads as: its settings and global parameters, or the error that refuses it,
    // the first problem in reading order. "%FILE%" stands for the definition's path; "<no file>",
    // "<directory>" and "<fifo>" for what stands there instead of a file.
    QTest::addColumn<QByteArray>("xml");
    QTest::addColumn<QString>("expected");
    const auto row = [](const char* name, const QByteArray& xml, const QString& expected) {
        QTest::newRow(name) << xml << expected;
    };
    const QString minimalSettings = "up, anchor on 0.5 0, circles yes, origin anchor 0.5 0, box2d/box2d ccw";
    const auto parameter = [&](const char* parameter, const char* expected) {
        QTest::newRow(parameter) << withGlobalParameter("<name>value</name>" + QByteArray(parameter))
                                 << minimalSettings + "; value " + expected;
    };

    row("minimal", minimal(), minimalSettings);
    // Only what has no default given.
    row("defaults", "<exporter><yAxisDirection>up</yAxisDirection><origin><type>anchorPoint</type></origin>"
                    "<physicsEngine>generic</physicsEngine></exporter>",
        "up, anchor on 0 0, circles yes, origin anchor 0 0, generic/generic any");
    // Keywords in any case; each engine brings its winding unless one is written.
    row("keywords", minimal({{"yAxisDirection", "UP"}, {"origin", "<type>FIXED</type><relY>0.5</relY>"},
                             {"physicsEngine", "Chipmunk"}}),
        "up, anchor on 0.5 0, circles yes, origin fixed 0 0.5, chipmunk/chipmunk cw");
    row("generic Cw", minimal({{"physicsEngine", "GENERIC"}, {"polygonOrientation", "Cw"}}),
        "up, anchor on 0.5 0, circles yes, origin anchor 0.5 0, generic/generic cw");
    row("chipmunk CCW", minimal({{"physicsEngine", "chipmunk"}, {"polygonOrientation", "CCW"}}),
        "up, anchor on 0.5 0, circles yes, origin anchor 0.5 0, chipmunk/chipmunk ccw");
    // Fractions are C-locale numbers; anything else, NaN and infinities included, reads as 0.
    const auto fractions = [](const QByteArray& a, const QByteArray& b, const QByteArray& c, const QByteArray& d) {
        return minimal({{"anchorPoint", "<relX>" + a + "</relX><relY>" + b + "</relY>"},
                        {"origin", "<type>fixed</type><relX>" + c + "</relX><relY>" + d + "</relY>"}});
    };
    row("fractions", fractions("0.375", "-1.25", "2.5e-1", ""),
        "up, anchor on 0.375 -1.25, circles yes, origin fixed 0.25 0, box2d/box2d ccw");
    row("bad fractions", fractions("centre", "0,5", "nan", "inf"),
        "up, anchor on 0 0, circles yes, origin fixed 0 0, box2d/box2d ccw");
    row("overflowing fractions", fractions("1e999", "-1e999", "1", "0x10"),
        "up, anchor on 0 0, circles yes, origin fixed 1 0, box2d/box2d ccw");

    // Parameter values: malformed numbers read as 0, never as NaN or a wrapped value.
    parameter("<type>float</type><min>low</min><max>1e60</max><default>nan</default>",
              "float [float 0, float 0] float 0");
    parameter("<type>float</type><min>-0.5</min><max>inf</max>", "float [float -0.5, float 0] -");
    parameter("<type>int</type><min>0x10</min><max>12abc</max><default>99999999999</default>",
              "int [int 0, int 0] int 0");
    parameter("<type>uint</type><min>-1</min><max>4000000000</max><bitfield>1</bitfield>",
              "uint [uint 0, uint 4000000000] uint 0 bits 0");
    // 16-bit values keep the low 16 bits.
    parameter("<type>uint16</type><min>65536</min><max>4294967295</max><default>70000</default>",
              "uint16 [int 0, int 65535] int 4464");
    parameter("<type>uint16</type><min>-1</min><max>4294967296</max><default>ff</default><bitfield>no</bitfield>",
              "uint16 [int 0, int 0] int 0");
    parameter("<type>bool</type><min>1</min><default>TRUE</default>", "bool [-, -] bool true");
    parameter("<type>string</type>", "string [-, -] QString ");
    // The bit count stays within 0 to 64 bits.
    parameter("<type>bitfield</type><size>-5</size>", "bitfield [-, -] - bits 0");
    parameter("<type>bitfield</type><size>2147483647</size>", "bitfield [-, -] - bits 64");
    parameter("<type>bitfield</type><size>eight</size>", "bitfield [-, -] - bits 0");

    const QString read = QStringLiteral("Can't read %FILE%");
    const QString yAxis = QStringLiteral("yAxisDirection: %1. Supported directions are: up, down. EngineFile: %FILE%");
    const QString boolean = QStringLiteral("Exporter My Exporter: Value for %1 (%2) must be true/false");
    const QString origin =
        QStringLiteral("origin type: %1. Supported types are: anchorpoint, fixed. EngineFile: %FILE%");
    const QString engine = QStringLiteral(
        "Phsics engine not supported: %1. Supported engines are: box2d, chipmunk, generic. EngineFile: %FILE%");
    const QString type = QStringLiteral("Exporter My Exporter: Unsupported custom value type %1 for %2");
    const auto bad = [](const char* name) -> QByteArray {
        return QByteArray("<parameter><name>") + name + "</name><type>Float</type></parameter>";
    };

    // Refused while reading and parsing
    row("no file", "<no file>", read);
    row("directory", "<directory>", read);
    row("fifo", "<fifo>", read);
    row("tag mismatch", "<exporter>\n<name>x</nam>\n</exporter>", read + ": (2,13) Opening and ending tag mismatch.");
    row("empty file", "", read + ": (1,0) Premature end of document.");
    row("unclosed root", "<exporter>\n  <name>x</name>\n", read + ": (3,0) Premature end of document.");
    row("undeclared entity", "<exporter><name>&nbsp;</name></exporter>", read + ": (1,22) Entity 'nbsp' not declared.");

    // Refused for their content
    row("no root element", "<definition><yAxisDirection>up</yAxisDirection></definition>", yAxis.arg(QString()));
    row("y axis invalid", minimal({{"yAxisDirection", "Sideways"}}), yAxis.arg("sideways"));
    row("y axis padded", minimal({{"yAxisDirection", " up"}}), yAxis.arg(" up"));
    row("anchor enabled", minimal({{"anchorPoint", "<enabled>Maybe</enabled>"}}), boolean.arg("enabled", "maybe"));
    row("circles", minimal({{"supportsCircles", "Often"}}), boolean.arg("supportsCircles", "often"));
    row("origin invalid", minimal({{"origin", "<type>Centre</type>"}}), origin.arg("centre"));
    row("engine invalid", minimal({{"physicsEngine", "Box2D-3"}}), engine.arg("box2d-3"));
    row("type capitalised", withGlobalParameter("<name>f</name><type>Float</type>"), type.arg("Float", "f"));
    row("type missing", withGlobalParameter("<name>f</name>"), type.arg(QString(), "f"));
    row("bool default", withGlobalParameter("<name>b</name><type>bool</type><default>Sure</default>"),
        boolean.arg("default", "sure"));
    row("bitfield flag", withGlobalParameter("<name>i</name><type>uint16</type><bitfield>Perhaps</bitfield>"),
        boolean.arg("bitfield", "perhaps"));
    row("collision parameter", minimal({{"collision", bad("mask")}}), type.arg("Float", "mask"));
    row("winding invalid", minimal({{"polygonOrientation", "Clockwise"}}),
        "polygonOrientation: clockwise. Supported directions are: cw, ccw. EngineFile: %FILE%");

    // Two problems: the earlier step is reported, wherever the elements stand in the file.
    row("parse first", "<exporter><physicsEngine>x</physicsEngine><oops></exporter>",
        read + ": (1,59) Opening and ending tag mismatch.");
    row("y axis first", minimal({{"yAxisDirection", QByteArray()}, {"anchorPoint", "<enabled>x</enabled>"}}),
        yAxis.arg(QString()));
    row("anchor first", minimal({{"anchorPoint", "<enabled>x</enabled>"}, {"supportsCircles", "y"}}),
        boolean.arg("enabled", "x"));
    row("circles first", minimal({{"supportsCircles", "y"}, {"origin", QByteArray()}}),
        boolean.arg("supportsCircles", "y"));
    row("origin first", minimal({{"origin", "<type>top</type>"}, {"physicsEngine", QByteArray()}}), origin.arg("top"));
    row("engine first", minimal({{"physicsEngine", QByteArray()}, {"global", bad("g")}}), engine.arg(QString()));
    row("global first", minimal({{"body", bad("b")}, {"global", bad("g")}}), type.arg("Float", "g"));
    row("fixture first", minimal({{"collision", bad("c")}, {"fixture", bad("f")}}), type.arg("Float", "f"));
    row("first of a list", minimal({{"global", bad("one") + bad("two")}}), type.arg("Float", "one"));
    row("parameters first", minimal({{"polygonOrientation", QByteArray()}, {"collision", bad("c")}})
                                .replace("<exporter>", "<exporter><polygonOrientation>up</polygonOrientation>"),
        type.arg("Float", "c"));

    // Hostile files
    row("too large", minimal({{"name", "<!--" + QByteArray(1024 * 1024, 'x') + "-->"}}),
        read + ": larger than 1048576 bytes");
    row("deep nesting",
        "<exporter>" + QByteArray("<a>").repeated(300) + QByteArray("</a>").repeated(300) + "</exporter>",
        read + ": (1,778) elements nested deeper than 256 levels");
    row("deep unclosed nesting", QByteArray("<a>").repeated(100000),
        read + ": (1,771) elements nested deeper than 256 levels");
    row("entity declaration",
        "<!DOCTYPE exporter [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;\">]>\n"
        "<exporter><name>&b;</name></exporter>",
        read + ": (1,72) entity declarations are not supported");
    row("parameter entity",
        "<!DOCTYPE exporter [<!ENTITY % p \"<!ENTITY a 'aaaa'>\"> %p;]>\n<exporter><name>&a;</name></exporter>",
        read + ": (1,60) entity declarations are not supported");
}

void TestExporterDefinitions::read()
{
    QFETCH(QByteArray, xml);
    QFETCH(QString, expected);

    const bool special = xml == "<no file>" || xml == "<directory>" || xml == "<fifo>";
    const QString directory = exporterDirectory(special ? QByteArray() : xml);
    const QString file = directory + QStringLiteral("/exporter.xml");
    // Something that is no regular file is refused without blocking.
    if (xml == "<directory>")
        QVERIFY(QDir(directory).mkdir(QStringLiteral("exporter.xml")));
    if (xml == "<fifo>")
        QCOMPARE(::mkfifo(QFile::encodeName(file).constData(), 0600), 0);
    try {
        const Exporter exporter(directory);
        QCOMPARE((QStringList(::settings(exporter)) + describe(exporter.globalParameters())).join("; "), expected);
    } catch (const Error& error) {
        QCOMPARE(error.message(), QString(expected).replace(QLatin1String("%FILE%"), file));
        // 45: the file cannot be read or parsed; 46: its content is invalid.
        QCOMPARE(error.code(), expected.startsWith(QLatin1String("Can't read")) ? 45 : 46);
    }
}

void TestExporterDefinitions::registry()
{
    RecordingReporter reporter;
    ExporterRegistry& registry = ExporterRegistry::instance();
    QCOMPARE(registry.findExporter(QStringLiteral("box2d")), static_cast<Exporter*>(nullptr));
    const QString root = exporterDirectory(QByteArray());
    const QString zeta = exporterDirectory(minimal({{"name", "zeta"}}), root);
    const QString empty = exporterDirectory(QByteArray(), root);
    const QString invalid = exporterDirectory(minimal({{"physicsEngine", "none"}}), root);
    exporterDirectory(minimal({{"name", "alpha"}}), root);
    // A plain file, even one that looks like a definition, is no exporter.
    QVERIFY(writeFile(root + QStringLiteral("/exporter.xml"), minimal({{"name", "file"}})));

    // Relative to the working directory: the exporters still know where they are.
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_temp.path()));
    registry.scanExporters(QDir(m_temp.path()).relativeFilePath(root));
    QVERIFY(QDir::setCurrent(previous));
    // Neither a missing directory, a file nor an empty path adds anything.
    registry.scanExporters(m_temp.path() + QStringLiteral("/nowhere"));
    registry.scanExporters(root + QStringLiteral("/exporter.xml"));
    registry.scanExporters(QString());
    QCOMPARE(registry.exporter(QStringLiteral("zeta"))->directory(), QFileInfo(zeta).absoluteFilePath());

    // A later exporter of a name replaces the earlier one, which stays alive for whoever points at it.
    Exporter* builtIn = registry.exporter(QStringLiteral("zeta"));
    auto* custom = new Exporter(exporterDirectory(minimal({{"name", "zeta"}})));
    registry.add(custom);
    registry.add(custom);
    registry.add(nullptr);
    registry.add(new Exporter(exporterDirectory(minimal({{"name", "Beta"}}))));
    // Sorted by name, capitals first.
    QCOMPARE(registry.names(), (QStringList{"Beta", "alpha", "zeta"}));
    QCOMPARE(registry.exporters().size(), 3);
    QCOMPARE(registry.exporters().last(), custom);
    QCOMPARE(registry.findExporter(QStringLiteral("zeta")), custom);
    QCOMPARE(builtIn->name(), QStringLiteral("zeta"));
    // An unknown name is reported, and the first exporter stands in.
    QCOMPARE(registry.findExporter(QStringLiteral("%2 missing")), registry.exporter(QStringLiteral("Beta")));

    QStringList texts;
    for (const RecordingReporter::Entry& entry : std::as_const(reporter.entries))
        texts << QStringLiteral("%1 %2: %3").arg(entry.severity == Reporter::Critical).arg(entry.title, entry.text);
    texts.sort();
    QCOMPARE(texts, (QStringList{
        QStringLiteral("1 Failed to open exporter: Can't read %1/exporter.xml")
            .arg(QFileInfo(empty).absoluteFilePath()),
        QStringLiteral("1 Failed to open exporter: Phsics engine not supported: none. Supported engines are: box2d, "
                       "chipmunk, generic. EngineFile: %1/exporter.xml").arg(QFileInfo(invalid).absoluteFilePath()),
        "1 Unkown exporter: File was created using unknown exporter %2 missing. Please intall this exporter.",
        "1 Unkown exporter: File was created using unknown exporter box2d. Please intall this exporter."}));

    // Cleared entries are forgotten, not destroyed.
    registry.clear();
    QVERIFY(registry.isEmpty() && registry.names().isEmpty() && !registry.exporter(QStringLiteral("zeta")));
    QCOMPARE(custom->name(), QStringLiteral("zeta"));
}

int main(int argc, char** argv)
{
    TestSupport::isolateSettings();
    QCoreApplication app(argc, argv);
    TestExporterDefinitions test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_exporterdefinitions.moc"
