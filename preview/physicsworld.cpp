#include "physicsworld.h"

#include "box2dpolygon.h"

#include <box2d/box2d.h>

#include <QCoreApplication>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <vector>

namespace {

constexpr int velocityIterations = 8;
constexpr int positionIterations = 3;

b2Vec2 vec(const QPointF& point)
{
    return b2Vec2(float(point.x()), float(point.y()));
}

QPointF point(const b2Vec2& v)
{
    return QPointF(v.x, v.y);
}

bool contains(const b2Body* body, const b2Vec2& p)
{
    for (const b2Fixture* fixture = body->GetFixtureList(); fixture; fixture = fixture->GetNext()) {
        if (fixture->TestPoint(p))
            return true;
    }
    return false;
}

// The ground collides with everything, whatever a fixture's categories say:
// only the game knows what its floors are made of, and a body falling out of
// the preview would show nothing.
class GroundFilter final : public b2ContactFilter
{
public:
    bool ShouldCollide(b2Fixture* a, b2Fixture* b) override
    {
        if (a->GetBody() == ground || b->GetBody() == ground)
            return true;
        return b2ContactFilter::ShouldCollide(a, b);
    }

    const b2Body* ground = nullptr;
};

// Where each body starts: left to right in document order, in rows of about
// twice the width the bodies would fill as a square, each row above the last.
struct Layout
{
    std::vector<QPointF> positions;
    QRectF arena;
};

Layout layOut(const QVector<PreviewBody>& bodies)
{
    Layout layout;
    std::vector<QRectF> bounds;
    std::vector<double> sizes;
    for (const PreviewBody& body : bodies) {
        bounds.push_back(body.bounds());
        sizes.push_back(std::max(bounds.back().width(), bounds.back().height()));
    }
    double gap = 0.5;
    if (!sizes.empty()) {
        std::vector<double> sorted = sizes;
        std::nth_element(sorted.begin(), sorted.begin() + long(sorted.size() / 2), sorted.end());
        gap = std::max(0.1, 0.25 * sorted[sorted.size() / 2]);
    }
    double widest = 0, area = 0;
    for (const QRectF& box : bounds) {
        widest = std::max(widest, box.width());
        area += (box.width() + gap) * (box.height() + gap);
    }
    const double width = std::max({widest + 2 * gap, 2 * std::sqrt(area), 8 * gap});

    double x = gap, rowBottom = -1, rowHeight = 0, top = 0;
    std::size_t rowStart = 0;
    const auto closeRow = [&](std::size_t end) {
        // The first row falls from its own height, the others from the gap above the last.
        rowBottom = rowBottom < 0 ? std::max(gap, rowHeight) : rowBottom;
        for (std::size_t i = rowStart; i < end; ++i)
            layout.positions[i].ry() += rowBottom - bounds[i].top();
        top = rowBottom + rowHeight;
        rowBottom = top + gap;
        rowStart = end;
        rowHeight = 0;
        x = gap;
    };
    for (std::size_t i = 0; i < bounds.size(); ++i) {
        const QRectF& box = bounds[i];
        if (i > rowStart && x + box.width() > width - gap)
            closeRow(i);
        layout.positions.emplace_back(x - box.left(), 0.0);
        x += box.width() + gap;
        rowHeight = std::max(rowHeight, box.height());
    }
    closeRow(bounds.size());
    layout.arena = QRectF(0, 0, width, std::max(top + gap, width / 2));
    return layout;
}

}

struct PhysicsWorld::Private
{
    Private()
        : world(b2Vec2(0.0f, -float(PhysicsWorld::defaultGravity)))
    {
        world.SetContactFilter(&filter);
    }

    b2World world;
    GroundFilter filter;
    b2Body* groundBody = nullptr;
    std::vector<b2Body*> bodies;
    std::vector<b2Body*> balls;
    b2MouseJoint* drag = nullptr;
    QRectF arena;
    double gravity = PhysicsWorld::defaultGravity;
    double ballRadius = 0.1;
    int steps = 0;

