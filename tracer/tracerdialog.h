#pragma once

#include "outlinetracer.h"
#include "tracersettings.h"

#include <QDialog>
#include <QImage>
#include <QPixmap>
#include <QPoint>
#include <QPolygonF>
#include <QSize>

#include <memory>

class Element;
class PixmapItem;
class QGraphicsPathItem;
class QGraphicsPolygonItem;
class QGraphicsRectItem;
class QGraphicsScene;

namespace Ui {
class TracerDialog;
}

namespace TracerDialogDetail {
class VertexMarkers;
}

// Traces an outline from the alpha of a body's image (or of all its frames
// combined) with a live preview, and hands the polygon to the shape editor.
// With "All islands" it traces every island instead, one polygon each.
// Every change of a control traces again; the controls' values persist in the
// "tracer" settings group from one dialog to the next.
class TracerDialog final : public QDialog
{
    Q_OBJECT
public:
    explicit TracerDialog(Element* body, QWidget* parent = nullptr);
    ~TracerDialog() override;

    // The last traced polygon, in body coordinates (y up). OK is only enabled
    // while it has at least three vertices.
    QPolygonF polygon() const { return m_polygon; }
    // What OK hands on: the traced polygon, or with "All islands" one
    // polygon per island; only polygons of at least three vertices.
    QVector<QPolygonF> polygons() const { return m_polygons; }

    // Traces from the pixel (image coordinates, y down) pressed on the preview.
    void setStartPixel(int x, int y);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private slots:
    void scaleView(float factor);
    void on_alphaThresholdSpinBox_valueChanged(int value);
    void on_toleranceSpinBox_valueChanged(double value);
    void on_traceModeComboBox_currentIndexChanged(int index);
    void on_animationPhaseSlider_sliderMoved(int position);
    void on_animationTraceMode_currentIndexChanged(int index);
    void on_allIslandsCheckBox_toggled(bool checked);
    void on_keepHolesCheckBox_toggled(bool checked);
    void on_minimumAreaSpinBox_valueChanged(int value);

private:
    void readSettings();
    void writeSettings() const;
    // The tracing values the controls show.
    TracerSettings controls() const;
    // The zoom at which the whole sprite fits the preview.
    void fitZoom();
    void updateTrace();
    void updatePreview();
    // Loads frame `index` into the body and returns that frame's picture.
    QPixmap loadFrame(int index) const;
    // The least or greatest alpha of all frames, with no threshold applied.
    QImage buildComposite(int frameMode) const;
    // The pixmap on show as an image, converted once per pixmap.
    QImage shownImage();

    std::unique_ptr<Ui::TracerDialog> m_ui;
    QGraphicsScene* m_scene;
    OutlineTracer m_tracer;
    Element* m_body;

    QPixmap m_pixmap;
    QImage m_shownImage;
    qint64 m_shownImageKey = 0;
    QImage m_tracedImage;
    bool m_compositeStale = true;
    // The composite's size: the body's image when the dialog opened. The
    // body takes the size of every frame it loads, so it cannot be asked later.
    QSize m_compositeSize;
    // No zoom stored: fit the sprite once the preview has its size.
    bool m_fitZoomOnShow = false;
    // Controls change one by one while the dialog is set up; one trace with
    // the final values follows.
    bool m_settingUp = true;

    // What the tracer last walked; the same inputs walk the same outline.
    struct TraceInputs
    {
        qint64 imageKey = 0;
        int alphaThreshold = -1;
        int mode = -1;
        QPoint startPixel;
        bool operator==(const TraceInputs& other) const
        {
            return imageKey == other.imageKey && alphaThreshold == other.alphaThreshold && mode == other.mode
                   && startPixel == other.startPixel;
        }
    };
    TraceInputs m_lastTrace;
    bool m_traced = false;

    PixmapItem* m_pixmapItem = nullptr;
    QGraphicsPolygonItem* m_polygonItem = nullptr;
    QGraphicsPathItem* m_islandsItem = nullptr;
    TracerDialogDetail::VertexMarkers* m_markers = nullptr;
    QGraphicsRectItem* m_frameItem = nullptr;
    QPolygonF m_polygon;
    QVector<QPolygonF> m_polygons;
};
