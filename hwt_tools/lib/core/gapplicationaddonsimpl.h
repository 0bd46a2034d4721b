#pragma once

#include <QString>

// The platform side of the shell integration. This base does nothing, so a
// platform without an implementation simply has no shell registration.
class GApplicationAddonsImpl
{
public:
    virtual ~GApplicationAddonsImpl();

    virtual bool registerFileType(const QString& progId, const QString& description, const QString& extension,
                                  const QString& iconName, int iconIndex, bool useDde, int shellCommands);
    virtual void enableDde();
};
