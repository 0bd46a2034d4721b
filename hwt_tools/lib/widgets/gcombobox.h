#pragma once

#include <QComboBox>

class GComboBox : public QComboBox
{
    Q_OBJECT
public:
    explicit GComboBox(QWidget* parent = nullptr);
};
