#include "ggraphicspolygonitem.h"

#include "shape.h"

#include <QGraphicsScene>

GGraphicsPolygonItem::GGraphicsPolygonItem(Shape* shape)
    : m_shape(shape)
{
}

// A double click arrives here too: the standard double-click handling is a press.
void GGraphicsPolygonItem::mousePressEvent(QGraphicsSceneMouseEvent* event)
{
    // A selected handle would be dragged along with the item and move twice.
    if (scene())
        scene()->clearSelection();
    QGraphicsPolygonItem::mousePressEvent(event);
    m_shape->pressItem(event);
}

void GGraphicsPolygonItem::mouseMoveEvent(QGraphicsSceneMouseEvent* event)
{
    QGraphicsPolygonItem::mouseMoveEvent(event);
    m_shape->itemMoved(event);
}

void GGraphicsPolygonItem::mouseReleaseEvent(QGraphicsSceneMouseEvent* event)
{
    QGraphicsPolygonItem::mouseReleaseEvent(event);
    m_shape->itemReleased(event);
}
