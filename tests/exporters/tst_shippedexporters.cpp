#include "element.h"
#include "elementlistmodel.h"
#include "error.h"
#include "exporter.h"
#include "fixturecircle.h"
#include "fixturepolygon.h"
#include "genericparameter.h"
#include "publisher.h"
#include "templatelookups.h"
#include "testsupport.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QPolygonF>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtMath>
#include <QtTest>

#include <cmath>
#include <map>
#include <memory>

Q_DECLARE_METATYPE(Exporter::YAxisDirection)
Q_DECLARE_METATYPE(Exporter::OriginType)
Q_DECLARE_METATYPE(Exporter::PhysicsEngine)
Q_DECLARE_METATYPE(Exporter::PolygonOrientation)

namespace {

const QStringList shippedNames{QStringLiteral("box2d-json"), QStringLiteral("chipmunk-json"),
                               QStringLiteral("generic-json"), QStringLiteral("generic-xml")};

// Everything a name or a text parameter can hold that JSON or XML must escape,
// plus characters outside the Basic Multilingual Plane and a control character.
const QString trickyText = QStringLiteral("Say \"hi\" \\ 'it' <b>&amp;</b> > é 漢 😀\tTab\nLine\rCR \x01 end");

// XML 1.0 cannot carry U+0001 at all, so the XML exporter drops it.
QString xmlReadable(const QString& text)
{
    QString kept = text;
    kept.remove(QChar(0x01));
    return kept;
}

// The main test body: a 100 x 50 image with its anchor point at (30, 20).
constexpr int imageWidth = 100;
constexpr int imageHeight = 50;
const QPointF anchor(30, 20);

// Body coordinates: pixels, y up, origin at the image's bottom-left corner.
const QPolygonF ell({{0, 0}, {60, 0}, {60, 12}, {16, 12}, {16, 50}, {0, 50}});
const QPolygonF square({{70, 5}, {90, 5}, {90, 25}, {70, 25}});
const QPointF circleCenter(80, 38);
constexpr double circleRadius = 9;

QPolygonF star(const QPointF& center, double outer, double inner)
{
    QPolygonF points;
    for (int i = 0; i < 10; ++i) {
        const double angle = M_PI / 2 + i * M_PI / 5;
        const double radius = i % 2 ? inner : outer;
        points << center + QPointF(radius * std::cos(angle), radius * std::sin(angle));
    }
    return points;
}

// Twice the signed area: positive when the vertices run counter-clockwise
// with the y axis up.
double doubleArea(const QPolygonF& polygon)
{
    double sum = 0;
    for (int i = 0; i < polygon.size(); ++i) {
        const QPointF& a = polygon.at(i);
        const QPointF& b = polygon.at((i + 1) % polygon.size());
        sum += a.x() * b.y() - b.x() * a.y();
    }
    return sum;
}

QPointF centroid(const QPolygonF& polygon)
{
    double cx = 0;
    double cy = 0;
    for (int i = 0; i < polygon.size(); ++i) {
        const QPointF& a = polygon.at(i);
        const QPointF& b = polygon.at((i + 1) % polygon.size());
        const double cross = a.x() * b.y() - b.x() * a.y();
        cx += (a.x() + b.x()) * cross;
        cy += (a.y() + b.y()) * cross;
    }
    const double area6 = 3 * doubleArea(polygon);
    return QPointF(cx / area6, cy / area6);
}

// Strictly convex: every corner turns the same way.
bool isConvex(const QPolygonF& polygon)
{
    const int n = polygon.size();
    int sign = 0;
    for (int i = 0; i < n; ++i) {
        const QPointF a = polygon.at(i);
        const QPointF b = polygon.at((i + 1) % n);
        const QPointF c = polygon.at((i + 2) % n);
        const double turn = (b.x() - a.x()) * (c.y() - b.y()) - (b.y() - a.y()) * (c.x() - b.x());
        const int s = turn > 1e-9 ? 1 : (turn < -1e-9 ? -1 : 0);
        if (s == 0 || (sign != 0 && s != sign))
            return false;
        sign = s;
    }
    return true;
}

bool samePoint(const QPointF& a, const QPointF& b)
{
    return std::abs(a.x() - b.x()) < 1e-6 && std::abs(a.y() - b.y()) < 1e-6;
}

// The same closed outline, whatever vertex it starts at and in either direction.
bool sameCycle(const QPolygonF& a, const QPolygonF& b)
{
    const int n = a.size();
    if (n != b.size())
        return false;
    for (int start = 0; start < n; ++start) {
        for (int step : {1, -1}) {
            bool equal = true;
            for (int i = 0; i < n && equal; ++i)
                equal = samePoint(a.at(i), b.at(((start + step * i) % n + n) % n));
            if (equal)
                return true;
        }
    }
    return false;
}

QPointF toPoint(const QJsonValue& value)
{
    const QJsonArray pair = value.toArray();
    return QPointF(pair.at(0).toDouble(qQNaN()), pair.at(1).toDouble(qQNaN()));
}

QPolygonF toPolygon(const QJsonValue& value)
{
    QPolygonF polygon;
    const QJsonArray points = value.toArray();
    for (const QJsonValue& point : points)
        polygon << toPoint(point);
    return polygon;
}

QList<QPolygonF> toPieces(const QJsonValue& value)
{
    QList<QPolygonF> pieces;
    const QJsonArray array = value.toArray();
    for (const QJsonValue& piece : array)
        pieces << toPolygon(piece);
    return pieces;
}

// A value by its path: "ptm", "metadata/version", "filter/maskBits".
QByteArray jsonText(const QJsonValue& value)
{
    return QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
}

QJsonValue at(const QJsonObject& object, const QString& path)
{
    const QStringList keys = path.split(QLatin1Char('/'));
    QJsonValue value = object;
    for (const QString& key : keys) {
        if (!value.isObject() || !value.toObject().contains(key))
            return QJsonValue(QJsonValue::Undefined);
        value = value.toObject().value(key);
    }
    return value;
}

// Reads the generic XML format into the same shape as the generic JSON
// format, so that both are checked by the same code. Fails on any XML error
// and on any number that does not read as one.
class XmlToJson
{
public:
    explicit XmlToJson(const QByteArray& data)
        : m_reader(data)
    {
    }

