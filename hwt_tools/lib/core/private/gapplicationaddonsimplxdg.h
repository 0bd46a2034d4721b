#pragma once

#include "gapplicationaddonsimpl.h"

#include <QStringList>

#include <memory>

class ShellRequestChannel;

// The shell integration of free desktops, mirroring the Windows one: the
// document type is registered for the current user below the user's data
// directory (a shared-mime-info package, a desktop entry that opens files,
// the icons), and open requests from the desktop reach the running editor
// through a per-user local socket in the request grammar of the shell.
class GApplicationAddonsImplXdg : public GApplicationAddonsImpl
{
public:
    GApplicationAddonsImplXdg();
    ~GApplicationAddonsImplXdg() override;

    bool registerFileType(const QString& progId, const QString& description, const QString& extension,
                          const QString& iconName, int iconIndex, bool useDde, int shellCommands) override;
    // Listens for open requests unless an editor of this user already does.
    void enableDde() override;
    bool forwardOpenRequests(const QStringList& fileNames) override;

    bool isListening() const;
    // Where the requests are served: a socket in the user's runtime directory,
    // named after the program file.
    QString serverName() const;

    // The program the desktop entry starts; the running one unless set.
    QString applicationFilePath() const;
    void setApplicationFilePath(const QString& path) { m_applicationFilePath = path; }
    // The picture installed as the application and document icon.
    void setIconSource(const QString& path) { m_iconSource = path; }

    // The MIME type that stands for a shell class, e.g. "application/x-hullwright-spritesheet".
    static QString mimeTypeForProgId(const QString& progId);
    // A path as one quoted argument of a desktop entry's Exec key.
    static QString desktopExecArgument(const QString& path);

protected:
    // The MIME types the shared database gives files with this extension.
    virtual QStringList mimeTypesForExtension(const QString& extension) const;
    // Lets the desktop see changed files (the MIME cache, the desktop entry index).
    virtual void refreshDatabases(bool mimeChanged, bool desktopEntryChanged);

private:
    // The program's base name: desktop entry, icon and socket are named after it.
    QString appName() const;

    QString m_applicationFilePath;
    QString m_iconSource = QStringLiteral(":/Icon.png");
    QStringList m_mimeTypes;
    std::unique_ptr<ShellRequestChannel> m_channel;
};
