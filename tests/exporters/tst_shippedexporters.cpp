// Publishes one project through every exporter in exporters/ and compares the file with
// tests/exporters/golden/<exporter>.<extension>. After a deliberate change of the output, run
//   HWT_UPDATE_GOLDEN=1 ./tst_shippedexporters
// to write the goldens anew, and review their diff. The project holds no paths or dates, and
// its coordinates are whole pixels, so that the files are the same on every machine. That the
// pieces suit the engines is checked in tst_engines.

#include "error.h"
#include "genericparameter.h"
#include "modeltestsupport.h"
#include "publisher.h"
#include "templatelookups.h"

#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

#include <memory>

namespace {

const QString exporters = QStringLiteral(HWT_SOURCE_DIR "/exporters");
const QString goldens = QStringLiteral(HWT_SOURCE_DIR "/tests/exporters/golden");

// Everything a name or a text parameter can hold that JSON or XML must escape, characters
// outside the Basic Multilingual Plane and a control character.
const QString trickyText = QStringLiteral("Say \"hi\" \\ 'it' <b>&amp;</b> > é 漢 😀\tTab\nLine\rCR \x01 end");

// Body coordinates: pixels, y up, origin at the bottom-left corner of the 100 x 50 image.
const QPolygonF ell({{0, 0}, {60, 0}, {60, 12}, {16, 12}, {16, 50}, {0, 50}});
const QPolygonF square({{70, 5}, {90, 5}, {90, 25}, {70, 25}});
const QPolygonF star(
    {{50, 49}, {45, 31}, {27, 32}, {42, 23}, {36, 6}, {50, 17}, {64, 6}, {58, 23}, {73, 32}, {55, 31}});

// A stored value unlike the default: variant 0 for the first body and its first fixture,
// variant 1 for the second; the rest keep their defaults.
QVariant storedValue(const GenericParameter* p, int variant)
{
    if (p->type() == QLatin1String("float"))
        return variant ? 2.7182817f : 0.1f;  // the second needs all eight digits of a float
    if (p->type() == QLatin1String("bool"))
        return !p->defaultValue().toBool();
    if (p->type() == QLatin1String("string"))
        return variant ? QStringLiteral("Enemy") : trickyText;
    if (p->type().startsWith(QLatin1String("uint")))
        return variant ? p->maximum().toUInt() - 1 : 5u;
    return variant ? p->defaultValue().toInt() - 1 : p->minimum().toInt();
}

void store(GenericDataProvider& provider, const QList<const GenericParameter*>& parameters, int variant)
{
    for (const GenericParameter* parameter : parameters)
        provider.setValueDirect(parameter->name(), storedValue(parameter, variant));
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// What the user typed, as read back: the first body's name, then the first two userData texts.
QStringList readTexts(const QByteArray& data, bool xml)
{
    if (!xml) {
        const QJsonObject body = QJsonDocument::fromJson(data).object().value("bodies").toArray().at(0).toObject();
        return {body.value("name").toString(), body.value("userData").toString(),
                body.value("fixtures").toArray().at(0).toObject().value("userData").toString()};
    }
    QStringList texts;
    QXmlStreamReader reader(data);
    while (!reader.atEnd()) {
        if (reader.readNext() == QXmlStreamReader::StartElement && reader.name() == QLatin1String("body"))
            texts << reader.attributes().value(QStringLiteral("name")).toString();
        else if (reader.isStartElement() && reader.name() == QLatin1String("userData"))
            texts << reader.readElementText();
    }
    return reader.hasError() ? QStringList{reader.errorString()} : texts.mid(0, 3);
}

}

class TestShippedExporters : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void buildCopiesMatchTheSources();
    void golden_data();
    void golden();

private:
    QTemporaryDir m_dir;
    QString m_image;
};

void TestShippedExporters::initTestCase()
{
    registerTemplateLookups();
    QVERIFY(m_dir.isValid());
    m_image = ModelTest::makeImage(m_dir.path(), QStringLiteral("sprite.png"), 100, 50);
}

void TestShippedExporters::buildCopiesMatchTheSources()
{
    const QDir copies(QCoreApplication::applicationDirPath() + QStringLiteral("/../bin/exporters"));
    if (!copies.exists())
        QSKIP("no build copy of the exporters next to this test");
    QDirIterator files(exporters, QDir::Files, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString source = files.next();
        if (QFileInfo(source).path() == exporters)
            continue;  // the notes beside the exporters are no exporter
        const QString copy = copies.filePath(QDir(exporters).relativeFilePath(source));
        QVERIFY2(readFile(source) == readFile(copy), qPrintable(copy));
    }
}

