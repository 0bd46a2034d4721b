#pragma once

#include "fixture.h"

#include <QList>
#include <QPolygonF>
#include <QVector>

// A fixture with one outline in body coordinates; it may be concave.
class FixturePolygon final : public Fixture
{
    Q_OBJECT
public:
    explicit FixturePolygon(Element* body);
    // New fixtures of the body, one for each polygon, not added to it yet.
    static QList<Fixture*> create(Element* body, const QVector<QPolygonF>& polygons);

    QPolygonF polygon() const { return m_polygon; }
    // An undoable change with the given text; nothing when the polygon is equal.
    void setPolygon(const QString& text, const QPolygonF& polygon);
    void setPolygonDirect(const QPolygonF& polygon) { m_polygon = polygon; }

    void readShape(QDataStream& stream) override;
    QChar typeChar() const override { return QLatin1Char('P'); }
    QVariant lookup(const QString& name) const override;

protected:
    void saveShape(QDataStream& stream) const override;

private:
    QPolygonF m_polygon;
};
