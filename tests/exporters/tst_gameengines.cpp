// Loads the files of the LÖVE, Godot and Matter.js exporters into the engines
// themselves: each engine runs a small script of ours (tests/exporters/engines/)
// that loads the published file as a game would, prints every shape as the
// engine holds it and drops the bodies; the test compares the shapes with the
// project's pieces and reads the script's verdict. An engine that is not
// installed (./test.sh installs them) skips its test with a message.

#include "exporterregistry.h"
#include "modeltestsupport.h"
#include "publisher.h"
#include "publishgeometry.h"
#include "templatelookups.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

namespace {

using Values = QHash<QString, QVariant>;

const QString engines = QStringLiteral(HWT_SOURCE_DIR "/tests/exporters/engines/");
// Quotes, a backslash, a line break and text beyond ASCII and beyond the Basic Multilingual Plane.
const QString hostileName = QStringLiteral("Crate \"one\" \\ back\nslash é 漢 😀");

// What one engine's script printed: its lines by first word, and the verdict.
struct Report
{
    QMultiMap<QString, QStringList> lines;
    QString verdict;
    QString all;
};

Report run(const QString& program, const QStringList& arguments, const QString& directory = QString())
{
    QProcess process;
    process.setWorkingDirectory(directory.isEmpty() ? QDir::tempPath() : directory);
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.start(program, arguments);
    Report report;
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        report.verdict = "timed out";
    }
    report.all = QString::fromUtf8(process.readAllStandardOutput());
    for (const QString& line : report.all.split('\n', Qt::SkipEmptyParts)) {
        QStringList words = line.trimmed().split(' ');
        if (words.first() == "verdict")
            report.verdict = line.trimmed().mid(8);
        else
            report.lines.insert(words.takeFirst(), words);
    }
    report.all += QString::fromUtf8(process.readAllStandardError());
    return report;
}

QPolygonF points(const QStringList& numbers)
{
    QPolygonF polygon;
    for (int i = 0; i + 1 < numbers.size(); i += 2)
        polygon << QPointF(numbers[i].toDouble(), numbers[i + 1].toDouble());
    return polygon;
}

// The same corners, in any order and from any start (the engines take convex hulls), within `tolerance`.
bool sameCorners(const QPolygonF& actual, const QPolygonF& expected, double tolerance)
{
    if (actual.size() != expected.size())
        return false;
    for (const QPointF& corner : expected) {
        if (std::none_of(actual.begin(), actual.end(),
                         [&](const QPointF& p) { return QLineF(p, corner).length() <= tolerance; }))
            return false;
    }
    return true;
}

QPolygonF scaled(const QPolygonF& polygon, double factor)
{
    QPolygonF result;
    for (const QPointF& p : polygon)
        result << p * factor;
    return result;
}

// The sample: a dynamic body with a hostile name, a concave L, a 12-gon (more than 8 corners) and a
// circle; a static platform; a box that only senses. `values` sets each body's and fixture's parameters
// by the exporter's own names: "body n" and "fixture n" (of the first body), "sensor" for the sensing box.
class Sample
{
public:
    Sample(const QString& exporterName, const QHash<QString, Values>& values)
    {
        ExporterRegistry::instance().scanExporters(QStringLiteral(HWT_SOURCE_DIR "/exporters"));
        exporter = ExporterRegistry::instance().exporter(exporterName);
        document.setExporter(exporter);
        QPolygonF dodecagon;
        for (int i = 0; i < 12; ++i)
            dodecagon << QPointF(100 + 14 * std::cos(i * M_PI / 6), 40 + 14 * std::sin(i * M_PI / 6));
        Element* crate = addBody(hostileName, QSize(128, 64), QPointF(40, 20),
            {QPolygonF({{0, 0}, {96, 0}, {96, 20}, {24, 20}, {24, 64}, {0, 64}}), dodecagon});
        auto* circle = new FixtureCircle(crate);
        circle->setCircleDirect(QPointF(60, 45), 10);
        crate->addFixture(circle);
        addBody("platform", QSize(64, 16), QPointF(32, 8), {QPolygonF({{0, 0}, {64, 0}, {64, 16}, {0, 16}})});
        addBody("trigger", QSize(32, 32), QPointF(16, 16), {QPolygonF({{0, 0}, {32, 0}, {32, 32}, {0, 32}})});
        for (auto each = values.begin(); each != values.end(); ++each) {
            const QStringList where = each.key().split(' ');
            GenericDataProvider* provider = where[0] == "body" ? static_cast<GenericDataProvider*>(
                                                                     document.element(where[1].toInt() - 1))
                                          : where[0] == "fixture" ? crate->fixtures().at(where[1].toInt() - 1)
                                                                  : document.element(2)->fixtures().first();
            for (auto value = each->begin(); value != each->end(); ++value)
                provider->setValueDirect(value.key(), value.value());
        }
        file = dir.filePath(QStringLiteral("shapes.") + exporter->fileExtension());
    }

