#pragma once

#include <QMainWindow>

class GAction;
class GRecentFileProvider;
class QMenu;
class QSettings;

// A window that edits one document: file name, the standard File and Help
// actions, the question before closing a modified document, window geometry
// remembered per document and the recent-files submenu. A program derives one
// class per document type and implements the document operations.
class GMainWindow : public QMainWindow
{
    Q_OBJECT
public:
    enum ActionFlag { NewAction = 1, OpenAction = 2, SaveAction = 4 };
    Q_DECLARE_FLAGS(ActionFlags, ActionFlag)

    explicit GMainWindow(ActionFlags flags, QWidget* parent = nullptr, Qt::WindowFlags windowFlags = {});
    ~GMainWindow() override;

    QString fileName() const { return m_fileName; }
    // Adopts a file name: title, recent files and the last-file setting.
    void setFileName(const QString& fileName);

    // Whether this window is of the class that edits files like this one.
    bool canOpen(const QString& fileName) const;

    void saveWindowSettings();
    void restoreWindowSettings();
    // The settings group that holds this file's window geometry.
    static QString windowSettingsKey(const QString& fileName);

    virtual bool loadFile(const QString& fileName) = 0;
    // Writes the document; false when it could not be written (already reported).
    virtual bool saveFile(const QString& fileName) = 0;

    GAction* newAction() const { return m_newAction; }
    GAction* openAction() const { return m_openAction; }
    GAction* saveAction() const { return m_saveAction; }
    GAction* saveAsAction() const { return m_saveAsAction; }
    GAction* closeAction() const { return m_closeAction; }
    GAction* exitAction() const { return m_exitAction; }
    GAction* aboutAction() const { return m_aboutAction; }
    GAction* preferencesAction() const { return m_preferencesAction; }
    GAction* updateCheckAction() const { return m_updateCheckAction; }
    GAction* feedbackAction() const { return m_feedbackAction; }
    GRecentFileProvider* recentFileProvider() const { return m_recentFileProvider; }

public slots:
    virtual bool isModified() = 0;
    bool isUsed();
    virtual void open();
    virtual void openFile(const QString& fileName);
    virtual void save();
    virtual void saveAs();
    virtual void closeWindow();
    virtual void about();
    virtual void showPreferences();
    virtual void showFeedbackDialog();
    virtual void updateCheck();
    virtual void newFile();
    void createRecentFileMenu(QMenu* fileMenu);

signals:
    void fileNameChanged(const QString& fileName);

protected:
    virtual void saveCustomSettings(QSettings& settings) = 0;
    virtual void restoreCustomSettings(QSettings& settings) = 0;

    // Asks whether to save a modified document before closing.
    virtual int askToSaveChanges();

    void closeEvent(QCloseEvent* event) override;

protected slots:
    virtual void mainWindowPostInit();

private:
    // Saves under the current name, or asks for one; true when the document was written.
    bool saveDocument();
    bool saveDocumentAs();
    void createActions(ActionFlags flags);

    QString m_fileName;
    GAction* m_newAction = nullptr;
    GAction* m_openAction = nullptr;
    GAction* m_saveAction = nullptr;
    GAction* m_saveAsAction = nullptr;
    GAction* m_closeAction = nullptr;
    GAction* m_exitAction = nullptr;
    GAction* m_aboutAction = nullptr;
    GAction* m_separatorAction = nullptr;
    GAction* m_preferencesAction = nullptr;
    GAction* m_updateCheckAction = nullptr;
    GAction* m_feedbackAction = nullptr;
    GRecentFileProvider* m_recentFileProvider = nullptr;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(GMainWindow::ActionFlags)
