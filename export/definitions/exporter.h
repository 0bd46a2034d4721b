#pragma once

#include "genericparameter.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>
#include <vector>

// The definition of one exporter, read from the exporter.xml of its directory.
// Complete when constructed and never changed afterwards.
class Exporter
{
public:
    enum YAxisDirection { Up = 0, Down = 1 };
    enum PhysicsEngine { Generic = 0, Box2D = 1, Chipmunk = 2 };
    enum OriginType { AnchorPoint = 0, Fixed = 1 };
    enum PolygonOrientation { Unspecified = 0, Clockwise = 1, CounterClockwise = 2 };

    // Reads directory + "/exporter.xml"; throws Error (45 or 46) when it cannot.
    explicit Exporter(const QString& directory);
    ~Exporter();
    Exporter(const Exporter&) = delete;
    Exporter& operator=(const Exporter&) = delete;

    bool anchorPointEnabled() const { return m_anchorPointEnabled; }
    YAxisDirection yAxisDirection() const { return m_yAxisDirection; }
    PhysicsEngine engine() const { return m_engine; }
    OriginType originType() const { return m_originType; }
    double anchorPointRelX() const { return m_anchorPointRelX; }
    double anchorPointRelY() const { return m_anchorPointRelY; }
    double originRelX() const { return m_originRelX; }
    double originRelY() const { return m_originRelY; }
    QString directory() const { return m_directory; }
    QString name() const { return m_name; }
    QString displayName() const { return m_displayName; }
    QString version() const { return m_version; }
    QString templateFile() const { return m_templateFile; }
    QString fileExtension() const { return m_fileExtension; }
    QString physicsEngineName() const { return m_physicsEngineName; }
    QString description() const { return m_description; }
    PolygonOrientation polygonOrientation() const { return m_polygonOrientation; }
    bool supportsCircles() const { return m_supportsCircles; }
    // Mistakes in the definition that leave the exporter usable, one message
    // each, for the registry to pass on when it scans.
    QStringList warnings() const { return m_warnings; }

    // In file order; the fixture list holds the "fixture" then the "collision" parameters.
    QList<const GenericParameter*> globalParameters() const;
    QList<const GenericParameter*> bodyParameters() const;
    QList<const GenericParameter*> fixtureParameters() const;

    // The default of the first parameter of that name; invalid when there is none.
    QVariant globalDefault(const QString& name) const;
    QVariant bodyDefault(const QString& name) const;
    QVariant fixtureDefault(const QString& name) const;

private:
    friend class ExporterReader;
    using ParameterList = std::vector<std::unique_ptr<GenericParameter>>;

    bool m_anchorPointEnabled = true;
    YAxisDirection m_yAxisDirection = Up;
    PhysicsEngine m_engine = Generic;
    OriginType m_originType = AnchorPoint;
    double m_anchorPointRelX = 0.0;
    double m_anchorPointRelY = 0.0;
    double m_originRelX = 0.0;
    double m_originRelY = 0.0;
    QString m_directory;
    QString m_name;
    QString m_displayName;
    QString m_version;
    QString m_templateFile;
    QString m_fileExtension;
    QString m_physicsEngineName;
    QString m_description;
    ParameterList m_globalParameters;
    ParameterList m_bodyParameters;
    ParameterList m_fixtureParameters;
    PolygonOrientation m_polygonOrientation = Unspecified;
    bool m_supportsCircles = true;
    QStringList m_warnings;
};
