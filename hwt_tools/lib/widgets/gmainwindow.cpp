#include "gmainwindow.h"

#include "documenttyperegistry.h"
#include "gaction.h"
#include "gapplication.h"
#include "grecentfileprovider.h"
#include "gsettings.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTimer>

namespace {
const char lastFileNameKey[] = "main/lastFileName";
const char windowSettingsGroup[] = "windowSettings";
}

GMainWindow::GMainWindow(ActionFlags flags, QWidget* parent, Qt::WindowFlags windowFlags)
    : QMainWindow(parent, windowFlags)
{
    setAttribute(Qt::WA_DeleteOnClose);
    createActions(flags);
    m_recentFileProvider = new GRecentFileProvider(this);
    connect(m_recentFileProvider, &GRecentFileProvider::loadFile, this, &GMainWindow::openFile);
    QTimer::singleShot(0, this, &GMainWindow::mainWindowPostInit);
}

GMainWindow::~GMainWindow() = default;

void GMainWindow::createActions(ActionFlags flags)
{
    auto make = [this](const QIcon& icon, const QString& text, QKeySequence::StandardKey key, const QString& tip) {
        auto* action = new GAction(icon, text, this, nullptr);
        if (key != QKeySequence::UnknownKey)
            action->setShortcuts(key);
        action->setStatusTip(tip);
        return action;
    };
    const QIcon none;

    if (flags & NewAction) {
        m_newAction = make(QIcon(QStringLiteral(":/32x32/New.png")), tr("&New"), QKeySequence::New,
                           tr("Create a new file"));
        connect(m_newAction, &QAction::triggered, this, &GMainWindow::newFile);
    }
    if (flags & OpenAction) {
        m_openAction = make(QIcon(QStringLiteral(":/32x32/Open.png")), tr("&Open..."), QKeySequence::Open,
                            tr("Open an existing file"));
        connect(m_openAction, &QAction::triggered, this, &GMainWindow::open);
    }
    if (flags & SaveAction) {
        m_saveAction = make(QIcon(QStringLiteral(":/32x32/Save.png")), tr("&Save"), QKeySequence::Save,
                            tr("Save the document to disk"));
        connect(m_saveAction, &QAction::triggered, this, &GMainWindow::save);
        m_saveAsAction = make(none, tr("Save &As..."), QKeySequence::SaveAs, tr("Save the document under a new name"));
        connect(m_saveAsAction, &QAction::triggered, this, &GMainWindow::saveAs);
    }

    m_closeAction = make(none, tr("Close"), QKeySequence::Close, tr("Close sprite sheet"));
    connect(m_closeAction, &QAction::triggered, this, &GMainWindow::closeWindow);

    m_exitAction = make(none, tr("E&xit"), QKeySequence::Quit, tr("Exit the application"));
    if (GApplication* app = GApplication::instance())
        connect(m_exitAction, &QAction::triggered, app, &GApplication::closeAllWindowsAndQuit);

    m_aboutAction = make(none, tr("&About"), QKeySequence::UnknownKey, tr("Show the application's About box"));
    connect(m_aboutAction, &QAction::triggered, this, &GMainWindow::about);

    m_separatorAction = new GAction(this);
    m_separatorAction->setSeparator(true);

    m_preferencesAction = make(none, tr("Preferences ..."), QKeySequence::UnknownKey, tr("Preferences"));
    connect(m_preferencesAction, &QAction::triggered, this, &GMainWindow::showPreferences);

    m_updateCheckAction = make(none, tr("Check for updates ..."), QKeySequence::UnknownKey, tr("Check for updates"));
    m_updateCheckAction->setMenuRole(QAction::ApplicationSpecificRole);
    connect(m_updateCheckAction, &QAction::triggered, this, &GMainWindow::updateCheck);

    m_feedbackAction = make(none, tr("Send feedback ..."), QKeySequence::UnknownKey,
                            tr("Send feedback, feature requests, bug reports"));
    connect(m_feedbackAction, &QAction::triggered, this, &GMainWindow::showFeedbackDialog);
}

void GMainWindow::setFileName(const QString& fileName)
{
    setWindowFilePath(QFileInfo(fileName).fileName());
    m_recentFileProvider->addFile(fileName);
    m_fileName = fileName;
    GSettings().setValue(QLatin1String(lastFileNameKey), fileName);
    emit fileNameChanged(fileName);
}

