#pragma once

#include "ddeshellplatform.h"
#include "gapplicationaddonsimpl.h"

#include <memory>

// The shell registration of a document type (classes of the current user) and
// the shell's open requests by dynamic data exchange, over the platform calls
// of DdeShellPlatform.
class DdeShellIntegration : public GApplicationAddonsImpl
{
public:
    explicit DdeShellIntegration(std::unique_ptr<DdeShellPlatform> platform);
    ~DdeShellIntegration() override;

    bool registerFileType(const QString& progId, const QString& description, const QString& extension,
                          const QString& iconName, int iconIndex, bool useDde, int shellCommands) override;
    bool registerShellCommand(const QString& progId, const QString& verb, const QString& ddeCommand,
                              const QString& arguments);
    // Writes one value; a failure is reported as a warning and returns false.
    bool setRegistryValue(const QString& key, const QString& value, const QString& valueName = QString());

    void enableDde() override;
    bool onDdeInitiate(const DdeMessage& message, qintptr* result) override;
    bool onDdeExecute(const DdeMessage& message, qintptr* result) override;
    bool onDdeTerminate(const DdeMessage& message, qintptr* result) override;

    // The service name: the base name of the program file.
    QString appName() const { return m_appName; }
    QString topic() const { return m_topic; }
    quint16 appAtom() const { return m_appAtom; }
    quint16 systemTopicAtom() const { return m_systemTopicAtom; }
    bool useDde() const { return m_useDde; }

protected:
    DdeShellPlatform& platform() const { return *m_platform; }

private:
    std::unique_ptr<DdeShellPlatform> m_platform;
    bool m_useDde = false;
    QString m_appName;
    QString m_topic;
    quint16 m_appAtom = 0;
    quint16 m_systemTopicAtom = 0;
};
