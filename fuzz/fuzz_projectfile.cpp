// Reads arbitrary bytes as a project file. Any outcome but a normal return or
// an Error (a crash, a hang, runaway memory) is a bug in the reader. A file
// that reads is also written and read again, which must succeed.

#include "elementlistmodel.h"
#include "error.h"
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
    QTemporaryDir directory{QDir::tempPath() + QStringLiteral("/hwt-fuzz-project-XXXXXX")};
    QString input;
    QString output;
    QuietReporter reporter;

    Environment()
    {
        if (!directory.isValid())
            std::abort();
        input = directory.filePath(QStringLiteral("input.hws"));
        output = directory.filePath(QStringLiteral("output.hws"));
        qInstallMessageHandler(dropMessage);
        Reporter::install(&reporter);
    }
};

Environment& environment()
{
    // Bodies decode images into pixmaps, which need a GUI application (not a display).
    static int argc = 1;
    static char name[] = "fuzz_projectfile";
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

    int rows = -1;
    {
        ElementListModel document;
        try {
            if (document.load(env.input)) {
                rows = document.rowCount();
                if (!document.save(env.output))
                    std::abort();
            }
        } catch (const Error&) {
            // Rejecting the input is a correct outcome.
        }
    }
    if (rows >= 0) {
        ElementListModel again;
        try {
            if (!again.load(env.output) || again.rowCount() != rows)
                std::abort();
        } catch (const Error&) {
            // What we wrote ourselves must read back.
            std::abort();
        }
    }
    return 0;
}
