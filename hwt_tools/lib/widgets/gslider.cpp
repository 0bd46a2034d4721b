#include "gslider.h"

GSlider::GSlider(QWidget* parent)
    : QSlider(parent)
{
}
