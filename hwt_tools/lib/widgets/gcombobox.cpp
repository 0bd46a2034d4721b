#include "gcombobox.h"

GComboBox::GComboBox(QWidget* parent)
    : QComboBox(parent)
{
}
