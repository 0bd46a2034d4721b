#include "error.h"
#include "exporterregistry.h"
#include "modeltestsupport.h"
#include "streamio.h"

#include <QRect>
#include <QTemporaryDir>
#include <QUndoStack>
#include <QtEndian>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>

namespace {

// The bytes of a project file built by hand, field by field, so that the tests
// depend neither on the writer nor on Qt's stream operators being right.
struct Bytes
{
    QByteArray data;

    template <typename T>
    Bytes& be(T v) { char bytes[sizeof(T)]; qToBigEndian(v, bytes); return raw(QByteArray(bytes, sizeof(T))); }
    Bytes& raw(const QByteArray& bytes) { data += bytes; return *this; }
    Bytes& i32(qint64 v) { return be(quint32(v)); }
    Bytes& u16(int v) { return be(quint16(v)); }
    Bytes& u8(int v) { return be(quint8(v)); }
    Bytes& f64(double v) { quint64 bits; memcpy(&bits, &v, 8); return be(bits); }
    Bytes& point(double x, double y) { return f64(x).f64(y); }
    Bytes& tag(const char* letters) { return raw(QByteArray(letters, 4)); }
    Bytes& str(const QString& s) { i32(s.size() * 2); for (QChar c : s) u16(c.unicode()); return *this; }
    // A value of a value map: its type number, the null flag, then the payload.
    Bytes& value(int type) { return i32(type).u8(0); }
    Bytes& vString(const QString& s) { return value(10).str(s); }
    Bytes& vStrings(const QStringList& list) { value(11).i32(list.size()); for (auto& s : list) str(s); return *this; }
    // The start of a version 4 file for the exporter "box" whose value map holds `values` entries.
    Bytes& head(int values = 0) { return tag("HWRT").i32(4).str("box").str("").i32(values); }
    // ... then one body of version 5 with no values and `fixtures` fixture sections.
    Bytes& body(int fixtures = 1) { return head().i32(1).tag("BODY").i32(5).i32(0).i32(fixtures); }
    // A version 5 body with one image relative to the project and one polygon.
    Bytes& ship()
    {
        tag("BODY").i32(5).i32(4).str("name").vString("ship").str("imageFileNames").vStrings({"img/ship.png"});
        str("currentImageName").vString("img/ship.png").str("anchorPointAbs").value(26).point(2.5, 3).i32(1);
        tag("FIXT").i32(4).u16('P').i32(2).str("type").vString("POLYGON").str("density").value(135).f64(1.5);
        return tag("POLY").i32(1).i32(3).point(1, 0).point(4, 0).point(4, 4);
    }
};

const QString damaged = "Can't read file: the file is truncated or damaged";

}

