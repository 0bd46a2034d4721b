#include "jsonexport.h"

#include "element.h"
#include "elementlistmodel.h"
#include "exporter.h"
#include "fixturecircle.h"
#include "fixturepolygon.h"

#include <QPointF>
#include <QSizeF>

namespace JsonExport {

namespace {
QJsonArray pair(double a, double b)
{
    return QJsonArray{a, b};
}

QJsonValue plainValue(const QVariant& value)
{
    switch (value.userType()) {
    case QMetaType::QString:
        return value.toString();
    case QMetaType::QStringList:
        return QJsonArray::fromStringList(value.toStringList());
    case QMetaType::Bool:
        return value.toBool();
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
    case QMetaType::Float:
    case QMetaType::Double:
        return value.toDouble();
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        // Beyond 2^53 a JSON number would not read back exactly.
        return qAbs(value.toDouble()) < 9007199254740992.0 ? QJsonValue(value.toDouble())
                                                            : QJsonValue(value.toString());
    case QMetaType::QPointF:
    case QMetaType::QPoint:
        return pair(value.toPointF().x(), value.toPointF().y());
    case QMetaType::QSizeF:
    case QMetaType::QSize:
        return pair(value.toSizeF().width(), value.toSizeF().height());
    default:
        return value.toString();
    }
}

QString directionName(Exporter::YAxisDirection direction)
{
    return direction == Exporter::Down ? QStringLiteral("down") : QStringLiteral("up");
}

QString originName(Exporter::OriginType origin)
{
    return origin == Exporter::Fixed ? QStringLiteral("fixed") : QStringLiteral("anchorpoint");
}

QString orientationName(Exporter::PolygonOrientation orientation)
{
    switch (orientation) {
    case Exporter::Clockwise:
        return QStringLiteral("cw");
    case Exporter::CounterClockwise:
        return QStringLiteral("ccw");
    case Exporter::Unspecified:
        break;
    }
    return QStringLiteral("unspecified");
}

QJsonObject fixture(const Fixture& fixture)
{
    QJsonObject object{{"kind", QString(fixture.typeChar())}, {"values", values(fixture.values())}};
    if (const auto* polygon = qobject_cast<const FixturePolygon*>(&fixture)) {
        object.insert(QStringLiteral("polygon"), points(polygon->polygon()));
    } else if (const auto* circle = qobject_cast<const FixtureCircle*>(&fixture)) {
        object.insert(QStringLiteral("center"), pair(circle->center().x(), circle->center().y()));
        object.insert(QStringLiteral("radius"), circle->radius());
    }
    return object;
}
}

QJsonArray points(const QPolygonF& polygon)
{
    QJsonArray list;
    for (const QPointF& point : polygon)
        list.append(pair(point.x(), point.y()));
    return list;
}

QJsonArray pieces(const QVector<QPolygonF>& pieces)
{
    QJsonArray list;
    for (const QPolygonF& piece : pieces)
        list.append(points(piece));
    return list;
}

QJsonArray valuePair(const QVariant& value)
{
    return QJsonArray{QString::fromLatin1(value.typeName()), plainValue(value)};
}

QJsonObject values(const QHash<QString, QVariant>& values)
{
    // QJsonObject keeps its keys sorted.
    QJsonObject object;
    for (auto it = values.constBegin(); it != values.constEnd(); ++it)
        object.insert(it.key(), valuePair(it.value()));
    return object;
}

QJsonObject exporter(const Exporter& exporter)
{
    return QJsonObject{
        {"name", exporter.name()},
        {"displayName", exporter.displayName()},
        {"physicsEngine", exporter.physicsEngineName()},
        {"yAxisDirection", directionName(exporter.yAxisDirection())},
        {"originType", originName(exporter.originType())},
        {"polygonOrientation", orientationName(exporter.polygonOrientation())},
        {"supportsCircles", exporter.supportsCircles()},
        {"anchorPointEnabled", exporter.anchorPointEnabled()},
        {"fileExtension", exporter.fileExtension()},
        {"directory", exporter.directory()},
    };
}

QJsonObject document(const ElementListModel& document)
{
    QJsonArray bodies;
    const QList<Element*> elements = document.elements();
    for (const Element* body : elements) {
        QJsonArray fixtures;
        for (const Fixture* f : body->fixtures())
            fixtures.append(fixture(*f));
        bodies.append(QJsonObject{{"values", values(body->values())}, {"fixtures", fixtures}});
    }
    return QJsonObject{
        {"exporter", document.exporterName()},
        {"values", values(document.values())},
        {"bodies", bodies},
    };
}

}
