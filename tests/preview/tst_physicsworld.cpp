// The physics preview's world, driven without a window: bodies land where their
// shapes say, the settings of the exporter decide what collides, and the pieces
// in the world are the pieces publishing writes.

#include "exporterregistry.h"
#include "modeltestsupport.h"
#include "physicsworld.h"
#include "publisher.h"
#include "templatelookups.h"

#include <box2d/box2d.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

namespace {

using Circle = QPair<QPointF, double>;
using Values = QHash<QString, QVariant>;

// A document of one exporter, with bodies on images of their own size.
class Document
{
public:
    explicit Document(const QString& exporter = QStringLiteral("box2d-json"))
    {
        model.setExporter(ExporterRegistry::instance().exporter(exporter));
    }

    // Body coordinates: pixels, y up, origin at the image's lower left corner.
    Element* add(const QSize& size, const QPointF& anchor, const QList<QPolygonF>& polygons,
                 const QList<Circle>& circles = {}, const Values& bodyValues = {}, const Values& fixtureValues = {})
    {
        const QString image = ModelTest::makeImage(
            QDir(dir.path()), QStringLiteral("%1x%2.png").arg(size.width()).arg(size.height()), size.width(),
            size.height());
        Element* body = model.addFile(image);
        body->setAnchorPointAbsDirect(anchor);
        for (auto value = bodyValues.begin(); value != bodyValues.end(); ++value)
            body->setValueDirect(value.key(), value.value());
        QList<Fixture*> fixtures;
        for (const QPolygonF& outline : polygons) {
            auto* polygon = new FixturePolygon(body);
            polygon->setPolygonDirect(outline);
            fixtures << polygon;
        }
        for (const Circle& each : circles) {
            auto* circle = new FixtureCircle(body);
            circle->setCircleDirect(each.first, each.second);
            fixtures << circle;
        }
        for (Fixture* fixture : fixtures) {
            for (auto value = fixtureValues.begin(); value != fixtureValues.end(); ++value)
                fixture->setValueDirect(value.key(), value.value());
            body->addFixture(fixture);
        }
        return body;
    }

    QVector<PreviewBody> bodies() const { return PreviewBody::fromElements(model.elements()); }

    QTemporaryDir dir;
    ElementListModel model;
};

QPolygonF box(double width, double height)
{
    return QPolygonF({{0, 0}, {width, 0}, {width, height}, {0, height}});
}

void run(PhysicsWorld& world, double seconds)
{
    for (int i = 0; i < int(std::lround(seconds / PhysicsWorld::stepSeconds)); ++i)
        world.step();
}

// The world box of a body's shapes where it stands.
QRectF worldBounds(const PhysicsWorld& world, int body)
{
    QTransform transform;
    transform.translate(world.position(body).x(), world.position(body).y());
    transform.rotateRadians(world.angle(body));
    QRectF bounds;
    for (const PhysicsWorld::Shape& shape : world.shapes(body)) {
        const QRectF part = shape.polygon.isEmpty()
                                ? QRectF(shape.center - QPointF(shape.radius, shape.radius),
                                         QSizeF(2 * shape.radius, 2 * shape.radius))
                                : shape.polygon.boundingRect();
        bounds = bounds.isNull() ? transform.mapRect(part) : bounds.united(transform.mapRect(part));
    }
    return bounds;
}

}

class TestPhysicsWorld : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        ExporterRegistry::instance().scanExporters(QStringLiteral(HWT_SOURCE_DIR "/exporters"));
        registerTemplateLookups();
    }
    void restsAtTheHeightOfItsShape_data();
    void restsAtTheHeightOfItsShape();
    void concaveBodyRestsOnItsPieces();
    void sensorLetsABallPass_data();
    void sensorLetsABallPass();
    void filterDecidesWhatCollides_data();
    void filterDecidesWhatCollides();
    void piecesAreThePublishedPieces();
    void exporterParameters_data();
    void exporterParameters();
    void brokenFixturesAreLeftOutAndListed_data();
    void brokenFixturesAreLeftOutAndListed();
    void massesBox2DCannotTake_data();
    void massesBox2DCannotTake();
    void boundsOfTheShapesOrTheImage_data();
    void boundsOfTheShapesOrTheImage();
    void layoutKeepsBodiesApartInOrder();
    void sameDocumentSameResult();
    void dragAndThrow();
    void wallsHoldAndGravityWakes();
};

