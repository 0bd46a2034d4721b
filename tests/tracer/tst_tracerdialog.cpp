#include "element.h"
#include "elementlistmodel.h"
#include "framecomposite.h"
#include "gsettings.h"
#include "pixmapitem.h"
#include "testsupport.h"
#include "tracerdialog.h"
#include "tracertestsupport.h"
#include "zoomwidget.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QDialogButtonBox>
#include <QGraphicsPolygonItem>
#include <QGraphicsView>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

// An opaque block on a transparent picture of the sprite's size.
QImage block(const QRect& rect)
{
    QImage image(14, 9, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter(&image).fillRect(rect, Qt::black);
    return image;
}

// A sprite with faint parts (alpha 50 to 175) and an island, and a frame covering most of it.
QList<QImage> frames()
{
    return {TracerTestSupport::picture({"..............", "...####.......", "..######...#..", "..###5555#.##.",
                                        ".####7777####.", "..##..22##.##.", "..#....###....", "..............",
                                        "......##......"}),
            block({1, 1, 12, 6})};
}

// The outline the dialog should show: of frame `shown`, or of the composite
// of all frames built at `compositeThreshold` (frame modes 1 and 2).
QPolygonF expected(int frameMode, int compositeThreshold, int threshold, int mode, double tolerance, int shown = 0,
                   QPoint start = {})
{
    const QImage image = frameMode ? FrameComposite::build(frames(), QSize(14, 9), AnimationTraceMode(frameMode),
                                                           compositeThreshold)
                                   : frames().at(shown);
    return TracerTestSupport::traced(image, threshold, TraceMode(mode), float(tolerance), start);
}

template <typename T = QWidget>
T* child(QObject* parent, const char* name)
{
    return parent->findChild<T*>(QLatin1String(name));
}

template <typename T>
T* sceneItem(QObject* dialog)
{
    for (QGraphicsItem* item : child<QGraphicsView>(dialog, "graphicsView")->scene()->items()) {
        if (auto* found = dynamic_cast<T*>(item))
            return found;
    }
    return nullptr;
}

// Types into a spin box, or presses keys (up, down, home, end) on anything else.
void enter(QObject* dialog, const char* control, const QString& input)
{
    if (auto* box = child<QAbstractSpinBox>(dialog, control)) {
        box->selectAll();
        QTest::keyClicks(box, input);
        return;
    }
    const QMap<QString, Qt::Key> keys{{"up", Qt::Key_Up}, {"down", Qt::Key_Down}, {"home", Qt::Key_Home}, {"end", Qt::Key_End}};
    for (const QString& key : input.split(QLatin1Char(' ')))
        QTest::keyClick(child(dialog, control), keys.value(key));
}

}

class TestTracerDialog : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    ElementListModel m_document;
    int m_bodies = 0;

    // A body of the given frames (PNG files) showing frame `current`, and the tracer settings to start with.
    std::unique_ptr<Element> makeBody(const QList<QImage>& images, int current = 0, const QVariantMap& settings = {})
    {
        TestSupport::clearSettings();
        GSettings store;
        store.beginGroup(QStringLiteral("tracer"));
        for (auto it = settings.cbegin(); it != settings.cend(); ++it)
            store.setValue(it.key(), it.value());
        // New names for every body, as the image cache knows files by path; a
        // body orders its frames by name.
        const QString name = QStringLiteral("body%1").arg(++m_bodies);
        QStringList files;
        for (const QImage& image : images) {
            files << m_dir.filePath(QStringLiteral("%1-frame%2.png").arg(name).arg(files.size()));
            image.save(files.last());
        }
        auto body = std::make_unique<Element>(&m_document, nullptr, name, files.first());
        for (const QString& file : files.mid(1))
            body->addImageFileNameDirect(file);
        body->showImage(current);
        body->setValueDirect(QStringLiteral("currentImageName"), files.at(current));
        return body;
    }

    // What the user sees: the outline, its vertex count, whether OK takes it and the frame (unless null).
    static void verifyShown(TracerDialog& dialog, const QPolygonF& polygon, const QImage& frame = {})
    {
        if (!frame.isNull())
            QCOMPARE(sceneItem<PixmapItem>(&dialog)->pixmap().toImage().convertToFormat(QImage::Format_Alpha8),
                     frame.convertToFormat(QImage::Format_Alpha8));
        COMPARE_POINTS(dialog.polygon(), polygon);
        COMPARE_POINTS(sceneItem<QGraphicsPolygonItem>(&dialog)->polygon(), polygon);
        QCOMPARE(child<QLineEdit>(&dialog, "vertexLineEdit")->text(), QString::number(polygon.size()));
        QCOMPARE(child<QDialogButtonBox>(&dialog, "buttonBox")->button(QDialogButtonBox::Ok)->isEnabled(),
                 polygon.size() >= 3);
        QVERIFY(child<QGraphicsView>(&dialog, "graphicsView")->transform().isInvertible());
    }

