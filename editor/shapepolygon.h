#pragma once

#include "shape.h"

#include <QPointF>

#include <memory>

class FixturePolygon;
class GGraphicsPolygonItem;
class QAction;
class QTransform;

// A polygon fixture in the editor: the outline with one handle per vertex.
class ShapePolygon final : public Shape
{
    Q_OBJECT
public:
    ShapePolygon(LimbEditorScene* scene, FixturePolygon* fixture);
    ~ShapePolygon() override;

    void syncFromFixture() override;
    void syncToFixture(const QString& undoText) override;
    void flipHorizontally() override;
    void flipVertically() override;
    void handleReleased(ShapeHandle* handle) override;
    void handleDoubleClicked(ShapeHandle* handle, QGraphicsSceneMouseEvent* event) override;
    Fixture* fixture() const override;
    QGraphicsItem* graphicsItem() const override;
    void handleContextMenu(ShapeHandle* handle, QGraphicsSceneContextMenuEvent* event) override;
    void sceneContextMenu(QGraphicsSceneContextMenuEvent* event) override;
    void sceneDoubleClicked(QGraphicsSceneMouseEvent* event) override;
    QList<ShapeHandle*> handles() const override { return m_handles; }

    // Inserts a vertex at the point (body coordinates) on the nearest edge.
    void insertVertex(const QPointF& point);

    // Where a point falls onto the polygon's outline: edge i runs from vertex
    // i - 1 (the last for i = 0) to vertex i; -1 when the point projects onto
    // no edge's inside. The distance is measured after mapping by toView, so
    // that it can be told in screen pixels.
    struct EdgePoint
    {
        int edge = -1;
        QPointF point;
        double distance = 0;
    };
    EdgePoint nearestEdge(const QPointF& point, const QTransform& toView) const;
    // Inserts a vertex at the point (body coordinates) between the ends of the edge.
    void insertVertexAt(int edge, const QPointF& point);
    // Removes the selected vertices as one step, as long as three are left.
    // False when no vertex is selected.
    bool removeSelectedHandles();
    // The outline as drawn, from the handle positions.
    QPolygonF handlePolygon() const;

signals:
    void scheduleRemoveHandle(ShapeHandle* handle);

public slots:
    void updateShape() override;
    void removeHandle(ShapeHandle* handle);
    void deleteHandleWithMenu();
    void addPoint();

private:
    // Moves a dragged item's offset into the vertices and puts the item back at the origin.
    void settle();
    void clearHandles();
    void flip(Qt::Orientation orientation, const QString& undoText);
    void removeHandles(const QList<ShapeHandle*>& handles);

    std::unique_ptr<GGraphicsPolygonItem> m_item;
    FixturePolygon* m_fixture;
    QList<ShapeHandle*> m_handles;
    QAction* m_deleteVertexAction;
    QAction* m_addVertexAction;
    ShapeHandle* m_menuHandle = nullptr;
    QPointF m_menuScenePos;
};
