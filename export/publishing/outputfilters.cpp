#include "outputfilters.h"

#include <grantlee/safestring.h>
#include <grantlee/util.h>

namespace {
QString text(const QVariant& input)
{
    return Grantlee::getSafeString(input).get();
}

bool isControl(QChar c)
{
    return c.unicode() < 0x20 || c.unicode() == 0x7F;
}

QString unicodeEscape(QChar c)
{
    return QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
}

// What each format writes for the characters beyond the shared escapes.
QString jsonEscape(QChar c)
{
    if (c == QLatin1Char('\b'))
        return QStringLiteral("\\b");
    if (c == QLatin1Char('\f'))
        return QStringLiteral("\\f");
    // Other control characters, and the line separators some JavaScript
    // parsers reject, as \u escapes.
    return c.unicode() < 0x20 || c.unicode() == 0x2028 || c.unicode() == 0x2029 ? unicodeEscape(c) : QString();
}

// Lua strings are bytes: the UTF-8 of the file passes through; control
// characters become three-digit decimal escapes.
QString luaEscape(QChar c)
{
    return isControl(c) ? QStringLiteral("\\%1").arg(c.unicode(), 3, 10, QLatin1Char('0')) : QString();
}

QString godotEscape(QChar c)
{
    return isControl(c) ? unicodeEscape(c) : QString();
}
}

QVariant QuotedStringFilter::doFilter(const QVariant& input, const QVariant& argument, bool) const
{
    const QString value = text(input) + text(argument);
    QString out;
    out.reserve(value.size() + 2);
    out += QLatin1Char('"');
    for (const QChar c : value) {
        switch (c.unicode()) {
        case '"':
            out += QLatin1String("\\\"");
            break;
        case '\\':
            out += QLatin1String("\\\\");
            break;
        case '\n':
            out += QLatin1String("\\n");
            break;
        case '\r':
            out += QLatin1String("\\r");
            break;
        case '\t':
            out += QLatin1String("\\t");
            break;
        default:
            const QString escaped = m_escape(c);
            out += escaped.isEmpty() ? QString(c) : escaped;
        }
    }
    out += QLatin1Char('"');
    return QVariant::fromValue(Grantlee::markSafe(Grantlee::SafeString(out)));
}

QVariant XmlTextFilter::doFilter(const QVariant& input, const QVariant&, bool) const
{
    const QString value = text(input);
    QString out;
    out.reserve(value.size());
    for (const QChar c : value) {
        switch (c.unicode()) {
        case '&':
            out += QLatin1String("&amp;");
            break;
        case '<':
            out += QLatin1String("&lt;");
            break;
        case '>':
            out += QLatin1String("&gt;");
            break;
        case '"':
            out += QLatin1String("&quot;");
            break;
        case '\'':
            out += QLatin1String("&apos;");
            break;
        case '\t':
        case '\n':
        case '\r':
            out += QStringLiteral("&#%1;").arg(c.unicode());
            break;
        default:
            // XML 1.0 cannot hold other control characters at all, not even
            // as references; they are dropped rather than making the file unreadable.
            if (c.unicode() >= 0x20 && c.unicode() != 0xFFFE && c.unicode() != 0xFFFF)
                out += c;
        }
    }
    return QVariant::fromValue(Grantlee::markSafe(Grantlee::SafeString(out)));
}

QVariant NodeNameFilter::doFilter(const QVariant& input, const QVariant&, bool) const
{
    QString name = text(input);
    for (QChar& c : name) {
        if (isControl(c) || QStringLiteral(".:@/\"%").contains(c))
            c = QLatin1Char('_');
    }
    return name.isEmpty() ? QStringLiteral("_") : name;
}

QVariant DivideFilter::doFilter(const QVariant& input, const QVariant& argument, bool) const
{
    bool numberOk = false, divisorOk = false;
    const double number = text(input).toDouble(&numberOk);
    const double divisor = text(argument).toDouble(&divisorOk);
    if (!numberOk || !divisorOk || divisor == 0)
        return input;
    return number / divisor;
}

QHash<QString, Grantlee::Filter*> OutputFilterLibrary::filters(const QString&)
{
    return {
        {QStringLiteral("jsonstring"), new QuotedStringFilter(jsonEscape)},
        {QStringLiteral("xmltext"), new XmlTextFilter},
        {QStringLiteral("luastring"), new QuotedStringFilter(luaEscape)},
        {QStringLiteral("godotstring"), new QuotedStringFilter(godotEscape)},
        {QStringLiteral("nodename"), new NodeNameFilter},
        {QStringLiteral("divide"), new DivideFilter},
    };
}
