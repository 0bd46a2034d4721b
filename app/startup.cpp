#include "startup.h"

#include "crashhandler.h"
#include "crashreportcheck.h"
#include "elementlistmodel.h"
#include "error.h"
#include "exporterregistry.h"
#include "feedbackdialog.h"
#include "feedupdater.h"
#include "gcrashlogcollectorimpl.h"
#include "globalsettings.h"
#include "hullwrightapplication.h"
#include "mainwindow.h"
#include "organization.h"
#include "preferences.h"
#include "reporter.h"
#include "startupprobe.h"
#include "systeminquiry.h"
#include "templatelookups.h"

#include <QDebug>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QUuid>

namespace Startup {

void runCrashReportCheck()
{
    const std::unique_ptr<GCrashLogCollectorImpl> collector = GCrashLogCollectorImpl::create();
    const QStringList logs = CrashReportCheck::logsSinceLastCheck(*collector);
    // From here on a crash leaves a log for the next start to offer.
    CrashHandler::install(CrashHandler::defaultDirectory());
    if (logs.isEmpty())
        return;

    GApplicationAddons* application = GApplicationAddons::instance();
    if (application)
        application->setHandlingCrash(true);
    FeedbackDialog dialog(nullptr, CrashReportCheck::additionalData(logs), logs.last());
    dialog.exec();
    if (application)
        application->setHandlingCrash(false);
}

RecoveryAnswer askAboutRecovery(const QDateTime& written)
{
    QMessageBox box;
    box.setIcon(QMessageBox::Question);
    box.setWindowTitle(QCoreApplication::translate("Startup", "Recover Unsaved Work"));
    box.setText(QCoreApplication::translate("Startup", "Recover unsaved work from %1?")
                    .arg(QLocale().toString(written.toLocalTime(), QLocale::LongFormat)));
    QPushButton* recover = box.addButton(QCoreApplication::translate("Startup", "Recover"), QMessageBox::AcceptRole);
    QPushButton* discard =
        box.addButton(QCoreApplication::translate("Startup", "Discard"), QMessageBox::DestructiveRole);
    // Closing the box decides nothing: the work stays for the next start.
    QPushButton* later = box.addButton(QCoreApplication::translate("Startup", "Later"), QMessageBox::RejectRole);
    box.setDefaultButton(recover);
    box.setEscapeButton(later);
    box.exec();
    if (box.clickedButton() == recover)
        return RecoveryAnswer::Recover;
    if (box.clickedButton() == discard)
        return RecoveryAnswer::Discard;
    return RecoveryAnswer::Later;
}

QList<GMainWindow*> runRecoveryCheck(const RecoveryQuestion& ask, const QString& directory)
{
    QList<GMainWindow*> windows;
    QList<RecoveryStore::Entry> entries = RecoveryStore::abandonedEntries(directory);
    for (RecoveryStore::Entry& entry : entries) {
        const RecoveryAnswer answer = ask(entry.written);
        if (answer == RecoveryAnswer::Discard)
            RecoveryStore::discard(entry);
        if (answer != RecoveryAnswer::Recover)
            continue;
        QString problem;
        std::unique_ptr<ElementListModel> document = RecoveryStore::read(entry, &problem);
        GApplication* application = GApplication::instance();
        auto* window = document && application ? qobject_cast<MainWindow*>(application->newFile()) : nullptr;
        if (!window) {
            // The copy stays for another try.
            Reporter::current().report(Reporter::Warning,
                                       QCoreApplication::translate("Startup", "Recover Unsaved Work"),
                                       QCoreApplication::translate("Startup", "Could not recover the work: %1")
                                           .arg(problem));
            continue;
        }
        window->setModel(document.release());
        if (!entry.originalFileName.isEmpty())
            window->setFileName(entry.originalFileName);
        // This window autosaves the document anew.
        RecoveryStore::discard(entry);
        windows << window;
    }
    return windows;
}

UpdateConfig prepareUpdateConfig()
{
    UpdateConfig config;
    config.iconPath = QStringLiteral(":/resources/Icon.png");
    config.baseUrl = QString::fromLatin1(Organization::downloadBaseUrl);
    // Lets a staging or local server stand in for the download server.
    const QString override = qEnvironmentVariable("HULLWRIGHT_UPDATE_BASE_URL");
    if (!override.isEmpty()) {
        config.baseUrl = override;
        while (config.baseUrl.endsWith(QLatin1Char('/')))
            config.baseUrl.chop(1);
    }
    return config;
}

QString ensureInstallationId()
{
    GlobalSettings settings;
    if (!settings.contains(QStringLiteral("uuid")))
        settings.setValue(QStringLiteral("uuid"), QUuid::createUuid().toString());
    return settings.value(QStringLiteral("uuid")).toString();
}

QVariantMap collectStatistics()
{
    GlobalSettings settings;
    const SystemInquiry& system = SystemInquiry::instance();
    QVariantMap statistics;
    statistics.insert(QStringLiteral("version"), QCoreApplication::applicationVersion());
    statistics.insert(QStringLiteral("osName"), system.osName());
    statistics.insert(QStringLiteral("osVersion"), system.osVersion());
    statistics.insert(QStringLiteral("uuid"), settings.value(QStringLiteral("uuid")).toString());
    statistics.insert(QStringLiteral("lastExporter"), settings.value(QStringLiteral("lastExporter")).toString());
    const int crashCounter = settings.value(QStringLiteral("crashCounter")).toInt();
    statistics.insert(QStringLiteral("crashCounter"), QString::number(crashCounter - 1));
    return statistics;
}

void startUpdateChecker(const UpdateConfig& config)
{
    // Lives as long as the application; the one checker of the process.
    auto* updater = new FeedUpdater(config, QCoreApplication::instance());
    if (updater->autoUpdatesEnabled()) {
        // Started once the first window is up, so the check never delays it.
        QTimer::singleShot(backgroundCheckDelayMs, updater, [updater]() { updater->checkForUpdatesInBackground(); });
    }
}

QStringList exporterDirectories(const QString& applicationDir)
{
    QStringList directories{ExporterRegistry::builtInDirectory(applicationDir)};
    const QString custom = GlobalSettings().customExporterPath();
    if (!custom.isEmpty())
        directories << custom;
    return directories;
}

void scanExporters(const QString& applicationDir)
{
    // A broken exporter must not keep the editor from starting.
    try {
        const QStringList directories = exporterDirectories(applicationDir);
        for (const QString& directory : directories) {
            qDebug().noquote() << "Scanning for exporters in " + directory;
            ExporterRegistry::instance().scanExporters(directory);
        }
    } catch (const Error& e) {
        Reporter::current().report(Reporter::Critical, QStringLiteral("Failed to scan exporters"), e.message());
    }
}

void registerTemplateLookups()
{
    ::registerTemplateLookups();
}

int run(int argc, char** argv)
{
    HullwrightApplication app(argc, argv);
    // Files named on the command line are the shell's open requests: an editor
    // that is already running takes them, and this launch ends.
    const QStringList requestedFiles = GApplicationAddons::filesFromArguments(QCoreApplication::arguments());
    if (!requestedFiles.isEmpty() && app.forwardOpenRequests(requestedFiles))
        return 0;
    StartupProbe::installIfRequested();

    const QString applicationDir = QCoreApplication::applicationDirPath();
    Preferences::applyImageMemorySetting();
    runCrashReportCheck();
    UpdateConfig updateConfig = prepareUpdateConfig();
    ensureInstallationId();
    updateConfig.statistics = collectStatistics();
    startUpdateChecker(updateConfig);
    scanExporters(applicationDir);
    registerTemplateLookups();

    // After the exporters are known, so that recovered documents find theirs.
    if (runRecoveryCheck().isEmpty())
        app.newFile();
    app.queueOpenRequests(requestedFiles);
    return app.exec();
}

}
