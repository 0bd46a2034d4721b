#include "undodeleteelement.h"

#include "element.h"
#include "elementlistmodel.h"

#include <QCoreApplication>

UndoDeleteElement::UndoDeleteElement(ElementListModel* document, Element* body)
    : QUndoCommand(QCoreApplication::translate("UndoDeleteElement", "delete body"))
    , m_document(document)
    , m_body(body)
{
}

UndoDeleteElement::~UndoDeleteElement()
{
    if (m_ownsBody)
        delete m_body;
}

void UndoDeleteElement::undo()
{
    m_document->appendElement(m_body);
    m_ownsBody = false;
    m_body->notifyValueChanged();
}

void UndoDeleteElement::redo()
{
    m_document->takeElement(m_body);
    m_ownsBody = true;
}
