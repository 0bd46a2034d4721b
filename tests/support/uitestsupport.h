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
    ExporterSpec(const QString& name, const QString& displayName = QString(), const QString& yAxis = QStringLiteral("up"))
        : name(name), displayName(displayName), yAxis(yAxis)
    {
    }
    QString name;
    QString displayName;
    QString yAxis;
    QString extension = QStringLiteral("json");
    QString globalXml;
    QString bodyXml;
    QString fixtureXml;
};

// Writes dir/<name>/exporter.xml, with a template that lists the body names,
// and returns the exporter's directory.
inline QString writeExporter(const QDir& dir, const ExporterSpec& spec)
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
  <anchorPoint><enabled>true</enabled><relX>0.5</relX><relY>0.5</relY></anchorPoint>
  <origin><type>anchorpoint</type></origin><supportsCircles>true</supportsCircles>
  <global>%5</global><body>%6</body><fixture>%7</fixture>
</exporter>
)")
                   .arg(spec.name, spec.displayName.isEmpty() ? spec.name : spec.displayName, spec.extension,
                        spec.yAxis, spec.globalXml, spec.bodyXml, spec.fixtureXml)
                   .toUtf8());
    file.close();
    return dir.filePath(spec.name);
}

// Writes the exporter and registers it; the registry keeps it.
inline Exporter* registerExporter(const QDir& dir, const ExporterSpec& spec)
{
    auto* exporter = new Exporter(writeExporter(dir, spec));
    ExporterRegistry::instance().add(exporter);
    return exporter;
}

// One <parameter> of an exporter definition, shown under its own name.
inline QString parameter(const QString& name, const QString& type, const QString& more = QString())
{
    return QStringLiteral("<parameter><name>%1</name><displayName>%1</displayName><type>%2</type>%3</parameter>")
        .arg(name, type, more);
}

// A PNG sprite: transparent, with an opaque block inset by a quarter on each side.
inline QString makeSprite(const QDir& dir, const QString& fileName, int width = 20, int height = 10)
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    for (int y = height / 4; y < height * 3 / 4; ++y) {
        for (int x = width / 4; x < width * 3 / 4; ++x)
            image.setPixelColor(x, y, QColor(40, 160, 60, 255));
    }
    const QString path = dir.filePath(fileName);
    dir.mkpath(QFileInfo(path).absolutePath());
    image.save(path, "PNG");
    return path;
}

}
