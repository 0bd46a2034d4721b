// Loads published files into the real engines: every convex piece must be
// accepted as it is, and the bodies must fall and settle on the ground.

#include "element.h"
#include "elementlistmodel.h"
#include "error.h"
#include "exporter.h"
#include "fixturecircle.h"
#include "fixturepolygon.h"
#include "publisher.h"
#include "templatelookups.h"
#include "testsupport.h"

#include <box2d/box2d.h>
#include <chipmunk/chipmunk.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPolygonF>
#include <QTemporaryDir>
#include <QtMath>
#include <QtTest>

#include <cmath>
#include <memory>
#include <vector>

namespace {

constexpr double timeStep = 1.0 / 60.0;
constexpr int steps = 5 * 60;
// Dropped tilted, so that the concave bodies land on a corner and must tip over to settle.
constexpr double startAngle = 0.35;

struct Sprite
{
    QString name;
    QSize size;
    QList<QPolygonF> polygons;
    QList<QPair<QPointF, double>> circles;
};

QPolygonF star(const QPointF& center, double outer, double inner, int points)
{
    QPolygonF polygon;
    for (int i = 0; i < 2 * points; ++i) {
        const double angle = M_PI / 2 + i * M_PI / points;
        const double radius = i % 2 ? inner : outer;
        polygon << center + QPointF(radius * std::cos(angle), radius * std::sin(angle));
    }
    return polygon;
}

// Body coordinates: pixels, y up, origin at the image's bottom-left corner.
// The anchor point is the image centre.
QList<Sprite> sprites()
{
    return {
        {QStringLiteral("ell"), {96, 64}, {QPolygonF({{0, 0}, {96, 0}, {96, 20}, {24, 20}, {24, 64}, {0, 64}})}, {}},
        {QStringLiteral("cup"),
         {96, 64},
         {QPolygonF({{0, 0}, {96, 0}, {96, 64}, {76, 64}, {76, 16}, {20, 16}, {20, 64}, {0, 64}})},
         {}},
        {QStringLiteral("star"), {64, 64}, {star(QPointF(32, 32), 30, 13, 5)}, {}},
        {QStringLiteral("ball"), {48, 48}, {}, {{QPointF(24, 24), 22}}},
        {QStringLiteral("cart"),
         {96, 64},
         {QPolygonF({{8, 16}, {88, 16}, {88, 48}, {8, 48}})},
         {{QPointF(24, 12), 11}, {QPointF(72, 12), 11}}},
    };
}

QPointF toPoint(const QJsonValue& value)
{
    const QJsonArray pair = value.toArray();
    return QPointF(pair.at(0).toDouble(), pair.at(1).toDouble());
}

// Twice the signed area in the published coordinates.
double doubleArea(const QJsonArray& piece)
{
    double sum = 0;
    for (int i = 0; i < piece.size(); ++i) {
        const QPointF a = toPoint(piece.at(i));
        const QPointF b = toPoint(piece.at((i + 1) % piece.size()));
        sum += a.x() * b.y() - b.x() * a.y();
    }
    return sum;
}

QString exporterDirectory()
{
    const QString sources =
        QDir::cleanPath(QFileInfo(QStringLiteral(__FILE__)).absolutePath() + QStringLiteral("/../../exporters"));
    if (QFileInfo(sources + QStringLiteral("/box2d-json/exporter.xml")).isFile())
        return sources;
    return QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../bin/exporters"));
}

struct Outcome
{
    QString name;
    int pieces = 0;
    int circles = 0;
    QPointF start;
    QPointF position;
    double angle = 0;
    double speed = 0;
    double angularSpeed = 0;
    double bottom = 0;
    bool asleep = false;
};

// What each engine must have taken from the published project: the ell cut in
// two pieces or more, the cup and the star in three or more, the ball one circle,
// the cart one piece and two circles.
void checkLoadedShapes(const QList<Outcome>& outcomes, const char* engine)
{
    int pieces = 0;
    int circles = 0;
    for (const Outcome& outcome : outcomes) {
        pieces += outcome.pieces;
        circles += outcome.circles;
    }
    QVERIFY(outcomes.at(0).pieces >= 2);
    QVERIFY(outcomes.at(1).pieces >= 3);
    QVERIFY(outcomes.at(2).pieces >= 3);
    QCOMPARE(outcomes.at(3).circles, 1);
    QCOMPARE(outcomes.at(4).pieces, 1);
    QCOMPARE(outcomes.at(4).circles, 2);
    qInfo().noquote() << QStringLiteral("%1 loaded %2 convex pieces and %3 circles")
                             .arg(QLatin1String(engine)).arg(pieces).arg(circles);
}

QString describe(const QString& engine, const Outcome& outcome)
{
    return QStringLiteral("%1 %2: %3 pieces, %4 circles; from (%5, %6) to (%7, %8), angle %9, bottom %10, %11")
        .arg(engine, outcome.name)
        .arg(outcome.pieces)
        .arg(outcome.circles)
        .arg(outcome.start.x())
        .arg(outcome.start.y())
        .arg(outcome.position.x(), 0, 'f', 3)
        .arg(outcome.position.y(), 0, 'f', 3)
        .arg(outcome.angle, 0, 'f', 3)
        .arg(outcome.bottom, 0, 'f', 4)
        .arg(outcome.asleep ? QStringLiteral("asleep")
                            : QStringLiteral("awake, speed %1").arg(outcome.speed, 0, 'g', 3));
}

}