void TestPhysicsWorld::restsAtTheHeightOfItsShape_data()
{
    QTest::addColumn<QPolygonF>("outline");
    QTest::addColumn<double>("radius");  // a circle around the anchor instead
    QTest::addColumn<QPointF>("anchor");
    QTest::addColumn<double>("height");  // where the anchor comes to rest, metres (32 pixels)

    QTest::newRow("box anchored at its centre") << box(64, 32) << 0.0 << QPointF(32, 16) << 0.5;
    QTest::newRow("box anchored at a corner") << box(64, 32) << 0.0 << QPointF(0, 0) << 0.0;
    QTest::newRow("anchor above the box") << box(64, 32) << 0.0 << QPointF(32, 96) << 3.0;
    QTest::newRow("triangle on its base") << QPolygonF({{0, 0}, {64, 0}, {32, 48}}) << 0.0 << QPointF(32, 48) << 1.5;
    QTest::newRow("ell on its foot") << QPolygonF({{0, 0}, {96, 0}, {96, 20}, {24, 20}, {24, 64}, {0, 64}}) << 0.0
                                     << QPointF(48, 32) << 1.0;
    QTest::newRow("circle") << QPolygonF() << 24.0 << QPointF(40, 40) << 0.75;
}

void TestPhysicsWorld::restsAtTheHeightOfItsShape()
{
    QFETCH(QPolygonF, outline);
    QFETCH(double, radius);
    QFETCH(QPointF, anchor);
    QFETCH(double, height);
    Document document;
    document.add(QSize(96, 64), anchor, outline.isEmpty() ? QList<QPolygonF>() : QList<QPolygonF>{outline},
                 radius > 0 ? QList<Circle>{{anchor, radius}} : QList<Circle>());
    PhysicsWorld world(document.bodies());
    const double start = world.position(0).y();
    run(world, 5);
    QVERIFY(start > height + 0.5);
    // Box2D keeps polygons a centimetre apart (their skin), less a little overlap.
    QVERIFY2(std::abs(world.position(0).y() - height) < 0.03, qPrintable(QString::number(world.position(0).y())));
    QVERIFY(std::abs(world.angle(0)) < 0.01);
    QVERIFY(!world.isAwake(0));
    QCOMPARE(world.stepCount(), 300);
}

void TestPhysicsWorld::concaveBodyRestsOnItsPieces()
{
    // A hook: a leg of 1 m under the left end of a bar 6 m long. Its box would
    // stand upright; the body itself tips over to the right and rests on the
    // leg's inner corner and the bar's far end.
    Document document;
    const QPolygonF hook({{0, 0}, {32, 0}, {32, 96}, {192, 96}, {192, 128}, {0, 128}});
    document.add(QSize(192, 128), QPointF(0, 0), {hook});
    PhysicsWorld world(document.bodies());
    run(world, 6);
    const double expected = -std::atan2(96.0 - 0.0, 192.0 - 32.0);
    QVERIFY2(std::abs(world.angle(0) - expected) < 0.02, qPrintable(QString::number(world.angle(0))));
    QVERIFY(std::abs(worldBounds(world, 0).top()) < 0.03);
    QVERIFY(!world.isAwake(0));
}

void TestPhysicsWorld::sensorLetsABallPass_data()
{
    QTest::addColumn<bool>("sensor");
    QTest::newRow("solid") << false;
    QTest::newRow("sensor") << true;
}