private slots:
    void tracesWhatTheControlsShow_data()
    {
        QTest::addColumn<QVariantMap>("settings");
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("input");
        QTest::addColumn<QList<int>>("trace");  // frame mode, composite threshold, threshold, mode, frame shown
        QTest::addColumn<double>("tolerance");
        const QVariantMap single{{"animationTraceMode", 0}, {"tolerance", 0.0f}};
        const QVariantMap natural{{"animationTraceMode", 0}, {"tolerance", 1.5f}, {"traceModeIndex", 0}};
        const QVariantMap all{{"animationTraceMode", 1}, {"tolerance", 0.0f}, {"alphaThreshold", 150}};
        QTest::newRow("first run") << QVariantMap{} << "" << "" << QList<int>{1, 0, 0, 1} << 1.0;
        QTest::newRow("stored") << QVariantMap{{"alphaThreshold", 100}, {"animationTraceMode", 0}} << "" << ""
                                << QList<int>{0, 0, 100, 1} << 1.0;
        QTest::newRow("unusable stored") << QVariantMap{{"traceModeIndex", 7}, {"animationTraceMode", -2},
                                                        {"alphaThreshold", "12.9"}, {"tolerance", "nonsense"}, {"zoom", 0}}
                                         << "" << "" << QList<int>{1, 12, 12, 1} << 0.0;
        QTest::newRow("tolerance") << natural << "toleranceSpinBox" << "0.8" << QList<int>{0, 0, 0, 0} << 0.8;
        QTest::newRow("too coarse for OK") << single << "toleranceSpinBox" << "100" << QList<int>{0, 0, 0, 1} << 100.0;
        QTest::newRow("mode") << natural << "traceModeComboBox" << "down" << QList<int>{0, 0, 0, 1} << 1.5;
        QTest::newRow("threshold") << natural << "alphaThresholdSpinBox" << "130" << QList<int>{0, 0, 130, 0} << 1.5;
        // A new threshold traces the composite already built; a new frame mode builds it again.
        QTest::newRow("threshold, all frames") << all << "alphaThresholdSpinBox" << "50" << QList<int>{1, 150, 50, 1} << 0.0;
        QTest::newRow("frame mode") << all << "animationTraceMode" << "down" << QList<int>{2, 150, 150, 1} << 0.0;
        QTest::newRow("single frame") << all << "animationTraceMode" << "up" << QList<int>{0, 0, 150, 1} << 0.0;
        // Only the frame on show is traced alone, also the body's own, which the body does not load again.
        QTest::newRow("next frame") << single << "animationPhaseSlider" << "end" << QList<int>{0, 0, 0, 1, 1} << 0.0;
        QTest::newRow("and back") << single << "animationPhaseSlider" << "end home" << QList<int>{0, 0, 0, 1, 0} << 0.0;
        QTest::newRow("next frame, all frames") << all << "animationPhaseSlider" << "end" << QList<int>{1, 150, 150, 1, 1} << 0.0;
    }

    void tracesWhatTheControlsShow()
    {
        QFETCH(QVariantMap, settings);
        QFETCH(QString, control);
        QFETCH(QString, input);
        QFETCH(QList<int>, trace);
        QFETCH(double, tolerance);
        auto body = makeBody(frames(), 0, settings);
        TracerDialog dialog(body.get());
        if (!control.isEmpty())
            enter(&dialog, qPrintable(control), input);
        const int shown = trace.value(4);
        verifyShown(dialog, expected(trace[0], trace[1], trace[2], trace[3], tolerance, shown), frames().at(shown));
        if (dialog.polygon().size() < 3) {  // nor does Return accept
            TestSupport::ModalHandler handler([](QWidget* modal) { QTest::keyClick(modal, Qt::Key_Return); });
            QCOMPARE(dialog.exec(), int(QDialog::Rejected));
        }
    }

    void settingsPersist()
    {
        for (QDialogButtonBox::StandardButton button : {QDialogButtonBox::Cancel, QDialogButtonBox::Ok}) {
            auto body = makeBody(frames());
            auto dialog = std::make_unique<TracerDialog>(body.get());
            TestSupport::ModalHandler handler([&](QWidget* modal) {
                enter(modal, "toleranceSpinBox", "3.5");
                enter(modal, "alphaThresholdSpinBox", "77");
                enter(modal, "traceModeComboBox", "up");
                enter(modal, "animationTraceMode", "down");
                QTest::mouseClick(child(modal, "zoomIn"), Qt::LeftButton);
                modal->setGeometry(120, 130, 520, 470);
                QTest::mouseClick(child<QDialogButtonBox>(modal, "buttonBox")->button(button), Qt::LeftButton);
            });
            QCOMPARE(dialog->exec(), button == QDialogButtonBox::Ok ? int(QDialog::Accepted) : int(QDialog::Rejected));
            const QPolygonF polygon = expected(2, 77, 77, 0, 3.5);
            COMPARE_POINTS(dialog->polygon(), polygon);
            const qreal zoom = child<QGraphicsView>(dialog.get(), "graphicsView")->transform().m11();
            QVERIFY(zoom > 1.0);
            const QRect geometry(dialog->pos(), dialog->size());
            dialog.reset();

            TracerDialog next(body.get());
            verifyShown(next, polygon);
            QCOMPARE(child<QGraphicsView>(&next, "graphicsView")->transform().m11(), zoom);
            QCOMPARE(QRect(next.pos(), next.size()), geometry);
        }
    }

    void pressesAndZoom()
    {
        auto body = makeBody(frames(), 0, {{"animationTraceMode", 0}, {"tolerance", 0.0f}, {"zoom", 8.0f},
                                           {"windowSize", QSize(600, 500)}});
        TracerDialog dialog(body.get());
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        // A drag shows and traces its frame as keys do.
        auto* slider = child<QSlider>(&dialog, "animationPhaseSlider");
        slider->setSliderDown(true);
        slider->setSliderPosition(1);
        slider->setSliderDown(false);
        verifyShown(dialog, expected(0, 0, 0, 1, 0.0, 1), frames().at(1));
        enter(&dialog, "animationPhaseSlider", "home");
        verifyShown(dialog, expected(0, 0, 0, 1, 0.0), frames().at(0));

        // A press starts the trace at the pixel under the pointer (the right half
        // of the island's (7, 8), whose right neighbour is transparent), also later.
        QGraphicsView* view = child<QGraphicsView>(&dialog, "graphicsView");
        auto* item = sceneItem<PixmapItem>(&dialog);
        auto press = [&](QPointF at) {
            QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, view->mapFromScene(item->mapToScene(at)));
        };
        press(QPointF(7.8, 8.5));
        const QPolygonF island = expected(0, 0, 0, 1, 0.0, 0, {7, 8});
        verifyShown(dialog, island);

        // At every zoom the pixel diagonally outside each corner shows its marker.
        auto red = [](QRgb pixel) { return qRed(pixel) > qGreen(pixel) + 60 && qRed(pixel) > qBlue(pixel) + 60; };
        const QPointF centre = island.boundingRect().center();
        QImage shot;
        for (float factor : {0.5f, 1.0f, 4.0f, 20.0f}) {
            child<ZoomWidget>(&dialog, "zoomSlider")->setZoom(factor);
            view->centerOn(centre);
            QApplication::processEvents();
            shot = view->viewport()->grab().toImage();
            for (const QPointF& vertex : island) {
                const QPoint out(vertex.x() < centre.x() ? -2 : 1, vertex.y() < centre.y() ? 1 : -2);
                QVERIFY2(red(shot.pixel(view->mapFromScene(vertex) + out)), qPrintable(QString::number(factor)));
            }
        }
        // Zoomed in, outlines stay one device pixel wide: inside the polygon's
        // left edge the fill shows, inside the picture's frame the background.
        QVERIFY(!red(shot.pixel(view->mapFromScene(QPointF(6, centre.y())) + QPoint(3, 0))));
        QVERIFY(qGray(shot.pixel(view->mapFromScene(QPointF(0, 7)) + QPoint(3, 0))) > 128);

        enter(&dialog, "traceModeComboBox", "up");
        verifyShown(dialog, expected(0, 0, 0, 0, 0.0, 0, {7, 8}));
        press(QPointF(13.5, 0.5));  // transparent: the outline stays
        verifyShown(dialog, expected(0, 0, 0, 0, 0.0, 0, {7, 8}));
    }
};

int main(int argc, char** argv)
{
    TestSupport::isolateSettings();
    QApplication app(argc, argv);
    app.setOrganizationName(QStringLiteral("hullwright.org"));
    app.setApplicationName(QStringLiteral("tst_tracerdialog"));
    TestTracerDialog test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_tracerdialog.moc"
