#pragma once

#include "gdoublespinbox.h"
#include "genericparameterhelper.h"

// Edits one "float" parameter of a data provider.
class GenericDoubleSpinBox final : public GDoubleSpinBox, public GenericParameterHelper
{
    Q_OBJECT
public:
    explicit GenericDoubleSpinBox(const GenericParameter* parameter, QWidget* parent = nullptr);

    void setGenericDataProvider(GenericDataProvider* provider) override;

private slots:
    void updateValue(double value);
};
