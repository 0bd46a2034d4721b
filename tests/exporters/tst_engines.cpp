// Loads published files into the real engines: every convex piece must be accepted as it is,
// the masses must follow the densities, and the bodies must fall and settle on the ground.

#include "exporterregistry.h"
#include "islandtracer.h"
#include "modeltestsupport.h"
#include "publisher.h"
#include "templatelookups.h"

#include <box2d/box2d.h>
#include <chipmunk/chipmunk.h>

#include <QPainter>
#include <QtTest>

namespace {

// Dropped tilted, so that the concave bodies land on a corner and must tip over to settle.
constexpr double startAngle = 0.35;

// A circle (no piece) or one convex piece of a published fixture, in the file's units.
struct Shape
{
    double density, friction, radius;
    cpVect center;  // a circle's
    std::vector<cpVect> piece;
    int count() const { return int(piece.size()); }
    double area() const { return count() ? cpAreaForPoly(count(), piece.data(), 0) : M_PI * radius * radius; }
    cpVect centroid() const { return count() ? cpCentroidForPoly(count(), piece.data()) : center; }
};

// Five sprites published through the exporter: an ell, a cup, a star, a ball and a cart, each
// anchored at the centre of its 96 x 64 image (body coordinates: pixels, y up, origin at the
// image's bottom-left corner). Returns the shapes of each body in the file, and its ptm ratio.
QList<QList<Shape>> publish(const QString& exporterName, const QDir& dir, double& ptm)
{
    const QList<QPair<QPolygonF, QList<QPair<QPointF, double>>>> sprites{
        {QPolygonF({{0, 0}, {96, 0}, {96, 20}, {24, 20}, {24, 64}, {0, 64}}), {}},
        {QPolygonF({{0, 0}, {96, 0}, {96, 64}, {76, 64}, {76, 16}, {20, 16}, {20, 64}, {0, 64}}), {}},
        {QPolygonF({{32, 62}, {24, 43}, {3, 41}, {19, 28}, {14, 8}, {32, 19}, {50, 8}, {45, 28}, {61, 41}, {40, 43}}),
         {}},
        {QPolygonF(), {{QPointF(24, 24), 22}}},
        {QPolygonF({{8, 16}, {88, 16}, {88, 48}, {8, 48}}), {{{24, 12}, 11}, {{72, 12}, 11}}}};
    ExporterRegistry::instance().scanExporters(QStringLiteral(HWT_SOURCE_DIR "/exporters"));
    ElementListModel document;
    document.setExporter(ExporterRegistry::instance().exporter(exporterName));
    const QString image = ModelTest::makeImage(dir, QStringLiteral("sprite.png"), 96, 64);
    for (const auto& [outline, circles] : sprites) {
        Element* body = document.addFile(image);
        body->setAnchorPointAbsDirect(QPointF(48, 32));
        if (!outline.isEmpty()) {
            auto* polygon = new FixturePolygon(body);
            polygon->setPolygonDirect(outline);
            body->addFixture(polygon);
        }
        for (const auto& [center, radius] : circles) {
            auto* circle = new FixtureCircle(body);
            circle->setCircleDirect(center, radius);
            body->addFixture(circle);
        }
    }
    // What goes wrong is reported on standard error.
    QFile file(dir.filePath(exporterName + ".json"));
    if (!Publisher::publish(document, file.fileName()).written || !file.open(QIODevice::ReadOnly))
        return {};

    const QJsonDocument data = QJsonDocument::fromJson(file.readAll());
    const auto point = [](const QJsonValue& value) { return cpv(value[0].toDouble(), value[1].toDouble()); };
    ptm = data["ptm"].toDouble();
    QList<QList<Shape>> bodies;
    for (const QJsonValue& body : data["bodies"].toArray()) {
        bodies.append(QList<Shape>());
        for (const QJsonValue& fixture : body["fixtures"].toArray()) {
            const double density = fixture["density"].toDouble(), friction = fixture["friction"].toDouble();
            if (fixture["circle"].isObject())
                bodies.last() << Shape{density, friction, fixture["circle"]["radius"].toDouble(),
                                       point(fixture["circle"]["center"]), {}};
            for (const QJsonValue& piece : fixture["polygons"].toArray()) {
                bodies.last() << Shape{density, friction, 0, cpvzero, {}};
                for (const QJsonValue& corner : piece.toArray())
                    bodies.last().last().piece.push_back(point(corner));
            }
        }
    }
    return bodies;
}

}