void TestShippedExporters::golden_data()
{
    QTest::addColumn<QString>("directory");
    QTest::addColumn<bool>("empty");
    for (const QString& name : QDir(exporters).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        if (!QFileInfo::exists(exporters + QLatin1Char('/') + name + QStringLiteral("/exporter.xml")))
            continue;
        QTest::newRow(qPrintable(name)) << exporters + QLatin1Char('/') + name << false;
        QTest::newRow(qPrintable(name + QStringLiteral("-empty"))) << exporters + QLatin1Char('/') + name << true;
    }
}

void TestShippedExporters::golden()
{
    QFETCH(QString, directory);
    QFETCH(bool, empty);
    std::unique_ptr<Exporter> exporter;
    try {
        exporter = std::make_unique<Exporter>(directory);
    } catch (const Error& e) {
        QFAIL(qPrintable(e.message()));
    }
    // The project file stores the name, and the registry keys by it: it must be the directory's.
    QCOMPARE(exporter->name(), QFileInfo(directory).fileName());
    QVERIFY(!exporter->displayName().isEmpty() && !exporter->description().isEmpty());
    // The template engine escapes for HTML; the templates escape for their own format.
    const QString templateFile = QDir(directory).filePath(exporter->templateFile());
    const QString text = QString::fromUtf8(readFile(templateFile)).trimmed();
    QVERIFY(text.startsWith(QLatin1String("{% autoescape off %}")));
    QVERIFY(text.endsWith(QLatin1String("{% endautoescape %}")));
    QCOMPARE(QFileInfo(templateFile).suffix(), exporter->fileExtension());
    // The parameter panel shows every text, and a new body gets every default.
    for (const auto* parameter : exporter->globalParameters() + exporter->bodyParameters()
             + exporter->fixtureParameters()) {
        QVERIFY2(!parameter->displayName().isEmpty() && !parameter->shortDescription().isEmpty()
                     && !parameter->description().isEmpty() && parameter->defaultValue().isValid(),
                 qPrintable(parameter->name()));
    }

    ElementListModel document;
    document.setExporter(exporter.get());
    if (!empty) {
        // An L, a square and a circle; a star cut into pieces; a body without fixtures.
        const auto addBody = [&](const QString& name, const QPointF& anchor, const QList<QPolygonF>& outlines) {
            Element* body = document.addFile(m_image);
            body->setName(name);
            body->setAnchorPointAbsDirect(anchor);
            for (const QPolygonF& outline : outlines) {
                auto* polygon = new FixturePolygon(body);
                polygon->setPolygonDirect(outline);
                body->addFixture(polygon);
            }
            return body;
        };
        auto* circle = new FixtureCircle(addBody(trickyText, QPointF(30, 20), {ell, square}));
        circle->setCircleDirect(QPointF(80, 38), 9);
        circle->body()->addFixture(circle);
        addBody(QStringLiteral("star"), QPointF(50, 25), {star});
        addBody(QStringLiteral("no fixtures"), QPointF(), {});
        store(document, exporter->globalParameters(), 0);
        for (int i : {0, 1}) {
            store(*document.element(i), exporter->bodyParameters(), i);
            store(*document.element(i)->fixtures().first(), exporter->fixtureParameters(), i);
        }
    }

    const QString name = QFileInfo(directory).fileName() + (empty ? "-empty." : ".") + exporter->fileExtension();
    RecordingReporter reporter;
    QVERIFY(Publisher::publish(document, m_dir.filePath(name)).written);
    QVERIFY(reporter.entries.isEmpty());
    const QByteArray data = readFile(m_dir.filePath(name));
    const QString golden = goldens + QLatin1Char('/') + name;
    if (qEnvironmentVariableIsSet("HWT_UPDATE_GOLDEN")) {
        QFile file(golden);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(data) == data.size());
        qInfo("wrote %s", qPrintable(golden));
    }
    const QList<QByteArray> actual = data.split('\n');
    const QList<QByteArray> expected = readFile(golden).split('\n');
    for (int i = 0; i < std::max(actual.size(), expected.size()); ++i) {
        QVERIFY2(actual.value(i) == expected.value(i),
                 qPrintable(QStringLiteral("%1:%2 reads %3\ninstead of %4\n(HWT_UPDATE_GOLDEN=1 writes the goldens)")
                                .arg(golden).arg(i + 1).arg(actual.value(i), expected.value(i))));
    }
    if (empty)
        return;

    // XML 1.0 cannot hold the control character: the XML exporter drops it.
    const bool xml = exporter->fileExtension() == QLatin1String("xml");
    const QString typed = xml ? QString(trickyText).remove(QChar(1)) : trickyText;
    const QString userData = exporter->bodyDefault(QStringLiteral("userData")).isValid() ? typed : QString();
    QCOMPARE(readTexts(data, xml), (QStringList{typed, userData, userData}));
}

MODEL_TEST_MAIN(TestShippedExporters)

#include "tst_shippedexporters.moc"
