#include "shapeeditor.h"
#include "ui_shapeeditor.h"

#include "element.h"
#include "exporter.h"
#include "fixturecircle.h"
#include "limbeditorscene.h"
#include "shape.h"
#include "shapehandle.h"
#include "tracerdialog.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QGraphicsPixmapItem>
#include <QKeyEvent>
#include <QLineF>
#include <QShortcut>
#include <QSignalBlocker>

#include <cmath>

namespace {
QString coordinate(double value)
{
    return QString::number(value, 'g', 6);
}
}

ShapeEditor::ShapeEditor(QWidget* parent)
    : QWidget(parent)
    , m_ui(std::make_unique<Ui::ShapeEditor>())
{
    m_ui->setupUi(this);
    m_ui->graphicsView->setZoom(1);
    m_ui->graphicsView->setRenderHint(QPainter::Antialiasing);
    connect(m_ui->zoomSlider, &ZoomWidget::zoomScaleChanged, this, &ShapeEditor::zoom);
    connect(m_ui->graphicsView, &GGraphicsView::zoomRequested, this, &ShapeEditor::zoomAround);
    connect(m_ui->graphicsView, &GGraphicsView::resized, this, &ShapeEditor::fitIfPending);
    // Wherever the focus is in the editor; fields elsewhere in the window keep the keys.
    auto* fit = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_0), this, nullptr, nullptr,
                              Qt::WidgetWithChildrenShortcut);
    connect(fit, &QShortcut::activated, this, &ShapeEditor::fitImage);
    updateButtons();
    shapeHandleActivated(nullptr);
}

ShapeEditor::~ShapeEditor()
{
    dropScene();
}

void ShapeEditor::dropScene()
{
    forgetHandle();
    m_ui->graphicsView->showScene(nullptr);
    m_scene.reset();
    shapeHandleActivated(nullptr);
    showRadius();
}

void ShapeEditor::zoom(float factor)
{
    if (!std::isfinite(factor) || factor <= 0)
        return;
    factor = qBound(ZoomWidget::minimumZoom(), factor, ZoomWidget::maximumZoom());
    m_ui->graphicsView->setZoom(factor);
    if (m_ui->zoomSlider->zoom() != factor) {
        const QSignalBlocker block(m_ui->zoomSlider);
        m_ui->zoomSlider->setZoom(factor);
    }
}

void ShapeEditor::zoomAround(qreal factor, const QPointF& viewportPoint)
{
    GGraphicsView* view = m_ui->graphicsView;
    const QPointF anchor = view->sceneAt(viewportPoint);
    zoom(float(view->zoom() * factor));
    view->placeAt(anchor, viewportPoint);
    m_fitPending = false;
}

bool ShapeEditor::fitNow()
{
    const QGraphicsPixmapItem* image = m_scene ? m_scene->imageItem() : nullptr;
    if (!image)
        return false;
    const QRectF rect = image->sceneBoundingRect();
    // Zero for an image not loaded (yet) or a view with no room.
    const qreal factor = m_ui->graphicsView->zoomToFit(rect);
    if (!(factor > 0))
        return false;
    zoom(float(factor));
    m_ui->graphicsView->placeInMiddle(rect.center());
    return true;
}

void ShapeEditor::fitImage()
{
    if (fitNow())
        m_fitPending = false;
}

void ShapeEditor::on_fitButton_clicked()
{
    fitImage();
}

// A body shown for the first time is fitted once its view has its size and
// the body its image; either may come later than the body.
void ShapeEditor::fitIfPending()
{
    if (m_fitPending && m_ui->graphicsView->isVisible())
        fitImage();
}

void ShapeEditor::rememberView()
{
    if (!m_element || !m_scene || m_fitPending)
        return;
    for (auto it = m_views.begin(); it != m_views.end();)
        it = it->body ? std::next(it) : m_views.erase(it);
    const GGraphicsView* view = m_ui->graphicsView;
    m_views.insert(m_element.data(), ViewState{m_element, view->zoom(), view->middle()});
}

void ShapeEditor::restoreView()
{
    const auto it = m_views.constFind(m_element.data());
    if (it != m_views.constEnd() && it->body == m_element) {
        m_fitPending = false;
        zoom(float(it->zoom));
        m_ui->graphicsView->placeInMiddle(it->centre);
        return;
    }
    m_fitPending = true;
    fitIfPending();
}

