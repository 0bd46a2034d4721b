#include "element.h"
#include "elementlistmodel.h"
#include "error.h"
#include "exporterregistry.h"
#include "fixturecircle.h"
#include "fixturepolygon.h"
#include "modeltestsupport.h"
#include "streamio.h"
#include "testsupport.h"

#include <QApplication>
#include <QBuffer>
#include <QRect>
#include <QTemporaryDir>
#include <QUndoStack>
#include <QtEndian>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>

namespace {

// Builds the bytes of a project file by hand, field by field, so that the
// tests do not depend on the writer (or on Qt's stream operators) being right.
class Bytes
{
public:
    QByteArray data;

    Bytes& raw(const QByteArray& bytes) { data += bytes; return *this; }
    Bytes& i32(qint32 v) { return be<quint32>(quint32(v)); }
    Bytes& u32(quint32 v) { return be<quint32>(v); }
    Bytes& i16(qint16 v) { return be<quint16>(quint16(v)); }
    Bytes& u16(quint16 v) { return be<quint16>(v); }
    Bytes& u8(quint8 v) { data += char(v); return *this; }
    Bytes& f64(double v) { quint64 bits; memcpy(&bits, &v, 8); return be<quint64>(bits); }
    Bytes& boolean(bool v) { return u8(v ? 1 : 0); }
    Bytes& qchar(char c) { return u16(quint16(c)); }
    Bytes& tag(const char* letters) { data += QByteArray(letters, 4); return *this; }
    Bytes& str(const QString& s)
    {
        u32(quint32(s.size() * 2));
        for (QChar c : s)
            u16(c.unicode());
        return *this;
    }
    Bytes& nullStr() { return u32(0xFFFFFFFFu); }
    Bytes& point(double x, double y) { return f64(x).f64(y); }

    // Values of a value map: the type number, the null flag, the payload.
    Bytes& vInt(qint32 v) { return u32(2).u8(0).i32(v); }
    Bytes& vBool(bool v) { return u32(1).u8(0).boolean(v); }
    Bytes& vDouble(double v) { return u32(6).u8(0).f64(v); }
    Bytes& vFloat(double v) { return u32(135).u8(0).f64(v); }
    Bytes& vString(const QString& s) { return u32(10).u8(0).str(s); }
    Bytes& vStringList(const QStringList& list)
    {
        u32(11).u8(0).u32(quint32(list.size()));
        for (const QString& s : list)
            str(s);
        return *this;
    }
    Bytes& vPointF(double x, double y) { return u32(26).u8(0).point(x, y); }
    Bytes& vSize(qint32 w, qint32 h) { return u32(21).u8(0).i32(w).i32(h); }

private:
    template <typename T>
    Bytes& be(T v)
    {
        char buffer[sizeof(T)];
        qToBigEndian(v, buffer);
        data += QByteArray(buffer, sizeof(T));
        return *this;
    }
};

// A polygon fixture of the newest versions with one value.
void polygonFixture(Bytes& b, const QPolygonF& polygon)
{
    b.tag("FIXT").i32(4).qchar('P');
    b.u32(2).str("type").vString("POLYGON").str("density").vFloat(1.5);
    b.tag("POLY").i32(1).u32(quint32(polygon.size()));
    for (const QPointF& p : polygon)
        b.point(p.x(), p.y());
}

// A body section of version 5 with an image relative to the project and one fixture.
void bodyV5(Bytes& b, const QString& name, const QString& image)
{
    b.tag("BODY").i32(5);
    b.u32(4).str("name").vString(name).str("imageFileNames").vStringList({image});
    b.str("currentImageName").vString(image).str("anchorPointAbs").vPointF(2.5, 3);
    b.i32(1);
    polygonFixture(b, QPolygonF({{0, 0}, {4, 0}, {4, 4}}));
}

struct Loaded
{
    std::unique_ptr<ElementListModel> doc;
    QString error;
    int code = 0;
};

}

class TestProjectFile : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void mainSectionVersions_data();
    void mainSectionVersions();
    void bodySectionVersions_data();
    void bodySectionVersions();
    void fixtureSectionVersions_data();
    void fixtureSectionVersions();
    void circleSection();

    void errors_data();
    void errors();
    void hostileCountsFailFast_data();
    void hostileCountsFailFast();
    void unreadableFiles();

    void valueReaderMatchesQt_data();
    void valueReaderMatchesQt();

    void writtenBytes();
    void roundTripKeepsEverything();
    void pathsAreRelativeToTheProject();
    void emptyExportFileNameStaysEmpty();
    void failedSaveKeepsThePreviousFile();
    void exporterNamedByTheFile();
    void documentsOpenWithoutAnyExporter();

