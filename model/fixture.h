#pragma once

#include "genericdataprovider.h"

#include <QObject>

class Element;
class Exporter;
class QDataStream;

// A collision part of a body. Physics parameters are ordinary values.
class Fixture : public QObject, public GenericDataProvider
{
    Q_OBJECT
public:
    explicit Fixture(Element* body);
    ~Fixture() override;

    Element* body() const { return m_body; }
    Exporter* exporter() const { return m_exporter; }
    void setExporter(Exporter* exporter) { m_exporter = exporter; }

    // Writes the fixture section: header, values, then the shape section.
    virtual void save(QDataStream& stream) const;
    virtual void readShape(QDataStream& stream) = 0;
    virtual QChar typeChar() const = 0;
    // What templates read from a fixture.
    virtual QVariant lookup(const QString& name) const;

    // Reads a fixture section into a new fixture of `body`; throws Error.
    static Fixture* read(QDataStream& stream, Element* body);

    void notifyValueChanged() override;
    void pushUndoCommand(QUndoCommand* command) override;
    QVariant defaultValue(const QString& name) const override;
    QStringList sharedStringList(const QString& name) const override;
    void setSharedStringList(const QString& name, const QStringList& list) override;

protected:
    virtual void saveShape(QDataStream& stream) const = 0;

private:
    Element* m_body;
    Exporter* m_exporter;
};
