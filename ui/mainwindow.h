#pragma once

#include "gmainwindow.h"

#include <QList>

#include <memory>

class Element;
class ElementList;
class ElementListModel;
class Exporter;
class ExportSettings;
class Fixture;
class GenericSettingsField;
class ImageDetails;
class LimbEditorScene;
class PreviewWindow;
class QAction;
class QDockWidget;
class QLabel;
class QPushButton;
class QScrollArea;
class QTimer;
class QToolBar;
class RecoveryStore;
class ShapeEditor;

// The document window: the shape editor in the middle, the body list on the
// left and the collapsible parameter sections on the right. It owns one
// document and follows the current body, fixture and exporter.
class MainWindow final : public GMainWindow
{
    Q_OBJECT
public:
    Q_INVOKABLE MainWindow();
    ~MainWindow() override;

    bool loadFile(const QString& fileName) override;
    bool saveFile(const QString& fileName) override;

    ElementListModel* model() const { return m_model.get(); }
    Element* currentElement() const { return m_currentElement; }
    Fixture* currentFixture() const { return m_currentFixture; }
    Exporter* exporter() const { return m_exporter; }

    QAction* publishAction() const { return m_publishAction; }
    QAction* publishAsAction() const { return m_publishAsAction; }
    QAction* addSpritesAction() const { return m_addSpritesAction; }
    QAction* traceAllBodiesAction() const { return m_traceAllBodiesAction; }
    QAction* previewAction() const { return m_previewAction; }
    // The physics preview, once it has been opened.
    PreviewWindow* preview() const { return m_preview; }

    // Where the unsaved changes of this window's document are copied every
    // autosave interval; the copy goes when the document is saved or the
    // window closes normally.
    RecoveryStore* recoveryStore() const { return m_recovery.get(); }
    // The autosave interval from the preferences follows changes to them;
    // 0 turns autosave off.
    int autosaveIntervalMs() const;
    void setAutosaveIntervalMs(int milliseconds);

public slots:
    bool isModified() override;
    void sceneChanged(LimbEditorScene* scene);
    void exporterChanged(Exporter* exporter);
    void elementChanged(Element* e);
    void updateParameters(Fixture* f);
    // Installs a document (the window takes it over) and deletes the previous one.
    void setModel(ElementListModel* m);

private slots:
    void on_exportButton_clicked(bool checked);
    void on_globalButton_clicked(bool checked);
    void on_imageButton_clicked(bool checked);
    void on_bodyButton_clicked(bool checked);
    void on_fixtureButton_clicked(bool checked);
    void publishAs();
    void publish();
    // Traces every body, or every body without fixtures, with the tracer's
    // stored settings, as one undo step.
    void traceAllBodies();
    // Opens the physics preview, or brings it to the front.
    void showPreview();

protected:
    void saveCustomSettings(QSettings& settings) override;
    void restoreCustomSettings(QSettings& settings) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    struct Section
    {
        QPushButton* header;
        QWidget* panel;
    };

    void buildForm();
    QPushButton* addSection(const char* headerName, QWidget* panel);
    void createActions();
    void createMenusAndToolBars();
    void retranslate();
    // The document's file name, with the marker of unsaved changes.
    void updateTitle();
    void showSection(const Section& section, bool hasContent);
    void updatePublishing();
    // Copies the document to the recovery store when it has unsaved changes.
    void autosave();

    ShapeEditor* m_shapeEditor = nullptr;
    ElementList* m_elementsList = nullptr;
    QScrollArea* m_scrollArea = nullptr;
    ExportSettings* m_exportParameters = nullptr;
    GenericSettingsField* m_globalParameters = nullptr;
    ImageDetails* m_imageDetails = nullptr;
    GenericSettingsField* m_bodyParameters = nullptr;
    GenericSettingsField* m_fixtureParameters = nullptr;
    QDockWidget* m_shapesDock = nullptr;
    QDockWidget* m_parameterDock = nullptr;
    QList<QPushButton*> m_headers;
    QLabel* m_noExporterHint = nullptr;

    std::unique_ptr<ElementListModel> m_model;
    Fixture* m_currentFixture = nullptr;
    Element* m_currentElement = nullptr;
    Exporter* m_exporter = nullptr;

    QAction* m_publishAction = nullptr;
    QAction* m_publishAsAction = nullptr;
    QAction* m_addSpritesAction = nullptr;
    QAction* m_traceAllBodiesAction = nullptr;
    QAction* m_previewAction = nullptr;
    PreviewWindow* m_preview = nullptr;
    std::unique_ptr<RecoveryStore> m_recovery;
    QTimer* m_autosaveTimer = nullptr;
    QMenu* m_fileMenu = nullptr;
    QMenu* m_editMenu = nullptr;
    QMenu* m_helpMenu = nullptr;
    QToolBar* m_fileToolBar = nullptr;
    QToolBar* m_toolsToolBar = nullptr;
};
