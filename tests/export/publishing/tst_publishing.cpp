#include "element.h"
#include "elementlistmodel.h"
#include "exporter.h"
#include "fixturecircle.h"
#include "fixturepolygon.h"
#include "publisher.h"
#include "publishgeometry.h"
#include "templatelookups.h"
#include "testsupport.h"

#include <QGuiApplication>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

namespace {

struct Definition
{
    QString yAxis = QStringLiteral("up");
    QString originType = QStringLiteral("anchorpoint");
    QString originRel;  // e.g. "<relX>0.5</relX><relY>0.5</relY>"
    QString engine = QStringLiteral("box2d");
    QString orientation;
    QString templateText;
};

// An exporter directory with the given conventions and template.
std::unique_ptr<Exporter> makeExporter(const QDir& root, const QString& name, const Definition& d)
{
    root.mkpath(name);
    const QDir dir(root.filePath(name));
    QFile xml(dir.filePath(QStringLiteral("exporter.xml")));
    xml.open(QIODevice::WriteOnly);
    xml.write(QStringLiteral("<exporter><name>%1</name><displayName>%1</displayName>"
                             "<yAxisDirection>%2</yAxisDirection><physicsEngine>%3</physicsEngine>"
                             "<origin><type>%4</type>%5</origin>%6<template>out.txt</template>"
                             "<global><parameter><name>ptm</name><type>float</type><default>32</default></parameter>"
                             "</global><body><parameter><name>kind</name><type>string</type><default>dyn</default>"
                             "</parameter></body><fixture><parameter><name>density</name><type>float</type>"
                             "<default>2.5</default></parameter></fixture></exporter>")
                  .arg(name, d.yAxis, d.engine, d.originType, d.originRel,
                       d.orientation.isEmpty() ? QString()
                                               : QStringLiteral("<polygonOrientation>%1</polygonOrientation>")
                                                     .arg(d.orientation))
                  .toUtf8());
    xml.close();
    if (!d.templateText.isNull()) {
        QFile text(dir.filePath(QStringLiteral("out.txt")));
        text.open(QIODevice::WriteOnly);
        text.write(d.templateText.toUtf8());
    }
    return std::make_unique<Exporter>(dir.path());
}

QString image(const QDir& dir, int width, int height)
{
    QImage picture(width, height, QImage::Format_ARGB32);
    picture.fill(Qt::red);
    const QString path = dir.filePath(QStringLiteral("sprite%1x%2.png").arg(width).arg(height));
    picture.save(path);
    return path;
}

QString readAll(const QString& path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return QString::fromUtf8(file.readAll());
}

float area(const QPolygonF& polygon)
{
    float sum = 0;
    for (int i = 0; i < polygon.size(); ++i) {
        const QPointF a = polygon.at(i);
        const QPointF b = polygon.at((i + 1) % polygon.size());
        sum += float(a.x() * b.y() - b.x() * a.y());
    }
    return sum / 2;
}

// The JSON template the rendering tests use: every name a template can read.
const char jsonTemplate[] = R"({% load hullwright_filters %}{% autoescape off %}{
"ptm": {{ global.ptm }}, "missing": "{{ global.noSuchParameter }}",
"bodies": [{% for body in bodies %}{
  "name": {{ body.name|jsonstring }}, "kind": {{ body.kind|jsonstring }},
  "size": [{{ body.size.width }}, {{ body.size.height }}],
  "anchorAbs": [{{ body.anchorPointAbs.x }}, {{ body.anchorPointAbs.y }}],
  "anchorRel": [{{ body.anchorPointRel.x }}, {{ body.anchorPointRel.y }}],
  "fixtures": [{% for f in body.fixtures %}{
    "type": "{{ f.type }}", "density": {{ f.density }}, "polygon": {% if f.isPolygon %}true{% else %}false{% endif %},
    {% if f.isCircle %}"center": [{{ f.center.x }}, {{ f.center.y }}], "radius": {{ f.radius }}{% else %}
    "hull": [{% for p in f.hull %}[{{ p.x }}, {{ p.y }}]{% if not forloop.last %},{% endif %}{% endfor %}],
    "pieces": [{% for piece in f.polygons %}[{% for p in piece %}[{{ p.x }}, {{ p.y }}]{% if not forloop.last %},{% endif %}{% endfor %}]{% if not forloop.last %},{% endif %}{% endfor %}]{% endif %}
  }{% if not forloop.last %},{% endif %}{% endfor %}]
}{% if not forloop.last %},{% endif %}{% endfor %}]
}{% endautoescape %})";

}

