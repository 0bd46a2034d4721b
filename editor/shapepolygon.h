#pragma once

#include "shape.h"

#include <QPointF>

#include <memory>

class FixturePolygon;
class GGraphicsPolygonItem;
class QAction;

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

    std::unique_ptr<GGraphicsPolygonItem> m_item;
    FixturePolygon* m_fixture;
    QList<ShapeHandle*> m_handles;
    QAction* m_deleteVertexAction;
    QAction* m_addVertexAction;
    ShapeHandle* m_menuHandle = nullptr;
    QPointF m_menuScenePos;
};
