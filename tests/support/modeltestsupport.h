#pragma once

#include "element.h"
#include "elementlistmodel.h"
#include "exporter.h"
#include "fixturecircle.h"
#include "fixturepolygon.h"
#include "testsupport.h"

#include <QApplication>
#include <QColor>
#include <QDir>
#include <QImage>

#include <map>

namespace ModelTest {

inline bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

inline QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("not readable");
}

// Writes dir/<folder>/exporter.xml with one parameter per level; `extra` goes inside <exporter>.
inline QString writeExporter(const QDir& dir, const QString& folder, const QString& name, const QString& yAxis = "up",
                             const QString& engine = "box2d", const QString& extra = QString())
{
    dir.mkpath(folder);
    writeFile(dir.filePath(folder + "/exporter.xml"),
              QStringLiteral("<exporter><name>%1</name><displayName>%1 display</displayName><yAxisDirection>%2"
                             "</yAxisDirection><physicsEngine>%3</physicsEngine><origin><type>anchorpoint</type>"
                             "</origin>%4<global><parameter><name>ptm</name><type>float</type><default>32</default>"
                             "</parameter></global><body><parameter><name>isDynamic</name><type>bool</type><default>"
                             "true</default></parameter></body><fixture><parameter><name>density</name><type>float"
                             "</type><default>2</default></parameter></fixture></exporter>")
                  .arg(name, yAxis, engine, extra)
                  .toUtf8());
    return dir.filePath(folder);
}

inline QString makeImage(const QDir& dir, const QString& fileName, int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(QColor(200, 40, 40, 255));
    dir.mkpath(QFileInfo(dir.filePath(fileName)).absolutePath());
    image.save(dir.filePath(fileName), "PNG");
    return dir.filePath(fileName);
}

// A body for `image` anchored at (1, 1) with `polygon` and a circle, set up without value commands.
inline Element* addBody(ElementListModel& doc, const QString& image,
                        const QPolygonF& polygon = QPolygonF({{1, 1}, {4, 0}, {4, 4}}))
{
    Element* body = doc.addFile(image);
    body->setAnchorPointAbsDirect({1, 1});
    auto* shape = new FixturePolygon(body);
    shape->setPolygonDirect(polygon);
    auto* circle = new FixtureCircle(body);
    circle->setCircleDirect({1, 2}, 3);
    body->addFixture(shape);
    body->addFixture(circle);
    return body;
}

// What the project file keeps and undo restores, as text: sorted keys, exact numbers.
inline QString describe(const QVariant& v)
{
    if (v.userType() == QMetaType::QPointF)
        return describe(v.toPointF().x()) + ',' + describe(v.toPointF().y());
    if (v.userType() == QMetaType::QSize)
        return QStringLiteral("%1x%2").arg(v.toSize().width()).arg(v.toSize().height());
    if (v.userType() == QMetaType::Double || v.userType() == QMetaType::Float)
        return QString::number(v.toDouble(), 'g', 17) + (v.userType() == QMetaType::Float ? "f" : "");
    return v.typeName() + (':' + (v.userType() == QMetaType::QStringList ? v.toStringList().join('|') : v.toString()));
}

inline QString describe(const QHash<QString, QVariant>& values)
{
    QString text;
    for (const auto& [key, value] : std::map<QString, QVariant>(values.keyValueBegin(), values.keyValueEnd()))
        text += ' ' + key + '=' + describe(value);
    return text;
}

inline QString describe(const ElementListModel& document)
{
    QString text = document.exporterName() + describe(document.values());
    for (const Element* body : document.elements()) {
        text += "\nbody" + describe(body->values());
        for (const Fixture* fixture : body->fixtures()) {
            text += "\n " + QString(fixture->typeChar()) + describe(fixture->values()) + " shape";
            if (const auto* circle = qobject_cast<const FixtureCircle*>(fixture))
                text += ' ' + describe(circle->center()) + " r" + describe(circle->radius());
            else
                for (const QPointF& point : qobject_cast<const FixturePolygon*>(fixture)->polygon())
                    text += ' ' + describe(point);
        }
    }
    return text;
}

}

// The main() of a model test: settings isolated before the application starts.
#define MODEL_TEST_MAIN(TestClass)                                                                           \
    int main(int argc, char** argv)                                                                          \
    {                                                                                                        \
        TestSupport::isolateSettings();                                                                      \
        QApplication app(argc, argv);                                                                        \
        TestClass test;                                                                                      \
        return QTest::qExec(&test, argc, argv);                                                              \
    }
