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
#include <QPen>

#include <utility>

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
    if (!m_body)
        return;
    auto* fixture = new FixturePolygon(m_body);
    fixture->setPolygonDirect(polygon);
    m_body->addFixture(fixture);
    // The document's change notification has usually rebuilt the shapes already.
    if (!shapeOf(fixture))
        rebuildShapes();
    setCurrentShape(shapeOf(fixture));
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
    QGraphicsScene::mouseDoubleClickEvent(event);
    if (!event->isAccepted() && m_currentShape)
        m_currentShape->sceneDoubleClicked(event);
}
