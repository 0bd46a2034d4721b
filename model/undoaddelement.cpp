#include "undoaddelement.h"

#include "element.h"
#include "elementlistmodel.h"

UndoAddElement::UndoAddElement(const QString& text, ElementListModel* document, Element* body)
    : QUndoCommand(text)
    , m_document(document)
    , m_body(body)
{
}

UndoAddElement::~UndoAddElement()
{
    if (m_ownsBody)
        delete m_body;
}

void UndoAddElement::undo()
{
    m_document->takeElement(m_body);
    m_ownsBody = true;
}

void UndoAddElement::redo()
{
    m_document->appendElement(m_body);
    m_ownsBody = false;
    m_body->notifyValueChanged();
}