    Element* addBody(const QString& name, const QSize& size, const QPointF& anchor, const QList<QPolygonF>& polygons)
    {
        Element* body = document.addFile(ModelTest::makeImage(dir.path(), name.left(5) + ".png", size.width(), size.height()));
        body->setName(name);
        body->setAnchorPointAbsDirect(anchor);
        for (const QPolygonF& outline : polygons) {
            auto* polygon = new FixturePolygon(body);
            polygon->setPolygonDirect(outline);
            body->addFixture(polygon);
        }
        return body;
    }

    bool publish() { return Publisher::publish(document, file).written; }

    // Every piece of a body's polygons as published (pixels, the exporter's axes and origin).
    QVector<QPolygonF> pieces(int body) const
    {
        QVector<QPolygonF> all;
        for (const Fixture* fixture : document.element(body)->fixtures()) {
            if (const auto* polygon = qobject_cast<const FixturePolygon*>(fixture))
                all += PublishGeometry::polygons(*polygon);
        }
        return all;
    }

    QTemporaryDir dir;
    ElementListModel document;
    Exporter* exporter = nullptr;
    QString file;
};

// Takes every printed polygon that matches an expected piece; what is left over on either side is a failure.
QString unmatched(QVector<QPolygonF> expected, QList<QPolygonF> printed, double tolerance)
{
    for (auto piece = expected.begin(); piece != expected.end();) {
        const auto found = std::find_if(printed.begin(), printed.end(),
                                        [&](const QPolygonF& p) { return sameCorners(p, *piece, tolerance); });
        if (found == printed.end()) {
            ++piece;
            continue;
        }
        printed.erase(found);
        piece = expected.erase(piece);
    }
    if (expected.isEmpty() && printed.isEmpty())
        return QString();
    QString text = QStringLiteral("%1 expected pieces not found, %2 printed pieces not expected").arg(expected.size()).arg(printed.size());
    for (const QPolygonF& p : expected)
        text += "\n expected:" + QString::number(p.size()) + " corners from " + QString::number(p.first().x()) + "," + QString::number(p.first().y());
    return text;
}

}

class TestGameEngines : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { registerTemplateLookups(); }
    void love();
    void godot();
    void matter();
};

