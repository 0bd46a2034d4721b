#include "clicommands.h"

#include "convexdecomposition.h"
#include "element.h"
#include "elementlistmodel.h"
#include "error.h"
#include "exporter.h"
#include "exporterregistry.h"
#include "fixturepolygon.h"
#include "framecomposite.h"
#include "islandtracer.h"
#include "jsonexport.h"
#include "outlinetracer.h"
#include "physicsworld.h"
#include "publisher.h"
#include "reporter.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTextStream>
#include <QThread>
#include <QThreadPool>
#include <QtMath>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>
#include <condition_variable>
#include <functional>
#include <iterator>
#include <limits>
#include <memory>
#include <mutex>
#include <vector>

namespace Cli {

namespace {

constexpr int maxJobs = 1024;
// An hour of simulated time; longer runs would only keep the program busy.
constexpr double maxSeconds = 3600;

const char usage[] =
    "Usage: hullwright-cli COMMAND [ARGUMENTS] [--exporters DIR]...\n"
    "\n"
    "Commands:\n"
    "  exporters                      list the available exporters as JSON\n"
    "  dump PROJECT.hws               print a project's bodies, fixtures and values as JSON\n"
    "  decompose [FILE]               cut a JSON outline [[x, y], ...] (standard input\n"
    "                                 without FILE) into convex pieces\n"
    "  publish PROJECT.hws [--exporter NAME] [--output FILE]\n"
    "                                 render a project through its exporter (or NAME)\n"
    "                                 into FILE (default: the project's export file);\n"
    "                                 refused when the project's exporter is missing\n"
    "                                 and no NAME is given\n"
    "  create OUT.hws --exporter NAME [--trace] [--mode straight|natural]\n"
    "         [--tolerance T] [--threshold A] [--all-islands] [--holes]\n"
    "         [--min-area N] [--jobs N] [--group-frames]\n"
    "         [--frames single|intersection|union] IMAGE...\n"
    "                                 a new project with one body per image, each\n"
    "                                 with its traced outline when --trace is given;\n"
    "                                 prints where it was written. Images are read\n"
    "                                 and traced on N threads (default: one a core);\n"
    "                                 the project is the same for any N. With\n"
    "                                 --group-frames, images named alike but for a\n"
    "                                 number (walk_01.png, walk_02.png) are the frames\n"
    "                                 of one body (walk), traced as --frames says\n"
    "  simulate PROJECT.hws [--seconds S]\n"
    "                                 drops all bodies into the physics preview's\n"
    "                                 world, runs it for S seconds (default 5) at 60\n"
    "                                 steps a second and prints where each body is, as\n"
    "                                 JSON: metres and radians, y up\n"
    "  trace IMAGE [FRAME...] [--mode straight|natural] [--tolerance T]\n"
    "        [--threshold A] [--start X,Y] [--frames single|intersection|union]\n"
    "        [--all-islands] [--holes] [--min-area N]\n"
    "                                 the outline traced from the image's alpha,\n"
    "                                 as JSON [[x, y], ...] in body coordinates\n"
    "\n"
    "Tracing options:\n"
    "  --all-islands                  one outline for every island of the image, not\n"
    "                                 just the first; trace prints [[[x, y], ...], ...]\n"
    "  --holes                        as --all-islands, with each hole joined to its\n"
    "                                 island's outline through a narrow channel\n"
    "  --min-area N                   islands and holes of fewer than N pixels are\n"
    "                                 left out (default 4)\n"
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
    QHash<QString, QString> values;  // --exporter, --output, --mode, --tolerance, --threshold, ...
    QStringList flags;               // --trace, --all-islands, --holes, --group-frames
};

// Fills `options`; returns an error text for a malformed command line.
QString parse(const QStringList& arguments, Options& options)
{
    static const QStringList valueOptions{QStringLiteral("exporters"), QStringLiteral("exporter"),
                                          QStringLiteral("output"),    QStringLiteral("mode"),
                                          QStringLiteral("tolerance"), QStringLiteral("threshold"),
                                          QStringLiteral("start"),     QStringLiteral("frames"),
                                          QStringLiteral("min-area"),  QStringLiteral("jobs"),
                                          QStringLiteral("seconds")};
    static const QStringList flags{QStringLiteral("trace"), QStringLiteral("all-islands"), QStringLiteral("holes"),
                                   QStringLiteral("group-frames")};
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (!argument.startsWith(QLatin1String("--")) || argument == QLatin1String("--help")) {
            if (options.command.isEmpty())
                options.command = argument;
            else
                options.positional << argument;
            continue;
        }
        QString name = argument.mid(2);
        QString value;
        const int equals = name.indexOf(QLatin1Char('='));
        if (equals >= 0) {
            value = name.mid(equals + 1);
            name.truncate(equals);
        }
        if (flags.contains(name) && equals < 0) {
            options.flags << name;
            continue;
        }
        if (!valueOptions.contains(name))
            return QStringLiteral("unknown option %1").arg(argument);
        if (equals < 0) {
            if (i + 1 >= arguments.size())
                return QStringLiteral("--%1 needs a value").arg(name);
            value = arguments.at(++i);
        }
        if (name == QLatin1String("exporters"))
            options.exporterDirectories << value;
        else
            options.values.insert(name, value);
    }
    return {};
}

