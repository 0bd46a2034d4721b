#include "undogenericvaluechange.h"

#include "genericdataprovider.h"

#include <QCoreApplication>

UndoGenericValueChange::UndoGenericValueChange(GenericDataProvider* provider, const QString& name,
                                               const QVariant& oldValue, const QVariant& newValue)
    : QUndoCommand(QCoreApplication::translate("UndoGenericValueChange", "value change (%1)").arg(name))
    , m_provider(provider)
    , m_name(name)
    , m_oldValue(oldValue)
    , m_newValue(newValue)
{
}

void UndoGenericValueChange::undo()
{
    m_provider->setValueDirect(m_name, m_oldValue);
    m_provider->notifyValueChanged();
}

void UndoGenericValueChange::redo()
{
    m_provider->setValueDirect(m_name, m_newValue);
    m_provider->notifyValueChanged();
}