void TestGameEngines::love()
{
    const QString program = QStandardPaths::findExecutable("love");
    if (program.isEmpty())
        QSKIP("LÖVE is not installed (Debian package love; ./test.sh installs it)");
    Sample sample("love-lua", {{"body 1", {{"linearDamping", 0.5}}},
                               {"fixture 1", {{"density", 2.0}, {"friction", 0.5}, {"filter_categoryBits", 2},
                                              {"filter_maskBits", 0xFFF5}, {"filter_groupIndex", -3}}},
                               {"body 2", {{"bodyType", 0}}},
                               {"sensor", {{"isSensor", true}}}});
    sample.document.setValueDirect("ptm", 40.0);
    QVERIFY(sample.publish());
    QTemporaryDir game;
    for (const char* file : {"conf.lua", "main.lua"})
        QVERIFY(QFile::copy(engines + "love/" + file, game.filePath(file)));
    QVERIFY(QFile::copy(sample.file, game.filePath("shapes.lua")));
    const Report report = run(program, {game.path()});
    QVERIFY2(report.verdict == "ok", qPrintable(report.all));

    const QList<QStringList> bodies = report.lines.values("body");
    QCOMPARE(bodies.size(), 3);
    // Lines come back last first.
    QCOMPARE(QString::fromUtf8(QByteArray::fromHex(bodies.last()[1].toLatin1())), hostileName);
    QCOMPARE(bodies.last()[2], "dynamic");
    QCOMPARE(bodies[1][2], "static");
    for (int body = 1; body <= 3; ++body) {
        QList<QPolygonF> printed;
        for (const QStringList& line : report.lines.values("polygon")) {
            if (line[0].toInt() == body)
                printed << points(line.mid(2));
        }
        // LÖVE takes metres; the engine keeps single precision.
        QVector<QPolygonF> expected;
        for (const QPolygonF& piece : sample.pieces(body - 1))
            expected << scaled(piece, 1 / 40.0);
        const QString missing = unmatched(expected, printed, 1e-5);
        QVERIFY2(missing.isEmpty(), qPrintable(missing + "\n" + report.all));
    }
    const QStringList circle = report.lines.values("circle").value(0);
    const QPointF center = PublishGeometry::circleCenter(*qobject_cast<FixtureCircle*>(sample.document.element(0)->fixtures().at(2)));
    QVERIFY(QLineF(QPointF(circle[2].toDouble(), circle[3].toDouble()), center / 40).length() < 1e-5);
    QVERIFY(std::abs(circle[4].toDouble() - 10 / 40.0) < 1e-6);
    // The L's bits and group, and the sensing box.
    QStringList settings;
    for (const QStringList& line : report.lines.values("fixture"))
        settings.prepend(line.join(' '));
    QVERIFY2(settings.contains("1 1 false 2 65525 -3") && settings.contains("3 1 true 1 65535 0"), qPrintable(settings.join('|')));
}

void TestGameEngines::godot()
{
    const QString program = QStandardPaths::findExecutable("godot3-server");
    if (program.isEmpty())
        QSKIP("Godot 3 is not installed (Debian package godot3-server; ./test.sh installs it)");
    Sample sample("godot3-tscn", {{"body 1", {{"mass", 3.0}, {"friction", 0.25}, {"bounce", 0.5}, {"collisionLayer", 5},
                                             {"collisionMask", 6}}},
                                  {"body 2", {{"bodyType", 0}}},
                                  {"body 3", {{"bodyType", 0}}},
                                  {"sensor", {{"isSensor", true}}}});
    QVERIFY(sample.publish());
    QTemporaryDir project;
    QVERIFY(ModelTest::writeFile(project.filePath("project.godot"), "config_version=4\n"));
    QVERIFY(QFile::copy(engines + "godot/test.gd", project.filePath("test.gd")));
    const Report report = run(program, {"--path", project.path(), "-s", project.filePath("test.gd"), "--", sample.file});
    QVERIFY2(report.verdict == "ok", qPrintable(report.all));

    const QList<QStringList> bodies = report.lines.values("body");
    QCOMPARE(bodies.size(), 3);
    QCOMPARE(QString::fromUtf8(QByteArray::fromHex(bodies.last()[1].toLatin1())), hostileName);
    QCOMPARE(bodies.last().mid(2), QStringList({"RigidBody2D", "5", "6"}));
    QCOMPARE(bodies.first()[2], "StaticBody2D");
    QCOMPARE(report.lines.values("mass"), QList<QStringList>({{"1", "3.000000"}}));
    QCOMPARE(report.lines.values("material").last(), QStringList({"1", "0.250000", "0.500000"}));
    for (int body = 1; body <= 3; ++body) {
        QList<QPolygonF> printed;
        for (const QStringList& line : report.lines.values("polygon")) {
            if (line[0].toInt() == body)
                printed << points(line.mid(3));
        }
        const QString missing = unmatched(sample.pieces(body - 1), printed, 1e-4);
        QVERIFY2(missing.isEmpty(), qPrintable(missing + "\n" + report.all));
    }
    // Named by fixture and piece: the L's pieces, then the 12-gon's, then the circle.
    QStringList names, expectedNames;
    for (const QStringList& line : report.lines.values("polygon") + report.lines.values("circle")) {
        if (line[0] == "1")
            names.prepend(QString::fromUtf8(QByteArray::fromHex(line[1].toLatin1())));
    }
    const QList<Fixture*> fixtures = sample.document.element(0)->fixtures();
    for (int f = 0; f < 2; ++f) {
        for (int p = 1; p <= PublishGeometry::polygons(*qobject_cast<FixturePolygon*>(fixtures[f])).size(); ++p)
            expectedNames << QStringLiteral("Fixture %1 piece %2").arg(f + 1).arg(p);
    }
    expectedNames << "Fixture 3";
    std::sort(names.begin(), names.end());
    std::sort(expectedNames.begin(), expectedNames.end());
    QCOMPARE(names, expectedNames);
    // The sensing box's piece went into an Area2D with the body's layers.
    QCOMPARE(report.lines.values("area"), QList<QStringList>({{"3", "1", "1"}}));
    for (const QStringList& line : report.lines.values("polygon"))
        QCOMPARE(line[2], line[0] == "3" ? "1" : "0");
    const QStringList circle = report.lines.values("circle").value(0);
    const QPointF center = PublishGeometry::circleCenter(*qobject_cast<FixtureCircle*>(sample.document.element(0)->fixtures().at(2)));
    QVERIFY(QLineF(QPointF(circle[3].toDouble(), circle[4].toDouble()), center).length() < 1e-4);
    QCOMPARE(circle[5].toDouble(), 10.0);
}

