#include "modeltestsupport.h"
#include "publisher.h"
#include "templatelookups.h"

#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

// Every name a template can read, in plain text.
const char everyName[] = "{% autoescape off %}{{ global.ptm }} [{{ global.noSuchParameter }}]{% for b in bodies %}\n"
                         "{{ b.name }} {{ b.kind }} {{ b.size.width }}x{{ b.size.height }} at {{ b.anchorPointAbs.x }} "
                         "{{ b.anchorPointAbs.y }} rel {{ b.anchorPointRel.x }} {{ b.anchorPointRel.y }}"
                         "{% for f in b.fixtures %}\n{{ f.type }} {{ f.density }}{% if f.isCircle %} centre "
                         "{{ f.center.x }} {{ f.center.y }} r {{ f.radius }}{% endif %}{% if f.isPolygon %} hull"
                         "{% for p in f.hull %} {{ p.x }} {{ p.y }}{% endfor %} pieces{% for piece in f.polygons %} |"
                         "{% for p in piece %} {{ p.x }} {{ p.y }}{% endfor %}{% endfor %}{% endif %}{% endfor %}"
                         "{% endfor %}{% endautoescape %}";

const QString anchored = QStringLiteral("<yAxisDirection>up</yAxisDirection><physicsEngine>box2d</physicsEngine>"
                                        "<origin><type>anchorpoint</type></origin>");

QString readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QStringLiteral("<none>");
}

}

class TestPublishing : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void conventions_data();
    void conventions();
    void failuresKeepThePreviousFile_data();
    void failuresKeepThePreviousFile();
    void undecomposablePolygonsAreNamed();

private:
    // An exporter directory with this template (a null one: none) and these conventions.
    std::unique_ptr<Exporter> makeExporter(const QString& templateText, const QString& conventions = anchored);
    Element* addBody(ElementListModel& document, int width, int height);

    QTemporaryDir m_dir;
    int m_count = 0;
};

void TestPublishing::initTestCase()
{
    QVERIFY(m_dir.isValid());
    registerTemplateLookups();
    registerTemplateLookups();  // a second call changes nothing
}

std::unique_ptr<Exporter> TestPublishing::makeExporter(const QString& templateText, const QString& conventions)
{
    const QString directory = m_dir.filePath(QStringLiteral("exporter%1").arg(++m_count));
    QDir().mkpath(directory);
    QFile xml(directory + QStringLiteral("/exporter.xml"));
    xml.open(QIODevice::WriteOnly);
    xml.write(QStringLiteral("<exporter><name>x</name>%1<template>out.txt</template>"
                             "<global><parameter><name>ptm</name><type>float</type><default>32</default></parameter>"
                             "</global><body><parameter><name>kind</name><type>string</type><default>dyn</default>"
                             "</parameter></body><fixture><parameter><name>density</name><type>float</type>"
                             "<default>2.5</default></parameter></fixture></exporter>")
                  .arg(conventions)
                  .toUtf8());
    xml.close();
    QFile text(directory + QStringLiteral("/out.txt"));
    if (!templateText.isNull() && text.open(QIODevice::WriteOnly))
        text.write(templateText.toUtf8());
    return std::make_unique<Exporter>(directory);
}

Element* TestPublishing::addBody(ElementListModel& document, int width, int height)
{
    return document.addFile(ModelTest::makeImage(m_dir.path(), QStringLiteral("%1.png").arg(++m_count), width, height));
}

void TestPublishing::conventions_data()
{
    QTest::addColumn<QString>("conventions");
    QTest::addColumn<QString>("expected");

    // Relative to the anchor point, y up, counter-clockwise (positive signed area).
    QTest::newRow("box2d") << anchored
                           << "crate dyn 40x20 at 10 5 rel 0.25 0.25\n"
                              "POLYGON 2.5 hull 0 -5 0 -1 -6 -1 -6 5 -10 5 -10 -5 pieces | -6 5 -10 5 -10 -5 -6 -1 | "
                              "-10 -5 0 -5 0 -1 -6 -1\nCIRCLE 7.25 centre 20 10 r 3.5\nbare dyn 8x8 at 0 0 rel 0 0";
    // Clockwise when written: the same outline reversed.
    QTest::newRow("written winding") << anchored + "<polygonOrientation>cw</polygonOrientation>"
                                     << "crate dyn 40x20 at 10 5 rel 0.25 0.25\n"
                                        "POLYGON 2.5 hull -10 -5 -10 5 -6 5 -6 -1 0 -1 0 -5 pieces | -6 -1 -10 -5 "
                                        "-10 5 -6 5 | -6 -1 0 -1 0 -5 -10 -5\nCIRCLE 7.25 centre 20 10 r 3.5\n"
                                        "bare dyn 8x8 at 0 0 rel 0 0";
    // From the image's centre, y down; reversed where the outline as drawn has a positive signed area.
    QTest::newRow("generic, fixed centre, y down")
        << "<yAxisDirection>down</yAxisDirection><physicsEngine>generic</physicsEngine>"
           "<origin><type>fixed</type><relX>0.5</relX><relY>0.5</relY></origin>"
        << "crate dyn 40x20 at 10 15 rel 0.25 0.75\n"
           "POLYGON 2.5 hull -10 10 -10 6 -16 6 -16 0 -20 0 -20 10 pieces | -16 0 -20 0 -20 10 -16 6 | -20 10 -10 "
           "10 -10 6 -16 6\nCIRCLE 7.25 centre 10 -5 r 3.5\nbare dyn 8x8 at 0 8 rel 0 1";
}

