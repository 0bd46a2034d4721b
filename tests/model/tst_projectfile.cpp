#include "error.h"
#include "exporterregistry.h"
#include "imagecache.h"
#include "modeltestsupport.h"

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
    // Sections in part: a version 4 file for the exporter "box" with `values` values; it and its only body;
    // those and a version 5 body with no values and `fixtures` fixtures; a version 4 fixture with `values` values.
    Bytes& head(int values = 0) { return tag("HWRT").i32(4).str("box").str("").i32(values); }
    Bytes& body(int version) { return head().i32(1).tag("BODY").i32(version); }
    Bytes& fixtures(int fixtures = 1) { return body(5).i32(0).i32(fixtures); }
    Bytes& fixture(char type, int values) { return tag("FIXT").i32(4).u16(type).i32(values); }
    // A version 5 body with one image relative to the project and one polygon; a version 4 file holding it.
    Bytes& ship()
    {
        tag("BODY").i32(5).i32(4).str("name").vString("ship").str("imageFileNames").vStrings({"img/ship.png"});
        str("currentImageName").vString("img/ship.png").str("anchorPointAbs").value(26).point(2.5, 3).i32(1);
        fixture('P', 2).str("type").vString("POLYGON").str("density").value(135).f64(1.5);
        return tag("POLY").i32(1).i32(3).point(1, 0).point(4, 0).point(4, 4);
    }
    Bytes& project()
    {
        tag("HWRT").i32(4).str("box").str("box display").i32(1).str("exportFileName").vString("out/shapes.json");
        return i32(1).ship();
    }
};

const QString damaged = "Can't read file: the file is truncated or damaged";

}

class TestProjectFile : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString path(const QString& name) const { return dir.filePath(name); }

    // Reads `bytes` as a project file into `doc`; the message of the error it throws, if any.
    QString load(ElementListModel& doc, const QByteArray& bytes)
    {
        if (!ModelTest::writeFile(path("project.hws"), bytes))
            return "not written";
        try {
            return doc.load(path("project.hws")) ? QString() : QStringLiteral("not opened");
        } catch (const Error& error) {
            return error.code() == 5 ? error.message() : QStringLiteral("wrong code");
        }
    }

