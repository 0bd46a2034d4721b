#pragma once

#include "gapplicationaddons.h"

#include <QString>
#include <QStringList>

// The platform side of the shell integration. This base registers nothing and
// serves no requests, so a platform without an implementation simply has no
// shell integration. The command grammar of the shell's requests is shared by
// every platform and lives here.
class GApplicationAddonsImpl
{
public:
    using DdeMessage = GApplicationAddons::DdeMessage;

    virtual ~GApplicationAddonsImpl();

    virtual bool registerFileType(const QString& progId, const QString& description, const QString& extension,
                                  const QString& iconName, int iconIndex, bool useDde, int shellCommands);
    virtual void enableDde();
    virtual bool forwardOpenRequests(const QStringList& fileNames);

    virtual bool onDdeInitiate(const DdeMessage& message, qintptr* result);
    virtual bool onDdeExecute(const DdeMessage& message, qintptr* result);
    virtual bool onDdeTerminate(const DdeMessage& message, qintptr* result);

    // "open" (any case) with a quoted argument opens the file; "new" and
    // "print" are accepted and ignored; anything else goes to unknownCommand().
    virtual void executeCommand(const QString& command, const QString& argument);
    // Runs a request of the form [command(argument)]; anything else is ignored.
    void executeRequest(const QString& request);

    // The facade that owns this implementation; set by the facade.
    void setAddons(GApplicationAddons* addons) { m_addons = addons; }

protected:
    virtual void unknownCommand(const QString& command, const QString& argument);

private:
    GApplicationAddons* m_addons = nullptr;
};
