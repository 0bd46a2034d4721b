#pragma once

#include "shapeitem.h"

#include <QGraphicsPolygonItem>

// The polygon item of a polygon shape.
class GGraphicsPolygonItem final : public ShapeItem<QGraphicsPolygonItem>
{
public:
    using ShapeItem::ShapeItem;
};
