#include "exporterreader.h"

#include "error.h"
#include "exporter.h"
#include "genericparameter.h"

#include <QDomDocument>
#include <QFile>
#include <QFileInfo>
#include <QXmlStreamReader>
#include <QtMath>

namespace {

// Custom entities are refused: a few declarations referenced many times expand
// a small file into gigabytes of text.
bool declaresEntities(const QXmlStreamReader& reader)
{
    return !reader.entityDeclarations().isEmpty() || reader.text().contains(QLatin1String("<!ENTITY"));
}

// A decimal number in the C locale; 0.0 when the text is no finite number
// (downstream geometry must never see NaN or infinity).
double finiteOrZero(const QString& text)
{
    bool ok = false;
    const double value = text.toDouble(&ok);
    return ok && qIsFinite(value) ? value : 0.0;
}

// An empty text gives an invalid variant (no limit, no default); anything
// else a float, 0.0f when it is not a finite number.
QVariant floatVariant(const QString& text)
{
    if (text.isEmpty())
        return QVariant();
    bool ok = false;
    const float value = text.toFloat(&ok);
    return QVariant(ok && qIsFinite(value) ? value : 0.0f);
}

QVariant intVariant(const QString& text)
{
    return QVariant(text.toInt(nullptr, 10));
}

QVariant uintVariant(const QString& text)
{
    return QVariant(text.toUInt(nullptr, 10));
}

// 16-bit values (collision categories and masks) keep the low 16 bits of
// whatever was written.
QVariant uint16Variant(const QString& text)
{
    return QVariant(static_cast<int>(text.toUInt(nullptr, 10) & 0xFFFFu));
}

}

ExporterReader::ExporterReader(Exporter& exporter, const QString& filePath)
    : m_exporter(exporter)
    , m_filePath(filePath)
{
}

void ExporterReader::read()
{
    const QDomDocument document = load();
    // Without an "exporter" root every setting reads as empty text, so the
    // y axis direction is the first thing reported.
    const QDomElement root = document.firstChildElement(QStringLiteral("exporter"));

    m_exporter.m_name = text(root, QStringLiteral("name"));
    m_exporter.m_displayName = text(root, QStringLiteral("displayName"));
    m_exporter.m_description = text(root, QStringLiteral("description"));
    m_exporter.m_version = text(root, QStringLiteral("version"));

    const QString direction = text(root, QStringLiteral("yAxisDirection")).toLower();
    if (direction == QLatin1String("down"))
        m_exporter.m_yAxisDirection = Exporter::Down;
    else if (direction == QLatin1String("up"))
        m_exporter.m_yAxisDirection = Exporter::Up;
    else
        fail(QStringLiteral("yAxisDirection: %1. Supported directions are: up, down. EngineFile: %2")
                 .arg(direction, m_filePath));

    readAnchorPoint(root);
    m_exporter.m_supportsCircles = boolean(root, QStringLiteral("supportsCircles"), true);
    readOrigin(root);

    m_exporter.m_templateFile = text(root, QStringLiteral("template"));
    m_exporter.m_fileExtension = text(root, QStringLiteral("fileExtension"));

    readPhysicsEngine(root);

    readParameters(root, QStringLiteral("global"), m_exporter.m_globalParameters);
    readParameters(root, QStringLiteral("body"), m_exporter.m_bodyParameters);
    readParameters(root, QStringLiteral("fixture"), m_exporter.m_fixtureParameters);
    // Collision settings are edited per fixture, so they join the fixture list.
    readParameters(root, QStringLiteral("collision"), m_exporter.m_fixtureParameters);

    readPolygonOrientation(root);

    checkBitFieldRows(m_exporter.m_globalParameters);
    checkBitFieldRows(m_exporter.m_bodyParameters);
    checkBitFieldRows(m_exporter.m_fixtureParameters);
}

QDomDocument ExporterReader::load() const
{
    const QString cannotRead = QStringLiteral("Can't read %1");
    // Only regular files: a FIFO or a device would block or never end.
    if (!QFileInfo(m_filePath).isFile())
        throw Error(Error::ExporterFile, cannotRead.arg(m_filePath));
    QFile file(m_filePath);
    if (!file.open(QIODevice::ReadOnly))
        throw Error(Error::ExporterFile, cannotRead.arg(m_filePath));
    const QByteArray data = file.read(maximumFileSize + 1);
    if (data.size() > maximumFileSize) {
        throw Error(Error::ExporterFile, QStringLiteral("Can't read %1: larger than %2 bytes")
                                             .arg(m_filePath, QString::number(maximumFileSize)));
    }

    checkStructure(data);

    QXmlStreamReader reader(data);
    reader.setNamespaceProcessing(false);
    QDomDocument document;
    QString message;
    int line = 0;
    int column = 0;
    if (!document.setContent(&reader, false, &message, &line, &column)) {
        throw Error(Error::ExporterFile, QStringLiteral("Can't read %1: (%2,%3) %4")
                                             .arg(m_filePath, QString::number(line), QString::number(column), message));
    }
    return document;
}

