#include "gapplicationaddons.h"

#include "gapplicationaddonsimpl.h"
#include "private/platformaddons.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMetaObject>

namespace {
GApplicationAddons* s_instance = nullptr;
}

GApplicationAddons::GApplicationAddons()
    : GApplicationAddons(createPlatformAddonsImpl())
{
}

GApplicationAddons::GApplicationAddons(std::unique_ptr<GApplicationAddonsImpl> impl)
    : m_impl(std::move(impl))
{
    m_impl->setAddons(this);
    s_instance = this;
}

GApplicationAddons::~GApplicationAddons()
{
    if (s_instance == this)
        s_instance = nullptr;
}

GApplicationAddons* GApplicationAddons::instance()
{
    return s_instance;
}

bool GApplicationAddons::registerFileType(const QString& progId, const QString& description,
                                          const QString& extension, const QString& iconName, int iconIndex,
                                          bool useDde, int shellCommands)
{
    return m_impl->registerFileType(progId, description, extension, iconName, iconIndex, useDde, shellCommands);
}

bool GApplicationAddons::forwardOpenRequests(const QStringList& fileNames)
{
    return m_impl->forwardOpenRequests(fileNames);
}

bool GApplicationAddons::onDdeInitiate(const DdeMessage& message, qintptr* result)
{
    return m_impl->onDdeInitiate(message, result);
}

bool GApplicationAddons::onDdeExecute(const DdeMessage& message, qintptr* result)
{
    return m_impl->onDdeExecute(message, result);
}

bool GApplicationAddons::onDdeTerminate(const DdeMessage& message, qintptr* result)
{
    return m_impl->onDdeTerminate(message, result);
}

void GApplicationAddons::executeCommand(const QString& command, const QString& argument)
{
    m_impl->executeCommand(command, argument);
}

void GApplicationAddons::enableDde()
{
    m_impl->enableDde();
}

void GApplicationAddons::executeRequest(const QString& request)
{
    m_impl->executeRequest(request);
}

void GApplicationAddons::queueOpenRequests(const QStringList& fileNames)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || fileNames.isEmpty())
        return;
    const QStringList requests = openRequests(fileNames);
    QMetaObject::invokeMethod(
        app,
        [requests]() {
            for (const QString& request : requests) {
                if (GApplicationAddons* addons = GApplicationAddons::instance())
                    addons->executeRequest(request);
            }
        },
        Qt::QueuedConnection);
}

QString GApplicationAddons::openRequest(const QString& fileName)
{
    return QStringLiteral("[open(\"%1\")]").arg(QFileInfo(fileName).absoluteFilePath());
}

QStringList GApplicationAddons::openRequests(const QStringList& fileNames)
{
    QStringList requests;
    for (const QString& fileName : fileNames)
        requests << openRequest(fileName);
    return requests;
}

QStringList GApplicationAddons::filesFromArguments(const QStringList& arguments)
{
    QStringList files;
    bool optionsEnded = false;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (!optionsEnded && argument == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        if (argument.isEmpty() || (!optionsEnded && argument.startsWith(QLatin1Char('-'))))
            continue;
        files << argument;
    }
    return files;
}

void GApplicationAddons::openShellFile(const QString&)
{
}
