#pragma once
// What the fuzz targets that read project files share: a GUI application
// without a display (bodies decode their images into pixmaps), no messages,
// no reports, and a private directory that every input is written to.

#include "reporter.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace ProjectInput {

namespace detail {

inline void dropMessage(QtMsgType, const QMessageLogContext&, const QString&)
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
    QuietReporter reporter;

    Environment()
    {
        if (!directory.isValid())
            std::abort();
        qInstallMessageHandler(dropMessage);
        Reporter::install(&reporter);
    }
};

inline Environment& environment()
{
    static int argc = 1;
    static char name[] = "fuzz";
    static char* argv[] = {name, nullptr};
    static const bool platformChosen = qputenv("QT_QPA_PLATFORM", "offscreen");
    Q_UNUSED(platformChosen)
    static QGuiApplication app(argc, argv);
    static Environment env;
    return env;
}

}

// A file of that name in the private directory.
inline QString path(const QString& fileName)
{
    return detail::environment().directory.filePath(fileName);
}

// Writes the input to "input.hws" and returns its path.
inline QString write(const std::uint8_t* data, std::size_t size)
{
    const QString input = path(QStringLiteral("input.hws"));
    QFile file(input);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        std::abort();
    if (file.write(reinterpret_cast<const char*>(data), qint64(size)) != qint64(size))
        std::abort();
    return input;
}

}
