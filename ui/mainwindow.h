#pragma once

#include "gmainwindow.h"

#include <memory>

class ElementListModel;
class QLabel;

// The document window of Hullwright. It owns one document; its panels arrive
// with the editor, so for now a document can be opened and saved but not edited.
class MainWindow final : public GMainWindow
{
    Q_OBJECT
public:
    Q_INVOKABLE MainWindow();
    ~MainWindow() override;

    bool loadFile(const QString& fileName) override;
    bool saveFile(const QString& fileName) override;

    ElementListModel* model() const { return m_model.get(); }
    // Installs a document; the previous one is deleted.
    void setModel(std::unique_ptr<ElementListModel> model);

public slots:
    bool isModified() override;

protected:
    void saveCustomSettings(QSettings& settings) override;
    void restoreCustomSettings(QSettings& settings) override;
    void changeEvent(QEvent* event) override;

private:
    void createMenusAndToolBars();
    void retranslate();

    QMenu* m_fileMenu = nullptr;
    QMenu* m_helpMenu = nullptr;
    QLabel* m_placeholder = nullptr;
    std::unique_ptr<ElementListModel> m_model;
};
