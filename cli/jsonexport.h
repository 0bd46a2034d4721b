#pragma once

#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QPolygonF>
#include <QVariant>
#include <QVector>

class ElementListModel;
class Exporter;

// JSON views of exporters and documents for the command-line tool.
namespace JsonExport {

// One stored value as [typeName, value].
QJsonArray valuePair(const QVariant& value);
// Stored values, keys sorted, each as a value pair.
QJsonObject values(const QHash<QString, QVariant>& values);
QJsonObject exporter(const Exporter& exporter);
QJsonObject document(const ElementListModel& document);
// Points as [[x, y], ...].
QJsonArray points(const QPolygonF& polygon);
// Convex pieces as [[[x, y], ...], ...].
QJsonArray pieces(const QVector<QPolygonF>& pieces);

}