void TestPhysicsWorld::sensorLetsABallPass()
{
    QFETCH(bool, sensor);
    Document document;
    document.add(QSize(256, 32), QPointF(128, 16), {box(256, 32)}, {}, {{"bodyType", 0}}, {{"isSensor", sensor}});
    PhysicsWorld world(document.bodies());
    const QPointF platform = world.position(0);
    QVERIFY(platform.y() > 1.5);
    world.throwBall(platform + QPointF(0, 2), QPointF());
    run(world, 3);
    QCOMPARE(world.position(0), platform);
    const double expected = sensor ? world.ballRadius() : platform.y() + 0.5 + world.ballRadius();
    QVERIFY2(std::abs(world.ballPosition(0).y() - expected) < 0.03, qPrintable(QString::number(world.ballPosition(0).y())));
    QVERIFY(world.shapes(0).first().isSensor == sensor);
}

void TestPhysicsWorld::filterDecidesWhatCollides_data()
{
    QTest::addColumn<int>("categoryA");
    QTest::addColumn<int>("maskA");
    QTest::addColumn<int>("groupA");
    QTest::addColumn<int>("categoryB");
    QTest::addColumn<int>("maskB");
    QTest::addColumn<int>("groupB");
    QTest::addColumn<bool>("collide");

    QTest::newRow("defaults") << 1 << 0xFFFF << 0 << 1 << 0xFFFF << 0 << true;
    QTest::newRow("categories meet masks") << 4 << 8 << 0 << 8 << 4 << 0 << true;
    QTest::newRow("A's mask leaves B out") << 1 << 0xFFFD << 0 << 2 << 0xFFFF << 0 << false;
    QTest::newRow("B's mask leaves A out") << 1 << 0xFFFF << 0 << 2 << 0xFFFE << 0 << false;
    QTest::newRow("same negative group") << 1 << 0xFFFF << -3 << 1 << 0xFFFF << -3 << false;
    QTest::newRow("same positive group beats masks") << 1 << 0 << 5 << 1 << 0 << 5 << true;
    QTest::newRow("different groups use the bits") << 1 << 0xFFFF << -3 << 1 << 0xFFFF << -4 << true;
}

void TestPhysicsWorld::filterDecidesWhatCollides()
{
    QFETCH(int, categoryA);
    QFETCH(int, maskA);
    QFETCH(int, groupA);
    QFETCH(int, categoryB);
    QFETCH(int, maskB);
    QFETCH(int, groupB);
    QFETCH(bool, collide);
    Document document;
    document.add(QSize(256, 32), QPointF(128, 16), {box(256, 32)}, {}, {{"bodyType", 0}},
                 {{"filter_categoryBits", categoryA}, {"filter_maskBits", maskA}, {"filter_groupIndex", groupA}});
    document.add(QSize(32, 32), QPointF(16, 16), {box(32, 32)}, {},  {},
                 {{"filter_categoryBits", categoryB}, {"filter_maskBits", maskB}, {"filter_groupIndex", groupB}});
    PhysicsWorld world(document.bodies());
    world.setTransform(0, QPointF(8, 3), 0);
    world.setTransform(1, QPointF(8, 5), 0);
    run(world, 3);
    // On the platform (3 + 0.5 + 0.5), or through it onto the floor, which stops everything.
    const double expected = collide ? 4.0 : 0.5;
    QVERIFY2(std::abs(world.position(1).y() - expected) < 0.03, qPrintable(QString::number(world.position(1).y())));
}

