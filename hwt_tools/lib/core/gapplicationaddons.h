#pragma once

#include <QString>
#include <QStringList>

#include <memory>

class GApplicationAddonsImpl;

// Platform-neutral facade of the shell integration; the application object's
// second base class. Every operation forwards to the platform implementation.
class GApplicationAddons
{
public:
    enum ShellCommand { OpenCommand = 1, NewCommand = 2, PrintCommand = 4 };

    // One dynamic-data-exchange message as the native event filter hands it on.
    struct DdeMessage
    {
        quintptr wParam = 0;
        quintptr lParam = 0;
    };

    // The implementation for the platform the program was built for.
    GApplicationAddons();
    explicit GApplicationAddons(std::unique_ptr<GApplicationAddonsImpl> impl);
    GApplicationAddons(const GApplicationAddons&) = delete;
    GApplicationAddons& operator=(const GApplicationAddons&) = delete;
    virtual ~GApplicationAddons();

    // The live facade (the application object), or null before it exists.
    static GApplicationAddons* instance();

    virtual bool registerFileType(const QString& progId, const QString& description, const QString& extension,
                                  const QString& iconName, int iconIndex, bool useDde, int shellCommands);
    // Hands the files to an editor that is already running; true when it took
    // every one, false when there is none (this process is the one that listens).
    virtual bool forwardOpenRequests(const QStringList& fileNames);

    virtual bool onDdeInitiate(const DdeMessage& message, qintptr* result);
    virtual bool onDdeExecute(const DdeMessage& message, qintptr* result);
    virtual bool onDdeTerminate(const DdeMessage& message, qintptr* result);
    virtual void executeCommand(const QString& command, const QString& argument);

    // Starts serving the shell's open requests.
    void enableDde();
    // Runs one request in the shell's command grammar, e.g. [open("path")].
    void executeRequest(const QString& request);
    // Opens the files as shell open requests once the event loop runs.
    void queueOpenRequests(const QStringList& fileNames);

    // The request that opens a file, with the path made absolute.
    static QString openRequest(const QString& fileName);
    // One such request for each file, in order.
    static QStringList openRequests(const QStringList& fileNames);
    // The files among the program's arguments (the first one, the program, is
    // skipped; so are options, except after "--").
    static QStringList filesFromArguments(const QStringList& arguments);

    // Where a shell request to open a file ends; the application opens it.
    virtual void openShellFile(const QString& fileName);

    QString applicationId() const { return m_applicationId; }
    void setApplicationId(const QString& id) { m_applicationId = id; }

    // Set while a crash report of an earlier run is being handled.
    bool isHandlingCrash() const { return m_handlingCrash; }
    void setHandlingCrash(bool handling) { m_handlingCrash = handling; }

    GApplicationAddonsImpl* impl() const { return m_impl.get(); }

private:
    std::unique_ptr<GApplicationAddonsImpl> m_impl;
    bool m_handlingCrash = false;
    QString m_applicationId;
};
