#pragma once

#include <QStringList>
#include <QVariantMap>

class GCrashLogCollectorImpl;

// The start-up look for crash logs of earlier runs.
namespace CrashReportCheck {

// The logs written since the last check; the check time advances to now
// whether or not any were found.
QStringList logsSinceLastCheck(const GCrashLogCollectorImpl& collector);
// The feedback dialog's additional data for a crash report: "log-1", "log-2", …
QVariantMap additionalData(const QStringList& logs);

}
