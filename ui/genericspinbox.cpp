#include "genericspinbox.h"

#include "genericparameter.h"

GenericSpinBox::GenericSpinBox(const GenericParameter* parameter, QWidget* parent)
    : GSpinBox(parent)
    , GenericParameterHelper(parameter)
{
    connect(this, QOverload<int>::of(&QSpinBox::valueChanged), this, &GenericSpinBox::updateValue);
}

void GenericSpinBox::setGenericDataProvider(GenericDataProvider* provider)
{
    GenericParameterHelper::setGenericDataProvider(provider);
    setEnabled(provider != nullptr);
    loadValues([this](GenericDataProvider& p) { setValue(p.value(parameter()->name()).toInt()); });
}

void GenericSpinBox::updateValue(int value)
{
    writeValue(parameter()->name(), value);
}
