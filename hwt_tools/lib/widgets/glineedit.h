#pragma once

#include <QLineEdit>

// A line edit that checks its text on every change. Subclasses decide what is
// valid by overriding validate(); invalid text is shown in red. The expected
// length, when set, sizes the field and limits the input.
class GLineEdit : public QLineEdit
{
    Q_OBJECT
public:
    explicit GLineEdit(QWidget* parent = nullptr);

    bool isValid() const { return m_valid; }
    // Why the text is invalid; empty while it is valid.
    QString errorMessage() const { return m_errorMessage; }

    // In characters; -1 (the default) for no particular length.
    int expectedLength() const { return m_expectedLength; }
    void setExpectedLength(int length);

    QSize sizeHint() const override;

signals:
    void validChanged(bool valid);

protected:
    // Accepts everything; subclasses narrow it down.
    virtual bool validate(const QString& text, QString* errorMessage) const;
    // Called after every text change, once the text has been validated.
    virtual void slotChanged(const QString& text);

private:
    void textChangedHook(const QString& text);
    void updateAppearance();

    bool m_valid = true;
    QString m_errorMessage;
    int m_expectedLength = -1;
    QColor m_validTextColor;
};
