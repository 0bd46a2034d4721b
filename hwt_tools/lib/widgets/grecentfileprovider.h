#pragma once

#include <QObject>
#include <QStringList>

#include <array>

class GAction;
class QMenu;

// Keeps the five recent-file actions of one window in step with the shared
// list in the settings. Every provider of the process follows every change.
class GRecentFileProvider : public QObject
{
    Q_OBJECT
public:
    static constexpr int MaxRecentFiles = 5;

    explicit GRecentFileProvider(QObject* parent = nullptr);
    ~GRecentFileProvider() override;

    // Puts the file at the top of the shared list and refreshes every provider.
    void addFile(const QString& fileName);
    // Refreshes the actions, then adds all five to the menu.
    void setMenu(QMenu* menu);
    // Shows the given files (or, when empty, those in the settings) in the actions.
    void updateActions(const QStringList& files = QStringList());

    QList<GAction*> actions() const;
    static QStringList recentFiles();

signals:
    void loadFile(const QString& fileName);

protected slots:
    void openRecentFile();

private:
    std::array<GAction*, MaxRecentFiles> m_actions{};
};