private:
    QString writeFile(const QByteArray& bytes, const QString& name = QStringLiteral("project.hws"));
    Loaded load(const QByteArray& bytes, Exporter* initial = nullptr);

    std::unique_ptr<QTemporaryDir> dir;
};

void TestProjectFile::initTestCase()
{
    dir = std::make_unique<QTemporaryDir>();
    // The registry keeps the exporters until the process ends.
    ExporterRegistry::instance().add(ModelTest::makeExporter(QDir(dir->path()), QStringLiteral("box")).release());
    ExporterRegistry::instance().add(
        ModelTest::makeExporter(QDir(dir->path()), QStringLiteral("other"), QStringLiteral("down")).release());
}

void TestProjectFile::init()
{
    ModelTest::makeImage(QDir(dir->path()), QStringLiteral("img/ship.png"), 40, 20);
}

QString TestProjectFile::writeFile(const QByteArray& bytes, const QString& name)
{
    const QString path = QDir(dir->path()).filePath(name);
    QFile file(path);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write(bytes);
    return path;
}

Loaded TestProjectFile::load(const QByteArray& bytes, Exporter* initial)
{
    Loaded result;
    result.doc = std::make_unique<ElementListModel>();
    result.doc->setExporter(initial);
    try {
        if (!result.doc->load(writeFile(bytes)))
            result.error = QStringLiteral("<not opened>");
    } catch (const Error& error) {
        result.error = error.message();
        result.code = error.code();
    }
    return result;
}

void TestProjectFile::mainSectionVersions_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("exporter");
    QTest::addColumn<QStringList>("filterBits");
    QTest::addColumn<QString>("exportFileName");

    const QString out = QDir(dir->path()).filePath(QStringLiteral("out/shapes.json"));
    Bytes v4;
    v4.tag("HWRT").i32(4).str("box").str("box display");
    v4.u32(1).str("exportFileName").vString("out/shapes.json");
    v4.i32(1);
    bodyV5(v4, "ship", "img/ship.png");
    QTest::newRow("4") << v4.data << "box" << QStringList() << out;

    Bytes untagged;
    untagged.raw(v4.data.mid(4));
    QTest::newRow("4 without tag") << untagged.data << "box" << QStringList() << out;

    Bytes v3;
    v3.tag("HWRT").i32(3).str("other").str("ignored");
    v3.u32(1).str("exportFileName").vString("out/shapes.json");
    v3.i32(2).str("wall").str("floor");
    v3.i32(1);
    bodyV5(v3, "ship", "img/ship.png");
    QTest::newRow("3") << v3.data << "other" << QStringList{"wall", "floor"} << out;

    Bytes v2;
    v2.i32(2).i32(1);
    bodyV5(v2, "ship", "img/ship.png");
    v2.i32(3).str("a").str("b");  // announces three, the file ends after two
    QTest::newRow("2 without tag, short list") << v2.data << "initial" << QStringList{"a", "b"} << QString();

    Bytes v1;
    v1.tag("HWRT").i32(1).i32(1);
    bodyV5(v1, "ship", "img/ship.png");
    QTest::newRow("1") << v1.data << "initial" << QStringList() << QString();
}

