#include "box2dpolygon.h"

#include <box2d/b2_common.h>
#include <box2d/b2_math.h>

#include <cfloat>
#include <cmath>

namespace Box2DPolygon {

bool isUsable(const QPointF& point)
{
    return std::isfinite(point.x()) && std::isfinite(point.y()) && std::abs(point.x()) <= coordinateLimit
           && std::abs(point.y()) <= coordinateLimit;
}

bool accepts(const QPolygonF& piece)
{
    if (piece.size() < 3 || piece.size() > b2_maxPolygonVertices)
        return false;
    // The vertices Box2D keeps, by its own rule and in single precision as it
    // receives them.
    b2Vec2 kept[b2_maxPolygonVertices];
    int count = 0;
    constexpr float weld = 0.5f * b2_linearSlop;
    for (const QPointF& point : piece) {
        if (!isUsable(point))
            return false;
        const b2Vec2 v(float(point.x()), float(point.y()));
        bool unique = true;
        for (int j = 0; j < count && unique; ++j)
            unique = b2DistanceSquared(v, kept[j]) >= weld * weld;
        if (unique)
            kept[count++] = v;
    }
    if (count < 3)
        return false;
    // The kept vertices of a convex piece are a convex polygon in the same
    // order. Its area must clear Box2D's own minimum with room for rounding.
    float twiceArea = 0.0f;
    for (int i = 1; i + 1 < count; ++i)
        twiceArea += b2Cross(kept[i] - kept[0], kept[i + 1] - kept[0]);
    return std::abs(twiceArea) > 8.0f * FLT_EPSILON;
}

}
