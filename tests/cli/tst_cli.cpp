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
        row("publish, no output", {"publish", "$/new.hws"}, 2,
            "=hullwright-cli: $/new.hws has no export file name; give one with --output FILE\n");
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
        row("trace, bad threshold", {"trace", "$/crate.png", "--threshold", "300"}, 1, "--threshold");
        row("trace, no image", {"trace", "$/none.png"}, 2, "Can't read image ");
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
