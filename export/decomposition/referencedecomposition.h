#pragma once

#include <QPolygonF>
#include <QVector>

// The plain, step-by-step form of the convex decomposition: every ear search
// scans every vertex and every merge pass scans every triangle. Far too slow to
// ship, but short enough to check by reading, so the tests and the fuzz target
// hold ConvexDecomposition to its output point for point.
namespace ReferenceDecomposition {

// Same contract as ConvexDecomposition::decompose, including the rejection of
// non-finite and out-of-range coordinates.
QVector<QPolygonF> decompose(const QPolygonF& outline);

}
