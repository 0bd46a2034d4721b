#pragma once

#include <QPointer>
#include <QWidget>

#include "elementlistmodel.h"

class Exporter;
class QComboBox;
class QLabel;

// Chooses the exporter of the current document. Exporters are listed by name;
// the choice is stored in the document and announced to the panels and the
// editor, which rebuild themselves for the exporter's parameters.
class ExportSettings : public QWidget
{
    Q_OBJECT
public:
    explicit ExportSettings(QWidget* parent = nullptr);
    ~ExportSettings() override;

    void setModel(ElementListModel* document);
    // The exporter of the current item, or null when none is installed.
    Exporter* currentExporter() const;

signals:
    void exporterChanged(Exporter* exporter);

public slots:
    void initialSetup();

private slots:
    void on_expoterComboBox_activated(int index);

private:
    Exporter* exporterAt(int index) const;
    void retranslate();
    void changeEvent(QEvent* event) override;

    QLabel* m_label = nullptr;
    QComboBox* m_exporters = nullptr;
    QPointer<ElementListModel> m_document;
};
