#pragma once

#include "genericparameterhelper.h"
#include "glineedit.h"

// Edits one "string" parameter of a data provider. The text is written when
// the focus leaves the field, if it is valid and differs from the value shown.
class GenericLineEdit final : public GLineEdit, public GenericParameterHelper
{
    Q_OBJECT
public:
    explicit GenericLineEdit(const GenericParameter* parameter, QWidget* parent = nullptr);

    void setGenericDataProvider(GenericDataProvider* provider) override;

protected:
    void focusOutEvent(QFocusEvent* event) override;

private:
    void updateValue();
};
