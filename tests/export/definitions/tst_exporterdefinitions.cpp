#include "error.h"
#include "exporter.h"
#include "exporterregistry.h"
#include "genericparameter.h"
#include "testsupport.h"

#include <QtTest>

#include <sys/stat.h>

namespace {

// Every setting given, "collision" written before "fixture" and a repeated fixture parameter name.
const char fullDefinition[] = R"(<?xml version="1.0" encoding="UTF-8"?><exporter><name>box2d-generic</name>
  <displayName>Box2D generic (XML)</displayName><version>1.2.3</version>
  <description>Exporter for Box2D, XML format</description><template>box2d.xml</template>
  <yAxisDirection>Down</yAxisDirection><physicsEngine>Box2D</physicsEngine><fileExtension>xml</fileExtension>
  <anchorPoint><enabled>No</enabled><relX>0.25</relX><relY>0.75</relY></anchorPoint><origin><type>Fixed</type>
  <relX>0.125</relX><relY>1.5</relY></origin><supportsCircles>false</supportsCircles>
  <polygonOrientation>CW</polygonOrientation><global><parameter><name>scale</name><displayName>Scale</displayName>
  <description>Pixels per metre</description><shortDescription>PTM ratio</shortDescription><type>float</type>
  <min>0.5</min><max>1000</max><default>32</default></parameter><parameter><name>title</name><type>string</type>
  <default>Level One</default></parameter></global><body><parameter><name>fixedRotation</name><type>bool</type>
  <default>Yes</default></parameter><parameter><name>bullet</name><type>bool</type></parameter><parameter>
  <name>gravityScale</name><type>int</type><min>-10</min><max>10</max><default>1</default></parameter></body><collision>
  <parameter><name>categoryBits</name><type>uint16</type><max>65535</max><default>70000</default>
  <bitfield>TRUE</bitfield></parameter><parameter><name>layers</name><type>bitfield</type><size>16</size>
  <default>7</default></parameter></collision><fixture><parameter><name>density</name><type>float</type>
  <default>2.5</default></parameter><parameter><name>mask</name><type>uint</type><max>4294967295</max>
  <default>65535</default><bitfield>0</bitfield></parameter><parameter><name>density</name><type>float</type>
  <default>9</default></parameter></fixture></exporter>)";

// The smallest valid definition with elements changed: a null content removes one, and one
// it does not have is added at the end.
QByteArray minimal(const QList<std::pair<QString, QString>>& changes = {})
{
    QString xml = "<exporter><polygonOrientation/><name>minimal</name><displayName>My Exporter</displayName>"
                  "<yAxisDirection>up</yAxisDirection><anchorPoint><enabled>true</enabled><relX>0.5</relX>"
                  "</anchorPoint><supportsCircles>yes</supportsCircles><origin><type>anchorpoint</type><relX>0.5"
                  "</relX></origin><physicsEngine>box2d</physicsEngine><global/><collision/><fixture/></exporter>";
    for (const auto& [tag, content] : changes) {
        const QString element = content.isNull() ? QString() : QStringLiteral("<%1>%2</%1>").arg(tag, content);
        const QRegularExpression old(QStringLiteral("<%1>.*?</%1>|<%1/>").arg(tag));
        xml = xml.contains(old) ? xml.replace(old, element) : xml.replace("</exporter>", element + "</exporter>");
    }
    return xml.toUtf8();
}

QString value(const QVariant& v)
{
    return v.isValid() ? QStringLiteral("%1 %2").arg(QLatin1String(v.typeName()), v.toString()) : QStringLiteral("-");
}

