#include "element.h"
#include "elementlistmodel.h"
#include "gsettings.h"
#include "islandtracer.h"
#include "pixmapitem.h"
#include "referencetracer.h"
#include "testsupport.h"
#include "tracerdialog.h"
#include "tracertestsupport.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGraphicsPathItem>
#include <QGraphicsPolygonItem>
#include <QGraphicsView>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>

#include <algorithm>

namespace {

// A sprite with faint parts (alpha 50 to 175) and an island, and a frame opaque in its top five rows.
QList<QImage> frames()
{
    const QString full(14, QLatin1Char('#')), none(14, QLatin1Char('.'));
    return {TracerTestSupport::picture({none, "...####.......", "..######...#..", "..###5555#.##.", ".####7777####.",
                                        "..##..22##.##.", "..#....###....", none, "......##......"}),
            TracerTestSupport::picture({full, full, full, full, full, none, none, none, none})};
}

// The reference's composite of all frames, in the size of the first frame (the one the body shows).
QImage composite(const QList<QImage>& images, int frameMode, int threshold)
{
    return ReferenceTracer::frameComposite(images, images.value(0).size(), AnimationTraceMode(frameMode), threshold);
}

// The outline the dialog should show for {frame mode, threshold, mode, tolerance in tenths, frame
// shown, start pixel x, y}: of the frame shown, or of the composite of all frames.
QPolygonF expected(const QList<int>& trace)
{
    OutlineTracer tracer;
    tracer.setStartPixel(trace.value(5), trace.value(6));
    tracer.trace(trace[0] ? composite(frames(), trace[0], trace[1]) : frames()[trace.value(4)], trace[1], TraceMode(trace[2]));
    return tracer.polygon(trace[3] / 10.0f);
}

template <typename T>
T* sceneItem(QWidget* dialog)
{
    const QList<QGraphicsItem*> items = dialog->findChild<QGraphicsView*>()->items();
    return dynamic_cast<T*>(*std::find_if(items.begin(), items.end(), [](auto* item) { return dynamic_cast<T*>(item); }));
}

// Steps "control input" apart by "; ": types into a spin box (then presses any keys named after the text),
// presses the preview at image pixel coordinates, drags a slider ("drag 1"), clicks a check box, or presses keys.
void enter(QWidget* dialog, const QString& steps)
{
    for (const QString& step : steps.split(QStringLiteral("; "), Qt::SkipEmptyParts)) {
        QStringList words = step.split(QLatin1Char(' '));
        QWidget* control = dialog->findChild<QWidget*>(words[0]);
        if (auto* view = qobject_cast<QGraphicsView*>(control)) {
            const QPointF at = sceneItem<PixmapItem>(dialog)->mapToScene(words[1].toDouble(), words[2].toDouble());
            QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->mapFromScene(at));
            continue;
        }
        if (auto* slider = qobject_cast<QSlider*>(control); slider && words[1] == QLatin1String("drag")) {
            slider->setSliderDown(true);
            slider->setSliderPosition(words[2].toInt());
            slider->setSliderDown(false);
            continue;
        }
        if (auto* check = qobject_cast<QCheckBox*>(control)) {
            TestSupport::clickCheckBox(check);
            continue;
        }
        if (auto* box = qobject_cast<QAbstractSpinBox*>(control)) {
            box->selectAll();
            QTest::keyClicks(box, words.takeAt(1));
        }
        for (const QString& key : words.mid(1))
            QTest::keyClick(control, Qt::Key(QKeySequence::fromString(key)[0]));
    }
}

}

