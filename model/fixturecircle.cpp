#include "fixturecircle.h"

#include "error.h"
#include "streamio.h"
#include "undocirclechange.h"

#include <QCoreApplication>

namespace {
constexpr qint32 circleTag = StreamIO::tag("CIRC");
constexpr qint32 circleVersion = 1;
}

FixtureCircle::FixtureCircle(Element* body)
    : Fixture(body)
{
    setValueDirect(QStringLiteral("type"), QStringLiteral("CIRCLE"));
}

void FixtureCircle::setCircle(const QString& text, const QPointF& center, double radius)
{
    if (radius == m_radius && center == m_center)
        return;
    pushUndoCommand(new UndoCircleChange(text, this, m_center, m_radius, center, radius));
}

void FixtureCircle::setCircleDirect(const QPointF& center, double radius)
{
    m_center = center;
    m_radius = radius;
}

QVariant FixtureCircle::lookup(const QString& name) const
{
    if (name == QLatin1String("radius"))
        return m_radius;
    if (name == QLatin1String("type"))
        return QStringLiteral("CIRCLE");
    // "center", relative to the publishing origin, is answered by publishing.
    return Fixture::lookup(name);
}

void FixtureCircle::saveShape(QDataStream& stream) const
{
    stream << circleTag << circleVersion << m_center << m_radius;
}

void FixtureCircle::readShape(QDataStream& stream)
{
    const qint32 version = StreamIO::readVersion(stream, circleTag);
    if (version != circleVersion)
        throw Error(Error::ProjectFile, QCoreApplication::translate("ProjectFile",
                                                                    "Can't read file: Circle section version is %1")
                                            .arg(version));
    double x = 0;
    double y = 0;
    double radius = 0;
    stream >> x >> y >> radius;
    StreamIO::checkStatus(stream);
    setCircleDirect(QPointF(x, y), radius);
}
