#pragma once

#include <QDomElement>
#include <QString>

#include <memory>
#include <vector>

class Exporter;
class GenericParameter;

// Fills an Exporter from its exporter.xml. The settings are read in a fixed
// order so that the first problem in that order is the one reported; every
// problem throws Error (45 when the file cannot be read or parsed, 46 when its
// content is invalid). Mistakes that leave the exporter usable become its
// warnings instead.
class ExporterReader final
{
public:
    // The largest exporter.xml read; real definitions are a few kilobytes.
    static constexpr qint64 maximumFileSize = 1024 * 1024;
    // The deepest element nesting accepted; real definitions use four levels.
    static constexpr int maximumDepth = 256;

    ExporterReader(Exporter& exporter, const QString& filePath);

    void read();

private:
    using ParameterList = std::vector<std::unique_ptr<GenericParameter>>;

    QDomDocument load() const;
    void checkStructure(const QByteArray& data) const;

    void readAnchorPoint(const QDomElement& exporterElement);
    void readOrigin(const QDomElement& exporterElement);
    void readPhysicsEngine(const QDomElement& exporterElement);
    void readPolygonOrientation(const QDomElement& exporterElement);
    void readParameters(const QDomElement& exporterElement, const QString& listName, ParameterList& list) const;
    std::unique_ptr<GenericParameter> readParameter(const QDomElement& element) const;
    void checkBitFieldRows(const ParameterList& list);

    bool boolean(const QDomElement& parent, const QString& name, bool defaultValue) const;
    [[noreturn]] void fail(const QString& message) const;

    static QString text(const QDomElement& parent, const QString& name);
    static double fraction(const QDomElement& parent, const QString& name);

    Exporter& m_exporter;
    QString m_filePath;
};
