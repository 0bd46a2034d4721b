#include "tracersettings.h"

#include "element.h"
#include "framecomposite.h"
#include "gsettings.h"
#include "imagecache.h"
#include "islandtracer.h"
#include "outlinetracer.h"

#include <cmath>

namespace {
const QString groupKey = QStringLiteral("tracer");
// The walker and frame mode are stored as the dialog's combo indices, which
// equal the enum values.
const QString traceModeIndexKey = QStringLiteral("traceModeIndex");
const QString toleranceKey = QStringLiteral("tolerance");
const QString alphaThresholdKey = QStringLiteral("alphaThreshold");
const QString animationTraceModeKey = QStringLiteral("animationTraceMode");
const QString allIslandsKey = QStringLiteral("allIslands");
const QString keepHolesKey = QStringLiteral("keepHoles");
const QString minimumAreaKey = QStringLiteral("minimumArea");

// A stored value in [0, count), or the fallback (an empty combo selection
// would trace with no mode at all).
int storedIndex(const QSettings& settings, const QString& key, int fallback, int count)
{
    bool ok = false;
    const int index = settings.value(key, fallback).toInt(&ok);
    return ok && index >= 0 && index < count ? index : fallback;
}

int storedNumber(const QSettings& settings, const QString& key, int fallback, int maximum)
{
    const double value = settings.value(key, fallback).toDouble();
    return std::isfinite(value) ? int(qBound(0.0, value, double(maximum))) : fallback;
}
}

TracerSettings TracerSettings::read()
{
    GSettings settings;
    settings.beginGroup(groupKey);
    TracerSettings result;
    result.mode = TraceMode(storedIndex(settings, traceModeIndexKey, int(TraceMode::Straight), 2));
    const float tolerance = settings.value(toleranceKey, 1.0f).toFloat();
    result.tolerance = std::isfinite(tolerance) ? tolerance : 1.0f;
    result.alphaThreshold = storedNumber(settings, alphaThresholdKey, 0, 255);
    result.frames = AnimationTraceMode(
        storedIndex(settings, animationTraceModeKey, int(AnimationTraceMode::AllFramesIntersection), 3));
    result.allIslands = settings.value(allIslandsKey, false).toBool();
    result.keepHoles = settings.value(keepHolesKey, false).toBool();
    result.minimumArea = storedNumber(settings, minimumAreaKey, 4, maximumArea);
    return result;
}

void TracerSettings::write() const
{
    GSettings settings;
    settings.beginGroup(groupKey);
    settings.setValue(traceModeIndexKey, int(mode));
    settings.setValue(toleranceKey, tolerance);
    settings.setValue(alphaThresholdKey, alphaThreshold);
    settings.setValue(animationTraceModeKey, int(frames));
    settings.setValue(allIslandsKey, allIslands);
    settings.setValue(keepHolesKey, keepHoles);
    settings.setValue(minimumAreaKey, minimumArea);
}

QImage TracerSettings::bodyImage(Element* body) const
{
    if (!body)
        return QImage();
    const QStringList files = body->imageFileNames();
    if (frames == AnimationTraceMode::SingleFrame || files.isEmpty())
        return ImageCache::load(body->currentImageName()).pixmap.toImage();
    const ImageCache::Batch batch;
    FrameComposite composite(body->size(), frames, 0);
    for (const QString& file : files)
        composite.addFrame(ImageCache::load(file).pixmap.toImage());
    return composite.image();
}

QVector<QPolygonF> TracerSettings::trace(const QImage& image) const
{
    QVector<QPolygonF> polygons;
    if (image.isNull())
        return polygons;
    if (!allIslands) {
        OutlineTracer tracer;
        tracer.trace(image, alphaThreshold, mode);
        const QPolygonF polygon = tracer.polygon(tolerance);
        if (polygon.size() >= 3)
            polygons << polygon;
        return polygons;
    }
    IslandTracer::Options options;
    options.mode = mode;
    options.tolerance = tolerance;
    options.alphaThreshold = alphaThreshold;
    options.minimumArea = minimumArea;
    options.keepHoles = keepHoles;
    const IslandTracer::Result result = IslandTracer::trace(image, options);
    for (const IslandTracer::Island& island : result.islands) {
        if (island.polygon.size() >= 3)
            polygons << island.polygon;
    }
    return polygons;
}
