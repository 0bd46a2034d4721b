#include "genericsettingsfield.h"

#include "genericbitfield.h"
#include "genericcheckbox.h"
#include "genericdoublespinbox.h"
#include "genericlineedit.h"
#include "genericparameter.h"
#include "genericspinbox.h"

#include <QGridLayout>
#include <QLabel>

namespace {

// The editor for one parameter type, with its helper; none for a type without one.
std::pair<QWidget*, GenericParameterHelper*> createEditor(const GenericParameter* parameter, QWidget* parent)
{
    const QString type = parameter->type();
    if (type == QLatin1String("float")) {
        auto* editor = new GenericDoubleSpinBox(parameter, parent);
        return {editor, editor};
    }
    if (type == QLatin1String("int") || type == QLatin1String("uint") || type == QLatin1String("uint16")) {
        auto* editor = new GenericSpinBox(parameter, parent);
        return {editor, editor};
    }
    if (type == QLatin1String("bool")) {
        auto* editor = new GenericCheckBox(parameter, parent);
        return {editor, editor};
    }
    if (type == QLatin1String("string")) {
        auto* editor = new GenericLineEdit(parameter, parent);
        return {editor, editor};
    }
    return {nullptr, nullptr};
}

}

GenericSettingsField::GenericSettingsField(QWidget* parent)
    : QWidget(parent)
    , m_layout(new QGridLayout(this))
{
}

GenericSettingsField::~GenericSettingsField() = default;

void GenericSettingsField::clear()
{
    // Editors and labels are children of this panel; deleting them also takes
    // them out of the grid.
    qDeleteAll(m_editorWidgets);
    qDeleteAll(m_labels);
    m_editorWidgets.clear();
    m_editors.clear();
    m_labels.clear();
}

void GenericSettingsField::setParameters(const QList<const GenericParameter*>& parameters)
{
    const bool updates = updatesEnabled();
    setUpdatesEnabled(false);
    clear();
    m_parameters = parameters;

    const QSizePolicy rowPolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    GenericBitField* bitField = nullptr;
    int row = 0;
    for (const GenericParameter* parameter : parameters) {
        if (!parameter)
            continue;
        const bool isBitFieldType = parameter->type() == QLatin1String("bitfield");
        if (parameter->isBitfield() && isBitFieldType) {
            bitField = new GenericBitField(parameter, this);
            bitField->setObjectName(parameter->name());
            bitField->setEnabled(false);
            bitField->setStatusTip(parameter->shortDescription());
            bitField->setToolTip(toolTip(parameter));
            m_layout->addWidget(bitField, row++, 0, 1, 2);
            m_editorWidgets.append(bitField);
            m_editors.append(bitField);
            continue;
        }
        if (parameter->isBitfield()) {
            // A flagged parameter ahead of every bit field has no editor to join.
            if (bitField)
                bitField->addRowDefinition(parameter);
            continue;
        }

        const auto [editor, helper] = createEditor(parameter, this);
        if (!editor)
            continue;
        auto* label = new QLabel(parameter->displayName(), this);
        label->setObjectName(parameter->name() + QLatin1String("Label"));
        editor->setObjectName(parameter->name());
        label->setSizePolicy(rowPolicy);
        editor->setSizePolicy(rowPolicy);
        label->setBuddy(editor);
        label->setEnabled(false);
        editor->setEnabled(false);
        helper->setLabel(label);

        const QString statusTip = parameter->shortDescription();
        const QString tip = toolTip(parameter);
        label->setStatusTip(statusTip);
        editor->setStatusTip(statusTip);
        label->setToolTip(tip);
        editor->setToolTip(tip);

        m_layout->addWidget(label, row, 0);
        m_layout->addWidget(editor, row, 1);
        ++row;
        m_editorWidgets.append(editor);
        m_editors.append(helper);
        m_labels.append(label);
    }
    setUpdatesEnabled(updates);
}

QString GenericSettingsField::toolTip(const GenericParameter* parameter) const
{
    QString tip = tr("<h2>%1</h2>%2<br/><br/>Default: %3")
                      .arg(parameter->displayName(), parameter->description(), parameter->defaultValue().toString());
    if (parameter->minimum().isValid())
        tip += tr(" Min: %1").arg(parameter->minimum().toString());
    if (parameter->maximum().isValid())
        tip += tr(" Max: %1").arg(parameter->maximum().toString());
    return tip;
}

void GenericSettingsField::setGenericDataProvider(GenericDataProvider* provider)
{
    m_provider = provider;
    for (GenericParameterHelper* editor : qAsConst(m_editors))
        editor->setGenericDataProvider(provider);
}

void GenericSettingsField::refreshData()
{
    setGenericDataProvider(m_provider);
}