void TestPhysicsWorld::piecesAreThePublishedPieces()
{
    Document document;
    document.model.setValueDirect(QStringLiteral("ptm"), 40.0);
    const Values settings{{"density", 2.5}, {"friction", 0.7}, {"restitution", 0.25}, {"filter_categoryBits", 6},
                          {"filter_maskBits", 0x0F0F}, {"filter_groupIndex", -2}};
    document.add(QSize(96, 64), QPointF(30, 21),
                 {QPolygonF({{0, 0}, {96, 0}, {96, 20}, {24, 20}, {24, 64}, {0, 64}}),
                  QPolygonF({{32, 62}, {24, 43}, {3, 41}, {19, 28}, {14, 8}, {32, 19}, {50, 8}, {45, 28}, {61, 41},
                             {40, 43}})},
                 {{QPointF(70, 40), 13.5}}, {}, settings);
    // A ring joined to its hole by a narrow channel, as the tracer writes it.
    QPolygonF ring;
    const double outer = std::asin(0.25 / 48), inner = std::asin(0.25 / 30);
    ring << QPointF(50 + 48 * std::cos(outer), 50 + 48 * std::sin(outer));
    for (int i = 1; i < 24; ++i)
        ring << QPointF(50 + 48 * std::cos(i * M_PI / 12), 50 + 48 * std::sin(i * M_PI / 12));
    ring << QPointF(50 + 48 * std::cos(outer), 50 - 48 * std::sin(outer));
    ring << QPointF(50 + 30 * std::cos(inner), 50 - 30 * std::sin(inner));
    for (int i = 23; i > 0; --i)
        ring << QPointF(50 + 30 * std::cos(i * M_PI / 12), 50 + 30 * std::sin(i * M_PI / 12));
    ring << QPointF(50 + 30 * std::cos(inner), 50 + 30 * std::sin(inner));
    document.add(QSize(100, 100), QPointF(50, 50), {ring}, {}, {}, {{"isSensor", true}});

    const QString file = document.dir.filePath(QStringLiteral("published.json"));
    QVERIFY(Publisher::publish(document.model, file).written);
    const QJsonObject published = QJsonDocument::fromJson(ModelTest::readFile(file)).object();
    const double ptm = published.value("ptm").toDouble();
    QCOMPARE(ptm, 40.0);

    PhysicsWorld world(document.bodies());
    const QJsonArray bodies = published.value("bodies").toArray();
    QCOMPARE(bodies.size(), world.bodyCount());
    int pieces = 0;
    for (int i = 0; i < bodies.size(); ++i) {
        const QVector<PhysicsWorld::Shape> shapes = world.shapes(i);
        int next = 0;
        for (const QJsonValue& value : bodies.at(i).toObject().value("fixtures").toArray()) {
            const QJsonObject fixture = value.toObject();
            QList<PhysicsWorld::Shape> expected;
            if (fixture.value("type") == "circle") {
                const QJsonObject circle = fixture.value("circle").toObject();
                PhysicsWorld::Shape shape;
                shape.center = QPointF(float(circle.value("center").toArray().at(0).toDouble() / ptm),
                                       float(circle.value("center").toArray().at(1).toDouble() / ptm));
                shape.radius = float(circle.value("radius").toDouble() / ptm);
                expected << shape;
            }
            for (const QJsonValue& piece : fixture.value("polygons").toArray()) {
                // As a game loads it: pixels over ptm into Box2D's own polygon set-up.
                b2Vec2 vertices[b2_maxPolygonVertices];
                const QJsonArray corners = piece.toArray();
                QVERIFY(corners.size() <= b2_maxPolygonVertices);
                for (int j = 0; j < corners.size(); ++j)
                    vertices[j].Set(float(corners.at(j)[0].toDouble() / ptm), float(corners.at(j)[1].toDouble() / ptm));
                b2PolygonShape polygon;
                polygon.Set(vertices, corners.size());
                PhysicsWorld::Shape shape;
                for (int j = 0; j < polygon.m_count; ++j)
                    shape.polygon << QPointF(polygon.m_vertices[j].x, polygon.m_vertices[j].y);
                expected << shape;
                ++pieces;
            }
            for (const PhysicsWorld::Shape& shape : expected) {
                QVERIFY(next < shapes.size());
                const PhysicsWorld::Shape& actual = shapes.at(next++);
                QCOMPARE(actual.polygon, shape.polygon);
                QCOMPARE(actual.center, shape.center);
                QCOMPARE(actual.radius, shape.radius);
                QCOMPARE(actual.isSensor, fixture.value("isSensor").toBool());
                QCOMPARE(actual.density, double(float(fixture.value("density").toDouble())));
                QCOMPARE(actual.friction, double(float(fixture.value("friction").toDouble())));
                QCOMPARE(actual.restitution, double(float(fixture.value("restitution").toDouble())));
                const QJsonObject filter = fixture.value("filter").toObject();
                QCOMPARE(actual.categoryBits, filter.value("categoryBits").toInt());
                QCOMPARE(actual.maskBits, filter.value("maskBits").toInt());
                QCOMPARE(actual.groupIndex, filter.value("groupIndex").toInt());
            }
        }
        QCOMPARE(next, shapes.size());
    }
    QVERIFY(pieces > 10);
}

