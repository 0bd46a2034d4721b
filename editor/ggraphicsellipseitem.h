#pragma once

#include "shapeitem.h"

#include <QGraphicsEllipseItem>

// The ellipse item of a circle shape.
class GGraphicsEllipseItem final : public ShapeItem<QGraphicsEllipseItem>
{
public:
    using ShapeItem::ShapeItem;
};
