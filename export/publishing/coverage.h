#pragma once

#include <QPolygonF>
#include <QVector>

// How much of a polygon fixture its convex pieces cover: what a published
// file lacks when the decomposition stopped early.
namespace Coverage {

struct Areas
{
    // The area of the outline as the editor fills it: the odd-even rule (the
    // default of its polygon item), so the lobes of an outline that crosses
    // itself add up instead of cancelling (the signed area of a figure eight
    // is zero) and a part wound round twice is a hole. Measured on the corners
    // rounded to float, as the pieces are.
    double filled = 0;
    // The part of it that lies in at least one piece.
    double covered = 0;
};

// The pieces are taken to be ConvexDecomposition::decompose()'s: when no two
// edges of the outline cross, and it winds round nothing twice, they lie
// inside it without overlapping, and `covered` is the sum of their areas.
// Otherwise the pieces are swept with the outline, and overlapping pieces, or
// pieces outside the outline, add nothing. Both areas are zero when a corner
// is beyond the float range.
Areas measure(const QPolygonF& outline, const QVector<QPolygonF>& pieces);

}