class TestPublishing : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void fixedOriginAndYAxis_data();
    void fixedOriginAndYAxis();
    void anchorOrigin();
    void orientationFollowsTheEngine();
    void genericPublishesClockwise();
    void convexPiecesAreConverted();

    void rendersEveryName();
    void escapesForTheOutputFormat();
    void emptyDocumentAndBody();
    void missingTemplateFailsBeforeTouchingTheOutput();
    void unopenableOutput();
    void renderErrorKeepsThePreviousOutput();
    void undecomposablePolygonsAreNamed();

private:
    Element* addBody(ElementListModel& document, int width, int height);
    QJsonObject publishJson(ElementListModel& document);

    QTemporaryDir dir;
    int counter = 0;
};

void TestPublishing::initTestCase()
{
    registerTemplateLookups();
    registerTemplateLookups();  // a second call changes nothing
}

Element* TestPublishing::addBody(ElementListModel& document, int width, int height)
{
    return document.addFile(image(QDir(dir.path()), width, height));
}

QJsonObject TestPublishing::publishJson(ElementListModel& document)
{
    const QString output = dir.filePath(QStringLiteral("out%1.json").arg(++counter));
    RecordingReporter reporter;
    const Publisher::Result result = Publisher::publish(document, output);
    if (!result.written || !reporter.entries.isEmpty())
        qWarning() << "publish reported" << (reporter.entries.isEmpty() ? QString() : reporter.entries.first().text);
    QJsonParseError error;
    const QJsonDocument json = QJsonDocument::fromJson(readAll(output).toUtf8(), &error);
    if (error.error != QJsonParseError::NoError)
        qWarning() << error.errorString() << readAll(output);
    return json.object();
}

void TestPublishing::fixedOriginAndYAxis_data()
{
    QTest::addColumn<QString>("yAxis");
    QTest::addColumn<QPointF>("published");
    QTest::newRow("y down") << "down" << QPointF(-50, 25);
    QTest::newRow("y up") << "up" << QPointF(-50, -25);
}

void TestPublishing::fixedOriginAndYAxis()
{
    QFETCH(QString, yAxis);
    QFETCH(QPointF, published);
    Definition d;
    d.yAxis = yAxis;
    d.originType = QStringLiteral("fixed");
    d.originRel = QStringLiteral("<relX>0.5</relX><relY>0.5</relY>");
    auto exporter = makeExporter(QDir(dir.path()), QStringLiteral("fixed-") + yAxis, d);
    ElementListModel document;
    document.setExporter(exporter.get());
    Element* body = addBody(document, 100, 50);
    QCOMPARE(PublishGeometry::convertPoint(*body, QPointF(0, 0)), published);
    auto* polygon = new FixturePolygon(body);
    polygon->setPolygonDirect(QPolygonF({{0, 0}, {10, 0}, {10, 10}}));
    body->addFixture(polygon);
    QVERIFY(PublishGeometry::hull(*polygon).contains(published));
}

void TestPublishing::anchorOrigin()
{
    auto exporter = makeExporter(QDir(dir.path()), QStringLiteral("anchor"), Definition());
    ElementListModel document;
    document.setExporter(exporter.get());
    Element* body = addBody(document, 40, 80);
    body->setAnchorPointAbsDirect(QPointF(10, 20));
    auto* circle = new FixtureCircle(body);
    circle->setCircleDirect(QPointF(10, 20), 4);
    body->addFixture(circle);
    QCOMPARE(PublishGeometry::circleCenter(*circle), QPointF(0, 0));
    QCOMPARE(PublishGeometry::anchorPointAbs(*body), QPointF(10, 20));
    QCOMPARE(PublishGeometry::anchorPointRel(*body), QPointF(10.0 / 40, 20.0 / 80));
}

