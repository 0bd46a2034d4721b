#pragma once

#include "shape.h"

#include <QGraphicsScene>

// The graphics item of a shape: draws it and forwards its mouse events to the
// shape after the standard handling. Polygons and circles differ only in the
// Qt item they draw with.
template <typename Item>
class ShapeItem : public Item
{
public:
    explicit ShapeItem(Shape* shape)
        : m_shape(shape)
    {
    }

protected:
    // A double click arrives here too: the standard double-click handling is a press.
    void mousePressEvent(QGraphicsSceneMouseEvent* event) override
    {
        // A selected handle would be dragged along with the item and move twice.
        if (Item::scene())
            Item::scene()->clearSelection();
        Item::mousePressEvent(event);
        m_shape->pressItem(event);
    }

    void mouseMoveEvent(QGraphicsSceneMouseEvent* event) override
    {
        Item::mouseMoveEvent(event);
        m_shape->itemMoved(event);
    }

    void mouseReleaseEvent(QGraphicsSceneMouseEvent* event) override
    {
        Item::mouseReleaseEvent(event);
        m_shape->itemReleased(event);
    }

private:
    Shape* m_shape;
};
