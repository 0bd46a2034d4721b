#pragma once

#include <QPointF>
#include <QUndoCommand>

class Element;

class UndoMoveAnchorPoint final : public QUndoCommand
{
public:
    UndoMoveAnchorPoint(Element* body, const QPointF& oldPoint, const QPointF& newPoint);

    void undo() override;
    void redo() override;

private:
    Element* m_body;
    QPointF m_oldPoint;
    QPointF m_newPoint;
};
