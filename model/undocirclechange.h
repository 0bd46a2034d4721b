#pragma once

#include <QPointF>
#include <QUndoCommand>

class FixtureCircle;

class UndoCircleChange final : public QUndoCommand
{
public:
    UndoCircleChange(const QString& text, FixtureCircle* fixture, const QPointF& oldCenter, double oldRadius,
                     const QPointF& newCenter, double newRadius);

    void undo() override;
    void redo() override;

private:
    FixtureCircle* m_fixture;
    QPointF m_oldCenter;
    double m_oldRadius;
    QPointF m_newCenter;
    double m_newRadius;
};
