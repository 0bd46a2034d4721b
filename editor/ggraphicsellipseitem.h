#pragma once

#include <QGraphicsEllipseItem>

class Shape;

// The ellipse item of a shape: draws it and forwards its mouse events to the
// shape after the standard handling.
class GGraphicsEllipseItem final : public QGraphicsEllipseItem
{
public:
    explicit GGraphicsEllipseItem(Shape* shape);

    Shape* ownerShape() const { return m_shape; }

protected:
    void mousePressEvent(QGraphicsSceneMouseEvent* event) override;
    void mouseMoveEvent(QGraphicsSceneMouseEvent* event) override;
    void mouseReleaseEvent(QGraphicsSceneMouseEvent* event) override;

private:
    Shape* m_shape;
};