// The document model recurses over nesting when it is built, read and
// destroyed, and expands entities without an overall bound, so hostile
// nesting and entity declarations are refused before it sees the data.
// Syntax errors are left to the document parse, which reports them.
void ExporterReader::checkStructure(const QByteArray& data) const
{
    QXmlStreamReader reader(data);
    reader.setNamespaceProcessing(false);
    int depth = 0;
    while (!reader.atEnd()) {
        QString problem;
        switch (reader.readNext()) {
        case QXmlStreamReader::StartElement:
            if (++depth > maximumDepth)
                problem = QStringLiteral("elements nested deeper than %1 levels").arg(maximumDepth);
            break;
        case QXmlStreamReader::EndElement:
            --depth;
            break;
        case QXmlStreamReader::DTD:
            if (declaresEntities(reader))
                problem = QStringLiteral("entity declarations are not supported");
            break;
        default:
            break;
        }
        if (!problem.isEmpty()) {
            throw Error(Error::ExporterFile,
                        QStringLiteral("Can't read %1: (%2,%3) %4")
                            .arg(m_filePath, QString::number(reader.lineNumber()),
                                 QString::number(reader.columnNumber()), problem));
        }
    }
}

void ExporterReader::readAnchorPoint(const QDomElement& exporterElement)
{
    const QDomElement anchorPoint = exporterElement.firstChildElement(QStringLiteral("anchorPoint"));
    m_exporter.m_anchorPointEnabled = boolean(anchorPoint, QStringLiteral("enabled"), true);
    m_exporter.m_anchorPointRelX = fraction(anchorPoint, QStringLiteral("relX"));
    m_exporter.m_anchorPointRelY = fraction(anchorPoint, QStringLiteral("relY"));
}

void ExporterReader::readOrigin(const QDomElement& exporterElement)
{
    const QDomElement origin = exporterElement.firstChildElement(QStringLiteral("origin"));
    const QString type = text(origin, QStringLiteral("type")).toLower();
    if (type == QLatin1String("anchorpoint"))
        m_exporter.m_originType = Exporter::AnchorPoint;
    else if (type == QLatin1String("fixed"))
        m_exporter.m_originType = Exporter::Fixed;
    else
        fail(QStringLiteral("origin type: %1. Supported types are: anchorpoint, fixed. EngineFile: %2")
                 .arg(type, m_filePath));
    m_exporter.m_originRelX = fraction(origin, QStringLiteral("relX"));
    m_exporter.m_originRelY = fraction(origin, QStringLiteral("relY"));
}

void ExporterReader::readPhysicsEngine(const QDomElement& exporterElement)
{
    const QString engine = text(exporterElement, QStringLiteral("physicsEngine")).toLower();
    m_exporter.m_physicsEngineName = engine;
    // Each engine has its own winding; the generic one leaves it to the template.
    if (engine == QLatin1String("generic")) {
        m_exporter.m_engine = Exporter::Generic;
        m_exporter.m_polygonOrientation = Exporter::Unspecified;
    } else if (engine == QLatin1String("box2d")) {
        m_exporter.m_engine = Exporter::Box2D;
        m_exporter.m_polygonOrientation = Exporter::CounterClockwise;
    } else if (engine == QLatin1String("chipmunk")) {
        m_exporter.m_engine = Exporter::Chipmunk;
        m_exporter.m_polygonOrientation = Exporter::Clockwise;
    } else {
        fail(QStringLiteral("Phsics engine not supported: %1. Supported engines are: box2d, chipmunk, generic. "
                            "EngineFile: %2")
                 .arg(engine, m_filePath));
    }
}

void ExporterReader::readPolygonOrientation(const QDomElement& exporterElement)
{
    const QString orientation = text(exporterElement, QStringLiteral("polygonOrientation")).toLower();
    if (orientation.isEmpty())
        return;
    if (orientation == QLatin1String("cw"))
        m_exporter.m_polygonOrientation = Exporter::Clockwise;
    else if (orientation == QLatin1String("ccw"))
        m_exporter.m_polygonOrientation = Exporter::CounterClockwise;
    else
        fail(QStringLiteral("polygonOrientation: %1. Supported directions are: cw, ccw. EngineFile: %2")
                 .arg(orientation, m_filePath));
}

