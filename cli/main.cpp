#include "clicommands.h"
#include "templatelookups.h"

#include <QGuiApplication>
#include <QTextStream>

#include <cstdio>

namespace {
// Standard output carries the results and standard error the messages meant
// for the user; the libraries' diagnostics and warnings would only get in the way.
void quietMessages(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtDebugMsg || type == QtInfoMsg || type == QtWarningMsg)
        return;
    std::fprintf(stderr, "%s\n", qUtf8Printable(message));
}
}

int main(int argc, char** argv)
{
    // Images are decoded as pixmaps, which need a GUI application but no display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(quietMessages);
    QGuiApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("hullwright-cli"));
    registerTemplateLookups();

    QTextStream out(stdout);
    QTextStream err(stderr);
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    return Cli::run(arguments, out, err);
}
