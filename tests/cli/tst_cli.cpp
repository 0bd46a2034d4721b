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

#include <algorithm>

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
    void decomposesAnOutline();
    void decomposeRejectsBadInput_data();
    void decomposeRejectsBadInput();
    void publishesAProject();
    void publishNeedsAnOutput();
    void createsAProject();
    void tracesAnImage();

private:
    // The names of the exporters that are not the shipped ones.
    static QStringList testExporterNames(const QJsonArray& list, const QStringList& shipped);

    QTemporaryDir dir;
    QString first;
    QString second;
    QStringList shipped;
};

QStringList TestCli::testExporterNames(const QJsonArray& list, const QStringList& shipped)
{
    QStringList names;
    for (const QJsonValue& entry : list) {
        const QString name = entry.toObject().value(QStringLiteral("name")).toString();
        if (!shipped.contains(name))
            names << name;
    }
    return names;
}

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
    // The exporters shipped beside the program are always there too.
    const Run builtIn = cli({"exporters"});
    QCOMPARE(builtIn.exitCode, 0);
    shipped = testExporterNames(QJsonDocument::fromJson(builtIn.out).array(), {});
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
    QJsonArray list;
    const QJsonArray all = QJsonDocument::fromJson(run.out).array();
    for (const QJsonValue& entry : all) {
        if (!shipped.contains(entry.toObject().value(QStringLiteral("name")).toString()))
            list.append(entry);
    }
    QCOMPARE(testExporterNames(list, shipped), (QStringList{"Alpha", "shared", "zeta"}));
    QStringList allNames = testExporterNames(all, {});
    QVERIFY(std::is_sorted(allNames.begin(), allNames.end()));

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
    for (const QJsonValue& entry : again) {
        if (entry.toObject().value("name").toString() == QLatin1String("shared"))
            QCOMPARE(entry.toObject().value("displayName").toString(), QStringLiteral("Old"));
    }
}

void TestCli::brokenExporterIsReportedAndSkipped()
{
    QTemporaryDir broken;
    QDir(broken.path()).mkpath(QStringLiteral("empty"));
    writeExporter(broken.filePath(QStringLiteral("good")), QStringLiteral("good"), QStringLiteral("Good"));
    const Run run = cli({"exporters", "--exporters", broken.path()});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.err, QStringLiteral("Can't read %1/empty/exporter.xml\n").arg(broken.path()));
    QCOMPARE(testExporterNames(QJsonDocument::fromJson(run.out).array(), shipped), QStringList{"good"});
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

void TestCli::decomposesAnOutline()
{
    QTemporaryDir scratch;
    QFile outline(scratch.filePath(QStringLiteral("l.json")));
    QVERIFY(outline.open(QIODevice::WriteOnly));
    outline.write("[[0,0],[10,0],[10,4],[4,4],[4,10],[0,10]]");
    outline.close();
    const Run run = cli({"decompose", outline.fileName()});
    QCOMPARE(run.exitCode, 0);
    const QJsonArray pieces = QJsonDocument::fromJson(run.out).array();
    QVERIFY(pieces.size() >= 2);
    for (const QJsonValue& piece : pieces) {
        QVERIFY(piece.toArray().size() >= 3 && piece.toArray().size() <= 8);
        QCOMPARE(piece.toArray().first().toArray().size(), 2);
    }

    // From standard input, and fewer than three points give no pieces.
    QProcess process;
    process.start(QStringLiteral(HULLWRIGHT_CLI), {"decompose"});
    process.write("[[0,0],[1,1]]");
    process.closeWriteChannel();
    QVERIFY(process.waitForFinished(60000));
    QCOMPARE(process.exitCode(), 0);
    QCOMPARE(QJsonDocument::fromJson(process.readAllStandardOutput()).array().size(), 0);
}

void TestCli::decomposeRejectsBadInput_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::newRow("not json") << QByteArray("[[0,0],");
    QTest::newRow("not an array") << QByteArray("{\"x\": 1}");
    QTest::newRow("bad point") << QByteArray("[[0,0],[1],[2,2]]");
    QTest::newRow("text coordinate") << QByteArray("[[0,0],[1,\"a\"],[2,2]]");
}

