#include "ggraphicsview.h"

#include "limbeditorscene.h"

#include <QKeyEvent>

GGraphicsView::GGraphicsView(QWidget* parent)
    : QGraphicsView(parent)
{
}

void GGraphicsView::setPanning(bool panning)
{
    setDragMode(panning ? ScrollHandDrag : NoDrag);
    m_panning = panning;
    if (auto* editorScene = qobject_cast<LimbEditorScene*>(scene()))
        editorScene->setPanning(panning);
}

void GGraphicsView::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Space && !event->isAutoRepeat())
        setPanning(true);
    QGraphicsView::keyPressEvent(event);
}

void GGraphicsView::keyReleaseEvent(QKeyEvent* event)
{
    // A held key repeats as release and press pairs; only the real release ends panning.
    if (event->key() == Qt::Key_Space && !event->isAutoRepeat())
        setPanning(false);
    QGraphicsView::keyReleaseEvent(event);
}

void GGraphicsView::focusOutEvent(QFocusEvent* event)
{
    // The release of a space bar held while focus moves away never arrives here.
    if (m_panning)
        setPanning(false);
    QGraphicsView::focusOutEvent(event);
}