bool GMainWindow::canOpen(const QString& fileName) const
{
    return DocumentTypeRegistry::instance().canOpen(this, fileName);
}

bool GMainWindow::isUsed()
{
    return !m_fileName.isEmpty() || isModified();
}

QString GMainWindow::windowSettingsKey(const QString& fileName)
{
    static const QRegularExpression notAlphanumeric(QStringLiteral("[^a-zA-Z0-9]"));
    return QString(fileName).remove(notAlphanumeric);
}

void GMainWindow::saveWindowSettings()
{
    GSettings settings;
    settings.beginGroup(QLatin1String(windowSettingsGroup));
    settings.beginGroup(windowSettingsKey(m_fileName));
    settings.setValue(QStringLiteral("geometry"), saveGeometry());
    settings.setValue(QStringLiteral("windowState"), saveState(0));
    saveCustomSettings(settings);
    settings.endGroup();
    settings.endGroup();
}

void GMainWindow::restoreWindowSettings()
{
    GSettings settings;
    settings.beginGroup(QLatin1String(windowSettingsGroup));
    settings.beginGroup(windowSettingsKey(m_fileName));
    const QByteArray geometry = settings.value(QStringLiteral("geometry")).toByteArray();
    if (!geometry.isEmpty())
        restoreGeometry(geometry);
    const QByteArray state = settings.value(QStringLiteral("windowState")).toByteArray();
    if (!state.isEmpty())
        restoreState(state, 0);
    restoreCustomSettings(settings);
    settings.endGroup();
    settings.endGroup();
}

void GMainWindow::open()
{
    if (GApplication* app = GApplication::instance())
        app->open(this);
}

void GMainWindow::openFile(const QString& fileName)
{
    if (GApplication* app = GApplication::instance())
        app->openFile(fileName, this);
}

void GMainWindow::save()
{
    saveDocument();
}

void GMainWindow::saveAs()
{
    saveDocumentAs();
}

bool GMainWindow::saveDocument()
{
    if (m_fileName.isEmpty())
        return saveDocumentAs();
    saveWindowSettings();
    return saveFile(m_fileName);
}

bool GMainWindow::saveDocumentAs()
{
    QString startPath = m_fileName;
    if (startPath.isEmpty())
        startPath = GSettings().value(QLatin1String(lastFileNameKey)).toString();

    const QString chosen = QFileDialog::getSaveFileName(this, tr("Save document"), startPath,
                                                        DocumentTypeRegistry::instance().saveFilter(this));
    bool saved = false;
    if (!chosen.isEmpty()) {
        setFileName(chosen);
        saved = saveFile(chosen);
    }
    saveWindowSettings();
    return saved;
}

void GMainWindow::closeWindow()
{
    close();
}

void GMainWindow::about()
{
    if (GApplication* app = GApplication::instance())
        app->about(this);
}

void GMainWindow::showPreferences()
{
    if (GApplication* app = GApplication::instance())
        app->showPreferences(this);
}

void GMainWindow::showFeedbackDialog()
{
    if (GApplication* app = GApplication::instance())
        app->showFeedbackDialog(this);
}

void GMainWindow::updateCheck()
{
    if (GApplication* app = GApplication::instance())
        app->updateCheck(this);
}

void GMainWindow::newFile()
{
    if (GApplication* app = GApplication::instance())
        app->newFile(QString());
}

void GMainWindow::createRecentFileMenu(QMenu* fileMenu)
{
    QMenu* recent = fileMenu->addMenu(tr("Open recent"));
    m_recentFileProvider->setMenu(recent);
}

int GMainWindow::askToSaveChanges()
{
    QMessageBox box(this);
    box.setText(tr("The document has been modified."));
    box.setInformativeText(tr("Do you want to save your changes?"));
    box.setStandardButtons(QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
    box.setDefaultButton(QMessageBox::Save);
    return box.exec();
}

void GMainWindow::closeEvent(QCloseEvent* event)
{
    saveWindowSettings();
    if (!isModified()) {
        event->accept();
        return;
    }
    switch (askToSaveChanges()) {
    case QMessageBox::Save:
        // A document that could not be written (or whose Save As was
        // cancelled) keeps its window, so no edits are lost.
        if (saveDocument())
            event->accept();
        else
            event->ignore();
        break;
    case QMessageBox::Discard:
        event->accept();
        break;
    case QMessageBox::Cancel:
        event->ignore();
        break;
    default:
        break;
    }
}

void GMainWindow::mainWindowPostInit()
{
}
