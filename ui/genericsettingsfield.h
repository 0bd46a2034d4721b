#pragma once

#include <QList>
#include <QWidget>

class GenericDataProvider;
class GenericParameter;
class GenericParameterHelper;
class QGridLayout;
class QLabel;

// A panel that edits the exporter-defined parameters of one level (document,
// body or fixture): one row per parameter, a label in the first column and the
// parameter's editor in the second; a bit field spans both columns and gathers
// the integer parameters flagged as its rows.
class GenericSettingsField final : public QWidget
{
    Q_OBJECT
public:
    explicit GenericSettingsField(QWidget* parent = nullptr);
    ~GenericSettingsField() override;

    QList<const GenericParameter*> parameters() const { return m_parameters; }
    GenericDataProvider* genericDataProvider() const { return m_provider; }
    // One per row, in row order.
    QList<GenericParameterHelper*> editors() const { return m_editors; }
    QList<QLabel*> labels() const { return m_labels; }

public slots:
    // Rebuilds the rows, also for the list already shown. The editors start
    // disabled; they follow the next provider set.
    void setParameters(const QList<const GenericParameter*>& parameters);
    // Shows the values of a provider (none disables every row). Cheap: it
    // only refills the editors that exist.
    void setGenericDataProvider(GenericDataProvider* provider);
    // Reloads every value from the current provider.
    void refreshData();

private:
    void clear();
    QString toolTip(const GenericParameter* parameter) const;

    QList<const GenericParameter*> m_parameters;
    QList<GenericParameterHelper*> m_editors;
    QList<QWidget*> m_editorWidgets;
    QList<QLabel*> m_labels;
    QGridLayout* m_layout;
    GenericDataProvider* m_provider = nullptr;
};
