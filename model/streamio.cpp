#include "streamio.h"

#include "error.h"

#include <QCoreApplication>
#include <QtEndian>
#include <QIODevice>
#include <QPointF>
#include <QRect>
#include <QRectF>
#include <QSize>
#include <QSizeF>

#include <cstring>

namespace StreamIO {

namespace {

// Nested lists and maps deeper than this are not something we write.
constexpr int maxNesting = 16;

// The type numbers of the stream format this file uses (the older numbering
// for the types that changed it).
enum StreamType : quint32 {
    Invalid = 0, Bool = 1, Int = 2, UInt = 3, LongLong = 4, ULongLong = 5, Double = 6, Char = 7, Map = 8,
    List = 9, String = 10, StringList = 11, ByteArray = 12, Rect = 19, RectF = 20, Size = 21, SizeF = 22,
    Point = 25, PointF = 26, Hash = 28, Short = 130, Char8 = 131, UShort = 133, UChar = 134, Float = 135
};

QString tr(const char* text)
{
    return QCoreApplication::translate("ProjectFile", text);
}

double readDouble(const uchar* bytes)
{
    const quint64 bits = qFromBigEndian<quint64>(bytes);
    double value;
    memcpy(&value, &bits, sizeof value);
    return value;
}

qint64 remaining(const QDataStream& stream)
{
    const QIODevice* device = stream.device();
    if (!device)
        return 0;
    return device->isSequential() ? device->bytesAvailable() : device->size() - device->pos();
}

template <typename T>
T readPlain(QDataStream& stream)
{
    T value{};
    stream >> value;
    checkStatus(stream);
    return value;
}

QVariant readVariant(QDataStream& stream, int depth);

template <typename Map>
Map readMap(QDataStream& stream, int depth)
{
    // A key takes at least 4 bytes, a value at least 5.
    const qint32 count = readCount(stream, 9);
    Map map;
    for (qint32 i = 0; i < count; ++i) {
        const QString key = readString(stream);
        map.insert(key, readVariant(stream, depth + 1));
    }
    return map;
}

QVariantList readList(QDataStream& stream, int depth)
{
    const qint32 count = readCount(stream, 5);
    QVariantList list;
    for (qint32 i = 0; i < count; ++i)
        list.append(readVariant(stream, depth + 1));
    return list;
}

QVariant readVariant(QDataStream& stream, int depth)
{
    if (depth > maxNesting)
        throwDamaged();
    const quint32 type = readPlain<quint32>(stream);
    readPlain<qint8>(stream);  // the null flag; the value follows either way

    switch (type) {
    case Invalid:
        readString(stream);  // an invalid value is followed by an empty string
        return QVariant();
    case Bool:
        return QVariant(readPlain<bool>(stream));
    case Int:
        return QVariant(readPlain<qint32>(stream));
    case UInt:
        return QVariant(readPlain<quint32>(stream));
    case LongLong:
        return QVariant(readPlain<qint64>(stream));
    case ULongLong:
        return QVariant(readPlain<quint64>(stream));
    case Double:
        return QVariant(readPlain<double>(stream));
    case Float:
        return QVariant(readPlain<float>(stream));
    case Char:
        return QVariant(readPlain<QChar>(stream));
    case Short:
        return QVariant::fromValue(readPlain<qint16>(stream));
    case UShort:
        return QVariant::fromValue(readPlain<quint16>(stream));
    case Char8:
        return QVariant::fromValue(static_cast<char>(readPlain<qint8>(stream)));
    case UChar:
        return QVariant::fromValue(readPlain<quint8>(stream));
    case String:
        return QVariant(readString(stream));
    case StringList:
        return QVariant(readStringList(stream));
    case ByteArray: {
        const quint32 length = readPlain<quint32>(stream);
        if (length == 0xFFFFFFFFu)
            return QVariant(QByteArray());
        if (qint64(length) > remaining(stream))
            throwDamaged();
        QByteArray bytes(int(length), Qt::Uninitialized);
        if (stream.readRawData(bytes.data(), int(length)) != int(length))
            throwDamaged();
        return QVariant(bytes);
    }
    case Point:
        return QVariant(readPlain<QPoint>(stream));
    case PointF:
        return QVariant(readPlain<QPointF>(stream));
    case Size:
        return QVariant(readPlain<QSize>(stream));
    case SizeF:
        return QVariant(readPlain<QSizeF>(stream));
    case Rect:
        return QVariant(readPlain<QRect>(stream));
    case RectF:
        return QVariant(readPlain<QRectF>(stream));
    case List:
        return QVariant(readList(stream, depth));
    case Map:
        return QVariant(readMap<QVariantMap>(stream, depth));
    case Hash:
        return QVariant(readMap<QVariantHash>(stream, depth));
    default:
        throw Error(Error::ProjectFile, tr("Can't read file: unsupported value type %1").arg(type));
    }
}

}

void prepare(QDataStream& stream)
{
    stream.setVersion(12);
    stream.setByteOrder(QDataStream::BigEndian);
    stream.setFloatingPointPrecision(QDataStream::DoublePrecision);
}

void checkStatus(const QDataStream& stream)
{
    if (stream.status() != QDataStream::Ok)
        throwDamaged();
}

void throwDamaged()
{
    throw Error(Error::ProjectFile, tr("Can't read file: the file is truncated or damaged"));
}

qint32 readVersion(QDataStream& stream, qint32 expectedTag)
{
    const qint32 first = readPlain<qint32>(stream);
    return first == expectedTag ? readPlain<qint32>(stream) : first;
}

qint32 readCount(QDataStream& stream, qint64 minItemBytes)
{
    const qint32 count = readPlain<qint32>(stream);
    if (count < 0 || qint64(count) * minItemBytes > remaining(stream))
        throwDamaged();
    return count;
}

QString readString(QDataStream& stream)
{
    const quint32 bytes = readPlain<quint32>(stream);
    if (bytes == 0xFFFFFFFFu)
        return QString();
    if ((bytes & 1u) || qint64(bytes) > remaining(stream))
        throwDamaged();
    QByteArray raw(int(bytes), Qt::Uninitialized);
    if (stream.readRawData(raw.data(), int(bytes)) != int(bytes))
        throwDamaged();
    QString text(int(bytes / 2), Qt::Uninitialized);
    qFromBigEndian<quint16>(raw.constData(), text.size(), text.data());
    return text;
}

QStringList readStringList(QDataStream& stream)
{
    const qint32 count = readCount(stream, 4);
    QStringList list;
    list.reserve(count);
    for (qint32 i = 0; i < count; ++i)
        list.append(readString(stream));
    return list;
}

QPolygonF readPolygon(QDataStream& stream)
{
    const qint32 count = readCount(stream, 16);
    // One read for all the points, decoded here: far cheaper than two stream
    // operations per point on large documents.
    QByteArray raw(count * 16, Qt::Uninitialized);
    if (stream.readRawData(raw.data(), raw.size()) != raw.size())
        throwDamaged();
    QPolygonF polygon(count);
    const uchar* bytes = reinterpret_cast<const uchar*>(raw.constData());
    for (qint32 i = 0; i < count; ++i, bytes += 16)
        polygon[i] = QPointF(readDouble(bytes), readDouble(bytes + 8));
    return polygon;
}

QVariant readVariant(QDataStream& stream)
{
    return readVariant(stream, 0);
}

QHash<QString, QVariant> readValueMap(QDataStream& stream)
{
    return readMap<QHash<QString, QVariant>>(stream, 0);
}

}
