#include "glineedit.h"

GLineEdit::GLineEdit(QWidget* parent)
    : QLineEdit(parent)
    , m_validTextColor(palette().color(QPalette::Active, QPalette::Text))
{
    connect(this, &QLineEdit::textChanged, this, &GLineEdit::textChangedHook);
}

void GLineEdit::setExpectedLength(int length)
{
    m_expectedLength = length;
    setMaxLength(length > 0 ? length : 32767);
    updateGeometry();
}

QSize GLineEdit::sizeHint() const
{
    if (m_expectedLength < 0)
        return QSize(50, 20);
    const QSize base = QLineEdit::sizeHint();
    const int width = fontMetrics().horizontalAdvance(QString(m_expectedLength, QLatin1Char('M')));
    return QSize(width, base.height());
}

bool GLineEdit::validate(const QString& text, QString* errorMessage) const
{
    Q_UNUSED(text)
    if (errorMessage)
        errorMessage->clear();
    return true;
}

void GLineEdit::slotChanged(const QString& text)
{
    Q_UNUSED(text)
}

void GLineEdit::textChangedHook(const QString& text)
{
    QString message;
    const bool valid = validate(text, &message);
    m_errorMessage = valid ? QString() : message;
    if (valid != m_valid) {
        m_valid = valid;
        updateAppearance();
        emit validChanged(valid);
    }
    slotChanged(text);
}

void GLineEdit::updateAppearance()
{
    QPalette p = palette();
    p.setColor(QPalette::Active, QPalette::Text, m_valid ? m_validTextColor : QColor(Qt::red));
    p.setColor(QPalette::Inactive, QPalette::Text, m_valid ? m_validTextColor : QColor(Qt::red));
    setPalette(p);
}
