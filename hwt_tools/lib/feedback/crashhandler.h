#pragma once

#include <QString>

// Writes a crash log (signal, time, version and a backtrace) when the process
// dies of a fatal signal, so that the next start can offer it for sending.
// The handler uses only async-signal-safe calls, then lets the signal take
// its usual course.
namespace CrashHandler {

// Whether this platform has the handler.
bool isSupported();
// The crash log directory inside the user's data directory.
QString defaultDirectory();
// The name pattern of the logs the handler writes.
QString fileNamePattern();
// Installs the handler for SIGSEGV, SIGBUS, SIGFPE, SIGILL and SIGABRT,
// writing into `directory` (created when missing). Installing again only
// changes the directory. Returns false when it could not be installed.
bool install(const QString& directory);

}
