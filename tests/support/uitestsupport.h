#pragma once

#include "exporter.h"
#include "exporterregistry.h"

#include <QColor>
#include <QDir>
#include <QFile>
#include <QImage>

// Signals carry exporters; spies need to know the type.
Q_DECLARE_METATYPE(Exporter*)

namespace UiTest {

struct ExporterSpec
{
    QString name;
    QString displayName;
    QString yAxis = QStringLiteral("up");
    bool anchorPointEnabled = true;
    bool supportsCircles = true;
    QString extension = QStringLiteral("json");
    QString globalXml;
    QString bodyXml;
    QString fixtureXml;
};

// Writes dir/<name>/exporter.xml (with a trivial template) and registers the
// exporter it describes; the registry keeps it.
inline Exporter* registerExporter(const QDir& dir, const ExporterSpec& spec)
{
    dir.mkpath(spec.name);
    QFile templ(dir.filePath(spec.name + QStringLiteral("/template.txt")));
    templ.open(QIODevice::WriteOnly);
    templ.write("{% for body in bodies %}{{ body.name }}\n{% endfor %}");
    templ.close();
    QFile file(dir.filePath(spec.name + QStringLiteral("/exporter.xml")));
    file.open(QIODevice::WriteOnly);
    file.write(QStringLiteral(R"(<exporter>
  <name>%1</name><displayName>%2</displayName>
  <template>template.txt</template><fileExtension>%3</fileExtension>
  <yAxisDirection>%4</yAxisDirection>
  <physicsEngine>box2d</physicsEngine>
  <anchorPoint><enabled>%5</enabled><relX>0.5</relX><relY>0.5</relY></anchorPoint>
  <origin><type>anchorpoint</type></origin>
  <supportsCircles>%6</supportsCircles>
  <global>%7</global>
  <body>%8</body>
  <fixture>%9</fixture>
</exporter>
)")
                   .arg(spec.name, spec.displayName.isEmpty() ? spec.name + QStringLiteral(" display") : spec.displayName,
                        spec.extension, spec.yAxis, spec.anchorPointEnabled ? QStringLiteral("true") : QStringLiteral("false"),
                        spec.supportsCircles ? QStringLiteral("true") : QStringLiteral("false"), spec.globalXml,
                        spec.bodyXml, spec.fixtureXml)
                   .toUtf8());
    file.close();
    auto* exporter = new Exporter(dir.filePath(spec.name));
    ExporterRegistry::instance().add(exporter);
    return exporter;
}

inline QString floatParameter(const QString& name, double fallback = 1.0)
{
    return QStringLiteral("<parameter><name>%1</name><displayName>%1 shown</displayName><type>float</type>"
                          "<default>%2</default></parameter>")
        .arg(name)
        .arg(fallback);
}

// A PNG sprite of the given size, opaque.
inline QString makeImage(const QDir& dir, const QString& fileName, int width = 20, int height = 10)
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(QColor(200, 40, 40, 255));
    const QString path = dir.filePath(fileName);
    dir.mkpath(QFileInfo(path).absolutePath());
    image.save(path, "PNG");
    return path;
}

}
