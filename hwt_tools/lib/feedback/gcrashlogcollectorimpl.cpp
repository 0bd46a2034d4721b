#include "gcrashlogcollectorimpl.h"

#include "crashhandler.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

GCrashLogCollectorImpl::~GCrashLogCollectorImpl() = default;

std::unique_ptr<GCrashLogCollectorImpl> GCrashLogCollectorImpl::create()
{
    if (CrashHandler::isSupported())
        return std::make_unique<GCrashLogCollectorImplFile>(CrashHandler::defaultDirectory());
    return std::make_unique<GCrashLogCollectorImplDummy>();
}

QStringList GCrashLogCollectorImplDummy::crashLogs(const QDateTime&) const
{
    return {};
}

GCrashLogCollectorImplFile::GCrashLogCollectorImplFile(const QString& directory)
    : m_directory(directory)
{
}

QStringList GCrashLogCollectorImplFile::crashLogs(const QDateTime& since) const
{
    QFileInfoList files = QDir(m_directory).entryInfoList({CrashHandler::fileNamePattern()}, QDir::Files, QDir::Time);
    // Newest first from the listing; keep the newest few, then report oldest first.
    QFileInfoList recent;
    for (const QFileInfo& file : files) {
        if (recent.size() == maximumLogs)
            break;
        if (!since.isValid() || file.lastModified() > since)
            recent.prepend(file);
    }
    QStringList logs;
    for (const QFileInfo& info : recent) {
        QFile file(info.filePath());
        if (file.open(QIODevice::ReadOnly))
            logs << QString::fromUtf8(file.read(maximumLogSize));
    }
    return logs;
}
