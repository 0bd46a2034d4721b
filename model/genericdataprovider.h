#pragma once

#include <QHash>
#include <QString>
#include <QVariant>

#include <functional>

class QDir;
class QUndoCommand;

// Named parameter values of the document, a body or a fixture. A value that
// was never set falls back to the current exporter's default for its level.
class GenericDataProvider
{
public:
    GenericDataProvider() = default;
    GenericDataProvider(const GenericDataProvider&) = delete;
    GenericDataProvider& operator=(const GenericDataProvider&) = delete;
    virtual ~GenericDataProvider();

    virtual void notifyValueChanged() = 0;
    // Takes ownership of the command and runs it.
    virtual void pushUndoCommand(QUndoCommand* command) = 0;
    virtual QVariant defaultValue(const QString& name) const = 0;
    virtual QStringList sharedStringList(const QString& name) const = 0;
    virtual void setSharedStringList(const QString& name, const QStringList& list) = 0;

    bool hasValue(const QString& name) const { return m_values.contains(name); }
    // The stored value, else the default.
    QVariant value(const QString& name) const;
    // An undoable change (when undo recording is on); nothing when the stored value is equal.
    void setValue(const QString& name, const QVariant& value);
    void setValueDirect(const QString& name, const QVariant& value) { m_values.insert(name, value); }
    QHash<QString, QVariant> values() const { return m_values; }
    void setValues(const QHash<QString, QVariant>& values) { m_values = values; }

    bool isUndoEnabled() const { return m_undoEnabled; }
    void setUndoEnabled(bool enabled) { m_undoEnabled = enabled; }

    // Rewrite a stored path (or list of paths) relative to, or absolute from,
    // `dir`. Values that are not stored, and empty paths, are left as they are.
    void makePathRelative(const QString& name, const QDir& dir);
    void makePathAbsolute(const QString& name, const QDir& dir);

    // The same for a path (or list of paths) stored under `name` in `values`.
    static void rewritePaths(QHash<QString, QVariant>& values, const QString& name,
                             const std::function<QString(const QString&)>& rewrite);

private:

    QHash<QString, QVariant> m_values;
    bool m_undoEnabled = true;
};

// Switches a provider's undo recording off for a scope and restores it on exit,
// also when the scope is left by an exception.
class UndoRecordingPause
{
public:
    explicit UndoRecordingPause(GenericDataProvider* provider)
        : m_provider(provider)
        , m_wasEnabled(provider->isUndoEnabled())
    {
        provider->setUndoEnabled(false);
    }
    ~UndoRecordingPause() { m_provider->setUndoEnabled(m_wasEnabled); }
    UndoRecordingPause(const UndoRecordingPause&) = delete;
    UndoRecordingPause& operator=(const UndoRecordingPause&) = delete;

private:
    GenericDataProvider* m_provider;
    bool m_wasEnabled;
};