    QJsonObject read()
    {
        QJsonObject document;
        if (m_reader.readNextStartElement()) {
            if (m_reader.name() != QLatin1String("bodies"))
                fail(QStringLiteral("root element is %1").arg(m_reader.name().toString()));
            document.insert(QStringLiteral("metadata"),
                            QJsonObject{{QStringLiteral("format"), attribute(QStringLiteral("format"))},
                                        {QStringLiteral("version"), attribute(QStringLiteral("version"))}});
            QJsonArray bodies;
            while (m_reader.readNextStartElement()) {
                if (m_reader.name() == QLatin1String("body"))
                    bodies << readBody();
                else
                    unexpected();
            }
            document.insert(QStringLiteral("bodies"), bodies);
        }
        // Reads to the end, so that anything after the root is an error too.
        while (!m_reader.atEnd())
            m_reader.readNext();
        if (m_reader.hasError())
            fail(QStringLiteral("line %1: %2").arg(m_reader.lineNumber()).arg(m_reader.errorString()));
        return document;
    }

    QString error() const { return m_error; }

private:
    QJsonObject readBody()
    {
        QJsonObject body{
            {QStringLiteral("name"), attribute(QStringLiteral("name"))},
            {QStringLiteral("size"), QJsonObject{{QStringLiteral("width"), number(QStringLiteral("width"))},
                                                 {QStringLiteral("height"), number(QStringLiteral("height"))}}}};
        while (m_reader.readNextStartElement()) {
            if (m_reader.name() == QLatin1String("anchorPoint")) {
                body.insert(QStringLiteral("anchorPoint"),
                            QJsonArray{number(QStringLiteral("x")), number(QStringLiteral("y"))});
                body.insert(QStringLiteral("anchorPointRel"),
                            QJsonArray{number(QStringLiteral("relX")), number(QStringLiteral("relY"))});
                m_reader.skipCurrentElement();
            } else if (m_reader.name() == QLatin1String("userData")) {
                body.insert(QStringLiteral("userData"), m_reader.readElementText());
            } else if (m_reader.name() == QLatin1String("fixtures")) {
                QJsonArray fixtures;
                while (m_reader.readNextStartElement()) {
                    if (m_reader.name() == QLatin1String("fixture"))
                        fixtures << readFixture();
                    else
                        unexpected();
                }
                body.insert(QStringLiteral("fixtures"), fixtures);
            } else {
                unexpected();
            }
        }
        return body;
    }

    QJsonObject readFixture()
    {
        QJsonObject fixture{{QStringLiteral("type"), attribute(QStringLiteral("type"))},
                            {QStringLiteral("density"), number(QStringLiteral("density"))},
                            {QStringLiteral("friction"), number(QStringLiteral("friction"))},
                            {QStringLiteral("restitution"), number(QStringLiteral("restitution"))},
                            {QStringLiteral("isSensor"), boolean(QStringLiteral("isSensor"))}};
        while (m_reader.readNextStartElement()) {
            if (m_reader.name() == QLatin1String("userData")) {
                fixture.insert(QStringLiteral("userData"), m_reader.readElementText());
            } else if (m_reader.name() == QLatin1String("circle")) {
                fixture.insert(QStringLiteral("circle"),
                               QJsonObject{{QStringLiteral("center"),
                                            QJsonArray{number(QStringLiteral("x")), number(QStringLiteral("y"))}},
                                           {QStringLiteral("radius"), number(QStringLiteral("radius"))}});
                m_reader.skipCurrentElement();
            } else if (m_reader.name() == QLatin1String("hull")) {
                fixture.insert(QStringLiteral("hull"), readPoints());
            } else if (m_reader.name() == QLatin1String("polygons")) {
                QJsonArray pieces;
                while (m_reader.readNextStartElement()) {
                    if (m_reader.name() == QLatin1String("polygon"))
                        pieces << readPoints();
                    else
                        unexpected();
                }
                fixture.insert(QStringLiteral("polygons"), pieces);
            } else {
                unexpected();
            }
        }
        return fixture;
    }

    QJsonArray readPoints()
    {
        QJsonArray points;
        while (m_reader.readNextStartElement()) {
            if (m_reader.name() == QLatin1String("point")) {
                points << QJsonArray{number(QStringLiteral("x")), number(QStringLiteral("y"))};
                m_reader.skipCurrentElement();
            } else {
                unexpected();
            }
        }
        return points;
    }

    QString attribute(const QString& name)
    {
        if (!m_reader.attributes().hasAttribute(name))
            fail(QStringLiteral("<%1> has no attribute %2").arg(m_reader.name().toString(), name));
        return m_reader.attributes().value(name).toString();
    }

    double number(const QString& name)
    {
        bool ok = false;
        const QString text = attribute(name);
        const double value = text.toDouble(&ok);
        if (!ok)
            fail(QStringLiteral("%1=\"%2\" is not a number").arg(name, text));
        return value;
    }

