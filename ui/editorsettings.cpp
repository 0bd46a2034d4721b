#include "editorsettings.h"

#include "gsettings.h"

#include <QtGlobal>

namespace {
const char autosaveMinutesKey[] = "editor/autosaveMinutes";
const char imageMemoryKey[] = "editor/imageMemoryMegabytes";

// A settings file is edited by hand now and then: out-of-range values are clamped.
int storedInt(const char* key, int fallback, int low, int high)
{
    bool ok = false;
    const int value = GSettings().value(QLatin1String(key), fallback).toInt(&ok);
    return ok ? qBound(low, value, high) : fallback;
}
}

EditorSettings& EditorSettings::instance()
{
    static EditorSettings settings;
    return settings;
}

int EditorSettings::autosaveMinutes() const
{
    return storedInt(autosaveMinutesKey, defaultAutosaveMinutes, 0, maxAutosaveMinutes);
}

void EditorSettings::setAutosaveMinutes(int minutes)
{
    minutes = qBound(0, minutes, maxAutosaveMinutes);
    if (minutes == autosaveMinutes())
        return;
    GSettings().setValue(QLatin1String(autosaveMinutesKey), minutes);
    emit autosaveMinutesChanged(minutes);
}

int EditorSettings::imageMemoryMegabytes() const
{
    return storedInt(imageMemoryKey, defaultImageMemoryMegabytes, minImageMemoryMegabytes, maxImageMemoryMegabytes);
}

void EditorSettings::setImageMemoryMegabytes(int megabytes)
{
    megabytes = qBound(minImageMemoryMegabytes, megabytes, maxImageMemoryMegabytes);
    if (megabytes == imageMemoryMegabytes())
        return;
    GSettings().setValue(QLatin1String(imageMemoryKey), megabytes);
    emit imageMemoryMegabytesChanged(megabytes);
}
