#include "exportsettings.h"

#include "elementlistmodel.h"
#include "exporter.h"
#include "exporterregistry.h"
#include "gcombobox.h"
#include "reporter.h"

#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QTimer>

ExportSettings::ExportSettings(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("ExportSettings"));
    auto* grid = new QGridLayout(this);
    m_label = new QLabel(this);
    m_exporters = new GComboBox(this);
    m_exporters->setObjectName(QStringLiteral("expoterComboBox"));
    m_label->setBuddy(m_exporters);
    grid->addWidget(m_label, 0, 0);
    grid->addWidget(m_exporters, 0, 1);
    grid->setColumnStretch(1, 1);

    // The registry lists exporters in the plain, case-sensitive order of their
    // names; each item shows the display name.
    const QList<Exporter*> exporters = ExporterRegistry::instance().exporters();
    for (const Exporter* exporter : exporters)
        m_exporters->addItem(exporter->displayName(), exporter->name());

    retranslate();
    QMetaObject::connectSlotsByName(this);
    QTimer::singleShot(1, this, &ExportSettings::initialSetup);
}

ExportSettings::~ExportSettings() = default;

void ExportSettings::retranslate()
{
    m_label->setText(tr("Exporter"));
}

void ExportSettings::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QWidget::changeEvent(event);
}

Exporter* ExportSettings::exporterAt(int index) const
{
    // With nothing installed there is no item, and no exporter to look up.
    if (index < 0 || index >= m_exporters->count())
        return nullptr;
    return ExporterRegistry::instance().findExporter(m_exporters->itemData(index).toString());
}

Exporter* ExportSettings::currentExporter() const
{
    return exporterAt(m_exporters->currentIndex());
}

void ExportSettings::initialSetup()
{
    on_expoterComboBox_activated(m_exporters->currentIndex());
}

void ExportSettings::on_expoterComboBox_activated(int index)
{
    Exporter* exporter = exporterAt(index);
    if (m_document && exporter)
        m_document->setExporter(exporter);
    emit exporterChanged(exporter);
}

void ExportSettings::setModel(ElementListModel* document)
{
    m_document = document;
    if (!document)
        return;
    if (!document->exporter()) {
        Exporter* exporter = currentExporter();
        document->setExporter(exporter);
        emit exporterChanged(exporter);
        if (!exporter)
            return;
    }
    const int index = m_exporters->findData(document->exporterName());
    if (index >= 0) {
        m_exporters->setCurrentIndex(index);
        on_expoterComboBox_activated(index);
        return;
    }
    Reporter::current().report(
        Reporter::Warning, tr("Unknown exporter"),
        tr("The exporter this file was created with %1 (%2) is not available on this system!")
            .arg(document->exporterName(), document->exporterDisplayName()),
        this);
}
