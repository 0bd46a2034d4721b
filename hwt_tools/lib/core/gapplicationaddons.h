#pragma once

#include <QString>

#include <memory>

class GApplicationAddonsImpl;

// Platform-neutral facade of the shell integration; the application object's
// second base class. Every operation forwards to the platform implementation.
class GApplicationAddons
{
public:
    enum ShellCommand { OpenCommand = 1, NewCommand = 2, PrintCommand = 4 };

    GApplicationAddons();
    explicit GApplicationAddons(std::unique_ptr<GApplicationAddonsImpl> impl);
    GApplicationAddons(const GApplicationAddons&) = delete;
    GApplicationAddons& operator=(const GApplicationAddons&) = delete;
    virtual ~GApplicationAddons();

    // The live facade (the application object), or null before it exists.
    static GApplicationAddons* instance();

    virtual bool registerFileType(const QString& progId, const QString& description, const QString& extension,
                                  const QString& iconName, int iconIndex, bool useDde, int shellCommands);
    void enableDde();

    QString applicationId() const { return m_applicationId; }
    void setApplicationId(const QString& id) { m_applicationId = id; }

    // Set while a crash report of an earlier run is being handled.
    bool isHandlingCrash() const { return m_handlingCrash; }
    void setHandlingCrash(bool handling) { m_handlingCrash = handling; }

private:
    std::unique_ptr<GApplicationAddonsImpl> m_impl;
    bool m_handlingCrash = false;
    QString m_applicationId;
};