// The settings, then each parameter of the global (g), body (b) and fixture (f) lists, in one line.
QString summary(const Exporter& e)
{
    static const char* const engines[] = {"generic", "box2d", "chipmunk"};
    static const char* const windings[] = {"any", "cw", "ccw"};
    QStringList parts{QStringLiteral("%1, anchor %2 %3 %4, circles %5, origin %6 %7 %8, %9")
        .arg(e.yAxisDirection() == Exporter::Up ? "up" : "down", e.anchorPointEnabled() ? "on" : "off")
        .arg(e.anchorPointRelX()).arg(e.anchorPointRelY())
        .arg(e.supportsCircles() ? "yes" : "no", e.originType() == Exporter::Fixed ? "fixed" : "anchor")
        .arg(e.originRelX()).arg(e.originRelY())
        .arg(QStringLiteral("%1/%2 %3").arg(engines[e.engine()], e.physicsEngineName(),
                                            windings[e.polygonOrientation()]))};
    const QList<const GenericParameter*> lists[] = {e.globalParameters(), e.bodyParameters(), e.fixtureParameters()};
    for (int i = 0; i < 3; ++i) {
        for (const GenericParameter* p : lists[i])
            parts << QStringLiteral("%1 %2 %3 [%4, %5] %6%7")
                         .arg(QString(QChar("gbf"[i])), p->name(), p->type(), value(p->minimum()),
                              value(p->maximum()), value(p->defaultValue()),
                              p->isBitfield() ? QStringLiteral(" bits %1").arg(p->bitCount()) : QString());
    }
    return parts.join("; ");
}

}

class TestExporterDefinitions : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void texts();
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
    QVERIFY(m_temp.isValid());
    // Definitions are C-locale files wherever they are read; a decimal comma must not sneak in.
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
}

QString TestExporterDefinitions::exporterDirectory(const QByteArray& xml, const QString& parent)
{
    const QString directory = (parent.isEmpty() ? m_temp.path() : parent) + "/exporter"
        + QString::number(++m_directoryCount);
    QFile file(directory + "/exporter.xml");
    if (!QDir().mkpath(directory) || (!xml.isNull() && (!file.open(QIODevice::WriteOnly) || file.write(xml) < 0)))
        qFatal("cannot write into %s", qPrintable(directory));
    return directory;
}

void TestExporterDefinitions::texts()
{
    const Exporter e(exporterDirectory(::fullDefinition));
    const GenericParameter* scale = e.globalParameters().value(0);
    QVERIFY(scale);
    QCOMPARE((QStringList{e.name(), e.displayName(), e.description(), e.version(), e.templateFile(), e.fileExtension(),
                          scale->displayName(), scale->description(), scale->shortDescription()}).join('|'),
             "box2d-generic|Box2D generic (XML)|Exporter for Box2D, XML format|1.2.3|box2d.xml|xml|Scale|Pixels per "
             "metre|PTM ratio");
    // Defaults by name: the first of two same names, none for a bitfield, exact case, own list only.
    QCOMPARE((QStringList{value(e.globalDefault("title")), value(e.fixtureDefault("density")),
                          value(e.fixtureDefault("layers")), value(e.bodyDefault("title")),
                          value(e.globalDefault("Scale"))}).join('|'), "QString Level One|float 2.5|-|-|-");
}

