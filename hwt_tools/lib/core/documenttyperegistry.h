#pragma once

#include "documenttype.h"

#include <memory>
#include <vector>

class QObject;

// The document types the application knows, in registration order.
class DocumentTypeRegistry
{
public:
    DocumentTypeRegistry() = default;
    DocumentTypeRegistry(const DocumentTypeRegistry&) = delete;
    DocumentTypeRegistry& operator=(const DocumentTypeRegistry&) = delete;

    // The process-wide registry, created on first use and kept until exit.
    static DocumentTypeRegistry& instance();

    void registerType(const QString& progId, const QString& description, const QString& extension,
                      const QString& iconName, bool openable, bool registerWithShell, bool saveable,
                      const QMetaObject& windowClass);

    // The first type whose extension ends the file name, ignoring case; null if none.
    const DocumentType* typeForFile(const QString& fileName) const;
    // The first registered type; null only while nothing is registered.
    const DocumentType* defaultType() const;
    // typeForFile(), or the default type when no extension matches.
    const DocumentType* typeOrDefault(const QString& fileName) const;

    // Whether a window of the given object's class edits documents like this file.
    bool canOpen(const QObject* window, const QString& fileName) const;

    QString openFilter() const;
    QString saveFilter(const QObject* window) const;

    int count() const { return int(m_types.size()); }

private:
    template <typename Pred>
    QString filter(Pred take) const;

    std::vector<std::unique_ptr<DocumentType>> m_types;
};
