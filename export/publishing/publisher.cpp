#include "publisher.h"

#include "convexdecomposition.h"
#include "coverage.h"
#include "element.h"
#include "elementlistmodel.h"
#include "exporter.h"
#include "fixturepolygon.h"
#include "reporter.h"
#include "templatelookups.h"

#include <grantlee/context.h>
#include <grantlee/engine.h>
#include <grantlee/outputstream.h>
#include <grantlee/template.h>
#include <grantlee/templateloader.h>

#include <QCoreApplication>
#include <QSaveFile>
#include <QTextCodec>
#include <QTextStream>

#include <algorithm>
#include <cmath>

namespace Publisher {

namespace {

QString tr(const char* text)
{
    return QCoreApplication::translate("Publisher", text);
}

void reportFailure(const QString& title, const QString& fileName, const QString& reason)
{
    Reporter::current().report(Reporter::Critical, title, tr("Failed to write %1: %2").arg(fileName, reason));
}

// Where the game would get no collision: polygons without convex pieces, or
// with pieces that leave out part of the outline (the cutting stops early on
// an outline that crosses itself, say), and bodies without fixtures.
void findGaps(const QList<Element*>& bodies, Result& result)
{
    for (const Element* body : bodies) {
        if (body->fixtures().isEmpty())
            result.withoutFixtures << body->name();
        for (int i = 0; i < body->fixtures().size(); ++i) {
            const auto* polygon = qobject_cast<const FixturePolygon*>(body->fixtures().at(i));
            if (!polygon)
                continue;
            // One pass over both: a "%2" in the body's name stays as it is.
            const QString name = tr("%1: fixture %2").arg(body->name(), QString::number(i + 1));
            const QVector<QPolygonF> pieces = ConvexDecomposition::decompose(polygon->polygon());
            if (pieces.isEmpty()) {
                result.undecomposable << name;
                continue;
            }
            // Measured against the area the editor fills (odd-even, so the lobes of
            // an outline that crosses itself all count). Merging nearly straight
            // corners shaves slivers off; those are no gap.
            const Coverage::Areas areas = Coverage::measure(polygon->polygon(), pieces);
            if (areas.filled - areas.covered > std::max(0.005 * areas.filled, 1.0))
                result.partlyCovered << PartialCover{name, areas.filled, areas.covered};
        }
    }
}

}

QString undecomposableWarning(const QStringList& fixtures)
{
    return tr("These polygons could not be cut into convex pieces, so the published file has no collision "
              "shape for them:\n%1")
        .arg(fixtures.join(QLatin1Char('\n')));
}

QString incompleteWarning(const Result& result)
{
    QStringList sections;
    if (!result.undecomposable.isEmpty())
        sections << undecomposableWarning(result.undecomposable);
    if (!result.partlyCovered.isEmpty()) {
        QStringList lines;
        for (const PartialCover& gap : result.partlyCovered) {
            // Rounded down: a polygon listed here never shows 100 %.
            const double percent = std::floor(1000 * gap.covered / gap.area) / 10;
            lines << tr("%1 (%2 % covered)").arg(gap.fixture, QString::number(percent, 'f', 1));
        }
        sections << tr("The convex pieces of these polygons cover only part of the outline (does it cross "
                       "itself?), so the published file has no collision shape for the rest:\n%1")
                        .arg(lines.join(QLatin1Char('\n')));
    }
    if (!result.withoutFixtures.isEmpty())
        sections << tr("These bodies have no fixtures, so the published file has no collision shape for them:\n%1")
                        .arg(result.withoutFixtures.join(QLatin1Char('\n')));
    return sections.join(QStringLiteral("\n\n"));
}

Result publish(ElementListModel& document, const QString& fileName)
{
    Result result;
    const Exporter* exporter = document.exporter();
    if (!exporter) {
        reportFailure(tr("Error writing file"), fileName, tr("the document has no exporter"));
        return result;
    }

    Grantlee::Engine engine;
    auto loader = QSharedPointer<Grantlee::FileSystemTemplateLoader>::create();
    loader->setTemplateDirs({exporter->directory()});
    engine.addTemplateLoader(loader);
    engine.addPluginPath(exporter->directory());
    engine.addPluginPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../Plugins"));
    // Optional: a build without the scriptable tags publishes all the same.
    engine.addDefaultLibrary(QStringLiteral("grantlee_scriptabletags"));

    const Grantlee::Template compiled = engine.loadByName(exporter->templateFile());
    if (!compiled || compiled->error() != Grantlee::NoError) {
        reportFailure(tr("Error writing file"), fileName,
                      compiled ? compiled->errorString() : tr("template %1 not found").arg(exporter->templateFile()));
        return result;
    }

    // Rendered into a temporary file that replaces the output only when complete.
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly)) {
        reportFailure(tr("Error opening file"), fileName, file.errorString());
        return result;
    }

    QVariantList bodies;
    const QList<Element*> elements = document.elements();
    for (Element* body : elements) {
        body->setExporter(document.exporter());
        bodies << QVariant::fromValue(TemplateBody{body});
    }
    Grantlee::Context context;
    context.insert(QStringLiteral("bodies"), bodies);
    context.insert(QStringLiteral("global"), QVariant::fromValue(TemplateDocument{&document}));

    QTextStream text(&file);
    text.setCodec(QTextCodec::codecForName("UTF-8"));
    Grantlee::OutputStream output(&text);
    compiled->render(&output, &context);
    text.flush();
    if (compiled->error() != Grantlee::NoError) {
        file.cancelWriting();
        reportFailure(tr("Error writing file"), fileName, compiled->errorString());
        return result;
    }
    if (text.status() != QTextStream::Ok || !file.flush() || file.error() != QFileDevice::NoError
        || !file.commit()) {
        reportFailure(tr("Error writing file"), fileName, file.errorString());
        return result;
    }
    result.written = true;

    findGaps(elements, result);
    const QString gaps = incompleteWarning(result);
    if (!gaps.isEmpty())
        Reporter::current().report(Reporter::Warning, tr("Publishing incomplete"), gaps);
    return result;
}

}
