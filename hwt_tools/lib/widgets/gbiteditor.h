#pragma once

#include <QStringList>
#include <QWidget>

#include <vector>

class QCheckBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QPushButton;

// Edits one or more unsigned values of a given bit width as a grid of check
// boxes: one line per bit (with the bit's editable name in the first column)
// and one column per value, with the value in hexadecimal and buttons to set,
// clear and invert all of its bits.
class GBitEditor : public QWidget
{
    Q_OBJECT
public:
    // Values are 32-bit; wider widths are cut to 32 and negative ones to 0.
    static constexpr int maximumBitCount = 32;

    explicit GBitEditor(int bitCount, QWidget* parent = nullptr);
    ~GBitEditor() override;

    int bitCount() const { return m_bitCount; }
    int rowCount() const { return int(m_rows.size()); }

    // Adds one value, initially 0, and returns its row (rows count from 0).
    int addRow();
    void setRowName(int row, const QString& text);
    QString rowName(int row) const;

    // The number formed by the row's check boxes, the last bit the most significant.
    quint32 value(int row) const;
    // Shows value and emits valueChanged when it differs from value(row).
    void setValue(int row, quint32 value);

    // Bit k is named labels[k]; bits beyond the list are named "bit_k".
    void setLabels(const QStringList& labels);
    QStringList labels() const;

signals:
    void valueChanged(int row, quint32 value);
    void labelsChanged(const QStringList& labels);

public slots:
    void allButtonPressed(int row);
    void noneButtonPressed(int row);
    void inverseButtonPressed(int row);
    void bitChanged(int row);
    void lineEditChanged(int row);
    void labelEdited();

private:
    struct Row
    {
        QLabel* name = nullptr;
        QList<QCheckBox*> bits;
        QLineEdit* hex = nullptr;
    };

    bool isRow(int row) const { return row >= 0 && row < rowCount(); }
    QString hexText(quint32 value) const;
    quint32 widthMask() const;
    void setBits(int row, quint32 value);

    int m_bitCount;
    QGridLayout* m_layout;
    QList<QLineEdit*> m_names;
    std::vector<Row> m_rows;
};
