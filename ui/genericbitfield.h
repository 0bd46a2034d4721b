#pragma once

#include "gbiteditor.h"
#include "genericparameterhelper.h"

#include <QList>

// Edits the parameters that follow a "bitfield" parameter as the rows of one
// bit editor. The bit names belong to the document, so every body and fixture
// shows the same names for the same bit field.
class GenericBitField final : public GBitEditor, public GenericParameterHelper
{
    Q_OBJECT
public:
    // The bit width is the bit field parameter's bit count.
    explicit GenericBitField(const GenericParameter* bitField, QWidget* parent = nullptr);

    // Adds a row for an integer parameter flagged as part of this bit field,
    // named after it and showing its default until a provider is set.
    void addRowDefinition(const GenericParameter* parameter);
    QList<const GenericParameter*> rowDefinitions() const { return m_rowDefinitions; }

    void setGenericDataProvider(GenericDataProvider* provider) override;

private slots:
    void updateValue(int row, quint32 value);
    void updateLabels(const QStringList& labels);

private:
    QList<const GenericParameter*> m_rowDefinitions;
};
