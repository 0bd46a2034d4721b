#pragma once

#include <QDoubleSpinBox>

// A double spin box with two decimals and a practically unlimited range. Its
// preferred size fits an everyday value; showing a longer value widens its
// minimum size so that the text stays readable.
class GDoubleSpinBox : public QDoubleSpinBox
{
    Q_OBJECT
public:
    static constexpr double limit = 99999999999999.0;

    explicit GDoubleSpinBox(QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

private:
    QSize sizeForText(const QString& text) const;
    void fitDisplayedText();
};
