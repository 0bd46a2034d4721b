#pragma once

#include "recoverystore.h"
#include "updateconfig.h"

#include <QDateTime>
#include <QList>
#include <QStringList>
#include <QVariantMap>

#include <functional>

class GMainWindow;

// The start-up sequence of the editor, one function per step, in order.
namespace Startup {

// Offers the crash logs of an earlier run for sending.
void runCrashReportCheck();
// What the user wants done with the unsaved work of an editor that ended
// without closing its document: Later keeps it for the next start.
enum class RecoveryAnswer { Recover, Discard, Later };
using RecoveryQuestion = std::function<RecoveryAnswer(const QDateTime& written)>;
// Asks with a message box.
RecoveryAnswer askAboutRecovery(const QDateTime& written);
// Offers the work of editors that are no longer running, one question per
// entry; a recovered document opens modified in a window of its own, under
// the file name it had. Returns the windows opened.
QList<GMainWindow*> runRecoveryCheck(const RecoveryQuestion& ask = askAboutRecovery,
                                     const QString& directory = RecoveryStore::defaultDirectory());
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