    bool boolean(const QString& name)
    {
        const QString text = attribute(name);
        if (text != QLatin1String("true") && text != QLatin1String("false"))
            fail(QStringLiteral("%1=\"%2\" is not true or false").arg(name, text));
        return text == QLatin1String("true");
    }

    void unexpected()
    {
        fail(QStringLiteral("unexpected element <%1>").arg(m_reader.name().toString()));
        m_reader.skipCurrentElement();
    }

    void fail(const QString& message)
    {
        if (m_error.isEmpty())
            m_error = message;
    }

    QXmlStreamReader m_reader;
    QString m_error;
};

QString exporterDirectory()
{
    // The sources, so that the definitions are checked as they are in the
    // repository; the copy next to the programs when the sources are not there.
    const QString sources =
        QDir::cleanPath(QFileInfo(QStringLiteral(__FILE__)).absolutePath() + QStringLiteral("/../../exporters"));
    if (QFileInfo(sources + QStringLiteral("/box2d-json/exporter.xml")).isFile())
        return sources;
    return QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../bin/exporters"));
}

struct Published
{
    QJsonObject document;
    QString error;
    QStringList undecomposable;
    QStringList messages;
};

}

class TestShippedExporters : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    // Definitions.
    void everyExporterReads_data();
    void everyExporterReads();
    void shippedSettings_data();
    void shippedSettings();
    void buildCopiesMatchTheSources();

    // Published files.
    void publishedFileParses_data();
    void publishedFileParses();
    void textsRoundTrip_data();
    void textsRoundTrip();
    void anchorPointAndSize_data();
    void anchorPointAndSize();
    void polygonsAndCircles_data();
    void polygonsAndCircles();
    void genericOriginIsTheTopLeftCorner_data();
    void genericOriginIsTheTopLeftCorner();
    void starIsCutIntoSmallConvexPieces_data();
    void starIsCutIntoSmallConvexPieces();
    void defaultsArePublished_data();
    void defaultsArePublished();
    void storedValuesArePublished_data();
    void storedValuesArePublished();
    void emptyDocumentHasNoBodies_data();
    void emptyDocumentHasNoBodies();
    void bodyWithoutFixturesHasNoFixtures_data();
    void bodyWithoutFixturesHasNoFixtures();

private:
    void addExporterRows();
    Exporter* exporter(const QString& name) const;
    // Bodies: 0 the tricky one (L, square, circle), 1 a star, 2 one without fixtures.
    void fillDocument(ElementListModel& document) const;
    Published publish(ElementListModel& document, const QString& exporterName) const;
    Published publishFull(const QString& exporterName) const;

    std::unique_ptr<QTemporaryDir> m_dir;
    std::map<QString, std::unique_ptr<Exporter>> m_exporters;
    QString m_image;
};

void TestShippedExporters::initTestCase()
{
    registerTemplateLookups();
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());

    QImage image(imageWidth, imageHeight, QImage::Format_ARGB32);
    image.fill(QColor(90, 140, 200, 255));
    m_image = m_dir->filePath(QStringLiteral("sprite.png"));
    QVERIFY(image.save(m_image, "PNG"));

    const QDir directory(exporterDirectory());
    QVERIFY2(directory.exists(), qPrintable(directory.path()));
    const QStringList subdirectories = directory.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& name : subdirectories) {
        if (!QFileInfo(directory.filePath(name + QStringLiteral("/exporter.xml"))).isFile())
            continue;
        try {
            m_exporters[name] = std::make_unique<Exporter>(directory.filePath(name));
        } catch (const Error& e) {
            // Reported by everyExporterReads.
            qWarning().noquote() << name << e.message();
        }
    }
}

void TestShippedExporters::addExporterRows()
{
    QTest::addColumn<QString>("exporterName");
    for (const QString& name : shippedNames)
        QTest::newRow(qPrintable(name)) << name;
}

Exporter* TestShippedExporters::exporter(const QString& name) const
{
    const auto found = m_exporters.find(name);
    return found == m_exporters.end() ? nullptr : found->second.get();
}

void TestShippedExporters::fillDocument(ElementListModel& document) const
{
    Element* tricky = document.addFile(m_image);
    tricky->setName(trickyText);
    tricky->setAnchorPointAbsDirect(anchor);
    tricky->setValueDirect(QStringLiteral("userData"), trickyText);
    auto* polygon = new FixturePolygon(tricky);
    polygon->setPolygonDirect(ell);
    polygon->setValueDirect(QStringLiteral("userData"), trickyText);
    tricky->addFixture(polygon);
    auto* box = new FixturePolygon(tricky);
    box->setPolygonDirect(square);
    tricky->addFixture(box);
    if (document.exporter()->supportsCircles()) {
        auto* circle = new FixtureCircle(tricky);
        circle->setCircleDirect(circleCenter, circleRadius);
        tricky->addFixture(circle);
    }

    Element* starBody = document.addFile(m_image);
    starBody->setName(QStringLiteral("star"));
    starBody->setAnchorPointAbsDirect(QPointF(50, 25));
    auto* starFixture = new FixturePolygon(starBody);
    starFixture->setPolygonDirect(star(QPointF(50, 25), 24, 10));
    starBody->addFixture(starFixture);

    Element* bare = document.addFile(m_image);
    bare->setName(QStringLiteral("no fixtures"));
}

