#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QVariant>
#include <QXmlStreamWriter>

// Writes a small XML document (statistics, feedback) into a byte array: the
// declaration, one root element, tab-indented content. The root element and
// the document are closed exactly once, by finish() or by the destructor.
class XmlDocumentWriter final
{
public:
    // Attributes are written in list order.
    using Attributes = QList<QPair<QString, QString>>;

    XmlDocumentWriter(QByteArray* target, const QString& rootElement, const Attributes& attributes = {});
    ~XmlDocumentWriter();
    XmlDocumentWriter(const XmlDocumentWriter&) = delete;
    XmlDocumentWriter& operator=(const XmlDocumentWriter&) = delete;

    void startElement(const QString& name, const Attributes& attributes = {});
    void endElement();
    void textElement(const QString& name, const QString& text, const Attributes& attributes = {});
    // Every entry in key order, through writeValue().
    void writeMap(const QVariantMap& map);
    // An element named `key`: text for a string, nested entries for a map, and
    // a comment for anything that cannot be written.
    void writeValue(const QString& key, const QVariant& value);
    void finish();

    // `text` without the characters XML 1.0 cannot carry (control characters
    // other than tab, line feed and carriage return, unpaired surrogates).
    static QString xmlSafe(const QString& text);

private:
    void writeAttributes(const Attributes& attributes);

    QXmlStreamWriter m_writer;
    bool m_finished = false;
};
