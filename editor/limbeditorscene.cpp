#include "limbeditorscene.h"

#include "anchorpoint.h"
#include "element.h"
#include "exporter.h"
#include "fixturecircle.h"
#include "fixturepolygon.h"
#include "shapecircle.h"
#include "shapehandle.h"
#include "shapepolygon.h"

#include <QGraphicsPixmapItem>
#include <QGraphicsRectItem>
#include <QGraphicsSceneContextMenuEvent>
#include <QGraphicsSceneMouseEvent>
#include <QGraphicsView>
#include <QLineF>
#include <QPen>

#include <cmath>
#include <utility>

namespace {
// How near to an edge, in screen pixels, a double click counts as on it.
constexpr double edgeReach = 4;
// The radii of the anchor point's marker and of a vertex handle, in screen
// pixels: a vertex nearer to the anchor point than both would be hidden.
constexpr double anchorClearance = 6 + 4;
}

LimbEditorScene::LimbEditorScene(Exporter* exporter, Element* body, QObject* parent)
    : QGraphicsScene(parent)
    , m_exporter(exporter)
    , m_body(body)
{
    // Handles move all the time; a spatial index would be rebuilt on every drag step.
    setItemIndexMethod(NoIndex);
    m_updateTimer.setSingleShot(true);
    m_updateTimer.setInterval(0);
    connect(&m_updateTimer, &QTimer::timeout, this, &LimbEditorScene::runPendingUpdates);

    m_anchorPoint = new AnchorPoint;
    m_anchorPoint->setPos(0, 0);
    addItem(m_anchorPoint);
    m_anchorPoint->setZValue(50000);
    m_anchorPoint->setElement(body);

    rebuildShapes();

    if (body)
        connect(body, &Element::pixmapChanged, this, &LimbEditorScene::updateImage);
    updateImage();
    setCurrentShape(nullptr);
    showAnchorPoint();
}

LimbEditorScene::~LimbEditorScene()
{
    m_updateTimer.stop();
    m_pendingUpdates.clear();
    m_currentShape = nullptr;
    m_shapes.clear();
    // Shapes own their items, and the items their handles: they go first, the
    // live ones and those retired but not yet deleted, before the scene
    // deletes the items that are left.
    const QList<Shape*> owned = findChildren<Shape*>(QString(), Qt::FindDirectChildrenOnly);
    qDeleteAll(owned);
}

void LimbEditorScene::setExporter(Exporter* exporter)
{
    m_exporter = exporter;
    showAnchorPoint();
}

void LimbEditorScene::showAnchorPoint()
{
    // Without an exporter the definition's default applies: the anchor point is enabled.
    m_anchorPoint->setVisible(!m_exporter || m_exporter->anchorPointEnabled());
}

Shape* LimbEditorScene::shapeOf(const Fixture* fixture) const
{
    for (Shape* shape : m_shapes) {
        if (shape->fixture() == fixture)
            return shape;
    }
    return nullptr;
}

Shape* LimbEditorScene::createShape(Fixture* fixture)
{
    if (auto* polygon = qobject_cast<FixturePolygon*>(fixture))
        return new ShapePolygon(this, polygon);
    if (auto* circle = qobject_cast<FixtureCircle*>(fixture))
        return new ShapeCircle(this, circle);
    return nullptr;
}

void LimbEditorScene::retire(Shape* shape)
{
    m_pendingUpdates.removeAll(shape);
    disconnect(shape, nullptr, this, nullptr);
    shape->retire();
    shape->deleteLater();
}

void LimbEditorScene::rebuildShapes()
{
    const Fixture* rememberedFixture = nullptr;
    int selectedHandle = -1;
    if (m_currentShape) {
        rememberedFixture = m_currentShape->fixture();
        const QList<ShapeHandle*> handles = m_currentShape->handles();
        for (int i = 0; i < handles.size(); ++i) {
            if (handles.at(i)->isSelected()) {
                selectedHandle = i;
                break;
            }
        }
        m_currentShape = nullptr;
    }
    m_pendingUpdates.clear();

    // The old shapes go only after the new ones stand, so that a listener of
    // the selected handle moves straight to its successor. This may run
    // inside an event handler of an old shape or handle: they are retired,
    // not deleted.
    const QList<Shape*> old = std::exchange(m_shapes, {});
    Shape* current = nullptr;
    if (m_body) {
        const QList<Fixture*> fixtures = m_body->fixtures();
        m_shapes.reserve(fixtures.size());
        for (Fixture* fixture : fixtures) {
            Shape* shape = createShape(fixture);
            if (!shape)
                continue;
            m_shapes.append(shape);
            connect(shape, &Shape::activated, this, &LimbEditorScene::setCurrentShape);
            if (fixture == rememberedFixture)
                current = shape;
        }
    }
    setCurrentShape(current);
    if (current && selectedHandle >= 0) {
        const QList<ShapeHandle*> handles = current->handles();
        if (selectedHandle < handles.size())
            handles.at(selectedHandle)->setSelected(true);
    }
    for (Shape* shape : old)
        retire(shape);
}

