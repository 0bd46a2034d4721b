#include "hullwrightapplication.h"

#include "autoupdater.h"
#include "documenttyperegistry.h"
#include "feedbackdialog.h"
#include "globalsettings.h"
#include "mainwindow.h"
#include "organization.h"
#include "preferences.h"

#include <QIcon>
#include <QMessageBox>

HullwrightApplication::HullwrightApplication(int& argc, char** argv)
    : GApplication(argc, argv)
{
    setApplicationName(QStringLiteral("Hullwright"));
    setApplicationId(QStringLiteral("Hullwright"));
    setOrganizationName(QString::fromLatin1(Organization::name));

    // The registry outlives application objects, so the type is registered once per process.
    DocumentTypeRegistry& registry = DocumentTypeRegistry::instance();
    if (!registry.typeForFile(QStringLiteral("x.hws")))
        registry.registerType(QStringLiteral("Hullwright.SpriteSheet"), tr("Hullwright Sheet"),
                              QStringLiteral(".hws"), QStringLiteral("HWS.ico"), true, true, true,
                              MainWindow::staticMetaObject);
    enableDde();
    setWindowIcon(QIcon(QStringLiteral(":/Icon.png")));
}

QString HullwrightApplication::aboutText()
{
    return tr("<b>Hullwright %1</b><br/><br/>").arg(applicationVersion())
           + tr("Made by the Hullwright developers at <a href=\"https://hullwright.org\">hullwright.org</a>")
           + QStringLiteral("<br/><br/>")
           + tr("<small>Corona SDK is a trademark of its respective owner.</small>")
           + QStringLiteral("<br/>")
           + tr("<small>Icons: <a href=\"https://hullwright.org/icons\">Hullwright icon set</a></small>");
}

void HullwrightApplication::about(QWidget* parent)
{
    QMessageBox::about(parent, tr("About Hullwright"), aboutText());
}

void HullwrightApplication::showPreferences(QWidget* parent)
{
    Preferences dialog(parent);
    dialog.exec();
}

void HullwrightApplication::showFeedbackDialog(QWidget* parent)
{
    QVariantMap additionalData;
    {
        GlobalSettings settings;
        additionalData.insert(QStringLiteral("lastExporter"), settings.value(QStringLiteral("lastExporter")).toString());
    }
    additionalData.insert(QStringLiteral("version"), applicationVersion());
    FeedbackDialog dialog(parent, additionalData);
    dialog.exec();
}

void HullwrightApplication::updateCheck(QWidget*)
{
    if (AutoUpdater* updater = AutoUpdater::instance())
        updater->checkForUpdates();
}
