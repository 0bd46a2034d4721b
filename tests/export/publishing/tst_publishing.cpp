#include "convexdecomposition.h"
#include "coverage.h"
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

using Polygons = QVector<QPolygonF>;

// A Z: the bottom-right corner of a 12 x 12 square dragged to the bottom left, under the corner (0, 2), so
// that the outline crosses itself at (7, 2). Filled: the triangle (7, 2), (12, 2), (12, 12) of 25 and the
// trapezoid (0, 0), (6, 0), (7, 2), (0, 2) of 13. The decomposition gives one piece, (12, 2), (12, 12),
// (0, 2), of 60: it holds the triangle but nothing of the trapezoid. The signed area is 25 - 13 = 12.
const QPolygonF zed({{12, 12}, {12, 2}, {0, 2}, {0, 0}, {6, 0}});

// An L of 6, cut into pieces of 2.5, (0, 0) to (1, 3), and 3.5, the rest.
const QPolygonF ell({{0, 0}, {4, 0}, {4, 1}, {1, 1}, {1, 3}, {0, 3}});

// n corners on a circle.
QPolygonF circle(double radius, int n)
{
    QPolygonF points;
    for (int i = 0; i < n; ++i)
        points << QPointF(radius * std::cos(2 * M_PI * i / n), radius * std::sin(2 * M_PI * i / n));
    return points;
}

}

