#pragma once

#include <QAction>

// An action that can connect itself to a slot of its parent on construction.
class GAction : public QAction
{
    Q_OBJECT
public:
    explicit GAction(QObject* parent);
    // `member` is a slot signature as made by SLOT(); null connects nothing.
    GAction(const QString& text, QObject* parent, const char* member);
    GAction(const QIcon& icon, const QString& text, QObject* parent, const char* member);

private:
    void connectToParent(const char* member);
};
