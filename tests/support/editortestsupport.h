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
    void click(const QPointF& p) { QTest::mouseClick(m_view->viewport(), Qt::LeftButton, Qt::NoModifier, at(p)); }
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

}
