#pragma once

#include <QList>
#include <QUndoCommand>

class Element;
class Fixture;

// Replaces a body's fixture list. The fixtures that the command's current
// state leaves out of the body are owned by the command.
class UndoFixtureListChange final : public QUndoCommand
{
public:
    UndoFixtureListChange(const QString& text, Element* body, const QList<Fixture*>& oldList,
                          const QList<Fixture*>& newList, QUndoCommand* parent = nullptr);
    ~UndoFixtureListChange() override;

    void undo() override;
    void redo() override;

private:
    Element* m_body;
    QList<Fixture*> m_oldList;
    QList<Fixture*> m_newList;
    bool m_done = false;
};