void ShapeEditor::setElement(Element* body)
{
    if (body && body == m_element && m_scene) {
        m_scene->rebuildShapes();
        updateButtons();
        return;
    }
    if (m_element)
        disconnect(m_element, nullptr, this, nullptr);
    rememberView();
    m_element = body;
    dropScene();

    if (body) {
        // Should the body go while it is shown, its shapes must not outlive its fixtures.
        connect(body, &QObject::destroyed, this, [this]() { setElement(nullptr); });
        m_scene = std::make_unique<LimbEditorScene>(m_exporter, body);
        emit sceneChanged(m_scene.get());
        connect(m_scene.get(), &LimbEditorScene::shapeHandleActivated, this, &ShapeEditor::shapeHandleActivated);
        connect(m_scene.get(), &LimbEditorScene::shapeHandleDeactivated, this,
                &ShapeEditor::shapeHandleDeactivated);
        connect(m_scene.get(), &LimbEditorScene::currentShapeChanged, this, &ShapeEditor::showRadius);
        m_scene->selectFirstFixture();
        m_ui->graphicsView->showScene(m_scene.get());
        // Connected after the scene, which takes in a new image first.
        connect(body, &Element::pixmapChanged, this, &ShapeEditor::fitIfPending);
        restoreView();
    }
    showRadius();
    updateButtons();
}

void ShapeEditor::exporterChanged(Exporter* exporter)
{
    m_exporter = exporter;
    if (m_scene) {
        m_scene->setExporter(exporter);
        updateButtons();
    }
}

void ShapeEditor::updateButtons()
{
    if (m_exporter)
        m_ui->addCircleButton->setVisible(m_exporter->supportsCircles());
    const bool hasBody = !m_element.isNull();
    m_ui->deletePolygonButton->setEnabled(hasBody);
    m_ui->addCircleButton->setEnabled(hasBody);
    m_ui->addPolygonButton->setEnabled(hasBody);
    m_ui->tracerButton->setEnabled(hasBody);
    m_ui->flipHorizontally->setEnabled(hasBody);
    m_ui->flipVertically->setEnabled(hasBody);
    m_ui->fitButton->setEnabled(hasBody);
}

void ShapeEditor::forgetHandle()
{
    if (m_handle)
        m_handle->setListener(nullptr);
    m_handle = nullptr;
}

void ShapeEditor::shapeHandleActivated(ShapeHandle* handle)
{
    if (handle) {
        if (handle != m_handle)
            forgetHandle();
        m_handle = handle;
        handle->setListener(this);
        m_ui->vertexXLineEdit->setEnabled(true);
        m_ui->vertexYLineEdit->setEnabled(true);
        showHandlePosition(handle->pos());
    } else {
        m_ui->vertexXLineEdit->setText(QString());
        m_ui->vertexYLineEdit->setText(QString());
        m_ui->vertexXLineEdit->setEnabled(false);
        m_ui->vertexYLineEdit->setEnabled(false);
    }
}

void ShapeEditor::shapeHandleDeactivated(ShapeHandle* handle)
{
    if (handle && handle == m_handle)
        forgetHandle();
    if (!m_handle)
        shapeHandleActivated(nullptr);
}

void ShapeEditor::handleDestroyed(ShapeHandle* handle)
{
    if (handle == m_handle)
        m_handle = nullptr;
    if (!m_handle)
        shapeHandleActivated(nullptr);
}

void ShapeEditor::handlePositionChanged(const QPointF& position)
{
    showHandlePosition(position);
    // A circle's handle is its radius, measured from the centre.
    if (m_handle && m_scene && m_handle->ownerShape() == m_scene->currentShape() && currentCircle())
        m_ui->radiusLineEdit->setText(coordinate(QLineF(QPointF(), position).length()));
}

FixtureCircle* ShapeEditor::currentCircle() const
{
    const Shape* shape = m_scene ? m_scene->currentShape() : nullptr;
    return shape ? qobject_cast<FixtureCircle*>(shape->fixture()) : nullptr;
}

void ShapeEditor::showRadius()
{
    QLineEdit* field = m_ui->radiusLineEdit;
    const FixtureCircle* circle = currentCircle();
    field->setEnabled(circle != nullptr);
    // setText, unlike clear(), leaves the field unmodified.
    if (!circle)
        field->setText(QString());
    else if (!field->isModified())  // a radius being typed stays until the field is left
        field->setText(coordinate(circle->radius()));
}

