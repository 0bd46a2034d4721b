#include "pixmapitem.h"

#include "tracerdialog.h"

#include <QGraphicsSceneMouseEvent>
#include <QTransform>

#include <cmath>

PixmapItem::PixmapItem(const QPixmap& pixmap, TracerDialog* dialog, QGraphicsItem* parent)
    : QGraphicsPixmapItem(pixmap, parent)
    , m_dialog(dialog)
{
    // Every pixel takes presses, also those too faint for the default mask.
    setShapeMode(BoundingRectShape);
    setTransform(QTransform::fromScale(1, -1));
    setPos(0, pixmap.height());
}

void PixmapItem::showPixmap(const QPixmap& pixmap)
{
    setPixmap(pixmap);
    setPos(0, pixmap.height());
}

void PixmapItem::mousePressEvent(QGraphicsSceneMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    // Pixel (x, y) covers [x, x + 1) x [y, y + 1) here, so the pixel under the
    // pointer is the one whose cell holds the press, not the nearest corner.
    const QPointF at = event->pos();
    m_dialog->setStartPixel(int(std::floor(at.x())), int(std::floor(at.y())));
    event->accept();
}