class TestEngines : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void box2dTakesEveryPieceAsItIs();
    void box2dMassFollowsDensity();
    void box2dBodiesSettleOnTheGround();

    void chipmunkTakesEveryPieceAsItIs();
    void chipmunkMassFollowsDensity();
    void chipmunkBodiesSettleOnTheGround();

private:
    QJsonObject publish(const QString& exporterName);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Exporter> m_box2d;
    std::unique_ptr<Exporter> m_chipmunk;
    QJsonObject m_box2dFile;
    QJsonObject m_chipmunkFile;
};

void TestEngines::initTestCase()
{
    registerTemplateLookups();
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    try {
        m_box2d = std::make_unique<Exporter>(exporterDirectory() + QStringLiteral("/box2d-json"));
        m_chipmunk = std::make_unique<Exporter>(exporterDirectory() + QStringLiteral("/chipmunk-json"));
    } catch (const Error& e) {
        QFAIL(qPrintable(e.message()));
    }
    m_box2dFile = publish(QStringLiteral("box2d-json"));
    QVERIFY(!m_box2dFile.isEmpty());
    m_chipmunkFile = publish(QStringLiteral("chipmunk-json"));
    QVERIFY(!m_chipmunkFile.isEmpty());
}

QJsonObject TestEngines::publish(const QString& exporterName)
{
    ElementListModel document;
    document.setExporter(exporterName.startsWith(QLatin1String("box2d")) ? m_box2d.get() : m_chipmunk.get());
    for (const Sprite& sprite : sprites()) {
        QImage image(sprite.size, QImage::Format_ARGB32);
        image.fill(QColor(120, 180, 90, 255));
        const QString file = m_dir->filePath(sprite.name + QStringLiteral(".png"));
        if (!image.save(file, "PNG"))
            return {};
        Element* body = document.addFile(file);
        body->setAnchorPointAbsDirect(QPointF(sprite.size.width() / 2.0, sprite.size.height() / 2.0));
        for (const QPolygonF& outline : sprite.polygons) {
            auto* polygon = new FixturePolygon(body);
            polygon->setPolygonDirect(outline);
            body->addFixture(polygon);
        }
        for (const auto& circle : sprite.circles) {
            auto* fixture = new FixtureCircle(body);
            fixture->setCircleDirect(circle.first, circle.second);
            body->addFixture(fixture);
        }
    }

    const QString fileName = m_dir->filePath(exporterName + QStringLiteral(".json"));
    RecordingReporter reporter;
    const Publisher::Result result = Publisher::publish(document, fileName);
    if (!result.written || !result.undecomposable.isEmpty() || !reporter.entries.isEmpty()) {
        qWarning() << "publishing" << exporterName << "failed or was incomplete";
        return {};
    }
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QJsonParseError error;
    const QJsonDocument json = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError)
        qWarning() << exporterName << error.errorString();
    return json.object();
}

// ---------------------------------------------------------------------------
// Box2D: metres, counter-clockwise pieces, bodies at their anchor points.

