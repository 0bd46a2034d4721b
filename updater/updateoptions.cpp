#include "updateoptions.h"

#include "gsettings.h"

namespace {
const char autoUpdatesKey[] = "autoUpdatesEnabled";
const char betaUpdatesKey[] = "enableBetaUpdates";
const char sendStatisticsKey[] = "sendStatisticsEnabled";

bool readFlag(const char* key, bool fallback)
{
    GSettings settings;
    return settings.value(QLatin1String(key), fallback).toBool();
}

void writeFlag(const char* key, bool value)
{
    GSettings settings;
    settings.setValue(QLatin1String(key), value);
}
}

bool UpdateOptions::autoUpdatesEnabled() { return readFlag(autoUpdatesKey, true); }
void UpdateOptions::setAutoUpdatesEnabled(bool enabled) { writeFlag(autoUpdatesKey, enabled); }
bool UpdateOptions::betaUpdatesEnabled() { return readFlag(betaUpdatesKey, false); }
void UpdateOptions::setBetaUpdatesEnabled(bool enabled) { writeFlag(betaUpdatesKey, enabled); }
bool UpdateOptions::sendStatisticsEnabled() { return readFlag(sendStatisticsKey, true); }
void UpdateOptions::setSendStatisticsEnabled(bool enabled) { writeFlag(sendStatisticsKey, enabled); }