// Reads the built-in exporters, then each given directory. False (with a
// message) when a given directory cannot be read at all.
bool scanExporters(const Options& options, QTextStream& err)
{
    ExporterRegistry& registry = ExporterRegistry::instance();
    const QString builtIn = ExporterRegistry::builtInDirectory(QCoreApplication::applicationDirPath());
    if (QFileInfo(builtIn).isDir())
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

// The tracing options of the command line; an error text when one is malformed.
QString traceOptions(const Options& options, OutlineTracer::Options& trace)
{
    const QString mode = options.values.value(QStringLiteral("mode"), QStringLiteral("straight"));
    if (mode == QLatin1String("straight"))
        trace.mode = TraceMode::Straight;
    else if (mode == QLatin1String("natural"))
        trace.mode = TraceMode::Natural;
    else
        return QStringLiteral("--mode is straight or natural, not %1").arg(mode);

    bool ok = true;
    if (options.values.contains(QStringLiteral("tolerance"))) {
        const double tolerance = options.values.value(QStringLiteral("tolerance")).toDouble(&ok);
        if (!ok || !qIsFinite(tolerance) || tolerance < 0 || tolerance > 1e6)
            return QStringLiteral("--tolerance needs a number of pixels, 0 or more");
        trace.tolerance = float(tolerance);
    }
    if (options.values.contains(QStringLiteral("threshold"))) {
        const int threshold = options.values.value(QStringLiteral("threshold")).toInt(&ok);
        if (!ok || threshold < 0 || threshold > 255)
            return QStringLiteral("--threshold needs an alpha value from 0 to 255");
        trace.alphaThreshold = threshold;
    }
    if (options.values.contains(QStringLiteral("start"))) {
        const QStringList xy = options.values.value(QStringLiteral("start")).split(QLatin1Char(','));
        bool okX = false;
        bool okY = false;
        if (xy.size() == 2)
            trace.startPixel = QPoint(xy.at(0).toInt(&okX), xy.at(1).toInt(&okY));
        if (!okX || !okY)
            return QStringLiteral("--start needs a pixel as X,Y");
    }
    const QString frames = options.values.value(QStringLiteral("frames"), QStringLiteral("single"));
    if (frames == QLatin1String("single"))
        trace.frames = AnimationTraceMode::SingleFrame;
    else if (frames == QLatin1String("intersection"))
        trace.frames = AnimationTraceMode::AllFramesIntersection;
    else if (frames == QLatin1String("union"))
        trace.frames = AnimationTraceMode::AllFramesUnion;
    else
        return QStringLiteral("--frames is single, intersection or union, not %1").arg(frames);
    return {};
}

// How create and trace trace: one outline, or every island.
struct Tracing
{
    OutlineTracer::Options outline;
    bool allIslands = false;
    bool keepHoles = false;
    int minimumArea = IslandTracer::Options().minimumArea;

    IslandTracer::Options islands() const
    {
        return {outline.mode, outline.tolerance, outline.alphaThreshold, minimumArea, keepHoles};
    }
};

QString tracingOptions(const Options& options, Tracing& tracing)
{
    const QString problem = traceOptions(options, tracing.outline);
    if (!problem.isEmpty())
        return problem;
    tracing.keepHoles = options.flags.contains(QStringLiteral("holes"));
    tracing.allIslands = tracing.keepHoles || options.flags.contains(QStringLiteral("all-islands"));
    if (options.values.contains(QStringLiteral("min-area"))) {
        bool ok = false;
        const qlonglong area = options.values.value(QStringLiteral("min-area")).toLongLong(&ok);
        if (!ok || area < 0)
            return QStringLiteral("--min-area needs a number of pixels, 0 or more");
        // No image has more pixels than an int counts; beyond that nothing is kept anyway.
        tracing.minimumArea = int(qMin<qlonglong>(area, std::numeric_limits<int>::max()));
    }
    // Every island starts at its own first pixel.
    if (tracing.allIslands && options.values.contains(QStringLiteral("start")))
        return QStringLiteral("--start picks one outline and can't go with --all-islands or --holes");
    return {};
}

// The outlines of one body from its frames (none null): the one outline, or
// one per island. Islands are found where the single outline would be
// walked: on the first frame, or on the composite of all frames.
QVector<QPolygonF> traceFrames(const QList<QImage>& frames, const Tracing& tracing, QString& error)
{
    if (!tracing.allIslands) {
        const OutlineTracer::Result traced = OutlineTracer::traceImages(frames, tracing.outline);
        error = traced.error;
        return {traced.polygon};
    }
    const QImage traced = tracing.outline.frames == AnimationTraceMode::SingleFrame
                              ? frames.first()
                              : FrameComposite::build(frames, frames.first().size(), tracing.outline.frames,
                                                      tracing.outline.alphaThreshold);
    const IslandTracer::Result islands = IslandTracer::trace(traced, tracing.islands());
    error = islands.error;
    QVector<QPolygonF> outlines;
    outlines.reserve(islands.islands.size());
    for (const IslandTracer::Island& island : islands.islands)
        outlines.append(island.polygon);
    return outlines;
}

int trace(const Options& options, QTextStream& out, QTextStream& err)
{
    Tracing tracing;
    const QString problem = tracingOptions(options, tracing);
    if (!problem.isEmpty()) {
        err << "hullwright-cli: " << problem << '\n';
        return UsageError;
    }
    if (!tracing.allIslands) {
        const OutlineTracer::Result traced = OutlineTracer::traceFiles(options.positional, tracing.outline);
        if (!traced.ok()) {
            err << traced.error << '\n';
            return InputError;
        }
        return write(out, QJsonDocument(JsonExport::points(traced.polygon)));
    }
    QList<QImage> frames;
    for (const QString& file : options.positional) {
        QImage image;
        const QString unreadable = OutlineTracer::readImageFile(file, image);
        if (!unreadable.isEmpty()) {
            err << unreadable << '\n';
            return InputError;
        }
        frames.append(image);
    }
    QString error;
    const QVector<QPolygonF> outlines = traceFrames(frames, tracing, error);
    if (!error.isEmpty()) {
        err << error << '\n';
        return InputError;
    }
    return write(out, QJsonDocument(JsonExport::pieces(outlines)));
}

// Reads a project as the editor does; null (with the message written) when it cannot.
std::unique_ptr<ElementListModel> readProject(const QString& project, QTextStream& err)
{
    auto document = std::make_unique<ElementListModel>();
    try {
        if (document->load(project))
            return document;
        err << QStringLiteral("Can't open %1").arg(project) << '\n';
    } catch (const Error& error) {
        err << error.message() << '\n';
    }
    return nullptr;
}

int dump(const QString& project, QTextStream& out, QTextStream& err)
{
    const std::unique_ptr<ElementListModel> document = readProject(project, err);
    if (!document)
        return InputError;
    return write(out, QJsonDocument(JsonExport::document(*document)));
}

int decompose(const QStringList& files, QTextStream& out, QTextStream& err)
{
    QFile input;
    const bool fromFile = !files.isEmpty();
    if (fromFile)
        input.setFileName(files.first());
    if (fromFile ? !input.open(QIODevice::ReadOnly) : !input.open(stdin, QIODevice::ReadOnly)) {
        err << QStringLiteral("Can't read %1").arg(fromFile ? files.first() : QStringLiteral("standard input"))
            << '\n';
        return InputError;
    }
    QJsonParseError parseError;
    const QJsonDocument json = QJsonDocument::fromJson(input.readAll(), &parseError);
    QPolygonF outline;
    bool valid = parseError.error == QJsonParseError::NoError && json.isArray();
    const QJsonArray points = json.array();
    for (const QJsonValue& value : points) {
        const QJsonArray point = value.toArray();
        valid = valid && value.isArray() && point.size() == 2 && point.at(0).isDouble() && point.at(1).isDouble();
        outline << QPointF(point.at(0).toDouble(), point.at(1).toDouble());
    }
    if (!valid) {
        err << QStringLiteral("The outline must be a JSON array of [x, y] number pairs") << '\n';
        return InputError;
    }
    return write(out, QJsonDocument(JsonExport::pieces(ConvexDecomposition::decompose(outline))));
}

Exporter* namedExporter(const QString& name, QTextStream& err)
{
    Exporter* exporter = ExporterRegistry::instance().exporter(name);
    if (!exporter)
        err << QStringLiteral("No exporter named %1").arg(name) << '\n';
    return exporter;
}

// Holds what is reported while a project loads, to pass on or drop once it is
// known whether the command line's exporter replaces a missing one.
class HeldReporter final : public Reporter
{
public:
    void report(Severity severity, const QString& title, const QString& text, QObject* context) override
    {
        m_held.push_back({severity, title, text, context});
    }
    void passOn(Reporter& to) const
    {
        for (const Held& each : m_held)
            to.report(each.severity, each.title, each.text, each.context);
    }

private:
    struct Held
    {
        Severity severity;
        QString title, text;
        QObject* context;
    };
    std::vector<Held> m_held;
};

int publish(const Options& options, QTextStream& err)
{
    const QString project = options.positional.first();
    Exporter* chosen = nullptr;
    if (options.values.contains(QStringLiteral("exporter"))) {
        chosen = namedExporter(options.values.value(QStringLiteral("exporter")), err);
        if (!chosen)
            return InputError;
    }

    Reporter& reporter = Reporter::current();
    HeldReporter held;
    Reporter::install(&held);
    const std::unique_ptr<ElementListModel> document = readProject(project, err);
    Reporter::install(&reporter);
    if (!document) {
        held.passOn(reporter);
        return InputError;
    }
    // Another exporter's format under the project's file name would be worse
    // than nothing: without --exporter the project's own one must be there.
    const QString stored = document->storedExporterName();
    const bool storedMissing = !ExporterRegistry::instance().exporter(stored);
    if (chosen) {
        document->setExporter(chosen);
        // The load's complaint about the missing exporter would only confuse.
        if (!storedMissing)
            held.passOn(reporter);
    } else if (storedMissing) {
        err << "hullwright-cli: "
            << (stored.isEmpty() ? QStringLiteral("%1 names no exporter; give one with --exporter NAME").arg(project)
                                 : QStringLiteral("exporter %1 is not installed").arg(stored))
            << '\n';
        return InputError;
    } else {
        held.passOn(reporter);
    }
    if (!document->exporter()) {
        err << QStringLiteral("No exporter is installed to publish with") << '\n';
        return InputError;
    }
    QString output = options.values.value(QStringLiteral("output"), document->exportFileName());
    if (output.isEmpty()) {
        err << "hullwright-cli: "
            << QStringLiteral("%1 has no export file name; give one with --output FILE").arg(project) << '\n';
        return InputError;
    }
    return Publisher::publish(*document, QFileInfo(output).absoluteFilePath()).written ? Success : OutputError;
}

// A body of a new project: what the command line gives, then what a worker
// thread finds in its image files.
struct NewBody
{
    QStringList files;  // absolute paths, the frames in order
    QStringList shown;  // the files as given, for messages
    QString name;
    // Filled by prepare().
    QSize size;
    QVector<QPolygonF> outlines;
    QString error;
};

// Decodes the body's frames and traces them when `tracing` is given. Runs on
// a worker thread: nothing here touches the document or shared state, and
// images are read with QImageReader, not as the editor's pixmaps.
void prepare(NewBody& body, const Tracing* tracing)
{
    QList<QImage> frames;
    for (int i = 0; i < body.files.size(); ++i) {
        QImage image;
        body.error = OutlineTracer::readImageFile(body.files.at(i), image, body.shown.at(i));
        if (!body.error.isEmpty())
            return;
        frames.append(image);
    }
    body.size = frames.first().size();
    if (tracing)
        body.outlines = traceFrames(frames, *tracing, body.error);
}

// Animation frames: the numbered sequences of ElementListModel::frameSequences
// become one body each, named as the editor names them ("walk" for
// walk_01.png), in the place of the sequence's first file. A file given twice
// is one frame; a file without such a number, or alone in its sequence, stays
// a body of its own.
std::vector<NewBody> groupFrames(const std::vector<NewBody>& singles)
{
    QStringList files;
    QHash<QString, QVector<int>> given;  // where each file is in `singles`
    for (int i = 0; i < int(singles.size()); ++i) {
        files << singles[std::size_t(i)].files.first();
        given[files.back()] << i;
    }
    std::vector<NewBody> bodies;
    for (QStringList sequence : ElementListModel::frameSequences(files)) {
        sequence.removeDuplicates();
        if (sequence.size() < 2) {
            for (int i : given.value(sequence.first()))
                bodies.push_back(singles[std::size_t(i)]);
            continue;
        }
        NewBody body;
        body.files = sequence;
        for (const QString& file : qAsConst(sequence))
            body.shown << singles[std::size_t(given.value(file).first())].shown.first();
        body.name = ElementListModel::sequenceName(sequence.first());
        bodies.push_back(body);
    }
    return bodies;
}

// The names ElementListModel::uniqueName gives the bodies of a new document
// as they are added, without going through all bodies for each one: with
// thousands of images that would take longer than reading them.
class UniqueNames
{
public:
    QString take(const QString& name)
    {
        const QPair<QString, int> wanted = ElementListModel::splitName(name.trimmed());
        int number = wanted.second;
        const auto taken = m_highest.constFind(wanted.first);
        if (taken != m_highest.constEnd())
            number = qMax(number, taken.value() + 1);
        const QString unique =
            number <= 1 ? wanted.first : QStringLiteral("%1 (%2)").arg(wanted.first).arg(number);
        const QPair<QString, int> given = ElementListModel::splitName(unique);
        int& highest = m_highest[given.first];
        highest = qMax(highest, given.second);
        return unique;
    }

private:
    QHash<QString, int> m_highest;  // the greatest number of each name taken
};

// Adds a prepared body as ElementListModel::addFile would, without decoding
// its image again: the body's pixmap only serves the editor's display.
void addBody(ElementListModel& document, const QString& name, const NewBody& prepared)
{
    auto* body = new Element(&document, document.exporter());
    // The values in the order addFile sets them, so that the file is the same.
    body->setValueDirect(QStringLiteral("name"), name);
    body->setValueDirect(QStringLiteral("imageFileNames"), prepared.files);
    body->setValueDirect(QStringLiteral("size"), prepared.size);
    document.addNewBody(body);
    // An image with nothing opaque has no outline, and its body no shape.
    QVector<QPolygonF> outlines;
    std::copy_if(prepared.outlines.begin(), prepared.outlines.end(), std::back_inserter(outlines),
                 [](const QPolygonF& outline) { return outline.size() >= 3; });
    body->addFixtures(FixturePolygon::create(body, outlines), QStringLiteral("add fixtures"));
}

// Runs prepare(i) for every i below count on `jobs` threads (on this one
// alone for 1), and take(i) on this thread in order of i, each as soon as its
// prepare(i) is done. False when take() returns false, which stops the rest.
bool inOrder(int count, int jobs, const std::function<void(int)>& prepare, const std::function<bool(int)>& take)
{
    if (jobs <= 1) {
        for (int i = 0; i < count; ++i) {
            prepare(i);
            if (!take(i))
                return false;
        }
        return true;
    }
    std::mutex mutex;
    std::condition_variable finished;
    std::vector<char> done(std::size_t(count), 0);
    std::atomic<int> next{0};
    std::atomic<bool> stopped{false};
    QThreadPool pool;
    pool.setMaxThreadCount(jobs);
    for (int t = 0; t < qMin(jobs, count); ++t) {
        pool.start([&] {
            for (int i = next++; i < count && !stopped; i = next++) {
                prepare(i);
                {
                    const std::lock_guard<std::mutex> lock(mutex);
                    done[std::size_t(i)] = 1;
                }
                finished.notify_all();
            }
        });
    }
    bool complete = true;
    for (int i = 0; i < count && complete; ++i) {
        {
            std::unique_lock<std::mutex> lock(mutex);
            finished.wait(lock, [&] { return done[std::size_t(i)] != 0; });
        }
        complete = take(i);
    }
    stopped = true;
    pool.waitForDone();
    return complete;
}

// The shortest text that reads back as the same single-precision number.
QString shortest(float value)
{
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    return QString::fromLatin1(text, int(end - text));
}

QString jsonString(const QString& text)
{
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(array.mid(1, array.size() - 2));
}

int simulate(const Options& options, QTextStream& out, QTextStream& err)
{
    double seconds = 5;
    if (options.values.contains(QStringLiteral("seconds"))) {
        bool ok = false;
        seconds = options.values.value(QStringLiteral("seconds")).toDouble(&ok);
        if (!ok || !std::isfinite(seconds) || seconds < 0 || seconds > maxSeconds) {
            err << "hullwright-cli: " << QStringLiteral("--seconds needs a time from 0 to %1").arg(maxSeconds) << '\n';
            return UsageError;
        }
    }
    const std::unique_ptr<ElementListModel> document = readProject(options.positional.first(), err);
    if (!document)
        return InputError;
    const QVector<PreviewBody> bodies = PreviewBody::fromElements(document->elements());
    for (const PreviewBody& body : bodies) {
        for (const QString& problem : body.problems())
            err << problem << '\n';
    }
    PhysicsWorld world(bodies);
    for (const QString& problem : world.problems())
        err << problem << '\n';
    const long steps = std::lround(seconds / PhysicsWorld::stepSeconds);
    for (long i = 0; i < steps; ++i)
        world.step();

    out << "{\"seconds\": " << QString::number(seconds, 'g', QLocale::FloatingPointShortest) << ", \"bodies\": [";
    for (int i = 0; i < world.bodyCount(); ++i) {
        const QPointF position = world.position(i);
        out << (i ? ",\n  " : "\n  ") << "{\"name\": " << jsonString(bodies.at(i).name)
            << ", \"x\": " << shortest(float(position.x())) << ", \"y\": " << shortest(float(position.y()))
            << ", \"angle\": " << shortest(float(world.angle(i)))
            << ", \"awake\": " << (world.isAwake(i) ? "true" : "false") << '}';
    }
    out << (world.bodyCount() ? "\n]}\n" : "]}\n");
    out.flush();
    return out.status() == QTextStream::Ok ? Success : OutputError;
}

int create(const Options& options, QTextStream& out, QTextStream& err)
{
    Tracing tracing;
    const QString problem = tracingOptions(options, tracing);
    if (!problem.isEmpty()) {
        err << "hullwright-cli: " << problem << '\n';
        return UsageError;
    }
    const QString exporterName = options.values.value(QStringLiteral("exporter"));
    if (exporterName.isEmpty()) {
        err << "hullwright-cli: create needs --exporter NAME\n" << usage;
        return UsageError;
    }
    Exporter* exporter = namedExporter(exporterName, err);
    if (!exporter)
        return InputError;

    int jobs = QThread::idealThreadCount();
    if (options.values.contains(QStringLiteral("jobs"))) {
        bool ok = false;
        jobs = options.values.value(QStringLiteral("jobs")).toInt(&ok);
        if (!ok || jobs < 1 || jobs > maxJobs) {
            err << "hullwright-cli: " << QStringLiteral("--jobs needs a number of threads from 1 to %1").arg(maxJobs)
                << '\n';
            return UsageError;
        }
    }

    std::vector<NewBody> bodies;
    const QStringList images = options.positional.mid(1);
    for (const QString& image : images)
        bodies.push_back({{QFileInfo(image).absoluteFilePath()}, {image}, QFileInfo(image).baseName(), {}, {}, {}});
    if (options.flags.contains(QStringLiteral("group-frames")))
        bodies = groupFrames(bodies);
    const Tracing* traced = options.flags.contains(QStringLiteral("trace")) ? &tracing : nullptr;

    ElementListModel document;
    document.setExporter(exporter);
    UniqueNames names;
    const bool complete = inOrder(
        int(bodies.size()), jobs, [&](int i) { prepare(bodies[std::size_t(i)], traced); },
        [&](int i) {
            NewBody& body = bodies[std::size_t(i)];
            if (!body.error.isEmpty()) {
                err << body.error << '\n';
                return false;
            }
            addBody(document, names.take(body.name), body);
            body = NewBody();
            return true;
        });
    if (!complete)
        return InputError;
    const QString project = QFileInfo(options.positional.first()).absoluteFilePath();
    if (!document.save(project)) {
        err << QStringLiteral("Can't write %1").arg(project) << '\n';
        return OutputError;
    }
    out << project << '\n';
    out.flush();
    return out.status() == QTextStream::Ok ? Success : OutputError;
}

}

