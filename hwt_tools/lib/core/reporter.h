#pragma once

#include <QString>

class QObject;

// Where libraries below the user interface send messages meant for the user.
// The editor shows them in message boxes, the command-line tool prints them,
// and tests record them.
class Reporter
{
public:
    enum Severity { Information, Warning, Critical };

    virtual ~Reporter();

    // `context` is the object the message concerns (a window, for example);
    // a message box uses it as its parent. It may be null.
    virtual void report(Severity severity, const QString& title, const QString& text,
                        QObject* context = nullptr) = 0;

    // The installed reporter, or one that writes to standard error.
    static Reporter& current();
    static bool isInstalled();
    // Installs a reporter (not owned); null restores the standard-error one.
    static void install(Reporter* reporter);
};

// Writes messages to standard error, one line each.
class StandardErrorReporter final : public Reporter
{
public:
    void report(Severity severity, const QString& title, const QString& text, QObject* context) override;
};
