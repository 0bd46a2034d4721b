#include "reporter.h"

#include <cstdio>

namespace {
Reporter* s_installed = nullptr;

const char* severityName(Reporter::Severity severity)
{
    switch (severity) {
    case Reporter::Information:
        return "info";
    case Reporter::Warning:
        return "warning";
    case Reporter::Critical:
        return "error";
    }
    return "error";
}
}

Reporter::~Reporter() = default;

Reporter& Reporter::current()
{
    static StandardErrorReporter standardError;
    return s_installed ? *s_installed : standardError;
}

bool Reporter::isInstalled()
{
    return s_installed != nullptr;
}

void Reporter::install(Reporter* reporter)
{
    s_installed = reporter;
}

void StandardErrorReporter::report(Severity severity, const QString& title, const QString& text, QObject*)
{
    std::fprintf(stderr, "%s: %s: %s\n", severityName(severity), qUtf8Printable(title), qUtf8Printable(text));
    std::fflush(stderr);
}
