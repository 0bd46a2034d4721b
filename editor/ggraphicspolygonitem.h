#pragma once

#include <QGraphicsPolygonItem>

class Shape;

// The polygon item of a shape: draws it and forwards its mouse events to the
// shape after the standard handling.
class GGraphicsPolygonItem final : public QGraphicsPolygonItem
{
public:
    explicit GGraphicsPolygonItem(Shape* shape);

    Shape* ownerShape() const { return m_shape; }

protected:
    void mousePressEvent(QGraphicsSceneMouseEvent* event) override;
    void mouseMoveEvent(QGraphicsSceneMouseEvent* event) override;
    void mouseReleaseEvent(QGraphicsSceneMouseEvent* event) override;

private:
    Shape* m_shape;
};
