#include "previewview.h"

#include "physicsworld.h"
#include "previewbody.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace {

const QColor background(246, 247, 249);
const QColor groundColor(120, 126, 134);
const QColor pieceColor(42, 157, 143);
const QColor sensorColor(233, 162, 59);
const QColor missingColor(214, 40, 40);
const QColor ballColor(233, 162, 59);
// A throw flies at this many metres a second for each metre the mouse is dragged.
constexpr double throwSpeed = 3.0;

QPainterPath polygonPath(const QPolygonF& polygon)
{
    QPainterPath path;
    path.addPolygon(polygon);
    path.closeSubpath();
    return path;
}

}

PreviewView::PreviewView(QWidget* parent)
    : QWidget(parent)
{
    setMouseTracking(false);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(200, 150);
}

void PreviewView::setWorld(PhysicsWorld* world, const QVector<PreviewBody>& bodies)
{
    m_world = world;
    m_throwing = false;
    m_drawings.clear();
    m_drawings.reserve(bodies.size());
    for (const PreviewBody& body : bodies) {
        Drawing drawing;
        drawing.image = body.image;
        drawing.imageRect = body.imageRect;
        for (const PreviewFixture& fixture : body.fixtures) {
            QPainterPath shape;
            if (fixture.isCircle) {
                shape.addEllipse(fixture.center, fixture.radius, fixture.radius);
            } else {
                for (const QPolygonF& piece : fixture.pieces)
                    drawing.pieces.addPath(polygonPath(piece));
                shape = polygonPath(fixture.outline);
            }
            if (fixture.isMissing()) {
                drawing.missing.addPath(shape);
                continue;
            }
            if (fixture.isCircle)
                drawing.pieces.addPath(shape);
            drawing.outline.addPath(shape);
        }
        m_drawings << drawing;
    }
    update();
}

QTransform PreviewView::worldTransform(const QRectF& target) const
{
    QRectF shown = m_world ? m_world->arena() : QRectF(0, 0, 10, 5);
    const double margin = shown.width() / 40;
    shown.adjust(-margin, -margin, margin, margin);
    const double scale = std::min(target.width() / shown.width(), target.height() / shown.height());
    // The arena's centre at the target's centre, y up.
    QTransform transform;
    transform.translate(target.center().x(), target.center().y());
    transform.scale(scale, -scale);
    transform.translate(-shown.center().x(), -shown.center().y());
    return transform;
}

void PreviewView::paint(QPainter& painter, const QRectF& target) const
{
    painter.fillRect(target, background);
    if (!m_world)
        return;
    const QTransform view = worldTransform(target);
    const QRectF arena = m_world->arena();
    const double wall = arena.width() / 50;
    painter.setPen(Qt::NoPen);
    painter.setBrush(groundColor);
    painter.setTransform(view);
    painter.drawRect(QRectF(arena.left() - wall, arena.top() - wall, arena.width() + 2 * wall, wall));
    painter.drawRect(QRectF(arena.left() - wall, arena.top(), wall, arena.height() * 2));
    painter.drawRect(QRectF(arena.right(), arena.top(), wall, arena.height() * 2));

    QPen outlinePen(pieceColor.darker(130), 1.5);
    outlinePen.setCosmetic(true);
    QPen missingPen(missingColor, 2.0);
    missingPen.setCosmetic(true);
    QColor fill = pieceColor;
    fill.setAlpha(60);
    for (int i = 0; i < m_drawings.size() && i < m_world->bodyCount(); ++i) {
        const Drawing& drawing = m_drawings.at(i);
        QTransform body;
        body.translate(m_world->position(i).x(), m_world->position(i).y());
        body.rotateRadians(m_world->angle(i));
        const QTransform toView = body * view;
        if (!drawing.image.isNull() && drawing.imageRect.isValid()) {
            // The image's rows run down from its top left corner, against the y axis.
            QTransform image;
            image.translate(drawing.imageRect.left(), drawing.imageRect.top() + drawing.imageRect.height());
            image.scale(drawing.imageRect.width() / drawing.image.width(),
                        -drawing.imageRect.height() / drawing.image.height());
            painter.setTransform(image * toView);
            painter.drawPixmap(0, 0, drawing.image);
        }
        painter.setTransform(toView);
        painter.setBrush(fill);
        painter.setPen(Qt::NoPen);
        painter.drawPath(drawing.pieces);
        painter.setBrush(Qt::NoBrush);
        painter.setPen(outlinePen);
        painter.drawPath(drawing.outline);
        if (!drawing.missing.isEmpty()) {
            painter.setPen(missingPen);
            painter.drawPath(drawing.missing);
        }
    }

    painter.setTransform(view);
    painter.setPen(Qt::NoPen);
    painter.setBrush(ballColor);
    const double radius = m_world->ballRadius();
    for (int i = 0; i < m_world->ballCount(); ++i)
        painter.drawEllipse(m_world->ballPosition(i), radius, radius);

    QPen guide(QColor(74, 79, 85), 1.5, Qt::DashLine);
    guide.setCosmetic(true);
    painter.setPen(guide);
    if (m_world->isDragging())
        painter.drawLine(m_world->grabbedPoint(), m_world->dragTarget());
    if (m_throwing) {
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(m_throwFrom, radius, radius);
        painter.drawLine(m_throwFrom, m_throwTo);
    }
    painter.resetTransform();
}

void PreviewView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    paint(painter, rect());
}

QPointF PreviewView::toWorld(const QPointF& viewPoint) const
{
    return worldTransform(rect()).inverted().map(viewPoint);
}

void PreviewView::mousePressEvent(QMouseEvent* event)
{
    if (!m_world || event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    const QPointF at = toWorld(event->localPos());
    if (!m_world->grab(at)) {
        m_throwing = true;
        m_throwFrom = m_throwTo = at;
    }
    update();
}

void PreviewView::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_world)
        return;
    const QPointF at = toWorld(event->localPos());
    if (m_world->isDragging())
        m_world->dragTo(at);
    else if (m_throwing)
        m_throwTo = at;
    update();
}

void PreviewView::mouseReleaseEvent(QMouseEvent* event)
{
    if (!m_world || event->button() != Qt::LeftButton)
        return QWidget::mouseReleaseEvent(event);
    if (m_world->isDragging())
        m_world->release();
    if (m_throwing)
        m_world->throwBall(m_throwFrom, (m_throwTo - m_throwFrom) * throwSpeed);
    m_throwing = false;
    update();
}
