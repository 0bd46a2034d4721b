#include "fixture.h"

#include "element.h"
#include "error.h"
#include "exporter.h"
#include "fixturecircle.h"
#include "fixturepolygon.h"
#include "streamio.h"

#include <QCoreApplication>

namespace {
constexpr qint32 fixtureTag = StreamIO::tag("FIXT");
constexpr qint32 fixtureVersion = 4;

Fixture* createFixture(QChar type, Element* body, bool circlesAllowed)
{
    if (type == QLatin1Char('P'))
        return new FixturePolygon(body);
    if (type == QLatin1Char('C') && circlesAllowed)
        return new FixtureCircle(body);
    throw Error(Error::ProjectFile,
                QCoreApplication::translate("ProjectFile", "Can't read file: Unknown fixture type %1")
                    .arg(type.isPrint() ? QString(type) : QStringLiteral("U+%1").arg(type.unicode(), 4, 16,
                                                                                     QLatin1Char('0'))));
}
}

Fixture::Fixture(Element* body)
    : m_body(body)
    , m_exporter(body ? body->exporter() : nullptr)
{
}

Fixture::~Fixture() = default;

void Fixture::notifyValueChanged()
{
    if (m_body)
        m_body->notifyValueChanged();
}

void Fixture::pushUndoCommand(QUndoCommand* command)
{
    m_body->pushUndoCommand(command);
}

QVariant Fixture::defaultValue(const QString& name) const
{
    return m_exporter ? m_exporter->fixtureDefault(name) : QVariant();
}

QStringList Fixture::sharedStringList(const QString& name) const
{
    return m_body ? m_body->sharedStringList(name) : QStringList();
}

void Fixture::setSharedStringList(const QString& name, const QStringList& list)
{
    if (m_body)
        m_body->setSharedStringList(name, list);
}

QVariant Fixture::lookup(const QString& name) const
{
    if (name == QLatin1String("isPolygon"))
        return typeChar() == QLatin1Char('P');
    if (name == QLatin1String("isCircle"))
        return typeChar() == QLatin1Char('C');
    return value(name);
}

void Fixture::save(QDataStream& stream) const
{
    stream << fixtureTag << fixtureVersion << typeChar() << values();
    saveShape(stream);
}

Fixture* Fixture::read(QDataStream& stream, Element* body)
{
    const qint32 version = StreamIO::readVersion(stream, fixtureTag);
    if (version < 1 || version > fixtureVersion)
        throw Error(Error::ProjectFile, QCoreApplication::translate("ProjectFile",
                                                                    "Can't read file: Fixture section version is %1")
                                            .arg(version));
    QChar type;
    stream >> type;
    StreamIO::checkStatus(stream);
    std::unique_ptr<Fixture> fixture(createFixture(type, body, version == 4));
    // Reading is not an edit: nothing goes onto the undo stack.
    UndoRecordingPause pause(fixture.get());

    if (version == 4) {
        fixture->setValues(StreamIO::readValueMap(stream));
    } else {
        quint16 categoryBits = 0;
        quint16 maskBits = 0;
        qint16 groupIndex = 0;
        stream >> categoryBits >> maskBits >> groupIndex;
        fixture->setValue(QStringLiteral("filter_categoryBits"), int(categoryBits));
        fixture->setValue(QStringLiteral("filter_maskBits"), int(maskBits));
        fixture->setValue(QStringLiteral("filter_groupIndex"), int(groupIndex));
        if (version >= 2) {
            float density = 0;
            float restitution = 0;
            float friction = 0;
            bool isSensor = false;
            stream >> density >> restitution >> friction >> isSensor;
            fixture->setValue(QStringLiteral("density"), density);
            fixture->setValue(QStringLiteral("restitution"), restitution);
            fixture->setValue(QStringLiteral("friction"), friction);
            fixture->setValue(QStringLiteral("isSensor"), isSensor);
        }
        if (version == 3) {
            qint32 cbValue = 0;
            stream >> cbValue;
            fixture->setValue(QStringLiteral("cbValue"), int(cbValue));
        }
        StreamIO::checkStatus(stream);
    }
    fixture->readShape(stream);
    return fixture.release();
}
