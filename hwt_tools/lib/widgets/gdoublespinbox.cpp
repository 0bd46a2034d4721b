#include "gdoublespinbox.h"

#include <QLineEdit>
#include <QStyle>
#include <QStyleOptionSpinBox>

GDoubleSpinBox::GDoubleSpinBox(QWidget* parent)
    : QDoubleSpinBox(parent)
{
    setDecimals(2);
    setRange(-limit, limit);
    setSingleStep(0.1);
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    connect(this, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this, &GDoubleSpinBox::fitDisplayedText);
}

QSize GDoubleSpinBox::sizeForText(const QString& text) const
{
    // The same measure the spin box uses for its range, applied to one text:
    // the text, room for the cursor, then the frame and the buttons of the style.
    const QFontMetrics metrics(fontMetrics());
    const int width = metrics.horizontalAdvance(text + QLatin1Char(' ')) + 2;
    const int height = lineEdit()->sizeHint().height();
    QStyleOptionSpinBox option;
    initStyleOption(&option);
    return style()->sizeFromContents(QStyle::CT_SpinBox, &option, QSize(width, height), this);
}

QSize GDoubleSpinBox::sizeHint() const
{
    ensurePolished();
    return sizeForText(QStringLiteral("-1000.00"));
}

QSize GDoubleSpinBox::minimumSizeHint() const
{
    return sizeHint();
}

void GDoubleSpinBox::fitDisplayedText()
{
    const int needed = sizeForText(text()).width();
    if (needed > minimumWidth() && needed > minimumSizeHint().width())
        setMinimumWidth(needed);
}
