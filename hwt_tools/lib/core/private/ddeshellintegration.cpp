#include "ddeshellintegration.h"

#include "reporter.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace {

// Registry values are Windows paths whatever system builds them.
QString windowsPath(const QString& path)
{
    QString native = path;
    native.replace(QLatin1Char('/'), QLatin1Char('\\'));
    return native;
}

struct ShellVerb
{
    GApplicationAddons::ShellCommand bit;
    const char* verb;
    const char* ddeCommand;
    const char* arguments;
};

const ShellVerb shellVerbs[] = {
    {GApplicationAddons::OpenCommand, "Open", "[open(\"%1\")]", "\"%1\""},
    {GApplicationAddons::NewCommand, "New", "[new(\"%1\")]", "-new \"%1\""},
    {GApplicationAddons::PrintCommand, "Print", "[print(\"%1\")]", "-print \"%1\""},
};

quint16 lowWord(quintptr value)
{
    return quint16(value & 0xffff);
}

quint16 highWord(quintptr value)
{
    return quint16((value >> 16) & 0xffff);
}

}

DdeShellPlatform::~DdeShellPlatform() = default;

DdeShellIntegration::DdeShellIntegration(std::unique_ptr<DdeShellPlatform> platform)
    : m_platform(std::move(platform))
    , m_appName(QFileInfo(m_platform->applicationFilePath()).baseName())
    , m_topic(QStringLiteral("system"))
{
}

DdeShellIntegration::~DdeShellIntegration()
{
    if (m_appAtom)
        m_platform->deleteAtom(m_appAtom);
    if (m_systemTopicAtom)
        m_platform->deleteAtom(m_systemTopicAtom);
}

bool DdeShellIntegration::setRegistryValue(const QString& key, const QString& value, const QString& valueName)
{
    if (m_platform->writeClassesValue(key, valueName, value))
        return true;
    QString text = QCoreApplication::translate("GApplicationAddonsImplWin",
                                               "Updating the registration database failed for the key\n%1")
                       .arg(QStringLiteral("HKEY_CURRENT_USER\\Software\\Classes\\") + key);
    const QString reason = m_platform->lastErrorText();
    if (!reason.isEmpty())
        text += QStringLiteral("\n\n") + reason;
    Reporter::current().report(Reporter::Warning,
                               QCoreApplication::translate("GApplicationAddonsImplWin",
                                                           "Error in setting Registry values"),
                               text);
    return false;
}

bool DdeShellIntegration::registerFileType(const QString& progId, const QString& description,
                                           const QString& extension, const QString& iconName, int iconIndex,
                                           bool useDde, int shellCommands)
{
    if (!setRegistryValue(progId, description))
        return false;

    const QString applicationDir = QFileInfo(m_platform->applicationFilePath()).path();
    const QString icon = QStringLiteral("\"%1\",%2")
                             .arg(windowsPath(applicationDir + QLatin1Char('/') + iconName))
                             .arg(iconIndex);
    if (!setRegistryValue(QStringLiteral("%1\\DefaultIcon").arg(progId), icon))
        return false;

    m_useDde = useDde;

    for (const ShellVerb& verb : shellVerbs) {
        if (!(shellCommands & verb.bit))
            continue;
        if (!registerShellCommand(progId, QString::fromLatin1(verb.verb), QString::fromLatin1(verb.ddeCommand),
                                  QString::fromLatin1(verb.arguments)))
            return false;
    }

    // An extension that belongs to another program is left alone. Class names
    // are registry keys, which ignore case.
    QString owner;
    if (m_platform->readClassesRootDefault(extension, &owner) && !owner.isEmpty()
        && owner.compare(progId, Qt::CaseInsensitive) != 0)
        return true;

    if (!setRegistryValue(extension, progId))
        return false;
    return setRegistryValue(QStringLiteral("%1\\ShellNew").arg(extension), QString(),
                            QStringLiteral("NullFile"));
}

bool DdeShellIntegration::registerShellCommand(const QString& progId, const QString& verb,
                                               const QString& ddeCommand, const QString& arguments)
{
    QString commandLine = QLatin1Char('"') + windowsPath(m_platform->applicationFilePath()) + QLatin1Char('"');
    if (!arguments.isEmpty())
        commandLine += QLatin1Char(' ') + arguments;

    const QString verbKey = QStringLiteral("%1\\shell\\%2").arg(progId, verb);
    if (!setRegistryValue(verbKey + QStringLiteral("\\command"), commandLine))
        return false;
    if (!m_useDde)
        return true;
    const QString ddeKey = verbKey + QStringLiteral("\\ddeexec");
    return setRegistryValue(ddeKey, ddeCommand)
           && setRegistryValue(ddeKey + QStringLiteral("\\application"), m_appName)
           && setRegistryValue(ddeKey + QStringLiteral("\\topic"), m_topic);
}

void DdeShellIntegration::enableDde()
{
    if (m_appAtom == 0 && m_systemTopicAtom == 0) {
        m_appAtom = m_platform->addAtom(m_appName);
        m_systemTopicAtom = m_platform->addAtom(m_topic);
    }
}

bool DdeShellIntegration::onDdeInitiate(const DdeMessage& message, qintptr* result)
{
    const quint16 application = lowWord(message.lParam);
    const quint16 topic = highWord(message.lParam);
    // Wildcard requests (a null atom) and other services or topics get no answer.
    if (application != 0 && topic != 0 && application == m_appAtom && topic == m_systemTopicAtom) {
        // The client deletes the atoms of the acknowledgement, so each gets one more reference.
        const quint16 appReference = m_platform->addAtom(m_platform->atomName(application));
        const quint16 topicReference = m_platform->addAtom(m_platform->atomName(topic));
        Q_ASSERT(appReference == application && topicReference == topic);
        Q_UNUSED(appReference)
        Q_UNUSED(topicReference)
        m_platform->sendInitiateAck(message.wParam, application, topic);
    }
    if (result)
        *result = 0;
    return true;
}

bool DdeShellIntegration::onDdeExecute(const DdeMessage& message, qintptr* result)
{
    quintptr commandHandle = 0;
    const QString command = m_platform->executeCommandText(message.lParam, &commandHandle);
    // The acknowledgement goes out before the command runs, and is always positive.
    m_platform->postExecuteAck(message.wParam, message.lParam, commandHandle);
    executeRequest(command);
    if (result)
        *result = 0;
    return true;
}

bool DdeShellIntegration::onDdeTerminate(const DdeMessage& message, qintptr* result)
{
    m_platform->postTerminate(message.wParam, message.lParam);
    if (result)
        *result = 0;
    return true;
}
