#include "genericcheckbox.h"

#include "genericparameter.h"

GenericCheckBox::GenericCheckBox(const GenericParameter* parameter, QWidget* parent)
    : GCheckBox(parent)
    , GenericParameterHelper(parameter)
{
    connect(this, &QCheckBox::stateChanged, this, &GenericCheckBox::updateValue);
}

void GenericCheckBox::setGenericDataProvider(GenericDataProvider* provider)
{
    GenericParameterHelper::setGenericDataProvider(provider);
    setEnabled(provider != nullptr);
    loadValues([this](GenericDataProvider& p) { setChecked(p.value(parameter()->name()).toBool()); });
}

void GenericCheckBox::updateValue(int state)
{
    writeValue(parameter()->name(), state != 0);
}