namespace {

struct Box2DScene
{
    std::unique_ptr<b2World> world;
    std::vector<b2Body*> bodies;
    QList<Outcome> outcomes;
    // Pieces that Box2D would change: vertices welded or dropped, or invalid.
    QStringList rejected;
    // The mass each body should have: area in square metres times density.
    std::vector<double> expectedMass;
};

b2BodyType bodyType(const QString& word)
{
    if (word == QLatin1String("static"))
        return b2_staticBody;
    if (word == QLatin1String("kinematic"))
        return b2_kinematicBody;
    return b2_dynamicBody;
}

std::unique_ptr<Box2DScene> buildBox2D(const QJsonObject& file)
{
    auto scene = std::make_unique<Box2DScene>();
    scene->world = std::make_unique<b2World>(b2Vec2(0.0f, -10.0f));
    const double ptm = file.value(QStringLiteral("ptm")).toDouble();

    // The ground: a static box whose top is y = 0.
    b2BodyDef groundDef;
    groundDef.position.Set(0.0f, -1.0f);
    b2Body* ground = scene->world->CreateBody(&groundDef);
    b2PolygonShape groundBox;
    groundBox.SetAsBox(100.0f, 1.0f);
    ground->CreateFixture(&groundBox, 0.0f);

    const QJsonArray bodies = file.value(QStringLiteral("bodies")).toArray();
    for (int b = 0; b < bodies.size(); ++b) {
        const QJsonObject body = bodies.at(b).toObject();
        Outcome outcome;
        outcome.name = body.value(QStringLiteral("name")).toString();
        outcome.start = QPointF(-12.0 + 6.0 * b, 5.0);

        b2BodyDef def;
        def.type = bodyType(body.value(QStringLiteral("bodyType")).toString());
        def.position.Set(float(outcome.start.x()), float(outcome.start.y()));
        def.angle = float(startAngle);
        def.linearDamping = float(body.value(QStringLiteral("linearDamping")).toDouble());
        def.angularDamping = float(body.value(QStringLiteral("angularDamping")).toDouble());
        def.fixedRotation = body.value(QStringLiteral("fixedRotation")).toBool();
        def.bullet = body.value(QStringLiteral("isBullet")).toBool();
        def.gravityScale = float(body.value(QStringLiteral("gravityScale")).toDouble());
        b2Body* created = scene->world->CreateBody(&def);

        double mass = 0;
        const QJsonArray fixtures = body.value(QStringLiteral("fixtures")).toArray();
        for (const QJsonValue& value : fixtures) {
            const QJsonObject fixture = value.toObject();
            const QJsonObject filter = fixture.value(QStringLiteral("filter")).toObject();
            const double density = fixture.value(QStringLiteral("density")).toDouble();
            b2FixtureDef fixtureDef;
            fixtureDef.density = float(density);
            fixtureDef.friction = float(fixture.value(QStringLiteral("friction")).toDouble());
            fixtureDef.restitution = float(fixture.value(QStringLiteral("restitution")).toDouble());
            fixtureDef.isSensor = fixture.value(QStringLiteral("isSensor")).toBool();
            fixtureDef.filter.categoryBits = uint16(filter.value(QStringLiteral("categoryBits")).toInt());
            fixtureDef.filter.maskBits = uint16(filter.value(QStringLiteral("maskBits")).toInt());
            fixtureDef.filter.groupIndex = int16(filter.value(QStringLiteral("groupIndex")).toInt());

            if (fixture.value(QStringLiteral("type")).toString() == QLatin1String("circle")) {
                const QJsonObject circle = fixture.value(QStringLiteral("circle")).toObject();
                const QPointF center = toPoint(circle.value(QStringLiteral("center"))) / ptm;
                const double radius = circle.value(QStringLiteral("radius")).toDouble() / ptm;
                b2CircleShape shape;
                shape.m_p.Set(float(center.x()), float(center.y()));
                shape.m_radius = float(radius);
                fixtureDef.shape = &shape;
                created->CreateFixture(&fixtureDef);
                mass += density * M_PI * radius * radius;
                ++outcome.circles;
                continue;
            }

            const QJsonArray pieces = fixture.value(QStringLiteral("polygons")).toArray();
            for (const QJsonValue& pieceValue : pieces) {
                const QJsonArray piece = pieceValue.toArray();
                const QString label = QStringLiteral("%1 piece %2").arg(outcome.name).arg(outcome.pieces);
                ++outcome.pieces;
                if (piece.size() < 3 || piece.size() > b2_maxPolygonVertices) {
                    scene->rejected << label + QStringLiteral(": %1 vertices").arg(piece.size());
                    continue;
                }
                b2Vec2 vertices[b2_maxPolygonVertices];
                for (int i = 0; i < piece.size(); ++i) {
                    const QPointF p = toPoint(piece.at(i)) / ptm;
                    vertices[i].Set(float(p.x()), float(p.y()));
                }
                b2PolygonShape shape;
                shape.Set(vertices, int32(piece.size()));
                if (shape.m_count != piece.size())
                    scene->rejected << label + QStringLiteral(": %1 of %2 vertices kept")
                                                   .arg(shape.m_count)
                                                   .arg(piece.size());
                if (!shape.Validate())
                    scene->rejected << label + QStringLiteral(": not convex");
                fixtureDef.shape = &shape;
                created->CreateFixture(&fixtureDef);
                mass += density * std::abs(doubleArea(piece)) / 2.0 / (ptm * ptm);
            }
        }
        scene->bodies.push_back(created);
        scene->outcomes << outcome;
        scene->expectedMass.push_back(mass);
    }
    return scene;
}

}