private slots:
    void initTestCase()
    {
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
        row("main 4", Bytes().project(), "box exportFileName=QString:$/out/shapes.json" + ship);
        row("main 3", Bytes().tag("HWRT").i32(3).str("box").str("x").i32(0).i32(2).str("wall").str("floor").i32(1)
                          .ship(), "box filter_bitfield=QStringList:wall|floor" + ship);
        // Versions 1 and 2 name no exporter: the document keeps its own.
        row("main 2 without tag, short list", Bytes().i32(2).i32(1).ship().i32(3).str("a").str("b"),
            "other filter_bitfield=QStringList:a|b" + ship);
        row("main 1", Bytes().tag("HWRT").i32(1).i32(1).ship(), "other" + ship);
        row("list and byte array", Bytes().head(2).str("l").value(9).i32(2).value(2).i32(-7).vString("x").str("b")
                                       .value(12).i32(2).raw("ab").i32(0), "box b=QByteArray:ab l=QVariantList:");

        row("body 2", Bytes().body(2).str("hero").str("x").point(1, 2).point(9, 9).i32(0),
            "box\nbody anchorPointAbs=1,2 imageFileNames=QStringList:hero name=QString:hero");
        row("body 3 without tag", Bytes().head().i32(1).i32(3).str("hero").str(path("img/ship.png")).point(1.5, 2)
                                      .i32(64).i32(32).i32(0),
            "box\nbody anchorPointAbs=1.5,2 imageFileNames=QStringList:$/img/ship.png name=QString:hero size=64x32");
        row("body 4", Bytes().body(4).i32(3).str("name").vString("hero").str("imageFileName").vString("img/ship.png")
                          .str("anchorPointAbs").value(26).point(4, 5).i32(0),
            "box\nbody anchorPointAbs=4,5 imageFileNames=QStringList:$/img/ship.png name=QString:hero size=40x20");
        row("body 4 without image", Bytes().body(4).i32(1).str("name").vString("x").i32(0), "box\nbody name=QString:x");
        row("body 5", Bytes().body(5).i32(2).str("imageFileNames").vStrings({"img/ship.png", "img/b.png"}).str("size")
                          .value(21).i32(7).i32(7).i32(0),
            "box\nbody currentImageName=QString:$/img/ship.png imageFileNames=QStringList:$/img/ship.png|$/img/b.png "
            "size=40x20");

        const QByteArray poly = Bytes().tag("POLY").i32(1).i32(1).point(1, 2).data;
        const QByteArray v2 = Bytes().u16('P').u16(1).u16(2).u16(-3).f64(0.5).f64(0.25).f64(0.75).u8(1).data;
        const QString v2Text = " density=0.5f filter_categoryBits=int:1 filter_groupIndex=int:-3 filter_maskBits=int:2 "
                               "friction=0.75f isSensor=bool:true restitution=0.25f type=QString:POLYGON shape 1,2";
        row("fixture 1", Bytes().fixtures().tag("FIXT").i32(1).u16('P').u16(0x8000).u16(-1).u16(-1).raw(poly),
            "box\nbody\n P filter_categoryBits=int:32768 filter_groupIndex=int:-1 filter_maskBits=int:65535 "
            "type=QString:POLYGON shape 1,2");
        row("fixture 2 without tag", Bytes().fixtures().i32(2).raw(v2).raw(poly), "box\nbody\n P" + v2Text);
        row("fixture 3", Bytes().fixtures().tag("FIXT").i32(3).raw(v2).i32(42).raw(poly),
            "box\nbody\n P cbValue=int:42" + v2Text);
        row("fixture 4", Bytes().fixtures().fixture('P', 1).str("x").value(6).f64(0.1).raw(poly),
            "box\nbody\n P x=0.10000000000000001 shape 1,2");
        row("circle without tag", Bytes().fixtures().fixture('C', 0).i32(1).point(3.25, -4).f64(6.5),
            "box\nbody\n C shape 3.25,-4 r6.5");

        const QString version = "Can't read file: %1 section version is %2";
        const QString unknown = "Can't read file: Unknown fixture type %1";
        row("main version", Bytes().tag("HWRT").i32(9), version.arg("Main").arg(9));
        // Any other beginning is some other kind of file.
        const QString foreign = "$/project.hws is not a Hullwright project";
        row("text file", Bytes().raw("<?xml version=\"1.0\"?>"), foreign);
        row("untagged version 5", Bytes().i32(5).i32(0), foreign);
        row("untagged version 0", Bytes().i32(0).i32(0), foreign);
        row("body version 1", Bytes().body(1), version.arg("Body").arg(1));
        row("body version 6 without tag", Bytes().head().i32(1).i32(6), version.arg("Body").arg(6));
        row("fixture version", Bytes().fixtures().tag("FIXT").i32(5), version.arg("Fixture").arg(5));
        row("polygon version", Bytes().fixtures().fixture('P', 0).tag("POLY").i32(2), version.arg("Polygon").arg(2));
        row("circle version", Bytes().fixtures().fixture('C', 0).tag("CIRC").i32(7), version.arg("Circle").arg(7));
        row("fixture type", Bytes().fixtures().fixture('X', 0), unknown.arg('X'));
        row("circle in version 3", Bytes().fixtures().tag("FIXT").i32(3).u16('C'), unknown.arg('C'));
        row("value type", Bytes().head(1).str("k").value(127), "Can't read file: unsupported value type 127");
        // Truncated files, and counts far beyond what the file holds, fail before anything large is allocated.
        row("empty file", Bytes(), damaged);
        row("truncated body", Bytes().body(5).i32(1).str("name"), damaged);
        row("truncated polygon", Bytes().fixtures().fixture('P', 0).raw(poly.left(12)), damaged);
        row("odd string length", Bytes().tag("HWRT").i32(4).i32(3).raw("abc"), damaged);
        row("negative body count", Bytes().tag("HWRT").i32(1).i32(-1), damaged);
        row("bodies", Bytes().tag("HWRT").i32(1).i32(0x7FFFFFFF), damaged);
        row("value map", Bytes().head(-16), damaged);
        row("string", Bytes().head(1).i32(0x7FFFFFF0), damaged);
        row("string list", Bytes().head(1).str("k").value(11).i32(0x7FFFFFFF), damaged);
        row("list", Bytes().head(1).str("k").value(9).i32(0x7FFFFFFF), damaged);
        row("byte array", Bytes().head(1).str("k").value(12).i32(0x7FFFFFF0), damaged);
        row("fixtures", Bytes().fixtures(0x7FFFFFFF), damaged);
        row("points", Bytes().fixtures().fixture('P', 0).tag("POLY").i32(1).i32(0x7FFFFFFF), damaged);
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
        // Reading is not editing, and undo recording is back on even when reading stopped half-way.
        QVERIFY(reporter.entries.isEmpty() && !doc.undoStack()->count() && !doc.isModified() && doc.isUndoEnabled());
        for (const Element* body : doc.elements()) {
            QVERIFY(body->isUndoEnabled() && body->exporter() == doc.exporter());
            QCOMPARE(body->isImageValid(), body->imageFileNames().value(0).startsWith(dir.path()));
            for (const Fixture* fixture : body->fixtures())
                QVERIFY(fixture->isUndoEnabled() && fixture->exporter() == doc.exporter());
        }
    }

    void writeAndReadBack()
    {
        ElementListModel doc;
        QCOMPARE(load(doc, Bytes().project().data), QString());
        doc.setValue("ptm", 48.5f);
        ModelTest::addBody(doc, path("img/none.png"))->setCurrentImage(path("img/none.png"));
        QVERIFY(doc.save(path("round.hws")));
        const QByteArray bytes = ModelTest::readFile(path("round.hws"));
        QVERIFY(bytes.startsWith(Bytes().tag("HWRT").i32(4).str("box").str("box display").data));
        QVERIFY(bytes.contains(Bytes().i32(2).tag("BODY").i32(5).data));
        // Paths are stored relative to the project file.
        QVERIFY(bytes.contains(Bytes().vStrings({"img/ship.png"}).data));
        QVERIFY(bytes.contains(Bytes().vString("out/shapes.json").data));
        QVERIFY(!bytes.contains(Bytes().str(dir.path()).data.mid(4)));
        QVERIFY(bytes.endsWith(Bytes().fixture('C', 1).str("type").vString("CIRCLE").tag("CIRC").i32(1).point(1, 2)
                                   .f64(3).data));
        ElementListModel reopened;
        QVERIFY(reopened.load(path("round.hws")));
        QCOMPARE(ModelTest::describe(reopened), ModelTest::describe(doc));

        // With no exporter installed the file opens all the same, and its bodies take edits.
        const QList<Exporter*> installed = ExporterRegistry::instance().exporters();
        ExporterRegistry::instance().clear();
        ElementListModel bare;
        RecordingReporter reporter;
        const QString error = load(bare, bytes);
        for (Exporter* exporter : installed)
            ExporterRegistry::instance().add(exporter);
        QCOMPARE(error, QString());
        QVERIFY(!bare.exporter() && !bare.element(0)->exporter() && !bare.element(0)->value("isDynamic").isValid());
        bare.element(0)->setValue("isDynamic", true);
        QCOMPARE(bare.undoStack()->count(), 1);
    }

    // Opening a project reads its images' sizes from their headers and decodes nothing; a body's pixels are
    // decoded when it is shown, list icons from reduced reads; a project whose images are gone still opens.
    void imagesAreDecodedWhenShown()
    {
        QTemporaryDir images;
        ElementListModel doc;
        doc.setExporter(ExporterRegistry::instance().exporter("box"));
        for (const char* name : {"a.png", "b.png", "c.png"})
            doc.addFile(ModelTest::makeImage(images.path(), name, 30, 10));
        QVERIFY(doc.save(images.filePath("three.hws")));
        ImageCache::clear();
        const int decodes = ImageCache::decodeCount();

        ElementListModel reopened;
        QVERIFY(reopened.load(images.filePath("three.hws")));
        QCOMPARE(reopened.elementCount(), 3);
        QCOMPARE(reopened.element(2)->size(), QSize(30, 10));
        QVERIFY(reopened.element(2)->isImageValid());
        QCOMPARE(ImageCache::decodeCount(), decodes);
        // A view asks for the icons: they come from reduced reads, in the background.
        const int iconDecodes = ImageCache::iconDecodeCount();
        QSignalSpy iconChanged(&reopened, &QStandardItemModel::itemChanged);
        for (int i = 0; i < 3; ++i)
            reopened.index(i, 0).data(Qt::DecorationRole);
        QTRY_COMPARE(iconChanged.count(), 3);
        QCOMPARE(ImageCache::iconDecodeCount(), iconDecodes + 3);
        QCOMPARE(reopened.element(1)->icon().size(), QSize(32, 32));
        QCOMPARE(reopened.element(1)->icon().toImage().pixelColor(16, 16), QColor(200, 40, 40));
        QCOMPARE(ImageCache::decodeCount(), decodes);
        QCOMPARE(reopened.element(1)->pixmap().size(), QSize(30, 10));
        QCOMPARE(ImageCache::decodeCount(), decodes + 1);
        QCOMPARE(reopened.element(1)->pixmap().size(), QSize(30, 10));
        QCOMPARE(ImageCache::decodeCount(), decodes + 1);

        // Gone after saving: the bodies keep their names and sizes and show as broken.
        for (const char* name : {"a.png", "b.png", "c.png"})
            QVERIFY(QFile::remove(images.filePath(name)));
        ImageCache::clear();
        ElementListModel orphaned;
        QVERIFY(orphaned.load(images.filePath("three.hws")));
        QCOMPARE(orphaned.elementCount(), 3);
        QCOMPARE(orphaned.element(0)->name(), "a");
        QCOMPARE(orphaned.element(0)->size(), QSize(30, 10));
        QVERIFY(!orphaned.element(0)->isImageValid() && orphaned.element(0)->pixmap().isNull());
        QCOMPARE(orphaned.index(0, 0).data(Qt::ForegroundRole).value<QColor>(), QColor(Qt::red));
    }

    // Bodies shown one after another keep the decoded images within the budget; an image whose header reads but
    // whose pixels do not turns its body red when it is shown.
    void decodedImagesStayWithinTheBudget()
    {
        QTemporaryDir images;
        ElementListModel doc;
        for (int i = 0; i < 6; ++i)
            doc.addFile(ModelTest::makeImage(images.path(), QStringLiteral("big%1.png").arg(i), 256, 256));
        ImageCache::clear();
        const int budget = ImageCache::budgetMegabytes();
        ImageCache::setBudgetMegabytes(1);
        const int decodes = ImageCache::decodeCount();
        for (int round = 0; round < 2; ++round) {
            for (Element* body : doc.elements()) {
                QCOMPARE(body->pixmap().size(), QSize(256, 256));
                QVERIFY2(ImageCache::usedKilobytes() <= 1024, qPrintable(QString::number(ImageCache::usedKilobytes())));
            }
        }
        // 256 KB each: four fit, so each round decodes all six again.
        QCOMPARE(ImageCache::decodeCount(), decodes + 12);
        ImageCache::setBudgetMegabytes(budget);

        QByteArray broken = ModelTest::readFile(images.filePath("big0.png"));
        broken.truncate(broken.size() / 2);
        QVERIFY(ModelTest::writeFile(images.filePath("broken.png"), broken));
        Element* body = doc.addFile(images.filePath("broken.png"));
        QVERIFY(body->isImageValid());
        QCOMPARE(body->size(), QSize(256, 256));
        QVERIFY(body->pixmap().isNull());
        QVERIFY(!body->isImageValid());
    }

    void failedLoadsAndSaves()
    {
        ElementListModel doc;
        for (const QString& name : {path("missing.hws"), dir.path(), QStringLiteral("/dev/zero")})
            QVERIFY2(!doc.load(name), qPrintable(name));
        QVERIFY(!doc.save(path("no/such/dir/x.hws")) && !doc.save(dir.path()) && !QFileInfo::exists(path("no")));

        // A save that fails half-way keeps the previous file: the disk fills up, files may not grow beyond 64 bytes.
        doc.addFile(path("img/ship.png"));
        QVERIFY(doc.save(path("keep.hws")));
        const QByteArray before = ModelTest::readFile(path("keep.hws"));
        doc.addFile(path("img/other.png"));
        struct rlimit previous;
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &previous), 0);
        const struct rlimit tiny{64, previous.rlim_max};
        const auto oldHandler = signal(SIGXFSZ, SIG_IGN);
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &tiny), 0);
        const bool saved = doc.save(path("keep.hws"));
        setrlimit(RLIMIT_FSIZE, &previous);
        signal(SIGXFSZ, oldHandler);
        QVERIFY(!saved && ModelTest::readFile(path("keep.hws")) == before);
    }
};

MODEL_TEST_MAIN(TestProjectFile)
#include "tst_projectfile.moc"
