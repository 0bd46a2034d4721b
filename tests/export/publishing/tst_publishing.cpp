#include "modeltestsupport.h"
#include "publisher.h"
#include "templatelookups.h"

#include <QtTest>

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

const QString anchored = "<yAxisDirection>up</yAxisDirection><physicsEngine>box2d</physicsEngine>"
                         "<origin><type>anchorpoint</type></origin>";

}

class TestPublishing : public QObject
{
    Q_OBJECT

private slots:
    void publish_data();
    void publish();

private:
    QTemporaryDir m_dir;
};

void TestPublishing::publish_data()
{
    QTest::addColumn<QString>("conventions");
    QTest::addColumn<QString>("templateText");  // null: none
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("expected");  // the file afterwards, then the reports (a failure's up to its reason)
    // The polygons that cannot be cut are written without pieces, and named.
    const QString odd = "\nodd dyn 8x8 at 0 %1 rel 0 %2\nPOLYGON 2.5 hull %3 pieces\nPOLYGON 2.5 hull %4 pieces\n1 "
                        "Publishing incomplete: These polygons could not be cut into convex pieces, so the published "
                        "file has no collision shape for them:\nodd: fixture 1\nodd: fixture 2";
    // Relative to the anchor point, y up, counter-clockwise (positive signed area).
    QTest::newRow("box2d") << anchored << everyName << "out.txt" << "32 []\ncrate dyn 40x20 at 10 5 rel 0.25 0.25\n"
        "POLYGON 2.5 hull 0 -5 0 -1 -6 -1 -6 5 -10 5 -10 -5 pieces | -6 5 -10 5 -10 -5 -6 -1 | -10 -5 0 -5 0 -1 -6 -1"
        "\nCIRCLE 7.25 centre 20 10 r 3.5" + odd.arg("0", "0", "1 1 1 1 1 1", "0 0 1e+30 0 0 1e+30");
    // From the image's centre, y down; reversed where the outline as drawn has a positive signed area.
    QTest::newRow("generic, fixed centre, y down") << "<yAxisDirection>down</yAxisDirection><physicsEngine>generic"
        "</physicsEngine><origin><type>fixed</type><relX>0.5</relX><relY>0.5</relY></origin>" << everyName << "out.txt"
        << "32 []\ncrate dyn 40x20 at 10 15 rel 0.25 0.75\nPOLYGON 2.5 hull -10 10 -10 6 -16 6 -16 0 -20 0 -20 10 "
           "pieces | -16 0 -20 0 -20 10 -16 6 | -20 10 -10 10 -10 6 -16 6\nCIRCLE 7.25 centre 10 -5 r 3.5"
           + odd.arg("8", "1", "-3 3 -3 3 -3 3", "-4 4 1e+30 4 -4 -1e+30");

    // A failure keeps the previous file.
    const QString kept = "previous\n2 Error writing file: Failed to write %OUT%: ";
    QTest::newRow("no exporter") << anchored << QString() << "out.txt" << kept;
    QTest::newRow("no template") << anchored << QString() << "out.txt" << kept;
    QTest::newRow("template error") << anchored << "{% for b in bodies %}" << "out.txt" << kept;
    QTest::newRow("render error") << anchored << "start {% include \"missing-part.txt\" %} end" << "out.txt" << kept;
    QTest::newRow("output not openable") << anchored << "plain" << "no/dir/out.txt"
                                         << "<none>\n2 Error opening file: Failed to write %OUT%: ";
}

void TestPublishing::publish()
{
    QFETCH(QString, conventions);
    QFETCH(QString, templateText);
    QFETCH(QString, output);
    QFETCH(QString, expected);
    registerTemplateLookups();
    registerTemplateLookups();  // a second call changes nothing
    const QDir directory(m_dir.filePath(QTest::currentDataTag()));
    directory.mkpath(".");
    QFile xml(directory.filePath("exporter.xml")), text(directory.filePath("out.txt"));
    QVERIFY(xml.open(QIODevice::WriteOnly) && xml.write(QStringLiteral(R"(<exporter><name>x</name>%1
        <template>out.txt</template><global><parameter><name>ptm</name><type>float</type><default>32</default>
        </parameter></global><body><parameter><name>kind</name><type>string</type><default>dyn</default></parameter>
        </body><fixture><parameter><name>density</name><type>float</type><default>2.5</default></parameter></fixture>
        </exporter>)")
        .arg(conventions).toUtf8()) > 0);
    xml.close();
    if (!templateText.isNull() && text.open(QIODevice::WriteOnly))
        text.write(templateText.toUtf8());
    text.close();
    Exporter exporter(directory.path());

    ElementListModel document;
    if (QByteArray(QTest::currentDataTag()) != "no exporter")
        document.setExporter(&exporter);
    // An L, drawn clockwise in body coordinates (y up), and a circle; two outlines that cannot be cut:
    // all in one point, and too large.
    Element* crate = document.addFile(ModelTest::makeImage(m_dir.path(), "crate.png", 40, 20));
    Element* odd = document.addFile(ModelTest::makeImage(m_dir.path(), "odd.png", 8, 8));
    for (const auto& [body, outline] : QList<QPair<Element*, QPolygonF>>{
             {crate, QPolygonF({{0, 0}, {0, 10}, {4, 10}, {4, 4}, {10, 4}, {10, 0}})},
             {odd, QPolygonF({{1, 1}, {1, 1}, {1, 1}})}, {odd, QPolygonF({{0, 0}, {1e30, 0}, {0, 1e30}})}}) {
        auto* polygon = new FixturePolygon(body);
        polygon->setPolygonDirect(outline);
        body->addFixture(polygon);
    }
    crate->setName("crate");
    crate->setAnchorPointAbsDirect(QPointF(10, 5));
    odd->setName("odd");
    auto* circle = new FixtureCircle(crate);
    circle->setCircleDirect(QPointF(30, 15), 3.5);
    circle->setValueDirect("density", 7.25f);
    crate->addFixture(circle);
    output = m_dir.filePath(output);
    QFile previous(output);
    if (previous.open(QIODevice::WriteOnly))
        previous.write("previous");
    previous.close();

    RecordingReporter reporter;
    const Publisher::Result result = Publisher::publish(document, output);
    QFile file(output);
    QString actual = file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QStringLiteral("<none>");
    for (const RecordingReporter::Entry& entry : reporter.entries)
        actual += QStringLiteral("\n%1 %2: %3").arg(entry.severity).arg(entry.title, entry.text);
    expected.replace("%OUT%", output);
    QVERIFY2(result.written ? actual == expected : actual.startsWith(expected) && actual.size() > expected.size(),
             qPrintable(actual));
    QCOMPARE(reporter.entries.size(), 1);
    QCOMPARE(result.undecomposable, (result.written ? QStringList{"odd: fixture 1", "odd: fixture 2"} : QStringList()));
}

MODEL_TEST_MAIN(TestPublishing)

#include "tst_publishing.moc"
