#pragma once

#include <QPointF>

class ShapeHandle;

// Told about one vertex handle's moves and its end; the shape editor shows the
// selected handle's coordinates through it.
class HandlePosListener
{
public:
    virtual ~HandlePosListener();
    virtual void handlePositionChanged(const QPointF& position) = 0;
    virtual void handleDestroyed(ShapeHandle* handle) = 0;
};
