// Takes the README's pictures of the editor: the main window with a project
// loaded, the shape editor zoomed in on a traced concave sprite, the tracer
// dialog, a body with three fixtures, the fixture panel's collision bits and a
// 2048-pixel sprite opened fitted, and the physics preview. Run by scripts/screenshot.sh on a virtual
// display.
// Usage: hwt-shots PROJECT.hws OUTPUT-DIR
#include "element.h"
#include "fixturecircle.h"
#include "fixturepolygon.h"
#include "gbiteditor.h"
#include "shape.h"
#include "elementlist.h"
#include "elementlistmodel.h"
#include "hullwrightapplication.h"
#include "limbeditorscene.h"
#include "mainwindow.h"
#include "physicsworld.h"
#include "previewwindow.h"
#include "shapeeditor.h"
#include "startup.h"
#include "tracerdialog.h"
#include "zoomwidget.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QImage>
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

    // The ring traced with its hole kept.
    TracerDialog holes(bodyNamed(*window.model(), QStringLiteral("ring")), &window);
    holes.show();
    holes.resize(764, 553);
    holes.findChild<QCheckBox*>(QStringLiteral("allIslandsCheckBox"))->setChecked(true);
    holes.findChild<QCheckBox*>(QStringLiteral("keepHolesCheckBox"))->setChecked(true);
    holes.findChild<ZoomWidget*>()->setZoom(3.0f);
    ok = save(holes, out.filePath(QStringLiteral("tracer-holes.png"))) && ok;
    holes.reject();

    // A body with three fixtures, the circle current: the others stay in sight.
    Element* crate = bodyNamed(*window.model(), QStringLiteral("crate"));
    emit window.model()->redisplayElement(crate);
    const QSizeF crateSize = crate->size();
    auto* lid = new FixturePolygon(crate);
    lid->setPolygonDirect(QPolygonF({QPointF(crateSize.width() * 0.1, crateSize.height() * 0.75),
                                     QPointF(crateSize.width() * 0.9, crateSize.height() * 0.75),
                                     QPointF(crateSize.width() * 0.9, crateSize.height() * 0.95),
                                     QPointF(crateSize.width() * 0.1, crateSize.height() * 0.95)}));
    crate->addFixture(lid);
    auto* knob = new FixtureCircle(crate);
    knob->setCircleDirect(QPointF(crateSize.width() * 0.5, crateSize.height() * 0.45), crateSize.width() * 0.18);
    crate->addFixture(knob);
    emit window.model()->redisplayElement(bodyNamed(*window.model(), QStringLiteral("ring")));
    emit window.model()->redisplayElement(crate);
    if (LimbEditorScene* scene = editor->scene()) {
        for (Shape* shape : scene->shapes()) {
            if (shape->fixture() == knob)
                scene->setCurrentShape(shape);
        }
    }
    editor->fitImage();
    ok = save(*editor, out.filePath(QStringLiteral("three-fixtures.png"))) && ok;

    // The fixture panel with the collision bits named and set.
    if (auto* bits = window.findChild<GBitEditor*>(QStringLiteral("filter_bitfield"))) {
        bits->setLabels({QStringLiteral("ground"), QStringLiteral("player"), QStringLiteral("enemy"),
                         QStringLiteral("pickup")});
        emit bits->labelsChanged(bits->labels());
        for (const char* box : {"bit_0_2", "bit_1_0", "bit_1_1"}) {
            if (auto* check = bits->findChild<QCheckBox*>(QLatin1String(box)))
                check->click();
        }
    }
    if (auto* fixturePanel = window.findChild<QWidget*>(QStringLiteral("fixtureParameters")))
        ok = save(*fixturePanel, out.filePath(QStringLiteral("fixture-bits.png"))) && ok;

    // The physics preview: every body dropped, a ball thrown at them, one body pulled by the mouse.
    window.previewAction()->trigger();
    if (PreviewWindow* preview = window.preview()) {
        preview->resize(1000, 640);
        preview->findChild<QComboBox*>(QStringLiteral("bodiesChoice"))->setCurrentIndex(1);
        PhysicsWorld* world = preview->world();
        world->throwBall(QPointF(world->arena().width() * 0.9, world->arena().height() * 0.8), QPointF(-6, 2));
        settle(2500);
        if (world->bodyCount() > 0 && world->grab(world->position(0))) {
            world->dragTo(world->position(0) + QPointF(world->arena().width() * 0.1, world->arena().height() * 0.4));
            settle(300);
        }
        ok = save(*preview, out.filePath(QStringLiteral("preview.png"))) && ok;
        preview->close();
    }

    // A sprite 2048 pixels wide opens fitted into the view.
    QImage big = QImage(crescent->imageFileNames().value(0)).scaledToWidth(2048, Qt::SmoothTransformation);
    const QString bigFile = QDir(QFileInfo(project).absolutePath()).filePath(QStringLiteral("crescent-2048.png"));
    if (!big.isNull() && big.save(bigFile)) {
        Element* large = window.model()->addFile(bigFile);
        emit window.model()->redisplayElement(large);
        ok = save(window, out.filePath(QStringLiteral("fitted-2048.png"))) && ok;
    }

    return ok ? 0 : 3;
}
