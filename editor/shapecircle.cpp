#include "shapecircle.h"

#include "fixturecircle.h"
#include "ggraphicsellipseitem.h"
#include "limbeditorscene.h"
#include "shapehandle.h"

#include <QDebug>
#include <QLineF>

ShapeCircle::ShapeCircle(LimbEditorScene* scene, FixtureCircle* fixture)
    : Shape(scene)
    , m_item(std::make_unique<GGraphicsEllipseItem>(this))
    , m_fixture(fixture)
{
    m_item->setFlags(QGraphicsItem::ItemIsMovable | QGraphicsItem::ItemSendsGeometryChanges);
    m_item->setPen(outlinePen(false));
    m_item->setBrush(fillBrush(false));
    scene->addItem(m_item.get());
    m_radiusHandle = new ShapeHandle(this, QPointF(fixture->radius(), 0));
    syncFromFixture();
}

ShapeCircle::~ShapeCircle()
{
    m_radiusHandle->detachShape();
    m_item.reset();
}

Fixture* ShapeCircle::fixture() const
{
    return m_fixture;
}

QGraphicsItem* ShapeCircle::graphicsItem() const
{
    return m_item.get();
}

QList<ShapeHandle*> ShapeCircle::handles() const
{
    return {m_radiusHandle};
}

double ShapeCircle::handleRadius() const
{
    return QLineF(QPointF(0, 0), m_radiusHandle->pos()).length();
}

void ShapeCircle::syncFromFixture()
{
    const double r = m_fixture->radius();
    const QPointF center = m_fixture->center();
    qDebug() << "syncing from fixture " << center << r;
    m_item->setRect(-r, -r, 2 * r, 2 * r);
    m_item->setPos(center);
    m_radiusHandle->setPos(r, 0);
}

void ShapeCircle::syncToFixture(const QString& undoText)
{
    const double r = handleRadius();
    const QPointF center = m_item->pos();
    qDebug() << "syncing to fixture " << center << r;
    m_fixture->setCircle(undoText, center, r);
}

void ShapeCircle::updateShape()
{
    Shape::updateShape();
    m_radiusHandle->setVisible(isCurrent());
    const double r = handleRadius();
    m_item->setRect(-r, -r, 2 * r, 2 * r);
}

void ShapeCircle::handleReleased(ShapeHandle*)
{
    syncToFixture(tr("resize circle"));
}