void TestPhysicsWorld::exporterParameters_data()
{
    QTest::addColumn<QString>("exporter");
    QTest::addColumn<Values>("bodyValues");
    QTest::addColumn<Values>("fixtureValues");
    QTest::addColumn<QString>("expected");  // ptm type damping gravity rotation bullet | fixture settings

    QTest::newRow("box2d defaults") << "box2d-json" << Values() << Values()
                                    << "32 dynamic 0/0 1 0 0 | 1 0.2 0 0 1/65535/0";
    QTest::newRow("box2d values")
        << "box2d-json"
        << Values{{"bodyType", 1}, {"linearDamping", 0.5}, {"angularDamping", 2}, {"gravityScale", -1},
                  {"fixedRotation", true}, {"isBullet", true}}
        << Values{{"density", 3}, {"friction", 0.9}, {"restitution", 0.5}, {"isSensor", true},
                  {"filter_categoryBits", 12}, {"filter_maskBits", 3}, {"filter_groupIndex", -7}}
        << "32 kinematic 0.5/2 -1 1 1 | 3 0.9 0.5 1 12/3/-7";
    QTest::newRow("box2d static") << "box2d-json" << Values{{"bodyType", 0}} << Values()
                                  << "32 static 0/0 1 0 0 | 1 0.2 0 0 1/65535/0";
    // Values the engine would refuse fall back to the defaults.
    QTest::newRow("broken values")
        << "box2d-json" << Values{{"linearDamping", -1}, {"gravityScale", qQNaN()}}
        << Values{{"density", -2}, {"friction", qInf()}, {"restitution", "lots"}}
        << "32 dynamic 0/0 1 0 0 | 1 0.2 0 0 1/65535/0";
    QTest::newRow("chipmunk names") << "chipmunk-json" << Values{{"isStatic", true}}
                                    << Values{{"elasticity", 0.8}, {"friction", 0.4}}
                                    << "32 static 0/0 1 0 0 | 1 0.4 0.8 0 1/65535/0";
    // A stored value of a parameter this exporter does not have stays out.
    QTest::newRow("generic") << "generic-json" << Values{{"bodyType", 0}} << Values{{"density", 4}}
                             << "32 dynamic 0/0 1 0 0 | 4 0.2 0 0 1/65535/0";
}

void TestPhysicsWorld::exporterParameters()
{
    QFETCH(QString, exporter);
    QFETCH(Values, bodyValues);
    QFETCH(Values, fixtureValues);
    QFETCH(QString, expected);
    Document document(exporter);
    document.add(QSize(32, 32), QPointF(16, 16), {box(32, 32)}, {}, bodyValues, fixtureValues);
    const PreviewBody body = document.bodies().first();
    const PreviewFixture& fixture = body.fixtures.first();
    const char* types[] = {"static", "kinematic", "dynamic"};
    const QString actual = QStringLiteral("%1 %2 %3/%4 %5 %6 %7 | %8 %9 %10 %11 %12/%13/%14")
                               .arg(body.pixelsPerMetre)
                               .arg(types[body.type])
                               .arg(body.linearDamping)
                               .arg(body.angularDamping)
                               .arg(body.gravityScale)
                               .arg(body.fixedRotation)
                               .arg(body.isBullet)
                               .arg(fixture.density)
                               .arg(fixture.friction)
                               .arg(fixture.restitution)
                               .arg(fixture.isSensor)
                               .arg(fixture.categoryBits)
                               .arg(fixture.maskBits)
                               .arg(fixture.groupIndex);
    QCOMPARE(actual, expected);
}

