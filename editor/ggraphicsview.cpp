#include "ggraphicsview.h"

#include "limbeditorscene.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextEdit>
#include <QWheelEvent>
#include <QtMath>

namespace {
// Screen pixels left free around a rectangle fitted into the view.
constexpr qreal fitMargin = 8;
// The zoom factor of one wheel notch.
constexpr qreal wheelStep = 1.25;

bool isTextField(const QWidget* widget)
{
    if (!widget)
        return false;
    if (auto* combo = qobject_cast<const QComboBox*>(widget))
        return combo->isEditable();
    return qobject_cast<const QLineEdit*>(widget) || qobject_cast<const QAbstractSpinBox*>(widget)
        || qobject_cast<const QTextEdit*>(widget) || qobject_cast<const QPlainTextEdit*>(widget);
}
}

GGraphicsView::GGraphicsView(QWidget* parent)
    : QGraphicsView(parent)
{
    // The scrollable area always exceeds the viewport; bars that came and went
    // would change the viewport's size right after a fit.
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
}

void GGraphicsView::showScene(QGraphicsScene* scene)
{
    disconnect(m_sceneRectConnection);
    setScene(scene);
    if (!scene) {
        setSceneRect(QRectF());
        return;
    }
    m_sceneRectConnection = connect(scene, &QGraphicsScene::sceneRectChanged, this, [this]() {
        updateScrollArea(zoom());
    });
    updateScrollArea(zoom());
}

qreal GGraphicsView::zoom() const
{
    return transform().m11();
}

void GGraphicsView::setZoom(qreal factor)
{
    if (!(factor > 0) || !qIsFinite(factor))
        return;
    const QPointF kept = middle();
    setTransform(QTransform::fromScale(factor, -factor));
    // Zoomed out, the old scrollable area may not have let the middle stay.
    updateScrollArea(factor);
    placeInMiddle(kept);
}

qreal GGraphicsView::zoomToFit(const QRectF& rect) const
{
    if (!(rect.width() > 0) || !(rect.height() > 0))
        return 0;
    const QRectF room = QRectF(viewport()->rect()).adjusted(fitMargin, fitMargin, -fitMargin, -fitMargin);
    if (!(room.width() > 0) || !(room.height() > 0))
        return 0;
    return qMin(room.width() / rect.width(), room.height() / rect.height());
}

QPointF GGraphicsView::sceneAt(const QPointF& viewportPoint) const
{
    return viewportTransform().inverted().map(viewportPoint);
}

void GGraphicsView::placeAt(const QPointF& scenePoint, const QPointF& viewportPoint)
{
    const QPointF offset = viewportTransform().map(scenePoint) - viewportPoint;
    QScrollBar* horizontal = horizontalScrollBar();
    // Right to left, the horizontal bar runs the other way.
    horizontal->setValue(horizontal->value() + qRound(isRightToLeft() ? -offset.x() : offset.x()));
    verticalScrollBar()->setValue(verticalScrollBar()->value() + qRound(offset.y()));
}

QPointF GGraphicsView::middle() const
{
    return sceneAt(QRectF(viewport()->rect()).center());
}

// Unlike centerOn(), which truncates towards zero and so can be a pixel off
// where the scroll bars' values are negative, as they are in the margin.
void GGraphicsView::placeInMiddle(const QPointF& scenePoint)
{
    placeAt(scenePoint, QRectF(viewport()->rect()).center());
}

void GGraphicsView::updateScrollArea(qreal zoom)
{
    if (!scene())
        return;
    if (!(zoom > 0))
        zoom = 1;
    // Shapes may reach beyond the image.
    const QRectF content = scene()->sceneRect() | scene()->itemsBoundingRect();
    const qreal marginX = viewport()->width() / zoom;
    const qreal marginY = viewport()->height() / zoom;
    setSceneRect(content.adjusted(-marginX, -marginY, marginX, marginY));
}

void GGraphicsView::takeFocusFromPointer()
{
    // The space bar pans as soon as the pointer is over the view; a field
    // being typed in keeps the keyboard, and so does another window.
    if (hasFocus() || focusPolicy() == Qt::NoFocus || !isActiveWindow() || QApplication::activePopupWidget())
        return;
    if (isTextField(QApplication::focusWidget()))
        return;
    setFocus(Qt::MouseFocusReason);
}

bool GGraphicsView::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::Enter)
        takeFocusFromPointer();
    return QGraphicsView::viewportEvent(event);
}

void GGraphicsView::wheelEvent(QWheelEvent* event)
{
    const QPoint angle = event->angleDelta();
    if (event->modifiers() & Qt::ControlModifier) {
        // Some systems turn the wheel into a horizontal one while a modifier is held.
        const int eighths = angle.y() != 0 ? angle.y() : angle.x();
        if (eighths != 0)
            emit zoomRequested(qPow(wheelStep, eighths / 120.0), event->position());
        event->accept();
        return;
    }
    // Shift turns the wheel sideways, where the system has not done so already;
    // the scroll bars would take it for paging up and down.
    if (event->modifiers() == Qt::ShiftModifier && angle.x() == 0 && angle.y() != 0) {
        QWheelEvent sideways(event->position(), event->globalPosition(), QPoint(event->pixelDelta().y(), 0),
                             QPoint(angle.y(), 0), event->buttons(), Qt::NoModifier, event->phase(),
                             event->inverted(), event->source());
        QGraphicsView::wheelEvent(&sideways);
        event->setAccepted(sideways.isAccepted());
        return;
    }
    QGraphicsView::wheelEvent(event);
}

void GGraphicsView::resizeEvent(QResizeEvent* event)
{
    QGraphicsView::resizeEvent(event);
    updateScrollArea(zoom());
    emit resized();
}

void GGraphicsView::showEvent(QShowEvent* event)
{
    // The base class centres the view again, a pixel off at times.
    const QPointF kept = middle();
    QGraphicsView::showEvent(event);
    placeInMiddle(kept);
    // The resize that comes with showing arrives while the view is not visible yet.
    emit resized();
}

void GGraphicsView::setPanning(bool panning)
{
    setDragMode(panning ? ScrollHandDrag : NoDrag);
    m_panning = panning;
    if (auto* editorScene = qobject_cast<LimbEditorScene*>(scene()))
        editorScene->setPanning(panning);
}

void GGraphicsView::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Space && !event->isAutoRepeat())
        setPanning(true);
    QGraphicsView::keyPressEvent(event);
}

void GGraphicsView::keyReleaseEvent(QKeyEvent* event)
{
    // A held key repeats as release and press pairs; only the real release ends panning.
    if (event->key() == Qt::Key_Space && !event->isAutoRepeat())
        setPanning(false);
    QGraphicsView::keyReleaseEvent(event);
}

void GGraphicsView::focusOutEvent(QFocusEvent* event)
{
    // The release of a space bar held while focus moves away never arrives here.
    if (m_panning)
        setPanning(false);
    QGraphicsView::focusOutEvent(event);
}