int run(const QStringList& arguments, QTextStream& out, QTextStream& err)
{
    // A fixed hash seed keeps the order of the values in a written project,
    // so the same command line writes the same bytes every time (unless
    // QT_HASH_SEED asks otherwise).
    qSetGlobalQHashSeed(0);
    Options options;
    const QString problem = parse(arguments, options);
    if (options.command == QLatin1String("--help") || (problem.isEmpty() && options.command == QLatin1String("help"))) {
        out << usage;
        return Success;
    }
    const QString& command = options.command;
    const int count = options.positional.size();
    const bool knownShape = (command == QLatin1String("exporters") && count == 0)
                            || (command == QLatin1String("dump") && count == 1)
                            || (command == QLatin1String("decompose") && count <= 1)
                            || (command == QLatin1String("publish") && count == 1)
                            || (command == QLatin1String("create") && count >= 2)
                            || (command == QLatin1String("simulate") && count == 1)
                            || (command == QLatin1String("trace") && count >= 1);
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
    if (command == QLatin1String("decompose")) {
        result = decompose(options.positional, out, err);
    } else if (command == QLatin1String("trace")) {
        result = trace(options, out, err);
    } else if (scanExporters(options, err)) {
        if (command == QLatin1String("exporters"))
            result = listExporters(out);
        else if (command == QLatin1String("dump"))
            result = dump(options.positional.first(), out, err);
        else if (command == QLatin1String("publish"))
            result = publish(options, err);
        else if (command == QLatin1String("simulate"))
            result = simulate(options, out, err);
        else
            result = create(options, out, err);
    }
    Reporter::install(nullptr);
    return result;
}

}