void TestCli::decomposeRejectsBadInput()
{
    QFETCH(QByteArray, input);
    QProcess process;
    process.start(QStringLiteral(HULLWRIGHT_CLI), {"decompose"});
    process.write(input);
    process.closeWriteChannel();
    QVERIFY(process.waitForFinished(60000));
    QCOMPARE(process.exitCode(), 2);
    QVERIFY(process.readAllStandardOutput().isEmpty());
    QVERIFY(!process.readAllStandardError().isEmpty());
}

void TestCli::publishesAProject()
{
    QTemporaryDir scratch;
    const QString exporters = scratch.filePath(QStringLiteral("exporters"));
    writeExporter(exporters + QStringLiteral("/names"), QStringLiteral("names"), QStringLiteral("Names"),
                  QStringLiteral("<template>names.txt</template>"));
    QFile names(exporters + QStringLiteral("/names/names.txt"));
    QVERIFY(names.open(QIODevice::WriteOnly));
    names.write("{% for b in bodies %}{{ b.name }};{% endfor %}");
    names.close();

    QImage picture(4, 4, QImage::Format_ARGB32);
    picture.fill(Qt::green);
    QVERIFY(picture.save(scratch.filePath(QStringLiteral("crate.png"))));
    const QString project = scratch.filePath(QStringLiteral("p.hws"));
    const Run created = cli({"create", project, "--exporter", "names", "--exporters", exporters,
                             scratch.filePath(QStringLiteral("crate.png")), scratch.filePath(QStringLiteral("crate.png"))});
    QCOMPARE(created.exitCode, 0);

    const QString output = scratch.filePath(QStringLiteral("out.txt"));
    const Run run = cli({"publish", project, "--output", output, "--exporters", exporters});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.err, QString());
    QFile published(output);
    QVERIFY(published.open(QIODevice::ReadOnly));
    QCOMPARE(published.readAll(), QByteArray("crate;crate (2);"));

    const Run unknown = cli({"publish", project, "--output", output, "--exporter", "nope", "--exporters", exporters});
    QCOMPARE(unknown.exitCode, 2);
    QVERIFY(unknown.err.contains(QLatin1String("nope")));

    const Run unwritable = cli({"publish", project, "--output", scratch.filePath(QStringLiteral("no/dir/x.txt")),
                                "--exporters", exporters});
    QCOMPARE(unwritable.exitCode, 3);
    QVERIFY(unwritable.err.startsWith(QLatin1String("Failed to write ")));
}

void TestCli::publishNeedsAnOutput()
{
    QTemporaryDir scratch;
    const QString exporters = scratch.filePath(QStringLiteral("exporters"));
    writeExporter(exporters + QStringLiteral("/x"), QStringLiteral("x"), QStringLiteral("X"));
    const QString project = scratch.filePath(QStringLiteral("p.hws"));
    QCOMPARE(cli({"create", project, "--exporter", "x", "--exporters", exporters}).exitCode, 1);  // no image
    ElementListModel document;
    QVERIFY(document.save(project));
    const Run run = cli({"publish", project, "--exporters", exporters});
    QCOMPARE(run.exitCode, 1);
    QVERIFY(run.err.contains(QLatin1String("--output")));
}