void TestPhysicsWorld::brokenFixturesAreLeftOutAndListed_data()
{
    QTest::addColumn<QList<QPolygonF>>("polygons");
    QTest::addColumn<QList<Circle>>("circles");
    QTest::addColumn<QPointF>("anchor");
    QTest::addColumn<QString>("problem");
    QTest::addColumn<int>("shapesInWorld");

    const double nan = qQNaN();
    QTest::newRow("two points") << QList<QPolygonF>{QPolygonF(QVector<QPointF>{{0, 0}, {10, 0}})} << QList<Circle>() << QPointF(5, 5)
                                << "body: fixture 1: could not be cut into convex pieces" << 0;
    QTest::newRow("not a number") << QList<QPolygonF>{QPolygonF({{0, 0}, {10, nan}, {0, 10}}), box(10, 10)}
                                  << QList<Circle>() << QPointF(5, 5)
                                  << "body: fixture 1: could not be cut into convex pieces" << 1;
    QTest::newRow("too small for Box2D")
        << QList<QPolygonF>{QPolygonF({{0, 0}, {0.05, 0}, {0, 0.05}}), box(10, 10)} << QList<Circle>() << QPointF(5, 5)
        << "body: fixture 1: 1 piece(s) too small for Box2D left out" << 1;
    QTest::newRow("circle without radius") << QList<QPolygonF>() << QList<Circle>{{QPointF(5, 5), 0}} << QPointF(5, 5)
                                           << "body: fixture 1: the circle has no valid centre or radius" << 0;
    QTest::newRow("anchor far away") << QList<QPolygonF>{box(10, 10)} << QList<Circle>{{QPointF(5, 5), 3}}
                                     << QPointF(1e9, 0)
                                     << "body: fixture 1: 1 piece(s) too small for Box2D left out\n"
                                        "body: fixture 2: the circle has no valid centre or radius"
                                     << 0;
    // Laid out as a metre square, and falls.
    QTest::newRow("no fixtures, anchor not a number") << QList<QPolygonF>() << QList<Circle>() << QPointF(nan, 1)
                                                      << "body: no fixtures, so nothing stops it falling" << 0;
}

void TestPhysicsWorld::brokenFixturesAreLeftOutAndListed()
{
    QFETCH(QList<QPolygonF>, polygons);
    QFETCH(QList<Circle>, circles);
    QFETCH(QPointF, anchor);
    QFETCH(QString, problem);
    QFETCH(int, shapesInWorld);
    Document document;
    document.add(QSize(10, 10), anchor, polygons, circles)->setName(QStringLiteral("body"));
    const QVector<PreviewBody> bodies = document.bodies();
    QCOMPARE(bodies.first().problems().join('\n'), problem);
    QVERIFY(bodies.first().fixtures.isEmpty() || bodies.first().fixtures.first().isMissing() || shapesInWorld > 0);
    // Box2D stops the program on a polygon it cannot build: reaching this line is the test.
    PhysicsWorld world(bodies);
    run(world, 1);
    QCOMPARE(world.shapes(0).size(), shapesInWorld);
}

void TestPhysicsWorld::massesBox2DCannotTake_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<QPointF>("anchor");
    QTest::addColumn<double>("density");
    QTest::addColumn<QString>("problem");
    QTest::addColumn<bool>("turns");

    QTest::newRow("near its anchor") << 32 << QPointF(16, 16) << 1.0 << "" << true;
    // Three kilometres away, a one-metre piece has no inertia about its centre left in single precision.
    QTest::newRow("far from its anchor")
        << 32 << QPointF(-100002, 16) << 1.0
        << "body: its pieces lie too far from its anchor point for Box2D to turn it; it does not turn here" << false;
    QTest::newRow("too heavy") << 64 << QPointF(32, 32) << 3e38
                               << "body: its mass is too large for Box2D; it weighs 1 kg here" << false;
}

