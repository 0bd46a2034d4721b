#include "exporter.h"

#include "exporterreader.h"

namespace {

using ParameterList = std::vector<std::unique_ptr<GenericParameter>>;

QList<const GenericParameter*> view(const ParameterList& parameters)
{
    QList<const GenericParameter*> result;
    result.reserve(static_cast<int>(parameters.size()));
    for (const auto& parameter : parameters)
        result.append(parameter.get());
    return result;
}

// The first definition wins when an exporter repeats a name.
QVariant defaultOf(const ParameterList& parameters, const QString& name)
{
    for (const auto& parameter : parameters) {
        if (parameter->name() == name)
            return parameter->defaultValue();
    }
    return QVariant();
}

}

Exporter::Exporter(const QString& directory)
    : m_directory(directory)
{
    ExporterReader(*this, directory + QStringLiteral("/exporter.xml")).read();
}

Exporter::~Exporter() = default;

QList<const GenericParameter*> Exporter::globalParameters() const
{
    return view(m_globalParameters);
}

QList<const GenericParameter*> Exporter::bodyParameters() const
{
    return view(m_bodyParameters);
}

QList<const GenericParameter*> Exporter::fixtureParameters() const
{
    return view(m_fixtureParameters);
}

QVariant Exporter::globalDefault(const QString& name) const
{
    return defaultOf(m_globalParameters, name);
}

QVariant Exporter::bodyDefault(const QString& name) const
{
    return defaultOf(m_bodyParameters, name);
}

QVariant Exporter::fixtureDefault(const QString& name) const
{
    return defaultOf(m_fixtureParameters, name);
}
