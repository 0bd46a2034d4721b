#include "undomoveanchorpoint.h"

#include "element.h"

#include <QCoreApplication>

UndoMoveAnchorPoint::UndoMoveAnchorPoint(Element* body, const QPointF& oldPoint, const QPointF& newPoint)
    : QUndoCommand(QCoreApplication::translate("UndoMoveAnchorPoint", "move anchorpoint"))
    , m_body(body)
    , m_oldPoint(oldPoint)
    , m_newPoint(newPoint)
{
}

void UndoMoveAnchorPoint::undo()
{
    m_body->setAnchorPointAbsDirect(m_oldPoint);
    m_body->notifyValueChanged();
}

void UndoMoveAnchorPoint::redo()
{
    m_body->setAnchorPointAbsDirect(m_newPoint);
    m_body->notifyValueChanged();
}
