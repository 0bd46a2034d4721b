#include "undofixturelistchange.h"

#include "element.h"
#include "fixture.h"

UndoFixtureListChange::UndoFixtureListChange(const QString& text, Element* body, const QList<Fixture*>& oldList,
                                             const QList<Fixture*>& newList, QUndoCommand* parent)
    : QUndoCommand(text, parent)
    , m_body(body)
    , m_oldList(oldList)
    , m_newList(newList)
{
}

UndoFixtureListChange::~UndoFixtureListChange()
{
    // Decided by the command's own state, not by the body, which may be gone already.
    const QList<Fixture*>& inBody = m_done ? m_newList : m_oldList;
    const QList<Fixture*>& other = m_done ? m_oldList : m_newList;
    QList<Fixture*> orphans;
    for (Fixture* fixture : other) {
        if (!inBody.contains(fixture) && !orphans.contains(fixture))
            orphans << fixture;
    }
    qDeleteAll(orphans);
}

void UndoFixtureListChange::undo()
{
    m_body->setFixturesDirect(m_oldList);
    m_done = false;
    m_body->notifyValueChanged();
}

void UndoFixtureListChange::redo()
{
    m_body->setFixturesDirect(m_newList);
    m_done = true;
    m_body->notifyValueChanged();
}
