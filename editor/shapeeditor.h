#pragma once

#include "element.h"
#include "handleposlistener.h"

#include <QHash>
#include <QPointer>
#include <QWidget>

#include <memory>

class Exporter;
class FixtureCircle;
class LimbEditorScene;
class QLineEdit;
class ShapeHandle;

namespace Ui {
class ShapeEditor;
}

// The central editing widget: tool buttons, the selected vertex's coordinates
// and the current circle's radius above the view of the current body's scene,
// a zoom bar below. Each body opens fitted into the view the first time it is
// shown; its zoom and scroll position are kept for when it is shown again.
class ShapeEditor final : public QWidget, public HandlePosListener
{
    Q_OBJECT
public:
    explicit ShapeEditor(QWidget* parent = nullptr);
    ~ShapeEditor() override;

    LimbEditorScene* scene() const { return m_scene.get(); }
    Element* element() const { return m_element; }
    Exporter* exporter() const { return m_exporter; }
    ShapeHandle* selectedHandle() const { return m_handle; }

    void handlePositionChanged(const QPointF& position) override;
    void handleDestroyed(ShapeHandle* handle) override;

signals:
    void sceneChanged(LimbEditorScene* scene);

public slots:
    void setElement(Element* body);
    void exporterChanged(Exporter* exporter);
    // Kept within the zoom bar's range; the bar follows.
    void zoom(float factor);
    // Fits the body's image into the view, centred (Ctrl+0).
    void fitImage();
    void shapeHandleActivated(ShapeHandle* handle);
    void shapeHandleDeactivated(ShapeHandle* handle);

private slots:
    void on_vertexXLineEdit_textEdited(const QString& text);
    void on_vertexYLineEdit_textEdited(const QString& text);
    void on_vertexXLineEdit_editingFinished();
    void on_vertexYLineEdit_editingFinished();
    void on_addPolygonButton_clicked();
    void on_addCircleButton_clicked();
    void on_deletePolygonButton_clicked();
    void on_flipHorizontally_clicked();
    void on_flipVertically_clicked();
    void on_tracerButton_clicked();
    void on_fitButton_clicked();
    void on_radiusLineEdit_editingFinished();
    void zoomAround(qreal factor, const QPointF& viewportPoint);
    void fitIfPending();

protected:
    void keyReleaseEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void updateButtons();
    void forgetHandle();
    void showHandlePosition(const QPointF& position);
    void applyTypedCoordinate(QLineEdit* field, Qt::Orientation axis, const QString& text);
    void commitTypedPosition();
    void dropScene();
    bool fitNow();
    void rememberView();
    void restoreView();
    FixtureCircle* currentCircle() const;
    void showRadius();

    std::unique_ptr<Ui::ShapeEditor> m_ui;
    std::unique_ptr<LimbEditorScene> m_scene;
    QPointer<Element> m_element;
    Exporter* m_exporter = nullptr;
    ShapeHandle* m_handle = nullptr;
    // The field whose text is moving the handle; it is not overwritten while typed in.
    QLineEdit* m_typingIn = nullptr;

    struct ViewState
    {
        // Null once the body is gone; another body may come to the same address.
        QPointer<Element> body;
        qreal zoom = 1;
        QPointF centre;
    };
    QHash<const Element*, ViewState> m_views;
    // The body is shown for the first time and waits for a visible view and an image to fit.
    bool m_fitPending = false;
};
