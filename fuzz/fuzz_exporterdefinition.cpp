// Reads arbitrary bytes as an exporter.xml. Any outcome but a normal return
// or an Error (a crash, a hang, runaway memory) is a bug in the reader.

#include "error.h"
#include "exporter.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <QtGlobal>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

void dropMessage(QtMsgType, const QMessageLogContext&, const QString&)
{
}

// One directory per process, reused for every input.
const QString& exporterDirectory()
{
    static QTemporaryDir directory(QDir::tempPath() + QStringLiteral("/hwt-fuzz-exporter-XXXXXX"));
    static const QString path = [] {
        if (!directory.isValid())
            std::abort();
        // Every rejected input logs its error; the fuzzer has no use for that.
        qInstallMessageHandler(dropMessage);
        return directory.path();
    }();
    return path;
}

}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString& directory = exporterDirectory();
    QFile file(directory + QStringLiteral("/exporter.xml"));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        std::abort();
    if (file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size)) != static_cast<qint64>(size))
        std::abort();
    file.close();

    try {
        const Exporter exporter(directory);
        // Touch what was read, the way the editor does.
        const auto parameters = exporter.fixtureParameters();
        for (const auto* parameter : parameters)
            exporter.fixtureDefault(parameter->name());
    } catch (const Error&) {
        // Rejecting the input is a correct outcome.
    }
    return 0;
}
