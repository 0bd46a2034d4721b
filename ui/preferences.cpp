#include "preferences.h"

#include "editorsettings.h"
#include "globalsettings.h"
#include "imagecache.h"
#include "updateoptions.h"

#include <QCheckBox>
#include <QEvent>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>

Preferences::Preferences(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("Preferences"));
    auto* layout = new QVBoxLayout(this);

    m_updates = new QGroupBox(this);
    m_updates->setObjectName(QStringLiteral("updatesGroup"));
    auto* updatesLayout = new QVBoxLayout(m_updates);
    m_autoUpdates = new QCheckBox(m_updates);
    m_autoUpdates->setObjectName(QStringLiteral("autoUpdatesCheckBox"));
    m_betaUpdates = new QCheckBox(m_updates);
    m_betaUpdates->setObjectName(QStringLiteral("includeBetaUpdatesCheckBox"));
    updatesLayout->addWidget(m_autoUpdates);
    updatesLayout->addWidget(m_betaUpdates);
    layout->addWidget(m_updates);

    m_exporters = new QGroupBox(this);
    m_exporters->setObjectName(QStringLiteral("exportersGroup"));
    auto* exportersLayout = new QGridLayout(m_exporters);
    m_directoryLabel = new QLabel(m_exporters);
    m_directory = new QLineEdit(m_exporters);
    m_directory->setObjectName(QStringLiteral("customExporterLineEdit"));
    m_directory->setMinimumWidth(240);
    m_directoryLabel->setBuddy(m_directory);
    m_browse = new QToolButton(m_exporters);
    m_browse->setObjectName(QStringLiteral("customExporterButton"));
    m_note = new QLabel(m_exporters);
    exportersLayout->addWidget(m_directoryLabel, 0, 0, 1, 2);
    exportersLayout->addWidget(m_directory, 1, 0);
    exportersLayout->addWidget(m_browse, 1, 1);
    exportersLayout->addWidget(m_note, 2, 0, 1, 2);
    layout->addWidget(m_exporters);

    m_editor = new QGroupBox(this);
    m_editor->setObjectName(QStringLiteral("editorGroup"));
    auto* editorLayout = new QGridLayout(m_editor);
    m_autosaveLabel = new QLabel(m_editor);
    m_autosave = new QSpinBox(m_editor);
    m_autosave->setObjectName(QStringLiteral("autosaveSpinBox"));
    m_autosave->setRange(0, EditorSettings::maxAutosaveMinutes);
    m_autosaveLabel->setBuddy(m_autosave);
    m_imageMemoryLabel = new QLabel(m_editor);
    m_imageMemory = new QSpinBox(m_editor);
    m_imageMemory->setObjectName(QStringLiteral("imageMemorySpinBox"));
    m_imageMemory->setRange(EditorSettings::minImageMemoryMegabytes, EditorSettings::maxImageMemoryMegabytes);
    m_imageMemoryLabel->setBuddy(m_imageMemory);
    editorLayout->addWidget(m_autosaveLabel, 0, 0);
    editorLayout->addWidget(m_autosave, 0, 1);
    editorLayout->addWidget(m_imageMemoryLabel, 1, 0);
    editorLayout->addWidget(m_imageMemory, 1, 1);
    layout->addWidget(m_editor);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    m_ok = new QPushButton(this);
    m_ok->setObjectName(QStringLiteral("okButton"));
    m_ok->setDefault(true);
    buttons->addWidget(m_ok);
    layout->addLayout(buttons);

    m_autoUpdates->setChecked(UpdateOptions::autoUpdatesEnabled());
    m_betaUpdates->setChecked(UpdateOptions::betaUpdatesEnabled());
    m_directory->setText(GlobalSettings().customExporterPath());
    EditorSettings& editorSettings = EditorSettings::instance();
    m_autosave->setValue(editorSettings.autosaveMinutes());
    m_imageMemory->setValue(editorSettings.imageMemoryMegabytes());
    // Connected after the stored values are shown, so opening the dialog changes nothing.
    connect(m_autosave, qOverload<int>(&QSpinBox::valueChanged), &editorSettings,
            &EditorSettings::setAutosaveMinutes);
    connect(m_imageMemory, qOverload<int>(&QSpinBox::valueChanged), this, [](int megabytes) {
        EditorSettings::instance().setImageMemoryMegabytes(megabytes);
        applyImageMemorySetting();
    });

    retranslate();
    QMetaObject::connectSlotsByName(this);
}

Preferences::~Preferences() = default;

void Preferences::retranslate()
{
    setWindowTitle(tr("Preferences"));
    m_updates->setTitle(tr("Updates"));
    m_autoUpdates->setText(tr("Automatically check for updates"));
    m_betaUpdates->setText(tr("Include beta updates"));
    m_exporters->setTitle(tr("Exporters"));
    m_directoryLabel->setText(tr("Custom exporter directory"));
    m_browse->setText(tr("..."));
    m_note->setText(tr("Please restart Hullwright\nif you change this.\n\nCurrently exporters are\nonly read during startup."));
    m_editor->setTitle(tr("Editor"));
    m_autosaveLabel->setText(tr("Autosave every N minutes (0: off)"));
    m_imageMemoryLabel->setText(tr("Image memory (MB)"));
    m_ok->setText(tr("OK"));
}

void Preferences::applyImageMemorySetting()
{
    ImageCache::setBudgetMegabytes(EditorSettings::instance().imageMemoryMegabytes());
}

void Preferences::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QDialog::changeEvent(event);
}

void Preferences::on_customExporterButton_clicked()
{
    const QString directory =
        QFileDialog::getExistingDirectory(this, tr("Select custom exporter base directory"), m_directory->text());
    if (directory.isEmpty())
        return;
    // Setting the text stores it.
    m_directory->setText(directory);
}

void Preferences::on_customExporterLineEdit_textChanged(const QString& text)
{
    GlobalSettings().setCustomExporterPath(text);
}

void Preferences::on_autoUpdatesCheckBox_clicked(bool checked)
{
    UpdateOptions::setAutoUpdatesEnabled(checked);
}

void Preferences::on_includeBetaUpdatesCheckBox_clicked(bool checked)
{
    UpdateOptions::setBetaUpdatesEnabled(checked);
}

void Preferences::on_okButton_clicked()
{
    accept();
}
