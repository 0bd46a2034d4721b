#pragma once

#include "exporter.h"

#include <QColor>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QString>

#include <memory>

namespace ModelTest {

// Writes an exporter definition into dir/<name>/exporter.xml and reads it.
inline std::unique_ptr<Exporter> makeExporter(const QDir& dir, const QString& name, const QString& yAxis = "up",
                                              const QString& engine = "box2d")
{
    dir.mkpath(name);
    QFile file(dir.filePath(name + "/exporter.xml"));
    file.open(QIODevice::WriteOnly);
    file.write(QStringLiteral(R"(<exporter>
  <name>%1</name><displayName>%1 display</displayName>
  <yAxisDirection>%2</yAxisDirection>
  <physicsEngine>%3</physicsEngine>
  <origin><type>anchorpoint</type></origin>
  <global>
    <parameter><name>ptm</name><type>float</type><default>32</default></parameter>
  </global>
  <body>
    <parameter><name>isDynamic</name><type>bool</type><default>true</default></parameter>
  </body>
  <fixture>
    <parameter><name>density</name><type>float</type><default>2</default></parameter>
    <parameter><name>friction</name><type>float</type><default>0</default></parameter>
  </fixture>
</exporter>
)")
                   .arg(name, yAxis, engine)
                   .toUtf8());
    file.close();
    return std::make_unique<Exporter>(dir.filePath(name));
}

// A small PNG sprite of the given size.
inline QString makeImage(const QDir& dir, const QString& fileName, int width = 20, int height = 10)
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(QColor(200, 40, 40, 255));
    dir.mkpath(QFileInfo(dir.filePath(fileName)).absolutePath());
    const QString path = dir.filePath(fileName);
    image.save(path, "PNG");
    return path;
}

}
