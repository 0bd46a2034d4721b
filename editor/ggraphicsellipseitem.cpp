#include "ggraphicsellipseitem.h"

#include "shape.h"

#include <QGraphicsScene>

GGraphicsEllipseItem::GGraphicsEllipseItem(Shape* shape)
    : m_shape(shape)
{
}

// A double click arrives here too: the standard double-click handling is a press.
void GGraphicsEllipseItem::mousePressEvent(QGraphicsSceneMouseEvent* event)
{
    // A selected handle would be dragged along with the item and move twice.
    if (scene())
        scene()->clearSelection();
    QGraphicsEllipseItem::mousePressEvent(event);
    m_shape->pressItem(event);
}

void GGraphicsEllipseItem::mouseMoveEvent(QGraphicsSceneMouseEvent* event)
{
    QGraphicsEllipseItem::mouseMoveEvent(event);
    m_shape->itemMoved(event);
}

void GGraphicsEllipseItem::mouseReleaseEvent(QGraphicsSceneMouseEvent* event)
{
    QGraphicsEllipseItem::mouseReleaseEvent(event);
    m_shape->itemReleased(event);
}
