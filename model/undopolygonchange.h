#pragma once

#include <QPolygonF>
#include <QUndoCommand>

class FixturePolygon;

class UndoPolygonChange final : public QUndoCommand
{
public:
    UndoPolygonChange(const QString& text, FixturePolygon* fixture, const QPolygonF& oldPolygon,
                      const QPolygonF& newPolygon);

    void undo() override;
    void redo() override;

private:
    FixturePolygon* m_fixture;
    QPolygonF m_oldPolygon;
    QPolygonF m_newPolygon;
};
