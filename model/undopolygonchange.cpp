#include "undopolygonchange.h"

#include "fixturepolygon.h"

UndoPolygonChange::UndoPolygonChange(const QString& text, FixturePolygon* fixture, const QPolygonF& oldPolygon,
                                     const QPolygonF& newPolygon)
    : QUndoCommand(text)
    , m_fixture(fixture)
    , m_oldPolygon(oldPolygon)
    , m_newPolygon(newPolygon)
{
}

void UndoPolygonChange::undo()
{
    m_fixture->setPolygonDirect(m_oldPolygon);
    m_fixture->notifyValueChanged();
}

void UndoPolygonChange::redo()
{
    m_fixture->setPolygonDirect(m_newPolygon);
    m_fixture->notifyValueChanged();
}