void TestPublishing::orientationFollowsTheEngine()
{
    Definition box;
    auto box2d = makeExporter(QDir(dir.path()), QStringLiteral("o-box2d"), box);
    Definition chip;
    chip.engine = QStringLiteral("chipmunk");
    auto chipmunk = makeExporter(QDir(dir.path()), QStringLiteral("o-chipmunk"), chip);
    ElementListModel document;
    document.setExporter(box2d.get());
    Element* body = addBody(document, 30, 30);
    auto* polygon = new FixturePolygon(body);
    polygon->setPolygonDirect(QPolygonF({{0, 0}, {0, 10}, {10, 10}, {10, 0}}));  // clockwise
    body->addFixture(polygon);

    const QPolygonF ccw = PublishGeometry::hull(*polygon);
    QVERIFY(area(ccw) > 0);
    document.setExporter(chipmunk.get());
    const QPolygonF cw = PublishGeometry::hull(*polygon);
    QVERIFY(area(cw) < 0);
    QPolygonF reversed = cw;
    std::reverse(reversed.begin(), reversed.end());
    QCOMPARE(reversed, ccw);
}

void TestPublishing::genericPublishesClockwise()
{
    Definition generic;
    generic.engine = QStringLiteral("generic");
    generic.yAxis = QStringLiteral("down");
    auto exporter = makeExporter(QDir(dir.path()), QStringLiteral("o-generic"), generic);
    ElementListModel document;
    document.setExporter(exporter.get());
    Element* body = addBody(document, 30, 30);
    auto* polygon = new FixturePolygon(body);
    polygon->setPolygonDirect(QPolygonF({{0, 0}, {10, 0}, {10, 10}, {0, 10}}));  // counter-clockwise
    body->addFixture(polygon);
    QVERIFY(area(PublishGeometry::hull(*polygon)) <= 0);
    const QVector<QPolygonF> pieces = PublishGeometry::polygons(*polygon);
    QCOMPARE(pieces.size(), 1);
    QVERIFY(area(pieces.first()) <= 0);
}

void TestPublishing::convexPiecesAreConverted()
{
    Definition d;
    d.yAxis = QStringLiteral("down");
    auto exporter = makeExporter(QDir(dir.path()), QStringLiteral("pieces"), d);
    ElementListModel document;
    document.setExporter(exporter.get());
    Element* body = addBody(document, 20, 20);
    body->setAnchorPointAbsDirect(QPointF(5, 5));
    auto* polygon = new FixturePolygon(body);
    // An L: concave, so more than one piece.
    polygon->setPolygonDirect(QPolygonF({{0, 0}, {10, 0}, {10, 4}, {4, 4}, {4, 10}, {0, 10}}));
    body->addFixture(polygon);
    const QVector<QPolygonF> pieces = PublishGeometry::polygons(*polygon);
    QVERIFY(pieces.size() >= 2);
    double total = 0;
    for (const QPolygonF& piece : pieces) {
        QVERIFY(piece.size() <= 8);
        QVERIFY(area(piece) > 0);
        total += area(piece);
        for (const QPointF& p : piece) {
            // y down about the 20-pixel image, relative to the converted anchor (5, 15).
            QVERIFY(p.x() >= -5 && p.x() <= 5);
            QVERIFY(p.y() >= -5 && p.y() <= 15);
        }
    }
    QCOMPARE(total, 10 * 4 + 4 * 6.0);
}

