#include "anchorpoint.h"

#include "element.h"

#include <QGraphicsSceneMouseEvent>
#include <QPainter>
#include <QtMath>

AnchorPoint::AnchorPoint()
{
    setFlags(ItemIsMovable | ItemIgnoresTransformations | ItemSendsGeometryChanges);
    setData(0, QStringLiteral("Anchorpoint"));
}

QRectF AnchorPoint::boundingRect() const
{
    return QRectF(-6, -6, 12, 12);
}

void AnchorPoint::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*)
{
    QPen pen(QColor(0, 0, 96, 255), 0);
    pen.setCosmetic(true);
    painter->setPen(pen);
    painter->setBrush(QColor(128, 128, 255, 128));
    painter->drawEllipse(boundingRect().adjusted(0.5, 0.5, -0.5, -0.5));
    painter->drawLine(QPointF(-6, 0), QPointF(6, 0));
    painter->drawLine(QPointF(0, -6), QPointF(0, 6));
}

void AnchorPoint::setElement(Element* body)
{
    if (m_body)
        disconnect(m_body, nullptr, this, nullptr);
    m_body = body;
    if (m_body) {
        connect(m_body, &Element::anchorPointChanged, this, &AnchorPoint::anchorPointChanged);
        anchorPointChanged();
    }
}

void AnchorPoint::anchorPointChanged()
{
    if (!m_body || m_following)
        return;
    setPos(m_body->anchorPointAbs());
}

QVariant AnchorPoint::itemChange(GraphicsItemChange change, const QVariant& value)
{
    if (change == ItemPositionChange && m_body) {
        const QPointF position = value.toPointF();
        const QPointF anchor = m_body->anchorPointAbs();
        if (qAbs(position.x() - anchor.x()) > 1e-12 || qAbs(position.y() - anchor.y()) > 1e-12) {
            // The body tells everyone, this item included; it is moving there already.
            m_following = true;
            m_body->setAnchorPointAbsDirect(position);
            m_following = false;
        }
    }
    return QGraphicsItem::itemChange(change, value);
}

void AnchorPoint::mousePressEvent(QGraphicsSceneMouseEvent* event)
{
    if (m_body)
        m_pressedAt = m_body->anchorPointAbs();
    QGraphicsItem::mousePressEvent(event);
}

void AnchorPoint::mouseReleaseEvent(QGraphicsSceneMouseEvent* event)
{
    QGraphicsItem::mouseReleaseEvent(event);
    if (m_body)
        m_body->moveAnchorPoint(m_pressedAt, m_body->anchorPointAbs());
}