    double wallThickness() const { return std::max(0.1, arena.width() / 50); }

    void buildGround()
    {
        const float thickness = float(wallThickness());
        const float width = float(arena.width());
        const float height = float(2 * arena.height());
        b2BodyDef def;
        groundBody = world.CreateBody(&def);
        filter.ground = groundBody;
        b2PolygonShape box;
        box.SetAsBox(width / 2 + thickness, thickness / 2, b2Vec2(width / 2, -thickness / 2), 0.0f);
        groundBody->CreateFixture(&box, 0.0f)->SetFriction(0.6f);
        box.SetAsBox(thickness / 2, height / 2, b2Vec2(-thickness / 2, height / 2), 0.0f);
        groundBody->CreateFixture(&box, 0.0f)->SetFriction(0.6f);
        box.SetAsBox(thickness / 2, height / 2, b2Vec2(width + thickness / 2, height / 2), 0.0f);
        groundBody->CreateFixture(&box, 0.0f)->SetFriction(0.6f);
    }

    b2Body* addBody(const PreviewBody& body, const QPointF& position)
    {
        b2BodyDef def;
        def.type = body.type == PreviewBody::Static      ? b2_staticBody
                   : body.type == PreviewBody::Kinematic ? b2_kinematicBody
                                                         : b2_dynamicBody;
        def.position = vec(position);
        def.linearDamping = body.linearDamping;
        def.angularDamping = body.angularDamping;
        def.gravityScale = body.gravityScale;
        def.fixedRotation = body.fixedRotation;
        def.bullet = body.isBullet;
        b2Body* b2 = world.CreateBody(&def);
        // Created without density, so that Box2D does not work out the mass
        // itself (see setMass); the densities are set afterwards.
        std::vector<std::pair<b2Fixture*, float>> densities;
        const auto add = [&](b2FixtureDef& fixtureDef, float density) {
            densities.emplace_back(b2->CreateFixture(&fixtureDef), density);
        };
        for (const PreviewFixture& fixture : body.fixtures) {
            b2FixtureDef fixtureDef;
            fixtureDef.density = 0.0f;
            fixtureDef.friction = fixture.friction;
            fixtureDef.restitution = fixture.restitution;
            fixtureDef.isSensor = fixture.isSensor;
            fixtureDef.filter.categoryBits = fixture.categoryBits;
            fixtureDef.filter.maskBits = fixture.maskBits;
            fixtureDef.filter.groupIndex = fixture.groupIndex;
            if (fixture.isCircle) {
                if (fixture.isMissing())
                    continue;
                b2CircleShape circle;
                circle.m_p = vec(fixture.center);
                circle.m_radius = float(fixture.radius);
                fixtureDef.shape = &circle;
                add(fixtureDef, fixture.density);
                continue;
            }
            for (const QPolygonF& piece : fixture.pieces) {
                b2Vec2 vertices[b2_maxPolygonVertices];
                for (int i = 0; i < piece.size(); ++i)
                    vertices[i] = vec(piece.at(i));
                b2PolygonShape polygon;
                polygon.Set(vertices, piece.size());
                fixtureDef.shape = &polygon;
                add(fixtureDef, fixture.density);
            }
        }
        for (const auto& [fixture, density] : densities)
            fixture->SetDensity(density);
        setMass(b2, body.name);
        return b2;
    }

