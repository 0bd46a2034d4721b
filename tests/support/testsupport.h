#pragma once

#include "reporter.h"

#include <QList>
#include <QString>

#include <functional>
#include <memory>

class QCheckBox;
class QWidget;

namespace TestSupport {

// Points every settings object of this process at a fresh temporary
// directory; call before the application object is created.
void isolateSettings();
// Empties the isolated settings store.
void clearSettings();

// Clicks a check box where its style says it takes clicks.
void clickCheckBox(QCheckBox* box);

// Answers an open or save file dialog with the given path.
void chooseFile(QWidget* fileDialog, const QString& path);

// Runs each handler on the next modal widget that opens (a dialog the code
// under test shows with exec()), in order. A modal the handler leaves open, or
// one that opens when no handler is left, is closed so that nothing hangs.
class ModalHandler
{
public:
    using Handler = std::function<void(QWidget*)>;

    explicit ModalHandler(Handler handler);
    explicit ModalHandler(const QList<Handler>& handlers);
    ~ModalHandler();
    // Whether every handler has run.
    bool handled() const;

private:
    struct State;
    std::shared_ptr<State> m_state;
};

}

// Records the messages meant for the user instead of showing them.
class RecordingReporter final : public Reporter
{
public:
    struct Entry
    {
        Severity severity;
        QString title;
        QString text;
        QObject* context;
    };

    RecordingReporter() { Reporter::install(this); }
    ~RecordingReporter() override { Reporter::install(nullptr); }

    void report(Severity severity, const QString& title, const QString& text, QObject* context) override
    {
        entries.append({severity, title, text, context});
    }

    QList<Entry> entries;
};
