#include "gspinbox.h"

#include <limits>

GSpinBox::GSpinBox(QWidget* parent)
    : QSpinBox(parent)
{
    setRange(std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max());
}
