#include "grecentfileprovider.h"

#include "gaction.h"
#include "gsettings.h"

#include <QFileInfo>
#include <QMenu>

namespace {
const char recentFileListKey[] = "recentFileList";

QList<GRecentFileProvider*>& allProviders()
{
    static QList<GRecentFileProvider*> providers;
    return providers;
}
}

GRecentFileProvider::GRecentFileProvider(QObject* parent)
    : QObject(parent)
{
    for (GAction*& action : m_actions) {
        action = new GAction(this);
        action->setVisible(false);
        connect(action, &QAction::triggered, this, &GRecentFileProvider::openRecentFile);
    }
    allProviders().append(this);
}

GRecentFileProvider::~GRecentFileProvider()
{
    allProviders().removeAll(this);
}

QStringList GRecentFileProvider::recentFiles()
{
    return GSettings().value(QLatin1String(recentFileListKey)).toStringList();
}

void GRecentFileProvider::addFile(const QString& fileName)
{
    QStringList files = recentFiles();
    files.removeAll(fileName);
    files.prepend(fileName);
    while (files.size() > MaxRecentFiles)
        files.removeLast();
    GSettings().setValue(QLatin1String(recentFileListKey), files);

    const QList<GRecentFileProvider*> providers = allProviders();
    for (GRecentFileProvider* provider : providers)
        provider->updateActions(files);
}

void GRecentFileProvider::setMenu(QMenu* menu)
{
    updateActions();
    for (GAction* action : m_actions)
        menu->addAction(action);
}

void GRecentFileProvider::updateActions(const QStringList& files)
{
    const QStringList shown = files.isEmpty() ? recentFiles() : files;
    const int count = qMin(int(shown.size()), MaxRecentFiles);
    for (int i = 0; i < count; ++i) {
        GAction* action = m_actions[size_t(i)];
        action->setText(tr("&%1 %2").arg(i + 1).arg(QFileInfo(shown.at(i)).fileName()));
        action->setData(shown.at(i));
        action->setVisible(true);
    }
    for (int i = count; i < MaxRecentFiles; ++i)
        m_actions[size_t(i)]->setVisible(false);
}

QList<GAction*> GRecentFileProvider::actions() const
{
    return QList<GAction*>(m_actions.begin(), m_actions.end());
}

void GRecentFileProvider::openRecentFile()
{
    if (auto* action = qobject_cast<QAction*>(sender()))
        emit loadFile(action->data().toString());
}