void TestEngines::box2dTakesEveryPieceAsItIs()
{
    const auto scene = buildBox2D(m_box2dFile);
    QVERIFY2(scene->rejected.isEmpty(), qPrintable(scene->rejected.join(QLatin1Char('\n'))));
    QCOMPARE(scene->bodies.size(), size_t(5));
    checkLoadedShapes(scene->outcomes, "Box2D");
}

void TestEngines::box2dMassFollowsDensity()
{
    const auto scene = buildBox2D(m_box2dFile);
    for (size_t i = 0; i < scene->bodies.size(); ++i) {
        const double mass = scene->bodies.at(i)->GetMass();
        const double expected = scene->expectedMass.at(i);
        QVERIFY(expected > 0);
        QVERIFY2(std::abs(mass - expected) < 1e-4 * expected,
                 qPrintable(QStringLiteral("%1: mass %2, expected %3")
                                .arg(scene->outcomes.at(int(i)).name)
                                .arg(mass)
                                .arg(expected)));
        QVERIFY(scene->bodies.at(i)->GetInertia() > 0);
    }
}

void TestEngines::box2dBodiesSettleOnTheGround()
{
    const auto scene = buildBox2D(m_box2dFile);
    for (int step = 0; step < steps; ++step)
        scene->world->Step(float(timeStep), 8, 3);

    for (size_t i = 0; i < scene->bodies.size(); ++i) {
        const b2Body* body = scene->bodies.at(i);
        Outcome& outcome = scene->outcomes[int(i)];
        outcome.position = QPointF(body->GetPosition().x, body->GetPosition().y);
        outcome.angle = body->GetAngle();
        outcome.speed = body->GetLinearVelocity().Length();
        outcome.angularSpeed = std::abs(body->GetAngularVelocity());
        outcome.asleep = !body->IsAwake();
        outcome.bottom = qInf();
        for (const b2Fixture* fixture = body->GetFixtureList(); fixture; fixture = fixture->GetNext()) {
            const b2Shape* shape = fixture->GetShape();
            for (int32 child = 0; child < shape->GetChildCount(); ++child) {
                b2AABB box;
                shape->ComputeAABB(&box, body->GetTransform(), child);
                outcome.bottom = std::min(outcome.bottom, double(box.lowerBound.y));
            }
        }
        qInfo().noquote() << describe(QStringLiteral("Box2D"), outcome);

        QVERIFY2(outcome.asleep || (outcome.speed < 0.01 && outcome.angularSpeed < 0.01),
                 qPrintable(describe(QStringLiteral("still moving:"), outcome)));
        QVERIFY2(outcome.position.y() < outcome.start.y(), qPrintable(outcome.name));
        // Resting on the ground's top at y = 0: not above it, not through it
        // (polygons carry a 1 cm skin).
        QVERIFY2(outcome.bottom > -0.03 && outcome.bottom < 0.03,
                 qPrintable(describe(QStringLiteral("not on the ground:"), outcome)));
    }
}