Published TestShippedExporters::publish(ElementListModel& document, const QString& exporterName) const
{
    Published published;
    const Exporter* definition = exporter(exporterName);
    if (!definition) {
        published.error = QStringLiteral("exporter %1 did not read").arg(exporterName);
        return published;
    }
    const QString fileName = m_dir->filePath(exporterName + QStringLiteral(".") + definition->fileExtension());
    QFile::remove(fileName);

    RecordingReporter reporter;
    const Publisher::Result result = Publisher::publish(document, fileName);
    for (const RecordingReporter::Entry& entry : qAsConst(reporter.entries))
        published.messages << entry.title + QStringLiteral(": ") + entry.text;
    published.undecomposable = result.undecomposable;
    if (!result.written) {
        published.error = QStringLiteral("not written: ") + published.messages.join(QLatin1Char('\n'));
        return published;
    }

    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        published.error = file.errorString();
        return published;
    }
    const QByteArray data = file.readAll();
    if (definition->fileExtension() == QLatin1String("xml")) {
        XmlToJson reader(data);
        published.document = reader.read();
        published.error = reader.error();
    } else {
        QJsonParseError error;
        const QJsonDocument json = QJsonDocument::fromJson(data, &error);
        if (error.error != QJsonParseError::NoError)
            published.error = QStringLiteral("offset %1: %2").arg(error.offset).arg(error.errorString());
        else if (!json.isObject())
            published.error = QStringLiteral("not a JSON object");
        published.document = json.object();
    }
    if (!published.error.isEmpty())
        published.error += QStringLiteral("\n") + QString::fromUtf8(data);
    return published;
}

Published TestShippedExporters::publishFull(const QString& exporterName) const
{
    ElementListModel document;
    document.setExporter(exporter(exporterName));
    if (!document.exporter())
        return Published{{}, QStringLiteral("exporter %1 did not read").arg(exporterName), {}, {}};
    fillDocument(document);
    return publish(document, exporterName);
}

// ---------------------------------------------------------------------------
// Definitions

void TestShippedExporters::everyExporterReads_data()
{
    QTest::addColumn<QString>("directory");
    const QDir directory(exporterDirectory());
    const QStringList subdirectories = directory.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& name : subdirectories) {
        if (QFileInfo(directory.filePath(name + QStringLiteral("/exporter.xml"))).isFile())
            QTest::newRow(qPrintable(name)) << directory.filePath(name);
    }
}

void TestShippedExporters::everyExporterReads()
{
    QFETCH(QString, directory);
    std::unique_ptr<Exporter> definition;
    try {
        definition = std::make_unique<Exporter>(directory);
    } catch (const Error& e) {
        QFAIL(qPrintable(e.message()));
    }
    // The registry key is the directory name, so both must agree.
    QCOMPARE(definition->name(), QFileInfo(directory).fileName());
    QVERIFY(!definition->displayName().isEmpty());
    QVERIFY(!definition->description().isEmpty());
    QCOMPARE(definition->version(), QStringLiteral("1.0"));
    const QFileInfo templateFile(QDir(directory).filePath(definition->templateFile()));
    QVERIFY2(templateFile.isFile(), qPrintable(templateFile.filePath()));
    QCOMPARE(templateFile.suffix(), definition->fileExtension());

    QFile file(templateFile.filePath());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll()).trimmed();
    // Grantlee's own escaping is for HTML; the templates escape for their format.
    QVERIFY(text.startsWith(QLatin1String("{% autoescape off %}")));
    QVERIFY(text.endsWith(QLatin1String("{% endautoescape %}")));

    QList<const GenericParameter*> parameters = definition->globalParameters();
    parameters << definition->bodyParameters() << definition->fixtureParameters();
    for (const GenericParameter* parameter : qAsConst(parameters)) {
        QVERIFY2(!parameter->displayName().isEmpty(), qPrintable(parameter->name()));
        QVERIFY2(!parameter->shortDescription().isEmpty(), qPrintable(parameter->name()));
        QVERIFY2(!parameter->description().isEmpty(), qPrintable(parameter->name()));
        QVERIFY2(parameter->defaultValue().isValid(), qPrintable(parameter->name()));
    }
}

void TestShippedExporters::shippedSettings_data()
{
    QTest::addColumn<QString>("exporterName");
    QTest::addColumn<Exporter::PhysicsEngine>("engine");
    QTest::addColumn<Exporter::YAxisDirection>("yAxis");
    QTest::addColumn<Exporter::OriginType>("origin");
    QTest::addColumn<Exporter::PolygonOrientation>("orientation");
    QTest::addColumn<QString>("extension");

    QTest::newRow("box2d-json") << "box2d-json" << Exporter::Box2D << Exporter::Up << Exporter::AnchorPoint
                                << Exporter::CounterClockwise << "json";
    QTest::newRow("chipmunk-json") << "chipmunk-json" << Exporter::Chipmunk << Exporter::Up << Exporter::AnchorPoint
                                   << Exporter::Clockwise << "json";
    QTest::newRow("generic-json") << "generic-json" << Exporter::Generic << Exporter::Down << Exporter::Fixed
                                  << Exporter::Unspecified << "json";
    QTest::newRow("generic-xml") << "generic-xml" << Exporter::Generic << Exporter::Down << Exporter::Fixed
                                 << Exporter::Unspecified << "xml";
}

void TestShippedExporters::shippedSettings()
{
    QFETCH(QString, exporterName);
    QFETCH(Exporter::PhysicsEngine, engine);
    QFETCH(Exporter::YAxisDirection, yAxis);
    QFETCH(Exporter::OriginType, origin);
    QFETCH(Exporter::PolygonOrientation, orientation);
    QFETCH(QString, extension);

    const Exporter* definition = exporter(exporterName);
    QVERIFY2(definition, qPrintable(exporterName));
    QCOMPARE(definition->engine(), engine);
    QCOMPARE(definition->yAxisDirection(), yAxis);
    QCOMPARE(definition->originType(), origin);
    QCOMPARE(definition->originRelX(), 0.0);
    // The generic exporters' fixed origin is the top-left corner: the top edge in body coordinates.
    QCOMPARE(definition->originRelY(), origin == Exporter::Fixed ? 1.0 : 0.0);
    QCOMPARE(definition->polygonOrientation(), orientation);
    QCOMPARE(definition->fileExtension(), extension);
    QVERIFY(definition->supportsCircles());
    QVERIFY(definition->anchorPointEnabled());
}

