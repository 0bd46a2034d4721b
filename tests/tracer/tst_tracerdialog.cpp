#include "element.h"
#include "elementlistmodel.h"
#include "framecomposite.h"
#include "gsettings.h"
#include "pixmapitem.h"
#include "testsupport.h"
#include "tracerdialog.h"
#include "tracertestsupport.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QDialogButtonBox>
#include <QGraphicsPolygonItem>
#include <QGraphicsView>
#include <QLineEdit>
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

// The outline the dialog should show for {frame mode, composite threshold, threshold, mode, tolerance in
// tenths, frame shown, start pixel x, y}: of the frame shown, or of the composite of all frames.
QPolygonF expected(const QList<int>& trace)
{
    OutlineTracer tracer;
    tracer.setStartPixel(trace.value(6), trace.value(7));
    tracer.trace(trace[0] ? FrameComposite::build(frames(), QSize(14, 9), AnimationTraceMode(trace[0]), trace[1])
                          : frames().at(trace.value(5)),
                 trace[2], TraceMode(trace[3]));
    return tracer.polygon(trace[4] / 10.0f);
}

template <typename T>
T* sceneItem(QWidget* dialog)
{
    const QList<QGraphicsItem*> items = dialog->findChild<QGraphicsView*>()->items();
    return dynamic_cast<T*>(*std::find_if(items.begin(), items.end(), [](auto* item) { return dynamic_cast<T*>(item); }));
}

// Steps "control input" apart by "; ": types into a spin box, presses the preview
// at image pixel coordinates, drags a slider ("drag 1"), or presses keys.
void enter(QWidget* dialog, const QString& steps)
{
    for (const QString& step : steps.split(QStringLiteral("; "), Qt::SkipEmptyParts)) {
        const QStringList words = step.split(QLatin1Char(' '));
        QWidget* control = dialog->findChild<QWidget*>(words[0]);
        if (auto* box = qobject_cast<QAbstractSpinBox*>(control)) {
            box->selectAll();
            QTest::keyClicks(box, words[1]);
        } else if (auto* view = qobject_cast<QGraphicsView*>(control)) {
            const QPointF at = sceneItem<PixmapItem>(dialog)->mapToScene(words[1].toDouble(), words[2].toDouble());
            QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->mapFromScene(at));
        } else if (auto* slider = qobject_cast<QSlider*>(control); slider && words[1] == QLatin1String("drag")) {
            slider->setSliderDown(true);
            slider->setSliderPosition(words[2].toInt());
            slider->setSliderDown(false);
        } else {
            for (const QString& key : words.mid(1))
                QTest::keyClick(control, Qt::Key(QKeySequence::fromString(key)[0]));
        }
    }
}

}

