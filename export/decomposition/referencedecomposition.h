#pragma once

#include <QList>
#include <QPolygonF>

// The plain, step-by-step form of the convex decomposition: every ear search
// scans every vertex and every merge pass scans every triangle. Far too slow to
// ship, but short enough to check by reading, so the tests and the fuzz target
// hold ConvexDecomposition to its output point for point.
namespace ReferenceDecomposition {

// Same contract as ConvexDecomposition::decompose, including the rejection of
// non-finite and out-of-range coordinates.
QList<QPolygonF> decompose(const QPolygonF& outline);

}