// Box2D stops the program on a body whose mass it cannot work out; the preview builds it all the same.
void TestPhysicsWorld::massesBox2DCannotTake()
{
    QFETCH(int, size);
    QFETCH(QPointF, anchor);
    QFETCH(double, density);
    QFETCH(QString, problem);
    QFETCH(bool, turns);
    Document document;
    document.add(QSize(size, size), anchor, {box(size, size)}, {}, {}, {{"density", density}})->setName("body");
    PhysicsWorld world(document.bodies());
    QCOMPARE(world.problems().join('\n'), problem);
    // Pushed off centre, it spins unless Box2D has no inertia for it.
    world.grab(world.position(0) + world.shapes(0).first().polygon.boundingRect().topLeft());
    world.dragTo(world.position(0) + world.shapes(0).first().polygon.boundingRect().topLeft() + QPointF(3, 0));
    run(world, 0.5);
    QCOMPARE(std::abs(world.angle(0)) > 0.01, turns);
}

void TestPhysicsWorld::boundsOfTheShapesOrTheImage_data()
{
    QTest::addColumn<QList<QPolygonF>>("polygons");
    QTest::addColumn<QList<Circle>>("circles");
    QTest::addColumn<QPointF>("anchor");
    QTest::addColumn<QRectF>("bounds");  // metres, y up; x and y are the lower left corner
    QTest::addColumn<QRectF>("image");

    // A 64 x 32 image at 32 pixels a metre, anchored a quarter in from its lower left corner.
    const QRectF image(-0.5, -0.25, 2, 1);
    QTest::newRow("pieces") << QList<QPolygonF>{QPolygonF({{32, 0}, {64, 0}, {64, 16}, {32, 16}})} << QList<Circle>()
                            << QPointF(16, 8) << QRectF(0.5, -0.25, 1, 0.5) << image;
    QTest::newRow("pieces and a circle")
        << QList<QPolygonF>{QPolygonF({{32, 0}, {64, 0}, {64, 16}, {32, 16}})} << QList<Circle>{{QPointF(16, 24), 8}}
        << QPointF(16, 8) << QRectF(-0.25, -0.25, 1.75, 1) << image;
    QTest::newRow("no fixtures") << QList<QPolygonF>() << QList<Circle>() << QPointF(16, 8) << image << image;
    QTest::newRow("only a broken fixture") << QList<QPolygonF>{QPolygonF(QVector<QPointF>{{0, 0}, {9, 9}})}
                                           << QList<Circle>() << QPointF(16, 8) << image << image;
    QTest::newRow("anchor too far") << QList<QPolygonF>() << QList<Circle>() << QPointF(1e12, 8)
                                    << QRectF(-0.5, -0.5, 1, 1) << QRectF();
}

void TestPhysicsWorld::boundsOfTheShapesOrTheImage()
{
    QFETCH(QList<QPolygonF>, polygons);
    QFETCH(QList<Circle>, circles);
    QFETCH(QPointF, anchor);
    QFETCH(QRectF, bounds);
    QFETCH(QRectF, image);
    Document document;
    document.add(QSize(64, 32), anchor, polygons, circles);
    const PreviewBody body = document.bodies().first();
    QCOMPARE(body.bounds(), bounds);
    QCOMPARE(body.imageRect, image);
}

void TestPhysicsWorld::layoutKeepsBodiesApartInOrder()
{
    Document document;
    QRandomGenerator random(17);
    for (int i = 0; i < 40; ++i) {
        const QSize size(8 + random.bounded(200), 8 + random.bounded(120));
        const QPointF anchor(random.bounded(size.width()), random.bounded(size.height()));
        document.add(size, anchor, {box(size.width(), size.height())});
    }
    PhysicsWorld world(document.bodies());
    const QRectF arena = world.arena();
    QVERIFY(arena.width() > 0 && arena.height() > 0);
    double rowBottom = -1, lastRight = -1;
    int rows = 0;
    for (int i = 0; i < world.bodyCount(); ++i) {
        const QRectF bounds = worldBounds(world, i);
        QVERIFY(bounds.left() > 0 && bounds.right() < arena.right() && bounds.top() > 0);
        QVERIFY(bounds.bottom() < arena.bottom());
        for (int j = 0; j < i; ++j)
            QVERIFY(!bounds.intersects(worldBounds(world, j)));
        // Left to right in document order; a new row starts at the left, higher up.
        if (bounds.left() < lastRight) {
            QVERIFY(bounds.top() > rowBottom);
            ++rows;
        }
        rowBottom = std::max(rowBottom, bounds.top());
        lastRight = bounds.right();
    }
    QVERIFY(rows >= 2);
}

