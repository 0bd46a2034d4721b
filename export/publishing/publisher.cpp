#include "publisher.h"

#include "convexdecomposition.h"
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

// Which polygons publish no convex pieces: the game would get no collision there.
QStringList findUndecomposable(const QList<Element*>& bodies)
{
    QStringList found;
    for (const Element* body : bodies) {
        for (int i = 0; i < body->fixtures().size(); ++i) {
            const auto* polygon = qobject_cast<const FixturePolygon*>(body->fixtures().at(i));
            if (polygon && ConvexDecomposition::decompose(polygon->polygon()).isEmpty())
                found << tr("%1: fixture %2").arg(body->name()).arg(i + 1);
        }
    }
    return found;
}

}

QString undecomposableWarning(const QStringList& fixtures)
{
    return tr("These polygons could not be cut into convex pieces, so the published file has no collision "
              "shape for them:\n%1")
        .arg(fixtures.join(QLatin1Char('\n')));
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

    result.undecomposable = findUndecomposable(elements);
    if (!result.undecomposable.isEmpty())
        Reporter::current().report(Reporter::Warning, tr("Publishing incomplete"),
                                   undecomposableWarning(result.undecomposable));
    return result;
}

}
