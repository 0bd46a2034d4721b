#include "xmldocumentwriter.h"

#include <QDebug>

XmlDocumentWriter::XmlDocumentWriter(QByteArray* target, const QString& rootElement, const Attributes& attributes)
    : m_writer(target)
{
    m_writer.setAutoFormatting(true);
    m_writer.setAutoFormattingIndent(-1);
    m_writer.writeStartDocument();
    startElement(rootElement, attributes);
}

XmlDocumentWriter::~XmlDocumentWriter()
{
    finish();
}

void XmlDocumentWriter::startElement(const QString& name, const Attributes& attributes)
{
    m_writer.writeStartElement(name);
    writeAttributes(attributes);
}

void XmlDocumentWriter::endElement()
{
    m_writer.writeEndElement();
}

void XmlDocumentWriter::textElement(const QString& name, const QString& text, const Attributes& attributes)
{
    m_writer.writeStartElement(name);
    writeAttributes(attributes);
    m_writer.writeCharacters(xmlSafe(text));
    m_writer.writeEndElement();
}

void XmlDocumentWriter::writeMap(const QVariantMap& map)
{
    for (auto it = map.cbegin(); it != map.cend(); ++it)
        writeValue(it.key(), it.value());
}

void XmlDocumentWriter::writeValue(const QString& key, const QVariant& value)
{
    if (!value.isValid()) {
        m_writer.writeStartElement(key);
        m_writer.writeComment(QStringLiteral("invalid data"));
        m_writer.writeEndElement();
    } else if (value.userType() == QMetaType::QVariantMap) {
        m_writer.writeStartElement(key);
        writeMap(value.toMap());
        m_writer.writeEndElement();
    } else if (value.userType() == QMetaType::QString) {
        textElement(key, value.toString());
    } else {
        qDebug() << "can't serialize value for key" << key << " = " << value;
        m_writer.writeStartElement(key);
        m_writer.writeComment(QStringLiteral("unknown value type"));
        // A comment must not contain "--"; keep the value readable but valid.
        QString text = xmlSafe(value.toString());
        text.replace(QLatin1String("--"), QLatin1String("- -"));
        if (text.endsWith(QLatin1Char('-')))
            text += QLatin1Char(' ');
        m_writer.writeComment(text);
        m_writer.writeEndElement();
    }
}

void XmlDocumentWriter::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    m_writer.writeEndElement();
    m_writer.writeEndDocument();
}

QString XmlDocumentWriter::xmlSafe(const QString& text)
{
    QString safe;
    safe.reserve(text.size());
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            safe += c;
            safe += text.at(++i);
            continue;
        }
        if (c.isSurrogate() || c.unicode() == 0xFFFE || c.unicode() == 0xFFFF)
            continue;
        if (c.unicode() < 0x20 && c != QLatin1Char('\t') && c != QLatin1Char('\n') && c != QLatin1Char('\r'))
            continue;
        safe += c;
    }
    return safe;
}

void XmlDocumentWriter::writeAttributes(const Attributes& attributes)
{
    for (const auto& attribute : attributes)
        m_writer.writeAttribute(attribute.first, xmlSafe(attribute.second));
}
