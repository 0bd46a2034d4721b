#pragma once

#include <QUndoCommand>

class Element;
class ElementListModel;

// Takes a body out of the document. While done, the command owns the body.
class UndoDeleteElement final : public QUndoCommand
{
public:
    UndoDeleteElement(ElementListModel* document, Element* body);
    ~UndoDeleteElement() override;

    void undo() override;
    void redo() override;

private:
    ElementListModel* m_document;
    Element* m_body;
    bool m_ownsBody = false;
};
