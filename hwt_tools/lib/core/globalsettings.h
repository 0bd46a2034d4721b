#pragma once

#include "gsettings.h"

// Typed access to the settings that several parts of the program share.
class GlobalSettings : public GSettings
{
    Q_OBJECT
public:
    GlobalSettings() = default;

    QString customExporterPath() const;
    void setCustomExporterPath(const QString& path);

    QString lastExportName() const;
    void setLastExportName(const QString& name);
};
