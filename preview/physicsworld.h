#pragma once

#include "previewbody.h"

#include <QPointF>
#include <QPolygonF>
#include <QRectF>
#include <QStringList>
#include <QVector>

#include <memory>

// A Box2D world holding the bodies of the document: laid out left to right in
// their order (in rows when there are many), above a static ground with a
// floor whose top is y = 0 and a wall at each end. Units are metres, y up.
// It knows nothing of widgets: the preview window draws it, the command line
// prints where its bodies come to rest, and the tests drive it directly.
class PhysicsWorld final
{
public:
    static constexpr double stepSeconds = 1.0 / 60.0;
    static constexpr double defaultGravity = 10.0;

    // A collision shape as the engine holds it, in body coordinates: a
    // polygon, or a circle when the polygon is empty.
    struct Shape
    {
        QPolygonF polygon;
        QPointF center;
        double radius = 0;
        bool isSensor = false;
        double density = 0, friction = 0, restitution = 0;
        int categoryBits = 0, maskBits = 0, groupIndex = 0;
    };

    explicit PhysicsWorld(const QVector<PreviewBody>& bodies);
    ~PhysicsWorld();
    PhysicsWorld(const PhysicsWorld&) = delete;
    PhysicsWorld& operator=(const PhysicsWorld&) = delete;

    // The space between the walls, from the floor's top up to the height the
    // bodies start from and some room above.
    QRectF arena() const;
    // Of the floor below the arena and of the walls beside it, which reach
    // twice its height.
    double wallThickness() const;

    // "body name: problem" for each body the engine cannot take as it is
    // (listed with the problems of PreviewBody).
    QStringList problems() const;

    // One step of stepSeconds.
    void step();
    int stepCount() const;

    // Downward, in m/s².
    double gravity() const;
    void setGravity(double gravity);

    // The bodies of the document, in the order they were given.
    int bodyCount() const;
    QPointF position(int body) const;
    double angle(int body) const;
    bool isAwake(int body) const;
    // Puts a body somewhere else, at rest.
    void setTransform(int body, const QPointF& position, double angle);
    QVector<Shape> shapes(int body) const;
    // The body whose shapes contain the point (sensors included), or -1.
    int bodyAt(const QPointF& point) const;

    // Balls the user throws in: dynamic circles of ballRadius().
    void throwBall(const QPointF& position, const QPointF& velocity);
    int ballCount() const;
    QPointF ballPosition(int ball) const;
    double ballRadius() const;

    // Pulls a dynamic body by a spring attached where it was grabbed.
    // Returns false when no dynamic body is at the point.
    bool grab(const QPointF& point);
    void dragTo(const QPointF& point);
    void release();
    bool isDragging() const;
    // Where the grabbed body is held, and where it is pulled to.
    QPointF grabbedPoint() const;
    QPointF dragTarget() const;

private:
    struct Private;
    std::unique_ptr<Private> d;
};
