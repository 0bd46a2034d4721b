#include "undocirclechange.h"

#include "fixturecircle.h"

UndoCircleChange::UndoCircleChange(const QString& text, FixtureCircle* fixture, const QPointF& oldCenter,
                                   double oldRadius, const QPointF& newCenter, double newRadius)
    : QUndoCommand(text)
    , m_fixture(fixture)
    , m_oldCenter(oldCenter)
    , m_oldRadius(oldRadius)
    , m_newCenter(newCenter)
    , m_newRadius(newRadius)
{
}

void UndoCircleChange::undo()
{
    m_fixture->setCircleDirect(m_oldCenter, m_oldRadius);
    m_fixture->notifyValueChanged();
}

void UndoCircleChange::redo()
{
    m_fixture->setCircleDirect(m_newCenter, m_newRadius);
    m_fixture->notifyValueChanged();
}