void TestProjectFile::mainSectionVersions()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, exporter);
    QFETCH(QStringList, filterBits);
    QFETCH(QString, exportFileName);

    std::unique_ptr<Exporter> initial = ModelTest::makeExporter(QDir(dir->path()), QStringLiteral("initial"));
    RecordingReporter reporter;
    Loaded loaded = load(bytes, initial.get());
    QCOMPARE(loaded.error, QString());
    QVERIFY(reporter.entries.isEmpty());
    ElementListModel& doc = *loaded.doc;
    QCOMPARE(doc.exporterName(), exporter);
    QCOMPARE(doc.fileName(), QDir(dir->path()).filePath(QStringLiteral("project.hws")));
    QCOMPARE(doc.sharedStringList(QStringLiteral("filter_bitfield")), filterBits);
    QCOMPARE(doc.exportFileName(), exportFileName);

    QCOMPARE(doc.rowCount(), 1);
    Element* body = doc.element(0);
    QCOMPARE(body->name(), QStringLiteral("ship"));
    QCOMPARE(body->exporter(), doc.exporter());
    const QString image = QDir(dir->path()).filePath(QStringLiteral("img/ship.png"));
    QCOMPARE(body->imageFileNames(), QStringList{image});
    QCOMPARE(body->currentImageName(), image);
    QVERIFY(body->isImageValid());
    QCOMPARE(body->size(), QSize(40, 20));
    QCOMPARE(body->anchorPointAbs(), QPointF(2.5, 3));
    QCOMPARE(body->fixtures().size(), 1);
    auto* polygon = qobject_cast<FixturePolygon*>(body->fixtures().first());
    QVERIFY(polygon);
    QCOMPARE(polygon->polygon(), QPolygonF({{0, 0}, {4, 0}, {4, 4}}));
    QCOMPARE(polygon->value(QStringLiteral("density")), QVariant(1.5f));
    QCOMPARE(polygon->exporter(), doc.exporter());

    // Reading is not editing.
    QCOMPARE(doc.undoStack()->count(), 0);
    QVERIFY(!doc.isModified());
    QVERIFY(doc.isUndoEnabled());
    QVERIFY(body->isUndoEnabled());
    QVERIFY(polygon->isUndoEnabled());
}

void TestProjectFile::bodySectionVersions_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("images");
    QTest::addColumn<QVariant>("currentImage");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QPointF>("anchor");
    QTest::addColumn<bool>("imageValid");

    const QString image = QDir(dir->path()).filePath(QStringLiteral("img/ship.png"));

    Bytes v2;
    v2.tag("BODY").i32(2).str("hero").str("unused").point(1, 2).point(9, 9).i32(0);
    QTest::newRow("2") << v2.data << "hero" << QStringList{"hero"} << QVariant() << QSize() << QPointF(1, 2)
                       << false;

    Bytes v3;
    v3.i32(3).str("hero").str(image).point(1.5, 2).i32(64).i32(32).i32(0);
    QTest::newRow("3 without tag") << v3.data << "hero" << QStringList{image} << QVariant() << QSize(64, 32)
                                   << QPointF(1.5, 2) << true;

    Bytes v4;
    v4.tag("BODY").i32(4).u32(3).str("name").vString("hero").str("imageFileName").vString("img/ship.png");
    v4.str("anchorPointAbs").vPointF(4, 5).i32(0);
    QTest::newRow("4") << v4.data << "hero" << QStringList{image} << QVariant() << QSize(40, 20) << QPointF(4, 5)
                       << true;

    Bytes v4NoImage;
    v4NoImage.tag("BODY").i32(4).u32(1).str("name").vString("blank").i32(0);
    QTest::newRow("4 without image") << v4NoImage.data << "blank" << QStringList() << QVariant() << QSize()
                                     << QPointF() << false;

    Bytes v5;
    v5.tag("BODY").i32(5).u32(3).str("name").vString("hero");
    v5.str("imageFileNames").vStringList({"img/ship.png", "img/b.png"}).str("size").vSize(7, 7).i32(0);
    QTest::newRow("5 without current image") << v5.data << "hero"
                                             << QStringList{image, QDir(dir->path()).filePath("img/b.png")}
                                             << QVariant(image) << QSize(40, 20) << QPointF() << true;
}

void TestProjectFile::bodySectionVersions()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, name);
    QFETCH(QStringList, images);
    QFETCH(QVariant, currentImage);
    QFETCH(QSize, size);
    QFETCH(QPointF, anchor);
    QFETCH(bool, imageValid);

    Bytes file;
    file.tag("HWRT").i32(4).str("box").str("").u32(0).i32(1).raw(body);
    Loaded loaded = load(file.data);
    QCOMPARE(loaded.error, QString());
    Element* element = loaded.doc->element(0);
    QCOMPARE(element->name(), name);
    QCOMPARE(element->imageFileNames(), images);
    QCOMPARE(element->hasValue(QStringLiteral("currentImageName")), currentImage.isValid());
    if (currentImage.isValid())
        QCOMPARE(element->currentImageName(), currentImage.toString());
    QVERIFY(!element->hasValue(QStringLiteral("imageFileName")));
    QCOMPARE(element->size(), size);
    QCOMPARE(element->anchorPointAbs(), anchor);
    QCOMPARE(element->isImageValid(), imageValid);
    QCOMPARE(loaded.doc->undoStack()->count(), 0);
}

