#include "recoverystore.h"

#include "elementlistmodel.h"
#include "error.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QSaveFile>
#include <QStandardPaths>
#include <QThreadPool>

#include <algorithm>
#include <atomic>

namespace {
const QString projectSuffix = QStringLiteral(".hws");
const QString sidecarSuffix = QStringLiteral(".json");
const QString lockSuffix = QStringLiteral(".lock");
// A descriptor larger than this is not ours.
constexpr qint64 maxSidecarBytes = 64 * 1024;

std::atomic<int> s_nextNumber{1};

// The lock of a dead process is stale whatever its age (QLockFile checks the
// process id); the age limit catches a lock whose process id has been taken
// by an unrelated program meanwhile. A live holder keeps its lock in any case.
void prepareLock(QLockFile& lock)
{
    lock.setStaleLockTime(24 * 60 * 60 * 1000);
}
}

RecoveryStore::RecoveryStore(const QString& directory)
    : m_directory(directory)
    , m_writer(std::make_unique<QThreadPool>())
{
    // One writer: copies reach the disk in the order they were taken.
    m_writer->setMaxThreadCount(1);
}

RecoveryStore::~RecoveryStore()
{
    flush();
}

void RecoveryStore::flush()
{
    m_writer->waitForDone();
}

QString RecoveryStore::defaultDirectory()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/recovery");
}

QString RecoveryStore::projectFile() const
{
    return m_id.isEmpty() ? QString() : QDir(m_directory).filePath(m_id + projectSuffix);
}

QString RecoveryStore::sidecarFile() const
{
    return m_id.isEmpty() ? QString() : QDir(m_directory).filePath(m_id + sidecarSuffix);
}

bool RecoveryStore::claimId()
{
    const QDir dir(m_directory);
    if (!dir.mkpath(QStringLiteral(".")))
        return false;
    const QString pid = QString::number(QCoreApplication::applicationPid());
    // A process id can come back after a reboot: never reuse the id of an entry still on disk.
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const QString id = pid + QLatin1Char('-') + QString::number(s_nextNumber++);
        if (QFileInfo::exists(dir.filePath(id + projectSuffix)) || QFileInfo::exists(dir.filePath(id + sidecarSuffix)))
            continue;
        auto lock = std::make_unique<QLockFile>(dir.filePath(id + lockSuffix));
        prepareLock(*lock);
        if (!lock->tryLock(0))
            continue;
        m_id = id;
        m_lock = std::move(lock);
        return true;
    }
    return false;
}

bool RecoveryStore::write(const ElementListModel& document, const QString& originalFileName)
{
    if (m_id.isEmpty() && !claimId())
        return false;
    // The document is read here, on its own thread; the disk is written on the writer's.
    QBuffer copy;
    copy.open(QIODevice::WriteOnly);
    if (!document.writeTo(copy, QFileInfo(projectFile()).absoluteDir()))
        return false;
    const QJsonObject description{
        {QStringLiteral("fileName"), originalFileName},
        {QStringLiteral("written"), QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs)},
        {QStringLiteral("pid"), QCoreApplication::applicationPid()},
    };
    m_writer->start([project = projectFile(), bytes = copy.data(), sidecar = sidecarFile(),
                     text = QJsonDocument(description).toJson()] {
        // The description goes last: an entry is offered only once both are complete.
        QSaveFile file(project);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
            return;
        QSaveFile described(sidecar);
        if (described.open(QIODevice::WriteOnly) && described.write(text) == text.size())
            described.commit();
    });
    return true;
}

void RecoveryStore::remove()
{
    // A copy still on its way to the disk must not outlive its deletion.
    flush();
    if (m_id.isEmpty())
        return;
    QFile::remove(sidecarFile());
    QFile::remove(projectFile());
    m_lock.reset();  // unlocking deletes the lock file
    m_id.clear();
}

QList<RecoveryStore::Entry> RecoveryStore::abandonedEntries(const QString& directory)
{
    const QDir dir(directory);
    QList<Entry> entries;
    const QFileInfoList sidecars = dir.entryInfoList({QLatin1Char('*') + sidecarSuffix}, QDir::Files, QDir::Name);
    for (const QFileInfo& sidecar : sidecars) {
        Entry entry;
        entry.id = sidecar.completeBaseName();
        entry.projectFile = dir.filePath(entry.id + projectSuffix);
        if (!QFileInfo(entry.projectFile).isFile() || sidecar.size() > maxSidecarBytes)
            continue;
        entry.lock = std::make_shared<QLockFile>(dir.filePath(entry.id + lockSuffix));
        prepareLock(*entry.lock);
        if (!entry.lock->tryLock(0))
            continue;  // its editor is still running
        QFile file(sidecar.filePath());
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QJsonObject description = QJsonDocument::fromJson(file.readAll()).object();
        entry.originalFileName = description.value(QStringLiteral("fileName")).toString();
        entry.written = QDateTime::fromString(description.value(QStringLiteral("written")).toString(), Qt::ISODateWithMs);
        // A description that cannot be read still leaves a copy worth offering.
        if (!entry.written.isValid())
            entry.written = sidecar.lastModified();
        entry.written = entry.written.toUTC();
        entry.processId = qint64(description.value(QStringLiteral("pid")).toDouble());
        entries << entry;
    }
    std::stable_sort(entries.begin(), entries.end(),
                     [](const Entry& a, const Entry& b) { return a.written < b.written; });
    return entries;
}

std::unique_ptr<ElementListModel> RecoveryStore::read(const Entry& entry, QString* problem)
{
    auto document = std::make_unique<ElementListModel>();
    QString reason;
    try {
        if (!document->load(entry.projectFile))
            reason = QCoreApplication::translate("RecoveryStore", "Can't open %1").arg(entry.projectFile);
    } catch (const Error& error) {
        reason = error.message();
    }
    if (!reason.isEmpty()) {
        if (problem)
            *problem = reason;
        return nullptr;
    }
    document->setModified(true);
    return document;
}

void RecoveryStore::discard(Entry& entry)
{
    const QDir dir(QFileInfo(entry.projectFile).absolutePath());
    QFile::remove(dir.filePath(entry.id + sidecarSuffix));
    QFile::remove(entry.projectFile);
    if (entry.lock)
        entry.lock->unlock();
    entry.lock.reset();
}
