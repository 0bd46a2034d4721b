#pragma once

#include <QList>
#include <QString>

class Exporter;

// The exporters found at start-up, by name. Exporters live until the process ends.
class ExporterRegistry
{
public:
    // The process-wide registry, created empty on first use.
    static ExporterRegistry& instance();

    // Where the exporters shipped with the program in `programDir` are:
    // exporters/ beside it in a build tree, ../share/hullwright/exporters once
    // installed (from bin/); beside it when neither exists.
    static QString builtInDirectory(const QString& programDir);

    // Reads every subdirectory of `directory` as an exporter. One that cannot be
    // read is reported ("Failed to open exporter") and skipped; the warnings of
    // one that can are reported ("Problem in exporter") and it is registered.
    // One whose name is already registered replaces the earlier entry.
    void scanExporters(const QString& directory);

    // Registers an exporter under its name, replacing an entry of that name.
    // The registry keeps the exporter alive until the process ends.
    void add(Exporter* exporter);

    // The exporter of that name, or null.
    Exporter* exporter(const QString& name) const;
    // All registered exporters, sorted by name.
    QList<Exporter*> exporters() const;

    // The look-up for documents: the exporter of that name; when it is not
    // registered, reports "Unkown exporter" and returns the first registered
    // exporter (null when none is registered).
    Exporter* findExporter(const QString& name) const;

    // Forgets every entry (tests only; the exporters themselves are kept).
    void clear();
};
