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

using Polygons = QVector<QPolygonF>;

// A Z: the bottom-right corner of a 12 x 12 square dragged to the bottom left, under the corner (0, 2), so
// that the outline crosses itself at (7, 2). Filled: the triangle (7, 2), (12, 2), (12, 12) of 25 and the
// trapezoid (0, 0), (6, 0), (7, 2), (0, 2) of 13. The decomposition gives one piece, (12, 2), (12, 12),
// (0, 2), of 60: it holds the triangle but nothing of the trapezoid. The signed area is 25 - 13 = 12.
const QPolygonF zed({{12, 12}, {12, 2}, {0, 2}, {0, 0}, {6, 0}});

// An L of 6, cut into pieces of 2.5, (0, 0) to (1, 3), and 3.5, the rest.
const QPolygonF ell({{0, 0}, {4, 0}, {4, 1}, {1, 1}, {1, 3}, {0, 3}});

const QString anchored = "<yAxisDirection>up</yAxisDirection><physicsEngine>box2d</physicsEngine>"
                         "<origin><type>anchorpoint</type></origin>";
// An L, drawn clockwise in body coordinates (y up), and a circle; two outlines that cannot be cut: all in one
// point, and too large.
const QVector<Polygons> crateAndOdd{
    {QPolygonF({{0, 0}, {0, 10}, {4, 10}, {4, 4}, {10, 4}, {10, 0}}), QPolygonF()},
    {QPolygonF({{1, 1}, {1, 1}, {1, 1}}), QPolygonF({{0, 0}, {1e30, 0}, {0, 1e30}})}};

}

