#pragma once

#include "fixture.h"

#include <QPointF>

// A circular fixture, centre and radius in body coordinates.
class FixtureCircle final : public Fixture
{
    Q_OBJECT
public:
    explicit FixtureCircle(Element* body);

    QPointF center() const { return m_center; }
    double radius() const { return m_radius; }
    // An undoable change with the given text; nothing when the circle is equal.
    void setCircle(const QString& text, const QPointF& center, double radius);
    void setCircleDirect(const QPointF& center, double radius);

    void readShape(QDataStream& stream) override;
    QChar typeChar() const override { return QLatin1Char('C'); }
    QVariant lookup(const QString& name) const override;

protected:
    void saveShape(QDataStream& stream) const override;

private:
    QPointF m_center{0.0, 0.0};
    double m_radius = 1.0;
};