void TestShippedExporters::buildCopiesMatchTheSources()
{
    const QDir sources(exporterDirectory());
    const QDir copies(QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../bin/exporters")));
    if (sources == copies || !copies.exists())
        QSKIP("no build copy of the exporters next to this test");
    for (const QString& name : shippedNames) {
        const QStringList files = QDir(sources.filePath(name)).entryList(QDir::Files);
        QVERIFY(!files.isEmpty());
        for (const QString& file : files) {
            QFile source(sources.filePath(name + QLatin1Char('/') + file));
            QFile copy(copies.filePath(name + QLatin1Char('/') + file));
            QVERIFY(source.open(QIODevice::ReadOnly));
            QVERIFY2(copy.open(QIODevice::ReadOnly), qPrintable(copy.fileName()));
            QVERIFY2(source.readAll() == copy.readAll(), qPrintable(copy.fileName()));
        }
    }
}

// ---------------------------------------------------------------------------
// Published files

void TestShippedExporters::publishedFileParses_data()
{
    addExporterRows();
}

void TestShippedExporters::publishedFileParses()
{
    QFETCH(QString, exporterName);
    const Published published = publishFull(exporterName);
    QVERIFY2(published.error.isEmpty(), qPrintable(published.error));
    QVERIFY2(published.messages.isEmpty(), qPrintable(published.messages.join(QLatin1Char('\n'))));
    QVERIFY(published.undecomposable.isEmpty());

    const QString engine = exporterName.section(QLatin1Char('-'), 0, 0);
    QCOMPARE(at(published.document, QStringLiteral("metadata/format")).toString(),
             QStringLiteral("hullwright-") + engine);
    QCOMPARE(at(published.document, QStringLiteral("metadata/version")).toString(), QStringLiteral("1.0"));
    const QJsonArray bodies = published.document.value(QStringLiteral("bodies")).toArray();
    QCOMPARE(bodies.size(), 3);
    QCOMPARE(bodies.at(1).toObject().value(QStringLiteral("name")).toString(), QStringLiteral("star"));
    QCOMPARE(bodies.at(2).toObject().value(QStringLiteral("name")).toString(), QStringLiteral("no fixtures"));

    const QJsonArray fixtures = bodies.at(0).toObject().value(QStringLiteral("fixtures")).toArray();
    QCOMPARE(fixtures.size(), 3);
    QCOMPARE(fixtures.at(0).toObject().value(QStringLiteral("type")).toString(), QStringLiteral("polygon"));
    QCOMPARE(fixtures.at(1).toObject().value(QStringLiteral("type")).toString(), QStringLiteral("polygon"));
    QCOMPARE(fixtures.at(2).toObject().value(QStringLiteral("type")).toString(), QStringLiteral("circle"));
}

void TestShippedExporters::textsRoundTrip_data()
{
    addExporterRows();
}

void TestShippedExporters::textsRoundTrip()
{
    QFETCH(QString, exporterName);
    const Published published = publishFull(exporterName);
    QVERIFY2(published.error.isEmpty(), qPrintable(published.error));

    const bool xml = exporterName.endsWith(QLatin1String("xml"));
    const QString expected = xml ? xmlReadable(trickyText) : trickyText;
    if (xml) {
        // Tab, newline and carriage return survive as character references.
        QVERIFY(expected.contains(QLatin1Char('\t')) && expected.contains(QLatin1Char('\r')));
        QVERIFY(!expected.contains(QChar(0x01)));
    }
    const QJsonObject body = published.document.value(QStringLiteral("bodies")).toArray().at(0).toObject();
    QCOMPARE(body.value(QStringLiteral("name")).toString(), expected);

    if (exporterName.startsWith(QLatin1String("generic"))) {
        QCOMPARE(body.value(QStringLiteral("userData")).toString(), expected);
        const QJsonArray fixtures = body.value(QStringLiteral("fixtures")).toArray();
        QCOMPARE(fixtures.at(0).toObject().value(QStringLiteral("userData")).toString(), expected);
        QCOMPARE(fixtures.at(1).toObject().value(QStringLiteral("userData")).toString(), QString());
    }
}

void TestShippedExporters::anchorPointAndSize_data()
{
    addExporterRows();
}

void TestShippedExporters::anchorPointAndSize()
{
    QFETCH(QString, exporterName);
    const Published published = publishFull(exporterName);
    QVERIFY2(published.error.isEmpty(), qPrintable(published.error));
    const QJsonObject body = published.document.value(QStringLiteral("bodies")).toArray().at(0).toObject();

    QCOMPARE(at(body, QStringLiteral("size/width")).toDouble(), double(imageWidth));
    QCOMPARE(at(body, QStringLiteral("size/height")).toDouble(), double(imageHeight));
    // With the y axis down the anchor point is measured from the top edge.
    const bool yDown = exporter(exporterName)->yAxisDirection() == Exporter::Down;
    const QPointF expected = yDown ? QPointF(anchor.x(), imageHeight - anchor.y()) : anchor;
    QCOMPARE(toPoint(body.value(QStringLiteral("anchorPoint"))), expected);
    QCOMPARE(toPoint(body.value(QStringLiteral("anchorPointRel"))),
             QPointF(expected.x() / imageWidth, expected.y() / imageHeight));
}

void TestShippedExporters::polygonsAndCircles_data()
{
    QTest::addColumn<QString>("exporterName");
    // +1: counter-clockwise with the y axis up (positive signed area); -1: clockwise.
    QTest::addColumn<int>("orientation");
    QTest::addColumn<bool>("hasHull");
    QTest::newRow("box2d-json") << "box2d-json" << 1 << false;
    QTest::newRow("chipmunk-json") << "chipmunk-json" << -1 << false;
    QTest::newRow("generic-json") << "generic-json" << -1 << true;
    QTest::newRow("generic-xml") << "generic-xml" << -1 << true;
}

void TestShippedExporters::polygonsAndCircles()
{
    QFETCH(QString, exporterName);
    QFETCH(int, orientation);
    QFETCH(bool, hasHull);

    const Published published = publishFull(exporterName);
    QVERIFY2(published.error.isEmpty(), qPrintable(published.error));
    const QJsonArray fixtures =
        published.document.value(QStringLiteral("bodies")).toArray().at(0).toObject().value(QStringLiteral("fixtures")).toArray();
    QCOMPARE(fixtures.size(), 3);

    // Generic files use image coordinates (origin top-left, y down); the
    // engine files are relative to the anchor point with the y axis up.
    const bool yDown = exporter(exporterName)->yAxisDirection() == Exporter::Down;
    const auto convert = [yDown](const QPointF& p) {
        return yDown ? QPointF(p.x(), imageHeight - p.y()) : p - anchor;
    };
    const auto convertAll = [&convert](const QPolygonF& polygon) {
        QPolygonF converted;
        for (const QPointF& p : polygon)
            converted << convert(p);
        return converted;
    };

    // The L: convex pieces that cover it exactly, in the exporter's orientation.
    const QJsonObject ellFixture = fixtures.at(0).toObject();
    const QPolygonF ellConverted = convertAll(ell);
    const QList<QPolygonF> pieces = toPieces(ellFixture.value(QStringLiteral("polygons")));
    QVERIFY(pieces.size() >= 2);
    double area = 0;
    QPointF weighted;
    const QRectF bounds = ellConverted.boundingRect().adjusted(-1e-9, -1e-9, 1e-9, 1e-9);
    for (const QPolygonF& piece : pieces) {
        QVERIFY(piece.size() >= 3 && piece.size() <= 8);
        QVERIFY2(isConvex(piece), qPrintable(QStringLiteral("piece of %1 vertices").arg(piece.size())));
        const double pieceArea = doubleArea(piece);
        QCOMPARE(pieceArea > 0 ? 1 : -1, orientation);
        for (const QPointF& p : piece)
            QVERIFY(bounds.contains(p));
        area += std::abs(pieceArea);
        weighted += centroid(piece) * std::abs(pieceArea);
    }
    QCOMPARE(area, std::abs(doubleArea(ellConverted)));
    QVERIFY(samePoint(weighted / area, centroid(ellConverted)));

    if (hasHull) {
        const QPolygonF hull = toPolygon(ellFixture.value(QStringLiteral("hull")));
        QVERIFY(sameCycle(hull, ellConverted));
        QCOMPARE(doubleArea(hull) > 0 ? 1 : -1, orientation);
    } else {
        QVERIFY(!ellFixture.contains(QStringLiteral("hull")));
    }

    // The square: one piece, exactly its corners.
    const QList<QPolygonF> squarePieces = toPieces(fixtures.at(1).toObject().value(QStringLiteral("polygons")));
    QCOMPARE(squarePieces.size(), 1);
    QVERIFY(sameCycle(squarePieces.first(), convertAll(square)));
    QCOMPARE(doubleArea(squarePieces.first()) > 0 ? 1 : -1, orientation);

    // The circle: centre converted, radius unchanged.
    const QJsonObject circle = fixtures.at(2).toObject().value(QStringLiteral("circle")).toObject();
    QCOMPARE(toPoint(circle.value(QStringLiteral("center"))), convert(circleCenter));
    QCOMPARE(circle.value(QStringLiteral("radius")).toDouble(), circleRadius);
}

void TestShippedExporters::genericOriginIsTheTopLeftCorner_data()
{
    QTest::addColumn<QString>("exporterName");
    QTest::newRow("generic-json") << "generic-json";
    QTest::newRow("generic-xml") << "generic-xml";
}

void TestShippedExporters::genericOriginIsTheTopLeftCorner()
{
    QFETCH(QString, exporterName);
    const Published published = publishFull(exporterName);
    QVERIFY2(published.error.isEmpty(), qPrintable(published.error));
    const QJsonObject fixture = published.document.value(QStringLiteral("bodies"))
                                    .toArray()
                                    .at(0)
                                    .toObject()
                                    .value(QStringLiteral("fixtures"))
                                    .toArray()
                                    .at(0)
                                    .toObject();
    const QPolygonF hull = toPolygon(fixture.value(QStringLiteral("hull")));
    // The L's corners at the image's bottom-left (0, 0) and top-left (0, 50)
    // in body coordinates land at (0, 50) and (0, 0) in image coordinates.
    QVERIFY2(hull.contains(QPointF(0, 50)), QJsonDocument(fixture).toJson().constData());
    QVERIFY(hull.contains(QPointF(0, 0)));
    QVERIFY(hull.contains(QPointF(60, 50)));
    QVERIFY(hull.contains(QPointF(16, 0)));
    for (const QPointF& p : hull)
        QVERIFY(p.y() >= 0 && p.y() <= imageHeight);
}

void TestShippedExporters::starIsCutIntoSmallConvexPieces_data()
{
    addExporterRows();
}

void TestShippedExporters::starIsCutIntoSmallConvexPieces()
{
    QFETCH(QString, exporterName);
    const Published published = publishFull(exporterName);
    QVERIFY2(published.error.isEmpty(), qPrintable(published.error));
    const QJsonObject starBody = published.document.value(QStringLiteral("bodies")).toArray().at(1).toObject();
    const QJsonArray fixtures = starBody.value(QStringLiteral("fixtures")).toArray();
    QCOMPARE(fixtures.size(), 1);
    const QList<QPolygonF> pieces = toPieces(fixtures.at(0).toObject().value(QStringLiteral("polygons")));
    QVERIFY(pieces.size() >= 2);
    double area = 0;
    for (const QPolygonF& piece : pieces) {
        QVERIFY(piece.size() >= 3 && piece.size() <= 8);
        QVERIFY(isConvex(piece));
        area += std::abs(doubleArea(piece));
    }
    // The pieces are cut in single precision.
    const double expected = std::abs(doubleArea(star(QPointF(50, 25), 24, 10)));
    QVERIFY2(std::abs(area - expected) < 1e-5 * expected, qPrintable(QStringLiteral("%1, expected %2").arg(area).arg(expected)));
}

void TestShippedExporters::defaultsArePublished_data()
{
    QTest::addColumn<QString>("exporterName");
    // Paths: "body/<key>" in the star body, "fixture/<key>" in its fixture,
    // anything else from the top of the file.
    QTest::addColumn<QString>("path");
    QTest::addColumn<QJsonValue>("expected");

    const auto row = [](const char* exporterName, const char* path, const QJsonValue& expected) {
        QTest::addRow("%s %s", exporterName, path) << QString::fromLatin1(exporterName) << QString::fromLatin1(path)
                                                   << expected;
    };
    row("box2d-json", "ptm", 32);
    row("box2d-json", "body/bodyType", QStringLiteral("dynamic"));
    row("box2d-json", "body/linearDamping", 0);
    row("box2d-json", "body/angularDamping", 0);
    row("box2d-json", "body/fixedRotation", false);
    row("box2d-json", "body/isBullet", false);
    row("box2d-json", "body/gravityScale", 1);
    row("box2d-json", "fixture/density", 1);
    row("box2d-json", "fixture/friction", 0.2);
    row("box2d-json", "fixture/restitution", 0);
    row("box2d-json", "fixture/isSensor", false);
    row("box2d-json", "fixture/filter/categoryBits", 1);
    row("box2d-json", "fixture/filter/maskBits", 65535);
    row("box2d-json", "fixture/filter/groupIndex", 0);

    row("chipmunk-json", "body/isStatic", false);
    row("chipmunk-json", "body/mass", 0);
    row("chipmunk-json", "body/moment", 0);
    row("chipmunk-json", "fixture/density", 1);
    row("chipmunk-json", "fixture/elasticity", 0);
    row("chipmunk-json", "fixture/friction", 0.7);
    row("chipmunk-json", "fixture/isSensor", false);
    row("chipmunk-json", "fixture/collisionType", 0);
    row("chipmunk-json", "fixture/filter/group", 0);
    row("chipmunk-json", "fixture/filter/categories", 4294967295.0);
    row("chipmunk-json", "fixture/filter/mask", 4294967295.0);

    for (const char* name : {"generic-json", "generic-xml"}) {
        row(name, "body/userData", QString());
        row(name, "fixture/density", 1);
        row(name, "fixture/friction", 0.2);
        row(name, "fixture/restitution", 0);
        row(name, "fixture/isSensor", false);
        row(name, "fixture/userData", QString());
    }
}

void TestShippedExporters::defaultsArePublished()
{
    QFETCH(QString, exporterName);
    QFETCH(QString, path);
    QFETCH(QJsonValue, expected);

    const Published published = publishFull(exporterName);
    QVERIFY2(published.error.isEmpty(), qPrintable(published.error));
    const QJsonObject body = published.document.value(QStringLiteral("bodies")).toArray().at(1).toObject();
    const QJsonObject fixture = body.value(QStringLiteral("fixtures")).toArray().at(0).toObject();
    QJsonValue actual;
    if (path.startsWith(QLatin1String("body/")))
        actual = at(body, path.mid(5));
    else if (path.startsWith(QLatin1String("fixture/")))
        actual = at(fixture, path.mid(8));
    else
        actual = at(published.document, path);
    QVERIFY2(actual == expected, QByteArray(jsonText(actual) + " is not " + jsonText(expected)).constData());
}

void TestShippedExporters::storedValuesArePublished_data()
{
    QTest::addColumn<QString>("exporterName");
    // "global", "body" (the tricky body) or "fixture" (its L).
    QTest::addColumn<QString>("level");
    QTest::addColumn<QString>("parameter");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QJsonValue>("expected");

    const auto row = [](const char* exporterName, const char* level, const char* parameter, const QVariant& value,
                        const char* path, const QJsonValue& expected) {
        QTest::addRow("%s %s %s", exporterName, parameter, jsonText(expected).constData())
            << QString::fromLatin1(exporterName) << QString::fromLatin1(level) << QString::fromLatin1(parameter)
            << value << QString::fromLatin1(path) << expected;
    };
    row("box2d-json", "global", "ptm", 64.0f, "ptm", 64);
    row("box2d-json", "global", "ptm", 12.5f, "ptm", 12.5);
    row("box2d-json", "body", "bodyType", 0, "bodyType", QStringLiteral("static"));
    row("box2d-json", "body", "bodyType", 1, "bodyType", QStringLiteral("kinematic"));
    row("box2d-json", "body", "bodyType", 2, "bodyType", QStringLiteral("dynamic"));
    row("box2d-json", "body", "linearDamping", 0.5f, "linearDamping", 0.5);
    row("box2d-json", "body", "angularDamping", 0.25, "angularDamping", 0.25);
    row("box2d-json", "body", "fixedRotation", true, "fixedRotation", true);
    row("box2d-json", "body", "isBullet", true, "isBullet", true);
    row("box2d-json", "body", "gravityScale", -0.5f, "gravityScale", -0.5);
    row("box2d-json", "fixture", "density", 2.5f, "density", 2.5);
    row("box2d-json", "fixture", "friction", 0.1f, "friction", 0.1);
    row("box2d-json", "fixture", "restitution", 0.75f, "restitution", 0.75);
    row("box2d-json", "fixture", "isSensor", true, "isSensor", true);
    row("box2d-json", "fixture", "filter_categoryBits", 4, "filter/categoryBits", 4);
    row("box2d-json", "fixture", "filter_maskBits", 0xFFFB, "filter/maskBits", 0xFFFB);
    row("box2d-json", "fixture", "filter_groupIndex", -3, "filter/groupIndex", -3);

    row("chipmunk-json", "body", "isStatic", true, "isStatic", true);
    row("chipmunk-json", "body", "mass", 12.5f, "mass", 12.5);
    row("chipmunk-json", "body", "moment", 300.0f, "moment", 300);
    row("chipmunk-json", "fixture", "density", 0.01f, "density", 0.01);
    row("chipmunk-json", "fixture", "elasticity", 0.5f, "elasticity", 0.5);
    row("chipmunk-json", "fixture", "friction", 1.0f, "friction", 1);
    row("chipmunk-json", "fixture", "isSensor", true, "isSensor", true);
    row("chipmunk-json", "fixture", "collisionType", 7u, "collisionType", 7);
    row("chipmunk-json", "fixture", "group", 3u, "filter/group", 3);
    row("chipmunk-json", "fixture", "categories", 5u, "filter/categories", 5);
    row("chipmunk-json", "fixture", "mask", 0xFFFFFFFEu, "filter/mask", 4294967294.0);

    for (const char* name : {"generic-json", "generic-xml"}) {
        row(name, "fixture", "density", 3.0f, "density", 3);
        row(name, "fixture", "friction", 0.3f, "friction", 0.3);
        row(name, "fixture", "restitution", 1.0f, "restitution", 1);
        row(name, "fixture", "isSensor", true, "isSensor", true);
        row(name, "body", "userData", QStringLiteral("Enemy"), "userData", QStringLiteral("Enemy"));
    }
}

void TestShippedExporters::storedValuesArePublished()
{
    QFETCH(QString, exporterName);
    QFETCH(QString, level);
    QFETCH(QString, parameter);
    QFETCH(QVariant, value);
    QFETCH(QString, path);
    QFETCH(QJsonValue, expected);

    ElementListModel document;
    document.setExporter(exporter(exporterName));
    QVERIFY(document.exporter());
    fillDocument(document);
    Element* body = document.element(0);
    if (level == QLatin1String("global"))
        document.setValueDirect(parameter, value);
    else if (level == QLatin1String("body"))
        body->setValueDirect(parameter, value);
    else
        body->fixtures().at(0)->setValueDirect(parameter, value);

    const Published published = publish(document, exporterName);
    QVERIFY2(published.error.isEmpty(), qPrintable(published.error));
    const QJsonObject bodyJson = published.document.value(QStringLiteral("bodies")).toArray().at(0).toObject();
    QJsonValue actual;
    if (level == QLatin1String("global"))
        actual = at(published.document, path);
    else if (level == QLatin1String("body"))
        actual = at(bodyJson, path);
    else
        actual = at(bodyJson.value(QStringLiteral("fixtures")).toArray().at(0).toObject(), path);
    QVERIFY2(actual == expected, QByteArray(jsonText(actual) + " is not " + jsonText(expected)).constData());
}

void TestShippedExporters::emptyDocumentHasNoBodies_data()
{
    addExporterRows();
}

void TestShippedExporters::emptyDocumentHasNoBodies()
{
    QFETCH(QString, exporterName);
    ElementListModel document;
    document.setExporter(exporter(exporterName));
    QVERIFY(document.exporter());
    const Published published = publish(document, exporterName);
    QVERIFY2(published.error.isEmpty(), qPrintable(published.error));
    QVERIFY(published.document.value(QStringLiteral("bodies")).isArray());
    QCOMPARE(published.document.value(QStringLiteral("bodies")).toArray().size(), 0);
}

void TestShippedExporters::bodyWithoutFixturesHasNoFixtures_data()
{
    addExporterRows();
}

void TestShippedExporters::bodyWithoutFixturesHasNoFixtures()
{
    QFETCH(QString, exporterName);
    const Published published = publishFull(exporterName);
    QVERIFY2(published.error.isEmpty(), qPrintable(published.error));
    const QJsonObject bare = published.document.value(QStringLiteral("bodies")).toArray().at(2).toObject();
    QCOMPARE(bare.value(QStringLiteral("name")).toString(), QStringLiteral("no fixtures"));
    QVERIFY(bare.value(QStringLiteral("fixtures")).isArray());
    QCOMPARE(bare.value(QStringLiteral("fixtures")).toArray().size(), 0);
}

int main(int argc, char** argv)
{
    TestSupport::isolateSettings();
    QApplication app(argc, argv);
    TestShippedExporters test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_shippedexporters.moc"
