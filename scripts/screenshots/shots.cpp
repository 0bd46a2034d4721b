// Takes the README's pictures of the editor: the main window with a project
// loaded, the shape editor zoomed in on a traced concave sprite, and the tracer
// dialog. Run by scripts/screenshot.sh on a virtual display.
// Usage: hwt-shots PROJECT.hws OUTPUT-DIR
#include "element.h"
#include "elementlist.h"
#include "elementlistmodel.h"
#include "hullwrightapplication.h"
#include "limbeditorscene.h"
#include "mainwindow.h"
#include "shapeeditor.h"
#include "startup.h"
#include "tracerdialog.h"
#include "zoomwidget.h"

#include <QDir>
#include <QGraphicsView>
#include <QListView>
#include <QPixmap>
#include <QTest>
#include <QTextStream>

namespace {
void settle(int ms = 400)
{
    QTest::qWait(ms);
}

bool save(QWidget& widget, const QString& path)
{
    settle();
    const bool saved = widget.grab().save(path, "PNG");
    QTextStream(stdout) << (saved ? "wrote " : "could not write ") << path << '\n';
    return saved;
}

Element* bodyNamed(ElementListModel& document, const QString& name)
{
    const QList<Element*> bodies = document.elements();
    for (Element* body : bodies) {
        if (body->name() == name)
            return body;
    }
    return bodies.value(0);
}
}

int main(int argc, char** argv)
{
    HullwrightApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 3) {
        QTextStream(stderr) << "usage: hwt-shots PROJECT.hws OUTPUT-DIR\n";
        return 1;
    }
    const QString project = args.at(1);
    const QDir out(args.at(2));
    Startup::scanExporters(QCoreApplication::applicationDirPath());
    Startup::registerTemplateLookups();

    MainWindow window;
    window.resize(1280, 800);
    window.show();
    if (!window.loadFile(project))
        return 2;
    window.setFileName(project);
    auto* editor = window.findChild<ShapeEditor*>(QStringLiteral("shapeEditor"));
    auto* zoom = editor->findChild<ZoomWidget*>();
    emit window.model()->redisplayElement(bodyNamed(*window.model(), QStringLiteral("gear_1")));
    zoom->setZoom(3.0f);
    settle();
    bool ok = save(window, out.filePath(QStringLiteral("screenshot.png")));

    // The editor on the concave sprite, zoomed in, its shape current with handles.
    Element* crescent = bodyNamed(*window.model(), QStringLiteral("crescent"));
    emit window.model()->redisplayElement(crescent);
    zoom->setZoom(4.0f);
    if (LimbEditorScene* scene = editor->scene()) {
        scene->selectFirstFixture();
        auto* view = editor->findChild<QGraphicsView*>(QStringLiteral("graphicsView"));
        const QRectF picture = scene->sceneRect();
        view->centerOn(picture.center().x() * 0.55, picture.center().y() * 1.2);
    }
    ok = save(window, out.filePath(QStringLiteral("editor-400.png"))) && ok;

    TracerDialog tracer(crescent, &window);
    tracer.show();
    tracer.resize(764, 553);
    tracer.findChild<ZoomWidget*>()->setZoom(2.5f);
    ok = save(tracer, out.filePath(QStringLiteral("tracer.png"))) && ok;

    return ok ? 0 : 3;
}
