#pragma once

#include <QStringList>

// Names the operating system for statistics and feedback.
class SystemInquiry
{
public:
    virtual ~SystemInquiry();

    // The process-wide inquiry for this platform, created on first use.
    static SystemInquiry& instance();

    // Mail addresses of the user known to the system (none on Linux).
    virtual QStringList mailAddresses() const;
    virtual QString osName() const;
    // "<distribution> (<bits>)", for example "Debian GNU/Linux 12 (bookworm) (64)".
    virtual QString osVersion() const;

    // The PRETTY_NAME of an os-release file's contents, unquoted; empty if absent.
    static QString prettyNameFromOsRelease(const QByteArray& contents);
};
