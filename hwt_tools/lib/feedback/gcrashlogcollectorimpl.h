#pragma once

#include <QDateTime>
#include <QStringList>

#include <memory>

// Finds the crash logs that earlier runs left behind.
class GCrashLogCollectorImpl
{
public:
    virtual ~GCrashLogCollectorImpl();
    // The logs written after `since` (all of them when it is invalid), oldest first.
    virtual QStringList crashLogs(const QDateTime& since) const = 0;

    // The collector of this platform.
    static std::unique_ptr<GCrashLogCollectorImpl> create();
};

// For platforms that keep no crash logs: there never are any.
class GCrashLogCollectorImplDummy final : public GCrashLogCollectorImpl
{
public:
    QStringList crashLogs(const QDateTime& since) const override;
};

// Reads the logs the crash handler writes into a directory.
class GCrashLogCollectorImplFile final : public GCrashLogCollectorImpl
{
public:
    // At most this many of the newest logs are returned, each cut to this size.
    static constexpr int maximumLogs = 10;
    static constexpr qint64 maximumLogSize = 256 * 1024;

    explicit GCrashLogCollectorImplFile(const QString& directory);
    QStringList crashLogs(const QDateTime& since) const override;

private:
    QString m_directory;
};
