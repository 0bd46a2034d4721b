// Publishes one project through every exporter in exporters/ and compares the file with its golden
// (tests/exporters/golden/README.md; HWT_UPDATE_GOLDEN=1 writes them anew). The project holds no paths
// or dates, and its coordinates are whole pixels, so that the files are the same on every machine.

#include "exporterregistry.h"
#include "genericparameter.h"
#include "modeltestsupport.h"
#include "publisher.h"
#include "templatelookups.h"

#include <QDomDocument>
#include <QtTest>

namespace {

const QString exporters = QStringLiteral(HWT_SOURCE_DIR "/exporters");
// Everything a name or a text parameter can hold that JSON or XML must escape, characters
// outside the Basic Multilingual Plane and a control character.
const QString trickyText = QStringLiteral("Say \"hi\" \\ 'it' <b>&amp;</b> > é 漢 😀\tTab\nLine\rCR \x01 end");

// Stores a value unlike the default in every parameter: variant 0 for the first body and its
// first fixture, variant 1 for the second.
void store(GenericDataProvider& provider, const QList<const GenericParameter*>& parameters, int variant)
{
    for (const GenericParameter* p : parameters) {
        const QString& type = p->type();
        // A bit field only groups the rows after it; it has no value of its own.
        if (type == "bitfield")
            continue;
        provider.setValueDirect(p->name(),
            type == "float" ? QVariant(variant ? 2.7182817f : 0.1f)  // the second needs all 8 digits of a float
            : type == "bool" ? QVariant(!p->defaultValue().toBool())
            : type == "string" ? QVariant(variant ? "Enemy" : trickyText)
            : type.startsWith("uint") ? QVariant(variant ? p->maximum().toUInt() - 1 : 5u)
            : QVariant(variant ? p->defaultValue().toInt() - 1 : p->minimum().toInt()));
    }
}

}

class TestShippedExporters : public QObject
{
    Q_OBJECT

private slots:
    void definitionsHaveNoProblems();
    void golden_data();
    void golden();
};

void TestShippedExporters::definitionsHaveNoProblems()
{
    // Not even warnings: a bit-field row without its bit field, say, could never be edited.
    RecordingReporter reporter;
    ExporterRegistry::instance().scanExporters(exporters);
    QStringList texts;
    for (const RecordingReporter::Entry& entry : std::as_const(reporter.entries))
        texts << entry.title + ": " + entry.text;
    QCOMPARE(texts, QStringList());
}

void TestShippedExporters::golden_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("empty");
    // One that cannot be read is reported on standard error, and its rows fail.
    ExporterRegistry::instance().scanExporters(exporters);
    for (const QString& name : QDir(exporters).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        QTest::newRow(qPrintable(name)) << name << false;
        QTest::newRow(qPrintable(name + "-empty")) << name << true;
    }
}

