#include "element.h"
#include "elementlistmodel.h"
#include "exporter.h"
#include "exporterregistry.h"
#include "fixturecircle.h"
#include "fixturepolygon.h"
#include "testsupport.h"

#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

struct Run
{
    int exitCode = -1;
    QByteArray out;
    QString err;
};

Run cli(const QStringList& arguments, const QString& stdoutFile = QString())
{
    QProcess process;
    if (!stdoutFile.isEmpty())
        process.setStandardOutputFile(stdoutFile);
    process.start(QStringLiteral(HULLWRIGHT_CLI), arguments);
    if (!process.waitForFinished(60000))
        process.kill();
    process.waitForFinished();
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, process.readAllStandardOutput(),
            QString::fromUtf8(process.readAllStandardError())};
}

void writeExporter(const QString& directory, const QString& name, const QString& displayName,
                   const QString& extra = QString())
{
    QDir().mkpath(directory);
    QFile file(directory + QStringLiteral("/exporter.xml"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QStringLiteral("<exporter><name>%1</name><displayName>%2</displayName>"
                              "<yAxisDirection>Down</yAxisDirection><physicsEngine>Chipmunk</physicsEngine>"
                              "<origin><type>fixed</type></origin><fileExtension>plist</fileExtension>%3"
                              "<fixture><parameter><name>density</name><type>float</type><default>1</default>"
                              "</parameter></fixture></exporter>")
                   .arg(name, displayName, extra)
                   .toUtf8());
}

}

class TestCli : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void usageErrors_data();
    void usageErrors();
    void listsExportersSortedLaterWins();
    void brokenExporterIsReportedAndSkipped();
    void missingExporterDirectoryIsAnInputError();
    void dumpsAProject();
    void dumpReportsUnreadableProjects();
    void unwritableOutputIsAnOutputError();

private:
    QTemporaryDir dir;
    QString first;
    QString second;
};

void TestCli::initTestCase()
{
    first = dir.filePath(QStringLiteral("first"));
    second = dir.filePath(QStringLiteral("second"));
    writeExporter(first + QStringLiteral("/zeta"), QStringLiteral("zeta"), QStringLiteral("Zeta"));
    writeExporter(first + QStringLiteral("/shared"), QStringLiteral("shared"), QStringLiteral("Old"));
    writeExporter(second + QStringLiteral("/shared2"), QStringLiteral("shared"), QStringLiteral("New"),
                  QStringLiteral("<supportsCircles>no</supportsCircles><polygonOrientation>CCW</polygonOrientation>"
                                 "<anchorPoint><enabled>false</enabled></anchorPoint>"));
    writeExporter(second + QStringLiteral("/Alpha"), QStringLiteral("Alpha"), QStringLiteral("Alpha"));
}

void TestCli::usageErrors_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("nothing") << QStringList() << 1;
    QTest::newRow("unknown command") << QStringList{"publish-all"} << 1;
    QTest::newRow("unknown option") << QStringList{"exporters", "--fast"} << 1;
    QTest::newRow("dump without project") << QStringList{"dump"} << 1;
    QTest::newRow("dump two projects") << QStringList{"dump", "a.hws", "b.hws"} << 1;
    QTest::newRow("exporters without directory") << QStringList{"exporters", "--exporters"} << 1;
    QTest::newRow("help") << QStringList{"--help"} << 0;
}

void TestCli::usageErrors()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    const Run run = cli(arguments);
    QCOMPARE(run.exitCode, exitCode);
    const QString text = exitCode == 0 ? QString::fromUtf8(run.out) : run.err;
    QVERIFY2(text.contains(QLatin1String("Usage: hullwright-cli")), qPrintable(text));
}

