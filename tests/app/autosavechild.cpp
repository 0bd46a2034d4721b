// An editor process for tst_app to kill: it opens the project named first on
// its command line in a document window, renames its first body to the second
// argument, autosaves, prints the document between marker lines once the recovery
// copy is on disk, and runs until it is killed.
#include "hullwrightapplication.h"
#include "mainwindow.h"
#include "modeltestsupport.h"
#include "recoverystore.h"
#include "reporter.h"

#include <QFileInfo>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv)
{
    HullwrightApplication app(argc, argv);
    // Messages go to standard error: nobody could answer a message box here.
    Reporter::install(nullptr);
    const QStringList arguments = QCoreApplication::arguments();
    auto* window = qobject_cast<MainWindow*>(app.newFile());
    if (arguments.size() != 3 || !window || !window->loadFile(arguments.at(1)))
        return 2;
    window->setFileName(arguments.at(1));
    Element* body = window->model()->element(0);
    if (!body)
        return 3;
    body->setValue(QStringLiteral("name"), arguments.at(2));
    window->setAutosaveIntervalMs(20);

    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&]() {
        if (!QFileInfo::exists(window->recoveryStore()->sidecarFile()))
            return;
        poll.stop();
        std::printf("document\n%s\nend\n", qUtf8Printable(ModelTest::describe(*window->model())));
        std::fflush(stdout);
    });
    poll.start(10);
    return app.exec();
}