void TestPhysicsWorld::sameDocumentSameResult()
{
    Document document;
    for (int i = 0; i < 12; ++i)
        document.add(QSize(96, 64), QPointF(10 + 5 * i, 20),
                     {QPolygonF({{0, 0}, {96, 0}, {96, 20}, {24, 20}, {24, 64}, {0, 64}})}, {{QPointF(60, 40), 10}});
    const QVector<PreviewBody> bodies = document.bodies();
    PhysicsWorld first(bodies), second(bodies);
    first.setTransform(3, first.position(3), 0.7);
    second.setTransform(3, second.position(3), 0.7);
    run(first, 4);
    run(second, 4);
    for (int i = 0; i < bodies.size(); ++i) {
        QCOMPARE(first.position(i), second.position(i));
        QCOMPARE(first.angle(i), second.angle(i));
    }
}

void TestPhysicsWorld::dragAndThrow()
{
    Document document;
    document.add(QSize(64, 64), QPointF(32, 32), {box(64, 64)});
    document.add(QSize(64, 64), QPointF(32, 32), {box(64, 64)}, {}, {{"bodyType", 0}});
    PhysicsWorld world(document.bodies());
    run(world, 2);
    const QPointF resting = world.position(0);
    QCOMPARE(world.bodyAt(resting), 0);
    QCOMPARE(world.bodyAt(world.position(1)), 1);
    QCOMPARE(world.bodyAt(resting + QPointF(0, 5)), -1);
    // Static bodies stay where they are.
    QVERIFY(!world.grab(world.position(1)));
    QVERIFY(!world.grab(resting + QPointF(0, 5)));

    QVERIFY(world.grab(resting + QPointF(0.5, 0.5)));
    QVERIFY(world.isDragging());
    QVERIFY(QLineF(world.grabbedPoint(), resting + QPointF(0.5, 0.5)).length() < 1e-5);
    world.dragTo(resting + QPointF(0.5, 3.5));
    QVERIFY(QLineF(world.dragTarget(), resting + QPointF(0.5, 3.5)).length() < 1e-5);
    run(world, 2);
    QVERIFY(world.position(0).y() > resting.y() + 2.5);
    world.release();
    QVERIFY(!world.isDragging());
    run(world, 3);
    QVERIFY(std::abs(world.position(0).y() - resting.y()) < 0.03);

    world.throwBall(QPointF(1, 5), QPointF(3, 0));
    world.throwBall(QPointF(qQNaN(), 5), QPointF());
    QCOMPARE(world.ballCount(), 1);
    run(world, 0.5);
    QVERIFY(world.ballPosition(0).x() > 1.5 && world.ballPosition(0).y() < 5);
}

void TestPhysicsWorld::wallsHoldAndGravityWakes()
{
    Document document;
    document.add(QSize(64, 64), QPointF(32, 32), {box(64, 64)});
    PhysicsWorld world(document.bodies());
    const QRectF arena = world.arena();
    world.throwBall(arena.center(), QPointF(40, 0));
    world.throwBall(arena.center() + QPointF(0, 1), QPointF(-40, 0));
    run(world, 3);
    QVERIFY(!world.isAwake(0));
    for (int ball : {0, 1}) {
        QVERIFY(world.ballPosition(ball).x() > arena.left() && world.ballPosition(ball).x() < arena.right());
        QVERIFY(world.ballPosition(ball).y() > 0);
    }
    // Gravity turned round lifts the body that had gone to sleep on the floor.
    const double resting = world.position(0).y();
    world.setGravity(-PhysicsWorld::defaultGravity);
    QCOMPARE(world.gravity(), -PhysicsWorld::defaultGravity);
    run(world, 1);
    QVERIFY(world.position(0).y() > resting + 3);
}

MODEL_TEST_MAIN(TestPhysicsWorld)
#include "tst_physicsworld.moc"