void TestProjectFile::fixtureSectionVersions_data()
{
    QTest::addColumn<QByteArray>("fixture");
    QTest::addColumn<QVariantHash>("values");

    const QByteArray poly = Bytes().tag("POLY").i32(1).u32(1).point(1, 2).data;
    Bytes v1;
    v1.tag("FIXT").i32(1).qchar('P').u16(0x8000).u16(0xFFFF).u16(0xFFFF).raw(poly);
    QTest::newRow("1") << v1.data
                       << QVariantHash{{"type", "POLYGON"}, {"filter_categoryBits", 32768},
                                       {"filter_maskBits", 65535}, {"filter_groupIndex", -1}};
    Bytes v2;
    v2.i32(2).qchar('P').u16(1).u16(2).i16(-3).f64(0.5).f64(0.25).f64(0.75).boolean(true).raw(poly);
    const QVariantHash v2Values{{"type", "POLYGON"}, {"filter_categoryBits", 1}, {"filter_maskBits", 2},
                                {"filter_groupIndex", -3}, {"density", 0.5f}, {"restitution", 0.25f},
                                {"friction", 0.75f}, {"isSensor", true}};
    QTest::newRow("2 without tag") << v2.data << v2Values;
    Bytes v3;
    v3.tag("FIXT").i32(3).qchar('P').u16(1).u16(2).i16(-3).f64(0.5).f64(0.25).f64(0.75).boolean(true).i32(42);
    v3.raw(poly);
    QVariantHash v3Values = v2Values;
    v3Values.insert("cbValue", 42);
    QTest::newRow("3") << v3.data << v3Values;
    Bytes v4;
    v4.tag("FIXT").i32(4).qchar('P').u32(2).str("type").vString("POLYGON").str("custom").vDouble(0.1).raw(poly);
    QTest::newRow("4") << v4.data << QVariantHash{{"type", "POLYGON"}, {"custom", 0.1}};
}

void TestProjectFile::fixtureSectionVersions()
{
    QFETCH(QByteArray, fixture);
    QFETCH(QVariantHash, values);
    Bytes file;
    file.tag("HWRT").i32(4).str("box").str("").u32(0).i32(1);
    file.tag("BODY").i32(5).u32(1).str("name").vString("b").i32(1).raw(fixture);
    Loaded loaded = load(file.data);
    QCOMPARE(loaded.error, QString());
    Fixture* read = loaded.doc->element(0)->fixtures().first();
    QCOMPARE(read->values(), values);
    QCOMPARE(qobject_cast<FixturePolygon*>(read)->polygon(), QPolygonF({{1, 2}}));
    QCOMPARE(loaded.doc->undoStack()->count(), 0);
    QVERIFY(!loaded.doc->isModified());
    QVERIFY(read->isUndoEnabled());
}

void TestProjectFile::circleSection()
{
    Bytes file;
    file.tag("HWRT").i32(4).str("box").str("").u32(0).i32(1);
    file.tag("BODY").i32(5).u32(0).i32(1);
    file.tag("FIXT").i32(4).qchar('C').u32(1).str("type").vString("CIRCLE");
    file.i32(1).point(3.25, -4).f64(6.5);  // circle section without its tag
    Loaded loaded = load(file.data);
    QCOMPARE(loaded.error, QString());
    auto* circle = qobject_cast<FixtureCircle*>(loaded.doc->element(0)->fixtures().first());
    QVERIFY(circle);
    QCOMPARE(circle->center(), QPointF(3.25, -4));
    QCOMPARE(circle->radius(), 6.5);
}

