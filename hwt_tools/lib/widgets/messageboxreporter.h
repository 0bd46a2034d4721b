#pragma once

#include "reporter.h"

// Shows each message in a modal message box with a single OK button.
class MessageBoxReporter final : public Reporter
{
public:
    void report(Severity severity, const QString& title, const QString& text, QObject* context) override;
};
