#pragma once

#include <QString>
#include <QVariant>

// One parameter an exporter defines for the document, a body or a fixture.
class GenericParameter
{
public:
    QString name() const { return m_name; }
    QString type() const { return m_type; }
    QString displayName() const { return m_displayName; }
    QString description() const { return m_description; }
    QString shortDescription() const { return m_shortDescription; }
    QVariant minimum() const { return m_minimum; }
    QVariant maximum() const { return m_maximum; }
    QVariant defaultValue() const { return m_defaultValue; }
    bool isBitfield() const { return m_isBitfield; }
    int bitCount() const { return m_bitCount; }

private:
    friend class ExporterReader;

    QString m_name;
    QString m_type;
    QString m_displayName;
    QString m_description;
    QString m_shortDescription;
    QVariant m_minimum;
    QVariant m_maximum;
    QVariant m_defaultValue;
    bool m_isBitfield = false;
    int m_bitCount = 0;
};