// ---------------------------------------------------------------------------
// Chipmunk: pixels, clockwise pieces, bodies at their anchor points.

namespace {

constexpr double chipmunkGravity = 320.0; // 10 m/s² at 32 pixels per metre

cpVect toVect(const QPointF& point)
{
    return cpv(point.x(), point.y());
}

struct ChipmunkScene
{
    cpSpace* space = nullptr;
    std::vector<cpBody*> bodies;
    std::vector<cpShape*> shapes;
    QList<Outcome> outcomes;
    QStringList rejected;

    ChipmunkScene() = default;
    ChipmunkScene(const ChipmunkScene&) = delete;
    ChipmunkScene& operator=(const ChipmunkScene&) = delete;
    ~ChipmunkScene()
    {
        for (cpShape* shape : shapes) {
            cpSpaceRemoveShape(space, shape);
            cpShapeFree(shape);
        }
        for (cpBody* body : bodies) {
            cpSpaceRemoveBody(space, body);
            cpBodyFree(body);
        }
        cpSpaceFree(space);
    }
};

struct ChipmunkPart
{
    std::vector<cpVect> vertices; // empty for a circle
    cpVect center = cpvzero;
    cpFloat radius = 0;
    cpFloat mass = 0;
    QJsonObject fixture;
};

// Mass, centre of gravity and moment of a body from its parts' densities.
struct MassProperties
{
    cpFloat mass = 0;
    cpVect centerOfGravity = cpvzero;
    cpFloat moment = 0;
};

QList<ChipmunkPart> chipmunkParts(const QJsonObject& body)
{
    QList<ChipmunkPart> parts;
    const QJsonArray fixtures = body.value(QStringLiteral("fixtures")).toArray();
    for (const QJsonValue& value : fixtures) {
        const QJsonObject fixture = value.toObject();
        const cpFloat density = fixture.value(QStringLiteral("density")).toDouble();
        if (fixture.value(QStringLiteral("type")).toString() == QLatin1String("circle")) {
            const QJsonObject circle = fixture.value(QStringLiteral("circle")).toObject();
            ChipmunkPart part;
            part.center = toVect(toPoint(circle.value(QStringLiteral("center"))));
            part.radius = circle.value(QStringLiteral("radius")).toDouble();
            part.mass = density * cpAreaForCircle(0, part.radius);
            part.fixture = fixture;
            parts << part;
            continue;
        }
        const QJsonArray pieces = fixture.value(QStringLiteral("polygons")).toArray();
        for (const QJsonValue& piece : pieces) {
            ChipmunkPart part;
            const QJsonArray points = piece.toArray();
            for (const QJsonValue& point : points)
                part.vertices.push_back(toVect(toPoint(point)));
            // Clockwise pieces have a negative signed area.
            part.mass = density * std::abs(cpAreaForPoly(int(part.vertices.size()), part.vertices.data(), 0));
            part.center = cpCentroidForPoly(int(part.vertices.size()), part.vertices.data());
            part.fixture = fixture;
            parts << part;
        }
    }
    return parts;
}

MassProperties massProperties(const QList<ChipmunkPart>& parts)
{
    MassProperties properties;
    cpVect weighted = cpvzero;
    for (const ChipmunkPart& part : parts) {
        properties.mass += part.mass;
        weighted = cpvadd(weighted, cpvmult(part.center, part.mass));
    }
    if (properties.mass <= 0)
        return properties;
    properties.centerOfGravity = cpvmult(weighted, 1.0 / properties.mass);
    for (const ChipmunkPart& part : parts) {
        if (part.vertices.empty())
            properties.moment +=
                cpMomentForCircle(part.mass, 0, part.radius, cpvsub(part.center, properties.centerOfGravity));
        else
            properties.moment += cpMomentForPoly(part.mass, int(part.vertices.size()), part.vertices.data(),
                                                 cpvneg(properties.centerOfGravity), 0);
    }
    return properties;
}

std::unique_ptr<ChipmunkScene> buildChipmunk(const QJsonObject& file)
{
    auto scene = std::make_unique<ChipmunkScene>();
    scene->space = cpSpaceNew();
    cpSpaceSetGravity(scene->space, cpv(0, -chipmunkGravity));
    cpSpaceSetIterations(scene->space, 20);
    cpSpaceSetSleepTimeThreshold(scene->space, 0.5);

    // The ground: a static segment whose top is y = 0.
    cpShape* ground = cpSegmentShapeNew(cpSpaceGetStaticBody(scene->space), cpv(-2000, -2), cpv(2000, -2), 2);
    cpShapeSetFriction(ground, 1.0);
    cpSpaceAddShape(scene->space, ground);
    scene->shapes.push_back(ground);

    const QJsonArray bodies = file.value(QStringLiteral("bodies")).toArray();
    for (int b = 0; b < bodies.size(); ++b) {
        const QJsonObject body = bodies.at(b).toObject();
        Outcome outcome;
        outcome.name = body.value(QStringLiteral("name")).toString();
        outcome.start = QPointF(-400.0 + 200.0 * b, 200.0);

        const QList<ChipmunkPart> parts = chipmunkParts(body);
        const MassProperties computed = massProperties(parts);
        // 0 in the file means "computed from the shapes".
        const cpFloat fileMass = body.value(QStringLiteral("mass")).toDouble();
        const cpFloat fileMoment = body.value(QStringLiteral("moment")).toDouble();
        cpBody* created = body.value(QStringLiteral("isStatic")).toBool()
                              ? cpBodyNewStatic()
                              : cpBodyNew(fileMass > 0 ? fileMass : computed.mass,
                                          fileMoment > 0 ? fileMoment : computed.moment);
        cpBodySetCenterOfGravity(created, computed.centerOfGravity);
        cpBodySetPosition(created, toVect(outcome.start));
        cpBodySetAngle(created, startAngle);
        cpSpaceAddBody(scene->space, created);
        scene->bodies.push_back(created);

        for (const ChipmunkPart& part : parts) {
            cpShape* shape = nullptr;
            if (part.vertices.empty()) {
                shape = cpCircleShapeNew(created, part.radius, part.center);
                ++outcome.circles;
            } else {
                const int count = int(part.vertices.size());
                shape = cpPolyShapeNew(created, count, part.vertices.data(), cpTransformIdentity, 0);
                const QString label = QStringLiteral("%1 piece %2").arg(outcome.name).arg(outcome.pieces);
                ++outcome.pieces;
                if (count > 8)
                    scene->rejected << label + QStringLiteral(": %1 vertices").arg(count);
                if (cpPolyShapeGetCount(shape) != count)
                    scene->rejected << label + QStringLiteral(": %1 of %2 vertices kept")
                                                   .arg(cpPolyShapeGetCount(shape))
                                                   .arg(count);
            }
            const QJsonObject filter = part.fixture.value(QStringLiteral("filter")).toObject();
            cpShapeSetFriction(shape, part.fixture.value(QStringLiteral("friction")).toDouble());
            cpShapeSetElasticity(shape, part.fixture.value(QStringLiteral("elasticity")).toDouble());
            cpShapeSetSensor(shape, part.fixture.value(QStringLiteral("isSensor")).toBool());
            cpShapeSetCollisionType(shape, cpCollisionType(part.fixture.value(QStringLiteral("collisionType")).toDouble()));
            cpShapeSetFilter(shape, cpShapeFilterNew(cpGroup(filter.value(QStringLiteral("group")).toDouble()),
                                                     cpBitmask(filter.value(QStringLiteral("categories")).toDouble()),
                                                     cpBitmask(filter.value(QStringLiteral("mask")).toDouble())));
            cpSpaceAddShape(scene->space, shape);
            scene->shapes.push_back(shape);
        }
        scene->outcomes << outcome;
    }
    return scene;
}

}

