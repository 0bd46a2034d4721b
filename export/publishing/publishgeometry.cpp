#include "publishgeometry.h"

#include "convexdecomposition.h"
#include "element.h"
#include "exporter.h"
#include "fixturecircle.h"
#include "fixturepolygon.h"

#include <algorithm>

namespace PublishGeometry {

namespace {
// Half the sum of the edge cross products, accumulated in single precision
// so that the orientation decision is the same on every platform.
float signedArea(const QPolygonF& polygon)
{
    float sum = 0.0f;
    const int n = polygon.size();
    for (int i = 0; i < n; ++i) {
        const QPointF& a = polygon.at(i);
        const QPointF& b = polygon.at((i + 1) % n);
        sum += float(a.x()) * float(b.y()) - float(b.x()) * float(a.y());
    }
    return sum / 2.0f;
}
}

QPointF origin(const Element& body)
{
    const Exporter* exporter = body.exporter();
    QPointF point = body.anchorPointAbs();
    if (exporter && exporter->originType() == Exporter::Fixed) {
        const QSize size = body.size();
        point = QPointF(size.width() * exporter->originRelX(), size.height() * exporter->originRelY());
    }
    return body.toDisplayPoint(point);
}

QPointF convertPoint(const Element& body, const QPointF& point)
{
    return body.toDisplayPoint(point) - origin(body);
}

QPolygonF convertPolygon(const Element& body, const QPolygonF& outline)
{
    const QPointF offset = origin(body);
    QPolygonF converted;
    converted.reserve(outline.size());
    for (const QPointF& point : outline)
        converted << body.toDisplayPoint(point) - offset;

    const Exporter* exporter = body.exporter();
    const bool counterClockwise = exporter && exporter->polygonOrientation() == Exporter::CounterClockwise;
    const float area = signedArea(converted);
    if (counterClockwise ? area <= 0.0f : area > 0.0f)
        std::reverse(converted.begin(), converted.end());
    return converted;
}

QPointF anchorPointAbs(const Element& body)
{
    return body.toDisplayPoint(body.anchorPointAbs());
}

QPointF anchorPointRel(const Element& body)
{
    const QPointF anchor = anchorPointAbs(body);
    const QSize size = body.size();
    // An image without pixels has no relative position.
    return QPointF(size.width() ? anchor.x() / size.width() : 0.0, size.height() ? anchor.y() / size.height() : 0.0);
}

QVector<QPolygonF> polygons(const FixturePolygon& fixture)
{
    QVector<QPolygonF> pieces = ConvexDecomposition::decompose(fixture.polygon());
    for (QPolygonF& piece : pieces)
        piece = convertPolygon(*fixture.body(), piece);
    return pieces;
}

QPolygonF hull(const FixturePolygon& fixture)
{
    return convertPolygon(*fixture.body(), fixture.polygon());
}

QPointF circleCenter(const FixtureCircle& fixture)
{
    return convertPoint(*fixture.body(), fixture.center());
}

}
