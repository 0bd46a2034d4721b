#include "genericdoublespinbox.h"

#include "genericparameter.h"

GenericDoubleSpinBox::GenericDoubleSpinBox(const GenericParameter* parameter, QWidget* parent)
    : GDoubleSpinBox(parent)
    , GenericParameterHelper(parameter)
{
    connect(this, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this, &GenericDoubleSpinBox::updateValue);
}

void GenericDoubleSpinBox::setGenericDataProvider(GenericDataProvider* provider)
{
    GenericParameterHelper::setGenericDataProvider(provider);
    setEnabled(provider != nullptr);
    loadValues([this](GenericDataProvider& p) { setValue(p.value(parameter()->name()).toDouble()); });
}

void GenericDoubleSpinBox::updateValue(double value)
{
    writeValue(parameter()->name(), value);
}
