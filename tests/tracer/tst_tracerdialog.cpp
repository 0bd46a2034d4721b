#include "element.h"
#include "elementlistmodel.h"
#include "framecomposite.h"
#include "gsettings.h"
#include "outlinetracer.h"
#include "pixmapitem.h"
#include "testsupport.h"
#include "tracerdialog.h"
#include "zoomwidget.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QGraphicsPolygonItem>
#include <QGraphicsView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include <cstring>
#include <memory>

Q_DECLARE_METATYPE(QDialogButtonBox::StandardButton)

namespace {

// Pictures drawn as text: '.' transparent, '#' opaque, '1' to '9' alpha 25 to 225.
QImage picture(const QStringList& rows)
{
    const int width = rows.isEmpty() ? 0 : rows.first().size();
    QImage image(width, rows.size(), QImage::Format_ARGB32);
    for (int y = 0; y < rows.size(); ++y) {
        for (int x = 0; x < width; ++x) {
            const QChar c = rows.at(y).at(x);
            const int alpha = c == QLatin1Char('#') ? 255 : c.isDigit() ? c.digitValue() * 25 : 0;
            image.setPixel(x, y, qRgba(30, 60, 220, alpha));
        }
    }
    return image;
}

// QPointF's operator== forgives small differences; the dialog must give the
// tracer's polygon exactly.
bool identical(const QPolygonF& a, const QPolygonF& b)
{
    return a.size() == b.size() && std::memcmp(a.constData(), b.constData(), sizeof(QPointF) * size_t(a.size())) == 0;
}

QString describe(const QPolygonF& polygon)
{
    QStringList parts;
    for (const QPointF& p : polygon)
        parts << QStringLiteral("(%1, %2)").arg(p.x()).arg(p.y());
    return parts.join(QLatin1Char(' '));
}

#define COMPARE_POLYGON(actual, expected)                                                                 \
    QVERIFY2(identical(actual, expected),                                                                 \
             qPrintable(QStringLiteral("\n  actual:   %1\n  expected: %2").arg(describe(actual), describe(expected))))

// What the tracer gives for the image on its own.
QPolygonF oracle(const QImage& image, int threshold, TraceMode mode, float tolerance, QPoint start = QPoint())
{
    OutlineTracer tracer;
    tracer.setStartPixel(start.x(), start.y());
    tracer.trace(image, threshold, mode);
    return tracer.polygon(tolerance);
}

void storeSettings(const QVariantMap& values)
{
    GSettings settings;
    settings.beginGroup(QStringLiteral("tracer"));
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        settings.setValue(it.key(), it.value());
}

// A picture as its size and alpha values: what a PNG and a pixmap keep exactly.
QVector<int> alphaOf(const QImage& image)
{
    QVector<int> values{image.width(), image.height()};
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            values << qAlpha(image.pixel(x, y));
    }
    return values;
}

// An opaque block (corners inclusive) on a transparent picture.
QImage block(QSize size, QRect opaque)
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    for (int y = opaque.top(); y <= opaque.bottom(); ++y) {
        for (int x = opaque.left(); x <= opaque.right(); ++x)
            image.setPixel(x, y, qRgba(30, 60, 220, 255));
    }
    return image;
}

template <typename T>
T* child(QObject* parent, const char* name)
{
    T* found = parent->findChild<T*>(QLatin1String(name));
    if (!found)
        qWarning("no child %s", name);
    return found;
}

template <typename T>
T* sceneItem(TracerDialog& dialog)
{
    const QList<QGraphicsItem*> items = child<QGraphicsView>(&dialog, "graphicsView")->scene()->items();
    for (QGraphicsItem* item : items) {
        if (T* found = dynamic_cast<T*>(item))
            return found;
    }
    return nullptr;
}

// Moves a slider as a drag does: pressed, moved, released.
void dragSlider(QSlider* slider, int position)
{
    slider->setSliderDown(true);
    slider->setSliderPosition(position);
    slider->setSliderDown(false);
}

bool reddish(QRgb pixel)
{
    return qRed(pixel) > qGreen(pixel) + 60 && qRed(pixel) > qBlue(pixel) + 60;
}

}

class TestTracerDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void firstRunUsesDefaults();
    void settingsKeptAndReadBack_data();
    void settingsKeptAndReadBack();
    void unusableStoredSettingsFallBack();

    void polygonIsTheTracersPolygon_data();
    void polygonIsTheTracersPolygon();
    void thresholdChangeKeepsComposite();
    void sliderRange_data();
    void sliderRange();
    void sliderInAllFramesModeChangesOnlyThePicture();
    void pressPicksThePixelUnderThePointer();
    void okNeedsThreeVertices();
    void previewStaysReadableAtEveryZoom();

private:
    // A body of the given frames (written as PNG files) showing frame `current`.
    std::unique_ptr<Element> makeBody(const QList<QImage>& frames, int current = 0);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ElementListModel> m_document;
    int m_files = 0;
};

std::unique_ptr<Element> TestTracerDialog::makeBody(const QList<QImage>& frames, int current)
{
    // Every body gets new file names: the image cache knows files by path.
    QStringList files;
    const QString prefix = QStringLiteral("body%1").arg(++m_files);
    for (int i = 0; i < frames.size(); ++i) {
        const QString path = m_dir->filePath(QStringLiteral("%1-frame%2.png").arg(prefix).arg(i));
        if (!frames.at(i).save(path, "PNG"))
            qFatal("cannot write %s", qPrintable(path));
        files << path;
    }
    auto body = std::make_unique<Element>(m_document.get(), nullptr, prefix, files.first());
    for (int i = 1; i < files.size(); ++i)
        body->addImageFileNameDirect(files.at(i));
    body->showImage(current);
    body->setValueDirect(QStringLiteral("currentImageName"), files.at(current));
    return body;
}

void TestTracerDialog::initTestCase()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_document = std::make_unique<ElementListModel>();
}

void TestTracerDialog::init()
{
    TestSupport::clearSettings();
}

void TestTracerDialog::firstRunUsesDefaults()
{
    const QImage frame = picture({"......", ".###..", ".####.", "..##..", "......"});
    auto body = makeBody({frame});
    TracerDialog dialog(body.get());

    QCOMPARE(dialog.windowTitle(), QStringLiteral("Tracer"));
    QCOMPARE(dialog.size(), QSize(400, 400));
    QCOMPARE(dialog.pos(), QPoint(200, 200));

    auto* mode = child<QComboBox>(&dialog, "traceModeComboBox");
    QCOMPARE(mode->count(), 2);
    QCOMPARE(mode->itemText(0), QStringLiteral("Natural"));
    QCOMPARE(mode->itemData(0).toInt(), int(TraceMode::Natural));
    QCOMPARE(mode->itemText(1), QStringLiteral("Straight"));
    QCOMPARE(mode->itemData(1).toInt(), int(TraceMode::Straight));
    QCOMPARE(mode->currentIndex(), 1);

    auto* frames = child<QComboBox>(&dialog, "animationTraceMode");
    const QStringList frameTexts{"Single frame", "All frames - intersection", "All frames - union"};
    QCOMPARE(frames->count(), frameTexts.size());
    for (int i = 0; i < frameTexts.size(); ++i) {
        QCOMPARE(frames->itemText(i), frameTexts.at(i));
        QCOMPARE(frames->itemData(i).toInt(), i);
    }
    QCOMPARE(frames->currentIndex(), 1);

    auto* tolerance = child<QDoubleSpinBox>(&dialog, "toleranceSpinBox");
    QCOMPARE(tolerance->value(), 1.0);
    QCOMPARE(tolerance->minimum(), 0.0);
    QCOMPARE(tolerance->maximum(), 100.0);
    QCOMPARE(tolerance->singleStep(), 0.1);
    auto* threshold = child<QSpinBox>(&dialog, "alphaThresholdSpinBox");
    QCOMPARE(threshold->value(), 0);
    QCOMPARE(threshold->minimum(), 0);
    QCOMPARE(threshold->maximum(), 255);
    auto* vertexes = child<QLineEdit>(&dialog, "vertexLineEdit");
    QVERIFY(vertexes->isReadOnly());
    QCOMPARE(vertexes->maxLength(), 10);

    auto* zoom = child<ZoomWidget>(&dialog, "zoomSlider");
    QCOMPARE(zoom->zoom(), 1.0f);
    const QTransform view = child<QGraphicsView>(&dialog, "graphicsView")->transform();
    QCOMPARE(view.m11(), 1.0);
    QCOMPARE(view.m22(), -1.0);

    const QList<QPair<const char*, QString>> labels{{"label", "Tolerance"},      {"label_2", "Alpha threshold"},
                                                   {"label_3", "Vertexes"},     {"label_4", "Trace mode"},
                                                   {"label_5", "Animation phase"}, {"label_6", "Frame mode"}};
    for (const auto& label : labels)
        QCOMPARE(child<QLabel>(&dialog, label.first)->text(), label.second);
    auto* buttons = child<QDialogButtonBox>(&dialog, "buttonBox");
    QVERIFY(buttons->button(QDialogButtonBox::Ok));
    QVERIFY(buttons->button(QDialogButtonBox::Cancel));

    // Straight walk of the one frame's intersection, at tolerance 1.
    const QImage composite =
        FrameComposite::build({frame}, frame.size(), AnimationTraceMode::AllFramesIntersection, 0);
    const QPolygonF expected = oracle(composite, 0, TraceMode::Straight, 1.0f);
    QVERIFY(expected.size() >= 3);
    COMPARE_POLYGON(dialog.polygon(), expected);
    QCOMPARE(vertexes->text(), QString::number(expected.size()));
    auto* polygonItem = sceneItem<QGraphicsPolygonItem>(dialog);
    QVERIFY(polygonItem);
    COMPARE_POLYGON(polygonItem->polygon(), expected);
}

