#pragma once

#include "gapplicationaddons.h"
#include "messageboxreporter.h"

#include <QApplication>

class GMainWindow;
class GRecentFileProvider;

// The framework application: creates document windows by type, routes every
// request to open a file, and keeps an exception that escapes an event
// handler from ending the program.
class GApplication : public QApplication, public GApplicationAddons
{
    Q_OBJECT
public:
    GApplication(int& argc, char** argv);
    ~GApplication() override;

    static GApplication* instance();

    bool notify(QObject* receiver, QEvent* event) override;

    GRecentFileProvider* recentFileProvider() const { return m_recentFileProvider; }

    // The text of the box shown for an exception that escaped an event handler.
    static QString unhandledExceptionText();

    // A shell request to open a file opens it like any other request.
    void openShellFile(const QString& fileName) override;

public slots:
    void closeAllWindowsAndQuit();
    GMainWindow* newFile(const QString& fileName);
    GMainWindow* newFile();
    void open(GMainWindow* targetWindow);
    void open();
    void openFile(const QString& filename, GMainWindow* targetWindow);
    void openFile(const QString& filename);
    virtual void about(QWidget* parent);
    virtual void showPreferences(QWidget* parent);
    virtual void showFeedbackDialog(QWidget* parent);
    virtual void updateCheck(QWidget* parent);

protected slots:
    virtual void delayedInit();

protected:
    bool event(QEvent* event) override;

private:
    GRecentFileProvider* m_recentFileProvider = nullptr;
    MessageBoxReporter m_messageBoxReporter;
};