class TestPublishing : public QObject
{
    Q_OBJECT

private slots:
    void publish_data();
    void publish();
    void incomplete_data();
    void incomplete();
    void coverage_data();
    void coverage();

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

void TestPublishing::incomplete_data()
{
    QTest::addColumn<QVector<Polygons>>("bodies");  // the polygons of each body; an empty one: a circle
    QTest::addColumn<QString>("warning");            // the one "Publishing incomplete" text; empty: none
    QTest::addColumn<QVector<double>>("gaps");       // area and covered area of every partly covered polygon
    QTest::addColumn<QStringList>("names");          // of the bodies; none: b1, b2, ...

    QTest::newRow("complete") << QVector<Polygons>{{ell}, {QPolygonF()}} << QString() << QVector<double>()
                              << QStringList();
    // Merged corners shave slivers off: 0.25 of 31.75 (under one square unit), and 29 of 80036 (under
    // 0.5 %) from the saw's teeth, 0.09 high, and 2.7 of 2827 from the circle.
    QPolygonF saw;
    for (int k = 0; k <= 40; ++k)
        saw << QPointF(20 * k, k % 2 ? 100.09 : 100);
    saw << QPointF(800, 0) << QPointF(0, 0);
    QTest::newRow("slivers") << QVector<Polygons>{{QPolygonF({{0, 0}, {0, 4}, {4, 4}, {8, 3.875}, {8, 0}})},
                                                  {saw, circle(30, 200)}}
                             << QString() << QVector<double>() << QStringList();

    const QString partly = "The convex pieces of these polygons cover only part of the outline (does it cross "
                           "itself?), so the published file has no collision shape for the rest:\n";
    const QString empty = "These bodies have no fixtures, so the published file has no collision shape for them:\n";
    QTest::newRow("crossing itself") << QVector<Polygons>{{ell}, {QPolygonF(), ell, zed}}
                                     << partly + "b2: fixture 3 (65.7 % covered)" << QVector<double>{38, 25}
                                     << QStringList();
    // A circle is a fixture too.
    QTest::newRow("no fixtures") << QVector<Polygons>{{}, {QPolygonF()}, {}} << empty + "b1\nb3" << QVector<double>()
                                 << QStringList();
    QTest::newRow("everything in one")
        << QVector<Polygons>{{}, {zed, QPolygonF({{1, 1}, {1, 1}, {1, 1}}), zed}}
        << "These polygons could not be cut into convex pieces, so the published file has no collision shape for "
           "them:\nb2: fixture 2\n\n" + partly + "b2: fixture 1 (65.7 % covered)\nb2: fixture 3 (65.7 % covered)\n\n"
               + empty + "b1"
        << QVector<double>{38, 25, 38, 25} << QStringList();
    // Names are taken as they are.
    QTest::newRow("names with %") << QVector<Polygons>{{}, {zed}}
                                  << partly + "50%1: fixture 1 (65.7 % covered)\n\n" + empty + "%2"
                                  << QVector<double>{38, 25} << QStringList{"%2", "50%1"};
}

void TestPublishing::incomplete()
{
    QFETCH(QVector<Polygons>, bodies);
    QFETCH(QString, warning);
    QFETCH(QVector<double>, gaps);
    QFETCH(QStringList, names);
    registerTemplateLookups();
    const QDir directory(m_dir.filePath("incomplete"));
    directory.mkpath(".");
    QVERIFY(ModelTest::writeFile(directory.filePath("exporter.xml"),
                                 ("<exporter><name>x</name>" + anchored + "<template>t.txt</template></exporter>")
                                     .toUtf8()));
    QVERIFY(ModelTest::writeFile(directory.filePath("t.txt"), "{% for b in bodies %}{{ b.name }};{% endfor %}"));
    Exporter exporter(directory.path());
    ElementListModel document;
    document.setExporter(&exporter);
    for (const Polygons& outlines : bodies) {
        Element* body = document.addFile(ModelTest::makeImage(m_dir.path(), "sprite.png", 16, 16));
        body->setName(names.value(document.rowCount() - 1, QStringLiteral("b%1").arg(document.rowCount())));
        for (const QPolygonF& outline : outlines) {
            if (outline.isEmpty()) {
                auto* circle = new FixtureCircle(body);
                circle->setCircleDirect(QPointF(8, 8), 4);
                body->addFixture(circle);
            } else {
                auto* polygon = new FixturePolygon(body);
                polygon->setPolygonDirect(outline);
                body->addFixture(polygon);
            }
        }
    }

    RecordingReporter reporter;
    const QString output = directory.filePath("out.txt");
    const Publisher::Result result = Publisher::publish(document, output);
    // Written all the same.
    QVERIFY(result.written);
    QVERIFY(ModelTest::readFile(output).startsWith(document.element(0)->name().toUtf8() + ';'));
    QStringList reports;
    for (const RecordingReporter::Entry& entry : reporter.entries)
        reports << QStringLiteral("%1 %2: %3").arg(entry.severity).arg(entry.title, entry.text);
    QCOMPARE(reports, warning.isEmpty() ? QStringList() : QStringList{"1 Publishing incomplete: " + warning});
    QVector<double> areas;
    for (const Publisher::PartialCover& gap : result.partlyCovered)
        areas << gap.area << gap.covered;
    QCOMPARE(areas, gaps);
}

void TestPublishing::coverage_data()
{
    QTest::addColumn<QPolygonF>("outline");
    QTest::addColumn<Polygons>("pieces");
    QTest::addColumn<double>("filled");
    QTest::addColumn<double>("covered");
    const QPolygonF square({{0, 0}, {2, 0}, {2, 2}, {0, 2}});
    // Outlines that neither cross nor wind round anything twice: the pieces add up.
    QTest::newRow("square") << square << Polygons{square} << 4.0 << 4.0;
    QTest::newRow("square, no pieces") << square << Polygons() << 4.0 << 0.0;
    QTest::newRow("ell, a piece missing") << ell << ConvexDecomposition::decompose(ell).mid(1) << 6.0 << 3.5;
    QTest::newRow("far away") << QPolygonF(square).translated(1e6, -1e6) << Polygons() << 4.0 << 0.0;
    QTest::newRow("beyond the float range") << QPolygonF({{0, 0}, {1e39, 0}, {0, 1}}) << Polygons() << 0.0 << 0.0;
    // Outlines that do: the editor fills them by the odd-even rule, and only what lies in a piece counts.
    QTest::newRow("zed") << zed << ConvexDecomposition::decompose(zed) << 38.0 << 25.0;
    QTest::newRow("zed, reversed") << QPolygonF({{6, 0}, {0, 0}, {0, 2}, {12, 2}, {12, 12}})
                                   << Polygons{QPolygonF({{12, 2}, {0, 2}, {12, 12}})} << 38.0 << 25.0;
    // Two triangles of 1 crossing at (1, 1); its pieces overlap below the crossing, outside the outline.
    const QPolygonF bowTie({{0, 0}, {2, 2}, {2, 0}, {0, 2}});
    QTest::newRow("bow tie") << bowTie << ConvexDecomposition::decompose(bowTie) << 2.0 << 2.0;
    QTest::newRow("bow tie, one piece") << bowTie << ConvexDecomposition::decompose(bowTie).mid(1) << 2.0 << 1.0;
    // Round the square twice: nothing filled, whatever the pieces.
    QTest::newRow("twice round") << QPolygonF(square + square) << Polygons{square} << 0.0 << 0.0;
    // Round a 4 x 4 square, then round a 2 x 2 one inside it the same way: a hole, though the pieces cover it.
    const QPolygonF framed({{0, 0}, {4, 0}, {4, 4}, {0, 4}, {0, 0}, {1, 1}, {3, 1}, {3, 3}, {1, 3}, {1, 1}});
    QTest::newRow("hole") << framed << ConvexDecomposition::decompose(framed) << 12.0 << 12.0;
    QTest::newRow("hole, inner piece") << framed << Polygons{QPolygonF({{1, 1}, {3, 1}, {3, 3}, {1, 3}})} << 12.0
                                       << 0.0;
    // Two squares touching at a corner, walked in opposite senses: they cross nowhere, yet the signed areas cancel.
    const QPolygonF eight({{0, 0}, {1, 0}, {1, 1}, {0, 1}, {0, 0}, {0, -1}, {-1, -1}, {-1, 0}});
    QTest::newRow("figure eight") << eight << Polygons{QPolygonF({{0, 0}, {1, 0}, {1, 1}, {0, 1}})} << 2.0 << 1.0;
}

void TestPublishing::coverage()
{
    QFETCH(QPolygonF, outline);
    QFETCH(Polygons, pieces);
    QFETCH(double, filled);
    QFETCH(double, covered);
    const Coverage::Areas areas = Coverage::measure(outline, pieces);
    QVERIFY2(qAbs(areas.filled - filled) < 1e-9 && qAbs(areas.covered - covered) < 1e-9,
             qPrintable(QStringLiteral("%1 %2").arg(areas.filled, 0, 'g', 17).arg(areas.covered, 0, 'g', 17)));
}

MODEL_TEST_MAIN(TestPublishing)

#include "tst_publishing.moc"
