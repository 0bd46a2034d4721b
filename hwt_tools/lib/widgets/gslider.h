#pragma once

#include <QSlider>

class GSlider : public QSlider
{
    Q_OBJECT
public:
    explicit GSlider(QWidget* parent = nullptr);
};
