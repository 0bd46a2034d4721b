#pragma once

#include <grantlee/filter.h>
#include <grantlee/taglibraryinterface.h>

#include <QObject>

// {{ text|jsonstring }}: the text as a complete JSON string literal, quotes included.
class JsonStringFilter final : public Grantlee::Filter
{
public:
    QVariant doFilter(const QVariant& input, const QVariant& argument, bool autoescape) const override;
    bool isSafe() const override { return true; }
};

// {{ text|xmltext }}: the text escaped for XML content and attribute values.
class XmlTextFilter final : public Grantlee::Filter
{
public:
    QVariant doFilter(const QVariant& input, const QVariant& argument, bool autoescape) const override;
    bool isSafe() const override { return true; }
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