void TestShippedExporters::golden()
{
    QFETCH(QString, name);
    QFETCH(bool, empty);
    registerTemplateLookups();
    // The project file stores the name, and the registry keys by it: it must be the directory's.
    Exporter* exporter = ExporterRegistry::instance().exporter(name);
    QVERIFY(exporter);
    // The panels show every text, and a new body gets every default (a bit field has no value).
    QVERIFY(!exporter->displayName().isEmpty() && !exporter->description().isEmpty());
    for (const auto* p : exporter->globalParameters() + exporter->bodyParameters() + exporter->fixtureParameters()) {
        QVERIFY2(!p->displayName().isEmpty() && !p->shortDescription().isEmpty() && !p->description().isEmpty()
                     && (p->type() == "bitfield" || p->defaultValue().isValid()), qPrintable(p->name()));
    }

    // Body coordinates: pixels, y up, origin at the bottom-left corner of the 100 x 50 image. An L, a
    // square and a circle; a star cut into pieces; a body without fixtures.
    QTemporaryDir dir;
    const QString image = ModelTest::makeImage(dir.path(), QStringLiteral("sprite.png"), 100, 50);
    const QList<std::tuple<QString, QPointF, QList<QPolygonF>>> bodies{
        {trickyText, {30, 20}, {QPolygonF({{0, 0}, {60, 0}, {60, 12}, {16, 12}, {16, 50}, {0, 50}}),
                                QPolygonF({{70, 5}, {90, 5}, {90, 25}, {70, 25}})}},
        {"star", {50, 25}, {QPolygonF({{50, 49}, {45, 31}, {27, 32}, {42, 23}, {36, 6}, {50, 17}, {64, 6}, {58, 23},
                                       {73, 32}, {55, 31}})}},
        {"no fixtures", {}, {}}};
    ElementListModel document;
    document.setExporter(exporter);
    for (const auto& [text, anchor, outlines] : empty ? decltype(bodies)() : bodies) {
        Element* body = document.addFile(image);
        body->setName(text);
        body->setAnchorPointAbsDirect(anchor);
        for (const QPolygonF& outline : outlines) {
            auto* polygon = new FixturePolygon(body);
            polygon->setPolygonDirect(outline);
            body->addFixture(polygon);
        }
    }
    if (!empty) {
        auto* circle = new FixtureCircle(document.element(0));
        circle->setCircleDirect(QPointF(80, 38), 9);
        document.element(0)->addFixture(circle);
        store(document, exporter->globalParameters(), 0);
        for (int i : {0, 1}) {
            store(*document.element(i), exporter->bodyParameters(), i);
            store(*document.element(i)->fixtures().first(), exporter->fixtureParameters(), i);
        }
    }

    const QString file = name + (empty ? "-empty." : ".") + exporter->fileExtension();
    QFile published(dir.filePath(file)), golden(QStringLiteral(HWT_SOURCE_DIR "/tests/exporters/golden/") + file);
    RecordingReporter reporter;
    const Publisher::Result result = Publisher::publish(document, published.fileName());
    // The body without fixtures is the one gap, and the warning names it.
    QVERIFY(result.written);
    QCOMPARE(result.withoutFixtures, empty ? QStringList() : QStringList{"no fixtures"});
    QCOMPARE(reporter.entries.size(), empty ? 0 : 1);
    QVERIFY(published.open(QIODevice::ReadOnly));
    const QByteArray data = published.readAll();
    if (qEnvironmentVariableIsSet("HWT_UPDATE_GOLDEN"))
        QVERIFY(golden.open(QIODevice::WriteOnly) && golden.write(data) == data.size() && golden.flush());
    golden.close();
    // After a deliberate change of the output, HWT_UPDATE_GOLDEN=1 writes the goldens anew.
    QVERIFY2(golden.open(QIODevice::ReadOnly), "no golden file");
    QCOMPARE(data.split('\n'), golden.readAll().split('\n'));
    if (empty)
        return;

    // What the user typed, as read back: the first body's name and userData, and its first fixture's.
    // XML 1.0 cannot hold the control character: the XML exporter drops it.
    QString typed = trickyText;
    QStringList texts;
    // The engines read the other formats back (tst_gameengines).
    if (exporter->fileExtension() != "xml" && exporter->fileExtension() != "json")
        return;
    if (exporter->fileExtension() == "xml") {
        QDomDocument xml;
        QString error;
        const QDomElement body = xml.setContent(data, &error) ? xml.documentElement().firstChildElement("body")
                                                              : QDomElement();
        texts = QStringList{body.attribute("name", error), body.firstChildElement("userData").text(),
            body.firstChildElement("fixtures").firstChildElement("fixture").firstChildElement("userData").text()};
        typed.remove(QChar(1));
    } else {
        const QJsonValue body = QJsonDocument::fromJson(data)["bodies"][0];
        texts = QStringList{body["name"].toString(), body["userData"].toString(),
                            body["fixtures"][0]["userData"].toString()};
    }
    const QString userData = exporter->bodyDefault("userData").isValid() ? typed : QString();
    QCOMPARE(texts, (QStringList{typed, userData, userData}));
}

MODEL_TEST_MAIN(TestShippedExporters)

#include "tst_shippedexporters.moc"