class TestEngines : public QObject
{
    Q_OBJECT

private slots:
    void load_data();
    void load();
    void islandsWithHoles();
};

void TestEngines::load_data()
{
    QTest::addColumn<QString>("exporter");
    QTest::newRow("box2d") << "box2d-json";
    QTest::newRow("chipmunk") << "chipmunk-json";
}

// Box2D: metres (pixels divided by ptm), counter-clockwise pieces. Chipmunk: pixels, clockwise
// pieces. Both place the bodies at their anchor points.
void TestEngines::load()
{
    QFETCH(QString, exporter);
    const bool box2d = exporter == "box2d-json";
    registerTemplateLookups();
    QTemporaryDir dir;
    double ptm = 0;
    const QList<QList<Shape>> shapes = publish(exporter, QDir(dir.path()), ptm);
    const double scale = box2d ? ptm : 1;
    QVERIFY(scale > 0);
    // The ell cut in two pieces, the cup in three, the star in five; the ball one circle; the cart
    // one piece and two circles.
    QStringList counts;
    for (const QList<Shape>& body : shapes) {
        const auto circles = std::count_if(body.begin(), body.end(), [](const Shape& s) { return !s.count(); });
        counts << QStringLiteral("%1+%2").arg(body.size() - circles).arg(circles);
    }
    QCOMPARE(counts.join(' '), "2+0 3+0 5+0 0+1 1+2");

    b2World world(b2Vec2(0.0f, -10.0f));
    b2BodyDef groundDef;
    b2PolygonShape ground;
    ground.SetAsBox(100.0f, 1.0f, b2Vec2(0.0f, -1.0f), 0.0f);
    world.CreateBody(&groundDef)->CreateFixture(&ground, 0.0f);
    std::vector<b2Body*> b2Bodies;
    cpSpace* space = cpSpaceNew();
    cpSpaceSetGravity(space, cpv(0, -320.0));  // 10 m/s² at 32 pixels per metre
    cpSpaceSetIterations(space, 20);
    cpSpaceSetSleepTimeThreshold(space, 0.5);
    // The ground: a static segment whose top is y = 0.
    std::vector<cpShape*> cpShapes{cpSegmentShapeNew(cpSpaceGetStaticBody(space), cpv(-2000, -2), cpv(2000, -2), 2)};
    cpShapeSetFriction(cpSpaceAddShape(space, cpShapes.front()), 1.0);
    std::vector<cpBody*> cpBodies;
    const auto cleanUp = qScopeGuard([&] {
        std::for_each(cpShapes.begin(), cpShapes.end(), [&](cpShape* shape) { cpSpaceRemoveShape(space, shape); });
        std::for_each(cpBodies.begin(), cpBodies.end(), [&](cpBody* body) { cpSpaceRemoveBody(space, body); });
        std::for_each(cpShapes.begin(), cpShapes.end(), cpShapeFree);
        std::for_each(cpBodies.begin(), cpBodies.end(), cpBodyFree);
        cpSpaceFree(space);
    });

    // The other body and fixture settings are plain values, pinned by the golden files. As the
    // Chipmunk file's mass and moment 0 ask, Chipmunk computes them from the shapes' densities.
    for (int i = 0; i < shapes.size(); ++i) {
        b2BodyDef def;
        def.type = b2_dynamicBody;
        b2Body* b2 = b2Bodies.emplace_back(world.CreateBody(&def));
        b2->SetTransform(b2Vec2(float(-12 + 6 * i), 5.0f), float(startAngle));
        cpBody* cp = cpBodies.emplace_back(cpSpaceAddBody(space, cpBodyNew(0, 0)));
        cpBodySetPosition(cp, cpv(-400.0 + 200.0 * i, 200.0));
        cpBodySetAngle(cp, startAngle);
        double mass = 0, moment = 0;
        cpVect weighted = cpvzero;
        for (const Shape& shape : shapes[i]) {
            const int count = shape.count();
            int kept = 0;
            if (box2d) {
                b2CircleShape circle;
                circle.m_p.Set(float(shape.center.x / scale), float(shape.center.y / scale));
                circle.m_radius = float(shape.radius / scale);
                b2Vec2 vertices[b2_maxPolygonVertices];
                for (int j = 0; j < std::min(count, b2_maxPolygonVertices); ++j)
                    vertices[j].Set(float(shape.piece[j].x / scale), float(shape.piece[j].y / scale));
                b2PolygonShape polygon;
                if (count)
                    polygon.Set(vertices, std::min(count, b2_maxPolygonVertices));
                // Box2D welds close vertices, drops inner ones and refuses what is not convex.
                kept = !count || polygon.Validate() ? polygon.m_count : -1;
                b2->CreateFixture(count ? static_cast<b2Shape*>(&polygon) : &circle, float(shape.density))
                    ->SetFriction(float(shape.friction));
            } else {
                cpShape* added = count ? cpPolyShapeNew(cp, count, shape.piece.data(), cpTransformIdentity, 0)
                                       : cpCircleShapeNew(cp, shape.radius, shape.center);
                cpShapes.push_back(cpSpaceAddShape(space, added));
                cpShapeSetDensity(added, shape.density);
                cpShapeSetFriction(added, shape.friction);
                // Chipmunk takes the convex hull of at most 8 corners; its masses need clockwise pieces.
                if (count)
                    kept = count <= 8 && shape.area() < 0 ? cpPolyShapeGetCount(added) : -1;
            }
            QVERIFY2(kept == count, qPrintable(QStringLiteral("body %1: %2 of %3 vertices kept, area %4")
                                                   .arg(i).arg(kept).arg(count).arg(shape.area())));
            // In file units; Chipmunk's moment about the body's origin.
            const double part = shape.density * std::abs(shape.area());
            mass += part / (scale * scale);
            weighted = cpvadd(weighted, cpvmult(shape.centroid(), part));
            moment += count ? cpMomentForPoly(part, count, shape.piece.data(), cpvzero, 0)
                            : cpMomentForCircle(part, 0, shape.radius, shape.center);
        }
        const double actual = box2d ? b2->GetMass() : cpBodyGetMass(cp);
        QVERIFY2(mass > 0 && std::abs(actual - mass) < (box2d ? 1e-4 : 1e-9) * mass,
                 qPrintable(QStringLiteral("mass %1, expected %2").arg(actual).arg(mass)));
        // Chipmunk's centre of gravity and moment (about that centre) must be those of the shapes.
        const cpVect centerOfGravity = cpvmult(weighted, 1 / mass);
        moment -= mass * cpvlengthsq(centerOfGravity);
        QVERIFY(box2d || std::abs(cpBodyGetMoment(cp) - moment) < 1e-6 * moment);
        QVERIFY(box2d || cpvdist(cpBodyGetCenterOfGravity(cp), centerOfGravity) < 1e-6);
    }

    for (int step = 0; step < 5 * 60; ++step)
        box2d ? world.Step(float(1.0 / 60), 8, 3) : cpSpaceStep(space, 1.0 / 60);
    // After the drop: at rest (or asleep), lower than it started, and on the ground's top at y = 0,
    // neither above it nor through it. Box2D's polygons carry a skin of 1 cm; Chipmunk's speeds are
    // in pixels per second, a third of a pixel per frame at most.
    for (int i = 0; i < shapes.size(); ++i) {
        const b2Body* b2 = b2Bodies[i];
        const cpBody* cp = cpBodies[i];
        double bottom = qInf();
        for (const b2Fixture* fixture = b2->GetFixtureList(); fixture; fixture = fixture->GetNext()) {
            b2AABB box;
            fixture->GetShape()->ComputeAABB(&box, b2->GetTransform(), 0);
            bottom = std::min(bottom, double(box.lowerBound.y));
        }
        for (const cpShape* shape : cpShapes) {
            if (cpShapeGetBody(shape) == cp)
                bottom = std::min(bottom, cpShapeGetBB(shape).b);
        }
        const bool asleep = box2d ? !b2->IsAwake() : cpBodyIsSleeping(cp);
        const double speed = box2d ? b2->GetLinearVelocity().Length() : cpvlength(cpBodyGetVelocity(cp));
        const double angular = std::abs(box2d ? b2->GetAngularVelocity() : cpBodyGetAngularVelocity(cp));
        const double fallen = box2d ? 5.0 - b2->GetPosition().y : 200.0 - cpBodyGetPosition(cp).y;
        const QString state = QStringLiteral("body %1: speed %2, angular %3, fell %4, bottom %5")
                                  .arg(i).arg(speed).arg(angular).arg(fallen).arg(bottom);
        QVERIFY2(asleep || (speed < (box2d ? 0.01 : 1.0) && angular < 0.01), qPrintable(state));
        QVERIFY2(fallen > 0 && std::abs(bottom) < (box2d ? 0.03 : 1.0), qPrintable(state));
    }
}

