#pragma once

#include <QPainterPath>
#include <QPixmap>
#include <QPointF>
#include <QRectF>
#include <QTransform>
#include <QVector>
#include <QWidget>

class PhysicsWorld;
struct PreviewBody;

// Draws a physics world: the ground, each body's image and collision shapes
// where the engine has moved it, and the balls. Dragging a body pulls it by a
// spring; pressing on empty space throws a ball in the direction the mouse is
// dragged (a click drops it).
class PreviewView final : public QWidget
{
    Q_OBJECT
public:
    explicit PreviewView(QWidget* parent = nullptr);

    // Neither is owned; the bodies are the ones the world was built from.
    // The view holds what it draws of them; the world must outlive the view's
    // use of it or be replaced first.
    void setWorld(PhysicsWorld* world, const QVector<PreviewBody>& bodies);
    // World to view coordinates for a target rectangle: the arena fills it,
    // y up.
    QTransform worldTransform(const QRectF& target) const;
    void paint(QPainter& painter, const QRectF& target) const;

    QSize sizeHint() const override { return QSize(720, 480); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    struct Drawing
    {
        QPixmap image;
        QRectF imageRect;
        QPainterPath pieces;   // what collides
        QPainterPath outline;  // the fixtures' outlines
        QPainterPath missing;  // outlines of fixtures that are not in the world
        QRectF bounds;         // of all the above, body coordinates

        // The body drawn once at the view's scale, and the body coordinates
        // of its top left corner; null when it would be too large.
        QImage cache;
        QPointF cacheOrigin;
    };

    QPointF toWorld(const QPointF& viewPoint) const;
    void drawBody(QPainter& painter, const Drawing& drawing) const;
    // Draws every body anew at this many pixels a metre.
    void updateCaches(double scale) const;

    PhysicsWorld* m_world = nullptr;
    // Bodies are drawn into their caches when the scale changes, not on every frame.
    mutable QVector<Drawing> m_drawings;
    mutable double m_cacheScale = 0;
    bool m_throwing = false;
    QPointF m_throwFrom, m_throwTo;
};
