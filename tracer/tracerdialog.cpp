#include "tracerdialog.h"
#include "ui_tracerdialog.h"

#include "element.h"
#include "framecomposite.h"
#include "gsettings.h"
#include "imagecache.h"
#include "pixmapitem.h"
#include "zoomwidget.h"

#include <QAbstractSpinBox>
#include <QGraphicsPathItem>
#include <QGraphicsPolygonItem>
#include <QGraphicsRectItem>
#include <QGraphicsScene>
#include <QKeyEvent>
#include <QPainter>
#include <QPushButton>
#include <QStyleOptionGraphicsItem>

#include <cmath>

namespace TracerDialogDetail {

// All vertex markers of the traced polygon in one item. A marker is a circle
// of radius 0.2 image pixels, but never smaller on screen than a few device
// pixels, so that the vertices stay visible when zoomed out; pens are
// cosmetic so that outlines stay one pixel wide at every zoom.
class VertexMarkers final : public QGraphicsItem
{
public:
    VertexMarkers()
    {
        setAcceptedMouseButtons(Qt::NoButton);
        setFlag(ItemUsesExtendedStyleOption);
    }

    void setPoints(const QPolygonF& points)
    {
        prepareGeometryChange();
        m_points = points;
        m_bounds = points.boundingRect();
    }

    // The view's zoom factor, which decides how far markers reach beyond
    // their vertices in scene units.
    void setViewScale(qreal scale)
    {
        prepareGeometryChange();
        m_scale = std::isfinite(scale) && scale > minimumScale ? scale : minimumScale;
    }

    QRectF boundingRect() const override
    {
        if (m_points.isEmpty())
            return QRectF();
        // One extra device pixel for the cosmetic outline.
        const qreal reach = (radiusOnScreen(m_scale) + 1.0) / m_scale;
        return m_bounds.adjusted(-reach, -reach, reach, reach);
    }

    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget*) override
    {
        if (m_points.isEmpty())
            return;
        const QTransform world = painter->worldTransform();
        const qreal scale = std::sqrt(std::abs(world.determinant()));
        if (!(scale > 0))
            return;
        const qreal radius = radiusOnScreen(scale);
        const qreal reach = (radius + 1.0) / scale;
        const QRectF exposed = option->exposedRect.adjusted(-reach, -reach, reach, reach);
        const QPixmap& marker = stamp(radius);
        const QPointF offset(marker.width() / 2.0, marker.height() / 2.0);

        // Thousands of antialiased circles of one size: drawn once, then copied.
        painter->save();
        painter->resetTransform();
        for (const QPointF& point : qAsConst(m_points)) {
            if (exposed.contains(point)) {
                const QPointF centre = world.map(point);
                painter->drawPixmap(QPointF(std::round(centre.x() - offset.x()), std::round(centre.y() - offset.y())),
                                    marker);
            }
        }
        painter->restore();
    }

private:
    static constexpr qreal minimumScale = 1e-3;
    static constexpr qreal sceneRadius = 0.2;
    static constexpr qreal minimumRadius = 3.0;  // device pixels

    static qreal radiusOnScreen(qreal scale) { return qMax(minimumRadius, sceneRadius * scale); }

    // One marker of the given radius (device pixels), centred in its pixmap.
    const QPixmap& stamp(qreal radius)
    {
        if (m_stamp.isNull() || m_stampRadius != radius) {
            const int side = 2 * int(std::ceil(radius + 1.0)) + 1;
            QPixmap pixmap(side, side);
            pixmap.fill(Qt::transparent);
            QPainter painter(&pixmap);
            painter.setRenderHint(QPainter::Antialiasing);
            QPen pen(QColor(255, 0, 0, 255));
            pen.setCosmetic(true);
            painter.setPen(pen);
            painter.setBrush(QBrush(QColor(255, 0, 0, 128), Qt::SolidPattern));
            painter.drawEllipse(QPointF(side / 2.0, side / 2.0), radius, radius);
            painter.end();
            m_stamp = pixmap;
            m_stampRadius = radius;
        }
        return m_stamp;
    }

    QPolygonF m_points;
    QRectF m_bounds;
    qreal m_scale = 1.0;
    QPixmap m_stamp;
    qreal m_stampRadius = 0;
};

}

using TracerDialogDetail::VertexMarkers;

