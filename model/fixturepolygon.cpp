#include "fixturepolygon.h"

#include "error.h"
#include "streamio.h"
#include "undopolygonchange.h"

#include <QCoreApplication>

namespace {
constexpr qint32 polygonTag = StreamIO::tag("POLY");
constexpr qint32 polygonVersion = 1;
}

FixturePolygon::FixturePolygon(Element* body)
    : Fixture(body)
{
    setValueDirect(QStringLiteral("type"), QStringLiteral("POLYGON"));
}

QList<Fixture*> FixturePolygon::create(Element* body, const QVector<QPolygonF>& polygons)
{
    QList<Fixture*> fixtures;
    for (const QPolygonF& polygon : polygons) {
        auto* fixture = new FixturePolygon(body);
        fixture->setPolygonDirect(polygon);
        fixtures << fixture;
    }
    return fixtures;
}

void FixturePolygon::setPolygon(const QString& text, const QPolygonF& polygon)
{
    if (polygon == m_polygon)
        return;
    pushUndoCommand(new UndoPolygonChange(text, this, m_polygon, polygon));
}

QVariant FixturePolygon::lookup(const QString& name) const
{
    if (name == QLatin1String("type"))
        return QStringLiteral("POLYGON");
    return Fixture::lookup(name);
}

void FixturePolygon::saveShape(QDataStream& stream) const
{
    stream << polygonTag << polygonVersion << m_polygon;
}

void FixturePolygon::readShape(QDataStream& stream)
{
    const qint32 version = StreamIO::readVersion(stream, polygonTag);
    if (version != polygonVersion)
        throw Error(Error::ProjectFile, QCoreApplication::translate("ProjectFile",
                                                                    "Can't read file: Polygon section version is %1")
                                            .arg(version));
    m_polygon = StreamIO::readPolygon(stream);
}
