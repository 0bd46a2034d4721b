#include "genericparameterhelper.h"

#include "genericparameter.h"

#include <QLabel>
#include <QVariant>

GenericParameterHelper::GenericParameterHelper(const GenericParameter* parameter)
    : m_parameter(parameter)
{
}

GenericParameterHelper::~GenericParameterHelper() = default;

void GenericParameterHelper::setGenericDataProvider(GenericDataProvider* provider)
{
    m_provider = provider;
    if (m_label)
        m_label->setEnabled(provider != nullptr);
}

void GenericParameterHelper::writeValue(const QString& name, const QVariant& value)
{
    if (!m_provider || m_loading)
        return;
    m_provider->setValue(name, value);
}