void TestProjectFile::errors_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("message");

    const auto withBody = [](const QByteArray& body) {
        return Bytes().tag("HWRT").i32(4).str("box").str("").u32(0).i32(1).raw(body).data;
    };
    const auto withFixture = [&](const QByteArray& fixture) {
        return withBody(Bytes().tag("BODY").i32(5).u32(0).i32(1).raw(fixture).data);
    };

    QTest::newRow("main version") << Bytes().tag("HWRT").i32(9).data << "Can't read file: Main section version is 9";
    QTest::newRow("main version untagged") << Bytes().i32(0).data << "Can't read file: Main section version is 0";
    QTest::newRow("body version 1") << withBody(Bytes().tag("BODY").i32(1).data)
                                    << "Can't read file: Body section version is 1";
    QTest::newRow("body version 6") << withBody(Bytes().i32(6).data) << "Can't read file: Body section version is 6";
    QTest::newRow("fixture version") << withFixture(Bytes().tag("FIXT").i32(5).data)
                                     << "Can't read file: Fixture section version is 5";
    QTest::newRow("polygon version")
        << withFixture(Bytes().tag("FIXT").i32(4).qchar('P').u32(0).tag("POLY").i32(2).data)
        << "Can't read file: Polygon section version is 2";
    QTest::newRow("circle version")
        << withFixture(Bytes().tag("FIXT").i32(4).qchar('C').u32(0).tag("CIRC").i32(7).data)
        << "Can't read file: Circle section version is 7";
    QTest::newRow("fixture type") << withFixture(Bytes().tag("FIXT").i32(4).qchar('X').u32(0).data)
                                  << "Can't read file: Unknown fixture type X";
    QTest::newRow("circle in old version") << withFixture(Bytes().tag("FIXT").i32(3).qchar('C').data)
                                           << "Can't read file: Unknown fixture type C";
    QTest::newRow("value type") << withBody(Bytes().tag("BODY").i32(5).u32(1).str("x").u32(127).u8(0).data)
                                << "Can't read file: unsupported value type 127";
    QTest::newRow("empty file") << QByteArray() << "Can't read file: the file is truncated or damaged";
    QTest::newRow("truncated body") << withBody(Bytes().tag("BODY").i32(5).u32(1).str("name").data)
                                    << "Can't read file: the file is truncated or damaged";
    QTest::newRow("truncated polygon")
        << withFixture(Bytes().tag("FIXT").i32(4).qchar('P').u32(0).tag("POLY").i32(1).u32(2).point(1, 1).data)
        << "Can't read file: the file is truncated or damaged";
    QTest::newRow("odd string length") << Bytes().tag("HWRT").i32(4).u32(3).raw("abc").data
                                       << "Can't read file: the file is truncated or damaged";
    QTest::newRow("negative body count") << Bytes().tag("HWRT").i32(1).i32(-1).data
                                         << "Can't read file: the file is truncated or damaged";
}

void TestProjectFile::errors()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, message);
    Loaded loaded = load(bytes);
    QCOMPARE(loaded.error, message);
    QCOMPARE(loaded.code, 5);
    // Undo recording is back on even though reading stopped half-way.
    QVERIFY(loaded.doc->isUndoEnabled());
    QCOMPARE(loaded.doc->undoStack()->count(), 0);
}

void TestProjectFile::hostileCountsFailFast_data()
{
    QTest::addColumn<QByteArray>("bytes");
    const QByteArray header = Bytes().tag("HWRT").i32(4).str("box").str("").data;
    QTest::newRow("bodies") << Bytes().tag("HWRT").i32(1).i32(0x7FFFFFFF).data;
    QTest::newRow("value map") << Bytes().raw(header).u32(0xFFFFFFF0u).data;
    QTest::newRow("string") << Bytes().raw(header).u32(1).u32(0x7FFFFFF0u).data;
    QTest::newRow("string list") << Bytes().raw(header).u32(1).str("k").u32(11).u8(0).u32(0x7FFFFFFF).data;
    QTest::newRow("nested list") << Bytes().raw(header).u32(1).str("k").u32(9).u8(0).u32(0x7FFFFFFF).data;
    QTest::newRow("byte array") << Bytes().raw(header).u32(1).str("k").u32(12).u8(0).u32(0x7FFFFFF0u).data;
    QTest::newRow("fixtures")
        << Bytes().raw(header).u32(0).i32(1).tag("BODY").i32(5).u32(0).i32(0x7FFFFFFF).data;
    QTest::newRow("points") << Bytes().raw(header).u32(0).i32(1).tag("BODY").i32(5).u32(0).i32(1)
                                   .tag("FIXT").i32(4).qchar('P').u32(0).tag("POLY").i32(1).u32(0x7FFFFFFF).data;
    Bytes deep;
    deep.raw(header).u32(1).str("k");
    for (int i = 0; i < 100; ++i)
        deep.u32(9).u8(0).u32(1);
    QTest::newRow("deep nesting") << deep.data;
}

void TestProjectFile::hostileCountsFailFast()
{
    QFETCH(QByteArray, bytes);
    Loaded loaded = load(bytes);
    QCOMPARE(loaded.error, QStringLiteral("Can't read file: the file is truncated or damaged"));
    QCOMPARE(loaded.code, 5);
}

