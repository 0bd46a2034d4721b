#include "autoupdater.h"

#include "gsettings.h"
#include "updateoptions.h"
#include "xmldocumentwriter.h"

#include <QCoreApplication>
#include <QDebug>
#include <QRegularExpression>

#include <cstdlib>

namespace {
AutoUpdater* s_instance = nullptr;
const char skippedVersionsKey[] = "updater/skippedversions";

QList<qulonglong> versionNumbers(const QString& version)
{
    static const QRegularExpression separators(QStringLiteral("[^0-9]+"));
    QList<qulonglong> numbers;
    const QStringList parts = version.split(separators, Qt::SkipEmptyParts);
    for (const QString& part : parts) {
        bool ok = false;
        const qulonglong number = part.toULongLong(&ok);
        // Digit runs too long for 64 bits compare as the largest number.
        numbers << (ok ? number : ~qulonglong(0));
    }
    return numbers;
}
}

AutoUpdater::AutoUpdater(const UpdateConfig& config)
    : m_config(config)
{
    if (s_instance) {
        qDebug() << "AutoUpdater already initialised";
        std::exit(alreadyInitialisedExitCode);
    }
    s_instance = this;
}

AutoUpdater::~AutoUpdater()
{
    if (s_instance == this)
        s_instance = nullptr;
}

AutoUpdater* AutoUpdater::instance()
{
    return s_instance;
}

void AutoUpdater::checkForUpdatesInBackground()
{
    m_interactive = false;
    runCheck();
}

void AutoUpdater::checkForUpdates()
{
    m_interactive = true;
    runCheck();
}

bool AutoUpdater::autoUpdatesEnabled() { return UpdateOptions::autoUpdatesEnabled(); }
void AutoUpdater::setAutoUpdatesEnabled(bool enabled) { UpdateOptions::setAutoUpdatesEnabled(enabled); }
bool AutoUpdater::betaUpdatesEnabled() { return UpdateOptions::betaUpdatesEnabled(); }
void AutoUpdater::setBetaUpdatesEnabled(bool enabled) { UpdateOptions::setBetaUpdatesEnabled(enabled); }
bool AutoUpdater::sendStatisticsEnabled() { return UpdateOptions::sendStatisticsEnabled(); }
void AutoUpdater::setSendStatisticsEnabled(bool enabled) { UpdateOptions::setSendStatisticsEnabled(enabled); }

QUrl AutoUpdater::feedUrl()
{
    // Asking for another platform's feed would offer its installer here.
#if defined(Q_OS_WIN)
    const QString platform = QStringLiteral("win");
#elif defined(Q_OS_MACOS)
    const QString platform = QStringLiteral("mac");
#else
    const QString platform = QStringLiteral("linux");
#endif
    const QString application = QCoreApplication::applicationName().toLower();
    const QString channel = betaUpdatesEnabled() ? QStringLiteral("beta") : QStringLiteral("release");
    return QUrl(QStringLiteral("%1/%2/%2-%3-%4.xml").arg(m_config.baseUrl, application, channel, platform));
}

QByteArray AutoUpdater::requestBody()
{
    if (!sendStatisticsEnabled())
        return {};
    return statisticsDocument(m_config.statistics);
}

QByteArray AutoUpdater::statisticsDocument(const QVariantMap& statistics)
{
    QByteArray document;
    XmlDocumentWriter writer(&document, QStringLiteral("stat"), {{QStringLiteral("version"), QStringLiteral("1.0")}});
    writer.writeMap(statistics);
    writer.finish();
    return document;
}

int AutoUpdater::compareVersions(const QString& first, const QString& second)
{
    const QList<qulonglong> a = versionNumbers(first);
    const QList<qulonglong> b = versionNumbers(second);
    // A version without any number (a feed item without one) is older than
    // every numbered version, so it is never offered.
    if (a.isEmpty() != b.isEmpty())
        return a.isEmpty() ? -1 : 1;
    int i = 0;
    for (; i < a.size() && i < b.size(); ++i) {
        if (a.at(i) > b.at(i))
            return 1;
        if (a.at(i) < b.at(i))
            return -1;
    }
    if (i == a.size() && i == b.size())
        return 0;
    return i < a.size() ? -1 : 1;
}

QStringList AutoUpdater::skippedVersions()
{
    return GSettings().value(QLatin1String(skippedVersionsKey)).toStringList();
}

void AutoUpdater::skipVersion(const QString& version)
{
    GSettings settings;
    QStringList skipped = settings.value(QLatin1String(skippedVersionsKey)).toStringList();
    if (skipped.contains(version))
        return;
    skipped << version;
    settings.setValue(QLatin1String(skippedVersionsKey), skipped);
}
