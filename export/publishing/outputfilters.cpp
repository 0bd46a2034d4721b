#include "outputfilters.h"

#include <grantlee/safestring.h>
#include <grantlee/util.h>

namespace {
QString text(const QVariant& input)
{
    return Grantlee::getSafeString(input).get();
}
}

QVariant JsonStringFilter::doFilter(const QVariant& input, const QVariant&, bool) const
{
    const QString value = text(input);
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
        case '\b':
            out += QLatin1String("\\b");
            break;
        case '\f':
            out += QLatin1String("\\f");
            break;
        default:
            // Other control characters, and the line separators some
            // JavaScript parsers reject, as \u escapes.
            if (c.unicode() < 0x20 || c.unicode() == 0x2028 || c.unicode() == 0x2029)
                out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
            else
                out += c;
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

QHash<QString, Grantlee::Filter*> OutputFilterLibrary::filters(const QString&)
{
    return {
        {QStringLiteral("jsonstring"), new JsonStringFilter},
        {QStringLiteral("xmltext"), new XmlTextFilter},
    };
}