void TestCli::listsExportersSortedLaterWins()
{
    const Run run = cli({"exporters", "--exporters", first, "--exporters=" + second});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.err, QString());
    const QJsonArray list = QJsonDocument::fromJson(run.out).array();
    QStringList names;
    for (const QJsonValue& entry : list)
        names << entry.toObject().value(QStringLiteral("name")).toString();
    QCOMPARE(names, (QStringList{"Alpha", "shared", "zeta"}));

    const QJsonObject shared = list.at(1).toObject();
    QCOMPARE(shared.value("displayName").toString(), QStringLiteral("New"));
    QCOMPARE(shared.value("directory").toString(), second + QStringLiteral("/shared2"));
    QCOMPARE(shared.value("physicsEngine").toString(), QStringLiteral("chipmunk"));
    QCOMPARE(shared.value("yAxisDirection").toString(), QStringLiteral("down"));
    QCOMPARE(shared.value("originType").toString(), QStringLiteral("fixed"));
    QCOMPARE(shared.value("polygonOrientation").toString(), QStringLiteral("ccw"));
    QCOMPARE(shared.value("supportsCircles").toBool(true), false);
    QCOMPARE(shared.value("anchorPointEnabled").toBool(true), false);
    QCOMPARE(shared.value("fileExtension").toString(), QStringLiteral("plist"));
    const QJsonObject zeta = list.at(2).toObject();
    QCOMPARE(zeta.value("polygonOrientation").toString(), QStringLiteral("cw"));
    QCOMPARE(zeta.value("supportsCircles").toBool(false), true);
    QCOMPARE(zeta.keys().size(), 10);

    // Given the other way round, the first directory's exporter wins.
    const Run reversed = cli({"exporters", "--exporters", second, "--exporters", first});
    const QJsonArray again = QJsonDocument::fromJson(reversed.out).array();
    QCOMPARE(again.at(1).toObject().value("displayName").toString(), QStringLiteral("Old"));
}

void TestCli::brokenExporterIsReportedAndSkipped()
{
    QTemporaryDir broken;
    QDir(broken.path()).mkpath(QStringLiteral("empty"));
    writeExporter(broken.filePath(QStringLiteral("good")), QStringLiteral("good"), QStringLiteral("Good"));
    const Run run = cli({"exporters", "--exporters", broken.path()});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.err, QStringLiteral("Can't read %1/empty/exporter.xml\n").arg(broken.path()));
    const QJsonArray list = QJsonDocument::fromJson(run.out).array();
    QCOMPARE(list.size(), 1);
    QCOMPARE(list.first().toObject().value("name").toString(), QStringLiteral("good"));
}

void TestCli::missingExporterDirectoryIsAnInputError()
{
    const Run run = cli({"exporters", "--exporters", dir.filePath(QStringLiteral("nowhere"))});
    QCOMPARE(run.exitCode, 2);
    QVERIFY(run.err.contains(QLatin1String("nowhere")));
    QVERIFY(run.out.isEmpty());
}