class TestPublishing : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void publish_data()
    {
        QTest::addColumn<QString>("conventions");
        QTest::addColumn<QString>("templateText");      // null: none
        QTest::addColumn<QVector<Polygons>>("bodies");  // the fixtures of each body; an empty polygon: a circle
        QTest::addColumn<QStringList>("names");         // of the bodies
        // The file afterwards (or "not readable"), the reports (a failure's up to its reason), and the partly
        // covered polygons.
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* tag, const QString& templateText, const QString& expected,
                            const QString& conventions = anchored, const QVector<Polygons>& bodies = crateAndOdd,
                            const QStringList& names = {"crate", "odd"}) {
            QTest::newRow(tag) << conventions << templateText << bodies << names << expected;
        };
        // The polygons that cannot be cut are written without pieces, and named.
        const QString odd = "\nodd dyn 40x20 at %1\nPOLYGON 2.5 hull %2 pieces\nPOLYGON 2.5 hull %3 pieces\n1 "
                            "Publishing incomplete: These polygons could not be cut into convex pieces, so the "
                            "published file has no collision shape for them:\nodd: fixture 1\nodd: fixture 2";
        // Relative to the anchor point, y up, counter-clockwise (positive signed area).
        row("box2d", everyName, "32 []\ncrate dyn 40x20 at 10 5 rel 0.25 0.25\nPOLYGON 2.5 hull 0 -5 0 -1 -6 -1 -6 5 "
            "-10 5 -10 -5 pieces | -6 5 -10 5 -10 -5 -6 -1 | -10 -5 0 -5 0 -1 -6 -1\nCIRCLE 7.25 centre 20 10 r 3.5"
            + odd.arg("10 5 rel 0.25 0.25", "-9 -4 -9 -4 -9 -4", "-10 -5 1e+30 -5 -10 1e+30"));
        // From the image's centre, y down; reversed where the outline as drawn has a positive signed area.
        row("generic, fixed centre, y down", everyName, "32 []\ncrate dyn 40x20 at 10 15 rel 0.25 0.75\nPOLYGON 2.5 "
            "hull -10 10 -10 6 -16 6 -16 0 -20 0 -20 10 pieces | -16 0 -20 0 -20 10 -16 6 | -20 10 -10 10 -10 6 -16 6"
            "\nCIRCLE 7.25 centre 10 -5 r 3.5" + odd.arg("10 15 rel 0.25 0.75", "-19 9 -19 9 -19 9", "-20 10 1e+30 10 "
            "-20 -1e+30"), "<yAxisDirection>down</yAxisDirection><physicsEngine>generic</physicsEngine><origin><type>"
            "fixed</type><relX>0.5</relX><relY>0.5</relY></origin>");
        // A failure keeps the previous file.
        const QString kept = "previous\n2 Error writing file: Failed to write %OUT%: ";
        row("no exporter", QString(), kept);
        row("no template", QString(), kept);
        row("template error", "{% for b in bodies %}", kept);
        row("render error", "start {% include \"missing-part.txt\" %} end", kept);
        row("output not openable", "plain", "not readable\n2 Error opening file: Failed to write %OUT%: ");

        // Merged corners shave slivers off: 0.25 of 31.75 (under one square unit), and 29 of 80036 (under
        // 0.5 %) from the saw's teeth, 0.09 high. A circle is a fixture too, and no polygon.
        const QString names = "{% for b in bodies %}{{ b.name }};{% endfor %}";
        QPolygonF saw;
        for (int k = 0; k <= 40; ++k)
            saw << QPointF(20 * k, k % 2 ? 100.09 : 100);
        saw << QPointF(800, 0) << QPointF(0, 0);
        row("slivers", names, "b1;b2;", anchored, {{QPolygonF({{0, 0}, {0, 4}, {4, 4}, {8, 3.875}, {8, 0}})},
            {QPolygonF(), saw, ell}}, {});
        const QString partly = "The convex pieces of these polygons cover only part of the outline (does it cross "
                               "itself?), so the published file has no collision shape for the rest:\n";
        const QString empty = "These bodies have no fixtures, so the published file has no collision shape for them:\n";
        // Names are taken as they are.
        row("everything in one", names, "%2;50%1;b3;b4;\n1 Publishing incomplete: These polygons could not be cut "
            "into convex pieces, so the published file has no collision shape for them:\n50%1: fixture 3\n\n" + partly
            + "50%1: fixture 2 (65.7 % covered)\n50%1: fixture 5 (65.7 % covered)\n\n" + empty + "%2\nb4\n"
            "25 of 38 in 50%1: fixture 2\n25 of 38 in 50%1: fixture 5", anchored,
            {{}, {QPolygonF(), zed, QPolygonF({{1, 1}, {1, 1}, {1, 1}}), ell, zed}, {QPolygonF()}, {}}, {"%2", "50%1"});
    }

    void publish()
    {
        QFETCH(QString, conventions);
        QFETCH(QString, templateText);
        QFETCH(QVector<Polygons>, bodies);
        QFETCH(QStringList, names);
        QFETCH(QString, expected);
        registerTemplateLookups();
        registerTemplateLookups();  // a second call changes nothing
        const QByteArray tag = QTest::currentDataTag();
        const QDir directory(m_dir.filePath(tag));
        directory.mkpath(".");
        QVERIFY(ModelTest::writeFile(directory.filePath("exporter.xml"), QStringLiteral(R"(<exporter><name>x</name>%1
            <template>t.txt</template><global><parameter><name>ptm</name><type>float</type><default>32</default>
            </parameter></global><body><parameter><name>kind</name><type>string</type><default>dyn</default>
            </parameter></body><fixture><parameter><name>density</name><type>float</type><default>2.5</default>
            </parameter></fixture></exporter>)").arg(conventions).toUtf8()));
        if (!templateText.isNull())
            QVERIFY(ModelTest::writeFile(directory.filePath("t.txt"), templateText.toUtf8()));
        Exporter exporter(directory.path());

        ElementListModel document;
        if (tag != "no exporter")
            document.setExporter(&exporter);
        for (int i = 0; i < bodies.size(); ++i) {
            const QString name = names.value(i, QStringLiteral("b%1").arg(i + 1));
            Element* body = document.addFile(ModelTest::makeImage(m_dir.path(), name + ".png", 40, 20));
            body->setAnchorPointAbsDirect(QPointF(10, 5));
            for (const QPolygonF& outline : bodies[i]) {
                if (outline.isEmpty()) {
                    auto* circle = new FixtureCircle(body);
                    circle->setCircleDirect(QPointF(30, 15), 3.5);
                    circle->setValueDirect("density", 7.25f);
                    body->addFixture(circle);
                    continue;
                }
                auto* polygon = new FixturePolygon(body);
                polygon->setPolygonDirect(outline);
                body->addFixture(polygon);
            }
        }
        const QString output = m_dir.filePath(tag == "output not openable" ? "no/dir/out.txt" : "out.txt");
        ModelTest::writeFile(output, "previous");

        RecordingReporter reporter;
        const Publisher::Result result = Publisher::publish(document, output);
        QString actual = ModelTest::readFile(output);
        for (const RecordingReporter::Entry& entry : reporter.entries)
            actual += QStringLiteral("\n%1 %2: %3").arg(entry.severity).arg(entry.title, entry.text);
        for (const Publisher::PartialCover& gap : result.partlyCovered)
            actual += QStringLiteral("\n%1 of %2 in %3").arg(gap.covered).arg(gap.area).arg(gap.fixture);
        expected.replace("%OUT%", output);
        QVERIFY2(result.written ? actual == expected : actual.startsWith(expected) && reporter.entries.size() == 1
                     && actual.size() > expected.size(), qPrintable(actual));
    }

    void coverage_data()
    {
        QTest::addColumn<QPolygonF>("outline");
        QTest::addColumn<Polygons>("pieces");
        QTest::addColumn<double>("filled");
        QTest::addColumn<double>("covered");
        const QPolygonF square({{0, 0}, {2, 0}, {2, 2}, {0, 2}});
        const auto row = [](const char* tag, const QPolygonF& outline, const Polygons& pieces, double filled,
                            double covered) { QTest::newRow(tag) << outline << pieces << filled << covered; };
        // Outlines that neither cross nor wind round anything twice: the pieces add up.
        row("square", square, {square}, 4, 4);
        row("square, no pieces", square, {}, 4, 0);
        row("ell, a piece missing", ell, ConvexDecomposition::decompose(ell).mid(1), 6, 3.5);
        row("far away", QPolygonF(square).translated(1e6, -1e6), {}, 4, 0);
        row("beyond the float range", QPolygonF({{0, 0}, {1e39, 0}, {0, 1}}), {}, 0, 0);
        // Outlines that do: the editor fills them by the odd-even rule, and only what lies in a piece counts.
        row("zed", zed, ConvexDecomposition::decompose(zed), 38, 25);
        row("zed, reversed", QPolygonF({{6, 0}, {0, 0}, {0, 2}, {12, 2}, {12, 12}}),
            {QPolygonF({{12, 2}, {0, 2}, {12, 12}})}, 38, 25);
        // Two triangles of 1 crossing at (1, 1); its pieces overlap below the crossing, outside the outline.
        const QPolygonF bowTie({{0, 0}, {2, 2}, {2, 0}, {0, 2}});
        row("bow tie", bowTie, ConvexDecomposition::decompose(bowTie), 2, 2);
        row("bow tie, one piece", bowTie, ConvexDecomposition::decompose(bowTie).mid(1), 2, 1);
        // Round the square twice: nothing filled, whatever the pieces.
        row("twice round", QPolygonF(square + square), {square}, 0, 0);
        // Round a 4 x 4 square, then round a 2 x 2 one inside it the same way: a hole, though the pieces cover it.
        const QPolygonF framed({{0, 0}, {4, 0}, {4, 4}, {0, 4}, {0, 0}, {1, 1}, {3, 1}, {3, 3}, {1, 3}, {1, 1}});
        row("hole", framed, ConvexDecomposition::decompose(framed), 12, 12);
        row("hole, inner piece", framed, {QPolygonF({{1, 1}, {3, 1}, {3, 3}, {1, 3}})}, 12, 0);
        // Two squares touching at a corner, walked in opposite senses: no crossing, yet the signed areas cancel.
        row("figure eight", QPolygonF({{0, 0}, {1, 0}, {1, 1}, {0, 1}, {0, 0}, {0, -1}, {-1, -1}, {-1, 0}}),
            {QPolygonF({{0, 0}, {1, 0}, {1, 1}, {0, 1}})}, 2, 1);
    }

    void coverage()
    {
        QFETCH(QPolygonF, outline);
        QFETCH(Polygons, pieces);
        QFETCH(double, filled);
        QFETCH(double, covered);
        const Coverage::Areas areas = Coverage::measure(outline, pieces);
        QCOMPARE(QPointF(areas.filled, areas.covered), QPointF(filled, covered));
    }
};

MODEL_TEST_MAIN(TestPublishing)

#include "tst_publishing.moc"
