#include "gapplication.h"

#include "documenttyperegistry.h"
#include "gmainwindow.h"
#include "organization.h"
#include "grecentfileprovider.h"

#include <QDebug>
#include <QDir>
#include <QFileDialog>
#include <QFileOpenEvent>
#include <QTimer>

GApplication::GApplication(int& argc, char** argv)
    : QApplication(argc, argv)
{
    m_recentFileProvider = new GRecentFileProvider;
    connect(m_recentFileProvider, &GRecentFileProvider::loadFile, this,
            qOverload<const QString&>(&GApplication::openFile));
    setApplicationVersion(QStringLiteral(HWT_VERSION));
    if (!Reporter::isInstalled())
        Reporter::install(&m_messageBoxReporter);
    QTimer::singleShot(1, this, &GApplication::delayedInit);
}

GApplication::~GApplication()
{
    if (&Reporter::current() == &m_messageBoxReporter)
        Reporter::install(nullptr);
    delete m_recentFileProvider;
}

GApplication* GApplication::instance()
{
    return qobject_cast<GApplication*>(QCoreApplication::instance());
}

QString GApplication::unhandledExceptionText()
{
    const QString address = QString::fromLatin1(Organization::supportAddress);
    return tr("Caught unhandled exception<br/>Please report to ")
           + QStringLiteral("<a href=\"mailto:%1\">%1</a>").arg(address);
}

bool GApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        Reporter::current().report(Reporter::Critical, tr("Critial Error"), unhandledExceptionText());
    }
    return false;
}

bool GApplication::event(QEvent* event)
{
    if (event->type() == QEvent::FileOpen) {
        openFile(static_cast<QFileOpenEvent*>(event)->file(), nullptr);
        return true;
    }
    return QApplication::event(event);
}

void GApplication::closeAllWindowsAndQuit()
{
    setQuitOnLastWindowClosed(true);
    closeAllWindows();
}

GMainWindow* GApplication::newFile(const QString& fileName)
{
    const DocumentType* type = DocumentTypeRegistry::instance().typeOrDefault(fileName);
    if (!type)
        return nullptr;
    QObject* created = type->windowClass.newInstance();
    auto* window = qobject_cast<GMainWindow*>(created);
    if (!window) {
        delete created;
        qWarning() << "Cannot create a document window of class" << type->windowClass.className();
        return nullptr;
    }
    window->show();
    return window;
}

GMainWindow* GApplication::newFile()
{
    return newFile(QString());
}

void GApplication::open(GMainWindow* targetWindow)
{
    const QString fileName = QFileDialog::getOpenFileName(targetWindow, tr("Open file"),
                                                          QFileInfo(QString()).absolutePath(),
                                                          DocumentTypeRegistry::instance().openFilter());
    if (!fileName.isEmpty())
        openFile(fileName, targetWindow);
}

void GApplication::open()
{
    open(nullptr);
}

void GApplication::openFile(const QString& filename, GMainWindow* targetWindow)
{
    if (targetWindow && !targetWindow->canOpen(filename))
        targetWindow = nullptr;

    const QWidgetList topLevels = topLevelWidgets();
    // A document that is open already is only brought to the front, whichever
    // window comes first in the list.
    for (QWidget* widget : topLevels) {
        auto* window = qobject_cast<GMainWindow*>(widget);
        if (window && window->fileName() == filename) {
            window->raise();
            window->activateWindow();
            return;
        }
    }
    for (QWidget* widget : topLevels) {
        auto* window = qobject_cast<GMainWindow*>(widget);
        if (!window)
            continue;
        qDebug() << window->fileName();
        if (!window->isUsed() && !targetWindow && window->canOpen(filename)) {
            targetWindow = window;
            break;
        }
    }

    bool openedForFile = false;
    if (!targetWindow || targetWindow->isUsed()) {
        targetWindow = newFile(filename);
        openedForFile = true;
    }
    if (!targetWindow)
        return;

    if (!targetWindow->loadFile(filename)) {
        // A window made only for this file would stay behind empty.
        if (openedForFile)
            targetWindow->close();
        return;
    }
    targetWindow->setFileName(filename);
    targetWindow->raise();
    targetWindow->restoreWindowSettings();
}

void GApplication::openFile(const QString& filename)
{
    openFile(filename, nullptr);
}

void GApplication::openShellFile(const QString& fileName)
{
    openFile(fileName, nullptr);
}

void GApplication::about(QWidget*)
{
}

void GApplication::showPreferences(QWidget*)
{
}

void GApplication::showFeedbackDialog(QWidget*)
{
}

void GApplication::updateCheck(QWidget*)
{
}

void GApplication::delayedInit()
{
}
