#include "previewbody.h"

#include "box2dpolygon.h"
#include "convexdecomposition.h"
#include "element.h"
#include "elementlistmodel.h"
#include "fixturecircle.h"
#include "fixturepolygon.h"

#include <QCoreApplication>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

QString tr(const char* text, int count = -1)
{
    return QCoreApplication::translate("PreviewBody", text, nullptr, count);
}

// A value only where the exporter defines a parameter of that name: a value
// kept from another exporter says nothing about this one.
QVariant exporterValue(const GenericDataProvider& provider, const QString& name)
{
    return provider.defaultValue(name).isValid() ? provider.value(name) : QVariant();
}

QVariant firstExporterValue(const GenericDataProvider& provider, std::initializer_list<const char*> names)
{
    for (const char* name : names) {
        const QVariant value = exporterValue(provider, QLatin1String(name));
        if (value.isValid())
            return value;
    }
    return QVariant();
}

// A finite number of at least `minimum`, else the fallback.
float number(const QVariant& value, float fallback, float minimum = -std::numeric_limits<float>::max())
{
    bool ok = false;
    const double read = value.toDouble(&ok);
    if (!ok || !std::isfinite(read) || read < minimum || std::abs(read) > std::numeric_limits<float>::max())
        return fallback;
    return float(read);
}

bool flag(const QVariant& value, bool fallback)
{
    return value.isValid() ? value.toBool() : fallback;
}

// Bits of a 16-bit collision field; larger stored numbers keep their low 16 bits.
template <typename T>
T bits(const QVariant& value, T fallback)
{
    bool ok = false;
    const qlonglong read = value.toLongLong(&ok);
    return ok ? T(read & 0xFFFF) : fallback;
}

PreviewBody::Type bodyType(const Element& body)
{
    const QVariant type = exporterValue(body, QStringLiteral("bodyType"));
    if (type.isValid()) {
        const QString word = type.toString().trimmed().toLower();
        if (word == QLatin1String("static") || word == QLatin1String("0"))
            return PreviewBody::Static;
        if (word == QLatin1String("kinematic") || word == QLatin1String("1"))
            return PreviewBody::Kinematic;
        return PreviewBody::Dynamic;
    }
    return flag(exporterValue(body, QStringLiteral("isStatic")), false) ? PreviewBody::Static : PreviewBody::Dynamic;
}

double bodyPixelsPerMetre(const Element& body)
{
    const ElementListModel* document = body.document();
    if (!document)
        return 32;
    const float ptm = number(firstExporterValue(*document, {"ptm", "ptmRatio", "pixelsPerMeter", "pixelsPerMetre"}),
                             32.0f, std::numeric_limits<float>::min());
    return ptm;
}

class Converter
{
public:
    Converter(const Element& body, double pixelsPerMetre)
        : m_anchor(body.anchorPointAbs())
        , m_pixelsPerMetre(pixelsPerMetre)
    {
    }
    // Divided, as a game divides what it reads from the published file.
    QPointF point(const QPointF& p) const { return (p - m_anchor) / m_pixelsPerMetre; }
    QPolygonF polygon(const QPolygonF& polygon) const
    {
        QPolygonF converted;
        converted.reserve(polygon.size());
        for (const QPointF& p : polygon)
            converted << point(p);
        return converted;
    }
    double length(double pixels) const { return pixels / m_pixelsPerMetre; }

private:
    QPointF m_anchor;
    double m_pixelsPerMetre;
};

void readSettings(const Fixture& fixture, PreviewFixture& into)
{
    into.density = number(exporterValue(fixture, QStringLiteral("density")), 1.0f, 0.0f);
    into.friction = number(exporterValue(fixture, QStringLiteral("friction")), 0.2f, 0.0f);
    into.restitution = number(firstExporterValue(fixture, {"restitution", "elasticity"}), 0.0f, 0.0f);
    into.isSensor = flag(exporterValue(fixture, QStringLiteral("isSensor")), false);
    into.categoryBits = bits<std::uint16_t>(exporterValue(fixture, QStringLiteral("filter_categoryBits")), 0x0001);
    into.maskBits = bits<std::uint16_t>(exporterValue(fixture, QStringLiteral("filter_maskBits")), 0xFFFF);
    into.groupIndex = bits<std::int16_t>(exporterValue(fixture, QStringLiteral("filter_groupIndex")), 0);
}