class TestTracerDialog : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    ElementListModel m_document;
    int m_bodies = 0;

    // A body of the images (PNG files, at most ten) showing the first, and the tracer settings to start with.
    std::unique_ptr<Element> makeBody(const QVariantMap& settings, const QList<QImage>& images = frames())
    {
        TestSupport::clearSettings();
        GSettings store;
        for (auto it = settings.cbegin(); it != settings.cend(); ++it)
            store.setValue(QStringLiteral("tracer/") + it.key(), it.value());
        // New files for every body, as the image cache knows files by path.
        const QString files = m_dir.filePath(QStringLiteral("body%1-frame%2.png").arg(++m_bodies));
        for (int i = 0; i < images.size(); ++i)
            images[i].save(files.arg(i));
        // The first frame added last, so that the body holds it loaded, as it does its current image.
        const int last = int(images.size()) - 1;
        auto body = std::make_unique<Element>(&m_document, nullptr, QStringLiteral("body"), files.arg(last));
        for (int i = last - 1; i >= 0; --i)
            body->addImageFileNameDirect(files.arg(i));
        body->setValueDirect(QStringLiteral("currentImageName"), files.arg(0));
        return body;
    }

private slots:
    void tracesWhatTheControlsShow_data()
    {
        QTest::addColumn<QVariantMap>("settings");
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QList<int>>("trace");  // see expected()
        const QVariantMap single{{"animationTraceMode", 0}, {"tolerance", 0}, {"zoom", 8}};  // zoomed in for presses
        const QVariantMap natural{{"animationTraceMode", 0}, {"tolerance", 1.5f}, {"traceModeIndex", 0}};
        const QVariantMap all{{"animationTraceMode", 1}, {"tolerance", 0.0f}, {"alphaThreshold", 150}};
        QTest::newRow("first run") << QVariantMap{} << "" << QList<int>{1, 0, 1, 10};
        const QVariantMap unusable{{"traceModeIndex", 2}, {"animationTraceMode", -2}, {"alphaThreshold", "12.9"},
                                   {"tolerance", "nonsense"}};
        QTest::newRow("unusable stored") << unusable << "" << QList<int>{1, 12, 1, 0};
        QTest::newRow("tolerance") << natural << "toleranceSpinBox 0.8" << QList<int>{0, 0, 0, 8};
        QTest::newRow("too coarse for OK") << single << "toleranceSpinBox 100" << QList<int>{0, 0, 1, 1000};
        QTest::newRow("threshold") << natural << "alphaThresholdSpinBox 130" << QList<int>{0, 130, 0, 15};
        QTest::newRow("single frame") << all << "animationTraceMode Up" << QList<int>{0, 150, 1, 0};
        // Only the frame on show is traced alone, also the body's own, which the body does not load again.
        QTest::newRow("next frame") << single << "animationPhaseSlider drag 1" << QList<int>{0, 0, 1, 0, 1};
        QTest::newRow("and back") << single << "animationPhaseSlider End Home" << QList<int>{0, 0, 1, 0, 0};
        QTest::newRow("next frame, all frames") << all << "animationPhaseSlider End" << QList<int>{1, 150, 1, 0, 1};
        // A press traces from the pixel under the pointer (the island's (7, 8), not its neighbour), also later.
        QTest::newRow("pressed") << single << "graphicsView 7.8 8.5" << QList<int>{0, 0, 1, 0, 0, 7, 8};
        QTest::newRow("then mode, beside") << single << "graphicsView 7.8 8.5; traceModeComboBox Up; graphicsView 13.5 0.5"
                                           << QList<int>{0, 0, 0, 0, 0, 7, 8};
    }

    void tracesWhatTheControlsShow()
    {
        QFETCH(QVariantMap, settings);
        QFETCH(QString, steps);
        QFETCH(QList<int>, trace);
        auto body = makeBody(settings);
        TracerDialog dialog(body.get());
        dialog.show();
        enter(&dialog, steps);
        // What the user sees: the frame, the outline, whether OK takes it, its vertex count.
        const QPolygonF polygon = expected(trace);
        const QImage frame = sceneItem<PixmapItem>(&dialog)->pixmap().toImage().convertToFormat(QImage::Format_Alpha8);
        QCOMPARE(QVariantList({frame, dialog.polygon(), sceneItem<QGraphicsPolygonItem>(&dialog)->polygon(),
                               dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->isEnabled(),
                               dialog.findChild<QLineEdit*>("vertexLineEdit")->text()}),
                 QVariantList({frames().at(trace.value(4)).convertToFormat(QImage::Format_Alpha8), polygon, polygon,
                               polygon.size() >= 3, QString::number(polygon.size())}));
    }

    void settingsPersist()
    {
        for (QDialogButtonBox::StandardButton button : {QDialogButtonBox::Cancel, QDialogButtonBox::Ok}) {
            auto body = makeBody({});
            auto dialog = std::make_unique<TracerDialog>(body.get());
            TestSupport::ModalHandler handler([&](QWidget* modal) {
                enter(modal, "toleranceSpinBox 1.5; alphaThresholdSpinBox 77; traceModeComboBox Up; animationTraceMode Down; "
                             "zoomIn Space; allIslandsCheckBox; keepHolesCheckBox; minimumAreaSpinBox 9");
                modal->setGeometry(120, 130, 520, 470);
                QTest::mouseClick(modal->findChild<QDialogButtonBox*>()->button(button), Qt::LeftButton);
            });
            QCOMPARE(dialog->exec(), button == QDialogButtonBox::Ok ? int(QDialog::Accepted) : int(QDialog::Rejected));
            auto seen = [](TracerDialog* shown) {
                return QVariantList{QRect(shown->pos(), shown->size()), shown->findChild<QGraphicsView*>()->transform().m11(),
                                    shown->polygon(), shown->findChild<QCheckBox*>("allIslandsCheckBox")->isChecked(),
                                    shown->findChild<QCheckBox*>("keepHolesCheckBox")->isChecked(),
                                    shown->findChild<QSpinBox*>("minimumAreaSpinBox")->value()};
            };
            const QVariantList before = seen(dialog.get());
            QCOMPARE(before[2].value<QPolygonF>(), expected({2, 77, 0, 15}));
            QCOMPARE(before.mid(3, 3), QVariantList({true, true, 9}));
            const QVector<QPolygonF> islands = dialog->polygons();
            dialog.reset();
            TracerDialog next(body.get());
            QCOMPARE(seen(&next), before);
            QCOMPARE(next.polygons(), islands);
        }
    }

    // "All islands" traces every island of the image on show (islands and holes smaller than the minimum area left
    // out); unchecked, the dialog traces the one outline as ever, and "Keep holes" waits for "All islands".
    void allIslandsTracesEveryIsland_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<bool>("islands");
        QTest::addColumn<bool>("keepHoles");
        QTest::addColumn<int>("minimumArea");
        QTest::newRow("off") << "" << false << false << 4;
        QTest::newRow("holes alone") << "keepHolesCheckBox" << false << false << 4;
        QTest::newRow("all islands") << "allIslandsCheckBox" << true << false << 4;
        QTest::newRow("keep holes") << "allIslandsCheckBox; keepHolesCheckBox" << true << true << 4;
        QTest::newRow("small ones left out") << "allIslandsCheckBox; keepHolesCheckBox; minimumAreaSpinBox 5" << true
                                             << true << 5;
        QTest::newRow("none large enough") << "allIslandsCheckBox; minimumAreaSpinBox 1000" << true << false << 1000;
        QTest::newRow("and off again") << "allIslandsCheckBox; keepHolesCheckBox; allIslandsCheckBox" << false << true
                                       << 4;
    }

    void allIslandsTracesEveryIsland()
    {
        QFETCH(QString, steps);
        QFETCH(bool, islands);
        QFETCH(bool, keepHoles);
        QFETCH(int, minimumArea);
        // A ring with a hole of four pixels, a dot of one and a bar of five.
        const QImage image = TracerTestSupport::picture({"..........", ".#####....", ".#..##..#.", ".#..##....",
                                                         ".#####.###", "........##", ".........."});
        auto body = makeBody({{"animationTraceMode", 0}, {"tolerance", 0}}, {image});
        TracerDialog dialog(body.get());
        dialog.show();
        enter(&dialog, steps);
        QVector<QPolygonF> polygons;
        if (islands) {
            IslandTracer::Options options;
            options.tolerance = 0;
            options.minimumArea = minimumArea;
            options.keepHoles = keepHoles;
            for (const IslandTracer::Island& island : IslandTracer::trace(image, options).islands)
                polygons << island.polygon;
        } else {
            OutlineTracer tracer;
            tracer.trace(image, 0, TraceMode::Straight);
            polygons << tracer.polygon(0.0f);
        }
        int vertices = 0;
        for (const QPolygonF& polygon : polygons)
            vertices += polygon.size();
        QCOMPARE(dialog.polygons(), polygons);
        auto* ok = dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
        QCOMPARE(QVariantList({ok->isEnabled(), dialog.findChild<QLineEdit*>("vertexLineEdit")->text(),
                               dialog.findChild<QCheckBox*>("keepHolesCheckBox")->isEnabled()}),
                 QVariantList({!polygons.isEmpty(), QString::number(vertices), islands}));
        // The preview outlines what OK hands on.
        QList<QPolygonF> shown = islands ? sceneItem<QGraphicsPathItem>(&dialog)->path().toSubpathPolygons()
                                         : QList<QPolygonF>{sceneItem<QGraphicsPolygonItem>(&dialog)->polygon()};
        for (QPolygonF& outline : shown)
            if (islands && outline.size() > 1 && outline.first() == outline.last())
                outline.removeLast();  // closed by the path
        QCOMPARE(QVariantList({sceneItem<QGraphicsPathItem>(&dialog)->isVisible(),
                               sceneItem<QGraphicsPolygonItem>(&dialog)->isVisible()}),
                 QVariantList({islands, !islands}));
        QCOMPARE(shown.toVector(), polygons);
        if (islands)
            QVERIFY(dialog.findChild<QLabel*>("islandsLabel")->text().startsWith(QString::number(polygons.size()) + " "));
    }

    // In the all-frames modes every threshold, lower or higher than the last, traces the frames combined per pixel
    // at it, in the size of the image on show (frames of other sizes cropped or not covering), also after the
    // body has shown other frames.
    void thresholdTracesTheCombinedFrames_data()
    {
        QTest::addColumn<QList<QImage>>("images");
        QTest::addColumn<int>("stored");  // frame mode
        QTest::addColumn<QString>("steps");
        QTest::addColumn<int>("frameMode");
        using TracerTestSupport::picture;
        // Alpha levels 75 ('3'), 100 ('4'), 150 ('6'), 200 ('8'), 225 ('9') and 255.
        const QImage ring = picture({".......", ".44444.", ".48884.", ".44444.", "......."});
        const QImage core = picture({".......", "..666..", "..6#6..", "..666..", "......."});
        const QImage small = picture({".....", ".33..", ".3#..", "....."});
        const QImage large = picture({"........", "..666666", "..6.....", "..6..9..", "..666666", "........"});
        const int I = int(AnimationTraceMode::AllFramesIntersection), U = int(AnimationTraceMode::AllFramesUnion);
        QTest::newRow("union") << QList<QImage>{ring, core} << U << "" << U;
        QTest::newRow("intersection") << QList<QImage>{ring, core} << I << "" << I;
        QTest::newRow("one frame") << QList<QImage>{ring} << I << "" << I;
        QTest::newRow("smaller later") << QList<QImage>{large, small} << U << "" << U;
        QTest::newRow("mode changed") << QList<QImage>{small, large} << U << "animationTraceMode Up" << I;
        QTest::newRow("mode changed back") << QList<QImage>{small, large} << U << "animationTraceMode Up Down" << U;
        QTest::newRow("larger shown, mode changed")
            << QList<QImage>{small, large} << I << "animationPhaseSlider End; animationTraceMode Down" << U;
        QTest::newRow("smaller shown, mode changed")
            << QList<QImage>{large, small} << U << "animationPhaseSlider End; animationTraceMode Up" << I;
    }

    void thresholdTracesTheCombinedFrames()
    {
        QFETCH(QList<QImage>, images);
        QFETCH(int, stored);
        QFETCH(QString, steps);
        QFETCH(int, frameMode);
        // Combined first at a threshold that hides the lower levels, which the lower thresholds bring back.
        auto body = makeBody({{"animationTraceMode", stored}, {"alphaThreshold", 120}, {"tolerance", 0}}, images);
        TracerDialog dialog(body.get());
        dialog.show();
        enter(&dialog, steps);
        // One tracer for all thresholds, as the dialog's, which traces at every digit typed: where nothing is
        // inside, the last outline stays.
        OutlineTracer tracer;
        for (const QString threshold : {"120", "0", "100", "74", "75", "224", "225", "0"}) {
            enter(&dialog, "alphaThresholdSpinBox " + threshold);
            for (int digits = 1; digits <= threshold.size(); ++digits) {
                const int typed = threshold.left(digits).toInt();
                tracer.trace(composite(images, frameMode, typed), typed, TraceMode::Straight);
            }
            QCOMPARE(QVariantList({threshold, dialog.polygon()}), QVariantList({threshold, tracer.polygon(0.0f)}));
        }
    }

    // A first run opens roomy with the whole sprite in view, as large as the zoom bar allows. Return in the zoom
    // field applies the zoom and leaves the dialog open; elsewhere it still means OK, if OK is enabled.
    void zoomAndReturn_data()
    {
        QTest::addColumn<QSize>("sprite");  // empty: frames()
        QTest::addColumn<QVariantMap>("settings");
        QTest::addColumn<QString>("steps");
        QTest::addColumn<float>("zoom");  // 0: the sprite fills the view's width or height
        QTest::addColumn<bool>("open");
        const QVariantMap none, zoomed{{"zoom", 3}};
        QTest::newRow("wide") << QSize(1500, 60) << none << "" << 0.0f << true;
        QTest::newRow("tall") << QSize(90, 1400) << none << "" << 0.0f << true;
        QTest::newRow("enlarged, zero zoom stored") << QSize(300, 200) << QVariantMap{{"zoom", 0}} << "" << 0.0f << true;
        QTest::newRow("tiny") << QSize(5, 3) << none << "" << 50.0f << true;
        QTest::newRow("zoom, Return") << QSize() << zoomed << "zoomValue 250 Return" << 2.5f << true;
        QTest::newRow("zoom, Enter") << QSize() << zoomed << "zoomValue 40 Enter" << 0.4f << true;
        QTest::newRow("zoom unchanged, Return") << QSize() << zoomed << "zoomValue 300 Return" << 3.0f << true;
        QTest::newRow("tolerance, Return") << QSize() << zoomed << "toleranceSpinBox 0.5 Return" << 3.0f << false;
        QTest::newRow("OK disabled, Return") << QSize() << zoomed << "toleranceSpinBox 100 Return" << 3.0f << true;
    }

    void zoomAndReturn()
    {
        QFETCH(QSize, sprite);
        QFETCH(QVariantMap, settings);
        QFETCH(QString, steps);
        QFETCH(float, zoom);
        QFETCH(bool, open);
        QImage image(sprite, QImage::Format_ARGB32);
        image.fill(Qt::black);
        auto body = sprite.isEmpty() ? makeBody(settings) : makeBody(settings, {image});
        TracerDialog dialog(body.get());
        dialog.show();
        QCoreApplication::processEvents();  // scroll bars come and go later
        enter(&dialog, steps);
        QCOMPARE(QVariantList({dialog.isVisible(), dialog.result()}),
                 QVariantList({open, int(open ? QDialog::Rejected : QDialog::Accepted)}));
        auto* view = dialog.findChild<QGraphicsView*>();
        const QRect shown = view->mapFromScene(view->sceneRect()).boundingRect(), room = view->viewport()->rect();
        QVERIFY(dialog.width() >= 800 && dialog.height() >= 600 && room.contains(shown));
        if (zoom > 0)
            QCOMPARE(float(view->transform().m11()), zoom);
        else
            QVERIFY(shown.width() >= room.width() * 0.95 || shown.height() >= room.height() * 0.95);
    }
};

int main(int argc, char** argv)
{
    TestSupport::isolateSettings();
    QApplication app(argc, argv);
    TestTracerDialog test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_tracerdialog.moc"