void TestTracerDialog::settingsKeptAndReadBack_data()
{
    QTest::addColumn<QDialogButtonBox::StandardButton>("button");
    QTest::addColumn<int>("result");
    QTest::newRow("cancel") << QDialogButtonBox::Cancel << int(QDialog::Rejected);
    QTest::newRow("ok") << QDialogButtonBox::Ok << int(QDialog::Accepted);
}

void TestTracerDialog::settingsKeptAndReadBack()
{
    QFETCH(QDialogButtonBox::StandardButton, button);
    QFETCH(int, result);

    const QImage frame = block(QSize(40, 30), QRect(QPoint(5, 4), QPoint(34, 25)));
    auto body = makeBody({frame, frame});
    auto dialog = std::make_unique<TracerDialog>(body.get());
    TestSupport::ModalHandler handler([&](QWidget* modal) {
        QCOMPARE(modal, static_cast<QWidget*>(dialog.get()));
        auto* tolerance = child<QDoubleSpinBox>(modal, "toleranceSpinBox");
        tolerance->selectAll();
        QTest::keyClicks(tolerance, QStringLiteral("3.5"));
        auto* threshold = child<QSpinBox>(modal, "alphaThresholdSpinBox");
        threshold->selectAll();
        QTest::keyClicks(threshold, QStringLiteral("77"));
        QTest::keyClick(child<QComboBox>(modal, "traceModeComboBox"), Qt::Key_Up);
        QTest::keyClick(child<QComboBox>(modal, "animationTraceMode"), Qt::Key_Down);
        QTest::mouseClick(child<QToolButton>(modal, "zoomIn"), Qt::LeftButton);
        modal->resize(520, 470);
        modal->move(120, 130);
        QPushButton* close = child<QDialogButtonBox>(modal, "buttonBox")->button(button);
        QVERIFY(close->isEnabled());
        QTest::mouseClick(close, Qt::LeftButton);
    });
    QCOMPARE(dialog->exec(), result);
    QVERIFY(handler.handled());
    const QSize size = dialog->size();
    const QPoint pos = dialog->pos();
    const float zoom = child<ZoomWidget>(dialog.get(), "zoomSlider")->zoom();
    QVERIFY(zoom > 1.0f);
    dialog.reset();

    {
        GSettings settings;
        settings.beginGroup(QStringLiteral("tracer"));
        QCOMPARE(settings.value("traceModeIndex").toInt(), 0);
        QCOMPARE(settings.value("tolerance").toFloat(), 3.5f);
        QCOMPARE(settings.value("alphaThreshold").toInt(), 77);
        QCOMPARE(settings.value("animationTraceMode").toInt(), 2);
        QCOMPARE(settings.value("zoom").toFloat(), zoom);
        QCOMPARE(settings.value("windowSize").toSize(), size);
        QCOMPARE(settings.value("windowPos").toPoint(), pos);
    }

    TracerDialog next(body.get());
    QCOMPARE(child<QComboBox>(&next, "traceModeComboBox")->currentText(), QStringLiteral("Natural"));
    QCOMPARE(child<QDoubleSpinBox>(&next, "toleranceSpinBox")->value(), 3.5);
    QCOMPARE(child<QSpinBox>(&next, "alphaThresholdSpinBox")->value(), 77);
    QCOMPARE(child<QComboBox>(&next, "animationTraceMode")->currentText(), QStringLiteral("All frames - union"));
    QCOMPARE(child<ZoomWidget>(&next, "zoomSlider")->zoom(), zoom);
    QCOMPARE(child<QGraphicsView>(&next, "graphicsView")->transform().m11(), qreal(zoom));
    QCOMPARE(next.size(), size);
    QCOMPARE(next.pos(), pos);
}

