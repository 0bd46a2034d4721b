#pragma once

#include <QPixmap>
#include <QPointF>
#include <QPolygonF>
#include <QRectF>
#include <QString>
#include <QVector>

#include <cstdint>

class Element;

// What one fixture of the document becomes in the physics preview: its
// collision shapes in metres (the body origin at the anchor point, y up) and
// its physics settings, with Box2D's defaults where the exporter has none.
struct PreviewFixture
{
    bool isCircle = false;
    // The outline as drawn in the editor, and the convex pieces that enter the
    // world: the same pieces publishing writes, in the same order.
    QPolygonF outline;
    QVector<QPolygonF> pieces;
    QPointF center;
    double radius = 0;

    float density = 1.0f;
    float friction = 0.2f;
    float restitution = 0.0f;
    bool isSensor = false;
    std::uint16_t categoryBits = 0x0001;
    std::uint16_t maskBits = 0xFFFF;
    std::int16_t groupIndex = 0;

    // Why the fixture, or some of its pieces, is not in the world; empty when
    // all of it is.
    QString problem;
    // True when nothing of it is in the world.
    bool isMissing() const { return isCircle ? radius <= 0 : pieces.isEmpty(); }
};

struct PreviewBody
{
    enum Type { Static, Kinematic, Dynamic };

    QString name;
    QPixmap image;
    // Where the image lies in body coordinates (metres, y up): x and y are
    // its lower left corner. Null when the anchor is too far away.
    QRectF imageRect;
    double pixelsPerMetre = 32;

    Type type = Dynamic;
    float linearDamping = 0.0f;
    float angularDamping = 0.0f;
    float gravityScale = 1.0f;
    bool fixedRotation = false;
    bool isBullet = false;

    QVector<PreviewFixture> fixtures;

    // Reads a body of the document with its exporter's parameters. Values
    // that would break the engine (not finite, negative densities, ...) fall
    // back to the defaults.
    static PreviewBody fromElement(const Element& body);
    // Every body of the list, in order.
    static QVector<PreviewBody> fromElements(const QList<Element*>& bodies);

    // The box around the collision shapes in body coordinates; the image's
    // box for a body without any, and a metre square round the origin for a
    // body without either.
    QRectF bounds() const;
    // "name: fixture n: problem" for each fixture with a problem, and a line
    // for a body without fixtures.
    QStringList problems() const;
};
