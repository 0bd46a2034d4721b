#include "imagecache.h"

#include <QCache>
#include <QCoreApplication>
#include <QDateTime>
#include <QHash>
#include <QFileInfo>
#include <QImageReader>

namespace ImageCache {

namespace {
constexpr int iconSize = 32;
// Cost is in kilobytes of pixel data; what bodies still show stays alive
// through their own copies when an entry is dropped.
constexpr int maxCostKb = 256 * 1024;
int decodes = 0;

QCache<QString, Entry>& cache()
{
    static QCache<QString, Entry> entries(maxCostKb);
    static const bool cleanUpRegistered = [] {
        // Pixmaps must go while the application object still exists.
        qAddPostRoutine(clear);
        return true;
    }();
    Q_UNUSED(cleanUpRegistered)
    return entries;
}

QPixmap makeIcon(const QPixmap& pixmap)
{
    return pixmap.scaled(iconSize, iconSize, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation)
        .copy(0, 0, iconSize, iconSize);
}


int batchDepth = 0;
// Keys of the files examined during the current batch.
QHash<QString, QString>& batchKeys()
{
    static QHash<QString, QString> keys;
    return keys;
}

// The cache key of a file: its path, size and modification time; empty for
// anything but a regular file (a device or a pipe must not block the reader).
QString keyFor(const QString& file)
{
    if (batchDepth > 0) {
        const auto it = batchKeys().constFind(file);
        if (it != batchKeys().constEnd())
            return it.value();
    }
    const QFileInfo info(file);
    QString key;
    if (!file.isEmpty() && info.isFile())
        key = info.absoluteFilePath() + QLatin1Char('|') + QString::number(info.size()) + QLatin1Char('|')
              + QString::number(info.lastModified().toMSecsSinceEpoch());
    if (batchDepth > 0)
        batchKeys().insert(file, key);
    return key;
}
}

Batch::Batch()
{
    ++batchDepth;
}

Batch::~Batch()
{
    if (--batchDepth == 0)
        batchKeys().clear();
}

Entry load(const QString& file)
{
    const QString key = keyFor(file);
    if (key.isEmpty())
        return {};
    if (const Entry* cached = cache().object(key))
        return *cached;

    QImageReader reader(file);
    QImage image = reader.read();
    // The reader gives a file named "name@2x.png" a pixel ratio of 2, which would
    // show it at half size; a sprite's pixels are its body's coordinates.
    image.setDevicePixelRatio(1);
    ++decodes;
    Entry entry;
    if (!image.isNull()) {
        entry.pixmap = QPixmap::fromImage(image);
        entry.icon = makeIcon(entry.pixmap);
    }
    const int costKb = int(qMax<qint64>(1, qint64(image.sizeInBytes()) / 1024));
    cache().insert(key, new Entry(entry), qMin(costKb, maxCostKb));
    return entry;
}

QPixmap missingIcon()
{
    return QPixmap(QStringLiteral(":/32x32/no_image.png"));
}

void clear()
{
    cache().clear();
}

int decodeCount()
{
    return decodes;
}

}
