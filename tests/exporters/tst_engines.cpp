// Loads published files into the real engines: every convex piece must be accepted as it is,
// the masses must follow the densities, and the bodies must fall and settle on the ground.

#include "error.h"
#include "modeltestsupport.h"
#include "publisher.h"
#include "templatelookups.h"

#include <box2d/box2d.h>
#include <chipmunk/chipmunk.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtMath>
#include <QtTest>

#include <cmath>
#include <memory>

namespace {

constexpr double timeStep = 1.0 / 60.0;
constexpr int steps = 5 * 60;
// Dropped tilted, so that the concave bodies land on a corner and must tip over to settle.
constexpr double startAngle = 0.35;

double number(const QJsonObject& object, const char* key)
{
    return object.value(QLatin1String(key)).toDouble();
}

QPointF point(const QJsonValue& value)
{
    return QPointF(value.toArray().at(0).toDouble(), value.toArray().at(1).toDouble());
}

// A circle or one convex piece of a published fixture.
struct Shape
{
    QJsonObject fixture;
    QPolygonF piece;  // empty for a circle
    QPointF center;
    double radius = 0;
    double area = 0;  // signed for a piece
};

// The shapes of each body in the file.
QList<QList<Shape>> shapes(const QJsonObject& file)
{
    QList<QList<Shape>> bodies;
    for (const QJsonValue& body : file.value(QStringLiteral("bodies")).toArray()) {
        bodies.append(QList<Shape>());
        for (const QJsonValue& fixtureValue : body.toObject().value(QStringLiteral("fixtures")).toArray()) {
            const QJsonObject fixture = fixtureValue.toObject();
            const QJsonObject circle = fixture.value(QStringLiteral("circle")).toObject();
            if (!circle.isEmpty()) {
                const double radius = number(circle, "radius");
                bodies.last() << Shape{fixture, {}, point(circle.value(QStringLiteral("center"))), radius,
                                       M_PI * radius * radius};
            }
            for (const QJsonValue& pieceValue : fixture.value(QStringLiteral("polygons")).toArray()) {
                Shape shape{fixture, {}, {}, 0, 0};
                for (const QJsonValue& p : pieceValue.toArray())
                    shape.piece << point(p);
                for (int i = 0; i < shape.piece.size(); ++i) {
                    const QPointF a = shape.piece.at(i), b = shape.piece.at((i + 1) % shape.piece.size());
                    shape.area += (a.x() * b.y() - b.x() * a.y()) / 2;
                }
                bodies.last() << shape;
            }
        }
    }
    return bodies;
}

cpVect vect(const QPointF& point)
{
    return cpv(point.x(), point.y());
}

std::vector<cpVect> vertices(const Shape& shape)
{
    std::vector<cpVect> corners;
    for (const QPointF& point : shape.piece)
        corners.push_back(vect(point));
    return corners;
}

// What each engine must have taken: the ell cut in two pieces or more, the cup and the star
// in three or more, the ball one circle, the cart one piece and two circles.
void checkLoadedShapes(const QList<QList<Shape>>& bodies, const QStringList& rejected)
{
    QVERIFY2(rejected.isEmpty(), qPrintable(rejected.join(QLatin1Char('\n'))));
    QList<QPair<int, int>> counts;
    for (const QList<Shape>& body : bodies) {
        const int circles = int(std::count_if(body.begin(), body.end(), [](const Shape& s) { return s.radius > 0; }));
        counts << qMakePair(body.size() - circles, circles);
    }
    QCOMPARE(counts.size(), 5);
    QVERIFY(counts.at(0).first >= 2 && counts.at(1).first >= 3 && counts.at(2).first >= 3);
    QCOMPARE(counts.at(3), qMakePair(0, 1));
    QCOMPARE(counts.at(4), qMakePair(1, 2));
}

// After the drop: at rest (or asleep), lower than it started, and on the ground's top at
// y = 0, neither above it nor through it.
void checkSettled(int body, bool asleep, double speed, double angularSpeed, double maxSpeed, double fallen,
                  double bottom, double skin)
{
    const QString state = QStringLiteral("body %1: speed %2, angular %3, fell %4, bottom %5")
                              .arg(body).arg(speed).arg(angularSpeed).arg(fallen).arg(bottom);
    QVERIFY2(asleep || (speed < maxSpeed && angularSpeed < 0.01), qPrintable(state));
    QVERIFY2(fallen > 0 && std::abs(bottom) < skin, qPrintable(state));
}

}

