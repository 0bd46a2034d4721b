#include "documenttyperegistry.h"

#include "gapplicationaddons.h"

#include <QObject>
#include <QStringList>

DocumentTypeRegistry& DocumentTypeRegistry::instance()
{
    static DocumentTypeRegistry* registry = new DocumentTypeRegistry;
    return *registry;
}

void DocumentTypeRegistry::registerType(const QString& progId, const QString& description,
                                        const QString& extension, const QString& iconName, bool openable,
                                        bool registerWithShell, bool saveable, const QMetaObject& windowClass)
{
    auto type = std::make_unique<DocumentType>();
    type->progId = progId;
    type->description = description;
    type->extension = extension;
    type->iconName = iconName;
    type->openable = openable;
    type->saveable = saveable;
    type->windowClass = windowClass;
    m_types.push_back(std::move(type));

    if (registerWithShell) {
        if (GApplicationAddons* addons = GApplicationAddons::instance())
            addons->registerFileType(progId, description, extension, iconName, 0, true,
                                     GApplicationAddons::OpenCommand);
    }
}

const DocumentType* DocumentTypeRegistry::typeForFile(const QString& fileName) const
{
    for (const auto& type : m_types) {
        if (fileName.endsWith(type->extension, Qt::CaseInsensitive))
            return type.get();
    }
    return nullptr;
}

const DocumentType* DocumentTypeRegistry::defaultType() const
{
    return m_types.empty() ? nullptr : m_types.front().get();
}

const DocumentType* DocumentTypeRegistry::typeOrDefault(const QString& fileName) const
{
    const DocumentType* type = typeForFile(fileName);
    return type ? type : defaultType();
}

bool DocumentTypeRegistry::canOpen(const QObject* window, const QString& fileName) const
{
    const DocumentType* type = typeOrDefault(fileName);
    return window && type
           && qstrcmp(type->windowClass.className(), window->metaObject()->className()) == 0;
}

template <typename Pred>
QString DocumentTypeRegistry::filter(Pred take) const
{
    QStringList patterns;
    QStringList entries;
    for (const auto& type : m_types) {
        if (!take(*type))
            continue;
        patterns << QStringLiteral("*%1").arg(type->extension);
        entries << QStringLiteral("%1 (*%2)").arg(type->description, type->extension);
    }
    entries.prepend(QObject::tr("All known types (%1)").arg(patterns.join(QLatin1Char(' '))));
    return entries.join(QStringLiteral(";;"));
}

QString DocumentTypeRegistry::openFilter() const
{
    return filter([](const DocumentType& type) { return type.openable; });
}

QString DocumentTypeRegistry::saveFilter(const QObject* window) const
{
    const char* className = window ? window->metaObject()->className() : "";
    return filter([className](const DocumentType& type) {
        return type.saveable && qstrcmp(type.windowClass.className(), className) == 0;
    });
}
