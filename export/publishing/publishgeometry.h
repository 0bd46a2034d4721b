#pragma once

#include <QPointF>
#include <QPolygonF>
#include <QVector>

class Element;
class FixtureCircle;
class FixturePolygon;

// Geometry in the exporter's conventions: y axis, fixture origin, polygon
// orientation, and polygons cut into convex pieces.
namespace PublishGeometry {

// The fixture origin of a body, after the y-axis rule.
QPointF origin(const Element& body);
// A point in body coordinates as published: y-axis rule, then relative to the origin.
QPointF convertPoint(const Element& body, const QPointF& point);
// An outline as published: every point converted, then ordered as the exporter wants.
QPolygonF convertPolygon(const Element& body, const QPolygonF& outline);

QPointF anchorPointAbs(const Element& body);
QPointF anchorPointRel(const Element& body);

// The convex pieces of a polygon fixture; empty when it cannot be decomposed.
QVector<QPolygonF> polygons(const FixturePolygon& fixture);
QPolygonF hull(const FixturePolygon& fixture);
QPointF circleCenter(const FixtureCircle& fixture);

}
