#include "previewview.h"

#include "physicsworld.h"
#include "previewbody.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

const QColor background(246, 247, 249);
const QColor groundColor(120, 126, 134);
const QColor pieceColor(42, 157, 143);
const QColor sensorColor(233, 162, 59);
const QColor missingColor(214, 40, 40);
const QColor ballColor(233, 162, 59);
// A throw flies at this many metres a second for each metre the mouse is dragged.
constexpr double throwSpeed = 3.0;
// A body larger than this on screen is drawn directly rather than from its cache.
constexpr int maxCacheSide = 2048;
// Room around a cached body for the outline's pen.
constexpr int cacheMargin = 2;

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
        drawing.bounds = drawing.pieces.boundingRect() | drawing.outline.boundingRect() | drawing.missing.boundingRect();
        if (!drawing.image.isNull())
            drawing.bounds |= drawing.imageRect;
        m_drawings << drawing;
    }
    m_cacheScale = 0;
    update();
}

QTransform PreviewView::worldTransform(const QRectF& target) const
{
    QRectF shown = m_world ? m_world->arena() : QRectF(0, 0, 10, 5);
    // Room for the walls and the floor, and a little more.
    const double margin = m_world ? 1.25 * m_world->wallThickness() : 0.25;
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
    const double wall = m_world->wallThickness();
    painter.setPen(Qt::NoPen);
    painter.setBrush(groundColor);
    painter.setTransform(view);
    painter.drawRect(QRectF(arena.left() - wall, arena.top() - wall, arena.width() + 2 * wall, wall));
    painter.drawRect(QRectF(arena.left() - wall, arena.top(), wall, arena.height() * 2));
    painter.drawRect(QRectF(arena.right(), arena.top(), wall, arena.height() * 2));

    if (view.m11() != m_cacheScale)
        updateCaches(view.m11());
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    for (int i = 0; i < m_drawings.size() && i < m_world->bodyCount(); ++i) {
        const Drawing& drawing = m_drawings.at(i);
        QTransform body;
        body.translate(m_world->position(i).x(), m_world->position(i).y());
        body.rotateRadians(m_world->angle(i));
        if (drawing.cache.isNull()) {
            painter.setTransform(body * view);
            drawBody(painter, drawing);
            continue;
        }
        // Cache pixels to body coordinates: the scale undone, y up.
        const QTransform fromCache(1 / m_cacheScale, 0, 0, -1 / m_cacheScale, drawing.cacheOrigin.x(),
                                   drawing.cacheOrigin.y());
        painter.setTransform(fromCache * body * view);
        painter.drawImage(0, 0, drawing.cache);
    }
    painter.restore();

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

void PreviewView::drawBody(QPainter& painter, const Drawing& drawing) const
{
    const QTransform toView = painter.transform();
    if (!drawing.image.isNull() && drawing.imageRect.isValid()) {
        // The image's rows run down from its top left corner, against the y axis. Its whole
        // size in pixels: a file named "@2x" gives it a pixel ratio that would halve it.
        QTransform image;
        image.translate(drawing.imageRect.left(), drawing.imageRect.top() + drawing.imageRect.height());
        image.scale(1, -1);
        painter.setTransform(image * toView);
        painter.drawPixmap(QRectF(QPointF(0, 0), drawing.imageRect.size()), drawing.image,
                           QRectF(drawing.image.rect()));
        painter.setTransform(toView);
    }
    QPen outlinePen(pieceColor.darker(130), 1.5);
    outlinePen.setCosmetic(true);
    QColor fill = pieceColor;
    fill.setAlpha(60);
    painter.setBrush(fill);
    painter.setPen(Qt::NoPen);
    painter.drawPath(drawing.pieces);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(outlinePen);
    painter.drawPath(drawing.outline);
    if (!drawing.missing.isEmpty()) {
        QPen missingPen(missingColor, 2.0);
        missingPen.setCosmetic(true);
        painter.setPen(missingPen);
        painter.drawPath(drawing.missing);
    }
}

void PreviewView::updateCaches(double scale) const
{
    m_cacheScale = scale;
    for (Drawing& drawing : m_drawings) {
        const QSizeF size = drawing.bounds.size() * scale + QSizeF(2 * cacheMargin, 2 * cacheMargin);
        if (!(size.width() <= maxCacheSide && size.height() <= maxCacheSide) || drawing.bounds.isEmpty()) {
            drawing.cache = QImage();
            continue;
        }
        drawing.cache = QImage(int(std::ceil(size.width())), int(std::ceil(size.height())),
                               QImage::Format_ARGB32_Premultiplied);
        drawing.cache.fill(Qt::transparent);
        // The bounds' top left corner (highest y) lands at the margin.
        drawing.cacheOrigin = QPointF(drawing.bounds.left() - cacheMargin / scale,
                                      drawing.bounds.top() + drawing.bounds.height() + cacheMargin / scale);
        QPainter painter(&drawing.cache);
        painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
        painter.setTransform(QTransform(scale, 0, 0, -scale, -drawing.cacheOrigin.x() * scale,
                                        drawing.cacheOrigin.y() * scale));
        drawBody(painter, drawing);
    }
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
