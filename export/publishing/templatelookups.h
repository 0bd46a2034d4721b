#pragma once

#include <QMetaType>
#include <QVariant>

class Element;
class ElementListModel;
class Fixture;

// What templates see of the document, its bodies and fixtures. The template
// engine reads objects derived from QObject through their Qt properties only,
// so the model objects are handed over in these small value handles, which
// have look-ups of their own.
struct TemplateDocument
{
    const ElementListModel* document = nullptr;
};
struct TemplateBody
{
    const Element* body = nullptr;
};
struct TemplateFixture
{
    const Fixture* fixture = nullptr;
};

Q_DECLARE_METATYPE(TemplateDocument)
Q_DECLARE_METATYPE(TemplateBody)
Q_DECLARE_METATYPE(TemplateFixture)

// Lets templates read documents, bodies, fixtures, points and sizes. Call once
// before the first publish; calling again does nothing.
void registerTemplateLookups();
