#pragma once

#include "element.h"

#include <QGraphicsItem>
#include <QObject>
#include <QPointer>

// The body's anchor point in the editor scene. Dragging it changes the body at
// once and records one undoable move when the mouse is released.
class AnchorPoint final : public QObject, public QGraphicsItem
{
    Q_OBJECT
    Q_INTERFACES(QGraphicsItem)
public:
    enum { Type = UserType + 3 };

    AnchorPoint();

    Element* element() const { return m_body; }

    int type() const override { return Type; }
    QRectF boundingRect() const override;
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

public slots:
    void setElement(Element* body);
    void anchorPointChanged();

protected:
    QVariant itemChange(GraphicsItemChange change, const QVariant& value) override;
    void mousePressEvent(QGraphicsSceneMouseEvent* event) override;
    void mouseReleaseEvent(QGraphicsSceneMouseEvent* event) override;

private:
    QPointer<Element> m_body;
    QPointF m_pressedAt;
    bool m_following = false;
};