void TestExporterDefinitions::read_data()
{
    // What a definition reads as (see summary()), or the error that refuses it: the first problem
    // in reading order. "%FILE%" stands for the definition's path; "<no file>", "<directory>" and
    // "<fifo>" for what stands there instead of a file.
    QTest::addColumn<QByteArray>("xml");
    QTest::addColumn<QString>("expected");
    const auto row = [](const char* name, const QByteArray& xml, const QString& expected) {
        QTest::newRow(name) << xml << expected;
    };
    const auto global = [](const QString& parameter) {
        return minimal({{"global", "<parameter><name>v</name>" + parameter + "</parameter>"}});
    };
    const QString plain = "up, anchor on 0.5 0, circles yes, origin anchor 0.5 0, box2d/box2d ccw";
    // A global parameter "v" of this type, with these min, max, default and bitfield (or size) texts.
    const auto parameter = [&](const char* type, const char* min, const char* max, const char* initial,
                               const char* bits, const char* expected) {
        QTest::newRow(qPrintable(QStringList({type, min, max, initial, bits}).join(' ')))
            << global(QStringLiteral("<type>%1</type><min>%2</min><max>%3</max><default>%4</default><bitfield>%5"
                                     "</bitfield><size>%5</size>").arg(type, min, max, initial, bits))
            << plain + "; g v " + type + " " + expected;
    };

    // The written orientation overrides the engine's counter-clockwise; collision parameters follow
    // the fixture ones wherever they stand in the file.
    row("full", fullDefinition, "down, anchor off 0.25 0.75, circles no, origin fixed 0.125 1.5, box2d/box2d cw; "
        "g scale float [float 0.5, float 1000] float 32; g title string [-, -] QString Level One; "
        "b fixedRotation bool [-, -] bool true; b bullet bool [-, -] bool false; "
        "b gravityScale int [int -10, int 10] int 1; f density float [-, -] float 2.5; "
        "f mask uint [uint 0, uint 4294967295] uint 65535; f density float [-, -] float 9; "
        "f categoryBits uint16 [int 0, int 65535] int 4464 bits 0; f layers bitfield [-, -] - bits 16");
    row("minimal", minimal(), plain);
    // Only what has no default given.
    row("defaults", "<exporter><yAxisDirection>up</yAxisDirection><origin><type>anchorPoint</type></origin>"
        "<physicsEngine>generic</physicsEngine></exporter>", "up, anchor on 0 0, circles yes, origin anchor 0 0, "
        "generic/generic any");
    // Keywords in any case; each engine brings its winding unless one is written.
    row("keywords", minimal({{"yAxisDirection", "UP"}, {"origin", "<type>FIXED</type><relY>0.5</relY>"},
        {"physicsEngine", "Chipmunk"}}), "up, anchor on 0.5 0, circles yes, origin fixed 0 0.5, chipmunk/chipmunk cw");
    row("chipmunk CCW", minimal({{"physicsEngine", "chipmunk"}, {"polygonOrientation", "CCW"}}),
        "up, anchor on 0.5 0, circles yes, origin anchor 0.5 0, chipmunk/chipmunk ccw");
    // Fractions are C-locale numbers; anything else, NaN, infinities and overflow included, reads as 0.
    const auto fractions = [](const char* a, const char* b, const char* c, const char* d, const char* anchor,
                              const char* origin) {
        QTest::newRow(qPrintable(QStringList({a, b, c, d}).join(' ')))
            << minimal({{"anchorPoint", QStringLiteral("<relX>%1</relX><relY>%2</relY>").arg(a, b)},
                        {"origin", QStringLiteral("<type>fixed</type><relX>%1</relX><relY>%2</relY>").arg(c, d)}})
            << QStringLiteral("up, anchor on %1, circles yes, origin fixed %2, box2d/box2d ccw").arg(anchor, origin);
    };
    fractions("0.375", "-1.25", "2.5e-1", "", "0.375 -1.25", "0.25 0");
    fractions("centre", "0,5", "nan", "inf", "0 0", "0 0");
    fractions("1e999", "-1e999", "1", "0x10", "0 0", "1 0");

    // Parameter values: malformed numbers read as 0, never as NaN or a wrapped value; 16-bit values
    // keep the low 16 bits; the bit count stays within 0 to 64 bits.
    parameter("float", "low", "1e60", "nan", "", "[float 0, float 0] float 0");
    parameter("float", "-0.5", "inf", "", "", "[float -0.5, float 0] -");
    parameter("int", "0x10", "12abc", "99999999999", "", "[int 0, int 0] int 0");
    parameter("uint", "-1", "4000000000", "", "1", "[uint 0, uint 4000000000] uint 0 bits 0");
    parameter("uint16", "65536", "4294967295", "70000", "", "[int 0, int 65535] int 4464");
    parameter("uint16", "-1", "4294967296", "ff", "no", "[int 0, int 0] int 0");
    parameter("bool", "1", "", "TRUE", "", "[-, -] bool true");
    parameter("string", "", "", "", "", "[-, -] QString ");
    parameter("bitfield", "", "", "", "-5", "[-, -] - bits 0");
    parameter("bitfield", "", "", "", "2147483647", "[-, -] - bits 64");

    const QString read = "Can't read %FILE%";
    const QString yAxis = "yAxisDirection: %1. Supported directions are: up, down. EngineFile: %FILE%";
    const QString boolean = "Exporter My Exporter: Value for %1 (%2) must be true/false";
    const QString type = "Exporter My Exporter: Unsupported custom value type %1 for %2";
    const QString nested = read + ": (1,%1) elements nested deeper than 256 levels";
    const QString entities = read + ": (1,%1) entity declarations are not supported";
    const auto bad = [](const char* name) { return QStringLiteral("<parameter><name>%1</name><type>Float</type>"
                                                                  "</parameter>").arg(name); };

    // Refused while reading and parsing
    row("no file", "<no file>", read);
    row("directory", "<directory>", read);
    row("fifo", "<fifo>", read);
    row("tag mismatch", "<exporter>\n<name>x</nam>\n</exporter>", read + ": (2,13) Opening and ending tag mismatch.");
    row("empty file", "", read + ": (1,0) Premature end of document.");
    row("undeclared entity", "<exporter><name>&nbsp;</name></exporter>", read + ": (1,22) Entity 'nbsp' not declared.");

    // Refused for their content
    row("no root element", "<definition><yAxisDirection>up</yAxisDirection></definition>", yAxis.arg(QString()));
    row("y axis invalid", minimal({{"yAxisDirection", "Sideways"}}), yAxis.arg("sideways"));
    row("anchor enabled", minimal({{"anchorPoint", "<enabled>Maybe</enabled>"}}), boolean.arg("enabled", "maybe"));
    row("origin invalid", minimal({{"origin", "<type>Centre</type>"}}),
        "origin type: centre. Supported types are: anchorpoint, fixed. EngineFile: %FILE%");
    row("engine invalid", minimal({{"physicsEngine", "Box2D-3"}}),
        "Phsics engine not supported: box2d-3. Supported engines are: box2d, chipmunk, generic. EngineFile: %FILE%");
    row("type capitalised", global("<type>Float</type>"), type.arg("Float", "v"));
    row("type missing", global(""), type.arg(QString(), "v"));
    row("bool default", global("<type>bool</type><default>Sure</default>"), boolean.arg("default", "sure"));
    row("bitfield flag", global("<type>uint16</type><bitfield>Perhaps</bitfield>"), boolean.arg("bitfield", "perhaps"));
    row("winding invalid", minimal({{"polygonOrientation", "Clockwise"}}),
        "polygonOrientation: clockwise. Supported directions are: cw, ccw. EngineFile: %FILE%");

    // Two problems: the earlier step is reported, wherever the elements stand in the file.
    row("fixture first", minimal({{"collision", bad("c")}, {"fixture", bad("f") + bad("g")}}), type.arg("Float", "f"));
    row("parameters first", minimal({{"polygonOrientation", "up"}, {"collision", bad("c")}}), type.arg("Float", "c"));

    // Hostile files
    row("too large", minimal({{"name", "<!--" + QString(1024 * 1024, 'x') + "-->"}}),
        read + ": larger than 1048576 bytes");
    row("deep nesting", "<exporter>" + QByteArray("<a>").repeated(300) + QByteArray("</a>").repeated(300)
        + "</exporter>", nested.arg(778));
    row("deep unclosed nesting", QByteArray("<a>").repeated(100000), nested.arg(771));
    row("entity declaration", "<!DOCTYPE exporter [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;\">]>\n"
        "<exporter><name>&b;</name></exporter>", entities.arg(72));
    row("parameter entity", "<!DOCTYPE exporter [<!ENTITY % p \"<!ENTITY a 'aaaa'>\"> %p;]>\n"
        "<exporter><name>&a;</name></exporter>", entities.arg(60));
}