void TestEngines::chipmunkTakesEveryPieceAsItIs()
{
    const auto scene = buildChipmunk(m_chipmunkFile);
    QVERIFY2(scene->rejected.isEmpty(), qPrintable(scene->rejected.join(QLatin1Char('\n'))));
    QCOMPARE(scene->bodies.size(), size_t(5));
    checkLoadedShapes(scene->outcomes, "Chipmunk");

    // Every piece is clockwise, as the exporter promises.
    const QJsonArray bodies = m_chipmunkFile.value(QStringLiteral("bodies")).toArray();
    for (const QJsonValue& body : bodies) {
        const QJsonArray fixtures = body.toObject().value(QStringLiteral("fixtures")).toArray();
        for (const QJsonValue& fixture : fixtures) {
            const QJsonArray polygons = fixture.toObject().value(QStringLiteral("polygons")).toArray();
            for (const QJsonValue& piece : polygons)
                QVERIFY(doubleArea(piece.toArray()) < 0);
        }
    }
}

void TestEngines::chipmunkMassFollowsDensity()
{
    // Chipmunk's own accounting from shape densities must agree with the
    // mass, centre of gravity and moment computed from the file.
    const QJsonArray bodies = m_chipmunkFile.value(QStringLiteral("bodies")).toArray();
    for (const QJsonValue& value : bodies) {
        const QJsonObject body = value.toObject();
        const QList<ChipmunkPart> parts = chipmunkParts(body);
        const MassProperties computed = massProperties(parts);
        QVERIFY(computed.mass > 0);

        cpSpace* space = cpSpaceNew();
        cpBody* reference = cpSpaceAddBody(space, cpBodyNew(0, 0));
        std::vector<cpShape*> shapes;
        for (const ChipmunkPart& part : parts) {
            cpShape* shape = part.vertices.empty()
                                 ? cpCircleShapeNew(reference, part.radius, part.center)
                                 : cpPolyShapeNew(reference, int(part.vertices.size()), part.vertices.data(),
                                                  cpTransformIdentity, 0);
            cpShapeSetDensity(shape, part.fixture.value(QStringLiteral("density")).toDouble());
            shapes.push_back(cpSpaceAddShape(space, shape));
        }
        const cpFloat mass = cpBodyGetMass(reference);
        const cpFloat moment = cpBodyGetMoment(reference);
        const cpVect center = cpBodyGetCenterOfGravity(reference);
        for (cpShape* shape : shapes) {
            cpSpaceRemoveShape(space, shape);
            cpShapeFree(shape);
        }
        cpSpaceRemoveBody(space, reference);
        cpBodyFree(reference);
        cpSpaceFree(space);

        const QString name = body.value(QStringLiteral("name")).toString();
        QVERIFY2(std::abs(mass - computed.mass) < 1e-9 * computed.mass, qPrintable(name));
        QVERIFY2(std::abs(moment - computed.moment) < 1e-6 * computed.moment, qPrintable(name));
        QVERIFY2(cpvdist(center, computed.centerOfGravity) < 1e-6, qPrintable(name));
    }
}