class TestTracerDialog : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    ElementListModel m_document;
    int m_bodies = 0;

    // A body of the frames (PNG files) showing the first, and the tracer settings to start with.
    std::unique_ptr<Element> makeBody(const QVariantMap& settings)
    {
        TestSupport::clearSettings();
        GSettings store;
        for (auto it = settings.cbegin(); it != settings.cend(); ++it)
            store.setValue(QStringLiteral("tracer/") + it.key(), it.value());
        // New files for every body, as the image cache knows files by path.
        const QString files = m_dir.filePath(QStringLiteral("body%1-frame%2.png").arg(++m_bodies));
        for (int i : {0, 1})
            frames()[i].save(files.arg(i));
        auto body = std::make_unique<Element>(&m_document, nullptr, QStringLiteral("body"), files.arg(1));
        body->addImageFileNameDirect(files.arg(0));
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
        QTest::newRow("first run") << QVariantMap{} << "" << QList<int>{1, 0, 0, 1, 10};
        QTest::newRow("unusable stored") << QVariantMap{{"traceModeIndex", 7}, {"animationTraceMode", -2},
                                                        {"alphaThreshold", "12.9"}, {"tolerance", "nonsense"}, {"zoom", 0}}
                                         << "" << QList<int>{1, 12, 12, 1, 0};
        QTest::newRow("tolerance") << natural << "toleranceSpinBox 0.8" << QList<int>{0, 0, 0, 0, 8};
        QTest::newRow("too coarse for OK") << single << "toleranceSpinBox 100" << QList<int>{0, 0, 0, 1, 1000};
        QTest::newRow("threshold") << natural << "alphaThresholdSpinBox 130" << QList<int>{0, 0, 130, 0, 15};
        // A new threshold traces the composite already built; a new frame mode builds it again.
        QTest::newRow("threshold, all frames") << all << "alphaThresholdSpinBox 50" << QList<int>{1, 150, 50, 1, 0};
        QTest::newRow("frame mode") << all << "animationTraceMode Down" << QList<int>{2, 150, 150, 1, 0};
        QTest::newRow("single frame") << all << "animationTraceMode Up" << QList<int>{0, 0, 150, 1, 0};
        // Only the frame on show is traced alone, also the body's own, which the body does not load again.
        QTest::newRow("next frame") << single << "animationPhaseSlider drag 1" << QList<int>{0, 0, 0, 1, 0, 1};
        QTest::newRow("and back") << single << "animationPhaseSlider End Home" << QList<int>{0, 0, 0, 1, 0, 0};
        QTest::newRow("next frame, all frames") << all << "animationPhaseSlider End" << QList<int>{1, 150, 150, 1, 0, 1};
        // A press traces from the pixel under the pointer (the island's (7, 8), not its neighbour), also later.
        QTest::newRow("pressed") << single << "graphicsView 7.8 8.5" << QList<int>{0, 0, 0, 1, 0, 0, 7, 8};
        QTest::newRow("then mode, beside") << single << "graphicsView 7.8 8.5; traceModeComboBox Up; graphicsView 13.5 0.5"
                                           << QList<int>{0, 0, 0, 0, 0, 0, 7, 8};
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
        // What the user sees: the frame, the outline, whether OK takes it, its vertex count, a usable zoom.
        const QPolygonF polygon = expected(trace);
        const QImage frame = sceneItem<PixmapItem>(&dialog)->pixmap().toImage().convertToFormat(QImage::Format_Alpha8);
        QCOMPARE(QVariantList({frame, dialog.polygon(), sceneItem<QGraphicsPolygonItem>(&dialog)->polygon(),
                               dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->isEnabled(),
                               dialog.findChild<QLineEdit*>("vertexLineEdit")->text(),
                               dialog.findChild<QGraphicsView*>()->transform().isInvertible()}),
                 QVariantList({frames().at(trace.value(5)).convertToFormat(QImage::Format_Alpha8), polygon, polygon,
                               polygon.size() >= 3, QString::number(polygon.size()), true}));
        if (polygon.size() < 3) {  // nor does Return accept
            dialog.hide();
            TestSupport::ModalHandler handler([](QWidget* modal) { QTest::keyClick(modal, Qt::Key_Return); });
            QCOMPARE(dialog.exec(), int(QDialog::Rejected));
        }
    }

    void settingsPersist()
    {
        for (QDialogButtonBox::StandardButton button : {QDialogButtonBox::Cancel, QDialogButtonBox::Ok}) {
            auto body = makeBody({});
            auto dialog = std::make_unique<TracerDialog>(body.get());
            TestSupport::ModalHandler handler([&](QWidget* modal) {
                enter(modal, "toleranceSpinBox 1.5; alphaThresholdSpinBox 77; traceModeComboBox Up; animationTraceMode Down");
                enter(modal, "zoomIn Space");
                modal->setGeometry(120, 130, 520, 470);
                QTest::mouseClick(modal->findChild<QDialogButtonBox*>()->button(button), Qt::LeftButton);
            });
            QCOMPARE(dialog->exec(), button == QDialogButtonBox::Ok ? int(QDialog::Accepted) : int(QDialog::Rejected));
            auto seen = [](TracerDialog* shown) {
                const qreal zoom = shown->findChild<QGraphicsView*>()->transform().m11();
                return QVariantList{QRect(shown->pos(), shown->size()), zoom, shown->polygon()};
            };
            const QVariantList before = seen(dialog.get());
            QVERIFY(before[1].toDouble() > 1.0);
            QCOMPARE(before[2].value<QPolygonF>(), expected({2, 77, 77, 0, 15}));
            dialog.reset();
            TracerDialog next(body.get());
            QCOMPARE(seen(&next), before);
        }
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
