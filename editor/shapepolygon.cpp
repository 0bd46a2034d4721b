#include "shapepolygon.h"

#include "fixturepolygon.h"
#include "ggraphicspolygonitem.h"
#include "limbeditorscene.h"
#include "shapehandle.h"

#include <QAction>
#include <QGraphicsSceneContextMenuEvent>
#include <QGraphicsSceneMouseEvent>
#include <QLineF>
#include <QMenu>
#include <QTransform>

#include <cmath>
#include <utility>

ShapePolygon::ShapePolygon(LimbEditorScene* scene, FixturePolygon* fixture)
    : Shape(scene)
    , m_item(std::make_unique<GGraphicsPolygonItem>(this))
    , m_fixture(fixture)
    , m_deleteVertexAction(new QAction(tr("&Delete vertex"), this))
    , m_addVertexAction(new QAction(tr("&Add vertex"), this))
{
    m_item->setFlags(QGraphicsItem::ItemIsMovable | QGraphicsItem::ItemIsFocusable
                     | QGraphicsItem::ItemSendsGeometryChanges);
    m_item->setPen(outlinePen(false));
    m_item->setBrush(fillBrush(false));
    scene->addItem(m_item.get());

    connect(m_deleteVertexAction, &QAction::triggered, this, &ShapePolygon::deleteHandleWithMenu);
    connect(m_addVertexAction, &QAction::triggered, this, &ShapePolygon::addPoint);
    // A handle is never deleted inside its own event handler.
    connect(this, &ShapePolygon::scheduleRemoveHandle, this, &ShapePolygon::removeHandle, Qt::QueuedConnection);

    syncFromFixture();
}

ShapePolygon::~ShapePolygon()
{
    for (ShapeHandle* handle : qAsConst(m_handles))
        handle->detachShape();
    // The item takes its child handles with it.
    m_item.reset();
}

Fixture* ShapePolygon::fixture() const
{
    return m_fixture;
}

QGraphicsItem* ShapePolygon::graphicsItem() const
{
    return m_item.get();
}

void ShapePolygon::clearHandles()
{
    const QList<ShapeHandle*> handles = std::exchange(m_handles, {});
    for (ShapeHandle* handle : handles) {
        handle->detachShape();
        delete handle;
    }
}

void ShapePolygon::syncFromFixture()
{
    const QPolygonF polygon = m_fixture->polygon();
    if (polygon.size() != m_handles.size()) {
        clearHandles();
        m_handles.reserve(polygon.size());
        for (const QPointF& point : polygon)
            m_handles.append(new ShapeHandle(this, point));
    } else {
        for (int i = 0; i < polygon.size(); ++i)
            m_handles.at(i)->setPos(polygon.at(i));
    }
    m_item->setPolygon(polygon);
}

QPolygonF ShapePolygon::handlePolygon() const
{
    QPolygonF polygon;
    polygon.reserve(m_handles.size());
    for (const ShapeHandle* handle : m_handles)
        polygon.append(handle->pos());
    return polygon;
}

void ShapePolygon::settle()
{
    const QPointF offset = m_item->pos();
    for (ShapeHandle* handle : qAsConst(m_handles))
        handle->setPos(handle->pos() + offset);
    m_item->setPolygon(handlePolygon());
    m_item->setPos(0, 0);
}

void ShapePolygon::syncToFixture(const QString& undoText)
{
    settle();
    // Last statement: recording the change may rebuild the scene's shapes.
    m_fixture->setPolygon(undoText, m_item->polygon());
}

void ShapePolygon::updateShape()
{
    Shape::updateShape();
    for (ShapeHandle* handle : qAsConst(m_handles))
        handle->setVisible(isCurrent());
    m_item->setPolygon(handlePolygon());
}

void ShapePolygon::handleReleased(ShapeHandle*)
{
    syncToFixture(tr("move vertex"));
}

void ShapePolygon::handleDoubleClicked(ShapeHandle* handle, QGraphicsSceneMouseEvent*)
{
    emit scheduleRemoveHandle(handle);
}

void ShapePolygon::removeHandle(ShapeHandle* handle)
{
    // The handle may have gone with a rebuild or an earlier removal since this was queued.
    if (m_handles.contains(handle))
        removeHandles({handle});
}

bool ShapePolygon::removeSelectedHandles()
{
    QList<ShapeHandle*> selected;
    for (ShapeHandle* handle : qAsConst(m_handles)) {
        if (handle->isSelected())
            selected.append(handle);
    }
    if (selected.isEmpty())
        return false;
    removeHandles(selected);
    return true;
}

void ShapePolygon::removeHandles(const QList<ShapeHandle*>& handles)
{
    // Fewer than three vertices enclose nothing.
    if (m_handles.size() - handles.size() < 3)
        return;
    for (ShapeHandle* handle : handles) {
        m_handles.removeOne(handle);
        handle->detachShape();
        delete handle;
    }
    syncToFixture(tr("delete vertex"));
}