void TestPublishing::rendersEveryName()
{
    Definition d;
    d.templateText = QString::fromUtf8(jsonTemplate);
    auto exporter = makeExporter(QDir(dir.path()), QStringLiteral("render"), d);
    ElementListModel document;
    document.setExporter(exporter.get());
    Element* body = addBody(document, 64, 32);
    body->setAnchorPointAbsDirect(QPointF(16, 8));
    auto* polygon = new FixturePolygon(body);
    polygon->setPolygonDirect(QPolygonF({{16, 8}, {48, 8}, {48, 24}, {16, 24}}));
    body->addFixture(polygon);
    auto* circle = new FixtureCircle(body);
    circle->setCircleDirect(QPointF(20, 10), 3.5);
    circle->setValue(QStringLiteral("density"), 7.25f);
    body->addFixture(circle);

    const QJsonObject json = publishJson(document);
    QCOMPARE(json.value("ptm").toDouble(), 32.0);
    QCOMPARE(json.value("missing").toString(), QString());
    const QJsonObject published = json.value("bodies").toArray().first().toObject();
    QCOMPARE(published.value("name").toString(), body->name());
    QCOMPARE(published.value("kind").toString(), QStringLiteral("dyn"));
    QCOMPARE(published.value("size").toArray(), (QJsonArray{64, 32}));
    QCOMPARE(published.value("anchorAbs").toArray(), (QJsonArray{16, 8}));
    QCOMPARE(published.value("anchorRel").toArray(), (QJsonArray{0.25, 0.25}));
    const QJsonArray fixtures = published.value("fixtures").toArray();
    QCOMPARE(fixtures.size(), 2);
    const QJsonObject p = fixtures.at(0).toObject();
    QCOMPARE(p.value("type").toString(), QStringLiteral("POLYGON"));
    QCOMPARE(p.value("polygon").toBool(), true);
    QCOMPARE(p.value("density").toDouble(), 2.5);
    QCOMPARE(p.value("hull").toArray().size(), 4);
    QCOMPARE(p.value("pieces").toArray().size(), 1);
    QVERIFY(p.value("hull").toArray().contains(QJsonArray{0, 0}));
    const QJsonObject c = fixtures.at(1).toObject();
    QCOMPARE(c.value("type").toString(), QStringLiteral("CIRCLE"));
    QCOMPARE(c.value("center").toArray(), (QJsonArray{4, 2}));
    QCOMPARE(c.value("radius").toDouble(), 3.5);
    QCOMPARE(c.value("density").toDouble(), 7.25);
}

void TestPublishing::escapesForTheOutputFormat()
{
    Definition d;
    d.templateText = QStringLiteral("{% load hullwright_filters %}{% autoescape off %}"
                                    "{\"json\": {{ global.title|jsonstring }}}\n"
                                    "<x a=\"{{ global.title|xmltext }}\">{{ global.title|xmltext }}</x>"
                                    "{% endautoescape %}");
    auto exporter = makeExporter(QDir(dir.path()), QStringLiteral("escape"), d);
    ElementListModel document;
    document.setExporter(exporter.get());
    const QString title = QStringLiteral("q\" b\\ <a> & 'é 漢 😀\tline\nend\x01");
    document.setValueDirect(QStringLiteral("title"), title);
    const QString output = dir.filePath(QStringLiteral("escaped.txt"));
    QVERIFY(Publisher::publish(document, output).written);
    const QStringList lines = readAll(output).split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 2);
    QJsonParseError error;
    const QJsonObject json = QJsonDocument::fromJson(lines.at(0).toUtf8(), &error).object();
    QCOMPARE(error.error, QJsonParseError::NoError);
    QCOMPARE(json.value("json").toString(), title);
    QXmlStreamReader xml(lines.at(1));
    QVERIFY(xml.readNextStartElement());
    const QString attribute = xml.attributes().value(QStringLiteral("a")).toString();
    const QString content = xml.readElementText();
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
    const QString withoutControl = QString(title).remove(QChar(1));
    QCOMPARE(attribute, withoutControl);
    QCOMPARE(content, withoutControl);
}

void TestPublishing::emptyDocumentAndBody()
{
    Definition d;
    d.templateText = QString::fromUtf8(jsonTemplate);
    auto exporter = makeExporter(QDir(dir.path()), QStringLiteral("empty"), d);
    ElementListModel document;
    document.setExporter(exporter.get());
    QCOMPARE(publishJson(document).value("bodies").toArray().size(), 0);
    addBody(document, 8, 8);
    const QJsonArray bodies = publishJson(document).value("bodies").toArray();
    QCOMPARE(bodies.size(), 1);
    QCOMPARE(bodies.first().toObject().value("fixtures").toArray().size(), 0);
}

void TestPublishing::missingTemplateFailsBeforeTouchingTheOutput()
{
    Definition d;
    d.templateText = QString();  // no template file
    auto exporter = makeExporter(QDir(dir.path()), QStringLiteral("no-template"), d);
    ElementListModel document;
    document.setExporter(exporter.get());
    const QString output = dir.filePath(QStringLiteral("never.json"));
    RecordingReporter reporter;
    QVERIFY(!Publisher::publish(document, output).written);
    QVERIFY(!QFileInfo::exists(output));
    QCOMPARE(reporter.entries.size(), 1);
    QCOMPARE(reporter.entries.first().severity, Reporter::Critical);
    QCOMPARE(reporter.entries.first().title, QStringLiteral("Error writing file"));
    QVERIFY(reporter.entries.first().text.startsWith(QStringLiteral("Failed to write %1: ").arg(output)));
}

