#pragma once

#include "shape.h"

#include <memory>

class FixtureCircle;
class GGraphicsEllipseItem;

// A circle fixture in the editor: the disc, placed at the centre, with one
// handle whose distance from the centre is the radius.
class ShapeCircle final : public Shape
{
    Q_OBJECT
public:
    ShapeCircle(LimbEditorScene* scene, FixtureCircle* fixture);
    ~ShapeCircle() override;

    void syncFromFixture() override;
    void syncToFixture(const QString& undoText) override;
    void handleReleased(ShapeHandle* handle) override;
    Fixture* fixture() const override;
    QGraphicsItem* graphicsItem() const override;
    QList<ShapeHandle*> handles() const override;

    // The radius as drawn: the handle's distance from the centre.
    double handleRadius() const;

public slots:
    void updateShape() override;

private:
    std::unique_ptr<GGraphicsEllipseItem> m_item;
    FixtureCircle* m_fixture;
    ShapeHandle* m_radiusHandle = nullptr;
};
