#include "shapeeditor.h"
#include "ui_shapeeditor.h"

#include "element.h"
#include "exporter.h"
#include "limbeditorscene.h"
#include "shapehandle.h"
#include "tracerdialog.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QKeyEvent>

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
    m_ui->graphicsView->scale(1, -1);
    m_ui->graphicsView->setRenderHint(QPainter::Antialiasing);
    connect(m_ui->zoomSlider, &ZoomWidget::zoomScaleChanged, this, &ShapeEditor::zoom);
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
    m_ui->graphicsView->setScene(nullptr);
    m_scene.reset();
    shapeHandleActivated(nullptr);
}

void ShapeEditor::zoom(float factor)
{
    m_ui->graphicsView->resetTransform();
    m_ui->graphicsView->scale(factor, -factor);
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
        m_scene->selectFirstFixture();
        m_ui->graphicsView->setScene(m_scene.get());
    }
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
        m_scene->addPolygon(QPolygonF(QVector<QPointF>{QPointF(0, 0), QPointF(40, 40), QPointF(0, 40)}));
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
    const QPolygonF polygon = dialog.polygon();
    // Fewer than three vertices enclose nothing; such a fixture could not be published.
    if (polygon.size() >= 3 && m_scene)
        m_scene->addPolygon(polygon);
}

void ShapeEditor::keyReleaseEvent(QKeyEvent* event)
{
    // Delete and Escape typed into a coordinate or zoom field belong to that field.
    QWidget* focus = QApplication::focusWidget();
    const bool inField = qobject_cast<QLineEdit*>(focus) || qobject_cast<QAbstractSpinBox*>(focus);
    if (event->matches(QKeySequence::Delete) && !inField) {
        if (m_scene)
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
