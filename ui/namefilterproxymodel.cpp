#include "namefilterproxymodel.h"

NameFilterProxyModel::NameFilterProxyModel(QObject* parent)
    : QSortFilterProxyModel(parent)
{
    setFilterCaseSensitivity(Qt::CaseInsensitive);
    setFilterKeyColumn(0);
    setSortCaseSensitivity(Qt::CaseInsensitive);
    setSortRole(Qt::DisplayRole);
    setDynamicSortFilter(true);
    sort(0, Qt::AscendingOrder);
}

QString NameFilterProxyModel::wildcardToRegularExpression(const QString& pattern)
{
    QString rx;
    rx.reserve(pattern.size() * 2 + 8);
    const int n = pattern.size();
    for (int i = 0; i < n; ++i) {
        const QChar c = pattern.at(i);
        if (c == QLatin1Char('\\')) {
            // A backslash takes the next character literally; a trailing one is itself.
            rx += QRegularExpression::escape(i + 1 < n ? QString(pattern.at(++i)) : QStringLiteral("\\"));
        } else if (c == QLatin1Char('*')) {
            rx += QLatin1String(".*");
        } else if (c == QLatin1Char('?')) {
            rx += QLatin1Char('.');
        } else if (c == QLatin1Char('[')) {
            // A bracket expression runs to the next ']' that is not its first
            // member; without one the '[' is an ordinary character.
            int j = i + 1;
            if (j < n && (pattern.at(j) == QLatin1Char('!') || pattern.at(j) == QLatin1Char('^')))
                ++j;
            if (j < n && pattern.at(j) == QLatin1Char(']'))
                ++j;
            while (j < n && pattern.at(j) != QLatin1Char(']'))
                ++j;
            if (j >= n) {
                rx += QLatin1String("\\[");
                continue;
            }
            QString set = QStringLiteral("[");
            int k = i + 1;
            if (pattern.at(k) == QLatin1Char('!') || pattern.at(k) == QLatin1Char('^')) {
                set += QLatin1Char('^');
                ++k;
            }
            for (; k < j; ++k) {
                const QChar m = pattern.at(k);
                if (m == QLatin1Char('-'))
                    set += m;
                else if (m == QLatin1Char('\\') || m == QLatin1Char(']') || m == QLatin1Char('[') || m == QLatin1Char('^'))
                    set += QLatin1Char('\\') + QString(m);
                else
                    set += m;
            }
            set += QLatin1Char(']');
            rx += set;
            i = j;
        } else {
            rx += QRegularExpression::escape(QString(c));
        }
    }
    return QLatin1String("\\A(?:") + rx + QLatin1String(")\\z");
}

void NameFilterProxyModel::setWildcardFilter(const QString& pattern)
{
    m_pattern = pattern;
    m_expression = QRegularExpression(wildcardToRegularExpression(pattern),
                                      QRegularExpression::CaseInsensitiveOption |
                                          QRegularExpression::DotMatchesEverythingOption);
    invalidateFilter();
}

bool NameFilterProxyModel::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const
{
    if (m_pattern.isEmpty())
        return true;
    const QModelIndex index = sourceModel()->index(sourceRow, filterKeyColumn(), sourceParent);
    return m_expression.match(index.data(filterRole()).toString()).hasMatch();
}
