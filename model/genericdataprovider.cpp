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

void GenericDataProvider::rewritePaths(QHash<QString, QVariant>& values, const QString& name,
                                       const std::function<QString(const QString&)>& rewrite)
{
    const auto it = values.find(name);
    if (it == values.end())
        return;
    if (it->userType() == QMetaType::QStringList) {
        QStringList paths = it->toStringList();
        for (QString& path : paths) {
            if (!path.isEmpty())
                path = rewrite(path);
        }
        *it = paths;
    } else {
        const QString path = it->toString();
        if (!path.isEmpty())
            *it = rewrite(path);
    }
}

void GenericDataProvider::makePathRelative(const QString& name, const QDir& dir)
{
    rewritePaths(m_values, name, [&dir](const QString& path) { return dir.relativeFilePath(path); });
}

void GenericDataProvider::makePathAbsolute(const QString& name, const QDir& dir)
{
    rewritePaths(m_values, name, [&dir](const QString& path) { return QDir::cleanPath(dir.absoluteFilePath(path)); });
}