PreviewFixture polygonFixture(const FixturePolygon& polygon, const Converter& convert)
{
    PreviewFixture fixture;
    fixture.outline = convert.polygon(polygon.polygon());
    const QVector<QPolygonF> pieces = ConvexDecomposition::decompose(polygon.polygon());
    if (pieces.isEmpty()) {
        fixture.problem = tr("could not be cut into convex pieces");
        return fixture;
    }
    int refused = 0;
    for (const QPolygonF& piece : pieces) {
        QPolygonF converted = convert.polygon(piece);
        if (Box2DPolygon::accepts(converted))
            fixture.pieces << converted;
        else
            ++refused;
    }
    if (refused)
        fixture.problem = tr("%n piece(s) too small for Box2D left out", refused);
    return fixture;
}

PreviewFixture circleFixture(const FixtureCircle& circle, const Converter& convert)
{
    PreviewFixture fixture;
    fixture.isCircle = true;
    fixture.center = convert.point(circle.center());
    fixture.radius = convert.length(circle.radius());
    if (!Box2DPolygon::isUsable(fixture.center) || !(fixture.radius > 0) || fixture.radius > Box2DPolygon::coordinateLimit) {
        fixture.radius = 0;
        fixture.problem = tr("the circle has no valid centre or radius");
    }
    return fixture;
}

}

PreviewBody PreviewBody::fromElement(const Element& element)
{
    PreviewBody body;
    body.name = element.name();
    body.image = element.pixmap();
    body.pixelsPerMetre = bodyPixelsPerMetre(element);
    const Converter convert(element, body.pixelsPerMetre);
    const QSize size = element.size();
    body.imageRect = QRectF(convert.point(QPointF(0, 0)), QSizeF(convert.length(size.width()), convert.length(size.height())));
    // An anchor far outside any world leaves the image nowhere to be drawn.
    if (!Box2DPolygon::isUsable(body.imageRect.topLeft()) || !Box2DPolygon::isUsable(body.imageRect.bottomRight()))
        body.imageRect = QRectF();

    body.type = bodyType(element);
    body.linearDamping = number(exporterValue(element, QStringLiteral("linearDamping")), 0.0f, 0.0f);
    body.angularDamping = number(exporterValue(element, QStringLiteral("angularDamping")), 0.0f, 0.0f);
    body.gravityScale = number(exporterValue(element, QStringLiteral("gravityScale")), 1.0f);
    body.fixedRotation = flag(exporterValue(element, QStringLiteral("fixedRotation")), false);
    body.isBullet = flag(exporterValue(element, QStringLiteral("isBullet")), false);

    for (const Fixture* fixture : element.fixtures()) {
        PreviewFixture converted;
        if (const auto* polygon = qobject_cast<const FixturePolygon*>(fixture))
            converted = polygonFixture(*polygon, convert);
        else if (const auto* circle = qobject_cast<const FixtureCircle*>(fixture))
            converted = circleFixture(*circle, convert);
        else
            continue;
        readSettings(*fixture, converted);
        body.fixtures << converted;
    }
    return body;
}

QVector<PreviewBody> PreviewBody::fromElements(const QList<Element*>& elements)
{
    QVector<PreviewBody> bodies;
    bodies.reserve(elements.size());
    for (const Element* element : elements)
        bodies << fromElement(*element);
    return bodies;
}

QRectF PreviewBody::bounds() const
{
    QRectF box;
    bool any = false;
    const auto unite = [&](const QRectF& rect) {
        box = any ? box.united(rect) : rect;
        any = true;
    };
    for (const PreviewFixture& fixture : fixtures) {
        if (fixture.isCircle && !fixture.isMissing())
            unite(QRectF(fixture.center - QPointF(fixture.radius, fixture.radius),
                         QSizeF(2 * fixture.radius, 2 * fixture.radius)));
        for (const QPolygonF& piece : fixture.pieces)
            unite(piece.boundingRect());
    }
    if (any)
        return box;
    // Something to lay out even without shapes or image: a metre square at the origin.
    return imageRect.isValid() ? imageRect : QRectF(-0.5, -0.5, 1, 1);
}

QStringList PreviewBody::problems() const
{
    QStringList list;
    if (fixtures.isEmpty())
        list << tr("%1: no fixtures, so nothing stops it falling").arg(name);
    for (int i = 0; i < fixtures.size(); ++i) {
        if (!fixtures.at(i).problem.isEmpty())
            list << tr("%1: fixture %2: %3").arg(name, QString::number(i + 1), fixtures.at(i).problem);
    }
    return list;
}