void TestTracerDialog::unusableStoredSettingsFallBack()
{
    storeSettings({{"traceModeIndex", 7},
                   {"animationTraceMode", -2},
                   {"alphaThreshold", "12.9"},
                   {"tolerance", "not a number"},
                   {"zoom", 0}});
    const QImage frame = picture({"....", ".##.", "...."});
    auto body = makeBody({frame});
    TracerDialog dialog(body.get());
    QCOMPARE(child<QComboBox>(&dialog, "traceModeComboBox")->currentIndex(), 1);
    QCOMPARE(child<QComboBox>(&dialog, "animationTraceMode")->currentIndex(), 1);
    QCOMPARE(child<QSpinBox>(&dialog, "alphaThresholdSpinBox")->value(), 12);
    QCOMPARE(child<ZoomWidget>(&dialog, "zoomSlider")->zoom(), 1.0f);
    const QTransform view = child<QGraphicsView>(&dialog, "graphicsView")->transform();
    QVERIFY(view.isInvertible());
}

void TestTracerDialog::polygonIsTheTracersPolygon_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<double>("tolerance");
    QTest::addColumn<int>("threshold");
    QTest::newRow("natural, exact") << 0 << 0.0 << 0;
    QTest::newRow("natural, tolerance 1.5") << 0 << 1.5 << 0;
    QTest::newRow("straight, exact") << 1 << 0.0 << 0;
    QTest::newRow("straight, threshold 100") << 1 << 0.5 << 100;
    QTest::newRow("natural, threshold 160") << 0 << 0.0 << 160;
}

void TestTracerDialog::polygonIsTheTracersPolygon()
{
    QFETCH(int, mode);
    QFETCH(double, tolerance);
    QFETCH(int, threshold);
    storeSettings({{"traceModeIndex", mode},
                   {"tolerance", float(tolerance)},
                   {"alphaThreshold", threshold},
                   {"animationTraceMode", 0}});
    const QImage frame = picture({"..............", "...####.......", "..######...#..", "..###5555#.##.",
                                  ".####7777####.", "..##..22##.##.", "..#....###....", "..............",
                                  "......##......"});
    auto body = makeBody({frame});
    TracerDialog dialog(body.get());
    COMPARE_POLYGON(dialog.polygon(), oracle(frame, threshold, TraceMode(mode), float(tolerance)));

    // Every control traces again with what it now shows.
    auto* toleranceBox = child<QDoubleSpinBox>(&dialog, "toleranceSpinBox");
    toleranceBox->selectAll();
    QTest::keyClicks(toleranceBox, QStringLiteral("0.8"));
    COMPARE_POLYGON(dialog.polygon(), oracle(frame, threshold, TraceMode(mode), 0.8f));
    QTest::keyClick(child<QComboBox>(&dialog, "traceModeComboBox"), mode == 0 ? Qt::Key_Down : Qt::Key_Up);
    COMPARE_POLYGON(dialog.polygon(), oracle(frame, threshold, TraceMode(1 - mode), 0.8f));
    auto* thresholdBox = child<QSpinBox>(&dialog, "alphaThresholdSpinBox");
    thresholdBox->selectAll();
    QTest::keyClicks(thresholdBox, QStringLiteral("130"));
    COMPARE_POLYGON(dialog.polygon(), oracle(frame, 130, TraceMode(1 - mode), 0.8f));
    QCOMPARE(child<QLineEdit>(&dialog, "vertexLineEdit")->text(), QString::number(dialog.polygon().size()));
}

