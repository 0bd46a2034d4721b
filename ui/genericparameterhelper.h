#pragma once

#include "genericdataprovider.h"

#include <QScopedValueRollback>

class GenericParameter;
class QLabel;
class QVariant;

// The part every parameter editor shares: the parameter it edits, the data
// provider whose value it shows and the label of its row (none for bit fields).
class GenericParameterHelper
{
public:
    explicit GenericParameterHelper(const GenericParameter* parameter);
    virtual ~GenericParameterHelper();
    GenericParameterHelper(const GenericParameterHelper&) = delete;
    GenericParameterHelper& operator=(const GenericParameterHelper&) = delete;

    // Stores the provider (may be none) and enables the row label exactly when
    // there is one; editors extend it to enable themselves and load the value.
    virtual void setGenericDataProvider(GenericDataProvider* provider);

    const GenericParameter* parameter() const { return m_parameter; }
    GenericDataProvider* genericDataProvider() const { return m_provider; }
    QLabel* label() const { return m_label; }
    void setLabel(QLabel* label) { m_label = label; }

protected:
    // Shows the provider's values: runs `load` with the provider's undo
    // recording off and with the editor's own writes held back, so that the
    // change signals of the widget neither push commands nor rewrite the
    // stored value (a double rounded to the spin box's decimals, a default
    // stored as an explicit value).
    template<typename Load>
    void loadValues(Load load)
    {
        if (!m_provider)
            return;
        const UndoRecordingPause pause(m_provider);
        const QScopedValueRollback<bool> loading(m_loading, true);
        load(*m_provider);
    }

    // Writes a user edit through the provider (an undoable change); nothing
    // without a provider or while values are being loaded.
    void writeValue(const QString& name, const QVariant& value);
    bool isLoading() const { return m_loading; }

private:
    const GenericParameter* m_parameter;
    GenericDataProvider* m_provider = nullptr;
    QLabel* m_label = nullptr;
    bool m_loading = false;
};