// A typed radius is recorded when the field is left or confirmed, as one step,
// the same as a drag of the circle's handle.
void ShapeEditor::on_radiusLineEdit_editingFinished()
{
    QLineEdit* field = m_ui->radiusLineEdit;
    FixtureCircle* circle = currentCircle();
    if (circle && field->isModified()) {
        bool ok = false;
        const double radius = field->text().trimmed().toDouble(&ok);
        // Anything but a positive radius puts the current one back.
        if (ok && std::isfinite(radius) && radius > 0)
            circle->setCircle(QCoreApplication::translate("ShapeCircle", "resize circle"), circle->center(), radius);
    }
    field->setModified(false);
    showRadius();
}

void ShapeEditor::showHandlePosition(const QPointF& position)
{
    if (m_typingIn != m_ui->vertexXLineEdit)
        m_ui->vertexXLineEdit->setText(coordinate(position.x()));
    if (m_typingIn != m_ui->vertexYLineEdit)
        m_ui->vertexYLineEdit->setText(coordinate(position.y()));
}

void ShapeEditor::applyTypedCoordinate(QLineEdit* field, Qt::Orientation axis, const QString& text)
{
    if (!m_handle)
        return;
    // Text that is no number reads as 0.
    const double value = text.toDouble();
    m_typingIn = field;
    if (axis == Qt::Horizontal)
        m_handle->setX(value);
    else
        m_handle->setY(value);
    m_typingIn = nullptr;
}

void ShapeEditor::on_vertexXLineEdit_textEdited(const QString& text)
{
    applyTypedCoordinate(m_ui->vertexXLineEdit, Qt::Horizontal, text);
}

void ShapeEditor::on_vertexYLineEdit_textEdited(const QString& text)
{
    applyTypedCoordinate(m_ui->vertexYLineEdit, Qt::Vertical, text);
}

// A typed coordinate is recorded when its field is left or confirmed, as one
// step, the same as dragging the handle there; the field then shows where the
// handle snapped to.
void ShapeEditor::commitTypedPosition()
{
    if (!m_handle || !m_scene)
        return;
    m_scene->commitHandle(m_handle);
    if (m_handle)
        showHandlePosition(m_handle->pos());
}

void ShapeEditor::on_vertexXLineEdit_editingFinished()
{
    commitTypedPosition();
}

void ShapeEditor::on_vertexYLineEdit_editingFinished()
{
    commitTypedPosition();
}

void ShapeEditor::on_addPolygonButton_clicked()
{
    if (m_scene)
        m_scene->addPolygon(m_scene->defaultTriangle(qAbs(m_ui->graphicsView->transform().m11())));
}

void ShapeEditor::on_addCircleButton_clicked()
{
    if (m_scene)
        m_scene->addCircle();
}

void ShapeEditor::on_deletePolygonButton_clicked()
{
    if (m_scene)
        m_scene->deleteCurrentShape();
}

void ShapeEditor::on_flipHorizontally_clicked()
{
    if (m_scene)
        m_scene->flipHorizontally();
}

void ShapeEditor::on_flipVertically_clicked()
{
    if (m_scene)
        m_scene->flipVertically();
}

void ShapeEditor::on_tracerButton_clicked()
{
    if (!m_element || !m_scene)
        return;
    TracerDialog dialog(m_element, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    // Only polygons of three vertices or more come: fewer enclose nothing,
    // and such a fixture could not be published.
    const QVector<QPolygonF> polygons = dialog.polygons();
    if (m_scene)
        m_scene->addPolygons(polygons);
}

void ShapeEditor::keyReleaseEvent(QKeyEvent* event)
{
    // Delete and Escape typed into a coordinate or zoom field belong to that field.
    QWidget* focus = QApplication::focusWidget();
    const bool inField = qobject_cast<QLineEdit*>(focus) || qobject_cast<QAbstractSpinBox*>(focus);
    if (event->matches(QKeySequence::Delete) && !inField) {
        // A selected vertex goes alone; without one, the whole shape.
        if (m_scene && !m_scene->deleteSelectedVertex())
            m_scene->deleteCurrentShape();
        event->accept();
    } else if (event->key() == Qt::Key_Escape && !inField) {
        if (m_scene)
            m_scene->rotateMode(false);
    }
    QWidget::keyReleaseEvent(event);
}

void ShapeEditor::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange)
        m_ui->retranslateUi(this);
    QWidget::changeEvent(event);
}
