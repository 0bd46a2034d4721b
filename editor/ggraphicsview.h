#pragma once

#include <QGraphicsView>

// The editor's view of a body, in body coordinates (y up). Holding the space
// bar turns mouse drags into panning, also over shapes, which then do not
// move. Ctrl+wheel asks for a zoom around the pointer; the plain wheel scrolls.
//
// The scrollable area reaches one viewport beyond the scene on every side, so
// that any point of the body can be brought under the pointer, also when the
// whole image fits into the view.
class GGraphicsView final : public QGraphicsView
{
    Q_OBJECT
public:
    explicit GGraphicsView(QWidget* parent = nullptr);

    bool isPanning() const { return m_panning; }

    // Shows the scene and keeps the scrollable area around it up to date.
    void showScene(QGraphicsScene* scene);

    // Screen pixels per body unit.
    qreal zoom() const;
    // Sets the zoom, keeping the scene point in the middle of the view where it is.
    void setZoom(qreal factor);
    // The zoom at which the rectangle fills the viewport but for a small margin;
    // 0 when the rectangle or the viewport is empty.
    qreal zoomToFit(const QRectF& rect) const;
    // The scene point at a viewport point, without rounding to whole scene units.
    QPointF sceneAt(const QPointF& viewportPoint) const;
    // Scrolls so that the scene point shows at the viewport point, as far as
    // the scrollable area allows.
    void placeAt(const QPointF& scenePoint, const QPointF& viewportPoint);
    // The scene point in the middle of the viewport, and scrolling to put one there.
    QPointF middle() const;
    void placeInMiddle(const QPointF& scenePoint);

signals:
    // Ctrl+wheel: zoom by this factor around the viewport point.
    void zoomRequested(qreal factor, const QPointF& viewportPoint);
    // The viewport may have a new size: it was resized or shown.
    void resized();

protected:
    bool viewportEvent(QEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void setPanning(bool panning);
    void updateScrollArea(qreal zoom);
    void takeFocusFromPointer();

    bool m_panning = false;
    QMetaObject::Connection m_sceneRectConnection;
};
