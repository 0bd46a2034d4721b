#pragma once

#include <QDialog>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QToolButton;

// The options of the update checker, the custom exporter directory, autosave
// and image memory. Every change is stored at once; OK only closes the dialog.
class Preferences : public QDialog
{
    Q_OBJECT
public:
    explicit Preferences(QWidget* parent = nullptr);
    ~Preferences() override;

    // Hands the stored image memory budget to the image cache.
    static void applyImageMemorySetting();

private slots:
    void on_customExporterButton_clicked();
    void on_customExporterLineEdit_textChanged(const QString& text);
    void on_autoUpdatesCheckBox_clicked(bool checked);
    void on_includeBetaUpdatesCheckBox_clicked(bool checked);
    void on_okButton_clicked();

private:
    void retranslate();
    void changeEvent(QEvent* event) override;

    QGroupBox* m_updates = nullptr;
    QCheckBox* m_autoUpdates = nullptr;
    QCheckBox* m_betaUpdates = nullptr;
    QGroupBox* m_exporters = nullptr;
    QLabel* m_directoryLabel = nullptr;
    QLineEdit* m_directory = nullptr;
    QToolButton* m_browse = nullptr;
    QLabel* m_note = nullptr;
    QGroupBox* m_editor = nullptr;
    QLabel* m_autosaveLabel = nullptr;
    QSpinBox* m_autosave = nullptr;
    QLabel* m_imageMemoryLabel = nullptr;
    QSpinBox* m_imageMemory = nullptr;
    QPushButton* m_ok = nullptr;
};
