#include "crashreportcheck.h"

#include "gcrashlogcollectorimpl.h"
#include "gsettings.h"

namespace CrashReportCheck {

QStringList logsSinceLastCheck(const GCrashLogCollectorImpl& collector)
{
    const QString key = QStringLiteral("crashlogger-last-check");
    GSettings settings;
    const QDateTime lastCheck = settings.value(key).toDateTime();
    const QStringList logs = collector.crashLogs(lastCheck);
    settings.setValue(key, QDateTime::currentDateTime());
    return logs;
}

QVariantMap additionalData(const QStringList& logs)
{
    QVariantMap data;
    for (int i = 0; i < logs.size(); ++i)
        data.insert(QStringLiteral("log-%1").arg(i + 1), logs.at(i));
    return data;
}

}
