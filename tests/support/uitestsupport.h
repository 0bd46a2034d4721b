#pragma once

#include "exporter.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>

namespace UiTest {

// An exporter definition; without a display name it shows its name.
struct ExporterSpec
{
    ExporterSpec(const QString& name, const QString& displayName = QString(),
                 const QString& yAxis = QStringLiteral("up"))
        : name(name), displayName(displayName), yAxis(yAxis) {}
    QString name, displayName, yAxis;
    QString extension = QStringLiteral("json");
    QString globalXml, bodyXml, fixtureXml;
};

// Writes dir/<name>/exporter.xml, with a template that lists the body names,
// and returns the exporter's directory.
inline QString writeExporter(const QDir& dir, const ExporterSpec& spec)
{
    dir.mkpath(spec.name);
    const auto write = [&](const QString& fileName, const QString& text) {
        QFile file(dir.filePath(spec.name + QLatin1Char('/') + fileName));
        file.open(QIODevice::WriteOnly);
        file.write(text.toUtf8());
    };
    write(QStringLiteral("template.txt"), QStringLiteral("{% for body in bodies %}{{ body.name }}\n{% endfor %}"));
    write(QStringLiteral("exporter.xml"),
          QStringLiteral(R"(<exporter><name>%1</name><displayName>%2</displayName><template>template.txt</template>
  <fileExtension>%3</fileExtension><yAxisDirection>%4</yAxisDirection><physicsEngine>box2d</physicsEngine>
  <anchorPoint><enabled>true</enabled><relX>0.5</relX><relY>0.5</relY></anchorPoint>
  <origin><type>anchorpoint</type></origin><supportsCircles>true</supportsCircles>
  <global>%5</global><body>%6</body><fixture>%7</fixture></exporter>)")
              .arg(spec.name, spec.displayName.isEmpty() ? spec.name : spec.displayName, spec.extension, spec.yAxis,
                   spec.globalXml, spec.bodyXml, spec.fixtureXml));
    return dir.filePath(spec.name);
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
    QPainter(&image).fillRect(QRect(QPoint(width / 4, height / 4), QPoint(width * 3 / 4 - 1, height * 3 / 4 - 1)),
                              QColor(40, 160, 60));
    const QString path = dir.filePath(fileName);
    image.save(path, "PNG");
    return path;
}

}
