#pragma once

#include <QPolygonF>
#include <QVector>

// Cuts a traced outline into convex pieces that physics engines accept as
// polygon fixtures. Runs on the GUI thread while publishing, so it is built for
// outlines of thousands of points; its output is defined by
// ReferenceDecomposition and matches it exactly, down to the float bits.
namespace ConvexDecomposition {

// Cuts a simple outline into convex pieces of at most 8 vertices, each
// counter-clockwise (y up). Works in single precision. Fewer than 3 points, or
// any coordinate that is not finite or larger than 1e7 in magnitude: empty list.
// An outline that cannot be cut (self-intersecting, say) gives what could be
// cut before the ear search ran dry, or an empty list.
QVector<QPolygonF> decompose(const QPolygonF& outline);

// The largest coordinate magnitude accepted.
constexpr double coordinateLimit = 1e7;

}