void ExporterReader::readParameters(const QDomElement& exporterElement, const QString& listName,
                                    ParameterList& list) const
{
    const QDomElement listElement = exporterElement.firstChildElement(listName);
    const QString parameterTag = QStringLiteral("parameter");
    for (QDomElement element = listElement.firstChildElement(parameterTag); !element.isNull();
         element = element.nextSiblingElement(parameterTag)) {
        list.push_back(readParameter(element));
    }
}

std::unique_ptr<GenericParameter> ExporterReader::readParameter(const QDomElement& element) const
{
    auto parameter = std::make_unique<GenericParameter>();
    parameter->m_name = text(element, QStringLiteral("name"));
    parameter->m_displayName = text(element, QStringLiteral("displayName"));
    parameter->m_description = text(element, QStringLiteral("description"));
    parameter->m_shortDescription = text(element, QStringLiteral("shortDescription"));
    parameter->m_type = text(element, QStringLiteral("type"));

    const QString& type = parameter->m_type;
    const QString minimum = QStringLiteral("min");
    const QString maximum = QStringLiteral("max");
    const QString defaultValue = QStringLiteral("default");
    const QString bitfield = QStringLiteral("bitfield");

    // Type names are compared exactly: templates switch on them as written.
    if (type == QLatin1String("float")) {
        parameter->m_minimum = floatVariant(text(element, minimum));
        parameter->m_maximum = floatVariant(text(element, maximum));
        parameter->m_defaultValue = floatVariant(text(element, defaultValue));
    } else if (type == QLatin1String("bool")) {
        parameter->m_defaultValue = QVariant(boolean(element, defaultValue, false));
    } else if (type == QLatin1String("int") || type == QLatin1String("uint") || type == QLatin1String("uint16")) {
        QVariant (*convert)(const QString&) = intVariant;
        if (type == QLatin1String("uint"))
            convert = uintVariant;
        else if (type == QLatin1String("uint16"))
            convert = uint16Variant;
        parameter->m_minimum = convert(text(element, minimum));
        parameter->m_maximum = convert(text(element, maximum));
        parameter->m_defaultValue = convert(text(element, defaultValue));
        parameter->m_isBitfield = boolean(element, bitfield, false);
    } else if (type == QLatin1String("bitfield")) {
        parameter->m_isBitfield = true;
        // The bit count sizes editors and loops over bits: a hostile value must
        // neither go negative nor ask for more bits than a 64-bit field holds.
        parameter->m_bitCount = qBound(0, text(element, QStringLiteral("size")).toInt(nullptr, 10), 64);
    } else if (type == QLatin1String("string")) {
        parameter->m_defaultValue = QVariant(text(element, defaultValue));
    } else {
        fail(QStringLiteral("Exporter %1: Unsupported custom value type %2 for %3")
                 .arg(m_exporter.m_displayName, type, parameter->m_name));
    }
    return parameter;
}

// A parameter flagged as a bit-field row becomes a row of the last "bitfield"
// parameter before it in its list (collision parameters being part of the
// fixture list). One with none before it is never shown, so only its default
// is ever published: the author has to hear of it.
void ExporterReader::checkBitFieldRows(const ParameterList& list)
{
    bool bitFieldSeen = false;
    for (const auto& parameter : list) {
        if (parameter->m_type == QLatin1String("bitfield")) {
            bitFieldSeen = true;
        } else if (parameter->m_isBitfield && !bitFieldSeen) {
            m_exporter.m_warnings.append(QStringLiteral("Exporter %1: the bit-field row %2 has no bit field before it")
                                             .arg(m_exporter.m_displayName, parameter->m_name));
        }
    }
}

bool ExporterReader::boolean(const QDomElement& parent, const QString& name, bool defaultValue) const
{
    const QString value = text(parent, name).toLower();
    if (value.isEmpty())
        return defaultValue;
    if (value == QLatin1String("yes") || value == QLatin1String("true") || value == QLatin1String("1"))
        return true;
    if (value == QLatin1String("no") || value == QLatin1String("false") || value == QLatin1String("0"))
        return false;
    fail(QStringLiteral("Exporter %1: Value for %2 (%3) must be true/false").arg(m_exporter.m_displayName, name, value));
}

void ExporterReader::fail(const QString& message) const
{
    throw Error(Error::ExporterDefinition, message);
}

QString ExporterReader::text(const QDomElement& parent, const QString& name)
{
    return parent.firstChildElement(name).text();
}

double ExporterReader::fraction(const QDomElement& parent, const QString& name)
{
    return finiteOrZero(text(parent, name));
}