void TestProjectFile::unreadableFiles()
{
    ElementListModel doc;
    QVERIFY(!doc.load(QDir(dir->path()).filePath(QStringLiteral("missing.hws"))));
    QVERIFY(!doc.load(dir->path()));
    QVERIFY(!doc.load(QStringLiteral("/dev/zero")));
    QVERIFY(!doc.save(QDir(dir->path()).filePath(QStringLiteral("no/such/dir/x.hws"))));
    QVERIFY(!QFileInfo::exists(QDir(dir->path()).filePath(QStringLiteral("no"))));
    QVERIFY(!doc.save(dir->path()));
}

void TestProjectFile::valueReaderMatchesQt_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::newRow("invalid") << QVariant();
    QTest::newRow("bool") << QVariant(true);
    QTest::newRow("int") << QVariant(-7);
    QTest::newRow("uint") << QVariant(4000000000u);
    QTest::newRow("longlong") << QVariant(-(qlonglong(1) << 40));
    QTest::newRow("ulonglong") << QVariant(qulonglong(1) << 63);
    QTest::newRow("double") << QVariant(0.1);
    QTest::newRow("float") << QVariant(0.1f);
    QTest::newRow("char") << QVariant(QChar(0x263A));
    QTest::newRow("string") << QVariant(QStringLiteral("grüße"));
    QTest::newRow("null string") << QVariant(QString());
    QTest::newRow("empty string") << QVariant(QStringLiteral(""));
    QTest::newRow("string list") << QVariant(QStringList{"a", "", "ß"});
    QTest::newRow("byte array") << QVariant(QByteArray("\0\1x", 3));
    QTest::newRow("point") << QVariant(QPoint(-1, 2));
    QTest::newRow("pointf") << QVariant(QPointF(-1.5, 2e300));
    QTest::newRow("size") << QVariant(QSize(3, 4));
    QTest::newRow("sizef") << QVariant(QSizeF(3.5, 4));
    QTest::newRow("rect") << QVariant(QRect(1, 2, 3, 4));
    QTest::newRow("rectf") << QVariant(QRectF(1, 2, 3.5, 4));
    QTest::newRow("list") << QVariant(QVariantList{1, QStringLiteral("x"), QVariantList{2.5}});
    QTest::newRow("map") << QVariant(QVariantMap{{"a", 1}, {"b", QVariantMap{{"c", true}}}});
    QTest::newRow("hash") << QVariant(QVariantHash{{"a", 1.5f}});
    QTest::newRow("short") << QVariant::fromValue<qint16>(-3);
    QTest::newRow("ushort") << QVariant::fromValue<quint16>(65535);
    QTest::newRow("char8") << QVariant::fromValue<char>('x');
    QTest::newRow("uchar") << QVariant::fromValue<quint8>(200);
}

void TestProjectFile::valueReaderMatchesQt()
{
    QFETCH(QVariant, value);
    QByteArray bytes;
    {
        QDataStream out(&bytes, QIODevice::WriteOnly);
        StreamIO::prepare(out);
        out << value << value;
    }
    QDataStream in(bytes);
    StreamIO::prepare(in);
    QVariant theirs;
    in >> theirs;
    const QVariant ours = StreamIO::readVariant(in);
    QCOMPARE(in.status(), QDataStream::Ok);
    QVERIFY(in.atEnd());
    QCOMPARE(ours.userType(), theirs.userType());
    QCOMPARE(ours, theirs);
    QCOMPARE(ours.isNull(), theirs.isNull());
}

void TestProjectFile::writtenBytes()
{
    ElementListModel doc;
    doc.setExporter(ExporterRegistry::instance().exporter(QStringLiteral("box")));
    Element* body = doc.addFile(QDir(dir->path()).filePath(QStringLiteral("img/ship.png")));
    auto* circle = new FixtureCircle(body);
    circle->setCircleDirect(QPointF(1, 2), 3);
    body->addFixture(circle);
    const QString path = QDir(dir->path()).filePath(QStringLiteral("written.hws"));
    QVERIFY(doc.save(path));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();

    Bytes head;
    head.tag("HWRT").i32(4).str("box").str("box display").u32(0).i32(1).tag("BODY").i32(5);
    QVERIFY(bytes.startsWith(head.data));
    // Paths are stored relative to the project file.
    QVERIFY(bytes.contains(Bytes().vStringList({"img/ship.png"}).data));
    QVERIFY(!bytes.contains(Bytes().str(dir->path()).data.mid(4)));
    Bytes tail;
    tail.i32(1).tag("FIXT").i32(4).qchar('C');
    QVERIFY(bytes.contains(tail.data));
    QVERIFY(bytes.endsWith(Bytes().tag("CIRC").i32(1).point(1, 2).f64(3).data));
    QCOMPARE(doc.fileName(), path);
}

