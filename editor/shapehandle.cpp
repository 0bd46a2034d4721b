#include "shapehandle.h"

#include "handleposlistener.h"
#include "shape.h"

#include <QCursor>
#include <QGraphicsSceneMouseEvent>
#include <QPainter>
#include <QtMath>

HandlePosListener::~HandlePosListener() = default;

ShapeHandle::ShapeHandle(Shape* shape, const QPointF& position)
    : m_shape(shape)
{
    setParentItem(shape->graphicsItem());
    // Placed before geometry changes are sent, so the given position stays unsnapped.
    setPos(position);
    setFlags(ItemIsMovable | ItemIsSelectable | ItemIgnoresTransformations | ItemSendsGeometryChanges);
    setData(0, QStringLiteral("ShapeHandle"));
    setCursor(Qt::PointingHandCursor);
    // A handle looks the same at every zoom: drawn once, then blitted on every
    // repaint, which matters for outlines with a thousand vertices.
    setCacheMode(DeviceCoordinateCache);
    setVisible(shape->isCurrent());
    updateToolTip(position);
}

ShapeHandle::~ShapeHandle()
{
    if (m_listener)
        m_listener->handleDestroyed(this);
}

QPointF ShapeHandle::snapped(const QPointF& point)
{
    return QPointF(qFloor(point.x() + 0.5), qFloor(point.y() + 0.5));
}

QRectF ShapeHandle::boundingRect() const
{
    return QRectF(-4, -4, 8, 8);
}

void ShapeHandle::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*)
{
    QPen pen(QColor(0, 0, 0, 220), 0);
    pen.setCosmetic(true);
    painter->setPen(pen);
    painter->setBrush(isSelected() ? QColor(255, 0, 0, 196) : QColor(255, 255, 255, 196));
    // Inset by half a pixel so the outline stays inside the bounding rectangle.
    painter->drawEllipse(boundingRect().adjusted(0.5, 0.5, -0.5, -0.5));
}

QVariant ShapeHandle::itemChange(GraphicsItemChange change, const QVariant& value)
{
    switch (change) {
    case ItemPositionChange: {
        const QPointF position = snapped(value.toPointF());
        updateToolTip(position);
        if (m_shape)
            m_shape->scheduleUpdateShape();
        if (m_listener)
            m_listener->handlePositionChanged(position);
        return position;
    }
    case ItemSelectedHasChanged:
        if (m_shape) {
            if (value.toBool())
                m_shape->handleSelected(this);
            else
                m_shape->handleDeselected(this);
            m_shape->scheduleUpdateShape();
        }
        break;
    default:
        break;
    }
    return QGraphicsItem::itemChange(change, value);
}

void ShapeHandle::mouseReleaseEvent(QGraphicsSceneMouseEvent* event)
{
    QGraphicsItem::mouseReleaseEvent(event);
    if (m_shape)
        m_shape->handleReleased(this);
}

void ShapeHandle::mouseDoubleClickEvent(QGraphicsSceneMouseEvent* event)
{
    event->accept();
    if (m_shape)
        m_shape->handleDoubleClicked(this, event);
}

void ShapeHandle::contextMenuEvent(QGraphicsSceneContextMenuEvent* event)
{
    if (m_shape)
        m_shape->handleContextMenu(this, event);
}

void ShapeHandle::updateToolTip(const QPointF& position)
{
    setToolTip(QStringLiteral("(%1,%2)").arg(position.x(), 0, 'g', 6).arg(position.y(), 0, 'g', 6));
}
