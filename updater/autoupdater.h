#pragma once

#include "updateconfig.h"

#include <QByteArray>
#include <QString>
#include <QUrl>

// The update checker's interface. There is one checker per process; it is
// created at start-up and reached through instance().
class AutoUpdater
{
public:
    // A second checker ends the process with this exit code.
    static constexpr int alreadyInitialisedExitCode = 10;

    explicit AutoUpdater(const UpdateConfig& config);
    AutoUpdater(const AutoUpdater&) = delete;
    AutoUpdater& operator=(const AutoUpdater&) = delete;
    virtual ~AutoUpdater();

    // The live checker, or null.
    static AutoUpdater* instance();

    // Checks quietly: only an offered update is shown.
    virtual void checkForUpdatesInBackground();
    // Checks on the user's request: failures and "no update" are shown too.
    virtual void checkForUpdates();
    virtual bool autoUpdatesEnabled();
    virtual void setAutoUpdatesEnabled(bool enabled);
    virtual bool betaUpdatesEnabled();
    virtual void setBetaUpdatesEnabled(bool enabled);
    virtual bool sendStatisticsEnabled();
    virtual void setSendStatisticsEnabled(bool enabled);

    const UpdateConfig& config() const { return m_config; }
    bool isInteractive() const { return m_interactive; }

    // The app cast feed for this application and the chosen channel.
    QUrl feedUrl();
    // The body sent with a check: the statistics document, or nothing when
    // the user has switched statistics off.
    QByteArray requestBody();
    static QByteArray statisticsDocument(const QVariantMap& statistics);

    // 1 when `first` is newer than `second`, 0 when equal, -1 when older.
    // Only the digit runs count; a version with more of them is older than
    // its prefix (1.0.9 is newer than 1.0.9.1); one without digits is older
    // than any with them.
    static int compareVersions(const QString& first, const QString& second);

    // The versions the user chose to skip; skipVersion() adds one once.
    static QStringList skippedVersions();
    static void skipVersion(const QString& version);

protected:
    // Sends one request; the answer arrives asynchronously.
    virtual void runCheck() = 0;
    void setInteractive(bool interactive) { m_interactive = interactive; }

private:
    UpdateConfig m_config;
    bool m_interactive = false;
};