namespace {
// The tracing values are TracerSettings'; the view's own live here.
const QString groupKey = QStringLiteral("tracer");
const QString zoomKey = QStringLiteral("zoom");
const QString windowSizeKey = QStringLiteral("windowSize");
const QString windowPosKey = QStringLiteral("windowPos");
// The size a first run opens with, roomy enough for a sprite and the controls.
const QSize firstRunSize(800, 600);

bool isCompositeMode(int frameMode)
{
    return frameMode == int(AnimationTraceMode::AllFramesIntersection)
           || frameMode == int(AnimationTraceMode::AllFramesUnion);
}
}

TracerDialog::TracerDialog(Element* body, QWidget* parent)
    : QDialog(parent)
    , m_ui(new Ui::TracerDialog)
    , m_scene(new QGraphicsScene(this))
    , m_body(body)
{
    m_ui->setupUi(this);
    // A handful of items, most of them changing on every trace: an index
    // would cost more to keep up than it saves.
    m_scene->setItemIndexMethod(QGraphicsScene::NoIndex);
    m_ui->graphicsView->setScene(m_scene);
    connect(m_ui->zoomSlider, &ZoomWidget::zoomScaleChanged, this, &TracerDialog::scaleView);
    if (auto* zoomField = m_ui->zoomSlider->findChild<QAbstractSpinBox*>())
        zoomField->installEventFilter(this);

    m_pixmap = m_body ? m_body->pixmap() : QPixmap();
    m_compositeSize = m_body ? m_body->size() : QSize();
    m_pixmapItem = new PixmapItem(m_pixmap, this);
    m_scene->addItem(m_pixmapItem);

    // Width 0: one device pixel at every zoom, and a bounding rectangle that
    // needs no stroking of the outline.
    const QPen outline(QColor(255, 0, 0, 255), 0);
    m_polygonItem = new QGraphicsPolygonItem;
    m_polygonItem->setAcceptedMouseButtons(Qt::NoButton);
    m_polygonItem->setPen(outline);
    m_polygonItem->setBrush(QBrush(QColor(0, 255, 0, 128), Qt::SolidPattern));
    m_scene->addItem(m_polygonItem);

    m_islandsItem = new QGraphicsPathItem;
    m_islandsItem->setAcceptedMouseButtons(Qt::NoButton);
    m_islandsItem->setPen(outline);
    m_islandsItem->setBrush(m_polygonItem->brush());
    m_islandsItem->setVisible(false);
    m_scene->addItem(m_islandsItem);

    m_markers = new VertexMarkers;
    m_scene->addItem(m_markers);

    const QPen framePen(Qt::black, 0);
    m_frameItem = new QGraphicsRectItem;
    m_frameItem->setAcceptedMouseButtons(Qt::NoButton);
    m_frameItem->setPen(framePen);
    m_frameItem->setZValue(-100);
    m_scene->addItem(m_frameItem);

    scaleView(1.0f);

    m_ui->traceModeComboBox->addItem(tr("Natural"), int(TraceMode::Natural));
    m_ui->traceModeComboBox->addItem(tr("Straight"), int(TraceMode::Straight));
    m_ui->animationTraceMode->addItem(tr("Single frame"), int(AnimationTraceMode::SingleFrame));
    m_ui->animationTraceMode->addItem(tr("All frames - intersection"), int(AnimationTraceMode::AllFramesIntersection));
    m_ui->animationTraceMode->addItem(tr("All frames - union"), int(AnimationTraceMode::AllFramesUnion));

    readSettings();

    const QStringList frames = m_body ? m_body->imageFileNames() : QStringList();
    QSlider* phase = m_ui->animationPhaseSlider;
    phase->setRange(0, qMax(0, frames.size() - 1));
    phase->setValue(m_body ? frames.indexOf(m_body->currentImageName()) : 0);
    // A drag reports through sliderMoved; keys, wheel and clicks on the
    // groove only change the value, and must show their frame as well.
    connect(phase, &QSlider::valueChanged, this, [this, phase](int position) {
        if (!phase->isSliderDown())
            on_animationPhaseSlider_sliderMoved(position);
    });

    m_settingUp = false;
    updateTrace();
    raise();
}

TracerDialog::~TracerDialog()
{
    writeSettings();
}

