#include "exporterregistry.h"

#include "error.h"
#include "exporter.h"
#include "reporter.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QMap>
#include <QStringList>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

struct RegistryState
{
    QMap<QString, Exporter*> byName;
    // Every exporter ever registered, replaced ones included: documents and
    // windows may still point at a replaced exporter, so none is destroyed
    // before the process ends.
    std::vector<std::unique_ptr<Exporter>> store;
};

RegistryState& state()
{
    static RegistryState registryState;
    return registryState;
}

}

ExporterRegistry& ExporterRegistry::instance()
{
    static ExporterRegistry registry;
    return registry;
}

QString ExporterRegistry::builtInDirectory(const QString& programDir)
{
    const QString besideProgram = programDir + QStringLiteral("/exporters");
    const QString installed = programDir + QStringLiteral("/../share/hullwright/exporters");
    if (!QFileInfo(besideProgram).isDir() && QFileInfo(installed).isDir())
        return QDir::cleanPath(installed);
    return besideProgram;
}

void ExporterRegistry::scanExporters(const QString& directory)
{
    qDebug() << "Scanning for exporters in " << directory;
    // An empty path would mean the working directory.
    if (directory.isEmpty())
        return;
    const QFileInfoList entries = QDir(directory).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QFileInfo& entry : entries) {
        std::unique_ptr<Exporter> exporter;
        try {
            exporter = std::make_unique<Exporter>(entry.absoluteFilePath());
        } catch (const Error& error) {
            Reporter::current().report(Reporter::Critical, QStringLiteral("Failed to open exporter"), error.message());
            continue;
        }
        for (const QString& warning : exporter->warnings())
            Reporter::current().report(Reporter::Warning, QStringLiteral("Problem in exporter"), warning);
        qDebug().noquote() << "Adding exporter: " + exporter->displayName();
        add(exporter.release());
    }
}

void ExporterRegistry::add(Exporter* exporter)
{
    if (!exporter)
        return;
    RegistryState& registry = state();
    const bool stored = std::any_of(registry.store.cbegin(), registry.store.cend(),
                                    [exporter](const std::unique_ptr<Exporter>& kept) { return kept.get() == exporter; });
    if (!stored)
        registry.store.emplace_back(exporter);
    registry.byName.insert(exporter->name(), exporter);
}

Exporter* ExporterRegistry::exporter(const QString& name) const
{
    return state().byName.value(name, nullptr);
}

QList<Exporter*> ExporterRegistry::exporters() const
{
    return state().byName.values();
}

Exporter* ExporterRegistry::findExporter(const QString& name) const
{
    const QMap<QString, Exporter*>& byName = state().byName;
    const auto found = byName.constFind(name);
    if (found != byName.cend())
        return found.value();
    Reporter::current().report(
        Reporter::Critical, QStringLiteral("Unkown exporter"),
        QStringLiteral("File was created using unknown exporter %1. Please intall this exporter.").arg(name));
    return byName.isEmpty() ? nullptr : byName.first();
}

void ExporterRegistry::clear()
{
    state().byName.clear();
}