class TestEngines : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void box2d();
    void chipmunk();

private:
    QJsonObject publish(const QString& exporterName);

    QTemporaryDir m_dir;
};

void TestEngines::initTestCase()
{
    registerTemplateLookups();
    QVERIFY(m_dir.isValid());
}

// Five sprites (body coordinates: pixels, y up, origin at the image's bottom-left corner),
// each anchored at its image's centre.
QJsonObject TestEngines::publish(const QString& exporterName)
{
    struct Sprite
    {
        QSize size;
        QList<QPolygonF> polygons;
        QList<QPair<QPointF, double>> circles;
    };
    const QList<Sprite> sprites{
        {{96, 64}, {QPolygonF({{0, 0}, {96, 0}, {96, 20}, {24, 20}, {24, 64}, {0, 64}})}, {}},
        {{96, 64}, {QPolygonF({{0, 0}, {96, 0}, {96, 64}, {76, 64}, {76, 16}, {20, 16}, {20, 64}, {0, 64}})}, {}},
        {{64, 64}, {QPolygonF({{32, 62}, {24, 43}, {3, 41}, {19, 28}, {14, 8}, {32, 19}, {50, 8}, {45, 28}, {61, 41},
                              {40, 43}})}, {}},
        {{48, 48}, {}, {{QPointF(24, 24), 22}}},
        {{96, 64}, {QPolygonF({{8, 16}, {88, 16}, {88, 48}, {8, 48}})}, {{{24, 12}, 11}, {{72, 12}, 11}}},
    };
    std::unique_ptr<Exporter> exporter;
    try {
        exporter = std::make_unique<Exporter>(QStringLiteral(HWT_SOURCE_DIR "/exporters/") + exporterName);
    } catch (const Error& e) {
        qWarning() << e.message();
        return {};
    }
    ElementListModel document;
    document.setExporter(exporter.get());
    for (const Sprite& sprite : sprites) {
        Element* body = document.addFile(ModelTest::makeImage(m_dir.path(), QStringLiteral("%1.png").arg(
            document.elements().size()), sprite.size.width(), sprite.size.height()));
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
    const QString fileName = m_dir.filePath(exporterName + QStringLiteral(".json"));
    RecordingReporter reporter;
    if (!Publisher::publish(document, fileName).written || !reporter.entries.isEmpty())
        return {};
    QFile file(fileName);
    file.open(QIODevice::ReadOnly);
    return QJsonDocument::fromJson(file.readAll()).object();
}

// Box2D: metres (pixels divided by ptm), counter-clockwise pieces, bodies at their anchor points.
void TestEngines::box2d()
{
    const QJsonObject file = publish(QStringLiteral("box2d-json"));
    const QList<QList<Shape>> bodyShapes = shapes(file);
    const double ptm = number(file, "ptm");
    QVERIFY(ptm > 0);
    b2World world(b2Vec2(0.0f, -10.0f));
    b2BodyDef groundDef;
    groundDef.position.Set(0.0f, -1.0f);
    b2PolygonShape groundBox;
    groundBox.SetAsBox(100.0f, 1.0f);
    world.CreateBody(&groundDef)->CreateFixture(&groundBox, 0.0f);

    QStringList rejected;
    QList<b2Body*> bodies;
    // The other body and fixture settings are plain values, pinned by the golden files.
    for (const QList<Shape>& body : bodyShapes) {
        b2BodyDef def;
        def.type = b2_dynamicBody;
        def.position.Set(float(-12 + 6 * bodies.size()), 5.0f);
        def.angle = float(startAngle);
        b2Body* created = world.CreateBody(&def);
        double mass = 0;
        for (const Shape& shape : body) {
            b2FixtureDef fixtureDef;
            fixtureDef.density = float(number(shape.fixture, "density"));
            fixtureDef.friction = float(number(shape.fixture, "friction"));
            b2CircleShape circle;
            circle.m_p.Set(float(shape.center.x() / ptm), float(shape.center.y() / ptm));
            circle.m_radius = float(shape.radius / ptm);
            const int count = std::min(int(shape.piece.size()), b2_maxPolygonVertices);
            b2Vec2 vertices[b2_maxPolygonVertices];
            for (int i = 0; i < count; ++i)
                vertices[i].Set(float(shape.piece.at(i).x() / ptm), float(shape.piece.at(i).y() / ptm));
            b2PolygonShape polygon;
            if (count)
                polygon.Set(vertices, count);
            // Box2D welds close vertices, drops inner ones and refuses what is not convex.
            if (shape.radius == 0 && (polygon.m_count != shape.piece.size() || !polygon.Validate()))
                rejected << QStringLiteral("body %1: %2 of %3 vertices kept").arg(bodies.size()).arg(polygon.m_count)
                                .arg(shape.piece.size());
            fixtureDef.shape = shape.radius > 0 ? static_cast<b2Shape*>(&circle) : &polygon;
            created->CreateFixture(&fixtureDef);
            mass += number(shape.fixture, "density") * std::abs(shape.area) / (ptm * ptm);
        }
        bodies << created;
        QVERIFY2(mass > 0 && std::abs(created->GetMass() - mass) < 1e-4 * mass,
                 qPrintable(QStringLiteral("mass %1, expected %2").arg(created->GetMass()).arg(mass)));
        QVERIFY(created->GetInertia() > 0);
    }
    checkLoadedShapes(bodyShapes, rejected);

    for (int step = 0; step < steps; ++step)
        world.Step(float(timeStep), 8, 3);
    for (int i = 0; i < bodies.size(); ++i) {
        double bottom = qInf();
        for (const b2Fixture* fixture = bodies.at(i)->GetFixtureList(); fixture; fixture = fixture->GetNext()) {
            b2AABB box;
            fixture->GetShape()->ComputeAABB(&box, bodies.at(i)->GetTransform(), 0);
            bottom = std::min(bottom, double(box.lowerBound.y));
        }
        // Polygons carry a skin of 1 cm.
        checkSettled(i, !bodies.at(i)->IsAwake(), bodies.at(i)->GetLinearVelocity().Length(),
                     std::abs(bodies.at(i)->GetAngularVelocity()), 0.01, 5.0 - bodies.at(i)->GetPosition().y, bottom,
                     0.03);
    }
}

// Chipmunk: pixels, clockwise pieces, bodies at their anchor points.
void TestEngines::chipmunk()
{
    const QJsonObject file = publish(QStringLiteral("chipmunk-json"));
    const QList<QList<Shape>> bodyShapes = shapes(file);
    cpSpace* space = cpSpaceNew();
    cpSpaceSetGravity(space, cpv(0, -320.0));  // 10 m/s² at 32 pixels per metre
    cpSpaceSetIterations(space, 20);
    cpSpaceSetSleepTimeThreshold(space, 0.5);
    // The ground: a static segment whose top is y = 0.
    cpShape* ground = cpSegmentShapeNew(cpSpaceGetStaticBody(space), cpv(-2000, -2), cpv(2000, -2), 2);
    cpShapeSetFriction(cpSpaceAddShape(space, ground), 1.0);
    std::vector<cpShape*> shapes{ground};
    std::vector<cpBody*> bodies;
    const auto cleanUp = qScopeGuard([&] {
        for (cpShape* shape : shapes) {
            cpSpaceRemoveShape(space, shape);
            cpShapeFree(shape);
        }
        for (cpBody* body : bodies) {
            cpSpaceRemoveBody(space, body);
            cpBodyFree(body);
        }
        cpSpaceFree(space);
    });

    QStringList rejected;
    // As the file's mass and moment 0 ask, Chipmunk computes them from the shapes' densities.
    for (const QList<Shape>& body : bodyShapes) {
        cpBody* created = cpSpaceAddBody(space, cpBodyNew(0, 0));
        cpBodySetPosition(created, cpv(-400.0 + 200.0 * bodies.size(), 200.0));
        cpBodySetAngle(created, startAngle);
        cpFloat mass = 0;
        cpVect weighted = cpvzero;
        for (const Shape& shape : body) {
            const std::vector<cpVect> corners = vertices(shape);
            cpShape* made = shape.radius > 0 ? cpCircleShapeNew(created, shape.radius, vect(shape.center))
                                             : cpPolyShapeNew(created, int(corners.size()), corners.data(),
                                                              cpTransformIdentity, 0);
            // Chipmunk takes the convex hull, and its masses need clockwise pieces.
            if (shape.radius == 0
                && (corners.size() > 8 || cpPolyShapeGetCount(made) != int(corners.size()) || shape.area >= 0))
                rejected << QStringLiteral("body %1: %2 of %3 vertices kept, area %4").arg(bodies.size())
                                .arg(cpPolyShapeGetCount(made)).arg(corners.size()).arg(shape.area);
            cpShapeSetDensity(made, number(shape.fixture, "density"));
            cpShapeSetFriction(made, number(shape.fixture, "friction"));
            shapes.push_back(cpSpaceAddShape(space, made));
            // Chipmunk's mass, centre of gravity and moment must be those of the shapes.
            const cpFloat part = number(shape.fixture, "density") * std::abs(shape.area);
            mass += part;
            const cpVect center =
                shape.radius > 0 ? vect(shape.center) : cpCentroidForPoly(int(corners.size()), corners.data());
            weighted = cpvadd(weighted, cpvmult(center, part));
        }
        bodies.push_back(created);
        const cpVect centerOfGravity = cpvmult(weighted, 1 / mass);
        cpFloat moment = 0;
        for (const Shape& shape : body) {
            const std::vector<cpVect> corners = vertices(shape);
            const cpFloat part = number(shape.fixture, "density") * std::abs(shape.area);
            moment += shape.radius > 0
                ? cpMomentForCircle(part, 0, shape.radius, cpvsub(vect(shape.center), centerOfGravity))
                : cpMomentForPoly(part, int(corners.size()), corners.data(), cpvneg(centerOfGravity), 0);
        }
        QVERIFY2(mass > 0 && std::abs(cpBodyGetMass(created) - mass) < 1e-9 * mass,
                 qPrintable(QStringLiteral("mass %1, expected %2").arg(cpBodyGetMass(created)).arg(mass)));
        QVERIFY(std::abs(cpBodyGetMoment(created) - moment) < 1e-6 * moment);
        QVERIFY(cpvdist(cpBodyGetCenterOfGravity(created), centerOfGravity) < 1e-6);
    }
    checkLoadedShapes(bodyShapes, rejected);

    for (int step = 0; step < steps; ++step)
        cpSpaceStep(space, timeStep);
    for (size_t i = 0; i < bodies.size(); ++i) {
        double bottom = qInf();
        for (const cpShape* shape : shapes) {
            if (cpShapeGetBody(shape) == bodies.at(i))
                bottom = std::min(bottom, double(cpShapeGetBB(shape).b));
        }
        // Pixels per second: a third of a pixel per frame at most.
        checkSettled(int(i), cpBodyIsSleeping(bodies.at(i)), cpvlength(cpBodyGetVelocity(bodies.at(i))),
                     std::abs(cpBodyGetAngularVelocity(bodies.at(i))), 1.0, 200.0 - cpBodyGetPosition(bodies.at(i)).y,
                     bottom, 1.0);
    }
}

MODEL_TEST_MAIN(TestEngines)

#include "tst_engines.moc"
