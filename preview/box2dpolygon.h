#pragma once

#include <QPointF>
#include <QPolygonF>

// What Box2D takes as a polygon shape. Its polygon set-up welds vertices that
// lie closer than a quarter of a centimetre, and a polygon left with fewer
// than three vertices, more than eight or hardly any area stops the program
// (or, built without checks, turns into a one-metre box). Pieces are checked
// here first.
namespace Box2DPolygon {

// Coordinates in metres beyond this are refused: far past any game world,
// and where single precision has no centimetres left.
constexpr double coordinateLimit = 1e6;

bool isUsable(const QPointF& point);
// A convex piece in metres that Box2D builds as it is given.
bool accepts(const QPolygonF& piece);

}