void TracerDialog::readSettings()
{
    const TracerSettings stored = TracerSettings::read();
    m_ui->traceModeComboBox->setCurrentIndex(m_ui->traceModeComboBox->findData(int(stored.mode)));
    m_ui->toleranceSpinBox->setValue(double(stored.tolerance));
    m_ui->alphaThresholdSpinBox->setValue(stored.alphaThreshold);
    m_ui->animationTraceMode->setCurrentIndex(m_ui->animationTraceMode->findData(int(stored.frames)));
    m_ui->allIslandsCheckBox->setChecked(stored.allIslands);
    m_ui->keepHolesCheckBox->setChecked(stored.keepHoles);
    m_ui->keepHolesCheckBox->setEnabled(stored.allIslands);
    m_ui->minimumAreaSpinBox->setRange(0, TracerSettings::maximumArea);
    m_ui->minimumAreaSpinBox->setValue(stored.minimumArea);

    GSettings settings;
    settings.beginGroup(groupKey);

    // A zoom of zero (or nonsense) would collapse the view; keep to the zoom
    // bar's range. Without a usable one, the sprite is fitted when shown.
    const QVector<float>& steps = ZoomWidget::zoomSteps();
    bool zoomRead = false;
    const float zoom = settings.value(zoomKey).toFloat(&zoomRead);
    m_fitZoomOnShow = !(zoomRead && std::isfinite(zoom) && zoom > 0);
    m_ui->zoomSlider->setZoom(m_fitZoomOnShow ? 1.0f : qBound(steps.first(), zoom, steps.last()));

    // A first run leaves the position to the dialog, which centres itself on its parent.
    if (settings.contains(windowSizeKey))
        resize(settings.value(windowSizeKey).toSize());
    else
        resize(firstRunSize.expandedTo(minimumSizeHint()));
    if (settings.contains(windowPosKey))
        move(settings.value(windowPosKey).toPoint());
}

void TracerDialog::writeSettings() const
{
    controls().write();

    GSettings settings;
    settings.beginGroup(groupKey);
    settings.setValue(windowPosKey, pos());
    settings.setValue(windowSizeKey, size());
    settings.setValue(zoomKey, m_ui->zoomSlider->zoom());
}

TracerSettings TracerDialog::controls() const
{
    TracerSettings values;
    values.mode = TraceMode(m_ui->traceModeComboBox->currentData().toInt());
    values.tolerance = float(m_ui->toleranceSpinBox->value());
    values.alphaThreshold = m_ui->alphaThresholdSpinBox->value();
    values.frames = AnimationTraceMode(m_ui->animationTraceMode->currentData().toInt());
    values.allIslands = m_ui->allIslandsCheckBox->isChecked();
    values.keepHoles = m_ui->keepHolesCheckBox->isChecked();
    values.minimumArea = m_ui->minimumAreaSpinBox->value();
    return values;
}

bool TracerDialog::eventFilter(QObject* watched, QEvent* event)
{
    // Return in the zoom field applies the zoom. The field then ignores the
    // key, which passes on to the dialog's default button and closes it:
    // hand the key to the field here and mark it taken.
    if (event->type() == QEvent::KeyPress && watched->parent() == m_ui->zoomSlider) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            watched->event(event);
            event->accept();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TracerDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // Only now has the layout given the preview its size.
    if (m_fitZoomOnShow) {
        m_fitZoomOnShow = false;
        fitZoom();
    }
}

void TracerDialog::fitZoom()
{
    if (m_pixmap.isNull())
        return;
    // A pixel to spare on each side for the frame's outline; whole percents,
    // rounded down, as the zoom field shows them.
    const QSize room = m_ui->graphicsView->maximumViewportSize() - QSize(2, 2);
    const qreal fit = qMin(qreal(room.width()) / m_pixmap.width(), qreal(room.height()) / m_pixmap.height());
    const QVector<float>& steps = ZoomWidget::zoomSteps();
    const int percent = int(std::floor(fit * 100.0));
    m_ui->zoomSlider->setZoom(qBound(int(steps.first() * 100), percent, int(steps.last() * 100)));
}

void TracerDialog::setStartPixel(int x, int y)
{
    m_tracer.setStartPixel(x, y);
    updateTrace();
}

void TracerDialog::scaleView(float factor)
{
    m_ui->graphicsView->resetTransform();
    m_ui->graphicsView->scale(factor, -factor);
    m_markers->setViewScale(factor);
}

void TracerDialog::on_alphaThresholdSpinBox_valueChanged(int)
{
    updateTrace();
}

void TracerDialog::on_toleranceSpinBox_valueChanged(double)
{
    updateTrace();
}

void TracerDialog::on_traceModeComboBox_currentIndexChanged(int)
{
    updateTrace();
}

void TracerDialog::on_animationPhaseSlider_sliderMoved(int position)
{
    m_pixmap = loadFrame(position);
    m_pixmapItem->showPixmap(m_pixmap);
    updateTrace();
}

void TracerDialog::on_animationTraceMode_currentIndexChanged(int)
{
    m_compositeStale = true;
    updateTrace();
}

