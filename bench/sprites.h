#pragma once

#include <QImage>

// Generated sprites for the tracing benchmarks: an outline that is a radius
// over the angle (so one piece, without islands) with a soft edge two pixels
// wide.
namespace BenchSprites {

enum class Shape { Blob, Star, Jagged };

// "blob", "star" or "jagged".
const char* name(Shape shape);

// A sprite `side` pixels square. `phase` turns and shifts it a little, for
// animation frames; `striped` paints the opaque part in stripes, so that a
// preview is drawn over a busy picture.
QImage draw(Shape shape, int side, double phase = 0, bool striped = false);

}
