#pragma once

#include "element.h"
#include "elementlistmodel.h"
#include "exporter.h"
#include "ggraphicsview.h"
#include "limbeditorscene.h"
#include "shapeeditor.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QContextMenuEvent>
#include <QImage>
#include <QMenu>
#include <QTimer>
#include <QMouseEvent>
#include <QTest>
#include <QUndoStack>

#include <memory>

namespace EditorTest {

// Writes dir/<name>/exporter.xml and reads it.
inline std::unique_ptr<Exporter> makeExporter(const QDir& dir, const QString& name, bool circles, bool anchor)
{
    dir.mkpath(name);
    QFile file(dir.filePath(name + QStringLiteral("/exporter.xml")));
    if (!file.open(QIODevice::WriteOnly))
        return nullptr;
    file.write(QStringLiteral(R"(<exporter>
  <name>%1</name><displayName>%1</displayName>
  <yAxisDirection>up</yAxisDirection>
  <physicsEngine>box2d</physicsEngine>
  <origin><type>anchorpoint</type></origin>
  <anchorPoint><enabled>%2</enabled></anchorPoint>
  <supportsCircles>%3</supportsCircles>
  <fixture><parameter><name>density</name><type>float</type><default>1</default></parameter></fixture>
</exporter>
)")
                   .arg(name, anchor ? QStringLiteral("true") : QStringLiteral("false"),
                        circles ? QStringLiteral("true") : QStringLiteral("false"))
                   .toUtf8());
    file.close();
    return std::make_unique<Exporter>(dir.filePath(name));
}

// A sprite: transparent, with an opaque block inset by a quarter on each side.
inline QString makeSprite(const QDir& dir, const QString& fileName, int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    for (int y = height / 4; y < height * 3 / 4; ++y) {
        for (int x = width / 4; x < width * 3 / 4; ++x)
            image.setPixelColor(x, y, QColor(40, 160, 60, 255));
    }
    const QString path = dir.filePath(fileName);
    image.save(path, "PNG");
    return path;
}

// Real mouse input on the editor's view, addressed in scene (body) coordinates.
class Mouse
{
public:
    explicit Mouse(QGraphicsView* view)
        : m_view(view)
    {
    }

    QPoint at(const QPointF& scenePoint) const { return m_view->mapFromScene(scenePoint); }
    QPointF sceneAt(const QPoint& viewPoint) const { return m_view->mapToScene(viewPoint); }

    void press(const QPointF& p, Qt::MouseButton button = Qt::LeftButton)
    {
        QTest::mousePress(m_view->viewport(), button, Qt::NoModifier, at(p));
    }
    void release(const QPointF& p, Qt::MouseButton button = Qt::LeftButton)
    {
        QTest::mouseRelease(m_view->viewport(), button, Qt::NoModifier, at(p));
    }
    // A move with the button held, as during a drag.
    void dragTo(const QPointF& p, Qt::MouseButtons held = Qt::LeftButton)
    {
        const QPoint local = at(p);
        QMouseEvent move(QEvent::MouseMove, local, m_view->viewport()->mapToGlobal(local), Qt::NoButton, held,
                         Qt::NoModifier);
        QApplication::sendEvent(m_view->viewport(), &move);
    }
    void drag(const QPointF& from, const QPointF& to)
    {
        press(from);
        dragTo((from + to) / 2);
        dragTo(to);
        release(to);
    }
    void click(const QPointF& p) { QTest::mouseClick(m_view->viewport(), Qt::LeftButton, Qt::NoModifier, at(p)); }
    // What the window system delivers for a double click: press, release, double click, release.
    void doubleClick(const QPointF& p)
    {
        const QPoint local = at(p);
        QTest::mousePress(m_view->viewport(), Qt::LeftButton, Qt::NoModifier, local);
        QTest::mouseRelease(m_view->viewport(), Qt::LeftButton, Qt::NoModifier, local);
        QMouseEvent dbl(QEvent::MouseButtonDblClick, local, m_view->viewport()->mapToGlobal(local), Qt::LeftButton,
                        Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(m_view->viewport(), &dbl);
        QTest::mouseRelease(m_view->viewport(), Qt::LeftButton, Qt::NoModifier, local);
    }

private:
    QGraphicsView* m_view;
};

// Opens the context menu at a point of the view, triggers the entry with the
// given text and returns the texts of every entry the menu offered.
inline QString chooseFromContextMenu(QGraphicsView* view, const QPoint& local, const QString& choice)
{
    QString offered;
    QTimer::singleShot(50, view, [&offered, choice]() {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu)
            return;
        const QList<QAction*> actions = menu->actions();
        for (QAction* action : actions) {
            offered += action->text();
            if (action->text() == choice)
                action->trigger();
        }
        menu->close();
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, local, view->viewport()->mapToGlobal(local));
    QApplication::sendEvent(view->viewport(), &event);
    return offered;
}

// The undo texts on the stack, oldest first.
inline QStringList undoTexts(const ElementListModel& document)
{
    QStringList texts;
    const QUndoStack* stack = document.undoStack();
    for (int i = 0; i < stack->count(); ++i)
        texts << stack->text(i);
    return texts;
}

}
