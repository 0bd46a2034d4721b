#include "imagecache.h"

#include <QCache>
#include <QCoreApplication>
#include <QDateTime>
#include <QHash>
#include <QFileInfo>
#include <QImageReader>
#include <QSet>
#include <QThreadPool>

namespace ImageCache {

namespace {
constexpr int iconSize = 32;
constexpr int defaultBudgetMb = 512;
int decodes = 0;
int iconDecodes = 0;

QThreadPool& iconPool()
{
    static QThreadPool pool;
    return pool;
}

QPixmap& placeholder()
{
    static QPixmap blank;
    return blank;
}

void shutDown()
{
    // Icons still being made must not deliver into a cache that is going away.
    iconPool().clear();
    iconPool().waitForDone();
    clear();
    placeholder() = QPixmap();
}

// Cost is in kilobytes of pixel data; an image the editor still shows stays
// alive through its own copy when its entry is dropped.
QCache<QString, Entry>& cache()
{
    static QCache<QString, Entry> entries(defaultBudgetMb * 1024);
    static const bool cleanUpRegistered = [] {
        // Pixmaps must go while the application object still exists.
        qAddPostRoutine(shutDown);
        return true;
    }();
    Q_UNUSED(cleanUpRegistered)
    return entries;
}

QHash<QString, Header>& headers()
{
    static QHash<QString, Header> known;
    return known;
}

// Icons by cache key, and the keys whose icon is being made; GUI thread only.
QHash<QString, QPixmap>& icons()
{
    static QHash<QString, QPixmap> made;
    return made;
}

QSet<QString>& pendingIcons()
{
    static QSet<QString> pending;
    return pending;
}

// The list icon of an image, cropped as the list shows it. A large image is
// first thinned out by sampling, so that the icon costs next to nothing beside
// the decode.
QImage iconOf(const QImage& image)
{
    const QSize sampled = image.size().scaled(4 * iconSize, 4 * iconSize, Qt::KeepAspectRatioByExpanding);
    const QImage small = sampled.width() < image.width() && sampled.height() < image.height()
                             ? image.scaled(sampled, Qt::IgnoreAspectRatio, Qt::FastTransformation)
                             : image;
    return small.scaled(iconSize, iconSize, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation)
        .copy(0, 0, iconSize, iconSize);
}

// The icon of the image read at a reduced size, on a worker thread.
QImage readIcon(const QString& file)
{
    QImageReader reader(file);
    const QSize size = reader.size();
    if (size.isValid() && !size.isEmpty())
        reader.setScaledSize(size.scaled(iconSize, iconSize, Qt::KeepAspectRatioByExpanding));
    QImage image = reader.read();
    if (image.isNull())
        return image;
    image.setDevicePixelRatio(1);
    return iconOf(image);
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
    const int costKb = int(qMax<qint64>(1, qint64(image.sizeInBytes()) / 1024));
    Entry entry;
    if (!image.isNull()) {
        entry.icon = QPixmap::fromImage(iconOf(image));
        icons().insert(key, entry.icon);
        entry.pixmap = QPixmap::fromImage(std::move(image));
    }
    cache().insert(key, new Entry(entry), costKb);
    return entry;
}

Header header(const QString& file)
{
    const QString key = keyFor(file);
    if (key.isEmpty())
        return {};
    const auto known = headers().constFind(key);
    if (known != headers().constEnd())
        return *known;
    QImageReader reader(file);
    Header result;
    result.size = reader.size();
    result.readable = reader.canRead() && result.size.isValid();
    // A format that states no size in its header is read in full to learn it.
    if (!result.size.isValid() && reader.canRead()) {
        const Entry entry = load(file);
        result.size = entry.pixmap.size();
        result.readable = !entry.pixmap.isNull();
    }
    headers().insert(key, result);
    return result;
}

QPixmap placeholderIcon()
{
    if (placeholder().isNull()) {
        placeholder() = QPixmap(iconSize, iconSize);
        placeholder().fill(Qt::transparent);
    }
    return placeholder();
}

QPixmap missingIcon()
{
    return QPixmap(QStringLiteral(":/32x32/no_image.png"));
}

void clear()
{
    cache().clear();
    headers().clear();
    icons().clear();
}

int decodeCount()
{
    return decodes;
}

void setBudgetMegabytes(int megabytes)
{
    cache().setMaxCost(qBound(1, megabytes, 1024 * 1024) * 1024);
}

int budgetMegabytes()
{
    return cache().maxCost() / 1024;
}

int usedKilobytes()
{
    return cache().totalCost();
}

QPixmap icon(const QString& file)
{
    const QString key = keyFor(file);
    return key.isEmpty() ? QPixmap() : icons().value(key);
}

void requestIcon(const QString& file)
{
    const QString key = keyFor(file);
    if (key.isEmpty() || icons().contains(key) || pendingIcons().contains(key))
        return;
    pendingIcons().insert(key);
    Notifier* target = notifier();
    iconPool().start([file, key, target] {
        const QImage image = readIcon(file);
        QMetaObject::invokeMethod(target, [file, key, image, target] {
            ++iconDecodes;
            pendingIcons().remove(key);
            icons().insert(key, image.isNull() ? missingIcon() : QPixmap::fromImage(image));
            emit target->iconReady(file);
        }, Qt::QueuedConnection);
    });
}

Notifier* notifier()
{
    // Made on the GUI thread, where the icons are delivered.
    static Notifier instance;
    return &instance;
}

void waitForIcons()
{
    iconPool().waitForDone();
    QCoreApplication::sendPostedEvents(notifier());
}

int iconDecodeCount()
{
    return iconDecodes;
}

}
