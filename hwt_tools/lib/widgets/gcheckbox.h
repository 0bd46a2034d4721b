#pragma once

#include <QCheckBox>

// A check box that keeps its own size in layouts.
class GCheckBox : public QCheckBox
{
    Q_OBJECT
public:
    explicit GCheckBox(QWidget* parent = nullptr);
};
