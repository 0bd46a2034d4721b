#pragma once

#include <QGraphicsItem>

class HandlePosListener;
class Shape;

// A small draggable marker for one vertex of a polygon or the radius of a
// circle. A child of its shape's item; it snaps to whole pixels.
class ShapeHandle final : public QGraphicsItem
{
public:
    enum { Type = UserType + 2 };

    // The position is taken as given; later moves snap.
    ShapeHandle(Shape* shape, const QPointF& position);
    ~ShapeHandle() override;

    // The owning shape; null once the shape is being destroyed.
    Shape* ownerShape() const { return m_shape; }
    void detachShape() { m_shape = nullptr; }

    HandlePosListener* listener() const { return m_listener; }
    void setListener(HandlePosListener* listener) { m_listener = listener; }

    // Rounds both coordinates to the nearest integer, halves upwards.
    static QPointF snapped(const QPointF& point);

    int type() const override { return Type; }
    QRectF boundingRect() const override;
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

protected:
    QVariant itemChange(GraphicsItemChange change, const QVariant& value) override;
    void mouseReleaseEvent(QGraphicsSceneMouseEvent* event) override;
    void mouseDoubleClickEvent(QGraphicsSceneMouseEvent* event) override;
    void contextMenuEvent(QGraphicsSceneContextMenuEvent* event) override;

private:
    void updateToolTip(const QPointF& position);

    Shape* m_shape;
    HandlePosListener* m_listener = nullptr;
};