void TracerDialog::on_allIslandsCheckBox_toggled(bool checked)
{
    m_ui->keepHolesCheckBox->setEnabled(checked);
    updateTrace();
}

void TracerDialog::on_keepHolesCheckBox_toggled(bool)
{
    updateTrace();
}

void TracerDialog::on_minimumAreaSpinBox_valueChanged(int)
{
    updateTrace();
}

QPixmap TracerDialog::loadFrame(int index) const
{
    if (!m_body)
        return m_pixmap;
    m_body->showImage(index);
    const QStringList files = m_body->imageFileNames();
    if (files.isEmpty())
        return m_body->pixmap();
    // The body does not reload its current image while it shows another
    // frame, so its pixmap can be stale; the frame comes from the same
    // image cache the body loads from, and costs no second decoding.
    return ImageCache::load(files.at(qBound(0, index, files.size() - 1))).pixmap;
}

QImage TracerDialog::buildComposite(int frameMode) const
{
    const ImageCache::Batch batch;
    FrameComposite composite(m_compositeSize, AnimationTraceMode(frameMode), 0);
    const int frames = m_body ? m_body->imageFileNames().size() : 0;
    for (int i = 0; i < frames; ++i)
        composite.addFrame(loadFrame(i).toImage());
    return composite.image();
}

QImage TracerDialog::shownImage()
{
    if (m_pixmap.cacheKey() != m_shownImageKey) {
        m_shownImage = m_pixmap.toImage();
        m_shownImageKey = m_pixmap.cacheKey();
    }
    return m_shownImage;
}

void TracerDialog::updateTrace()
{
    if (m_settingUp)
        return;
    const float tolerance = float(m_ui->toleranceSpinBox->value());
    const int alphaThreshold = m_ui->alphaThresholdSpinBox->value();
    const int mode = m_ui->traceModeComboBox->currentData().toInt();
    const int frameMode = m_ui->animationTraceMode->currentData().toInt();

    // The composite holds every frame's alpha as it is: traced at any
    // threshold, it finds what a composite built with that threshold would
    // (see FrameComposite), so a new threshold only walks again.
    if (!isCompositeMode(frameMode)) {
        m_tracedImage = shownImage();
    } else if (m_compositeStale) {
        m_compositeStale = false;
        m_tracedImage = buildComposite(frameMode);
    }

    // A walk depends only on the image, threshold, walker and start pixel; a
    // new tolerance simplifies the outline already walked.
    const TraceInputs inputs{m_tracedImage.cacheKey(), alphaThreshold, mode, m_tracer.startPixel()};
    if (!m_traced || !(inputs == m_lastTrace)) {
        m_tracer.trace(m_tracedImage, alphaThreshold, TraceMode(mode));
        m_lastTrace = inputs;
        m_traced = true;
    }
    m_polygon = m_tracer.polygon(tolerance);
    m_polygons.clear();
    if (!m_ui->allIslandsCheckBox->isChecked()) {
        if (m_polygon.size() >= 3)
            m_polygons << m_polygon;
    } else {
        m_polygons = controls().trace(m_tracedImage);
    }
    updatePreview();
}

void TracerDialog::updatePreview()
{
    const bool islands = m_ui->allIslandsCheckBox->isChecked();
    m_polygonItem->setPolygon(m_polygon);
    m_polygonItem->setVisible(!islands);
    m_islandsItem->setVisible(islands);
    m_ui->islandsLabel->setVisible(islands);
    if (!islands) {
        m_markers->setPoints(m_polygon);
        m_ui->vertexLineEdit->setText(QString::number(m_polygon.size()));
    } else {
        QPainterPath path;
        QPolygonF points;
        for (const QPolygonF& polygon : qAsConst(m_polygons)) {
            path.addPolygon(polygon);
            path.closeSubpath();
            points += polygon;
        }
        m_islandsItem->setPath(path);
        m_markers->setPoints(points);
        m_ui->vertexLineEdit->setText(QString::number(points.size()));
        m_ui->islandsLabel->setText(tr("%1 islands, %2 vertices").arg(m_polygons.size()).arg(points.size()));
    }
    // An outline of fewer than three vertices has no area for a physics engine.
    if (QPushButton* ok = m_ui->buttonBox->button(QDialogButtonBox::Ok))
        ok->setEnabled(!m_polygons.isEmpty());

    const QRectF frame(0, 0, m_pixmap.width(), m_pixmap.height());
    m_frameItem->setRect(frame);
    m_scene->setSceneRect(frame);
}
