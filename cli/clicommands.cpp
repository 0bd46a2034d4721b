#include "clicommands.h"

#include "elementlistmodel.h"
#include "error.h"
#include "exporter.h"
#include "exporterregistry.h"
#include "jsonexport.h"
#include "reporter.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTextStream>

namespace Cli {

namespace {

const char usage[] =
    "Usage: hullwright-cli COMMAND [ARGUMENTS] [--exporters DIR]...\n"
    "\n"
    "Commands:\n"
    "  exporters           list the available exporters as JSON\n"
    "  dump PROJECT.hws    print a project's bodies, fixtures and values as JSON\n"
    "\n"
    "Exporters are read from the directory shipped with the program, then from\n"
    "every --exporters DIR in order; a later exporter replaces one of the same name.\n";

// Messages meant for the user go to standard error, one text a line.
class TextReporter final : public Reporter
{
public:
    explicit TextReporter(QTextStream& err) : m_err(err) {}
    void report(Severity, const QString&, const QString& text, QObject*) override
    {
        m_err << text << '\n';
        m_err.flush();
    }

private:
    QTextStream& m_err;
};

struct Options
{
    QString command;
    QStringList positional;
    QStringList exporterDirectories;
};

// Fills `options`; returns an error text for a malformed command line.
QString parse(const QStringList& arguments, Options& options)
{
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (argument == QLatin1String("--exporters")) {
            if (i + 1 >= arguments.size())
                return QStringLiteral("--exporters needs a directory");
            options.exporterDirectories << arguments.at(++i);
        } else if (argument.startsWith(QLatin1String("--exporters="))) {
            options.exporterDirectories << argument.mid(int(qstrlen("--exporters=")));
        } else if (argument.startsWith(QLatin1String("--")) && argument != QLatin1String("--help")) {
            return QStringLiteral("unknown option %1").arg(argument);
        } else if (options.command.isEmpty()) {
            options.command = argument;
        } else {
            options.positional << argument;
        }
    }
    return {};
}

// Reads the built-in exporters, then each given directory. False (with a
// message) when a given directory cannot be read at all.
bool scanExporters(const Options& options, QTextStream& err)
{
    ExporterRegistry& registry = ExporterRegistry::instance();
    const QString builtIn = builtInExporterDirectory();
    if (!builtIn.isEmpty())
        registry.scanExporters(builtIn);
    for (const QString& directory : options.exporterDirectories) {
        if (!QFileInfo(directory).isDir()) {
            err << QStringLiteral("Can't read exporter directory %1").arg(directory) << '\n';
            return false;
        }
        registry.scanExporters(QFileInfo(directory).absoluteFilePath());
    }
    return true;
}

int write(QTextStream& out, const QJsonDocument& json)
{
    out << json.toJson(QJsonDocument::Indented);
    out.flush();
    return out.status() == QTextStream::Ok ? Success : OutputError;
}

int listExporters(QTextStream& out)
{
    QJsonArray list;
    const QList<Exporter*> exporters = ExporterRegistry::instance().exporters();
    for (const Exporter* exporter : exporters)
        list.append(JsonExport::exporter(*exporter));
    return write(out, QJsonDocument(list));
}

int dump(const QString& project, QTextStream& out, QTextStream& err)
{
    ElementListModel document;
    try {
        if (!document.load(project)) {
            err << QStringLiteral("Can't open %1").arg(project) << '\n';
            return InputError;
        }
    } catch (const Error& error) {
        err << error.message() << '\n';
        return InputError;
    }
    return write(out, QJsonDocument(JsonExport::document(document)));
}

}

QString builtInExporterDirectory()
{
    const QDir programDir(QCoreApplication::applicationDirPath());
    for (const QString& candidate : {QStringLiteral("exporters"), QStringLiteral("../share/hullwright/exporters")}) {
        const QString path = QDir::cleanPath(programDir.absoluteFilePath(candidate));
        if (QFileInfo(path).isDir())
            return path;
    }
    return {};
}

int run(const QStringList& arguments, QTextStream& out, QTextStream& err)
{
    Options options;
    const QString problem = parse(arguments, options);
    if (options.command == QLatin1String("--help") || (problem.isEmpty() && options.command == QLatin1String("help"))) {
        out << usage;
        return Success;
    }
    const bool knownShape = (options.command == QLatin1String("exporters") && options.positional.isEmpty())
                            || (options.command == QLatin1String("dump") && options.positional.size() == 1);
    if (!problem.isEmpty() || !knownShape) {
        if (!problem.isEmpty())
            err << "hullwright-cli: " << problem << '\n';
        else if (!options.command.isEmpty())
            err << "hullwright-cli: wrong use of '" << options.command << "'\n";
        err << usage;
        return UsageError;
    }

    TextReporter reporter(err);
    Reporter::install(&reporter);
    int result = InputError;
    if (scanExporters(options, err))
        result = options.command == QLatin1String("exporters") ? listExporters(out)
                                                                : dump(options.positional.first(), out, err);
    Reporter::install(nullptr);
    return result;
}

}