void TestTracerDialog::thresholdChangeKeepsComposite()
{
    // The left frame has a faint band (alpha 100) that the right one covers.
    const QImage left = picture({"..........", ".########.", ".44444444.", ".44444444.", ".########.", ".........."});
    const QImage right = picture({"..........", ".########.", ".########.", ".########.", ".########.", ".........."});
    storeSettings({{"traceModeIndex", 1}, {"tolerance", 0.0f}, {"alphaThreshold", 150}, {"animationTraceMode", 1}});
    auto body = makeBody({left, right});
    TracerDialog dialog(body.get());

    auto composite = [&](AnimationTraceMode mode, int threshold) {
        return FrameComposite::build({left, right}, left.size(), mode, threshold);
    };
    const QImage built150 = composite(AnimationTraceMode::AllFramesIntersection, 150);
    COMPARE_POLYGON(dialog.polygon(), oracle(built150, 150, TraceMode::Straight, 0.0f));

    auto* threshold = child<QSpinBox>(&dialog, "alphaThresholdSpinBox");
    threshold->selectAll();
    QTest::keyClicks(threshold, QStringLiteral("50"));
    QCOMPARE(threshold->value(), 50);
    const QPolygonF kept = oracle(built150, 50, TraceMode::Straight, 0.0f);
    const QPolygonF rebuilt = oracle(composite(AnimationTraceMode::AllFramesIntersection, 50), 50, TraceMode::Straight, 0.0f);
    QVERIFY2(!identical(kept, rebuilt), "the pictures must tell an old composite from a new one");
    COMPARE_POLYGON(dialog.polygon(), kept);

    // Only a change of frame mode builds the composite again.
    auto* frameMode = child<QComboBox>(&dialog, "animationTraceMode");
    QTest::keyClick(frameMode, Qt::Key_Down);
    COMPARE_POLYGON(dialog.polygon(), oracle(composite(AnimationTraceMode::AllFramesUnion, 50), 50,
                                             TraceMode::Straight, 0.0f));
    QTest::keyClick(frameMode, Qt::Key_Up);
    COMPARE_POLYGON(dialog.polygon(), rebuilt);
}

void TestTracerDialog::sliderRange_data()
{
    QTest::addColumn<int>("frames");
    QTest::addColumn<int>("current");
    QTest::newRow("one frame") << 1 << 0;
    QTest::newRow("three frames, first shown") << 3 << 0;
    QTest::newRow("four frames, third shown") << 4 << 2;
}

void TestTracerDialog::sliderRange()
{
    QFETCH(int, frames);
    QFETCH(int, current);
    QList<QImage> images;
    for (int i = 0; i < frames; ++i) {
        QImage image = picture({"......", "......", "......", "......"});
        image.setPixel(1 + i % 4, 1 + i / 4, qRgba(0, 0, 0, 255));
        images << image;
    }
    auto body = makeBody(images, current);
    TracerDialog dialog(body.get());
    auto* slider = child<QSlider>(&dialog, "animationPhaseSlider");
    QCOMPARE(slider->orientation(), Qt::Horizontal);
    QCOMPARE(slider->minimum(), 0);
    QCOMPARE(slider->maximum(), frames - 1);
    QCOMPARE(slider->value(), current);
    auto* item = sceneItem<PixmapItem>(dialog);
    QVERIFY(item);
    QCOMPARE(alphaOf(item->pixmap().toImage()), alphaOf(images.at(current)));
}