    // The mass, centre and rotational inertia of a dynamic body, summed as
    // Box2D sums them but in double precision. Box2D stops the program when
    // the inertia about the centre comes out as nothing, which its single
    // precision does for pieces far from the body's origin; such a body does
    // not turn here, and it is listed.
    void setMass(b2Body* body, const QString& name)
    {
        if (body->GetType() != b2_dynamicBody)
            return;
        double mass = 0, inertia = 0, x = 0, y = 0;
        for (const b2Fixture* fixture = body->GetFixtureList(); fixture; fixture = fixture->GetNext()) {
            b2MassData part;
            fixture->GetMassData(&part);
            mass += part.mass;
            x += double(part.mass) * part.center.x;
            y += double(part.mass) * part.center.y;
            inertia += part.I;
        }
        b2MassData data;
        data.mass = float(mass);
        data.center = mass > 0 ? b2Vec2(float(x / mass), float(y / mass)) : b2Vec2_zero;
        data.I = float(inertia);
        if (!std::isfinite(data.mass) || !data.center.IsValid() || !std::isfinite(data.I)) {
            problems << QCoreApplication::translate("PhysicsWorld", "%1: its mass is too large for Box2D; it weighs "
                                                                    "1 kg here").arg(name);
            data = b2MassData{1.0f, b2Vec2_zero, 0.0f};
        } else if (data.I > 0.0f && !body->IsFixedRotation()) {
            // What Box2D is left with about the centre, computed as it computes it.
            const float massUsed = data.mass > 0.0f ? data.mass : 1.0f;
            if (!(data.I - massUsed * b2Dot(data.center, data.center) > 0.0f)) {
                problems << QCoreApplication::translate("PhysicsWorld", "%1: its pieces lie too far from its anchor "
                                                                        "point for Box2D to turn it; it does not turn "
                                                                        "here").arg(name);
                data.I = 0.0f;
            }
        }
        body->SetMassData(&data);
    }

    QStringList problems;
};

PhysicsWorld::PhysicsWorld(const QVector<PreviewBody>& bodies)
    : d(std::make_unique<Private>())
{
    const Layout layout = layOut(bodies);
    d->arena = layout.arena;
    d->ballRadius = std::clamp(layout.arena.width() / 80, 0.05, 1.0);
    d->buildGround();
    d->bodies.reserve(std::size_t(bodies.size()));
    for (int i = 0; i < bodies.size(); ++i)
        d->bodies.push_back(d->addBody(bodies.at(i), layout.positions[std::size_t(i)]));
}

PhysicsWorld::~PhysicsWorld() = default;

QRectF PhysicsWorld::arena() const
{
    return d->arena;
}

void PhysicsWorld::step()
{
    d->world.Step(float(stepSeconds), velocityIterations, positionIterations);
    ++d->steps;
}

double PhysicsWorld::wallThickness() const
{
    return d->wallThickness();
}

QStringList PhysicsWorld::problems() const
{
    return d->problems;
}

int PhysicsWorld::stepCount() const
{
    return d->steps;
}

double PhysicsWorld::gravity() const
{
    return d->gravity;
}

void PhysicsWorld::setGravity(double gravity)
{
    if (!std::isfinite(gravity))
        return;
    d->gravity = gravity;
    d->world.SetGravity(b2Vec2(0.0f, -float(gravity)));
    // Bodies asleep under the old gravity would float under the new one.
    for (b2Body* body = d->world.GetBodyList(); body; body = body->GetNext())
        body->SetAwake(true);
}

int PhysicsWorld::bodyCount() const
{
    return int(d->bodies.size());
}

QPointF PhysicsWorld::position(int body) const
{
    return point(d->bodies.at(std::size_t(body))->GetPosition());
}

double PhysicsWorld::angle(int body) const
{
    return d->bodies.at(std::size_t(body))->GetAngle();
}

bool PhysicsWorld::isAwake(int body) const
{
    return d->bodies.at(std::size_t(body))->IsAwake();
}

void PhysicsWorld::setTransform(int body, const QPointF& position, double angle)
{
    b2Body* b2 = d->bodies.at(std::size_t(body));
    if (!std::isfinite(position.x()) || !std::isfinite(position.y()) || !std::isfinite(angle))
        return;
    b2->SetTransform(vec(position), float(angle));
    b2->SetLinearVelocity(b2Vec2_zero);
    b2->SetAngularVelocity(0.0f);
    b2->SetAwake(true);
}

