#pragma once

#include "gmainwindow.h"

class QLabel;

// The document window of Hullwright. Until the document model arrives it holds
// an empty document: nothing to edit, load or write yet.
class MainWindow final : public GMainWindow
{
    Q_OBJECT
public:
    Q_INVOKABLE MainWindow();
    ~MainWindow() override;

    bool loadFile(const QString& fileName) override;
    bool saveFile(const QString& fileName) override;

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
};