void LimbEditorScene::setCurrentShape(Shape* shape)
{
    if (shape && !m_shapes.contains(shape))
        shape = nullptr;
    m_currentShape = shape;
    for (Shape* each : qAsConst(m_shapes))
        each->setCurrent(each == shape);
    emit currentShapeChanged(shape);
    emit currentFixtureChanged(shape ? shape->fixture() : nullptr);
}

void LimbEditorScene::selectFirstFixture()
{
    setCurrentShape(m_shapes.value(0, nullptr));
}

void LimbEditorScene::rotateMode(bool enabled)
{
    m_rotateMode = enabled;
    setCurrentShape(m_currentShape);
}

void LimbEditorScene::updateImage()
{
    if (!m_body)
        return;
    const QPixmap pixmap = m_body->pixmap();
    setSceneRect(0, 0, pixmap.width(), pixmap.height());
    delete m_imageItem;
    delete m_imageFrame;

    m_imageItem = new QGraphicsPixmapItem(pixmap);
    m_imageItem->setData(0, QString(QStringLiteral("Image: ") + m_body->currentImageName()));
    m_imageItem->setZValue(-10000);
    m_imageItem->setShapeMode(QGraphicsPixmapItem::BoundingRectShape);
    // Body coordinates have y up; the picture is flipped back to stand upright.
    m_imageItem->setTransform(QTransform::fromScale(1, -1));
    m_imageItem->setPos(0, m_imageItem->boundingRect().height());
    addItem(m_imageItem);

    QPen framePen(Qt::black, 0);
    framePen.setCosmetic(true);
    m_imageFrame = new QGraphicsRectItem(0, 0, pixmap.width(), pixmap.height());
    m_imageFrame->setPen(framePen);
    m_imageFrame->setBrush(Qt::NoBrush);
    m_imageFrame->setZValue(-100);
    addItem(m_imageFrame);
}

void LimbEditorScene::addPolygon(const QPolygonF& polygon)
{
    addPolygons({polygon});
}

void LimbEditorScene::addPolygons(const QVector<QPolygonF>& polygons)
{
    if (!m_body || polygons.isEmpty())
        return;
    const QList<Fixture*> fixtures = FixturePolygon::create(m_body, polygons);
    if (fixtures.size() == 1)
        m_body->addFixture(fixtures.first());
    else
        m_body->addFixtures(fixtures, tr("add fixtures"));
    // The document's change notification has usually rebuilt the shapes already.
    if (!shapeOf(fixtures.first()))
        rebuildShapes();
    setCurrentShape(shapeOf(fixtures.first()));
}

void LimbEditorScene::addCircle()
{
    if (!m_body)
        return;
    auto* fixture = new FixtureCircle(m_body);
    fixture->setCircleDirect(QPointF(0, 0), 20);
    m_body->addFixture(fixture);
    if (!shapeOf(fixture))
        rebuildShapes();
    setCurrentShape(shapeOf(fixture));
}

void LimbEditorScene::deleteCurrentShape()
{
    Shape* shape = m_currentShape;
    if (!shape || !m_body)
        return;
    Fixture* fixture = shape->fixture();
    setCurrentShape(nullptr);
    m_shapes.removeOne(shape);
    retire(shape);
    m_body->deleteFixture(fixture);
}

bool LimbEditorScene::deleteSelectedVertex()
{
    auto* polygon = qobject_cast<ShapePolygon*>(m_currentShape);
    return polygon && polygon->removeSelectedHandles();
}

