#pragma once

#include <QStringList>

class QTextStream;

// The commands of hullwright-cli, apart from the process set-up in main().
namespace Cli {

enum ExitCode { Success = 0, UsageError = 1, InputError = 2, OutputError = 3 };

// Runs the command line (without the program name); results go to `out`,
// messages to `err`. Returns the exit code.
int run(const QStringList& arguments, QTextStream& out, QTextStream& err);

}
