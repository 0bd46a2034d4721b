#pragma once

#include "updateconfig.h"

#include <QStringList>
#include <QVariantMap>

// The start-up sequence of the editor, one function per step, in order.
namespace Startup {

// Offers the crash logs of an earlier run for sending.
void runCrashReportCheck();
// Icon and download server of the update checker.
UpdateConfig prepareUpdateConfig();
// The installation identifier; created and stored on the first start only.
QString ensureInstallationId();
// The usage statistics sent along with update checks.
QVariantMap collectStatistics();
// Creates the update checker and, when enabled, checks in the background
// once the event loop has been running for backgroundCheckDelayMs.
inline constexpr int backgroundCheckDelayMs = 2000;
void startUpdateChecker(const UpdateConfig& config);
// The exporter directories in scan order: the built-in one, then the custom one if set.
QStringList exporterDirectories(const QString& applicationDir);
void scanExporters(const QString& applicationDir);
// Lets templates read the model's types; must happen before any publishing.
void registerTemplateLookups();

// The entry function: application object, the steps above, the first window, the event loop.
int run(int argc, char** argv);

}