void TestCli::createsAProject()
{
    QTemporaryDir scratch;
    const QString exporters = scratch.filePath(QStringLiteral("exporters"));
    writeExporter(exporters + QStringLiteral("/x"), QStringLiteral("x"), QStringLiteral("X"));
    QImage picture(6, 3, QImage::Format_ARGB32);
    picture.fill(Qt::green);
    QVERIFY(picture.save(scratch.filePath(QStringLiteral("ship.png"))));
    const QString image = scratch.filePath(QStringLiteral("ship.png"));
    const QString project = scratch.filePath(QStringLiteral("new.hws"));

    QCOMPARE(cli({"create", project, image, "--exporters", exporters}).exitCode, 1);  // no --exporter
    const Run badMode = cli({"create", project, "--exporter", "x", "--trace", "--mode", "curvy", image,
                             "--exporters", exporters});
    QCOMPARE(badMode.exitCode, 1);
    QVERIFY(badMode.err.contains(QLatin1String("--mode")));
    QCOMPARE(cli({"create", project, "--exporter", "nope", image, "--exporters", exporters}).exitCode, 2);
    const Run missing = cli({"create", project, "--exporter", "x", scratch.filePath("gone.png"), "--exporters", exporters});
    QCOMPARE(missing.exitCode, 2);
    QVERIFY(!QFileInfo::exists(project));

    QCOMPARE(cli({"create", project, "--exporter", "x", image, image, "--exporters", exporters}).exitCode, 0);
    const Run dumped = cli({"dump", project, "--exporters", exporters});
    QCOMPARE(dumped.exitCode, 0);
    const QJsonObject document = QJsonDocument::fromJson(dumped.out).object();
    QCOMPARE(document.value("exporter").toString(), QStringLiteral("x"));
    const QJsonArray bodies = document.value("bodies").toArray();
    QCOMPARE(bodies.size(), 2);
    const QJsonObject second = bodies.at(1).toObject().value("values").toObject();
    QCOMPARE(second.value("name").toArray(), (QJsonArray{"QString", "ship (2)"}));
    QCOMPARE(second.value("size").toArray(), (QJsonArray{"QSize", QJsonArray{6, 3}}));
    QCOMPARE(bodies.at(0).toObject().value("fixtures").toArray().size(), 0);

    // With --trace every body gets its outline: here the whole 6 x 3 image.
    QCOMPARE(cli({"create", project, "--exporter", "x", "--trace", image, "--exporters", exporters}).exitCode, 0);
    const QJsonObject traced = QJsonDocument::fromJson(cli({"dump", project, "--exporters", exporters}).out).object();
    const QJsonArray fixtures = traced.value("bodies").toArray().first().toObject().value("fixtures").toArray();
    QCOMPARE(fixtures.size(), 1);
    QCOMPARE(fixtures.first().toObject().value("kind").toString(), QStringLiteral("P"));
    const QJsonArray outline = fixtures.first().toObject().value("polygon").toArray();
    QCOMPARE(outline.size(), 4);
    for (const QJsonValue& point : outline) {
        const double x = point.toArray().at(0).toDouble();
        const double y = point.toArray().at(1).toDouble();
        QVERIFY((x == 0 || x == 6) && (y == 0 || y == 3));
    }
}

void TestCli::tracesAnImage()
{
    QTemporaryDir scratch;
    // A 4 x 4 square in a transparent 8 x 8 image, 2 pixels from the left and the top.
    QImage picture(8, 8, QImage::Format_ARGB32);
    picture.fill(Qt::transparent);
    for (int y = 2; y < 6; ++y)
        for (int x = 2; x < 6; ++x)
            picture.setPixelColor(x, y, QColor(0, 0, 0, 200));
    const QString image = scratch.filePath(QStringLiteral("square.png"));
    QVERIFY(picture.save(image));

    const Run run = cli({"trace", image});
    QCOMPARE(run.exitCode, 0);
    const QJsonArray outline = QJsonDocument::fromJson(run.out).array();
    QCOMPARE(outline.size(), 4);
    for (const QJsonValue& point : outline) {
        const double x = point.toArray().at(0).toDouble();
        const double y = point.toArray().at(1).toDouble();
        // Body coordinates: y up from the bottom-left corner.
        QVERIFY2((x == 2 || x == 6) && (y == 2 || y == 6), qPrintable(QString::fromUtf8(run.out)));
    }
    // Above the threshold nothing is inside.
    const Run empty = cli({"trace", image, "--threshold", "200"});
    QCOMPARE(empty.exitCode, 0);
    QCOMPARE(QJsonDocument::fromJson(empty.out).array().size(), 0);

    QCOMPARE(cli({"trace", image, "--threshold", "300"}).exitCode, 1);
    QCOMPARE(cli({"trace", image, "--start", "x"}).exitCode, 1);
    QCOMPARE(cli({"trace", image, "--frames", "all"}).exitCode, 1);
    const Run unreadable = cli({"trace", scratch.filePath(QStringLiteral("none.png"))});
    QCOMPARE(unreadable.exitCode, 2);
    QVERIFY(unreadable.err.startsWith(QLatin1String("Can't read image ")));
}

int main(int argc, char** argv)
{
    TestSupport::isolateSettings();
    QGuiApplication app(argc, argv);
    TestCli test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_cli.moc"
