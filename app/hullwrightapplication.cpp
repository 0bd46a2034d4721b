#include "hullwrightapplication.h"

#include "documenttyperegistry.h"
#include "mainwindow.h"
#include "organization.h"

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

// The three commands below are served by the preferences dialog, the feedback
// dialog and the update checker, which arrive with their own parts.
void HullwrightApplication::showPreferences(QWidget*)
{
}

void HullwrightApplication::showFeedbackDialog(QWidget*)
{
}

void HullwrightApplication::updateCheck(QWidget*)
{
}
