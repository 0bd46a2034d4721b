#pragma once

#include <QGraphicsPixmapItem>

class TracerDialog;

// The body's picture in the tracer preview. The scene is in body coordinates
// (y up), so the item is flipped and placed at (0, pixmap height): its own
// coordinates are then image pixels with y down, the tracer's coordinates. A
// press picks the pixel under the pointer as the start of the next trace.
class PixmapItem final : public QGraphicsPixmapItem
{
public:
    PixmapItem(const QPixmap& pixmap, TracerDialog* dialog, QGraphicsItem* parent = nullptr);

    // Shows another picture, keeping it upright at the origin.
    void showPixmap(const QPixmap& pixmap);

protected:
    void mousePressEvent(QGraphicsSceneMouseEvent* event) override;

private:
    TracerDialog* m_dialog;
};
