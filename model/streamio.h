#pragma once

#include <QDataStream>
#include <QHash>
#include <QPolygonF>
#include <QVariant>

// Reading the project file's primitives without trusting it: every count is
// checked against the bytes that remain, and a stream that ran out or holds
// impossible data ends the read with an Error (code 5).
namespace StreamIO {

// The four ASCII letters of a section tag as the qint32 the file holds.
constexpr qint32 tag(const char (&letters)[5])
{
    return qint32((quint32(quint8(letters[0])) << 24) | (quint32(quint8(letters[1])) << 16)
                  | (quint32(quint8(letters[2])) << 8) | quint32(quint8(letters[3])));
}

// A stream set up as the file format wants it, whatever the Qt version.
void prepare(QDataStream& stream);

// Throws when the stream ran past its end or saw corrupt data.
void checkStatus(const QDataStream& stream);
[[noreturn]] void throwDamaged();

// Reads a section's tag and version; files may omit the tag, in which case the
// first number is the version itself.
qint32 readVersion(QDataStream& stream, qint32 expectedTag);

// A non-negative count of items that each take at least `minItemBytes` bytes.
qint32 readCount(QDataStream& stream, qint64 minItemBytes);

QString readString(QDataStream& stream);
QStringList readStringList(QDataStream& stream);
QPolygonF readPolygon(QDataStream& stream);
QVariant readVariant(QDataStream& stream);
QHash<QString, QVariant> readValueMap(QDataStream& stream);

}
