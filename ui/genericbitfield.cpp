#include "genericbitfield.h"

#include "genericparameter.h"

GenericBitField::GenericBitField(const GenericParameter* bitField, QWidget* parent)
    : GBitEditor(bitField->bitCount(), parent)
    , GenericParameterHelper(bitField)
{
    connect(this, &GBitEditor::valueChanged, this, &GenericBitField::updateValue);
    connect(this, &GBitEditor::labelsChanged, this, &GenericBitField::updateLabels);
}

void GenericBitField::addRowDefinition(const GenericParameter* parameter)
{
    m_rowDefinitions.append(parameter);
    const int row = addRow();
    setRowName(row, parameter->displayName());
    setValue(row, parameter->defaultValue().toUInt());
}

void GenericBitField::setGenericDataProvider(GenericDataProvider* provider)
{
    GenericParameterHelper::setGenericDataProvider(provider);
    setEnabled(provider != nullptr);
    loadValues([this](GenericDataProvider& p) {
        for (int row = 0; row < m_rowDefinitions.size(); ++row)
            setValue(row, p.value(m_rowDefinitions.at(row)->name()).toUInt());
        setLabels(p.sharedStringList(parameter()->name()));
    });
}

void GenericBitField::updateValue(int row, quint32 value)
{
    if (row < 0 || row >= m_rowDefinitions.size())
        return;
    writeValue(m_rowDefinitions.at(row)->name(), uint(value));
}

void GenericBitField::updateLabels(const QStringList& labels)
{
    GenericDataProvider* provider = genericDataProvider();
    if (!provider || isLoading())
        return;
    provider->setSharedStringList(parameter()->name(), labels);
}
