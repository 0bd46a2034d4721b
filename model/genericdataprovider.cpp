#include "genericdataprovider.h"

#include "undogenericvaluechange.h"

#include <QDir>

GenericDataProvider::~GenericDataProvider() = default;

QVariant GenericDataProvider::value(const QString& name) const
{
    const auto it = m_values.constFind(name);
    return it != m_values.constEnd() ? it.value() : defaultValue(name);
}

void GenericDataProvider::setValue(const QString& name, const QVariant& value)
{
    const auto it = m_values.constFind(name);
    if (it != m_values.constEnd() && it.value() == value)
        return;
    if (m_undoEnabled)
        pushUndoCommand(new UndoGenericValueChange(this, name, this->value(name), value));
    else
        m_values.insert(name, value);
}

template <typename Rewrite>
void GenericDataProvider::rewritePath(const QString& name, Rewrite rewrite)
{
    const auto it = m_values.constFind(name);
    if (it == m_values.constEnd())
        return;
    const QVariant stored = it.value();
    if (stored.userType() == QMetaType::QStringList) {
        QStringList paths = stored.toStringList();
        for (QString& path : paths) {
            if (!path.isEmpty())
                path = rewrite(path);
        }
        m_values.insert(name, paths);
    } else {
        const QString path = stored.toString();
        m_values.insert(name, path.isEmpty() ? path : rewrite(path));
    }
}

void GenericDataProvider::makePathRelative(const QString& name, const QDir& dir)
{
    rewritePath(name, [&dir](const QString& path) { return dir.relativeFilePath(path); });
}

void GenericDataProvider::makePathAbsolute(const QString& name, const QDir& dir)
{
    rewritePath(name, [&dir](const QString& path) { return QDir::cleanPath(dir.absoluteFilePath(path)); });
}