class TestProjectFile : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString path(const QString& name) const { return dir.filePath(name); }
    QByteArray contents(const QString& name) const
    {
        QFile file(path(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("not readable");
    }

    // Reads `bytes` as a project file into `doc`; the message of the error it throws, if any.
    QString load(ElementListModel& doc, const QByteArray& bytes)
    {
        QFile file(path("project.hws"));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            return "not written";
        file.close();
        try {
            return doc.load(file.fileName()) ? QString() : QStringLiteral("not opened");
        } catch (const Error& error) {
            return error.code() == 5 ? error.message() : QStringLiteral("wrong code");
        }
    }

private slots:
    void initTestCase()
    {
        // The registry keeps the exporters until the process ends.
        ExporterRegistry::instance().add(new Exporter(ModelTest::writeExporter(dir.path(), "box", "box")));
        ExporterRegistry::instance().add(new Exporter(ModelTest::writeExporter(dir.path(), "other", "other", "down")));
        ModelTest::makeImage(dir.path(), "img/ship.png", 40, 20);
    }

    void read_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("expected");  // the error, or ModelTest::describe() of what was read; $ is the folder
        const auto row = [](const char* name, const Bytes& bytes, const QString& expected) {
            QTest::newRow(name) << bytes.data << expected;
        };
        const QString ship = "\nbody anchorPointAbs=2.5,3 currentImageName=QString:$/img/ship.png imageFileNames="
                             "QStringList:$/img/ship.png name=QString:ship size=40x20\n P density=1.5f "
                             "type=QString:POLYGON shape 1,0 4,0 4,4";
        const Bytes v4 = Bytes().tag("HWRT").i32(4).str("box").str("box display").i32(1).str("exportFileName")
                             .vString("out/shapes.json").i32(1).ship();
        row("main 4", v4, "box exportFileName=QString:$/out/shapes.json" + ship);
        row("main 3", Bytes().tag("HWRT").i32(3).str("box").str("x").i32(0).i32(2).str("wall").str("floor").i32(1)
                          .ship(), "box filter_bitfield=QStringList:wall|floor" + ship);
        // Versions 1 and 2 name no exporter: the document keeps its own.
        row("main 2 without tag, short list", Bytes().i32(2).i32(1).ship().i32(3).str("a").str("b"),
            "other filter_bitfield=QStringList:a|b" + ship);
        row("main 1", Bytes().tag("HWRT").i32(1).i32(1).ship(), "other" + ship);

        row("body 2", Bytes().head().i32(1).tag("BODY").i32(2).str("hero").str("x").point(1, 2).point(9, 9).i32(0),
            "box\nbody anchorPointAbs=1,2 imageFileNames=QStringList:hero name=QString:hero");
        row("body 3 without tag", Bytes().head().i32(1).i32(3).str("hero").str(path("img/ship.png")).point(1.5, 2)
                                      .i32(64).i32(32).i32(0),
            "box\nbody anchorPointAbs=1.5,2 imageFileNames=QStringList:$/img/ship.png name=QString:hero size=64x32");
        row("body 4", Bytes().head().i32(1).tag("BODY").i32(4).i32(3).str("name").vString("hero").str("imageFileName")
                          .vString("img/ship.png").str("anchorPointAbs").value(26).point(4, 5).i32(0),
            "box\nbody anchorPointAbs=4,5 imageFileNames=QStringList:$/img/ship.png name=QString:hero size=40x20");
        row("body 4 without image", Bytes().head().i32(1).tag("BODY").i32(4).i32(1).str("name").vString("x").i32(0),
            "box\nbody name=QString:x");
        row("body 5, first image current", Bytes().head().i32(1).tag("BODY").i32(5).i32(2).str("imageFileNames")
                                               .vStrings({"img/ship.png", "img/b.png"}).str("size").value(21).i32(7)
                                               .i32(7).i32(0),
            "box\nbody currentImageName=QString:$/img/ship.png imageFileNames=QStringList:$/img/ship.png|$/img/b.png "
            "size=40x20");

        const QByteArray poly = Bytes().tag("POLY").i32(1).i32(1).point(1, 2).data;
        const QByteArray v2 = Bytes().u16('P').u16(1).u16(2).u16(-3).f64(0.5).f64(0.25).f64(0.75).u8(1).data;
        const QString v2Text = " density=0.5f filter_categoryBits=int:1 filter_groupIndex=int:-3 filter_maskBits=int:2 "
                               "friction=0.75f isSensor=bool:true restitution=0.25f type=QString:POLYGON shape 1,2";
        row("fixture 1", Bytes().body().tag("FIXT").i32(1).u16('P').u16(0x8000).u16(-1).u16(-1).raw(poly),
            "box\nbody\n P filter_categoryBits=int:32768 filter_groupIndex=int:-1 filter_maskBits=int:65535 "
            "type=QString:POLYGON shape 1,2");
        row("fixture 2 without tag", Bytes().body().i32(2).raw(v2).raw(poly), "box\nbody\n P" + v2Text);
        row("fixture 3", Bytes().body().tag("FIXT").i32(3).raw(v2).i32(42).raw(poly),
            "box\nbody\n P cbValue=int:42" + v2Text);
        row("fixture 4", Bytes().body().tag("FIXT").i32(4).u16('P').i32(1).str("x").value(6).f64(0.1).raw(poly),
            "box\nbody\n P x=0.10000000000000001 shape 1,2");
        row("circle without tag", Bytes().body().tag("FIXT").i32(4).u16('C').i32(0).i32(1).point(3.25, -4).f64(6.5),
            "box\nbody\n C shape 3.25,-4 r6.5");

        const QString version = "Can't read file: %1 section version is %2";
        const QString unknown = "Can't read file: Unknown fixture type %1";
        row("main version", Bytes().tag("HWRT").i32(9), version.arg("Main").arg(9));
        row("main version untagged", Bytes().i32(0), version.arg("Main").arg(0));
        row("body version 1", Bytes().head().i32(1).tag("BODY").i32(1), version.arg("Body").arg(1));
        row("body version 6", Bytes().head().i32(1).i32(6), version.arg("Body").arg(6));
        row("fixture version", Bytes().body().tag("FIXT").i32(5), version.arg("Fixture").arg(5));
        row("polygon version", Bytes().body().tag("FIXT").i32(4).u16('P').i32(0).tag("POLY").i32(2),
            version.arg("Polygon").arg(2));
        row("circle version", Bytes().body().tag("FIXT").i32(4).u16('C').i32(0).tag("CIRC").i32(7),
            version.arg("Circle").arg(7));
        row("fixture type", Bytes().body().tag("FIXT").i32(4).u16('X').i32(0), unknown.arg('X'));
        row("circle in version 3", Bytes().body().tag("FIXT").i32(3).u16('C'), unknown.arg('C'));
        row("value type", Bytes().head(1).str("k").value(127), "Can't read file: unsupported value type 127");
        // Truncated files, and counts far beyond what the file holds, fail before anything large is allocated.
        row("empty file", Bytes(), damaged);
        row("truncated body", Bytes().head().i32(1).tag("BODY").i32(5).i32(1).str("name"), damaged);
        row("truncated polygon", Bytes().body().tag("FIXT").i32(4).u16('P').i32(0).raw(poly.left(12)), damaged);
        row("odd string length", Bytes().tag("HWRT").i32(4).i32(3).raw("abc"), damaged);
        row("negative body count", Bytes().tag("HWRT").i32(1).i32(-1), damaged);
        row("bodies", Bytes().tag("HWRT").i32(1).i32(0x7FFFFFFF), damaged);
        row("value map", Bytes().head(-16), damaged);
        row("string", Bytes().head(1).i32(0x7FFFFFF0), damaged);
        row("string list", Bytes().head(1).str("k").value(11).i32(0x7FFFFFFF), damaged);
        row("list", Bytes().head(1).str("k").value(9).i32(0x7FFFFFFF), damaged);
        row("byte array", Bytes().head(1).str("k").value(12).i32(0x7FFFFFF0), damaged);
        row("fixtures", Bytes().body(0x7FFFFFFF), damaged);
        row("points", Bytes().body().tag("FIXT").i32(4).u16('P').i32(0).tag("POLY").i32(1).i32(0x7FFFFFFF), damaged);
        Bytes deep = Bytes().head(1).str("k");
        for (int i = 0; i < 20; ++i)
            deep.value(9).i32(1);
        row("deep nesting", deep.value(2).i32(0).i32(0), damaged);
    }

    void read()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, expected);
        ElementListModel doc;
        doc.setExporter(ExporterRegistry::instance().exporter("other"));
        RecordingReporter reporter;
        const QString error = load(doc, bytes);
        QCOMPARE(error.isEmpty() ? ModelTest::describe(doc) : error, expected.replace('$', dir.path()));
        QVERIFY(reporter.entries.isEmpty());
        // Reading is not editing, and undo recording is back on even when reading stopped half-way.
        QCOMPARE(doc.undoStack()->count(), 0);
        QVERIFY(!doc.isModified() && doc.isUndoEnabled());
        for (const Element* body : doc.elements()) {
            QVERIFY(body->isUndoEnabled() && body->exporter() == doc.exporter());
            QCOMPARE(body->isImageValid(), body->imageFileNames().value(0).startsWith(dir.path()));
            for (const Fixture* fixture : body->fixtures())
                QVERIFY(fixture->isUndoEnabled() && fixture->exporter() == doc.exporter());
        }
    }

    void unreadableFiles()
    {
        ElementListModel doc;
        QVERIFY(!doc.load(path("missing.hws")));
        QVERIFY(!doc.load(dir.path()));
        QVERIFY(!doc.load("/dev/zero"));
        QVERIFY(!doc.save(path("no/such/dir/x.hws")));
        QVERIFY(!doc.save(dir.path()));
        QVERIFY(!QFileInfo::exists(path("no")));
    }

    void valueReaderMatchesQt()
    {
        const QVariantList values{QVariant(), true, -7, 4000000000u, -(qlonglong(1) << 40), qulonglong(1) << 63, 0.1,
                                  0.1f, QChar(0x263A), "grüße", QString(), "", QStringList{"a", "", "ß"},
                                  QByteArray("\0\1x", 3), QByteArray(), QPoint(-1, 2), QPointF(-1.5, 2e300),
                                  QSize(3, 4), QSizeF(3.5, 4), QRect(1, 2, 3, 4), QRectF(1, 2, 3.5, 4),
                                  QVariantMap{{"a", 1}, {"b", QVariantMap{{"c", true}}}}, QVariantHash{{"a", 1.5f}},
                                  QVariant::fromValue<qint16>(-3), QVariant::fromValue<quint16>(65535),
                                  QVariant::fromValue<char>('x'), QVariant::fromValue<quint8>(200)};
        QByteArray bytes;
        QDataStream out(&bytes, QIODevice::WriteOnly);
        StreamIO::prepare(out);
        out << QVariant(values) << QVariant(values);
        QDataStream in(bytes);
        StreamIO::prepare(in);
        QVariant theirs;
        in >> theirs;
        const QVariantList ours = StreamIO::readVariant(in).toList();
        QVERIFY(in.status() == QDataStream::Ok && in.atEnd());
        for (int i = 0; i < values.size(); ++i) {
            const QVariant expected = theirs.toList().at(i);
            QVERIFY2(ours.value(i).userType() == expected.userType() && ours.value(i) == expected
                         && ours.value(i).isNull() == expected.isNull(), qPrintable(expected.toString()));
        }
    }

    void writeAndReadBack()
    {
        ElementListModel doc;
        doc.setExporter(ExporterRegistry::instance().exporter("other"));
        doc.setValue("ptm", 48.5f);
        doc.setExportFileName(path("out/hero.plist"));
        for (int i = 0; i < 2; ++i) {
            Element* body = doc.addFile(path(i ? "img/ship.png" : "img/none.png"));
            body->setCurrentImage(body->imageFileNames().first());
            body->setValue("isDynamic", i == 0);
            body->setAnchorPointAbsDirect(QPointF(i + 0.1, 2.0 / 3));
            auto* polygon = new FixturePolygon(body);
            polygon->setPolygonDirect(QPolygonF({{1.1, i / 3.0}, {1e-300, -7}, {i * 1e300, 0.3}}));
            polygon->setValue("density", i + 0.1f);
            body->addFixture(polygon);
            auto* circle = new FixtureCircle(body);
            circle->setCircleDirect(QPointF(i, -i), 0.7 + i);
            body->addFixture(circle);
        }
        QVERIFY(doc.save(path("round.hws")));
        const QByteArray bytes = contents("round.hws");
        QVERIFY(bytes.startsWith(Bytes().tag("HWRT").i32(4).str("other").str("other display").data));
        // Paths are stored relative to the project file.
        QVERIFY(bytes.contains(Bytes().vStrings({"img/ship.png"}).data) && !bytes.contains(dir.path().toUtf8()));
        QVERIFY(bytes.contains(Bytes().i32(2).tag("BODY").i32(5).data));
        QVERIFY(bytes.endsWith(Bytes().tag("FIXT").i32(4).u16('C').i32(1).str("type").vString("CIRCLE").tag("CIRC")
                                   .i32(1).point(1, -1).f64(1.7).data));
        ElementListModel reopened;
        QVERIFY(reopened.load(path("round.hws")));
        QCOMPARE(ModelTest::describe(reopened), ModelTest::describe(doc));

        // An empty export file name is no path.
        reopened.setExportFileName(QString());
        QVERIFY(reopened.save(path("round.hws")));
        QVERIFY(doc.load(path("round.hws")));
        QVERIFY(doc.hasValue("exportFileName") && doc.exportFileName().isEmpty());
    }

    void failedSaveKeepsThePreviousFile()
    {
        ElementListModel doc;
        doc.addFile(path("img/ship.png"));
        QVERIFY(doc.save(path("keep.hws")));
        const QByteArray before = contents("keep.hws");
        // The disk fills up half-way: files may not grow beyond a few bytes for a moment.
        doc.addFile(path("img/other.png"));
        struct rlimit previous;
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &previous), 0);
        const struct rlimit tiny{64, previous.rlim_max};
        const auto oldHandler = signal(SIGXFSZ, SIG_IGN);
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &tiny), 0);
        const bool saved = doc.save(path("keep.hws"));
        setrlimit(RLIMIT_FSIZE, &previous);
        signal(SIGXFSZ, oldHandler);
        QVERIFY(!saved);
        QCOMPARE(contents("keep.hws"), before);
    }

    void documentsOpenWithoutAnyExporter()
    {
        ExporterRegistry& registry = ExporterRegistry::instance();
        const QList<Exporter*> installed = registry.exporters();
        registry.clear();
        ElementListModel doc;
        RecordingReporter reporter;
        const QString error = load(doc, Bytes().head().i32(1).ship().data);
        for (Exporter* exporter : installed)
            registry.add(exporter);
        QCOMPARE(error, QString());
        QVERIFY(!doc.exporter() && !doc.element(0)->exporter() && !doc.element(0)->value("isDynamic").isValid());
        doc.element(0)->setValue("isDynamic", true);
        QCOMPARE(doc.undoStack()->count(), 1);
    }
};

MODEL_TEST_MAIN(TestProjectFile)
#include "tst_projectfile.moc"