void TestCli::dumpsAProject()
{
    ExporterRegistry::instance().scanExporters(first);
    Exporter* exporter = ExporterRegistry::instance().exporter(QStringLiteral("zeta"));
    QVERIFY(exporter);
    QImage image(6, 4, QImage::Format_ARGB32);
    image.fill(Qt::blue);
    const QString png = dir.filePath(QStringLiteral("art/crate.png"));
    QDir().mkpath(dir.filePath(QStringLiteral("art")));
    QVERIFY(image.save(png));

    ElementListModel document;
    document.setExporter(exporter);
    document.setValue(QStringLiteral("ptm"), 0.1f);
    Element* body = document.addFile(png);
    body->setAnchorPointAbsDirect(QPointF(1.25, 0.5));
    auto* polygon = new FixturePolygon(body);
    polygon->setPolygonDirect(QPolygonF({{0.1, 0.2}, {3, 0}, {1.0 / 3, 4}}));
    polygon->setValue(QStringLiteral("isSensor"), true);
    body->addFixture(polygon);
    auto* circle = new FixtureCircle(body);
    circle->setCircleDirect(QPointF(2, 2), 1.5);
    body->addFixture(circle);
    const QString project = dir.filePath(QStringLiteral("crates.hws"));
    QVERIFY(document.save(project));

    const Run run = cli({"dump", project, "--exporters", first});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.err, QString());
    const QJsonObject dumped = QJsonDocument::fromJson(run.out).object();
    QCOMPARE(dumped.value("exporter").toString(), QStringLiteral("zeta"));
    QCOMPARE(dumped.value("values").toObject().value("ptm").toArray(),
             (QJsonArray{QStringLiteral("float"), double(0.1f)}));
    const QJsonArray bodies = dumped.value("bodies").toArray();
    QCOMPARE(bodies.size(), 1);
    const QJsonObject values = bodies.first().toObject().value("values").toObject();
    // Reading chose the first image as the current one.
    QCOMPARE(values.keys(), (QStringList{"anchorPointAbs", "currentImageName", "imageFileNames", "name", "size"}));
    QCOMPARE(values.value("currentImageName").toArray(), (QJsonArray{"QString", png}));
    QCOMPARE(values.value("name").toArray(), (QJsonArray{"QString", "crate"}));
    QCOMPARE(values.value("imageFileNames").toArray(), (QJsonArray{"QStringList", QJsonArray{png}}));
    QCOMPARE(values.value("anchorPointAbs").toArray(), (QJsonArray{"QPointF", QJsonArray{1.25, 0.5}}));
    QCOMPARE(values.value("size").toArray(), (QJsonArray{"QSize", QJsonArray{6, 4}}));

    const QJsonArray fixtures = bodies.first().toObject().value("fixtures").toArray();
    QCOMPARE(fixtures.size(), 2);
    const QJsonObject p = fixtures.at(0).toObject();
    QCOMPARE(p.value("kind").toString(), QStringLiteral("P"));
    QCOMPARE(p.value("values").toObject().value("isSensor").toArray(), (QJsonArray{"bool", true}));
    QCOMPARE(p.value("values").toObject().value("type").toArray(), (QJsonArray{"QString", "POLYGON"}));
    const QJsonArray points = p.value("polygon").toArray();
    QCOMPARE(points.size(), 3);
    // Numbers read back exactly.
    QCOMPARE(points.at(2).toArray().at(0).toDouble(), 1.0 / 3);
    QCOMPARE(points.at(0).toArray().at(1).toDouble(), 0.2);
    const QJsonObject c = fixtures.at(1).toObject();
    QCOMPARE(c.value("kind").toString(), QStringLiteral("C"));
    QCOMPARE(c.value("center").toArray(), (QJsonArray{2, 2}));
    QCOMPARE(c.value("radius").toDouble(), 1.5);
    QVERIFY(!c.contains(QStringLiteral("polygon")));

    // Without its exporter the project still dumps, with the message on standard error.
    const Run unknown = cli({"dump", project, "--exporters", second});
    QCOMPARE(unknown.exitCode, 0);
    QCOMPARE(unknown.err, QStringLiteral("File was created using unknown exporter zeta. Please intall this exporter.\n"));
    QCOMPARE(QJsonDocument::fromJson(unknown.out).object().value("exporter").toString(), QStringLiteral("Alpha"));
}

void TestCli::dumpReportsUnreadableProjects()
{
    const Run missing = cli({"dump", dir.filePath(QStringLiteral("missing.hws"))});
    QCOMPARE(missing.exitCode, 2);
    QVERIFY(missing.err.startsWith(QLatin1String("Can't open ")));
    QVERIFY(missing.out.isEmpty());

    QFile bad(dir.filePath(QStringLiteral("bad.hws")));
    QVERIFY(bad.open(QIODevice::WriteOnly));
    bad.write(QByteArray::fromHex("48575254000000090000"));
    bad.close();
    const Run damaged = cli({"dump", bad.fileName()});
    QCOMPARE(damaged.exitCode, 2);
    QCOMPARE(damaged.err, QStringLiteral("Can't read file: Main section version is 9\n"));
}

void TestCli::unwritableOutputIsAnOutputError()
{
    if (!QFileInfo::exists(QStringLiteral("/dev/full")))
        QSKIP("no /dev/full here");
    const Run run = cli({"exporters", "--exporters", first}, QStringLiteral("/dev/full"));
    QCOMPARE(run.exitCode, 3);
}

int main(int argc, char** argv)
{
    TestSupport::isolateSettings();
    QGuiApplication app(argc, argv);
    TestCli test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_cli.moc"
