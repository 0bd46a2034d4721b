#pragma once

#include <QRegularExpression>
#include <QSortFilterProxyModel>

// Sorts rows case-insensitively by name and keeps those whose whole name
// matches a Unix wildcard pattern (`*`, `?`, `[...]`, backslash escapes),
// ignoring case. An empty pattern keeps every row.
class NameFilterProxyModel : public QSortFilterProxyModel
{
    Q_OBJECT
public:
    explicit NameFilterProxyModel(QObject* parent = nullptr);

    void setWildcardFilter(const QString& pattern);

    // The anchored regular expression for a Unix wildcard pattern.
    static QString wildcardToRegularExpression(const QString& pattern);

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

private:
    QString m_pattern;
    QRegularExpression m_expression;
};
