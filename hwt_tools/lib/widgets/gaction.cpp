#include "gaction.h"

GAction::GAction(QObject* parent)
    : QAction(parent)
{
}

GAction::GAction(const QString& text, QObject* parent, const char* member)
    : QAction(text, parent)
{
    connectToParent(member);
}

GAction::GAction(const QIcon& icon, const QString& text, QObject* parent, const char* member)
    : QAction(icon, text, parent)
{
    connectToParent(member);
}

void GAction::connectToParent(const char* member)
{
    if (member && parent())
        connect(this, SIGNAL(triggered(bool)), parent(), member);
}
