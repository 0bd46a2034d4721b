#pragma once

#include "tracemode.h"

#include <QImage>
#include <QPolygonF>
#include <QVector>

class Element;

// What the tracer dialog traces with, as it stores it in the "tracer"
// settings group. Tracing every body of a document reads the same values, so
// that it traces each body as the dialog would.
struct TracerSettings
{
    TraceMode mode = TraceMode::Straight;
    float tolerance = 1.0f;
    int alphaThreshold = 0;
    AnimationTraceMode frames = AnimationTraceMode::AllFramesIntersection;
    // Every island as a polygon of its own, not only the first outline.
    bool allIslands = false;
    bool keepHoles = false;  // only with allIslands
    int minimumArea = 4;     // pixels, with allIslands

    static constexpr int maximumArea = 1000000;

    // The stored values; anything unusable reads as its default.
    static TracerSettings read();
    void write() const;

    // The image a body is traced from: its current image, or the composite
    // of all its frames (alpha only, threshold not applied). Loading frames
    // through the image cache leaves the body as it is.
    QImage bodyImage(Element* body) const;
    // The polygons the settings give for an image (body coordinates, y up):
    // the first outline in raster order, or every island; each with at
    // least three vertices.
    QVector<QPolygonF> trace(const QImage& image) const;
};