void ShapePolygon::handleContextMenu(ShapeHandle* handle, QGraphicsSceneContextMenuEvent* event)
{
    m_menuHandle = handle;
    QMenu menu;
    menu.addAction(m_deleteVertexAction);
    menu.exec(event->screenPos());
    m_menuHandle = nullptr;
    event->accept();
}

void ShapePolygon::deleteHandleWithMenu()
{
    // Deferred like a double click: the menu runs inside the handle's own event handler.
    if (m_menuHandle)
        emit scheduleRemoveHandle(m_menuHandle);
}

void ShapePolygon::sceneContextMenu(QGraphicsSceneContextMenuEvent* event)
{
    m_menuScenePos = event->scenePos();
    QMenu menu;
    menu.addAction(m_addVertexAction);
    menu.exec(event->screenPos());
    event->accept();
}

void ShapePolygon::addPoint()
{
    insertVertex(m_menuScenePos);
}

void ShapePolygon::sceneDoubleClicked(QGraphicsSceneMouseEvent* event)
{
    event->accept();
    insertVertex(event->scenePos());
}

void ShapePolygon::insertVertex(const QPointF& point)
{
    settle();
    const float px = float(point.x());
    const float py = float(point.y());
    int best = 0;
    float bestDistance = 1e7f;
    const int count = m_handles.size();
    for (int i = 0; i < count; ++i) {
        const QPointF a = m_handles.at(i == 0 ? count - 1 : i - 1)->pos();
        const QPointF b = m_handles.at(i)->pos();
        const float ax = float(a.x());
        const float ay = float(a.y());
        const float dx = float(b.x()) - ax;
        const float dy = float(b.y()) - ay;
        const float lengthSquared = dx * dx + dy * dy;
        if (lengthSquared == 0.0f)
            continue;
        const float t = ((px - ax) * dx + (py - ay) * dy) / lengthSquared;
        if (!(t > 0.0f && t < 1.0f))
            continue;
        const float fx = px - (ax + t * dx);
        const float fy = py - (ay + t * dy);
        const float distance = std::sqrt(fx * fx + fy * fy);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = i;
        }
    }
    m_handles.insert(best, new ShapeHandle(this, m_item->mapFromScene(point)));
    syncToFixture(tr("add vertex"));
}

ShapePolygon::EdgePoint ShapePolygon::nearestEdge(const QPointF& point, const QTransform& toView) const
{
    EdgePoint nearest;
    const int count = m_handles.size();
    for (int i = 0; i < count; ++i) {
        const QPointF a = m_item->mapToScene(m_handles.at(i == 0 ? count - 1 : i - 1)->pos());
        const QPointF b = m_item->mapToScene(m_handles.at(i)->pos());
        const QPointF d = b - a;
        const double lengthSquared = QPointF::dotProduct(d, d);
        if (lengthSquared == 0)
            continue;
        // Beyond either end the nearest point would be a vertex that is there already.
        const double t = QPointF::dotProduct(point - a, d) / lengthSquared;
        if (!(t > 0 && t < 1))
            continue;
        const QPointF foot = a + t * d;
        const double distance = QLineF(toView.map(point), toView.map(foot)).length();
        if (nearest.edge < 0 || distance < nearest.distance)
            nearest = EdgePoint{i, foot, distance};
    }
    return nearest;
}

void ShapePolygon::insertVertexAt(int edge, const QPointF& point)
{
    if (edge < 0 || edge >= m_handles.size())
        return;
    settle();
    m_handles.insert(edge, new ShapeHandle(this, m_item->mapFromScene(point)));
    syncToFixture(tr("add vertex"));
}

void ShapePolygon::flipHorizontally()
{
    flip(Qt::Horizontal, tr("flip horizontally"));
}

void ShapePolygon::flipVertically()
{
    flip(Qt::Vertical, tr("flip vertically"));
}

void ShapePolygon::flip(Qt::Orientation orientation, const QString& undoText)
{
    settle();
    // The outline's own box: the item's bounding rectangle also holds the pen,
    // whose mitred corners would move the axis and make a flip irreversible.
    const QRectF box = m_item->polygon().boundingRect();
    const double cx = double(float(box.x() + box.width() * 0.5));
    const double cy = double(float(box.y() + box.height() * 0.5));
    for (ShapeHandle* handle : qAsConst(m_handles)) {
        const QPointF p = handle->pos();
        handle->setPos(orientation == Qt::Horizontal ? QPointF(2 * cx - p.x(), p.y()) : QPointF(p.x(), 2 * cy - p.y()));
    }
    m_item->setPolygon(handlePolygon());
    syncToFixture(undoText);
}
