#include "globalsettings.h"

namespace {
const char customExporterPathKey[] = "customExporterPath";
const char lastExportNameKey[] = "lastExportName";
}

QString GlobalSettings::customExporterPath() const
{
    return value(QLatin1String(customExporterPathKey), QString()).toString();
}

void GlobalSettings::setCustomExporterPath(const QString& path)
{
    setValue(QLatin1String(customExporterPathKey), path);
}

QString GlobalSettings::lastExportName() const
{
    return value(QLatin1String(lastExportNameKey), QString()).toString();
}

void GlobalSettings::setLastExportName(const QString& name)
{
    setValue(QLatin1String(lastExportNameKey), name);
}
