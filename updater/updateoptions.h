#pragma once

// The update checker's options as the user sets them. Each call opens a fresh
// settings object; nothing is cached, so every reader sees the latest value.
class UpdateOptions
{
public:
    static bool autoUpdatesEnabled();            // "autoUpdatesEnabled", default true
    static void setAutoUpdatesEnabled(bool enabled);
    static bool betaUpdatesEnabled();            // "enableBetaUpdates", default false
    static void setBetaUpdatesEnabled(bool enabled);
    static bool sendStatisticsEnabled();         // "sendStatisticsEnabled", default true
    static void setSendStatisticsEnabled(bool enabled);
};