QPolygonF LimbEditorScene::defaultTriangle(double zoom) const
{
    // A body whose image has not come yet gets the size of a small sprite.
    QSizeF image = m_body ? QSizeF(m_body->size()) : QSizeF();
    if (image.isEmpty())
        image = QSizeF(80, 80);
    // Half the image's smaller side across, on whole pixels as handles snap to them.
    const double half = qMax(qRound(qMin(image.width(), image.height()) / 4), 4);
    const QPointF centre(qRound(image.width() / 2), qRound(image.height() / 2));
    // Counter-clockwise with y up.
    const QPolygonF triangle(QVector<QPointF>{centre + QPointF(-half, -half), centre + QPointF(half, -half),
                                              centre + QPointF(0, half)});
    if (!m_body)
        return triangle;

    const QPointF anchor = m_body->anchorPointAbs();
    // Beyond 1 % the marker covers the whole image anyway.
    const double clearance = anchorClearance / qMax(zoom > 0 ? zoom : 1.0, 0.01);
    const auto clear = [&](const QPolygonF& polygon) {
        for (const QPointF& vertex : polygon) {
            if (QLineF(vertex, anchor).length() < clearance)
                return false;
        }
        return true;
    };
    if (clear(triangle))
        return triangle;
    // Straight away from the anchor point, by whole pixels, until every vertex is clear of it.
    QPointF away = (triangle.at(0) + triangle.at(1) + triangle.at(2)) / 3 - anchor;
    const double length = std::hypot(away.x(), away.y());
    away = length > 0 ? away / length : QPointF(1, 0);
    for (int step = 1;; ++step) {
        const QPolygonF moved = triangle.translated(qRound(away.x() * step), qRound(away.y() * step));
        if (clear(moved))
            return moved;
    }
}

void LimbEditorScene::flipHorizontally()
{
    if (m_currentShape)
        m_currentShape->flipHorizontally();
}

void LimbEditorScene::flipVertically()
{
    if (m_currentShape)
        m_currentShape->flipVertically();
}

void LimbEditorScene::commitHandle(ShapeHandle* handle)
{
    Shape* shape = handle ? handle->ownerShape() : nullptr;
    if (shape && m_shapes.contains(shape))
        shape->handleReleased(handle);
}

void LimbEditorScene::scheduleUpdate(Shape* shape)
{
    if (!m_pendingUpdates.contains(shape))
        m_pendingUpdates.append(shape);
    m_updateTimer.start();
}

void LimbEditorScene::runPendingUpdates()
{
    const QList<Shape*> pending = std::exchange(m_pendingUpdates, {});
    for (Shape* shape : pending)
        shape->updateShape();
}

void LimbEditorScene::mousePressEvent(QGraphicsSceneMouseEvent* event)
{
    if (m_panning) {
        event->ignore();
        return;
    }
    QGraphicsScene::mousePressEvent(event);
}

void LimbEditorScene::contextMenuEvent(QGraphicsSceneContextMenuEvent* event)
{
    QGraphicsScene::contextMenuEvent(event);
    if (!event->isAccepted() && m_currentShape)
        m_currentShape->sceneContextMenu(event);
}

void LimbEditorScene::mouseDoubleClickEvent(QGraphicsSceneMouseEvent* event)
{
    // A double click starts with a press: while panning it is the view's.
    if (m_panning) {
        event->ignore();
        return;
    }
    if (insertVertexOnEdge(event)) {
        event->accept();
        return;
    }
    QGraphicsScene::mouseDoubleClickEvent(event);
    if (!event->isAccepted() && m_currentShape)
        m_currentShape->sceneDoubleClicked(event);
}

bool LimbEditorScene::insertVertexOnEdge(QGraphicsSceneMouseEvent* event)
{
    const QPointF point = event->scenePos();
    // Without a view, one body unit counts as one pixel.
    QTransform toView;
    QWidget* viewport = event->widget();
    if (auto* view = viewport ? qobject_cast<QGraphicsView*>(viewport->parentWidget()) : nullptr)
        toView = view->viewportTransform();
    // A vertex handle or the anchor point under the pointer has the double click to itself.
    if (const QGraphicsItem* top = itemAt(point, toView)) {
        if (top->type() == ShapeHandle::Type || top->type() == AnchorPoint::Type)
            return false;
    }

    // The current shape first: an edge that two fixtures share belongs to the one being edited.
    QList<Shape*> candidates = m_shapes;
    if (m_currentShape && candidates.removeOne(m_currentShape))
        candidates.prepend(m_currentShape);
    ShapePolygon* target = nullptr;
    ShapePolygon::EdgePoint onEdge;
    for (Shape* shape : qAsConst(candidates)) {
        auto* polygon = qobject_cast<ShapePolygon*>(shape);
        if (!polygon)
            continue;
        const ShapePolygon::EdgePoint found = polygon->nearestEdge(point, toView);
        if (found.edge < 0 || found.distance > edgeReach || (target && found.distance >= onEdge.distance))
            continue;
        target = polygon;
        onEdge = found;
        if (shape == m_currentShape)
            break;
    }
    if (!target)
        return false;
    if (target != m_currentShape)
        setCurrentShape(target);
    // Last: recording the change rebuilds the shapes.
    target->insertVertexAt(onEdge.edge, onEdge.point);
    return true;
}