void TestEngines::chipmunkBodiesSettleOnTheGround()
{
    const auto scene = buildChipmunk(m_chipmunkFile);
    for (int step = 0; step < steps; ++step)
        cpSpaceStep(scene->space, timeStep);

    for (size_t i = 0; i < scene->bodies.size(); ++i) {
        cpBody* body = scene->bodies.at(i);
        Outcome& outcome = scene->outcomes[int(i)];
        const cpVect position = cpBodyGetPosition(body);
        outcome.position = QPointF(position.x, position.y);
        outcome.angle = cpBodyGetAngle(body);
        outcome.speed = cpvlength(cpBodyGetVelocity(body));
        outcome.angularSpeed = std::abs(cpBodyGetAngularVelocity(body));
        outcome.asleep = cpBodyIsSleeping(body);
        outcome.bottom = qInf();
        for (const cpShape* shape : scene->shapes) {
            if (cpShapeGetBody(shape) == body)
                outcome.bottom = std::min(outcome.bottom, double(cpShapeGetBB(shape).b));
        }
        qInfo().noquote() << describe(QStringLiteral("Chipmunk"), outcome);

        // Pixels per second: a third of a pixel per frame at most.
        QVERIFY2(outcome.asleep || (outcome.speed < 1.0 && outcome.angularSpeed < 0.01),
                 qPrintable(describe(QStringLiteral("still moving:"), outcome)));
        QVERIFY2(outcome.position.y() < outcome.start.y(), qPrintable(outcome.name));
        QVERIFY2(outcome.bottom > -1.0 && outcome.bottom < 1.0,
                 qPrintable(describe(QStringLiteral("not on the ground:"), outcome)));
    }
}

int main(int argc, char** argv)
{
    TestSupport::isolateSettings();
    QApplication app(argc, argv);
    TestEngines test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_engines.moc"