void TestTracerDialog::sliderInAllFramesModeChangesOnlyThePicture()
{
    const QList<QImage> frames{
        picture({"........", ".#####..", ".#####..", ".#####..", "........"}),
        picture({"........", "..#####.", "..#####.", "..#####.", "........"}),
        picture({"........", "........", ".######.", ".######.", ".######."}),
    };
    storeSettings({{"traceModeIndex", 1}, {"tolerance", 0.0f}, {"animationTraceMode", 1}});
    auto body = makeBody(frames, 0);
    TracerDialog dialog(body.get());
    const QSize size = frames.first().size();
    const QPolygonF intersection = oracle(
        FrameComposite::build(frames, size, AnimationTraceMode::AllFramesIntersection, 0), 0, TraceMode::Straight, 0.0f);
    COMPARE_POLYGON(dialog.polygon(), intersection);

    auto* slider = child<QSlider>(&dialog, "animationPhaseSlider");
    auto* item = sceneItem<PixmapItem>(dialog);
    QVERIFY(item);
    dragSlider(slider, 2);
    QCOMPARE(alphaOf(item->pixmap().toImage()), alphaOf(frames.at(2)));
    QCOMPARE(item->scenePos(), QPointF(0, size.height()));
    QCOMPARE(alphaOf(body->pixmap().toImage()), alphaOf(frames.at(2)));
    QCOMPARE(body->currentImageName(), body->imageFileNames().first());
    COMPARE_POLYGON(dialog.polygon(), intersection);

    // In single-frame mode the frame on show is what is traced, and keys move
    // through the frames as a drag does.
    QTest::keyClick(child<QComboBox>(&dialog, "animationTraceMode"), Qt::Key_Up);
    COMPARE_POLYGON(dialog.polygon(), oracle(frames.at(2), 0, TraceMode::Straight, 0.0f));
    QTest::keyClick(slider, Qt::Key_Left);
    QCOMPARE(slider->value(), 1);
    QCOMPARE(alphaOf(item->pixmap().toImage()), alphaOf(frames.at(1)));
    COMPARE_POLYGON(dialog.polygon(), oracle(frames.at(1), 0, TraceMode::Straight, 0.0f));
    // Back on the body's current image, which the body itself does not reload.
    dragSlider(slider, 0);
    QCOMPARE(alphaOf(item->pixmap().toImage()), alphaOf(frames.at(0)));
    COMPARE_POLYGON(dialog.polygon(), oracle(frames.at(0), 0, TraceMode::Straight, 0.0f));
}

void TestTracerDialog::pressPicksThePixelUnderThePointer()
{
    const QImage frame = picture({"............", ".###........", ".###........", "............",
                                  ".......###..", "......####..", "......####..", "............"});
    storeSettings({{"traceModeIndex", 1}, {"tolerance", 0.0f}, {"animationTraceMode", 0}, {"zoom", 8.0f},
                   {"windowSize", QSize(600, 500)}});
    auto body = makeBody({frame});
    TracerDialog dialog(body.get());
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    const QPolygonF first = oracle(frame, 0, TraceMode::Straight, 0.0f);
    COMPARE_POLYGON(dialog.polygon(), first);

    auto* view = child<QGraphicsView>(&dialog, "graphicsView");
    auto* item = sceneItem<PixmapItem>(dialog);
    QVERIFY(item);
    auto press = [&](QPointF imagePoint) {
        const QPoint at = view->mapFromScene(item->mapToScene(imagePoint));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    };

    // The right half of the rightmost pixel of a row of the second island:
    // the pixel beside it, the nearest corner's, is transparent.
    press(QPointF(9.8, 5.5));
    const QPolygonF second = oracle(frame, 0, TraceMode::Straight, 0.0f, QPoint(9, 5));
    QVERIFY(!identical(first, second));
    COMPARE_POLYGON(dialog.polygon(), second);
    auto* vertexes = child<QLineEdit>(&dialog, "vertexLineEdit");
    QCOMPARE(vertexes->text(), QString::number(second.size()));

    // The start pixel stays in force for later traces.
    QTest::keyClick(child<QComboBox>(&dialog, "traceModeComboBox"), Qt::Key_Up);
    const QPolygonF natural = oracle(frame, 0, TraceMode::Natural, 0.0f, QPoint(9, 5));
    COMPARE_POLYGON(dialog.polygon(), natural);

    // A transparent pixel starts nothing: the outline and its count stay.
    const QString count = vertexes->text();
    press(QPointF(4.5, 4.5));
    COMPARE_POLYGON(dialog.polygon(), natural);
    QCOMPARE(vertexes->text(), count);
}