void TestPublishing::conventions()
{
    QFETCH(QString, conventions);
    QFETCH(QString, expected);
    const auto exporter = makeExporter(everyName, conventions);
    ElementListModel document;
    document.setExporter(exporter.get());
    Element* body = addBody(document, 40, 20);
    body->setName(QStringLiteral("crate"));
    body->setAnchorPointAbsDirect(QPointF(10, 5));
    auto* polygon = new FixturePolygon(body);
    // An L, drawn clockwise in body coordinates (y up).
    polygon->setPolygonDirect(QPolygonF({{0, 0}, {0, 10}, {4, 10}, {4, 4}, {10, 4}, {10, 0}}));
    body->addFixture(polygon);
    auto* circle = new FixtureCircle(body);
    circle->setCircleDirect(QPointF(30, 15), 3.5);
    circle->setValueDirect(QStringLiteral("density"), 7.25f);
    body->addFixture(circle);
    addBody(document, 8, 8)->setName(QStringLiteral("bare"));

    const QString output = m_dir.filePath(QStringLiteral("conventions.txt"));
    RecordingReporter reporter;
    QVERIFY(Publisher::publish(document, output).written);
    QVERIFY(reporter.entries.isEmpty());
    QCOMPARE(readAll(output), QStringLiteral("32 []\n") + expected);
}

void TestPublishing::failuresKeepThePreviousFile_data()
{
    QTest::addColumn<QString>("templateText");
    QTest::addColumn<bool>("openable");
    QTest::addColumn<QString>("title");

    QTest::newRow("no exporter") << QString() << true << "Error writing file";
    QTest::newRow("no template") << QString() << true << "Error writing file";
    QTest::newRow("template error") << "{% for b in bodies %}" << true << "Error writing file";
    QTest::newRow("render error") << "start {% include \"missing-part.txt\" %} end" << true << "Error writing file";
    QTest::newRow("output not openable") << "plain" << false << "Error opening file";
}

void TestPublishing::failuresKeepThePreviousFile()
{
    QFETCH(QString, templateText);
    QFETCH(bool, openable);
    QFETCH(QString, title);
    std::unique_ptr<Exporter> exporter;
    ElementListModel document;
    if (QByteArray(QTest::currentDataTag()) != "no exporter") {
        exporter = makeExporter(templateText);
        document.setExporter(exporter.get());
    }
    addBody(document, 4, 4);
    const QString output = openable ? m_dir.filePath(QStringLiteral("kept.txt")) : m_dir.filePath("no/dir/out.txt");
    QFile previous(output);
    QVERIFY(!openable || (previous.open(QIODevice::WriteOnly) && previous.write("previous") == 8));
    previous.close();

    RecordingReporter reporter;
    QVERIFY(!Publisher::publish(document, output).written);
    QCOMPARE(readAll(output), openable ? QStringLiteral("previous") : QStringLiteral("<none>"));
    QCOMPARE(reporter.entries.size(), 1);
    QCOMPARE(reporter.entries.first().severity, Reporter::Critical);
    QCOMPARE(reporter.entries.first().title, title);
    // The file and why.
    const QString prefix = QStringLiteral("Failed to write %1: ").arg(output);
    QVERIFY2(reporter.entries.first().text.startsWith(prefix) && reporter.entries.first().text.size() > prefix.size(),
             qPrintable(reporter.entries.first().text));
}

void TestPublishing::undecomposablePolygonsAreNamed()
{
    const auto exporter = makeExporter(everyName);
    ElementListModel document;
    document.setExporter(exporter.get());
    addBody(document, 10, 10);
    Element* body = addBody(document, 10, 10);
    body->setName(QStringLiteral("crate"));
    for (const QPolygonF& outline : {QPolygonF({{0, 0}, {4, 0}, {4, 4}}), QPolygonF({{1, 1}, {1, 1}, {1, 1}}),
                                     QPolygonF({{0, 0}, {1e30, 0}, {0, 1e30}})}) {
        auto* polygon = new FixturePolygon(body);
        polygon->setPolygonDirect(outline);
        body->addFixture(polygon);
    }
    auto* circle = new FixtureCircle(body);
    circle->setCircleDirect(QPointF(5, 5), 1);
    body->addFixture(circle);

    const QString output = m_dir.filePath(QStringLiteral("warned.txt"));
    RecordingReporter reporter;
    const Publisher::Result result = Publisher::publish(document, output);
    // Written all the same, without pieces for those two.
    QVERIFY(result.written);
    QCOMPARE(result.undecomposable, (QStringList{"crate: fixture 2", "crate: fixture 3"}));
    QCOMPARE(reporter.entries.size(), 1);
    QCOMPARE(reporter.entries.first().severity, Reporter::Warning);
    QCOMPARE(reporter.entries.first().text, Publisher::undecomposableWarning(result.undecomposable));
    QVERIFY(reporter.entries.first().text.endsWith(QLatin1String(":\ncrate: fixture 2\ncrate: fixture 3")));
    QCOMPARE(readAll(output).count(QStringLiteral("pieces\n")), 2);
}

MODEL_TEST_MAIN(TestPublishing)

#include "tst_publishing.moc"
