#pragma once

#include <QWidget>

class QSlider;
class QSpinBox;
class QToolButton;

// The zoom bar below the editor view and in the tracer dialog: a percent spin
// box, a slider and buttons that step through fixed zoom levels.
class ZoomWidget : public QWidget
{
    Q_OBJECT
public:
    explicit ZoomWidget(QWidget* parent = nullptr);

    float zoom() const { return m_zoom; }
    // The fixed zoom levels, ascending (1.0 = 100 %).
    static const QVector<float>& zoomSteps();
    // The range of the bar; a zoom set from outside is kept within it.
    static float minimumZoom();
    static float maximumZoom();

signals:
    void zoomScaleChanged(float factor);

public slots:
    void setZoom(float factor);
    void setZoom(int percent);

private slots:
    void on_zoomValue_valueChanged(int percent);
    void on_zoomSlider_sliderMoved(int percent);
    void on_zoom100_clicked();
    void on_zoomIn_clicked();
    void on_zoomOut_clicked();

private:
    void apply(float factor);
    void retranslate();
    void changeEvent(QEvent* event) override;

    float m_zoom = 1.0f;
    QSpinBox* m_value = nullptr;
    QToolButton* m_zoomOut = nullptr;
    QSlider* m_slider = nullptr;
    QToolButton* m_zoomIn = nullptr;
    QToolButton* m_zoom100 = nullptr;
};
