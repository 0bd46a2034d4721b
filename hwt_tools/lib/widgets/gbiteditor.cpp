#include "gbiteditor.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>

GBitEditor::GBitEditor(int bitCount, QWidget* parent)
    : QWidget(parent)
    , m_bitCount(std::clamp(bitCount, 0, maximumBitCount))
    , m_layout(new QGridLayout(this))
{
    m_layout->setSpacing(1);
    m_layout->setColumnStretch(0, 10);

    auto* header = new QLabel(tr("Bit's name"), this);
    header->setObjectName(QStringLiteral("bitNameHeader"));
    m_layout->addWidget(header, 0, 0);

    m_names.reserve(m_bitCount);
    for (int bit = 0; bit < m_bitCount; ++bit) {
        auto* name = new QLineEdit(QStringLiteral("bit_%1").arg(bit), this);
        name->setObjectName(QStringLiteral("bitName_%1").arg(bit));
        // Only a name the user actually changed is reported; leaving the field
        // untouched must not turn into an edit of the document.
        connect(name, &QLineEdit::editingFinished, this, [this, name] {
            if (!name->isModified())
                return;
            name->setModified(false);
            labelEdited();
        });
        m_layout->addWidget(name, bit + 1, 0);
        m_names.append(name);
    }

    auto* hexHeader = new QLabel(tr("value (hex)"), this);
    hexHeader->setObjectName(QStringLiteral("hexHeader"));
    m_layout->addWidget(hexHeader, m_bitCount + 2, 0);
}

GBitEditor::~GBitEditor() = default;

int GBitEditor::addRow()
{
    const int row = rowCount();
    const int column = row + 1;
    Row entry;

    entry.name = new QLabel(this);
    entry.name->setObjectName(QStringLiteral("rowName_%1").arg(row));
    m_layout->addWidget(entry.name, 0, column);

    entry.bits.reserve(m_bitCount);
    for (int bit = 0; bit < m_bitCount; ++bit) {
        auto* box = new QCheckBox(this);
        box->setObjectName(QStringLiteral("bit_%1_%2").arg(row).arg(bit));
        connect(box, &QCheckBox::clicked, this, [this, row] { bitChanged(row); });
        m_layout->addWidget(box, bit + 1, column);
        entry.bits.append(box);
    }

    entry.hex = new QLineEdit(hexText(0), this);
    entry.hex->setObjectName(QStringLiteral("hex_%1").arg(row));
    connect(entry.hex, &QLineEdit::textEdited, this, [this, row] { lineEditChanged(row); });
    m_layout->addWidget(entry.hex, m_bitCount + 2, column);

    const struct
    {
        QString text;
        const char* objectName;
        void (GBitEditor::*slot)(int);
    } buttons[] = {
        {tr("All"), "all_%1", &GBitEditor::allButtonPressed},
        {tr("None"), "none_%1", &GBitEditor::noneButtonPressed},
        {tr("Inv."), "inverse_%1", &GBitEditor::inverseButtonPressed},
    };
    int buttonRow = m_bitCount + 3;
    for (const auto& button : buttons) {
        auto* widget = new QPushButton(button.text, this);
        widget->setObjectName(QString::fromLatin1(button.objectName).arg(row));
        const auto slot = button.slot;
        connect(widget, &QPushButton::clicked, this, [this, row, slot] { (this->*slot)(row); });
        m_layout->addWidget(widget, buttonRow++, column);
    }

    m_rows.push_back(entry);
    return row;
}

void GBitEditor::setRowName(int row, const QString& text)
{
    if (isRow(row))
        m_rows[size_t(row)].name->setText(text);
}

QString GBitEditor::rowName(int row) const
{
    return isRow(row) ? m_rows[size_t(row)].name->text() : QString();
}

quint32 GBitEditor::value(int row) const
{
    if (!isRow(row))
        return 0;
    quint32 result = 0;
    const QList<QCheckBox*>& bits = m_rows[size_t(row)].bits;
    for (int bit = 0; bit < bits.size(); ++bit) {
        if (bits.at(bit)->isChecked())
            result |= quint32(1) << bit;
    }
    return result;
}

void GBitEditor::setValue(int row, quint32 value)
{
    if (!isRow(row))
        return;
    // Bits beyond the editor's width are not shown, so they are not kept either.
    value &= widthMask();
    const bool changed = value != this->value(row);
    // The hex field may hold text the user typed; a value set from outside replaces it.
    m_rows[size_t(row)].hex->setText(hexText(value));
    if (!changed)
        return;
    setBits(row, value);
    emit valueChanged(row, value);
}

void GBitEditor::setLabels(const QStringList& labels)
{
    for (int bit = 0; bit < m_names.size(); ++bit)
        m_names.at(bit)->setText(bit < labels.size() ? labels.at(bit) : QStringLiteral("bit_%1").arg(bit));
}

QStringList GBitEditor::labels() const
{
    QStringList result;
    result.reserve(m_names.size());
    for (const QLineEdit* name : m_names)
        result.append(name->text());
    return result;
}

void GBitEditor::allButtonPressed(int row)
{
    setValue(row, 0xffffffffu);
}

void GBitEditor::noneButtonPressed(int row)
{
    setValue(row, 0);
}

void GBitEditor::inverseButtonPressed(int row)
{
    if (isRow(row))
        setValue(row, ~value(row));
}

void GBitEditor::bitChanged(int row)
{
    if (!isRow(row))
        return;
    const quint32 current = value(row);
    m_rows[size_t(row)].hex->setText(hexText(current));
    emit valueChanged(row, current);
}

void GBitEditor::lineEditChanged(int row)
{
    if (!isRow(row))
        return;
    bool ok = false;
    quint32 number = m_rows[size_t(row)].hex->text().toUInt(&ok, 16) & widthMask();
    if (!ok)
        number = 0;
    setBits(row, number);
    emit valueChanged(row, number);
}

void GBitEditor::labelEdited()
{
    emit labelsChanged(labels());
}

quint32 GBitEditor::widthMask() const
{
    return m_bitCount >= 32 ? 0xffffffffu : (quint32(1) << m_bitCount) - 1;
}

QString GBitEditor::hexText(quint32 value) const
{
    return QStringLiteral("%1").arg(value, m_bitCount == 32 ? 8 : 4, 16, QLatin1Char('0'));
}

void GBitEditor::setBits(int row, quint32 value)
{
    const QList<QCheckBox*>& bits = m_rows[size_t(row)].bits;
    for (int bit = 0; bit < bits.size(); ++bit)
        bits.at(bit)->setChecked(value & (quint32(1) << bit));
}
