#pragma once

#include <QList>
#include <QObject>

class Fixture;
class LimbEditorScene;
class QGraphicsItem;
class QGraphicsSceneContextMenuEvent;
class QGraphicsSceneMouseEvent;
class ShapeHandle;

// The editable picture of one fixture in the editor scene: an item that draws
// it and handles that edit it. Geometry is read from the fixture and written
// back as one undoable change per edit.
class Shape : public QObject
{
    Q_OBJECT
public:
    explicit Shape(LimbEditorScene* scene);
    ~Shape() override;

    LimbEditorScene* scene() const { return m_scene; }
    bool isCurrent() const { return m_current; }
    // Only the scene changes this, from setCurrentShape().
    void setCurrent(bool current);

    virtual void syncFromFixture() = 0;
    virtual void syncToFixture(const QString& undoText) = 0;
    virtual void flipHorizontally();
    virtual void flipVertically();
    virtual void handleReleased(ShapeHandle* handle);
    virtual void handleSelected(ShapeHandle* handle);
    virtual void handleDeselected(ShapeHandle* handle);
    virtual void handleDoubleClicked(ShapeHandle* handle, QGraphicsSceneMouseEvent* event);
    virtual Fixture* fixture() const = 0;
    virtual QGraphicsItem* graphicsItem() const = 0;
    virtual void itemPressed(QGraphicsSceneMouseEvent* event);
    virtual void itemReleased(QGraphicsSceneMouseEvent* event);
    virtual void itemMoved(QGraphicsSceneMouseEvent* event);
    virtual void handleContextMenu(ShapeHandle* handle, QGraphicsSceneContextMenuEvent* event);
    virtual void sceneContextMenu(QGraphicsSceneContextMenuEvent* event);
    virtual void sceneDoubleClicked(QGraphicsSceneMouseEvent* event);

    // The handles in order (vertex order for a polygon).
    virtual QList<ShapeHandle*> handles() const = 0;
    // Called by the item after its own handling of a press.
    void pressItem(QGraphicsSceneMouseEvent* event);
    // Takes the item out of the scene and silences the handles; the scene
    // deletes the shape later, when none of its code can be running.
    void retire();

signals:
    void activated(Shape* shape);
    void signalScheduleUpdateShape();
    void shapeActivated(Shape* shape);

public slots:
    virtual void updateShape();
    void scheduleUpdateShape();

protected:
    // The pen of every outline: one screen pixel at every zoom. The shapes that
    // are not current are drawn lighter, so that the current one stands out
    // while every fixture of the body stays in sight.
    static QPen outlinePen(bool current);
    static QBrush fillBrush(bool current);

private:
    LimbEditorScene* m_scene;
    bool m_current = false;
    bool m_dragging = false;
    bool m_retired = false;
};