QVector<PhysicsWorld::Shape> PhysicsWorld::shapes(int body) const
{
    QVector<Shape> shapes;
    // Box2D keeps a body's fixtures newest first.
    for (const b2Fixture* fixture = d->bodies.at(std::size_t(body))->GetFixtureList(); fixture;
         fixture = fixture->GetNext()) {
        Shape shape;
        shape.isSensor = fixture->IsSensor();
        shape.density = fixture->GetDensity();
        shape.friction = fixture->GetFriction();
        shape.restitution = fixture->GetRestitution();
        shape.categoryBits = fixture->GetFilterData().categoryBits;
        shape.maskBits = fixture->GetFilterData().maskBits;
        shape.groupIndex = fixture->GetFilterData().groupIndex;
        if (fixture->GetType() == b2Shape::e_circle) {
            const auto* circle = static_cast<const b2CircleShape*>(fixture->GetShape());
            shape.center = point(circle->m_p);
            shape.radius = circle->m_radius;
        } else {
            const auto* polygon = static_cast<const b2PolygonShape*>(fixture->GetShape());
            for (int i = 0; i < polygon->m_count; ++i)
                shape.polygon << point(polygon->m_vertices[i]);
        }
        shapes.prepend(shape);
    }
    return shapes;
}

int PhysicsWorld::bodyAt(const QPointF& at) const
{
    const auto hit = std::find_if(d->bodies.begin(), d->bodies.end(),
                                  [p = vec(at)](const b2Body* body) { return contains(body, p); });
    return hit == d->bodies.end() ? -1 : int(hit - d->bodies.begin());
}

void PhysicsWorld::throwBall(const QPointF& position, const QPointF& velocity)
{
    if (!Box2DPolygon::isUsable(position) || !Box2DPolygon::isUsable(velocity))
        return;
    b2BodyDef def;
    def.type = b2_dynamicBody;
    def.position = vec(position);
    def.linearVelocity = vec(velocity);
    def.bullet = true;
    b2Body* ball = d->world.CreateBody(&def);
    b2CircleShape circle;
    circle.m_radius = float(d->ballRadius);
    b2FixtureDef fixture;
    fixture.shape = &circle;
    fixture.density = 1.0f;
    fixture.friction = 0.3f;
    fixture.restitution = 0.4f;
    ball->CreateFixture(&fixture);
    d->balls.push_back(ball);
}

int PhysicsWorld::ballCount() const
{
    return int(d->balls.size());
}

QPointF PhysicsWorld::ballPosition(int ball) const
{
    return point(d->balls.at(std::size_t(ball))->GetPosition());
}

double PhysicsWorld::ballRadius() const
{
    return d->ballRadius;
}

bool PhysicsWorld::grab(const QPointF& at)
{
    release();
    const b2Vec2 p = vec(at);
    b2Body* grabbed = nullptr;
    for (const std::vector<b2Body*>* list : {&d->bodies, &d->balls}) {
        for (b2Body* body : *list) {
            if (!grabbed && body->GetType() == b2_dynamicBody && contains(body, p))
                grabbed = body;
        }
    }
    if (!grabbed)
        return false;
    b2MouseJointDef def;
    def.bodyA = d->groundBody;
    def.bodyB = grabbed;
    def.target = p;
    def.maxForce = 1000.0f * grabbed->GetMass() * float(std::max(1.0, std::abs(d->gravity)));
    b2LinearStiffness(def.stiffness, def.damping, 5.0f, 0.7f, def.bodyA, def.bodyB);
    d->drag = static_cast<b2MouseJoint*>(d->world.CreateJoint(&def));
    grabbed->SetAwake(true);
    return true;
}

void PhysicsWorld::dragTo(const QPointF& at)
{
    if (d->drag && std::isfinite(at.x()) && std::isfinite(at.y()))
        d->drag->SetTarget(vec(at));
}

void PhysicsWorld::release()
{
    if (d->drag)
        d->world.DestroyJoint(d->drag);
    d->drag = nullptr;
}

bool PhysicsWorld::isDragging() const
{
    return d->drag != nullptr;
}

QPointF PhysicsWorld::grabbedPoint() const
{
    return d->drag ? point(d->drag->GetAnchorB()) : QPointF();
}

QPointF PhysicsWorld::dragTarget() const
{
    return d->drag ? point(d->drag->GetTarget()) : QPointF();
}
