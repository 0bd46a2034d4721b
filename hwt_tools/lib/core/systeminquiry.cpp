#include "systeminquiry.h"

#include <QFile>
#include <QSysInfo>

SystemInquiry::~SystemInquiry() = default;

SystemInquiry& SystemInquiry::instance()
{
    static SystemInquiry* inquiry = new SystemInquiry;
    return *inquiry;
}

QStringList SystemInquiry::mailAddresses() const
{
    return {};
}

QString SystemInquiry::osName() const
{
    return QStringLiteral("Linux");
}

QString SystemInquiry::osVersion() const
{
    QString name;
    for (const char* path : {"/etc/os-release", "/usr/lib/os-release"}) {
        QFile file(QString::fromLatin1(path));
        if (file.open(QIODevice::ReadOnly)) {
            name = prettyNameFromOsRelease(file.read(64 * 1024));
            if (!name.isEmpty())
                break;
        }
    }
    if (name.isEmpty())
        name = QStringLiteral("<unknown>");
    const QString architecture = QSysInfo::currentCpuArchitecture();
    const bool is64 = architecture.contains(QLatin1String("64")) || architecture == QLatin1String("s390x");
    return QStringLiteral("%1 (%2)").arg(name, is64 ? QStringLiteral("64") : QStringLiteral("32"));
}

QString SystemInquiry::prettyNameFromOsRelease(const QByteArray& contents)
{
    const QList<QByteArray> lines = contents.split('\n');
    for (const QByteArray& rawLine : lines) {
        const QByteArray line = rawLine.trimmed();
        if (!line.startsWith("PRETTY_NAME="))
            continue;
        QByteArray value = line.mid(int(qstrlen("PRETTY_NAME=")));
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
            value = value.mid(1, value.size() - 2);
        value.replace("\\\"", "\"");
        return QString::fromUtf8(value).trimmed();
    }
    return {};
}
