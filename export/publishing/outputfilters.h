#pragma once

#include <grantlee/filter.h>
#include <grantlee/taglibraryinterface.h>

#include <QObject>

// {{ text|jsonstring }}, {{ text|luastring }}, {{ text|godotstring }}: the text
// as a complete string literal of the format, quotes included. An argument is
// appended to the text first ({{ name|godotstring:"/child" }}: a node path).
class QuotedStringFilter final : public Grantlee::Filter
{
public:
    // The escape of a character beyond the ones every format shares (quote,
    // backslash, line feed, carriage return, tab); empty: the character itself.
    using Escape = QString (*)(QChar c);
    explicit QuotedStringFilter(Escape escape)
        : m_escape(escape)
    {
    }
    QVariant doFilter(const QVariant& input, const QVariant& argument, bool autoescape) const override;
    bool isSafe() const override { return true; }

private:
    Escape m_escape;
};

// {{ text|xmltext }}: the text escaped for XML content and attribute values.
class XmlTextFilter final : public Grantlee::Filter
{
public:
    QVariant doFilter(const QVariant& input, const QVariant& argument, bool autoescape) const override;
    bool isSafe() const override { return true; }
};

// {{ text|nodename }}: the text as a Godot node name: the characters a node
// path gives a meaning to (. : @ / " %) and control characters become "_".
class NodeNameFilter final : public Grantlee::Filter
{
public:
    QVariant doFilter(const QVariant& input, const QVariant& argument, bool autoescape) const override;
};

// {{ number|divide:other }}: the quotient, for pixels to metres ({{ p.x|divide:global.ptm }}); the number
// itself when the divisor is not a number other than 0.
class DivideFilter final : public Grantlee::Filter
{
public:
    QVariant doFilter(const QVariant& input, const QVariant& argument, bool autoescape) const override;
};

// The library templates load with {% load hullwright_filters %}.
class OutputFilterLibrary final : public QObject, public Grantlee::TagLibraryInterface
{
    Q_OBJECT
    Q_INTERFACES(Grantlee::TagLibraryInterface)
    Q_PLUGIN_METADATA(IID "org.grantlee.TagLibraryInterface")
public:
    QHash<QString, Grantlee::Filter*> filters(const QString& name = {}) override;
};
