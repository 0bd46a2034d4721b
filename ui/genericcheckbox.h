#pragma once

#include "gcheckbox.h"
#include "genericparameterhelper.h"

// Edits one "bool" parameter of a data provider.
class GenericCheckBox final : public GCheckBox, public GenericParameterHelper
{
    Q_OBJECT
public:
    explicit GenericCheckBox(const GenericParameter* parameter, QWidget* parent = nullptr);

    void setGenericDataProvider(GenericDataProvider* provider) override;

private slots:
    void updateValue(int state);
};
