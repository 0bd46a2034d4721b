#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class ElementListModel;

// Renders a document through its exporter's template into a data file.
namespace Publisher {

// A polygon whose pieces leave part of its area without collision.
struct PartialCover
{
    QString fixture;  // "body name: fixture n"
    double area = 0;  // as the editor fills it (see Coverage::Areas)
    double covered = 0;
};

// What a written file lacks is listed here; the file is written all the same,
// without collision for those parts.
struct Result
{
    bool written = false;
    // "body name: fixture n" for every polygon that could not be cut into convex
    // pieces at all.
    QStringList undecomposable;
    // Polygons with pieces that miss more than max(0.5 % of the area, 1 square unit).
    QList<PartialCover> partlyCovered;
    // The names of the bodies without any fixture.
    QStringList withoutFixtures;
};

// Writes the file only when the whole template rendered; the previous file
// stays otherwise. Failures are reported through the Reporter, and so is one
// "Publishing incomplete" warning for all that the written file lacks. The
// document needs an exporter.
Result publish(ElementListModel& document, const QString& fileName);

// The warning text for undecomposable polygons.
QString undecomposableWarning(const QStringList& fixtures);

// The text of the "Publishing incomplete" warning: a section for each kind of
// gap; empty when nothing is missing.
QString incompleteWarning(const Result& result);

}
