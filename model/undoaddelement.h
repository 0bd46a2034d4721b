#pragma once

#include <QUndoCommand>

class Element;
class ElementListModel;

// Adds a body as the last row. While undone, the command owns the body.
class UndoAddElement final : public QUndoCommand
{
public:
    UndoAddElement(const QString& text, ElementListModel* document, Element* body);
    ~UndoAddElement() override;

    void undo() override;
    void redo() override;

private:
    ElementListModel* m_document;
    Element* m_body;
    bool m_ownsBody = true;
};