void TestGameEngines::matter()
{
    const QString node = QStandardPaths::findExecutable("node");
    const QString module = QStringLiteral(HWT_NODE_MODULES "/matter-js");
    if (node.isEmpty() || !QFileInfo(module).isDir())
        QSKIP("Matter.js is not installed in the build tree (needs node and npm; ./test.sh installs it)");
    Sample sample("matter-json", {{"body 1", {{"density", 0.002}, {"collisionCategory", 2}, {"collisionMask", 5},
                                              {"collisionGroup", -1}}},
                                  {"body 2", {{"isStatic", true}}},
                                  {"body 3", {{"isSensor", true}}}});
    QVERIFY(sample.publish());
    const Report report = run(node, {engines + "matter/load.js", module, sample.file});
    QVERIFY2(report.verdict == "ok", qPrintable(report.all));

    const QList<QStringList> bodies = report.lines.values("body");
    QCOMPARE(bodies.size(), 3);
    QCOMPARE(QString::fromUtf8(QByteArray::fromHex(bodies.last()[1].toLatin1())), hostileName);
    QCOMPARE(bodies.last().mid(2), QStringList({"false", "false", "2", "5", "-1"}));
    QCOMPARE(bodies[1].mid(2, 2), QStringList({"true", "false"}));
    QCOMPARE(bodies.first().mid(2, 2), QStringList({"false", "true"}));
    for (int body = 1; body <= 3; ++body) {
        QList<QPolygonF> printed;
        for (const QStringList& line : report.lines.values("part")) {
            if (line[0].toInt() == body)
                printed << points(line.mid(1));
        }
        const QString missing = unmatched(sample.pieces(body - 1), printed, 1e-6);
        QVERIFY2(missing.isEmpty(), qPrintable(missing + "\n" + report.all));
    }
    const QStringList circle = report.lines.values("circle").value(0);
    const QPointF center = PublishGeometry::circleCenter(*qobject_cast<FixtureCircle*>(sample.document.element(0)->fixtures().at(2)));
    QVERIFY(QLineF(QPointF(circle[1].toDouble(), circle[2].toDouble()), center).length() < 1e-6);
    QCOMPARE(circle[3].toDouble(), 10.0);
}

MODEL_TEST_MAIN(TestGameEngines)
#include "tst_gameengines.moc"
