#pragma once

#include "genericparameterhelper.h"
#include "gspinbox.h"

// Edits one "int", "uint" or "uint16" parameter of a data provider; all three
// are written as int values.
class GenericSpinBox final : public GSpinBox, public GenericParameterHelper
{
    Q_OBJECT
public:
    explicit GenericSpinBox(const GenericParameter* parameter, QWidget* parent = nullptr);

    void setGenericDataProvider(GenericDataProvider* provider) override;

private slots:
    void updateValue(int value);
};
