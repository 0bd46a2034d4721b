#pragma once

#include "elementlistmodel.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QGraphicsView>
#include <QMenu>
#include <QMouseEvent>
#include <QTest>
#include <QTimer>
#include <QUndoStack>

namespace EditorTest {

// Real mouse input on the editor's view, addressed in scene (body) coordinates.
class Mouse
{
public:
    explicit Mouse(QGraphicsView* view) : m_view(view) {}

    QPoint at(const QPointF& scenePoint) const { return m_view->mapFromScene(scenePoint); }
    void press(const QPointF& p) { QTest::mousePress(m_view->viewport(), Qt::LeftButton, Qt::NoModifier, at(p)); }
    void release(const QPointF& p) { QTest::mouseRelease(m_view->viewport(), Qt::LeftButton, Qt::NoModifier, at(p)); }
    void click(const QPointF& p, Qt::KeyboardModifiers m = {}) { QTest::mouseClick(m_view->viewport(), Qt::LeftButton, m, at(p)); }
    void drag(const QPointF& from, const QPointF& to) { press(from), dragTo(to), release(to); }
    // A move with the button held, as during a drag.
    void dragTo(const QPointF& p) { send(QEvent::MouseMove, p, Qt::NoButton); }
    // What the window system delivers for a double click: press, release, double click, release.
    void doubleClick(const QPointF& p)
    {
        click(p);
        send(QEvent::MouseButtonDblClick, p, Qt::LeftButton);
        release(p);
    }

private:
    void send(QEvent::Type type, const QPointF& p, Qt::MouseButton button)
    {
        QMouseEvent event(type, at(p), m_view->viewport()->mapToGlobal(at(p)), button, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(m_view->viewport(), &event);
    }
    QGraphicsView* m_view;
};

// Opens the context menu at a point of the view and triggers the entry with the given text.
inline void chooseFromContextMenu(QGraphicsView* view, const QPoint& local, const QString& choice)
{
    QTimer::singleShot(50, view, [choice]() {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            for (QAction* action : menu->actions()) {
                if (action->text() == choice)
                    action->trigger();
            }
            menu->close();
        }
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, local, view->viewport()->mapToGlobal(local));
    QApplication::sendEvent(view->viewport(), &event);
}

// The undo texts on the stack, oldest first.
inline QStringList undoTexts(const ElementListModel& document)
{
    QStringList texts;
    for (int i = 0; i < document.undoStack()->count(); ++i)
        texts << document.undoStack()->text(i);
    return texts;
}

// A turn of the mouse wheel over the view at a viewport point, in eighths of a degree (120 = one notch, up or away).
inline void wheel(QGraphicsView* view, const QPoint& local, int angle, Qt::KeyboardModifiers modifiers)
{
    QWheelEvent event(QPointF(local), QPointF(view->viewport()->mapToGlobal(local)), QPoint(), QPoint(0, angle),
                      Qt::NoButton, modifiers, Qt::NoScrollPhase, false);
    QApplication::sendEvent(view->viewport(), &event);
}

// The view's pixels across a drawn line at a scene point, from five screen
// pixels before it to five after, along the view's x or y axis.
struct Across
{
    int background = 0;  // the lighter of the two ends
    int darkest = 255;
    int width = 0;  // pixels clearly darker than both ends
};
inline Across across(QGraphicsView* view, const QPointF& scenePoint, Qt::Orientation scan)
{
    const QImage shot = view->viewport()->grab().toImage();
    const QPoint centre = view->mapFromScene(scenePoint);
    const QPoint step = scan == Qt::Horizontal ? QPoint(1, 0) : QPoint(0, 1);
    Across result;
    result.background = qMin(qGray(shot.pixel(centre - 5 * step)), qGray(shot.pixel(centre + 5 * step)));
    for (int i = -5; i <= 5; ++i) {
        const int gray = qGray(shot.pixel(centre + i * step));
        result.darkest = qMin(result.darkest, gray);
        result.width += gray < result.background - 30;
    }
    return result;
}

}