void TestProjectFile::roundTripKeepsEverything()
{
    ElementListModel doc;
    doc.setExporter(ExporterRegistry::instance().exporter(QStringLiteral("other")));
    doc.setValue(QStringLiteral("ptm"), 48.5f);
    const QString image = QDir(dir->path()).filePath(QStringLiteral("img/ship.png"));
    for (int i = 0; i < 3; ++i) {
        Element* body = doc.addFile(image);
        body->setCurrentImage(image);
        body->setValue(QStringLiteral("isDynamic"), i % 2 == 0);
        body->setAnchorPointAbsDirect(QPointF(i + 0.1, 2.0 / 3));
        for (int f = 0; f < 3; ++f) {
            auto* polygon = new FixturePolygon(body);
            QPolygonF outline;
            for (int p = 0; p < 5 + f; ++p)
                outline << QPointF(p * 1.1 + i, p * 0.3333333333333 - f);
            polygon->setPolygonDirect(outline);
            polygon->setValue(QStringLiteral("density"), float(f) + 0.1f);
            body->addFixture(polygon);
        }
        auto* circle = new FixtureCircle(body);
        circle->setCircleDirect(QPointF(i, -i), 0.7 + i);
        body->addFixture(circle);
    }
    const QString path = QDir(dir->path()).filePath(QStringLiteral("round.hws"));
    QVERIFY(doc.save(path));

    ElementListModel copy;
    QVERIFY(copy.load(path));
    QCOMPARE(copy.exporter(), doc.exporter());
    QCOMPARE(copy.values(), doc.values());
    QCOMPARE(copy.rowCount(), doc.rowCount());
    for (int row = 0; row < doc.rowCount(); ++row) {
        Element* a = doc.element(row);
        Element* b = copy.element(row);
        QCOMPARE(b->values(), a->values());
        QCOMPARE(b->fixtures().size(), a->fixtures().size());
        for (int f = 0; f < a->fixtures().size(); ++f) {
            QCOMPARE(b->fixtures().at(f)->typeChar(), a->fixtures().at(f)->typeChar());
            QCOMPARE(b->fixtures().at(f)->values(), a->fixtures().at(f)->values());
            if (auto* pa = qobject_cast<FixturePolygon*>(a->fixtures().at(f))) {
                const QPolygonF pb = qobject_cast<FixturePolygon*>(b->fixtures().at(f))->polygon();
                QCOMPARE(pb.size(), pa->polygon().size());
                for (int p = 0; p < pb.size(); ++p) {
                    QVERIFY(pb.at(p).x() == pa->polygon().at(p).x() && pb.at(p).y() == pa->polygon().at(p).y());
                }
            } else {
                auto* ca = qobject_cast<FixtureCircle*>(a->fixtures().at(f));
                auto* cb = qobject_cast<FixtureCircle*>(b->fixtures().at(f));
                QVERIFY(ca->center() == cb->center() && ca->radius() == cb->radius());
            }
        }
    }
    // Saving what was read gives the same bytes.
    const QString again = QDir(dir->path()).filePath(QStringLiteral("again.hws"));
    QVERIFY(copy.save(again));
    ElementListModel third;
    QVERIFY(third.load(again));
    QCOMPARE(third.element(2)->values(), doc.element(2)->values());
}

void TestProjectFile::pathsAreRelativeToTheProject()
{
    QTemporaryDir first;
    QDir d(first.path());
    const QString image = ModelTest::makeImage(d, QStringLiteral("sprites/hero.png"), 12, 9);
    ElementListModel doc;
    doc.addFile(image);
    doc.setExportFileName(d.filePath(QStringLiteral("out/hero.plist")));
    QVERIFY(doc.save(d.filePath(QStringLiteral("game/level.hws"))) == false);  // no such folder yet
    d.mkpath(QStringLiteral("game"));
    QVERIFY(doc.save(d.filePath(QStringLiteral("game/level.hws"))));
    // In memory the paths stay absolute.
    QCOMPARE(doc.element(0)->imageFileNames(), QStringList{image});

    // Move the whole tree: the project still finds its images.
    QTemporaryDir second;
    const QString moved = second.path() + QStringLiteral("/moved");
    QVERIFY(QDir().rename(first.path(), moved));
    ElementListModel reopened;
    QVERIFY(reopened.load(moved + QStringLiteral("/game/level.hws")));
    QCOMPARE(reopened.element(0)->imageFileNames(), QStringList{moved + QStringLiteral("/sprites/hero.png")});
    QVERIFY(reopened.element(0)->isImageValid());
    QCOMPARE(reopened.element(0)->size(), QSize(12, 9));
    QCOMPARE(reopened.exportFileName(), moved + QStringLiteral("/out/hero.plist"));
    QVERIFY(QDir().rename(moved, first.path()));
}

