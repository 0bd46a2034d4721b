#pragma once

#include <QString>

// The exception the readers of project files and exporter definitions throw.
// Codes: 5 project file, 45 exporter definition cannot be read, 46 invalid definition.
class Error
{
public:
    enum Code { ProjectFile = 5, ExporterFile = 45, ExporterDefinition = 46 };

    Error(int code, const QString& message);

    int code() const { return m_code; }
    QString message() const { return m_message; }

private:
    int m_code;
    QString m_message;
};
