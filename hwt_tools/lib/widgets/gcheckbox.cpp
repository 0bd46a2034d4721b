#include "gcheckbox.h"

GCheckBox::GCheckBox(QWidget* parent)
    : QCheckBox(parent)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}