void TestExporterDefinitions::read()
{
    QFETCH(QByteArray, xml);
    QFETCH(QString, expected);
    const bool special = xml == "<no file>" || xml == "<directory>" || xml == "<fifo>";
    const QString directory = exporterDirectory(special ? QByteArray() : xml);
    const QString file = directory + "/exporter.xml";
    // Something that is no regular file is refused without blocking.
    if (xml == "<directory>")
        QVERIFY(QDir(directory).mkdir("exporter.xml"));
    if (xml == "<fifo>")
        QCOMPARE(::mkfifo(QFile::encodeName(file).constData(), 0600), 0);
    try {
        QCOMPARE(summary(Exporter(directory)), expected);
    } catch (const Error& error) {
        QCOMPARE(error.message(), QString(expected).replace("%FILE%", file));
        // 45: the file cannot be read or parsed; 46: its content is invalid.
        QCOMPARE(error.code(), expected.startsWith("Can't read") ? 45 : 46);
    }
}

void TestExporterDefinitions::registry()
{
    RecordingReporter reporter;
    ExporterRegistry& registry = ExporterRegistry::instance();
    QCOMPARE(registry.findExporter("box2d"), static_cast<Exporter*>(nullptr));
    // The scanned directory's own exporter.xml, a plain file, is no exporter.
    const QString root = exporterDirectory(minimal({{"name", "file"}}));
    const QString zeta = exporterDirectory(minimal({{"name", "zeta"}}), root);
    const QString empty = exporterDirectory(QByteArray(), root);
    const QString invalid = exporterDirectory(minimal({{"physicsEngine", "none"}}), root);
    exporterDirectory(minimal({{"name", "alpha"}}), root);
    // Bit-field rows with no bit field before them in their list (collision parameters join the fixture list) are
    // reported; the exporter loads all the same.
    const auto parameter = [](const char* name, const char* type, const char* more = "<bitfield>true</bitfield>") {
        return QStringLiteral("<parameter><name>%1</name><type>%2</type>%3</parameter>").arg(name, type, more);
    };
    const QString bits = parameter("bits", "bitfield", "<size>16</size>");
    const QString unflagged = parameter("plain", "uint16", "<bitfield>false</bitfield>");
    exporterDirectory(minimal({{"name", "rows"}, {"fixture", unflagged + bits},
        {"collision", parameter("row", "uint16") + parameter("group", "int", "") + parameter("mask", "uint")}}), root);
    exporterDirectory(minimal({{"name", "stray"}, {"displayName", "Mine %2"}, {"global", parameter("g", "uint16")
        + parameter("h", "uint")}, {"body", parameter("b", "uint16") + bits}, {"fixture", parameter("f", "uint")},
        {"collision", bits + parameter("c", "uint16")}}), root);
    // Relative to the working directory, the exporters still know where they are; neither a missing
    // directory, a file nor an empty path adds anything.
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_temp.path()));
    for (const QString& path : QStringList{QDir().relativeFilePath(root), "nowhere", root + "/exporter.xml", ""})
        registry.scanExporters(path);
    QVERIFY(QDir::setCurrent(previous));
    Exporter* builtIn = registry.exporter("zeta");
    QCOMPARE(builtIn->directory(), zeta);

    // A later exporter of a name replaces the earlier one, which stays alive for whoever points at it.
    auto* custom = new Exporter(exporterDirectory(minimal({{"name", "zeta"}})));
    registry.add(custom);
    registry.add(custom);
    registry.add(nullptr);
    registry.add(new Exporter(exporterDirectory(minimal({{"name", "Beta"}}))));
    // Sorted by name, capitals first; for an unknown name, which is reported, the first stands in.
    QStringList names;
    for (const Exporter* exporter : registry.exporters())
        names << exporter->name();
    QCOMPARE(names, (QStringList{"Beta", "alpha", "rows", "stray", "zeta"}));
    QCOMPARE(summary(*registry.exporter("stray")).count("; "), 7);  // every parameter kept
    QCOMPARE(registry.findExporter("zeta"), custom);
    QCOMPARE(builtIn->name(), "zeta");
    QCOMPARE(registry.findExporter("%2 missing"), registry.exporter("Beta"));
    QStringList texts;
    for (const RecordingReporter::Entry& entry : std::as_const(reporter.entries))
        texts << QStringLiteral("%1 %2: %3").arg(entry.severity).arg(entry.title, entry.text);
    texts.sort();
    const QString stray = "1 Problem in exporter: Exporter Mine %2: the bit-field row %1 has no bit field before it";
    QCOMPARE(texts, (QStringList{stray.arg("b"), stray.arg("f"), stray.arg("g"), stray.arg("h"),
        "2 Failed to open exporter: Can't read " + empty + "/exporter.xml",
        "2 Failed to open exporter: Phsics engine not supported: none. Supported engines are: box2d, chipmunk, "
        "generic. EngineFile: " + invalid + "/exporter.xml",
        "2 Unkown exporter: File was created using unknown exporter %2 missing. Please intall this exporter.",
        "2 Unkown exporter: File was created using unknown exporter box2d. Please intall this exporter."}));

    // Cleared entries are forgotten, not destroyed.
    registry.clear();
    QVERIFY(registry.exporters().isEmpty() && !registry.exporter("zeta"));
    QCOMPARE(custom->name(), "zeta");
}

int main(int argc, char** argv)
{
    TestSupport::isolateSettings();
    QCoreApplication app(argc, argv);
    TestExporterDefinitions test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_exporterdefinitions.moc"
