// Reads arbitrary bytes as a project file and drops its bodies into the physics
// preview's world with the shipped exporters' parameters: whatever a project
// holds (coordinates, anchors, densities, filters), the engine is never handed
// a shape or a value it stops the program on.

#include "elementlistmodel.h"
#include "error.h"
#include "exporterregistry.h"
#include "physicsworld.h"
#include "reporter.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

void dropMessage(QtMsgType, const QMessageLogContext&, const QString&)
{
}

class QuietReporter final : public Reporter
{
public:
    void report(Severity, const QString&, const QString&, QObject*) override {}
};

struct Environment
{
    QTemporaryDir directory{QDir::tempPath() + QStringLiteral("/hwt-fuzz-simulation-XXXXXX")};
    QString input;
    QuietReporter reporter;

    Environment()
    {
        if (!directory.isValid())
            std::abort();
        input = directory.filePath(QStringLiteral("input.hws"));
        qInstallMessageHandler(dropMessage);
        Reporter::install(&reporter);
        ExporterRegistry::instance().scanExporters(QStringLiteral(HWT_SOURCE_DIR "/exporters"));
    }
};

Environment& environment()
{
    static int argc = 1;
    static char name[] = "fuzz_simulation";
    static char* argv[] = {name, nullptr};
    static const bool platformChosen = qputenv("QT_QPA_PLATFORM", "offscreen");
    Q_UNUSED(platformChosen)
    static QGuiApplication app(argc, argv);
    static Environment env;
    return env;
}

}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Environment& env = environment();
    QFile file(env.input);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        std::abort();
    if (file.write(reinterpret_cast<const char*>(data), qint64(size)) != qint64(size))
        std::abort();
    file.close();

    ElementListModel document;
    try {
        if (!document.load(env.input))
            return 0;
    } catch (const Error&) {
        return 0;
    }
    PhysicsWorld world(PreviewBody::fromElements(document.elements()));
    for (int i = 0; i < world.bodyCount(); ++i) {
        if (world.grab(world.position(i)))
            world.dragTo(world.position(i) + QPointF(1, 1));
    }
    world.throwBall(world.arena().center(), QPointF(1, -1));
    world.setGravity(-3);
    for (int i = 0; i < 30; ++i)
        world.step();
    world.release();
    return 0;
}
