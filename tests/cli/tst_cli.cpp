#include "modeltestsupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class TestCli : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    void initTestCase()
    {
        const QDir d(dir.path());
        ModelTest::writeExporter(d, "first/zeta", "zeta");
        ModelTest::writeExporter(d, "first/shared", "shared");
        ModelTest::writeExporter(d, "second/shared2", "shared", "down", "chipmunk",
                                 "<supportsCircles>no</supportsCircles><polygonOrientation>CCW</polygonOrientation>"
                                 "<anchorPoint><enabled>false</enabled></anchorPoint>");
        ModelTest::writeExporter(d, "broken/good", "Alpha");  // sorts before every shipped exporter
        d.mkpath("broken/empty");
        ModelTest::writeExporter(d, "names/n", "names", "up", "box2d", "<template>t.txt</template>");
        QVERIFY(ModelTest::writeFile(d.filePath("names/n/t.txt"), "{% for b in bodies %}{{ b.name }};{% endfor %}"));
        QVERIFY(ModelTest::writeFile(d.filePath("l.json"), "[[0,0],[10,0],[10,4],[4,4],[4,10],[0,10]]"));
        // A 6 x 6 ring round a 2 x 2 hole, a 2 x 2 island and a single pixel.
        QImage islands(12, 8, QImage::Format_ARGB32);
        islands.fill(Qt::transparent);
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 6; ++x)
                islands.setPixel(x, y, (x / 2 == 1 && y / 2 == 1) ? 0u : 0xff000000u);
        for (const QPoint& p : {QPoint(9, 0), QPoint(10, 0), QPoint(9, 1), QPoint(10, 1), QPoint(11, 7)})
            islands.setPixel(p, 0xff000000u);
        QVERIFY(islands.save(d.filePath("islands.png")));
        ModelTest::makeImage(d, "full.png", 12, 8);
        // Animation frames; run10 is neither the first by name nor of the others' size.
        d.mkpath("anim");
        for (const char* frame : {"anim/run2.png", "anim/walk_01.png"})
            QVERIFY(QFile::copy(d.filePath("islands.png"), d.filePath(frame)));
        for (const char* frame : {"anim/run3.png", "anim/walk_02.png"})
            QVERIFY(QFile::copy(d.filePath("full.png"), d.filePath(frame)));
        ModelTest::makeImage(d, "anim/run10.png", 6, 4);
        ModelTest::makeImage(d, "anim/jump_3.png", 6, 4);
        ModelTest::makeImage(d, "crate (3).png", 6, 4);

        Exporter zeta(d.filePath("first/zeta"));
        ElementListModel project;
        project.setExporter(&zeta);
        project.setValue("ptm", 0.1f);
        Element* body = ModelTest::addBody(project, ModelTest::makeImage(d, "crate.png", 6, 4),
                                           QPolygonF({{0.1, 0.2}, {3, 0}, {1.0 / 3, 4}}));
        body->fixtures().first()->setValue("isSensor", true);
        QVERIFY(project.save(d.filePath("crates.hws")));
        const QList<Fixture*> fixtures = body->fixtures();
        body->setFixturesDirect({});  // so that publishing warns
        qDeleteAll(fixtures);
        QVERIFY(project.save(d.filePath("lost.hws")));
        QVERIFY(ElementListModel().save(d.filePath("none.hws")));
        // A project of an installed exporter that names its export file.
        Exporter names(d.filePath("names/n"));
        ElementListModel named;
        named.setExporter(&names);
        ModelTest::addBody(named, d.filePath("crate.png"));
        named.setExportFileName(d.filePath("named.txt"));
        QVERIFY(named.save(d.filePath("named.hws")));
        // A project whose image is deleted after saving.
        ElementListModel gone;
        gone.setExporter(&names);
        ModelTest::addBody(gone, ModelTest::makeImage(d, "gone/ghost.png", 6, 4));
        QVERIFY(gone.save(d.filePath("gone.hws")) && QFile::remove(d.filePath("gone/ghost.png")));
        // Something to drop: a box, an ell on its foot and a ball, 32 pixels a metre.
        ElementListModel drop;
        drop.setExporter(&zeta);
        const QList<QPolygonF> shapes{QPolygonF({{0, 0}, {32, 0}, {32, 32}, {0, 32}}),
                                      QPolygonF({{0, 0}, {96, 0}, {96, 20}, {24, 20}, {24, 64}, {0, 64}}), {}};
        for (int i = 0; i < shapes.size(); ++i) {
            Element* body = drop.addFile(ModelTest::makeImage(d, QStringLiteral("drop%1.png").arg(i), 96, 64));
            body->setName(QStringLiteral("drop \"%1\"").arg(i));
            body->setAnchorPointAbsDirect({16, 16});
            auto* circle = new FixtureCircle(body);
            circle->setCircleDirect({16, 16}, 16);
            auto* polygon = new FixturePolygon(body);
            polygon->setPolygonDirect(shapes[i]);
            body->addFixture(shapes[i].isEmpty() ? static_cast<Fixture*>(circle) : polygon);
            delete (shapes[i].isEmpty() ? static_cast<Fixture*>(polygon) : circle);
        }
        QVERIFY(drop.save(d.filePath("drop.hws")));
        drop.elements().first()->setName("line");
        qobject_cast<FixturePolygon*>(drop.elements().first()->fixtures().first())->setPolygonDirect(QPolygonF(QVector<QPointF>{{0, 0}, {9, 9}}));
        QVERIFY(drop.save(d.filePath("lines.hws")));
    }

    // The world of the preview, run for a while: the same bytes every time,
    // bodies at rest where their shapes hold them.
    void simulate()
    {
        QStringList outputs;
        for (const char* seconds : {"4", "4", "0"}) {
            QProcess process;
            process.start(HULLWRIGHT_CLI, {"simulate", dir.filePath("drop.hws"), "--seconds", seconds, "--exporters",
                                           dir.filePath("first")});
            QVERIFY(process.waitForFinished(60000));
            QCOMPARE(process.exitCode(), 0);
            QCOMPARE(process.readAllStandardError(), QByteArray());
            outputs << process.readAllStandardOutput();
        }
        QCOMPARE(outputs[1], outputs[0]);
        const QJsonObject rest = QJsonDocument::fromJson(outputs[0].toUtf8()).object();
        const QJsonObject start = QJsonDocument::fromJson(outputs[2].toUtf8()).object();
        QCOMPARE(rest["seconds"].toDouble(), 4.0);
        QCOMPARE(rest.keys(), QStringList({"bodies", "seconds"}));
        const QJsonArray bodies = rest["bodies"].toArray();
        const QJsonArray starts = start["bodies"].toArray();
        QCOMPARE(bodies.size(), 3);
        // Where the anchor rests: half the box, the ell's foot less its anchor, the ball's radius.
        const double heights[] = {0.5, 0.5, 0.5};
        for (int i = 0; i < bodies.size(); ++i) {
            const QJsonObject body = bodies[i].toObject();
            QCOMPARE(body["name"].toString(), QStringLiteral("drop \"%1\"").arg(i));
            QVERIFY2(std::abs(body["y"].toDouble() - heights[i]) < 0.03, qPrintable(outputs[0]));
            QVERIFY(std::abs(body["angle"].toDouble()) < 0.01);
            QCOMPARE(body["awake"].toBool(), false);
            QCOMPARE(starts[i]["awake"].toBool(), true);
            QVERIFY(starts[i]["y"].toDouble() > heights[i] + 0.5);
            // Left to right in document order.
            QVERIFY(i == 0 || starts[i]["x"].toDouble() > starts[i - 1]["x"].toDouble());
        }
    }

    void commands_data()
    {
        QTest::addColumn<QStringList>("arguments");  // $ is the test folder; "--exporters $/names" is added
        QTest::addColumn<QString>("io");             // "<text" to read from standard input, ">file" to write to
        QTest::addColumn<int>("exitCode");
        // What the program prints contains; "=text": standard error is exactly text; empty: it is empty.
        QTest::addColumn<QString>("error");
        // Parts of the JSON printed; "#n": n entries; "$/f:t": f holds t; "=text": standard output is exactly text.
        QTest::addColumn<QStringList>("output");
        const auto row = [](const char* name, const QStringList& arguments, int exitCode, const QString& error,
                            const QStringList& output = {}, const QString& io = {}) {
            QTest::newRow(name) << arguments << io << exitCode << error << output;
        };
        row("no command", {}, 1, "Usage: hullwright-cli");
        row("unknown option", {"exporters", "--fast"}, 1, "unknown option --fast");
        row("help", {"--help"}, 0, "Usage: hullwright-cli");
        row("exporters, later wins", {"exporters", "--exporters", "$/first", "--exporters=$/second"}, 0, "",
            {R"({"anchorPointEnabled":false,"directory":"$/second/shared2","displayName":"shared display",)"
             R"("fileExtension":"","name":"shared","originType":"anchorpoint","physicsEngine":"chipmunk",)"
             R"("polygonOrientation":"ccw","supportsCircles":false,"yAxisDirection":"down"})", R"("name":"zeta")"});
        row("broken exporter", {"exporters", "--exporters", "$/broken"}, 0, "Can't read $/broken/empty/exporter.xml",
            {R"("name":"Alpha")"});
        row("no exporter directory", {"exporters", "--exporters", "$/nowhere"}, 2, "$/nowhere");
        row("full disk", {"exporters"}, 3, "", {}, ">/dev/full");
        row("dump", {"dump", "$/crates.hws", "--exporters", "$/first"}, 0, "",
            {R"({"bodies":[{"fixtures":[{"kind":"P","polygon":[[0.1,0.2],[3,0],[0.3333333333333333,4]],"values":)"
             R"({"isSensor":["bool",true],"type":["QString","POLYGON"]}},{"center":[1,2],"kind":"C","radius":3,)"
             R"("values":{"type":["QString","CIRCLE"]}}],"values":{"anchorPointAbs":["QPointF",[1,1]],)"
             R"("currentImageName":["QString","$/crate.png"],"imageFileNames":["QStringList",["$/crate.png"]],)"
             R"("name":["QString","crate"],"size":["QSize",[6,4]]}}],"exporter":"zeta","values":{"ptm":["float",)"
             R"(0.10000000149011612]}})"});
        row("dump, exporter unknown", {"dump", "$/crates.hws", "--exporters", "$/broken"}, 0,
            "File was created using unknown exporter zeta.", {R"("exporter":"Alpha")"});
        row("dump, no file", {"dump", "$/missing.hws"}, 2, "Can't open $/missing.hws");
        row("decompose", {"decompose", "$/l.json"}, 0, "", {"#2"});
        row("decompose two points", {"decompose"}, 0, "", {"[]"}, "<[[0,0],[1,1]]");
        row("decompose, not json", {"decompose"}, 2, "must be a JSON array", {}, "<[[0,0],");
        row("create, no exporter", {"create", "$/new.hws", "$/crate.png"}, 1, "--exporter NAME");
        row("create, no image", {"create", "$/new.hws", "--exporter", "names", "$/gone.png"}, 2, "Can't read image");
        // The first unreadable image in the order given, however the threads finish.
        row("create, two images unreadable", {"create", "$/new.hws", "--exporter", "names", "--trace", "--jobs", "2",
            "$/crate.png", "$/gone.png", "$/islands.png", "$/none.png"}, 2, "=Can't read image $/gone.png: no such file\n");
        row("create, no threads", {"create", "$/new.hws", "--exporter", "names", "--jobs", "0", "$/crate.png"}, 1,
            "--jobs");
        // The rows below read what the rows before them wrote.
        row("create", {"create", "$/new.hws", "--exporter", "names", "$/crate.png", "$/crate.png"}, 0, "",
            {"=$/new.hws\n"});
        row("create, relative paths", {"create", "relative.hws", "--exporter", "names", "crate.png"}, 0, "",
            {"=$/relative.hws\n"});
        row("dump created", {"dump", "$/new.hws"}, 0, "",
            {R"("fixtures":[],"values":{"currentImageName":["QString","$/crate.png"],"imageFileNames":["QStringList",)"
             R"j(["$/crate.png"]],"name":["QString","crate (2)"],"size":["QSize",[6,4]]}}],"exporter":"names")j"});
        row("publish", {"publish", "$/new.hws", "--output", "$/out.txt"}, 0,
            "=These bodies have no fixtures, so the published file has no collision shape for them:\ncrate\n"
            "crate (2)\n", {"$/out.txt:crate;crate (2);"});
        // A numbered name is not taken twice, nor one below it after it.
        row("create, numbered names", {"create", "$/numbered.hws", "--exporter", "names", "--jobs", "2",
            "$/crate (3).png", "$/crate.png", "$/crate.png"}, 0, "");
        row("publish numbered names", {"publish", "$/numbered.hws", "--output", "$/numbered.txt"}, 0, "fixtures",
            {"$/numbered.txt:crate (3);crate (4);crate (5);"});
        row("publish, no output", {"publish", "$/new.hws"}, 2,
            "=hullwright-cli: $/new.hws has no export file name; give one with --output FILE\n");
        row("dump, image deleted", {"dump", "$/gone.hws"}, 0, "",
            {R"("name":["QString","ghost"],"size":["QSize",[6,4]])"});
        row("publish, image deleted", {"publish", "$/gone.hws", "--output", "$/gone.txt"}, 0, "", {"$/gone.txt:ghost;"});
        row("publish to the project's export file", {"publish", "$/named.hws"}, 0, "", {"$/named.txt:crate;"});
        // Never another exporter's format in place of the project's own, unless asked for.
        row("publish, exporter not installed", {"publish", "$/lost.hws", "--output", "$/lost.txt"}, 2,
            "=hullwright-cli: exporter zeta is not installed\n", {"$/lost.txt:not readable"});
        // Without a word about the missing one; what publishing reports still comes through.
        row("publish, missing exporter replaced", {"publish", "$/lost.hws", "--exporter", "names", "--output",
            "$/lost.txt"}, 0,
            "=These bodies have no fixtures, so the published file has no collision shape for them:\ncrate\n",
            {"$/lost.txt:crate;"});
        row("publish, project without exporter", {"publish", "$/none.hws", "--output", "$/none.txt"}, 2,
            "=hullwright-cli: $/none.hws names no exporter; give one with --exporter NAME\n");
        row("publish, replacement not installed", {"publish", "$/lost.hws", "--exporter", "zeta"}, 2,
            "=No exporter named zeta\n");
        row("publish, unwritable", {"publish", "$/new.hws", "--output", "$/no/dir/x.txt"}, 3, "Failed to write ");
        row("create traced", {"create", "$/traced.hws", "--exporter", "names", "--trace", "$/crate.png"}, 0, "");
        row("dump traced", {"dump", "$/traced.hws"}, 0, "", {R"("kind":"P","polygon":[[0,0],[0,4],[6,4],[6,0]])"});
        row("trace", {"trace", "$/crate.png"}, 0, "", {"[[0,0],[0,4],[6,4],[6,0]]"});
        row("trace, nothing above the threshold", {"trace", "$/crate.png", "--threshold", "255"}, 0, "", {"[]"});
        row("simulate, negative time", {"simulate", "$/drop.hws", "--seconds", "-1"}, 1, "--seconds");
        row("simulate, no time", {"simulate", "$/drop.hws", "--seconds", "nan"}, 1, "--seconds");
        row("simulate, no project", {"simulate", "$/missing.hws"}, 2, "Can't open $/missing.hws");
        row("simulate, undecomposable", {"simulate", "$/lines.hws", "--seconds", "0", "--exporters", "$/first"}, 0,
            "=line: fixture 1: could not be cut into convex pieces\n", {R"("awake":true,"name":"line",)", R"("seconds":0})"});
        row("trace, bad threshold", {"trace", "$/crate.png", "--threshold", "300"}, 1, "--threshold");
        row("trace, no image", {"trace", "$/none.png"}, 2, "Can't read image ");
        row("trace, every island", {"trace", "$/islands.png", "--all-islands"}, 0, "",
            {"[[[6,2],[0,2],[0,8],[6,8]],[[11,6],[9,6],[9,8],[11,8]]]"});
        row("trace, holes", {"trace", "$/islands.png", "--holes", "--tolerance", "0"}, 0, "",
            {"[[[6,2],[0,2],[0,5.75],[2,5.75],[2,4],[4,4],[4,6],[0,6],[0,8],[6,8]],[[11,6],[9,6],[9,8],[11,8]]]"});
        row("trace, small islands kept", {"trace", "$/islands.png", "--all-islands", "--min-area=1"}, 0, "", {"#3"});
        // Islands are found where the one outline would be: on the composite of the frames.
        row("trace, islands of a frame union", {"trace", "$/islands.png", "$/full.png", "--all-islands", "--frames",
            "union"}, 0, "", {"[[[0,0],[0,8],[12,8],[12,0]]]"});
        row("trace, holes of a frame intersection", {"trace", "$/full.png", "$/islands.png", "--holes", "--frames",
            "intersection", "--tolerance", "0"}, 0, "", {"#2", "[[6,2],[0,2],[0,5.75],[2,5.75],[2,4],[4,4],[4,6],"});
        row("trace, island unreadable", {"trace", "$/islands.png", "$/none.png", "--all-islands"}, 2,
            "Can't read image ");
        row("trace, no island that large", {"trace", "$/islands.png", "--all-islands", "--min-area", "5000000000"}, 0,
            "", {"[]"});
        row("trace, negative minimum area", {"trace", "$/islands.png", "--min-area", "-1"}, 1, "--min-area");
        row("trace, islands from a start pixel", {"trace", "$/islands.png", "--holes", "--start", "1,1"}, 1,
            "--start");
        row("create, minimum area not a number", {"create", "$/i.hws", "--exporter", "names", "--trace",
            "--min-area", "x", "$/islands.png"}, 1, "--min-area");
        row("create with holes", {"create", "$/holes.hws", "--exporter", "names", "--trace", "--holes",
            "--tolerance", "0", "$/islands.png"}, 0, "");
        row("dump holes", {"dump", "$/holes.hws"}, 0, "",
            {R"("polygon":[[6,2],[0,2],[0,5.75],[2,5.75],[2,4],[4,4],[4,6],[0,6],[0,8],[6,8]])",
             R"("polygon":[[11,6],[9,6],[9,8],[11,8]])"});
        // The single pixel's outline is too small for a fixture.
        row("create, every island", {"create", "$/all.hws", "--exporter", "names", "--trace", "--all-islands",
            "--min-area", "0", "$/islands.png"}, 0, "");
        // A group takes the place of its first file; its frames go by number, the first sets the size.
        row("create, frames grouped", {"create", "$/anim.hws", "--exporter", "names", "--group-frames", "--trace",
            "--frames", "union", "$/anim/run10.png", "$/anim/jump_3.png", "$/anim/run2.png", "$/crate.png",
            "$/anim/run3.png", "$/anim/run2.png"}, 0, "");
        row("dump grouped frames", {"dump", "$/anim.hws"}, 0, "",
            {R"({"bodies":[{"fixtures":[{"kind":"P","polygon":[[0,0],[0,8],[12,8],[12,0]],)",
             R"("imageFileNames":["QStringList",["$/anim/run2.png","$/anim/run3.png","$/anim/run10.png"]],)"
             R"("name":["QString","run"],"size":["QSize",[12,8]]}},{"fixtures":[{"kind":"P",)"
             R"("polygon":[[0,0],[0,4],[6,4],[6,0]],)",
             R"("imageFileNames":["QStringList",["$/anim/jump_3.png"]],"name":["QString","jump_3"],)",
             R"("imageFileNames":["QStringList",["$/crate.png"]],"name":["QString","crate"],"size":["QSize",[6,4]]}}],)"
             R"("exporter")"});
        // One frame traced by default, every island of it here.
        row("create, frames grouped, first traced", {"create", "$/walk.hws", "--exporter", "names", "--group-frames",
            "--trace", "--all-islands", "$/anim/walk_02.png", "$/anim/walk_01.png"}, 0, "");
        row("dump first frame traced", {"dump", "$/walk.hws"}, 0, "",
            {R"({"bodies":[{"fixtures":[{"kind":"P","polygon":[[6,2],[0,2],[0,8],[6,8]],)",
             R"("polygon":[[11,6],[9,6],[9,8],[11,8]],"values":{"type":["QString","POLYGON"]}}],)",
             R"("imageFileNames":["QStringList",["$/anim/walk_01.png","$/anim/walk_02.png"]],"name":["QString","walk"])"});
        row("dump every island", {"dump", "$/all.hws"}, 0, "",
            {R"("fixtures":[{"kind":"P","polygon":[[6,2],[0,2],[0,8],[6,8]],)", R"("polygon":[[11,6],[9,6],[9,8],[11,8]],"values":{"type":["QString","POLYGON"]}}],"values")"});
    }

    // Images are read and traced on several threads, the project is written
    // in the order given: byte for byte the file of a single thread.
    void jobs_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::newRow("untraced") << QStringList();
        QTest::newRow("traced") << QStringList{"--trace"};
        QTest::newRow("holes") << QStringList{"--trace", "--holes", "--tolerance", "0"};
    }

    void jobs()
    {
        QFETCH(QStringList, options);
        const QDir d(dir.path());
        // The large image first, so that the threads finish out of order.
        QStringList images{ModelTest::makeImage(d, "jobs/large.png", 900, 700)};
        for (int i = 0; i < 4; ++i)
            images << d.filePath("islands.png") << d.filePath("crate.png");
        QByteArray lastName;  // as the project file holds it, after its length
        QDataStream stream(&lastName, QIODevice::WriteOnly);
        stream << QString("islands (4)");
        QByteArray single;
        for (const QString jobs : {"1", "2", "3"}) {
            const QString project = d.filePath("jobs/" + jobs + ".hws");
            QProcess process;
            process.start(HULLWRIGHT_CLI, QStringList{"create", project, "--exporter", "names", "--exporters",
                                                      d.filePath("names"), "--jobs", jobs} + options + images);
            QVERIFY(process.waitForFinished(60000));
            QCOMPARE(process.exitCode(), 0);
            const QByteArray written = ModelTest::readFile(project);
            QVERIFY(written.contains(lastName.mid(4)));
            if (single.isEmpty())
                single = written;
            QVERIFY2(written == single, qPrintable(jobs));
        }
    }

    void commands()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, io);
        QFETCH(int, exitCode);
        QFETCH(QString, error);
        QFETCH(QStringList, output);
        QProcess process;
        process.setWorkingDirectory(dir.path());
        if (io.startsWith('>'))
            process.setStandardOutputFile(io.mid(1));
        process.start(HULLWRIGHT_CLI, (arguments << "--exporters" << "$/names").replaceInStrings("$", dir.path()));
        process.write(io.startsWith('<') ? io.mid(1).toUtf8() : QByteArray());
        process.closeWriteChannel();
        QVERIFY(process.waitForFinished(60000));
        const QByteArray out = process.readAllStandardOutput();
        const QString err = process.readAllStandardError();
        QCOMPARE(process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, exitCode);
        error.replace('$', dir.path());
        if (error.startsWith('='))
            QCOMPARE(err, error.mid(1));
        else
            QVERIFY2(error.isEmpty() ? err.isEmpty() : QString(err + out).contains(error), qPrintable(err));
        QVERIFY(exitCode == 0 || out.isEmpty());
        // The output read back as JSON; lists of named entries are sorted by name.
        const QJsonDocument json = QJsonDocument::fromJson(out);
        const QString compact = json.toJson(QJsonDocument::Compact);
        const QJsonArray list = json.array();
        for (int i = 1; i < list.size() && list.at(0)["name"].isString(); ++i)
            QVERIFY(list.at(i - 1)["name"].toString() < list.at(i)["name"].toString());
        for (QString part : output.replaceInStrings("$", dir.path())) {
            if (part.startsWith('='))
                QCOMPARE(QString(out), part.mid(1));
            else if (part.startsWith('#'))
                QCOMPARE(list.size(), part.mid(1).toInt());
            else if (part.startsWith('/'))
                QCOMPARE(QString(ModelTest::readFile(part.section(':', 0, 0))), part.section(':', 1));
            else
                QVERIFY2(compact.contains(part), qPrintable(compact));
        }
    }
};

MODEL_TEST_MAIN(TestCli)
#include "tst_cli.moc"
