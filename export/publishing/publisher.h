#pragma once

#include <QString>
#include <QStringList>

class ElementListModel;

// Renders a document through its exporter's template into a data file.
namespace Publisher {

struct Result
{
    bool written = false;
    // "body name: fixture n" for every polygon that could not be cut into convex
    // pieces; the file is written all the same, without collision for those parts.
    QStringList undecomposable;
};

// Writes the file only when the whole template rendered; the previous file
// stays otherwise. Failures are reported through the Reporter, and so is a
// warning naming the undecomposable polygons. The document needs an exporter.
Result publish(ElementListModel& document, const QString& fileName);

// The warning text for undecomposable polygons.
QString undecomposableWarning(const QStringList& fixtures);

}