void TestTracerDialog::okNeedsThreeVertices()
{
    {
        auto body = makeBody({picture({"....", "....", "...."})});
        auto dialog = std::make_unique<TracerDialog>(body.get());
        QVERIFY(dialog->polygon().isEmpty());
        QCOMPARE(child<QLineEdit>(dialog.get(), "vertexLineEdit")->text(), QStringLiteral("0"));
        QVERIFY(!child<QDialogButtonBox>(dialog.get(), "buttonBox")->button(QDialogButtonBox::Ok)->isEnabled());
        // Return does not accept through the disabled button.
        TestSupport::ModalHandler handler([](QWidget* modal) { QTest::keyClick(modal, Qt::Key_Return); });
        QCOMPARE(dialog->exec(), int(QDialog::Rejected));
        QVERIFY(handler.handled());
    }

    const QImage frame = picture({"......", ".####.", ".####.", "......"});
    storeSettings({{"traceModeIndex", 1}, {"tolerance", 100.0f}, {"animationTraceMode", 0}});
    auto body = makeBody({frame});
    TracerDialog dialog(body.get());
    QPushButton* ok = child<QDialogButtonBox>(&dialog, "buttonBox")->button(QDialogButtonBox::Ok);
    const QPolygonF coarse = oracle(frame, 0, TraceMode::Straight, 100.0f);
    QVERIFY2(!coarse.isEmpty() && coarse.size() < 3, "a wide tolerance must leave fewer than three vertices");
    COMPARE_POLYGON(dialog.polygon(), coarse);
    QVERIFY(!ok->isEnabled());

    auto* tolerance = child<QDoubleSpinBox>(&dialog, "toleranceSpinBox");
    tolerance->selectAll();
    QTest::keyClicks(tolerance, QStringLiteral("0"));
    QVERIFY(dialog.polygon().size() >= 3);
    QVERIFY(ok->isEnabled());
    QCOMPARE(child<QLineEdit>(&dialog, "vertexLineEdit")->text(), QString::number(dialog.polygon().size()));
}

void TestTracerDialog::previewStaysReadableAtEveryZoom()
{
    const QImage frame = picture({"........", "........", "..####..", "..####..", "..####..", "..####..",
                                  "........", "........"});
    storeSettings({{"traceModeIndex", 1}, {"tolerance", 0.0f}, {"animationTraceMode", 0},
                   {"windowSize", QSize(700, 600)}});
    auto body = makeBody({frame});
    TracerDialog dialog(body.get());
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    const QPolygonF polygon = dialog.polygon();
    QCOMPARE(polygon.size(), 4);
    const QPointF centre = polygon.boundingRect().center();
    auto* view = child<QGraphicsView>(&dialog, "graphicsView");
    auto* zoom = child<ZoomWidget>(&dialog, "zoomSlider");

    for (float factor : {0.5f, 1.0f, 4.0f, 20.0f}) {
        zoom->setZoom(factor);
        view->centerOn(centre);
        QApplication::processEvents();
        const QImage shot = view->viewport()->grab().toImage();
        for (const QPointF& vertex : polygon) {
            // The pixel diagonally outside the corner, away from the square,
            // shows the marker rather than the background or the frame.
            const QPoint at = view->mapFromScene(vertex);
            const QPoint out(vertex.x() < centre.x() ? -2 : 1, vertex.y() < centre.y() ? 1 : -2);
            QVERIFY2(reddish(shot.pixel(at + out)),
                     qPrintable(QStringLiteral("no marker at zoom %1 near (%2, %3)")
                                    .arg(factor)
                                    .arg(vertex.x())
                                    .arg(vertex.y())));
        }
        if (factor < 20.0f)
            continue;
        // Outlines stay one device pixel wide when zoomed in: three pixels
        // inside the polygon's left edge the fill shows, not the pen, and
        // three pixels inside the picture's frame the background.
        const QPoint edge = view->mapFromScene(QPointF(polygon.boundingRect().left(), centre.y()));
        QVERIFY2(!reddish(shot.pixel(edge + QPoint(3, 0))), "the outline is wider than a pixel");
        const QPoint frameEdge = view->mapFromScene(QPointF(0, 7));
        QVERIFY2(qGray(shot.pixel(frameEdge + QPoint(3, 0))) > 128, "the frame is wider than a pixel");
    }
}

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
