#pragma once

#include "element.h"

#include <QGraphicsScene>
#include <QList>
#include <QPointer>
#include <QPolygonF>
#include <QTimer>

class AnchorPoint;
class Exporter;
class Fixture;
class QGraphicsPixmapItem;
class QGraphicsRectItem;
class Shape;
class ShapeHandle;

// The scene in which one body is edited, in body coordinates (y up): its
// image, one shape per fixture and the anchor point.
class LimbEditorScene final : public QGraphicsScene
{
    Q_OBJECT
public:
    LimbEditorScene(Exporter* exporter, Element* body, QObject* parent = nullptr);
    ~LimbEditorScene() override;

    Exporter* exporter() const { return m_exporter; }
    void setExporter(Exporter* exporter);
    Element* element() const { return m_body; }

    AnchorPoint* anchorPoint() const { return m_anchorPoint; }
    QGraphicsPixmapItem* imageItem() const { return m_imageItem; }
    const QList<Shape*>& shapes() const { return m_shapes; }
    Shape* currentShape() const { return m_currentShape; }
    Shape* shapeOf(const Fixture* fixture) const;
    bool isRotateMode() const { return m_rotateMode; }
    bool isPanning() const { return m_panning; }
    void setPanning(bool panning) { m_panning = panning; }

    // Recreates every shape from the body's fixtures; the current shape, and
    // its selected handle, survive when their fixture and vertex still exist.
    void rebuildShapes();
    void addPolygon(const QPolygonF& polygon);
    // One polygon fixture per polygon, as one undo step ("add fixture" or
    // "add fixtures"); the first becomes the current shape.
    void addPolygons(const QVector<QPolygonF>& polygons);
    void addCircle();
    void deleteCurrentShape();
    // Removes the current polygon's selected vertices as one step, unless
    // fewer than three would be left. False when no vertex is selected.
    bool deleteSelectedVertex();
    // A triangle to start a body's outline with: centred on its image, sized
    // after it, and with no vertex under the anchor point's marker at the
    // given zoom (screen pixels per body unit).
    QPolygonF defaultTriangle(double zoom) const;
    void flipHorizontally();
    void flipVertically();
    // Records a handle's position as if it had been dragged there.
    void commitHandle(ShapeHandle* handle);
    void scheduleUpdate(Shape* shape);

signals:
    void currentShapeChanged(Shape* shape);
    void currentFixtureChanged(Fixture* fixture);
    void shapeHandleActivated(ShapeHandle* handle);
    void shapeHandleDeactivated(ShapeHandle* handle);

public slots:
    void setCurrentShape(Shape* shape);
    void selectFirstFixture();
    void updateImage();
    void rotateMode(bool enabled);
    void runPendingUpdates();

protected:
    void mousePressEvent(QGraphicsSceneMouseEvent* event) override;
    void contextMenuEvent(QGraphicsSceneContextMenuEvent* event) override;
    void mouseDoubleClickEvent(QGraphicsSceneMouseEvent* event) override;

private:
    Shape* createShape(Fixture* fixture);
    // A double click on a polygon's edge puts a vertex there; true if it did.
    bool insertVertexOnEdge(QGraphicsSceneMouseEvent* event);
    // Out of the scene at once, deleted when control is back in the event loop.
    void retire(Shape* shape);
    void showAnchorPoint();

    Exporter* m_exporter;
    QPointer<Element> m_body;
    AnchorPoint* m_anchorPoint = nullptr;
    QList<Shape*> m_shapes;
    QList<Shape*> m_pendingUpdates;
    QTimer m_updateTimer;
    Shape* m_currentShape = nullptr;
    bool m_rotateMode = false;
    QGraphicsPixmapItem* m_imageItem = nullptr;
    QGraphicsRectItem* m_imageFrame = nullptr;
    bool m_panning = false;
};