void TestProjectFile::emptyExportFileNameStaysEmpty()
{
    ElementListModel doc;
    doc.setExportFileName(QString());
    const QString path = QDir(dir->path()).filePath(QStringLiteral("empty-export.hws"));
    QVERIFY(doc.save(path));
    QCOMPARE(doc.exportFileName(), QString());
    ElementListModel reopened;
    QVERIFY(reopened.load(path));
    QCOMPARE(reopened.exportFileName(), QString());
    QVERIFY(reopened.hasValue(QStringLiteral("exportFileName")));
}

void TestProjectFile::failedSaveKeepsThePreviousFile()
{
    const QString path = QDir(dir->path()).filePath(QStringLiteral("keep.hws"));
    ElementListModel doc;
    doc.addFile(QDir(dir->path()).filePath(QStringLiteral("img/ship.png")));
    QVERIFY(doc.save(path));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();

    // The disk fills up half-way: files may not grow beyond a few bytes for a moment.
    doc.addFile(QDir(dir->path()).filePath(QStringLiteral("img/other.png")));
    struct rlimit previous;
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &previous), 0);
    const auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    struct rlimit tiny = previous;
    tiny.rlim_cur = 64;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &tiny), 0);
    const bool saved = doc.save(path);
    setrlimit(RLIMIT_FSIZE, &previous);
    signal(SIGXFSZ, oldHandler);
    QVERIFY(!saved);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), before);
}

void TestProjectFile::exporterNamedByTheFile()
{
    Bytes known;
    known.tag("HWRT").i32(4).str("other").str("x").u32(0).i32(0);
    RecordingReporter reporter;
    Loaded loaded = load(known.data);
    QCOMPARE(loaded.doc->exporterName(), QStringLiteral("other"));
    QVERIFY(reporter.entries.isEmpty());

    Bytes unknown;
    unknown.tag("HWRT").i32(4).str("gone").str("Gone").u32(0).i32(0);
    loaded = load(unknown.data);
    QCOMPARE(loaded.error, QString());
    QCOMPARE(reporter.entries.size(), 1);
    QCOMPARE(reporter.entries.first().title, QStringLiteral("Unkown exporter"));
    QCOMPARE(reporter.entries.first().text,
             QStringLiteral("File was created using unknown exporter gone. Please intall this exporter."));
    // The first registered exporter (by name) stands in.
    QCOMPARE(loaded.doc->exporterName(), ExporterRegistry::instance().names().first());
}

void TestProjectFile::documentsOpenWithoutAnyExporter()
{
    ExporterRegistry& registry = ExporterRegistry::instance();
    const QList<Exporter*> installed = registry.exporters();
    registry.clear();
    Bytes file;
    file.tag("HWRT").i32(4).str("box").str("").u32(0).i32(1);
    bodyV5(file, "ship", "img/ship.png");
    RecordingReporter reporter;
    Loaded loaded = load(file.data);
    for (Exporter* exporter : installed)
        registry.add(exporter);

    QCOMPARE(loaded.error, QString());
    QCOMPARE(reporter.entries.size(), 1);
    QVERIFY(!loaded.doc->exporter());
    Element* body = loaded.doc->element(0);
    QVERIFY(!body->exporter());
    QVERIFY(!body->value(QStringLiteral("isDynamic")).isValid());
    QCOMPARE(body->fixtures().first()->value(QStringLiteral("density")), QVariant(1.5f));
    // Editing goes on without an exporter.
    body->setValue(QStringLiteral("isDynamic"), true);
    QCOMPARE(loaded.doc->undoStack()->count(), 1);
}

int main(int argc, char** argv)
{
    TestSupport::isolateSettings();
    QApplication app(argc, argv);
    TestProjectFile test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_projectfile.moc"
