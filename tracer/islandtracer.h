#pragma once

#include "tracemode.h"

#include <QImage>
#include <QPoint>
#include <QPolygonF>
#include <QString>
#include <QVector>

// Traces every island of a sprite, not just the one OutlineTracer walks.
//
// An island is an 8-connected region of inside pixels (alpha above the
// threshold, as OutlineTracer decides it) of at least the minimum area in
// pixels. Each island is walked and simplified by OutlineTracer, starting at
// its first pixel in raster order, so an image with a single island gives
// exactly the outline of the single-outline trace. Islands come in the raster
// order of their first pixels; an island inside a hole of another is an
// island of its own.
//
// With keepHoles, a hole is a 4-connected region of pixels that are not
// inside, does not reach the image border and has at least the minimum area.
// The hole is joined to the outside of its island by a straight channel cut
// through the island's pixels, and the island is then walked as one outline
// that runs in through the channel, round the hole and back out. The result
// is still one simple polygon per island, which the convex decomposition and
// every exporter take as they are. The channel is the shortest of the four
// straight ones that keeps the island in one piece; the corner walk traces
// it a quarter of a pixel wide where the island's box has up to 2^16 pixels,
// half a pixel up to 2^18 and a whole one beyond (a finer mask would cost
// more time and memory than the walk), the midpoint walk a whole pixel. A zero-width bridge would lose
// nothing, but its coincident points are what the decomposition reads as a
// pinch point, where it would split the outline into the outer ring and the
// hole and fill both. A hole for which no channel keeps the island in one
// piece is filled.
//
// Simplifying never lets an edge pass over a joined hole or a channel: where
// the tolerance would, the walked points it needs are kept, and next to a
// hole the outline lies at most half the tolerance inside the island. (The
// midpoint walk's own corners still cut an eighth of a pixel off each stair
// of a hole's rim.)
class IslandTracer final
{
public:
    struct Options
    {
        TraceMode mode = TraceMode::Straight;
        float tolerance = 1.0f;
        int alphaThreshold = 0;
        int minimumArea = 4;  // pixels; smaller islands and holes are left out
        bool keepHoles = false;
    };

    struct Island
    {
        QPolygonF polygon;     // body coordinates of the image (y up)
        QPoint firstPixel;     // image coordinates (y down)
        qint64 area = 0;       // inside pixels
        int holes = 0;         // holes joined into the polygon
    };

    struct Result
    {
        QVector<Island> islands;
        QString error;  // empty on success; then there may still be no island

        bool ok() const { return error.isEmpty(); }
    };

    // Errors: a null image, a mode, threshold (0 to 255), tolerance (finite,
    // 0 or more) or minimum area (0 or more) out of range.
    static Result trace(const QImage& image, const Options& options);
};
