#include "shape.h"

#include "handleposlistener.h"
#include "limbeditorscene.h"
#include "shapehandle.h"

#include <QBrush>
#include <QGraphicsItem>
#include <QGraphicsSceneMouseEvent>
#include <QPen>

Shape::Shape(LimbEditorScene* scene)
    : QObject(scene)
    , m_scene(scene)
{
    connect(this, &Shape::shapeActivated, scene, &LimbEditorScene::setCurrentShape);
}

Shape::~Shape() = default;

void Shape::setCurrent(bool current)
{
    if (m_current == current)
        return;
    m_current = current;
    // At once rather than scheduled: handles must be visible before they can be selected.
    updateShape();
}

void Shape::flipHorizontally() {}
void Shape::flipVertically() {}
void Shape::handleReleased(ShapeHandle*) {}

void Shape::handleSelected(ShapeHandle* handle)
{
    emit m_scene->shapeHandleActivated(handle);
}

void Shape::handleDeselected(ShapeHandle* handle)
{
    emit m_scene->shapeHandleDeactivated(handle);
}

void Shape::handleDoubleClicked(ShapeHandle*, QGraphicsSceneMouseEvent*) {}

void Shape::itemPressed(QGraphicsSceneMouseEvent*)
{
    emit shapeActivated(this);
}

void Shape::itemReleased(QGraphicsSceneMouseEvent*)
{
    m_dragging = false;
    syncToFixture(tr("move shape"));
}

void Shape::itemMoved(QGraphicsSceneMouseEvent* event)
{
    if (event->buttons() != Qt::NoButton)
        m_dragging = true;
}

void Shape::handleContextMenu(ShapeHandle*, QGraphicsSceneContextMenuEvent*) {}
void Shape::sceneContextMenu(QGraphicsSceneContextMenuEvent*) {}
void Shape::sceneDoubleClicked(QGraphicsSceneMouseEvent*) {}

void Shape::pressItem(QGraphicsSceneMouseEvent* event)
{
    itemPressed(event);
    emit activated(this);
}

void Shape::retire()
{
    m_retired = true;
    // Whoever listens to a handle must not hear from it any more.
    const QList<ShapeHandle*> allHandles = handles();
    for (ShapeHandle* handle : allHandles) {
        if (HandlePosListener* listener = handle->listener()) {
            handle->setListener(nullptr);
            listener->handleDestroyed(handle);
        }
    }
    QGraphicsItem* item = graphicsItem();
    if (item && item->scene())
        item->scene()->removeItem(item);
}

void Shape::updateShape()
{
    QGraphicsItem* item = graphicsItem();
    if (!item)
        return;
    item->setZValue(m_current ? 100 : 0);
    if (auto* outline = dynamic_cast<QAbstractGraphicsShapeItem*>(item)) {
        outline->setPen(outlinePen(m_current));
        outline->setBrush(fillBrush(m_current));
    }
}

void Shape::scheduleUpdateShape()
{
    if (m_retired)
        return;
    m_scene->scheduleUpdate(this);
    emit signalScheduleUpdateShape();
}

QPen Shape::outlinePen(bool current)
{
    QPen pen(QColor(0, 0, 0, current ? 230 : 128), 0);
    pen.setCosmetic(true);
    pen.setJoinStyle(Qt::MiterJoin);
    return pen;
}

QBrush Shape::fillBrush(bool current)
{
    return QBrush(current ? QColor(255, 0, 0, 128) : QColor(128, 128, 128, 48));
}
