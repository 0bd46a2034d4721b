#include "zoomwidget.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QToolButton>

#include <cmath>

namespace {
constexpr int minimumPercent = 10;
constexpr int maximumPercent = 5000;

QToolButton* makeButton(const char* objectName, const char* icon, QWidget* parent)
{
    auto* button = new QToolButton(parent);
    button->setObjectName(QLatin1String(objectName));
    button->setIcon(QIcon(QLatin1String(icon)));
    button->setAutoRaise(true);
    return button;
}
}

ZoomWidget::ZoomWidget(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("ZoomWidget"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);

    m_value = new QSpinBox(this);
    m_value->setObjectName(QStringLiteral("zoomValue"));
    m_value->setRange(minimumPercent, maximumPercent);
    m_value->setSingleStep(17);
    m_value->setValue(100);
    m_value->setSuffix(QStringLiteral(" %"));
    m_value->setKeyboardTracking(false);

    m_zoomOut = makeButton("zoomOut", ":/32x32/ZoomOut.png", this);

    m_slider = new QSlider(Qt::Horizontal, this);
    m_slider->setObjectName(QStringLiteral("zoomSlider"));
    m_slider->setRange(minimumPercent, maximumPercent);
    m_slider->setValue(100);

    m_zoomIn = makeButton("zoomIn", ":/32x32/ZoomIn.png", this);
    m_zoom100 = makeButton("zoom100", ":/32x32/Zoom100.png", this);

    layout->addWidget(m_value);
    layout->addWidget(m_zoomOut);
    layout->addWidget(m_slider, 1);
    layout->addWidget(m_zoomIn);
    layout->addWidget(m_zoom100);

    retranslate();
    QMetaObject::connectSlotsByName(this);
}

const QVector<float>& ZoomWidget::zoomSteps()
{
    static const QVector<float> steps{0.1f, 0.2f, 0.25f, 0.33f, 0.5f, 0.75f, 1.0f, 1.5f, 2.0f, 3.0f, 4.0f,
                                      5.0f, 6.0f, 7.0f, 8.0f, 9.0f, 10.0f, 20.0f, 30.0f, 40.0f, 50.0f};
    return steps;
}

float ZoomWidget::minimumZoom() { return float(minimumPercent) / 100.0f; }
float ZoomWidget::maximumZoom() { return float(maximumPercent) / 100.0f; }

void ZoomWidget::apply(float factor)
{
    if (!std::isfinite(factor))
        return;
    m_zoom = qBound(minimumZoom(), factor, maximumZoom());
    const int percent = int(m_zoom * 100.0f);
    {
        const QSignalBlocker blockSpin(m_value);
        const QSignalBlocker blockSlider(m_slider);
        m_value->setValue(percent);
        m_slider->setValue(percent);
    }
    emit zoomScaleChanged(m_zoom);
}

void ZoomWidget::setZoom(float factor) { apply(factor); }
void ZoomWidget::setZoom(int percent) { apply(float(percent) / 100.0f); }
void ZoomWidget::on_zoomValue_valueChanged(int percent) { setZoom(percent); }
void ZoomWidget::on_zoomSlider_sliderMoved(int percent) { setZoom(percent); }
void ZoomWidget::on_zoom100_clicked() { apply(1.0f); }

void ZoomWidget::on_zoomIn_clicked()
{
    const float current = float(m_slider->value()) / 100.0f;
    const auto& steps = zoomSteps();
    for (float step : steps) {
        if (step > current) {
            apply(step);
            return;
        }
    }
    apply(steps.last());
}

void ZoomWidget::on_zoomOut_clicked()
{
    const float current = float(m_slider->value()) / 100.0f;
    const auto& steps = zoomSteps();
    for (auto it = steps.crbegin(); it != steps.crend(); ++it) {
        if (*it < current) {
            apply(*it);
            return;
        }
    }
    apply(steps.first());
}

void ZoomWidget::retranslate()
{
    m_value->setToolTip(tr("Zoom in percent"));
    m_zoomOut->setToolTip(tr("Zoom out"));
    m_zoomIn->setToolTip(tr("Zoom in"));
    m_zoom100->setToolTip(tr("Actual size"));
}

void ZoomWidget::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QWidget::changeEvent(event);
}