// Every island of the ring sample and of a drawn sprite, holes kept, published for Box2D (pixels, divided by
// ptm for metres): the pieces are
// accepted as they are and cover the opaque pixels, and a ball let go in the ring's hole falls to its
// inner rim and stays in the hole, where a filled hole would have thrown it out.
void TestEngines::islandsWithHoles()
{
    registerTemplateLookups();
    QTemporaryDir dir;
    ExporterRegistry::instance().scanExporters(QStringLiteral(HWT_SOURCE_DIR "/exporters"));
    ElementListModel document;
    document.setExporter(ExporterRegistry::instance().exporter(QStringLiteral("box2d-json")));
    QImage drawn(100, 60, QImage::Format_ARGB32);
    drawn.fill(0u);
    {
        QPainter painter(&drawn);
        painter.setPen(Qt::NoPen);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.setBrush(Qt::black);
        painter.drawEllipse(QRectF(2, 2, 56, 56));
        painter.drawRect(QRectF(64, 10, 30, 40));
        painter.setBrush(Qt::transparent);
        painter.drawEllipse(QRectF(12, 12, 16, 30));
        painter.drawRect(QRectF(34, 20, 14, 14));
    }
    const QString drawnFile = dir.filePath(QStringLiteral("drawn.png"));
    QVERIFY(drawn.save(drawnFile));
    const QString ringFile = QStringLiteral(HWT_SOURCE_DIR "/resources/samples/ring.png");
    QList<qint64> opaque;
    for (const QString& file : {ringFile, drawnFile}) {
        const QImage image(file);
        const IslandTracer::Result traced = IslandTracer::trace(image, {TraceMode::Straight, 1.0f, 0, 4, true});
        QVERIFY(traced.ok());
        Element* body = document.addFile(file);
        body->setAnchorPointAbsDirect(QPointF(0, 0));
        qint64 pixels = 0;
        for (const IslandTracer::Island& island : traced.islands) {
            auto* polygon = new FixturePolygon(body);
            polygon->setPolygonDirect(island.polygon);
            body->addFixture(polygon);
            pixels += island.area;
        }
        opaque << pixels;
    }
    QCOMPARE(document.element(0)->fixtures().size(), 1);
    QCOMPARE(document.element(1)->fixtures().size(), 2);
    QFile file(dir.filePath(QStringLiteral("islands.json")));
    QVERIFY(Publisher::publish(document, file.fileName()).written && file.open(QIODevice::ReadOnly));
    const QJsonDocument data = QJsonDocument::fromJson(file.readAll());
    const double ptm = data["ptm"].toDouble();
    QVERIFY(ptm > 0);

    b2World world(b2Vec2(0.0f, -10.0f));
    std::vector<b2Body*> bodies;
    const QJsonArray published = data["bodies"].toArray();
    QCOMPARE(published.size(), 2);
    for (int i = 0; i < 2; ++i) {
        b2BodyDef def;
        def.position.Set(0.0f, float(200 * i) / float(ptm));
        b2Body* body = bodies.emplace_back(world.CreateBody(&def));
        double area = 0;
        for (const QJsonValue& fixture : published[i]["fixtures"].toArray()) {
            for (const QJsonValue& piece : fixture["polygons"].toArray()) {
                b2Vec2 vertices[b2_maxPolygonVertices];
                const QJsonArray corners = piece.toArray();
                QVERIFY(corners.size() >= 3 && corners.size() <= b2_maxPolygonVertices);
                for (int j = 0; j < corners.size(); ++j)
                    vertices[j].Set(float(corners[j][0].toDouble() / ptm), float(corners[j][1].toDouble() / ptm));
                b2PolygonShape polygon;
                polygon.Set(vertices, corners.size());
                QVERIFY(polygon.Validate() && polygon.m_count == corners.size());
                b2MassData mass;
                polygon.ComputeMass(&mass, 1.0f);
                area += double(mass.mass) * ptm * ptm;
                body->CreateFixture(&polygon, 0.0f);
            }
        }
        QVERIFY2(std::abs(area - double(opaque[i])) <= 0.01 * double(opaque[i]),
                 qPrintable(QStringLiteral("body %1: %2 of %3 pixels").arg(i).arg(area).arg(opaque[i])));
    }
    // The holes of the drawn sprite are free, its opaque middle is not.
    const auto hit = [&](QPointF pixel) {
        const b2Vec2 p(float(pixel.x() / ptm), float((200.0 + drawn.height() - pixel.y()) / ptm));
        for (const b2Fixture* fixture = bodies[1]->GetFixtureList(); fixture; fixture = fixture->GetNext())
            if (fixture->TestPoint(p))
                return true;
        return false;
    };
    QCOMPARE(QList<bool>({hit({20, 27}), hit({41, 27}), hit({31, 50}), hit({79, 30}), hit({61, 30})}),
             QList<bool>({false, false, true, true, false}));

    const QImage ring(ringFile);
    b2BodyDef ballDef;
    ballDef.type = b2_dynamicBody;
    ballDef.position.Set(float(ring.width() / 2.0 / ptm), float(ring.height() / 2.0 / ptm));
    b2Body* ball = world.CreateBody(&ballDef);
    b2CircleShape circle;
    circle.m_radius = float(4.0 / ptm);
    ball->CreateFixture(&circle, 1.0f);
    for (int step = 0; step < 3 * 60; ++step)
        world.Step(float(1.0 / 60), 8, 3);
    const QPoint rest(qRound(double(ball->GetPosition().x) * ptm), qRound(ring.height() - double(ball->GetPosition().y) * ptm));
    QVERIFY2(ball->GetPosition().y < ballDef.position.y && ball->GetLinearVelocity().Length() < 0.01f
                 && ring.rect().contains(rest) && qAlpha(ring.pixel(rest)) == 0,
             qPrintable(QStringLiteral("ball at pixel %1, %2").arg(rest.x()).arg(rest.y())));
}

MODEL_TEST_MAIN(TestEngines)

#include "tst_engines.moc"
