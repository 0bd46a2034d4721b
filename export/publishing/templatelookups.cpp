#include "templatelookups.h"

#include "element.h"
#include "elementlistmodel.h"
#include "fixturecircle.h"
#include "fixturepolygon.h"
#include "publishgeometry.h"

#include <grantlee/metatype.h>

#include <QSize>
#include <QSizeF>

namespace {

// Parameters typed "float" are single precision; widened to double they
// would print as 0.20000000298023224. Templates get the shortest decimal
// that reads back as the same float.
QVariant printable(const QVariant& value)
{
    if (value.userType() != QMetaType::Float)
        return value;
    const float number = value.toFloat();
    for (int precision = 1; precision < 9; ++precision) {
        const QString text = QString::number(double(number), 'g', precision);
        if (text.toFloat() == number)
            return text.toDouble();
    }
    return double(number);
}

QVariantList pointList(const QPolygonF& polygon)
{
    QVariantList points;
    points.reserve(polygon.size());
    for (const QPointF& point : polygon)
        points << point;
    return points;
}

// The fixture's place among all fixtures of the document, from 1: an identifier
// unique in the file, for formats that number their resources.
int fixtureNumber(const Fixture* fixture)
{
    const Element* body = fixture->body();
    const ElementListModel* document = body ? body->document() : nullptr;
    if (!document)
        return 1;
    int before = 0;
    for (const Element* each : document->elements()) {
        if (each == body)
            return before + body->fixtures().indexOf(const_cast<Fixture*>(fixture)) + 1;
        before += each->fixtures().size();
    }
    return before + 1;
}

QVariant fixtureProperty(const Fixture* fixture, const QString& property)
{
    if (property == QLatin1String("number"))
        return fixtureNumber(fixture);
    if (const auto* polygon = qobject_cast<const FixturePolygon*>(fixture)) {
        if (property == QLatin1String("polygons")) {
            QVariantList pieces;
            const QVector<QPolygonF> convex = PublishGeometry::polygons(*polygon);
            for (const QPolygonF& piece : convex)
                pieces << QVariant(pointList(piece));
            return pieces;
        }
        if (property == QLatin1String("hull"))
            return pointList(PublishGeometry::hull(*polygon));
    } else if (const auto* circle = qobject_cast<const FixtureCircle*>(fixture)) {
        if (property == QLatin1String("center"))
            return PublishGeometry::circleCenter(*circle);
    }
    // "type", "radius", "isPolygon", "isCircle" and parameter values.
    return fixture->lookup(property);
}

QVariant bodyProperty(const Element* body, const QString& property)
{
    if (property == QLatin1String("name"))
        return body->name();
    if (property == QLatin1String("anchorPointAbs"))
        return PublishGeometry::anchorPointAbs(*body);
    if (property == QLatin1String("anchorPointRel"))
        return PublishGeometry::anchorPointRel(*body);
    if (property == QLatin1String("fixtures") || property == QLatin1String("circles")) {
        const bool onlyCircles = property == QLatin1String("circles");
        QVariantList fixtures;
        for (const Fixture* fixture : body->fixtures()) {
            if (!onlyCircles || qobject_cast<const FixtureCircle*>(fixture))
                fixtures << QVariant::fromValue(TemplateFixture{fixture});
        }
        return fixtures;
    }
    // Every convex piece of the body's polygons, in order: for formats that
    // list a body's parts without its fixtures.
    if (property == QLatin1String("pieces")) {
        QVariantList pieces;
        for (const Fixture* fixture : body->fixtures()) {
            if (const auto* polygon = qobject_cast<const FixturePolygon*>(fixture)) {
                for (const QPolygonF& piece : PublishGeometry::polygons(*polygon))
                    pieces << QVariant(pointList(piece));
            }
        }
        return pieces;
    }
    return body->value(property);
}

}

GRANTLEE_BEGIN_LOOKUP(TemplateBody)
return printable(bodyProperty(object.body, property));
GRANTLEE_END_LOOKUP

GRANTLEE_BEGIN_LOOKUP(TemplateFixture)
return printable(fixtureProperty(object.fixture, property));
GRANTLEE_END_LOOKUP

GRANTLEE_BEGIN_LOOKUP(TemplateDocument)
return printable(object.document->value(property));
GRANTLEE_END_LOOKUP

GRANTLEE_BEGIN_LOOKUP(QPointF)
if (property == QLatin1String("x"))
    return object.x();
if (property == QLatin1String("y"))
    return object.y();
GRANTLEE_END_LOOKUP

GRANTLEE_BEGIN_LOOKUP(QSize)
if (property == QLatin1String("width"))
    return object.width();
if (property == QLatin1String("height"))
    return object.height();
GRANTLEE_END_LOOKUP

void registerTemplateLookups()
{
    Grantlee::registerMetaType<QPointF>();
    Grantlee::registerMetaType<QSize>();
    Grantlee::registerMetaType<TemplateBody>();
    Grantlee::registerMetaType<TemplateFixture>();
    Grantlee::registerMetaType<TemplateDocument>();
}