void TestPublishing::unopenableOutput()
{
    Definition d;
    d.templateText = QStringLiteral("plain");
    auto exporter = makeExporter(QDir(dir.path()), QStringLiteral("unopenable"), d);
    ElementListModel document;
    document.setExporter(exporter.get());
    const QString output = dir.filePath(QStringLiteral("no/such/dir/out.json"));
    RecordingReporter reporter;
    QVERIFY(!Publisher::publish(document, output).written);
    QCOMPARE(reporter.entries.size(), 1);
    QCOMPARE(reporter.entries.first().title, QStringLiteral("Error opening file"));
    QVERIFY(reporter.entries.first().text.startsWith(QStringLiteral("Failed to write %1: ").arg(output)));
    QVERIFY(reporter.entries.first().text.size() > QStringLiteral("Failed to write %1: ").arg(output).size());
}

void TestPublishing::renderErrorKeepsThePreviousOutput()
{
    Definition d;
    d.templateText = QStringLiteral("{% for b in bodies %}{{ b.name }}{% endfor %}");
    auto good = makeExporter(QDir(dir.path()), QStringLiteral("good"), d);
    Definition broken;
    broken.templateText = QStringLiteral("start {% include \"missing-part.txt\" %} end");
    auto bad = makeExporter(QDir(dir.path()), QStringLiteral("bad"), broken);
    ElementListModel document;
    document.setExporter(good.get());
    addBody(document, 4, 4);
    const QString output = dir.filePath(QStringLiteral("kept.txt"));
    QVERIFY(Publisher::publish(document, output).written);
    const QString before = readAll(output);
    QVERIFY(!before.isEmpty());

    document.setExporter(bad.get());
    RecordingReporter reporter;
    QVERIFY(!Publisher::publish(document, output).written);
    QCOMPARE(reporter.entries.size(), 1);
    QCOMPARE(reporter.entries.first().title, QStringLiteral("Error writing file"));
    QCOMPARE(readAll(output), before);
}

void TestPublishing::undecomposablePolygonsAreNamed()
{
    Definition d;
    d.templateText = QString::fromUtf8(jsonTemplate);
    auto exporter = makeExporter(QDir(dir.path()), QStringLiteral("warn"), d);
    ElementListModel document;
    document.setExporter(exporter.get());
    Element* body = addBody(document, 10, 10);
    body->setName(QStringLiteral("crate"));
    auto* good = new FixturePolygon(body);
    good->setPolygonDirect(QPolygonF({{0, 0}, {4, 0}, {4, 4}}));
    body->addFixture(good);
    auto* broken = new FixturePolygon(body);
    broken->setPolygonDirect(QPolygonF({{1, 1}, {1, 1}, {1, 1}}));
    body->addFixture(broken);
    auto* absurd = new FixturePolygon(body);
    absurd->setPolygonDirect(QPolygonF({{0, 0}, {1e30, 0}, {0, 1e30}}));
    body->addFixture(absurd);

    const QString output = dir.filePath(QStringLiteral("warned.json"));
    RecordingReporter reporter;
    const Publisher::Result result = Publisher::publish(document, output);
    QVERIFY(result.written);
    QCOMPARE(result.undecomposable, (QStringList{"crate: fixture 2", "crate: fixture 3"}));
    QCOMPARE(reporter.entries.size(), 1);
    QCOMPARE(reporter.entries.first().severity, Reporter::Warning);
    QVERIFY(reporter.entries.first().text.contains(QLatin1String("crate: fixture 2\ncrate: fixture 3")));
    const QJsonArray fixtures =
        QJsonDocument::fromJson(readAll(output).toUtf8()).object().value("bodies").toArray().first().toObject().value(
            "fixtures").toArray();
    QCOMPARE(fixtures.size(), 3);
    QCOMPARE(fixtures.at(1).toObject().value("pieces").toArray().size(), 0);
}

int main(int argc, char** argv)
{
    TestSupport::isolateSettings();
    QGuiApplication app(argc, argv);
    TestPublishing test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_publishing.moc"
