#pragma once

#include <QUndoCommand>
#include <QVariant>

class GenericDataProvider;

class UndoGenericValueChange final : public QUndoCommand
{
public:
    UndoGenericValueChange(GenericDataProvider* provider, const QString& name, const QVariant& oldValue,
                           const QVariant& newValue);

    void undo() override;
    void redo() override;

private:
    GenericDataProvider* m_provider;
    QString m_name;
    QVariant m_oldValue;
    QVariant m_newValue;
};
