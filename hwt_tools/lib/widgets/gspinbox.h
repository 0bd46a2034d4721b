#pragma once

#include <QSpinBox>

// A spin box that accepts the whole 32-bit signed range.
class GSpinBox : public QSpinBox
{
    Q_OBJECT
public:
    explicit GSpinBox(QWidget* parent = nullptr);
};
