#include "genericlineedit.h"

#include "genericparameter.h"

GenericLineEdit::GenericLineEdit(const GenericParameter* parameter, QWidget* parent)
    : GLineEdit(parent)
    , GenericParameterHelper(parameter)
{
}

void GenericLineEdit::setGenericDataProvider(GenericDataProvider* provider)
{
    GenericParameterHelper::setGenericDataProvider(provider);
    setEnabled(provider != nullptr);
    loadValues([this](GenericDataProvider& p) { setText(p.value(parameter()->name()).toString()); });
}

void GenericLineEdit::focusOutEvent(QFocusEvent* event)
{
    GLineEdit::focusOutEvent(event);
    updateValue();
}

void GenericLineEdit::updateValue()
{
    GenericDataProvider* provider = genericDataProvider();
    if (!provider || !isValid())
        return;
    // Passing through the field without changing it is not an edit: an
    // unchanged default would otherwise become an undo step of its own.
    const QString name = parameter()->name();
    if (text() == provider->value(name).toString())
        return;
    writeValue(name, text());
}
